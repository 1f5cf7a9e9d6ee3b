#include "tools/kit_extract.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "base/conversion.h"
#include "install/extract.h"
#include "install/replace_rule.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "platform/directory_open.h"
#include "platform/entry_details.h"
#include "platform/file_entries.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/owned_descriptor.h"
#include "platform/platform_error.h"
#include "tools/arguments.h"
#include "tools/extract_report.h"
#include "tools/kit_input.h"
#include "tools/kit_inspect.h"

namespace vxk5 {

namespace {

std::string SystemError(const std::string& what, int code) { return what + ": " + std::strerror(code); }

// The name's components as file-system names: "/" and "\" separate, empty
// and "." components are dropped. False when a component is ".." or cannot
// be converted to bytes and back unchanged.
bool ComponentsOf(const WString& name, std::vector<std::string>& components) {
    components.clear();
    WString rest = name;
    ReplaceAll(rest, u"\\", u"/");
    size_t start = 0;
    for (;;) {
        const size_t end = rest.find(u'/', start);
        const WString part = rest.substr(start, end == WString::npos ? WString::npos : end - start);
        if (part == u"..") return false;
        if (!part.empty() && part != u".") {
            const AString bytes = ToMultiByte(part);
            if (FromMultiByte(bytes) != part) return false;
            components.emplace_back(bytes.c_str(), bytes.length());
            if (components.back() == ".." || components.back().find('/') != std::string::npos) return false;
        }
        if (end == WString::npos) break;
        start = end + 1;
    }
    return !components.empty();
}

bool IsEmptyDirectory(const std::string& path, std::string& error) {
    std::vector<std::string> names;
    if (const int failed = ListDirectory(path, names).error; failed != 0) {
        error = SystemError("cannot read directory " + path, failed);
        return false;
    }
    return names.empty();
}

// Makes `path` and its missing parents (mkdir -p), saying why one cannot be made.
bool MakeDirectories(const std::string& path, std::string& error) {
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (const int failed = MakeDirectory(prefix, 0777).error; failed != 0 && failed != EEXIST) {
            error = SystemError("cannot make directory " + prefix, failed);
            return false;
        }
        if (end == std::string::npos) return true;
    }
}

// Opens (making it when missing) the directory `name` below `parent`; a
// symbolic link or a file there is refused.
bool OpenChildDirectory(int parent, const std::string& name, const std::string& shown, OwnedDescriptor& child,
                        std::string& error) {
    if (const int failed = MakeDirectoryAt(parent, name, 0777).error; failed != 0 && failed != EEXIST) {
        error = SystemError("cannot make directory " + shown, failed);
        return false;
    }
    if (const int failed = OpenDirectoryAt(parent, name, child).error; failed != 0) {
        error = failed == ELOOP || failed == ENOTDIR
                    ? shown + " is in the way: not a directory (symbolic links are not followed)"
                    : SystemError("cannot open directory " + shown, failed);
        return false;
    }
    return true;
}

// Removes whatever stands at `name` below `parent` (a file, a link; never
// written through), so that the file is made afresh.
bool RemoveChildEntry(int parent, const std::string& name, const std::string& shown, std::string& error) {
    if (const int failed = RemoveEntryAt(parent, name).error; failed != 0) {
        error = SystemError("cannot replace " + shown, failed);
        return false;
    }
    return true;
}

struct Planned {
    size_t index;
    std::vector<std::string> components;
};

// The installer's own check of every name, and of a file that another entry
// needs as its directory: the first problem of each entry.
std::vector<EntryNameCheck> CheckNames(const std::vector<KitFileEntry>& entries) {
    std::vector<EntryNameCheck> nameChecks(entries.size(), ENTRY_NAME_OK);
    for (const EntryNameProblem& problem : FindEntryNameProblems(entries)) {
        if (nameChecks[problem.index] == ENTRY_NAME_OK) nameChecks[problem.index] = problem.check;
    }
    return nameChecks;
}

// Why the entry cannot be extracted, or "" when it can: then `components`
// holds its name's components.
std::string RefusalOf(const KitFileEntry& entry, EntryNameCheck check, int64_t containerSize,
                      std::vector<std::string>& components) {
    if (check != ENTRY_NAME_OK) return std::string("unsafe name (") + DescribeEntryNameCheck(check) + ")";
    if (!IsExtractableName(entry.name) || !ComponentsOf(entry.name, components)) return "unsafe name";
    if (static_cast<uint64_t>(entry.offset) + entry.size > static_cast<uint64_t>(containerSize)) {
        return "its bytes lie outside the kit";
    }
    return std::string();
}

// Whether `later` takes the place of `earlier`, an entry of the same name:
// the installer's rule, as it would find the earlier copy written.
bool ReplacesEarlier(const KitFileEntry& earlier, const KitFileEntry& later) {
    EntryStatus written;
    written.kind = EntryKind::File;
    written.modified = FileTimeToUnixTime(WholeSecondOf(FileTime{earlier.timeLow, earlier.timeHigh}));
    return DecideReplacement(written, FileTime{later.timeLow, later.timeHigh}) == ReplaceVerdict::Replace;
}

// Checks the whole kit: `plan` gets the entries to write, one for each name
// (a name listed twice keeps its newest copy, the one an installation would
// leave). Returns a line for each refused entry, empty when there is none.
std::string PlanExtraction(const DistributionKit& kit, int64_t containerSize, std::vector<Planned>& plan) {
    const std::vector<KitFileEntry>& entries = kit.Entries();
    const std::vector<EntryNameCheck> nameChecks = CheckNames(entries);
    std::string refused;
    std::map<std::vector<std::string>, size_t> planned;  // components -> position in `plan`
    for (size_t i = 0; i < entries.size(); ++i) {
        std::vector<std::string> components;
        if (const std::string refusal = RefusalOf(entries[i], nameChecks[i], containerSize, components);
            !refusal.empty()) {
            refused += "  " + ToMultiByteString(entries[i].name) + ": " + refusal + "\n";
            continue;
        }
        const auto [it, added] = planned.emplace(components, plan.size());
        if (added) {
            plan.push_back(Planned{i, std::move(components)});
        } else if (ReplacesEarlier(entries[plan[it->second].index], entries[i])) {
            plan[it->second].index = i;
        }
    }
    return refused;
}

// The directory extracted into: an existing one must be a directory, and
// empty unless `force` is set; a missing one is made with its parents. Then
// opened in `root`.
bool PrepareDirectory(const ExtractOptions& options, OwnedDescriptor& root, std::string& error) {
    EntryDetails found;
    const int examined = DescribeEntry(options.directory, LinkHandling::Follow, found);
    if (examined == 0) {
        if (found.kind != EntryKind::Directory) {
            error = SystemError("cannot extract into " + options.directory, ENOTDIR);
            return false;
        }
        bool empty = IsEmptyDirectory(options.directory, error);
        if (!error.empty()) return false;
        if (!empty && !options.force) {
            error = "directory " + options.directory + " is not empty; --force extracts into it anyway";
            return false;
        }
    } else if (examined != ENOENT || !MakeDirectories(options.directory, error)) {
        if (error.empty()) error = SystemError("cannot examine " + options.directory, examined);
        return false;
    }
    if (const int failed = OpenNamedDirectory(options.directory, root); failed != 0) {
        error = SystemError("cannot open directory " + options.directory, failed);
        return false;
    }
    return true;
}

// Opens (making them when missing) the directories of `item` below `root`,
// one below the other: `parent` holds the last, and stays empty for a file
// in `root` itself. `shown` goes down with them.
bool OpenParents(int root, const Planned& item, std::string& shown, OwnedDescriptor& parent, std::string& error) {
    for (size_t c = 0; c + 1 < item.components.size(); ++c) {
        shown += "/" + item.components[c];
        OwnedDescriptor child;
        if (!OpenChildDirectory(parent.IsOpen() ? parent.Get() : root, item.components[c], shown, child, error)) {
            return false;
        }
        parent = std::move(child);
    }
    return true;
}

uint64_t TotalBytes(const DistributionKit& kit, const std::vector<Planned>& plan) {
    uint64_t total = 0;
    for (const Planned& item : plan) total += kit.Entries()[item.index].size;
    return total;
}

// Writes the planned entry afresh below `root` (`rootPath` as shown); `shown`
// gets the path written.
bool WriteEntry(DistributionKit& kit, const Planned& item, int root, const std::string& rootPath, std::string& shown,
                std::string& error) {
    shown = rootPath;
    OwnedDescriptor parent;  // empty: the root
    if (!OpenParents(root, item, shown, parent, error)) return false;
    shown += "/" + item.components.back();
    const int directory = parent.IsOpen() ? parent.Get() : root;
    if (!RemoveChildEntry(directory, item.components.back(), shown, error)) return false;
    // The installer's own extraction, keeping the kit's time to the 100 ns.
    if (const Failure failed =
            ExtractEntryAt(kit, item.index, directory, item.components.back(), shown, nullptr, false, true);
        failed.Failed()) {
        error = failed.error != 0 ? SystemError("cannot write " + shown, failed.error)
                                  : "cannot read the kit's bytes of " + shown;
        return false;
    }
    return true;
}

}  // namespace

