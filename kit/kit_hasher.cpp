#include "kit/kit_hasher.h"

namespace vxk5 {

KitHasher::KitHasher(minisign::Algorithm algorithm) : algorithm_(algorithm) {
    if (algorithm_ == minisign::Algorithm::Prehashed) thread_ = std::thread([this] { HashPieces(); });
}

KitHasher::~KitHasher() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        piecesReady_.notify_one();
        thread_.join();
    }
}

uint8_t* KitHasher::Buffer(uint32_t size) {
    if (algorithm_ == minisign::Algorithm::Legacy) {
        legacyBytes_.resize(observed_ + size);
        return legacyBytes_.data() + observed_;
    }
    Slot* slot = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (given_ - hashed_ == kSlots) {
            if (!hashing_) {
                HashNextPiece(lock);
                continue;
            }
            unpackingWaits_ = true;
            slotFree_.wait(lock, [this] { return given_ - hashed_ < kSlots || !hashing_; });
            unpackingWaits_ = false;
        }
        slot = &slots_[given_ % kSlots];
    }
    // The slot is the unpacking's until Observe hands it over.
    if (slot->capacity < size) {
        slot->bytes.reset(new uint8_t[size]);
        slot->capacity = size;
    }
    return slot->bytes.get();
}

void KitHasher::Observe(uint32_t size) {
    observed_ += size;
    if (algorithm_ == minisign::Algorithm::Legacy) {
        legacyBytes_.resize(observed_);
        return;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[given_ % kSlots].size = size;
        ++given_;
        wake = hasherWaits_ && given_ - hashed_ >= kBatch;
    }
    if (wake) piecesReady_.notify_one();
}

void KitHasher::HashNextPiece(std::unique_lock<std::mutex>& lock) {
    hashing_ = true;
    const Slot& slot = slots_[hashed_ % kSlots];
    lock.unlock();
    hasher_.Update(slot.bytes.get(), slot.size);
    lock.lock();
    ++hashed_;
    hashing_ = false;
    if (unpackingWaits_) slotFree_.notify_one();
    if (hasherWaits_) piecesReady_.notify_one();
}

void KitHasher::HashPieces() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        hasherWaits_ = true;
        piecesReady_.wait(lock, [this] { return (given_ - hashed_ >= kBatch && !hashing_) || ending_; });
        hasherWaits_ = false;
        // Once ending, the unpacking is over: nobody else hashes any more.
        while (hashed_ < given_ && !hashing_) HashNextPiece(lock);
        if (ending_ && hashed_ == given_) return;
    }
}

std::vector<uint8_t> KitHasher::Message() {
    if (algorithm_ == minisign::Algorithm::Legacy) return std::move(legacyBytes_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    piecesReady_.notify_one();
    if (thread_.joinable()) thread_.join();
    const minisign::Blake2b512 hash = hasher_.Final();
    return std::vector<uint8_t>(hash.begin(), hash.end());
}

}  // namespace vxk5
