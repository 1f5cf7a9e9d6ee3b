#include "kit/entry_stream.h"

#include <algorithm>

#include "base/result_codes.h"
#include "kit/distribution_kit.h"
#include "kit/kit_unpack.h"

namespace vxk5 {

EntryStream::EntryStream(KitUnpacker& unpacker, uint32_t& code) : unpacker_(unpacker) {
    code = unpacker_.Divert();
    held_ = unpacker_.Available();
    position_ = held_;
}

uint32_t EntryStream::Refill() {
    if (const uint32_t code = unpacker_.Pull(bytes_, left_); code != ERR_SUCCESS) return code;
    // The stream ended, or the kit's bytes ran out, before the bytes asked for.
    return left_ == 0 ? ERR_INVALID_DATA : ERR_SUCCESS;
}

uint32_t EntryStream::Deliver(uint64_t from, uint64_t size, const EntryBytesSink& write) {
    if (failure_ != ERR_SUCCESS) return failure_;
    if (from < position_) return ERR_INVALID_PARAMETER;
    while (size > 0) {
        if (left_ == 0) {
            if (const uint32_t code = Refill(); code != ERR_SUCCESS) return code;
        }
        const bool dropping = position_ < from;
        const uint64_t wanted = dropping ? from - position_ : size;
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(left_, wanted));
        if (!dropping) {
            if (const uint32_t code = write(bytes_, piece); code != ERR_SUCCESS) return code;
            size -= piece;
        }
        bytes_ += piece;
        left_ -= piece;
        position_ += piece;
    }
    return ERR_SUCCESS;
}

size_t EntryStream::InflateAhead(const std::vector<Range>& wanted, uint64_t budget) {
    AheadStore& store = ahead_[served_ ^ 1];
    store.bytes.clear();
    store.ranges.clear();
    size_t held = 0;
    for (const Range& range : wanted) {
        if (store.bytes.size() + range.size > budget) break;
        const size_t at = store.bytes.size();
        const uint32_t code = Deliver(range.from, range.size, [&store](const uint8_t* bytes, uint32_t size) {
            store.bytes.insert(store.bytes.end(), bytes, bytes + size);
            return ERR_SUCCESS;
        });
        if (code != ERR_SUCCESS) {
            // The entry that needed the bytes fails when it asks for them.
            if (failure_ == ERR_SUCCESS) failure_ = code;
            break;
        }
        store.ranges.emplace_back(range, at);
        ++held;
    }
    return held;
}

const uint8_t* EntryStream::Ahead(uint64_t from, uint64_t size) const {
    const AheadStore& store = ahead_[served_];
    const auto found =
        std::lower_bound(store.ranges.begin(), store.ranges.end(), from,
                         [](const std::pair<Range, size_t>& r, uint64_t at) { return r.first.from < at; });
    if (found == store.ranges.end() || found->first.from != from || found->first.size != size) return nullptr;
    return store.bytes.data() + found->second;
}

void EntryStream::DropAhead() {
    for (AheadStore& store : ahead_) {
        store.bytes.clear();
        store.ranges.clear();
    }
}

uint32_t EntryBytesInContainer(const DistributionKit& kit, size_t index) {
    if (index >= kit.entries_.size()) return 0;
    const KitFileEntry& entry = kit.entries_[index];
    if (kit.direct_ == nullptr) return entry.size;
    const uint64_t held = kit.direct_->Held();
    return entry.offset >= held ? 0 : static_cast<uint32_t>(std::min<uint64_t>(entry.size, held - entry.offset));
}

namespace {

// The bytes of entry `index` past those the container holds.
EntryStream::Range PastContainer(const DistributionKit& kit, size_t index) {
    const uint32_t inContainer = EntryBytesInContainer(kit, index);
    const KitFileEntry& entry = kit.Entries()[index];
    return EntryStream::Range{static_cast<uint64_t>(entry.offset) + inContainer, entry.size - inContainer};
}

}  // namespace

size_t InflateEntryBytesAhead(DistributionKit& kit, const size_t* indexes, size_t count, uint64_t budget) {
    if (kit.direct_ == nullptr) return count;
    std::vector<EntryStream::Range> wanted;
    uint64_t total = 0;
    for (size_t k = 0; k < count && indexes[k] < kit.entries_.size() && total <= budget; ++k) {
        const EntryStream::Range range = PastContainer(kit, indexes[k]);
        if (range.size != 0) wanted.push_back(range);
        total += range.size;  // past the budget, the last one asked for is not held
    }
    // The entries the container holds whole need nothing ahead.
    size_t held = 0;
    size_t taken = kit.direct_->InflateAhead(wanted, budget);
    for (size_t k = 0; k < count && indexes[k] < kit.entries_.size(); ++k) {
        if (PastContainer(kit, indexes[k]).size != 0) {
            if (taken == 0) break;
            --taken;
        }
        ++held;
    }
    return held;
}

void ServeEntryBytesAhead(DistributionKit& kit) {
    if (kit.direct_ != nullptr) kit.direct_->ServeAhead();
}

void DropEntryBytesAhead(DistributionKit& kit) {
    if (kit.direct_ != nullptr) kit.direct_->DropAhead();
}

uint32_t DeliverEntryBytes(DistributionKit& kit, size_t index, const EntryBytesSink& write) {
    if (index >= kit.entries_.size()) return ERR_INVALID_PARAMETER;
    const EntryStream::Range range = PastContainer(kit, index);
    if (range.size == 0) return ERR_SUCCESS;
    if (const uint8_t* bytes = kit.direct_->Ahead(range.from, range.size)) {
        return write(bytes, static_cast<uint32_t>(range.size));
    }
    return kit.direct_->Deliver(range.from, range.size, write);
}

}  // namespace vxk5
