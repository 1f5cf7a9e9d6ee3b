#include "config/template_locations.h"

#include <exception>

#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/config_paths.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"

namespace {

WString SecondaryConfigPath(int selector) {
    return selector == CONFIG_SET_ALTERNATE ? GetMainConfigPath() : GetDataDirConfigPath();
}

// A file that cannot be read (or whose path cannot be built) counts as empty.
void ReadQuietly(WString (*pathOf)(int), int selector, MultiValueMap& config) {
    try {
        ReadLauncherConfig(pathOf(selector), config);
    } catch (const std::exception&) {
    }
}

void AppendUnlessPresent(std::vector<WString>& list, size_t from, const std::vector<WString>* values) {
    if (values == nullptr) return;
    for (const WString& value : *values) {
        bool present = false;
        for (size_t i = from; i < list.size() && !present; ++i) present = CompareNoCase(list[i], value) == 0;
        if (!present) list.push_back(value);
    }
}

WString ComparisonText(const WString& location) {
    if (location.empty() || location.EndsWith(u'/') || location.EndsWith(u'\\')) return location;
    return location + u"/";
}

// The text before the last "/" or "\", or nothing when there is neither.
bool DirectoryPart(const WString& path, WString& directory) {
    const size_t slash = path.rfind(u'/');
    const size_t backslash = path.rfind(u'\\');
    size_t cut = slash;
    if (cut == WString::npos || (backslash != WString::npos && backslash > cut)) cut = backslash;
    if (cut == WString::npos || cut == 0) return false;
    directory = path.substr(0, cut);
    return true;
}

// Directory creation is best effort: the write that follows reports failure.
void CreateDirectoryOf(const WString& path) {
    WString directory;
    if (DirectoryPart(path, directory)) (void)CreateDirectoryTree(directory);
}

}  // namespace

WString GetPrimaryConfigPath(int selector) {
    return selector == CONFIG_SET_ALTERNATE ? GetAltConfigPath() : GetMainConfigPath();
}

ConfigSet LoadConfigSet(int selector) {
    ConfigSet set;
    ReadQuietly(SecondaryConfigPath, selector, set.secondary);
    ReadQuietly(GetPrimaryConfigPath, selector, set.primary);
    return set;
}

void CollectTemplateLocations(std::vector<WString>& list, int selector) {
    const ConfigSet set = LoadConfigSet(selector);
    const size_t first = list.size();
    AppendUnlessPresent(list, first, FindValues(set.primary, kConfigurationTemplatesLocation));
    AppendUnlessPresent(list, first, FindValues(set.secondary, kConfigurationTemplatesLocation));
    for (WString& item : list) ReplaceAll(item, u"\\", u"/");
    RemoveDuplicateLocations(list);
}

void RemoveDuplicateLocations(std::vector<WString>& list) {
    std::vector<WString> kept;
    std::vector<WString> keptComparison;
    for (WString& item : list) {
        const WString comparison = ComparisonText(item);
        bool duplicate = false;
        for (const WString& earlier : keptComparison) {
            if (CompareNoCase(comparison, earlier) == 0) {
                duplicate = true;
                break;
            }
        }
        if (duplicate) continue;
        keptComparison.push_back(comparison);
        kept.push_back(std::move(item));
    }
    list = std::move(kept);
}

void RecordTemplateLocations(const std::vector<WString>& list, int selector) {
    ConfigSet set = LoadConfigSet(selector);
    std::vector<WString> locations = list;
    RemoveDuplicateLocations(locations);
    SetValues(set.primary, kConfigurationTemplatesLocation, locations);
    SavePrimaryConfig(selector, set.primary);
}

void SavePrimaryConfig(int selector, const MultiValueMap& primary) {
    const WString path = GetPrimaryConfigPath(selector);
    if (!FindsEntry(path)) CreateDirectoryOf(path);
    try {
        WriteLauncherConfig(path, primary);
        return;
    } catch (const ConfigWriteError&) {
    }
    // One more attempt, after making sure the file's directory is there.
    CreateDirectoryOf(path);
    WriteLauncherConfig(path, primary);
}
