#pragma once
// MultiValueMap: the in-memory form of a launcher configuration file. Entries
// keep insertion order; each key holds an ordered list of values. Keys and
// values compare with CompareNoCase and keep the spelling first added.

#include <vector>

#include "base/wstring.h"

struct MultiValueEntry {
    WString key;
    std::vector<WString> values;
};

struct MultiValueMap {
    std::vector<MultiValueEntry> entries;
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
