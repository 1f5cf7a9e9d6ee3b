#pragma once
// NoCaseIndex: finds the position of a text in a sequence held elsewhere (a
// vector of keys, values or locations) under CompareNoCase, in constant time on
// average. Positions are added in order 0, 1, 2, ...; the index keeps each
// position's NoCaseHash and an open-addressed table of positions, about 16
// bytes per text in all.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

class NoCaseIndex {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    // Number of positions indexed.
    size_t size() const { return hashes_.size(); }
    void clear();

    // The first indexed position whose hash is `hash` and for which
    // `sameText(position)` holds; npos when there is none.
    template <typename SameText>
    size_t Find(uint64_t hash, SameText&& sameText) const {
        if (slots_.empty()) return npos;
        const size_t mask = slots_.size() - 1;
        for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
            const uint32_t stored = slots_[slot];
            if (stored == 0) return npos;
            const size_t position = stored - 1;
            if (hashes_[position] == hash && sameText(position)) return position;
        }
    }

    // Indexes the next position, size(), under `hash`.
    void Append(uint64_t hash);

private:
    void Place(size_t position);
    void Grow();

    std::vector<uint64_t> hashes_;  // by position
    std::vector<uint32_t> slots_;   // position + 1, or 0 for a free slot; a power of two long
};

}  // namespace vxk5
