#include "tools/kit_extract.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "base/conversion.h"
#include "install/extract.h"
#include "install/replace_rule.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "tools/kit_inspect.h"

namespace vxk5 {

namespace {


std::string ToBytes(const WString& text) {
    const AString bytes = ToMultiByte(text);
    return std::string(bytes.c_str(), bytes.length());
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

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
    DIR* raw = opendir(path.c_str());
    if (raw == nullptr) {
        error = SystemError("cannot read directory " + path);
        return false;
    }
    struct Closer {
        DIR* directory;
        ~Closer() { closedir(directory); }
    } closer{raw};
    errno = 0;
    while (const dirent* entry = readdir(raw)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) return false;
    }
    if (errno != 0) error = SystemError("cannot read directory " + path);
    return errno == 0;
}

// Makes `path` and its missing parents, as the installer's platform layer does.
bool MakeDirectories(const std::string& path, std::string& error) {
    if (CreateDirectoryTree(FromMultiByte(AString(path.c_str(), path.size()))) == ERR_SUCCESS) return true;
    error = "cannot make directory " + path;
    return false;
}

// Opens (making it when missing) the directory `name` below `parent`; a
// symbolic link or a file there is refused.
FileHandle OpenChildDirectory(FileHandle parent, const std::string& name, const std::string& shown,
                              std::string& error) {
    if (mkdirat(static_cast<int>(parent), name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = SystemError("cannot make directory " + shown);
        return INVALID_FILE_HANDLE;
    }
    const int child = openat(static_cast<int>(parent), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) {
        error = errno == ELOOP || errno == ENOTDIR ? shown + " is in the way: not a directory (symbolic links are not followed)"
                                                   : SystemError("cannot open directory " + shown);
        return INVALID_FILE_HANDLE;
    }
    return child;
}

// Removes whatever stands at `name` below `parent` (a file, a link; never
// written through), so that the file is made afresh.
bool RemoveChildEntry(FileHandle parent, const std::string& name, const std::string& shown, std::string& error) {
    if (unlinkat(static_cast<int>(parent), name.c_str(), 0) != 0 && errno != ENOENT) {
        error = SystemError("cannot replace " + shown);
        return false;
    }
    return true;
}

struct Planned {
    size_t index;
    std::vector<std::string> components;
};

}  // namespace

bool IsExtractableName(const WString& name) { return CheckEntryName(name) == ENTRY_NAME_OK; }

bool ParseExtractArguments(int argc, char** argv, ExtractOptions& options, std::string& error) {
    options = ExtractOptions();
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "-f" || argument == "--force")) {
            options.force = true;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            error = "unknown option " + argument;
            return false;
        } else {
            operands.push_back(argument);
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

bool ExtractKit(const ExtractOptions& options, std::ostream& out, std::string& error) {
    std::unique_ptr<DistributionKit> kit;
    if (!ReadKitFile(options.kit, kit, error)) {
        error += "; nothing was written";
        return false;
    }
    const int64_t containerSize = SeekFileHandle(kit->Container(), 0, FILE_FROM_END);
    if (containerSize < 0) {
        error = "cannot take the size of the unpacked kit";
        return false;
    }

    // The whole kit is checked before anything is written. A name listed
    // twice keeps its newest copy, the one an installation would leave.
    std::string refused;
    std::vector<Planned> plan;
    std::map<std::vector<std::string>, size_t> planned;  // components -> position in `plan`
    // The installer's own check of every name, and of a file that another
    // entry needs as its directory.
    std::vector<EntryNameCheck> nameChecks(kit->Entries().size(), ENTRY_NAME_OK);
    for (const EntryNameProblem& problem : FindEntryNameProblems(kit->Entries())) {
        if (nameChecks[problem.index] == ENTRY_NAME_OK) nameChecks[problem.index] = problem.check;
    }
    for (size_t i = 0; i < kit->Entries().size(); ++i) {
        const KitFileEntry& entry = kit->Entries()[i];
        const std::string shown = ToBytes(entry.name);
        std::vector<std::string> components;
        if (nameChecks[i] != ENTRY_NAME_OK) {
            refused += "  " + shown + ": unsafe name (" + DescribeEntryNameCheck(nameChecks[i]) + ")\n";
            continue;
        }
        if (!IsExtractableName(entry.name) || !ComponentsOf(entry.name, components)) {
            refused += "  " + shown + ": unsafe name\n";
            continue;
        }
        if (static_cast<uint64_t>(entry.offset) + entry.size > static_cast<uint64_t>(containerSize)) {
            refused += "  " + shown + ": its bytes lie outside the kit\n";
            continue;
        }
        const auto [it, added] = planned.emplace(components, plan.size());
        if (added) {
            plan.push_back(Planned{i, std::move(components)});
        } else {
            // The installer's rule, as it would find the earlier copy written.
            const KitFileEntry& kept = kit->Entries()[plan[it->second].index];
            EntryStatus written;
            written.kind = EntryKind::File;
            written.modified = FileTimeToUnixTime(WholeSecondOf(FileTime{kept.timeLow, kept.timeHigh}));
            if (DecideReplacement(written, FileTime{entry.timeLow, entry.timeHigh}) == ReplaceVerdict::Replace) {
                plan[it->second].index = i;
            }
        }
    }
    if (!refused.empty()) {
        error = "refusing kit " + options.kit + ", nothing was written:\n" + refused;
        return false;
    }

    struct stat info {};
    if (stat(options.directory.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            error = "not a directory: " + options.directory;
            return false;
        }
        bool empty = IsEmptyDirectory(options.directory, error);
        if (!error.empty()) return false;
        if (!empty && !options.force) {
            error = "directory " + options.directory + " is not empty; --force extracts into it anyway";
            return false;
        }
    } else if (errno != ENOENT || !MakeDirectories(options.directory, error)) {
        if (error.empty()) error = SystemError("cannot examine " + options.directory);
        return false;
    }
    const int root = open(options.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        error = SystemError("cannot open directory " + options.directory);
        return false;
    }
    const ScopedFileHandle rootHandle(root);

    uint64_t bytes = 0;
    for (const Planned& item : plan) {
        const KitFileEntry& entry = kit->Entries()[item.index];
        std::string shown = options.directory;
        ScopedFileHandle parent;  // empty: the root
        for (size_t c = 0; c + 1 < item.components.size(); ++c) {
            shown += "/" + item.components[c];
            const FileHandle next =
                OpenChildDirectory(parent.Get() == INVALID_FILE_HANDLE ? rootHandle.Get() : parent.Get(),
                                   item.components[c], shown, error);
            if (next == INVALID_FILE_HANDLE) return false;
            parent.Reset(next);
        }
        shown += "/" + item.components.back();
        const FileHandle directory = parent.Get() == INVALID_FILE_HANDLE ? rootHandle.Get() : parent.Get();
        if (!RemoveChildEntry(directory, item.components.back(), shown, error)) return false;
        // The installer's own extraction, keeping the kit's time to the 100 ns.
        int failure = 0;
        if (ExtractEntryAt(*kit, item.index, static_cast<int>(directory), item.components.back(), shown, &failure,
                           nullptr, false, true) != 0) {
            errno = failure;
            error = failure != 0 ? SystemError("cannot write " + shown) : "cannot read the kit's bytes of " + shown;
            return false;
        }
        bytes += entry.size;
    }
    out << "extracted " << plan.size() << (plan.size() == 1 ? " file, " : " files, ") << bytes << " bytes, into "
        << options.directory << "\n";
    return true;
}

}  // namespace vxk5
