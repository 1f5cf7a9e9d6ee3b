#include "base/multi_value_map.h"

bool AddValue(MultiValueMap& map, const WString& key, const WString& value) {
    MultiValueEntry* target = nullptr;
    for (MultiValueEntry& entry : map.entries) {
        if (CompareNoCase(entry.key, key) != 0) continue;
        target = &entry;
        for (const WString& existing : entry.values) {
            if (CompareNoCase(existing, value) == 0) return false;
        }
    }
    if (target == nullptr) {
        map.entries.push_back(MultiValueEntry{key, {}});
        target = &map.entries.back();
    }
    target->values.push_back(value);
    return true;
}

const std::vector<WString>* FindValues(const MultiValueMap& map, const WString& key) {
    for (const MultiValueEntry& entry : map.entries) {
        if (CompareNoCase(entry.key, key) == 0) return &entry.values;
    }
    return nullptr;
}

void SetValues(MultiValueMap& map, const WString& key, const std::vector<WString>& values) {
    for (auto it = map.entries.begin(); it != map.entries.end(); ++it) {
        if (CompareNoCase(it->key, key) != 0) continue;
        if (!values.empty()) {
            it->values = values;
            return;
        }
        map.entries.erase(it);
        break;
    }
    map.entries.push_back(MultiValueEntry{key, values});
}
