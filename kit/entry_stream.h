#pragma once
// The data area of a kit inflated straight into the files it holds: for a
// kit whose entries' bytes lie in the entries' order, one after another, the
// unpacking's bytes past the container's head go to each entry's file as
// the stream reaches them, and never to the container. Bytes no entry asks
// for (a gap, an entry kept) are inflated and dropped.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace vxk5 {

class DistributionKit;
class KitUnpacker;

// Takes the next `size` bytes of an entry, in order: ERR_SUCCESS, or a code
// that stops the delivery and is handed back.
using EntryBytesSink = std::function<uint32_t(const uint8_t* bytes, uint32_t size)>;

// Used by one thread at a time.
class EntryStream {
public:
    // Diverts `unpacker` (KitUnpacker::Divert), which it uses alone from now
    // on; `code` is Divert's.
    EntryStream(KitUnpacker& unpacker, uint32_t& code);
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // The bytes the container holds: an entry's bytes before this come from
    // the container, not from here.
    uint64_t Held() const { return held_; }
    // Where the stream stands: the container offset of the next byte it gives.
    uint64_t Position() const { return position_; }

    // Hands the container's bytes [from, from + size) to `write`, in order,
    // after dropping the bytes before `from`. ERR_SUCCESS; what `write`
    // returned; the unpacking's code (ERR_INVALID_DATA for a damaged stream,
    // or one that ends before those bytes); ERR_INVALID_PARAMETER when `from`
    // lies before Position() or Held(), whose bytes are gone or not here.
    [[nodiscard]] uint32_t Deliver(uint64_t from, uint64_t size, const EntryBytesSink& write);

    // Inflates ahead into memory the bytes [from, from + size) of each of
    // `wanted` (in the stream's order, none before Position()), as long as
    // they fit `budget` bytes in all: how many of them, from the first, are
    // held whole. They are held apart from those Ahead serves now, and are
    // Ahead's once ServeAhead is called, on any thread, until the next
    // ServeAhead or DropAhead. A damage met here is Deliver's code from then on.
    struct Range {
        uint64_t from = 0;
        uint64_t size = 0;
    };
    size_t InflateAhead(const std::vector<Range>& wanted, uint64_t budget);
    // The bytes last inflated ahead are served from now on; those served before are done with.
    void ServeAhead() { served_ ^= 1; }
    // The bytes served for [from, from + size), or null.
    const uint8_t* Ahead(uint64_t from, uint64_t size) const;
    void DropAhead();

private:
    [[nodiscard]] uint32_t Refill();

    KitUnpacker& unpacker_;
    // Two stores of bytes inflated ahead: one served while the other fills.
    struct AheadStore {
        std::vector<uint8_t> bytes;
        std::vector<std::pair<Range, size_t>> ranges;  // each range, and where its bytes lie
    };
    AheadStore ahead_[2];
    int served_ = 0;
    uint32_t failure_ = 0;  // of the stream, once met
    uint64_t held_ = 0;
    uint64_t position_ = 0;
    const uint8_t* bytes_ = nullptr;  // the unpacking's last pull, from position_ on
    uint32_t left_ = 0;
};

// How many of entry `index`'s first bytes the kit's container holds: all of
// them, unless the data area is being inflated straight into the files
// (StartUnpackingRest); the rest then come from DeliverEntryBytes.
uint32_t EntryBytesInContainer(const DistributionKit& kit, size_t index);

// Inflates ahead into memory (EntryStream::InflateAhead) the bytes past those
// the container holds of the `count` entries at `indexes` (increasing, none
// asked for before), at most `budget` bytes: how many of them, from the
// first, are held whole. Once ServeEntryBytesAhead is called,
// DeliverEntryBytes serves those from any thread, until the next call or
// DropEntryBytesAhead. Any number for a kit that is not inflated into the
// files: their bytes are in the container.
size_t InflateEntryBytesAhead(DistributionKit& kit, const size_t* indexes, size_t count, uint64_t budget);
// Those last inflated ahead are served by DeliverEntryBytes from now on, and
// those served before are done with (EntryStream::ServeAhead).
void ServeEntryBytesAhead(DistributionKit& kit);
void DropEntryBytesAhead(DistributionKit& kit);

// Hands entry `index`'s bytes past those the container holds to `write`, in
// order: entries must be asked for in the entries' order, each once, but
// for those inflated ahead, which may be asked for on any thread.
// EntryStream::Deliver's codes; ERR_SUCCESS with nothing handed over when
// the container holds them all.
[[nodiscard]] uint32_t DeliverEntryBytes(DistributionKit& kit, size_t index, const EntryBytesSink& write);

}  // namespace vxk5
