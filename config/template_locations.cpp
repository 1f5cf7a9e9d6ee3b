#include "config/template_locations.h"

#include <exception>

#include "base/no_case_index.h"

#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/config_paths.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

WString SecondaryConfigPath(int selector) {
    return selector == CONFIG_SET_ALTERNATE ? GetMainConfigPath() : GetDataDirConfigPath();
}

// A file that cannot be read (or whose path cannot be built) counts as empty.
// Returns false when a file was there and rewriting it would lose some of it.
bool ReadQuietly(WString (*pathOf)(int), int selector, MultiValueMap& config) {
    try {
        return ReadLauncherConfig(pathOf(selector), config) != ConfigRead::Partial;
    } catch (const std::exception&) {
        return false;
    }
}

// Appends each value not yet in list[from..] (CompareNoCase); `seen` indexes
// list[from..].
void AppendUnlessPresent(std::vector<WString>& list, size_t from, NoCaseIndex& seen,
                         const std::vector<WString>* values) {
    if (values == nullptr) return;
    for (const WString& value : *values) {
        const uint64_t hash = NoCaseHash(value);
        const auto same = [&](size_t i) { return CompareNoCase(list[from + i], value) == 0; };
        if (seen.Find(hash, same) != NoCaseIndex::npos) continue;
        list.push_back(value);
        seen.Append(hash);
    }
}

// The text a location is compared by: line-end units taken off (a file written
// with CR LF ends keeps a CR in each value, and the location is the same one),
// then a "/" appended unless it is empty or ends in "/" or "\".
WString ComparisonText(const WString& location) {
    WString text = location;
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) text.resize(text.length() - 1);
    if (text.empty() || text.EndsWith(u'/') || text.EndsWith(u'\\')) return text;
    return text + u"/";
}

// Directory creation is best effort: the write that follows reports failure.
// The configuration file's path is always an absolute one of our making.
void CreateDirectoryOf(const WString& path) {
    const WString directory = ParentPath(path);
    if (directory.length() > 1) (void)CreateDirectoryTree(directory);
}

}  // namespace

WString GetPrimaryConfigPath(int selector) {
    return selector == CONFIG_SET_ALTERNATE ? GetAltConfigPath() : GetMainConfigPath();
}

ConfigSet LoadConfigSet(int selector) {
    ConfigSet set;
    ReadQuietly(SecondaryConfigPath, selector, set.secondary);
    set.primaryWhole = ReadQuietly(GetPrimaryConfigPath, selector, set.primary);
    return set;
}

void CollectTemplateLocations(std::vector<WString>& list, int selector) {
    const ConfigSet set = LoadConfigSet(selector);
    const size_t first = list.size();
    NoCaseIndex seen;
    AppendUnlessPresent(list, first, seen, FindValues(set.primary, kConfigurationTemplatesLocation));
    AppendUnlessPresent(list, first, seen, FindValues(set.secondary, kConfigurationTemplatesLocation));
    for (WString& item : list) ReplaceAll(item, u"\\", u"/");
    RemoveDuplicateLocations(list);
}

void RemoveDuplicateLocations(std::vector<WString>& list) {
    std::vector<WString> kept;
    std::vector<WString> keptComparison;
    NoCaseIndex index;  // of keptComparison
    for (WString& item : list) {
        WString comparison = ComparisonText(item);
        const uint64_t hash = NoCaseHash(comparison);
        const auto same = [&](size_t i) { return CompareNoCase(keptComparison[i], comparison) == 0; };
        if (index.Find(hash, same) != NoCaseIndex::npos) continue;
        keptComparison.push_back(std::move(comparison));
        index.Append(hash);
        kept.push_back(std::move(item));
    }
    list = std::move(kept);
}

void RecordTemplateLocations(const std::vector<WString>& list, int selector) {
    ConfigSet set = LoadConfigSet(selector);
    // Rewriting what was read only in part would lose the rest of the file.
    if (!set.primaryWhole) return;
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

}  // namespace vxk5
