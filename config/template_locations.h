#pragma once
// The template directories the launcher records under
// ConfigurationTemplatesLocation, read from a configuration set and written
// back after an installation.
//
// Sets: the main set reads the main file as primary and the data-directory
// file as secondary; the alternate set reads the alternate file as primary
// and the main file as secondary. Only a set's primary file is ever written.

#include <vector>

#include "base/multi_value_map.h"
#include "base/wstring.h"

namespace vxk5 {

enum class ConfigurationSet { Main, Alternate };

struct ConfigSet {
    MultiValueMap primary;
    MultiValueMap secondary;
    // Whether the primary file may be rewritten from `primary`: false when it
    // is a regular file that could not be read whole.
    bool primaryWhole = true;
};

// The primary file of the set.
WString GetPrimaryConfigPath(ConfigurationSet set);

// Reads both files of the set; a file that cannot be read gives an empty map.
ConfigSet LoadConfigSet(ConfigurationSet set);

// Appends the set's locations to `list`: primary before secondary, each value
// once under CompareNoCase, "\" turned into "/", then RemoveDuplicateLocations.
void CollectTemplateLocations(std::vector<WString>& list, ConfigurationSet set);

// Writes `list`, cleaned of duplicates, as the locations of the set's primary
// file; the file's other entries stay as they are. A primary file that could
// not be read whole (see ReadLauncherConfig) is left as it is, byte for byte.
// Throws ConfigWriteError.
void RecordTemplateLocations(const std::vector<WString>& list, ConfigurationSet set);

// Writes `primary` to the set's primary file, creating its directory when the
// file is missing, and retries once after a failure. Throws ConfigWriteError
// when the retry fails as well.
void SavePrimaryConfig(ConfigurationSet set, const MultiValueMap& primary);

// Drops every item whose text, without trailing CR or LF units and with a "/"
// appended unless it is then empty or ends in "/" or "\", equals
// (CompareNoCase) that of an earlier item. Kept items keep their own text.
void RemoveDuplicateLocations(std::vector<WString>& list);

// The locations a run starts from and the one place a location is made a
// directory path and recorded. The launcher reads the main set when its file
// exists, else the alternate set; a new directory is recorded in the set the
// locations came from, and in the alternate set too whenever its file exists.
class TemplateLocations {
public:
    // Reads the set the launcher reads; a location the user wrote as "~/..."
    // is kept expanded.
    static TemplateLocations Load();

    // The recorded locations, primary file first, without duplicates.
    const std::vector<WString>& Recorded() const { return recorded_; }

    // A recorded or default `location` as the directory it names: no address
    // form ("http://..." names none, "file://" is dropped), "/" separators, no
    // line-end units, no blanks around it, then resolved by ResolveTargetPath
    // ("~" expanded, a relative path taken from the current directory) when it
    // can be. A trailing separator stays.
    static WString Normalise(const WString& location);

    // A directory the user typed: `cleaned` gets the text without the blanks
    // around it (slips of the keyboard, never part of the name) and with "\"
    // as "/"; `directory` gets that resolved by ResolveTargetPath. False (and
    // `directory` untouched) when it cannot be resolved.
    [[nodiscard]] static bool ResolveTyped(const WString& typed, WString& cleaned, WString& directory);

    // A directory as Normalise or ResolveTyped give it, in the form the
    // installation and its plan take: a "/" appended unless it is empty or
    // ends in "/" or "\". Nothing else changes: a path still relative (its
    // current directory unknown) stays relative, and the installation
    // refuses it.
    static WString AsInstallTarget(const WString& directory);

    // Records `directory` first, without a trailing separator, before the
    // locations read, in the sets named above. Throws ConfigWriteError.
    void Record(const WString& directory);

    // Drops every location that names `directory` (as Normalise gives
    // both, without a trailing separator) and writes the rest back as Record
    // does. Whether one was dropped. Throws ConfigWriteError.
    bool Forget(const WString& directory);

private:
    std::vector<WString> recorded_;
    bool fromAlternate_ = false;     // the locations came from the alternate set
    bool alternatePresent_ = false;  // the alternate set's file exists
};

}  // namespace vxk5
