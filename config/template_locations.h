#pragma once
// The template directories the launcher records under
// ConfigurationTemplatesLocation, read from a configuration set and written
// back after an installation.
//
// Sets: selector 0 (main) reads the main file as primary and the data-directory
// file as secondary; selector 1 (alternate) reads the alternate file as primary
// and the main file as secondary. Only a set's primary file is ever written.

#include <vector>

#include "base/multi_value_map.h"
#include "base/wstring.h"

namespace vxk5 {

constexpr int CONFIG_SET_MAIN = 0;
constexpr int CONFIG_SET_ALTERNATE = 1;

struct ConfigSet {
    MultiValueMap primary;
    MultiValueMap secondary;
    // Whether the primary file may be rewritten from `primary`: false when it
    // is a regular file that could not be read whole.
    bool primaryWhole = true;
};

// The primary file of the set.
WString GetPrimaryConfigPath(int selector);

// Reads both files of the set; a file that cannot be read gives an empty map.
ConfigSet LoadConfigSet(int selector);

// Appends the set's locations to `list`: primary before secondary, each value
// once under CompareNoCase, "\" turned into "/", then RemoveDuplicateLocations.
void CollectTemplateLocations(std::vector<WString>& list, int selector);

// Writes `list`, cleaned of duplicates, as the locations of the set's primary
// file; the file's other entries stay as they are. A primary file that could
// not be read whole (see ReadLauncherConfig) is left as it is, byte for byte.
// Throws ConfigWriteError.
void RecordTemplateLocations(const std::vector<WString>& list, int selector);

// Writes `primary` to the set's primary file, creating its directory when the
// file is missing, and retries once after a failure. Throws ConfigWriteError
// when the retry fails as well.
void SavePrimaryConfig(int selector, const MultiValueMap& primary);

// Drops every item whose text, without trailing CR or LF units and with a "/"
// appended unless it is then empty or ends in "/" or "\", equals
// (CompareNoCase) that of an earlier item. Kept items keep their own text.
void RemoveDuplicateLocations(std::vector<WString>& list);

}  // namespace vxk5
