#include "base/multi_value_map.h"

namespace vxk5 {

namespace {

// Entries with at most this many values are searched one by one.
constexpr size_t kLinearValues = 8;

void RebuildKeyIndex(MultiValueMap& map) {
    map.keyIndex.clear();
    map.valueIndexes.clear();
    for (const MultiValueEntry& entry : map.entries) map.keyIndex.Append(NoCaseHash(entry.key));
}

size_t FindEntry(const MultiValueMap& map, const WString& key, uint64_t hash) {
    return map.keyIndex.Find(hash, [&](size_t i) { return CompareNoCase(map.entries[i].key, key) == 0; });
}

// Whether `values` holds `value`; indexes long lists on the way.
bool HoldsValue(MultiValueMap& map, size_t entry, const WString& value, uint64_t& hash, bool& hashed) {
    const std::vector<WString>& values = map.entries[entry].values;
    if (values.size() <= kLinearValues) {
        for (const WString& existing : values) {
            if (CompareNoCase(existing, value) == 0) return true;
        }
        return false;
    }
    NoCaseIndex& index = map.valueIndexes[entry];
    if (index.size() != values.size()) {
        index.clear();
        for (const WString& existing : values) index.Append(NoCaseHash(existing));
    }
    hash = NoCaseHash(value);
    hashed = true;
    return index.Find(hash, [&](size_t i) { return CompareNoCase(values[i], value) == 0; }) != NoCaseIndex::npos;
}

}  // namespace

bool AddValue(MultiValueMap& map, const WString& key, const WString& value) {
    if (map.keyIndex.size() != map.entries.size()) RebuildKeyIndex(map);
    const uint64_t keyHash = NoCaseHash(key);
    size_t entry = FindEntry(map, key, keyHash);
    uint64_t valueHash = 0;
    bool hashed = false;
    if (entry != NoCaseIndex::npos && HoldsValue(map, entry, value, valueHash, hashed)) return false;
    if (entry == NoCaseIndex::npos) {
        map.entries.push_back(MultiValueEntry{key, {}});
        map.keyIndex.Append(keyHash);
        entry = map.entries.size() - 1;
    }
    std::vector<WString>& values = map.entries[entry].values;
    values.push_back(value);
    if (hashed) {
        // The index was up to date before this value: keep it so.
        map.valueIndexes[entry].Append(valueHash);
    }
    return true;
}

const std::vector<WString>* FindValues(const MultiValueMap& map, const WString& key) {
    if (map.keyIndex.size() == map.entries.size()) {
        const size_t entry = FindEntry(map, key, NoCaseHash(key));
        return entry == NoCaseIndex::npos ? nullptr : &map.entries[entry].values;
    }
    // Entries were added or removed directly: look without the index.
    for (const MultiValueEntry& entry : map.entries) {
        if (CompareNoCase(entry.key, key) == 0) return &entry.values;
    }
    return nullptr;
}

void SetValues(MultiValueMap& map, const WString& key, const std::vector<WString>& values) {
    if (map.keyIndex.size() != map.entries.size()) RebuildKeyIndex(map);
    const uint64_t keyHash = NoCaseHash(key);
    const size_t entry = FindEntry(map, key, keyHash);
    if (entry != NoCaseIndex::npos) {
        if (!values.empty()) {
            map.entries[entry].values = values;
            map.valueIndexes.erase(entry);  // SetValues stores the list as given, unchecked
            return;
        }
        // Later entries move down one place: their positions change.
        map.entries.erase(map.entries.begin() + static_cast<std::ptrdiff_t>(entry));
        RebuildKeyIndex(map);
    }
    map.entries.push_back(MultiValueEntry{key, values});
    map.keyIndex.Append(keyHash);
}

}  // namespace vxk5
