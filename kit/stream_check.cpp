#include "kit/stream_check.h"

#include <algorithm>
#include <cstring>

namespace vxk5 {

using namespace kitformat;

void StreamCheck::Consumed(const uint8_t* bytes, uint32_t size) {
    if (ended_ || size == 0) return;
    consumed_ += size;
    if (size >= kMostHeld) {
        // What was held back belongs to the stream: bytes came after it.
        digest_.Update(unhashed_, unhashedSize_);
        digest_.Update(bytes, size - kMostHeld);
        std::memcpy(unhashed_, bytes + size - kMostHeld, kMostHeld);
        unhashedSize_ = kMostHeld;
        return;
    }
    std::memcpy(unhashed_ + unhashedSize_, bytes, size);
    unhashedSize_ += size;
    if (unhashedSize_ > kMostHeld) {
        const uint32_t surplus = unhashedSize_ - kMostHeld;
        digest_.Update(unhashed_, surplus);
        std::memmove(unhashed_, unhashed_ + surplus, kMostHeld);
        unhashedSize_ = kMostHeld;
    }
}

void StreamCheck::StreamEnded(uint32_t held) {
    if (ended_) return;
    ended_ = true;
    // More held than consumed cannot happen; were it to, the length then
    // differs from the trailer's and the kit is refused.
    held = std::min(held, unhashedSize_);
    const uint32_t streamPart = unhashedSize_ - held;
    digest_.Update(unhashed_, streamPart);
    after_.assign(unhashed_ + streamPart, unhashed_ + unhashedSize_);
    result_.streamBytes = consumed_ - held;
}

void StreamCheck::Follow(const uint8_t* bytes, uint32_t size) {
    const uint32_t taken = std::min(size, Wanted());
    after_.insert(after_.end(), bytes, bytes + taken);
}

uint32_t StreamCheck::Wanted() const {
    return ended_ && after_.size() < kTrailerSize ? static_cast<uint32_t>(kTrailerSize - after_.size()) : 0;
}

bool StreamCheck::EndsWithTrailer(uint64_t fileSize, const LastBytesReader& readLast) const {
    if (fileSize < result_.streamBytes + kTrailerSize) return false;
    KitTrailer last{};
    return readLast(last) && StartsAsTrailer(last.data(), last.size());
}

const KitCheckResult& StreamCheck::Conclude(uint64_t fileSize, const LastBytesReader& readLast) {
    const uint64_t after = fileSize > result_.streamBytes ? fileSize - result_.streamBytes : 0;
    if (StartsAsTrailer(after_.data(), after_.size())) {
        result_ = JudgeTrailer(after_.data(), after_.size(), after, result_.streamBytes, digest_.Value());
        return result_;
    }
    // Not a trailer: bytes after the stream, ignored as they always were;
    // unless the file ends with a trailer, which then was meant to follow a
    // longer stream.
    result_.ignoredBytes = after;
    result_.state = after != 0 && EndsWithTrailer(fileSize, readLast) ? KitCheck::Misplaced : KitCheck::Absent;
    return result_;
}

const KitCheckResult& StreamCheck::ConcludeUnended(uint64_t fileSize, const LastBytesReader& readLast) {
    result_.streamBytes = fileSize;
    // A trailer at the end, inflated as if it were the stream's: the stream
    // lost its end.
    KitTrailer last{};
    const bool trailerAtEnd = fileSize >= kTrailerSize && readLast(last) && StartsAsTrailer(last.data(), last.size());
    result_.state = trailerAtEnd ? KitCheck::Misplaced : KitCheck::Absent;
    return result_;
}

}  // namespace vxk5
