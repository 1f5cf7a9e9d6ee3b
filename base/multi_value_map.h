#pragma once
// MultiValueMap: the in-memory form of a launcher configuration file. Entries
// keep insertion order; each key holds an ordered list of values. Keys and
// values compare with CompareNoCase and keep the spelling first added.
//
// Lookups go through hash indexes (NoCaseIndex), so adding, finding and
// setting cost constant time on average however large the file. `entries` may
// be read freely. An entry appended or removed other than through the
// operations below is noticed by its count and the index rebuilt; a key or
// value must not be edited in place.

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/no_case_index.h"
#include "base/wstring.h"

namespace vxk5 {

struct MultiValueEntry {
    WString key;
    std::vector<WString> values;
};

struct MultiValueMap {
    MultiValueMap() = default;
    // A map holding `initial` as it stands (unchecked, as SetValues stores).
    MultiValueMap(std::vector<MultiValueEntry> initial) : entries(std::move(initial)) {}  // NOLINT: implicit

    std::vector<MultiValueEntry> entries;

    // Kept by the operations below: the keys, and the values of entries that
    // hold more than a few (fewer are compared one by one).
    NoCaseIndex keyIndex;
    std::unordered_map<size_t, NoCaseIndex> valueIndexes;
};

// Adds `value` under `key`; false (and no change) when the key already holds an
// equal value.
bool AddValue(MultiValueMap& map, const WString& key, const WString& value);

// The values of the first entry whose key equals `key`, or nullptr. The pointer
// is valid until the map is next changed.
const std::vector<WString>* FindValues(const MultiValueMap& map, const WString& key);

// Replaces the key's values. A non-empty list keeps an existing entry's place and
// spelling; otherwise the key moves to the end, holding `values`.
void SetValues(MultiValueMap& map, const WString& key, const std::vector<WString>& values);

}  // namespace vxk5
