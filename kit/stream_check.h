#pragma once
// The reading side of a kit's check (kit_trailer.h), fed by the unpacking as
// it reads the kit: the stream's bytes are hashed as the inflater uses them
// up, and the bytes after the stream's end are gathered and judged. The kit
// is read once; the check only looks at the unpacking's own input.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "kit/kit_trailer.h"
#include "kit/stream_digest.h"

namespace vxk5 {

class StreamCheck {
public:
    // Reads the kit file's last kTrailerSize bytes; false when it cannot.
    using LastBytesReader = std::function<bool(kitformat::KitTrailer& last)>;

    // The kit's next `size` bytes, all taken in by the inflater: the stream's,
    // except, at its end, the few the inflater held without needing them.
    void Consumed(const uint8_t* bytes, uint32_t size);
    // The stream has ended; of the bytes consumed, the last `held` (at most
    // kMostHeld) follow it.
    void StreamEnded(uint32_t held);
    // After StreamEnded: the next bytes after the stream, as read.
    void Follow(const uint8_t* bytes, uint32_t size);
    // How many more bytes after the stream the judgement needs.
    uint32_t Wanted() const;

    // Judges what followed the stream in a kit file of `fileSize` bytes; a
    // file that does not start as a trailer after the stream is read at its
    // end with `readLast`, to tell a kit without a check from one whose
    // stream ended before its trailer.
    const KitCheckResult& Conclude(uint64_t fileSize, const LastBytesReader& readLast);
    // For a stream that never ended: the kit's bytes ran out first.
    const KitCheckResult& ConcludeUnended(uint64_t fileSize, const LastBytesReader& readLast);

    const KitCheckResult& Result() const { return result_; }

    // The inflater keeps at most 64 bits it has taken in but not decoded.
    static constexpr uint32_t kMostHeld = 8;

private:
    bool EndsWithTrailer(uint64_t fileSize, const LastBytesReader& readLast) const;

    StreamDigest digest_;
    // The last bytes consumed, not hashed yet: they may turn out to follow
    // the stream. Never more than kMostHeld once Consumed has returned.
    uint8_t unhashed_[2 * kMostHeld] = {};
    uint32_t unhashedSize_ = 0;
    uint64_t consumed_ = 0;
    bool ended_ = false;
    std::vector<uint8_t> after_;  // the first bytes after the stream
    KitCheckResult result_;
};

}  // namespace vxk5
