#include "base/no_case_index.h"

#include <new>

namespace vxk5 {

void NoCaseIndex::clear() {
    hashes_.clear();
    slots_.clear();
}

void NoCaseIndex::Append(uint64_t hash) {
    // Positions are stored as 32-bit numbers plus one.
    if (hashes_.size() >= UINT32_MAX - 1) throw std::bad_alloc();
    hashes_.push_back(hash);
    // At most half the slots are used, so a search meets a free slot soon.
    if (2 * hashes_.size() > slots_.size()) {
        Grow();
    } else {
        Place(hashes_.size() - 1);
    }
}

void NoCaseIndex::Place(size_t position) {
    const size_t mask = slots_.size() - 1;
    size_t slot = static_cast<size_t>(hashes_[position]) & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<uint32_t>(position + 1);
}

void NoCaseIndex::Grow() {
    size_t count = slots_.empty() ? 16 : slots_.size() * 2;
    while (count < 2 * hashes_.size()) count *= 2;
    slots_.assign(count, 0);
    for (size_t position = 0; position < hashes_.size(); ++position) Place(position);
}

}  // namespace vxk5