bool IsExtractableName(const WString& name) { return CheckEntryName(name) == ENTRY_NAME_OK; }

bool ParseExtractArguments(int argc, char** argv, ExtractOptions& options, std::string& error) {
    options = ExtractOptions();
    std::vector<std::string> operands;
    ArgumentScanner arguments(argc, argv);
    while (arguments.Next()) {
        const std::string& name = arguments.Text();
        if (!arguments.IsOption()) {
            operands.push_back(name);
        } else if (name == "-f" || name == "--force" || name == "-v" || name == "--verbose") {
            if (!arguments.NoValue(error)) return false;
            (name == "-f" || name == "--force" ? options.force : options.verbose) = true;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (operands.size() != 2) {
        error = "extract takes a kit file and a directory";
        return false;
    }
    options.kit = operands[0];
    options.directory = operands[1];
    return true;
}

bool ExtractKit(const ExtractOptions& options, std::ostream& out, std::ostream& messages, std::string& error) {
    std::unique_ptr<DistributionKit> kit;
    if (!ReadKitFile(options.kit, kit, error, options.showProgress ? &messages : nullptr)) {
        error += "; nothing was written";
        return false;
    }
    const int64_t containerSize = SeekFileHandle(kit->Container(), 0, FILE_FROM_END);
    if (containerSize < 0) {
        error = SystemError("cannot take the size of the unpacked kit", GetPlatformErrno()) + "; nothing was written";
        return false;
    }
    // The whole kit is checked before anything is written.
    std::vector<Planned> plan;
    if (const std::string refused = PlanExtraction(*kit, containerSize, plan); !refused.empty()) {
        error = "refusing kit " + ShownKit(options.kit) + ", nothing was written:\n" + refused;
        return false;
    }
    OwnedDescriptor root;
    if (!PrepareDirectory(options, root, error)) {
        error += "; nothing was written";
        return false;
    }
    WrittenFiles written(options, plan.size(), TotalBytes(*kit, plan), messages);
    for (const Planned& item : plan) {
        std::string shown;
        if (!WriteEntry(*kit, item, root.Get(), options.directory, shown, error)) {
            error += written.BeforeFailure();
            return false;
        }
        written.Add(shown, kit->Entries()[item.index].size, out);
    }
    written.Finish();
    out << "extracted " << plan.size() << (plan.size() == 1 ? " file, " : " files, ") << written.Bytes()
        << " bytes, into " << options.directory << "\n";
    return true;
}

}  // namespace vxk5
