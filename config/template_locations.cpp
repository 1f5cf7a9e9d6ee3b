#include "config/template_locations.h"

#include <exception>

#include "base/no_case_index.h"
#include "base/conversion.h"

#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/config_paths.h"
#include "config/target_path.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"

namespace vxk5 {

namespace {

WString SecondaryConfigPath(ConfigurationSet set) {
    return set == ConfigurationSet::Alternate ? GetMainConfigPath() : GetDataDirConfigPath();
}

// A file that cannot be read (or whose path cannot be built) counts as empty.
// Returns false when a file was there and rewriting it would lose some of it.
bool ReadQuietly(WString (*pathOf)(ConfigurationSet), ConfigurationSet set, MultiValueMap& config) {
    try {
        return ReadLauncherConfig(pathOf(set), config) != ConfigRead::Partial;
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

// Web addresses are no directories; a file address is its path.
void StripAddressForms(WString& directory) {
    if (directory.find(WString(u"http://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"https://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"ftp://")) != WString::npos) directory = WString();
    const size_t file = directory.find(WString(u"file://"));
    if (file != WString::npos) directory.erase(file, 7);
}

// Directory creation is best effort: the write that follows reports failure.
// The configuration file's path is always an absolute one of our making.
void CreateDirectoryOf(const WString& path) {
    const WString directory = ParentPath(path);
    if (directory.length() > 1) (void)CreateDirectoryTree(directory);
}

}  // namespace

WString GetPrimaryConfigPath(ConfigurationSet set) {
    return set == ConfigurationSet::Alternate ? GetAltConfigPath() : GetMainConfigPath();
}

ConfigSet LoadConfigSet(ConfigurationSet set) {
    ConfigSet files;
    ReadQuietly(SecondaryConfigPath, set, files.secondary);
    files.primaryWhole = ReadQuietly(GetPrimaryConfigPath, set, files.primary);
    return files;
}

void CollectTemplateLocations(std::vector<WString>& list, ConfigurationSet set) {
    const ConfigSet files = LoadConfigSet(set);
    const size_t first = list.size();
    NoCaseIndex seen;
    AppendUnlessPresent(list, first, seen, FindValues(files.primary, kConfigurationTemplatesLocation));
    AppendUnlessPresent(list, first, seen, FindValues(files.secondary, kConfigurationTemplatesLocation));
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

void RecordTemplateLocations(const std::vector<WString>& list, ConfigurationSet set) {
    ConfigSet files = LoadConfigSet(set);
    // Rewriting what was read only in part would lose the rest of the file.
    if (!files.primaryWhole) return;
    std::vector<WString> locations = list;
    RemoveDuplicateLocations(locations);
    SetValues(files.primary, kConfigurationTemplatesLocation, locations);
    SavePrimaryConfig(set, files.primary);
}

void SavePrimaryConfig(ConfigurationSet set, const MultiValueMap& primary) {
    const WString path = GetPrimaryConfigPath(set);
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

TemplateLocations TemplateLocations::Load() {
    TemplateLocations locations;
    locations.alternatePresent_ = FindsEntry(GetAltConfigPath());
    if (FindsEntry(GetMainConfigPath())) {
        CollectTemplateLocations(locations.recorded_, ConfigurationSet::Main);
    } else if (locations.alternatePresent_) {
        CollectTemplateLocations(locations.recorded_, ConfigurationSet::Alternate);
        locations.fromAlternate_ = !locations.recorded_.empty();
    }
    for (WString& location : locations.recorded_) location = ExpandHomePrefix(location);
    return locations;
}

WString TemplateLocations::Normalise(const WString& location) {
    // A file written with CR LF ends leaves a CR in each value; "dir   " in a
    // file means dir.
    WString directory = location;
    StripAddressForms(directory);
    ReplaceAll(directory, u"\\", u"/");
    ReplaceAll(directory, u"\n", u"");
    ReplaceAll(directory, u"\r", u"");
    directory = TrimBlanks(directory);
    // Installed into, shown and recorded as an absolute path: the launcher
    // does not share our current directory.
    if (WString absolute; ResolveTargetPath(directory, absolute)) directory = absolute;
    return directory;
}

bool TemplateLocations::ResolveTyped(const WString& typed, WString& cleaned, WString& directory) {
    cleaned = TrimBlanks(typed);
    ReplaceAll(cleaned, u"\\", u"/");
    return ResolveTargetPath(cleaned, directory);
}

WString TemplateLocations::AsInstallTarget(const WString& directory) {
    if (directory.empty() || directory.EndsWith(u'/') || directory.EndsWith(u'\\')) return directory;
    return directory + u"/";
}

void TemplateLocations::Record(const WString& directory) {
    WString recorded = directory;
    if (recorded.EndsWith(u'/') || recorded.EndsWith(u'\\')) recorded.resize(recorded.length() - 1);
    recorded_.insert(recorded_.begin(), recorded);
    if (!fromAlternate_) RecordTemplateLocations(recorded_, ConfigurationSet::Main);
    if (alternatePresent_) RecordTemplateLocations(recorded_, ConfigurationSet::Alternate);
}

namespace {

WString WithoutTrailingSeparator(WString directory) {
    while (directory.length() > 1 && (directory.EndsWith(u'/') || directory.EndsWith(u'\\'))) {
        directory.resize(directory.length() - 1);
    }
    return directory;
}

}  // namespace

bool TemplateLocations::Forget(const WString& directory) {
    const WString forgotten = WithoutTrailingSeparator(Normalise(directory));
    std::vector<WString> kept;
    for (const WString& location : recorded_) {
        if (WithoutTrailingSeparator(Normalise(location)) != forgotten) kept.push_back(location);
    }
    if (kept.size() == recorded_.size()) return false;
    recorded_ = std::move(kept);
    if (!fromAlternate_) RecordTemplateLocations(recorded_, ConfigurationSet::Main);
    if (alternatePresent_) RecordTemplateLocations(recorded_, ConfigurationSet::Alternate);
    return true;
}

}  // namespace vxk5
