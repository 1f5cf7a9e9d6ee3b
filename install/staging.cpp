#include "install/staging.h"

#include <cerrno>

#include "base/conversion.h"
#include "platform/fault_injection.h"
#include "platform/directory_open.h"
#include "platform/entry_details.h"
#include "platform/file_system.h"
#include "platform/open_file.h"
#include "platform/path_limit.h"
#include "platform/user_accounts.h"

namespace vxk5 {

namespace {

// Staging names tried before the job gives up.
constexpr int kStagingAttempts = 100000;
constexpr char kRegistryBase[] = ".vxk5";
constexpr char kRegistryName[] = "transactions";
constexpr char kRegistryMagic[] = "vxk5-staging 1";

std::string LastComponent(const std::string& target) {
    std::string trimmed = target;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string ParentOf(const std::string& target) {
    std::string trimmed = target;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return trimmed.substr(0, slash);
}

bool AllDigits(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Opens `name` in `directory` as a directory that can be read, not following a link.
[[nodiscard]] int OpenReadable(int directory, const std::string& name, OwnedDescriptor& opened) {
    return OpenDirectoryAt(directory, name, opened, DirectoryAccess::Read).error;
}

// A directory of this user with exactly `mode`.
bool OwnedWithMode(int fd, unsigned mode) {
    EntryDetails details;
    return DescribeOpenEntry(fd, details) == 0 && details.kind == EntryKind::Directory &&
           details.owner == ThisUserId() && details.permissions == mode;
}

// Tries the names one after another in `parent`; 0 with `staging` filled in.
[[nodiscard]] int MakeIn(int parent, const std::string& parentPath, const std::string& directoryName, bool inside,
           Staging& staging) {
    for (int number = 0; number < kStagingAttempts; ++number) {
        const std::string name = inside ? InsideStagingName(number) : BesideStagingName(number, directoryName);
        int error = InjectedFault(FaultStep::JournalWrite, parentPath + (parentPath.back() == '/' ? "" : "/") + name);
        if (error == 0) error = MakeDirectoryAt(parent, name, 0700).error;
        if (error == EEXIST) continue;  // anything of that name, ours or not, is never adopted
        if (error != 0) return error;
        OwnedDescriptor made;
        error = OpenReadable(parent, name, made);
        // The umask may have taken bits away: the mode is set whole.
        if (error == 0) error = SetOpenFileMode(made.Get(), 0700);
        if (error == 0) error = MakeDirectoryAt(made.Get(), kOriginalsName, 0700).error;
        if (error == 0) error = OpenReadable(made.Get(), kOriginalsName, staging.originals);
        if (error == 0) error = SetOpenFileMode(staging.originals.Get(), 0700);
        if (error == 0) error = IdentityOf(made.Get(), staging.identity).error;
        // The staging directory's own entry survives a power cut before
        // anything relies on it.
        if (error == 0) error = SyncDirectory(made.Get()).error;
        if (error == 0) error = SyncDirectory(parent).error;
        if (error != 0) {
            (void)PurgeTreeAt(parent, name);  // undoing the half-made one: the first error is reported
            staging.originals.Reset();
            return error;
        }
        staging.directory = std::move(made);
        staging.name = name;
        staging.number = number;
        staging.inside = inside;
        staging.path = parentPath + (parentPath.back() == '/' ? "" : "/") + name + "/";
        return 0;
    }
    return EEXIST;
}

// The registry directory, made when missing and `missing` says Make (each level mode 0700, owned by
// this user, reached below HOME without following a link). `made`, when given, learns how many
// levels were made here.
[[nodiscard]] int OpenRegistry(MissingDirectory missing, OwnedDescriptor& registry, int* made = nullptr) {
    return OpenUserDirectory(kRegistryName, missing, registry, made);
}

void RemoveRegistryLevels(int levels) { RemoveUserDirectory(kRegistryName, levels); }

}  // namespace

int OpenUserDirectory(const char* name, MissingDirectory missing, OwnedDescriptor& opened, int* made) {
    const std::string home = ToMultiByteString(GetHomeDirectory());
    if (home.empty()) return ENOENT;
    OwnedDescriptor current;
    if (const int error = OpenNamedDirectory(home, current); error != 0) return error;
    for (const char* level : {kRegistryBase, name}) {
        OwnedDescriptor next;
        int error = OpenReadable(current.Get(), level, next);
        if (error == ENOENT && missing == MissingDirectory::Make) {
            error = MakeDirectoryAt(current.Get(), level, 0700).error;
            if (error == 0 && made != nullptr) ++*made;
            if (error == 0) error = SyncDirectory(current.Get()).error;
            if (error == 0 || error == EEXIST) error = OpenReadable(current.Get(), level, next);
        }
        if (error != 0) return error;
        EntryDetails status;
        if (const int failed = DescribeOpenEntry(next.Get(), status); failed != 0) return failed;
        if (status.owner != ThisUserId() || (status.permissions & 0022) != 0) return EPERM;
        current = std::move(next);
    }
    opened = std::move(current);
    return 0;
}

void RemoveUserDirectory(const char* name, int levels) {
    if (levels <= 0) return;
    const std::string home = ToMultiByteString(GetHomeDirectory());
    if (home.empty()) return;
    OwnedDescriptor base;
    OwnedDescriptor homeDirectory;
    if (OpenNamedDirectory(home, homeDirectory) != 0 || OpenReadable(homeDirectory.Get(), kRegistryBase, base) != 0) {
        return;
    }
    if (RemoveDirectoryAt(base.Get(), name).error != 0) return;
    (void)SyncDirectory(base.Get());
    if (levels < 2 || RemoveDirectoryAt(homeDirectory.Get(), kRegistryBase).error != 0) return;
    (void)SyncDirectory(homeDirectory.Get());
}

std::string Staging::TemporaryName(uint64_t sequence) const {
    return std::string(kStagingPrefix) + std::to_string(number) + "." + std::to_string(sequence);
}

bool Staging::IsTemporaryName(const std::string& entry) const {
    const std::string prefix = std::string(kStagingPrefix) + std::to_string(number) + ".";
    return entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0 &&
           AllDigits(entry.substr(prefix.size()));
}

std::string BesideStagingName(int number, const std::string& directoryName) {
    return std::string(kStagingPrefix) + std::to_string(number) + "-" + directoryName.substr(0, kStagingNameKept);
}

std::string InsideStagingName(int number) { return std::string(kStagingPrefix) + std::to_string(number); }

bool IsStagingName(const std::string& entry, const std::string& directoryName, bool inside, int& number) {
    const size_t prefix = sizeof kStagingPrefix - 1;
    if (entry.size() <= prefix || entry.compare(0, prefix, kStagingPrefix) != 0) return false;
    const size_t dash = entry.find('-', prefix);
    const std::string digits = inside ? entry.substr(prefix) : entry.substr(prefix, dash - prefix);
    if (!inside && (dash == std::string::npos || entry.substr(dash + 1) != directoryName.substr(0, kStagingNameKept))) {
        return false;
    }
    if (!AllDigits(digits)) return false;
    number = std::stoi(digits);
    return true;
}

size_t LongestStagingPrefix(const std::string& target) {
    const std::string parent = ParentOf(target);
    const size_t originals = sizeof kOriginalsName;  // the name and its "/"
    // Five digits of number: a hundred thousand tries, and then no staging at all.
    const size_t beside = parent.size() + 1 + BesideStagingName(99999, LastComponent(target)).size() + 1 + originals;
    const size_t inside = target.size() + InsideStagingName(99999).size() + 1 + originals;
    return beside > inside ? beside : inside;
}

int MakeStaging(int targetFd, const std::string& target, Staging& staging) {
    staging = Staging();
    const std::string parentPath = ParentOf(target);
    const std::string directoryName = LastComponent(target);
    // Beside the template directory when its parent is on the same file
    // system and can take a new directory.
    if (target != "/") {
        OwnedDescriptor parent;
        EntryIdentity parentIdentity;
        EntryIdentity targetIdentity;
        if (!OpenDirectoryPath(parentPath, DirectoryAccess::Read, parent).Failed() &&
            !IdentityOf(parent.Get(), parentIdentity).Failed() &&
            IdentityOf(targetFd, targetIdentity).error == 0 && parentIdentity.device == targetIdentity.device) {
            const int error = MakeIn(parent.Get(), parentPath, directoryName, false, staging);
            if (error == 0) {
                staging.parent = std::move(parent);
                return 0;
            }
            // Only a parent that cannot take the directory sends it inside;
            // a full disk or a failing one would fail there too.
            if (error != EACCES && error != EPERM && error != EROFS && error != ENAMETOOLONG && error != EEXIST) {
                return error;
            }
        }
    }
    OwnedDescriptor inside;
    if (const int failed = OpenDirectoryAt(targetFd, ".", inside, DirectoryAccess::Read).error; failed != 0) {
        return failed;
    }
    const int error = MakeIn(inside.Get(), target, directoryName, true, staging);
    if (error == 0) staging.parent = std::move(inside);
    return error;
}

int OpenStaging(int parent, const std::string& name, Staging& staging) {
    staging = Staging();
    OwnedDescriptor directory;
    if (const int error = OpenReadable(parent, name, directory); error != 0) {
        return error == ENOTDIR || error == ELOOP ? EPERM : error;
    }
    if (!OwnedWithMode(directory.Get(), 0700)) return EPERM;
    OwnedDescriptor originals;
    const int error = OpenReadable(directory.Get(), kOriginalsName, originals);
    if (error == 0 && !OwnedWithMode(originals.Get(), 0700)) return EPERM;
    if (error != 0 && error != ENOENT) return error == ELOOP || error == ENOTDIR ? EPERM : error;
    if (const int failed = IdentityOf(directory.Get(), staging.identity).error; failed != 0) return failed;
    if (const int failed = DuplicatePrivateDescriptor(parent, staging.parent); failed != 0) return failed;
    staging.directory = std::move(directory);
    staging.originals = std::move(originals);
    staging.name = name;
    return 0;
}

int DiscardStaging(Staging& staging) {
    if (!staging.IsOpen()) return 0;
    staging.originals.Reset();
    int first = PurgeTreeOnTwoThreadsAt(staging.directory.Get(), kOriginalsName).error;
    // The journal goes last: while any of the rest is left, a later start finds it.
    if (first == 0) first = RemoveEntryAt(staging.directory.Get(), kJournalName).error;
    std::vector<std::string> left;
    if (first == 0 && ListDirectoryAt(staging.directory.Get(), left).error == 0) {
        for (const std::string& name : left) {
            const int error = PurgeTreeAt(staging.directory.Get(), name).error;
            if (first == 0) first = error;
        }
    }
    staging.directory.Reset();
    if (first == 0) first = RemoveDirectoryAt(staging.parent.Get(), staging.name).error;
    // Best effort: the removal is done; whether it is on the disk yet changes
    // nothing the caller reports.
    if (first == 0) (void)SyncDirectory(staging.parent.Get());
    return first;
}

int RegisterStaging(Staging& staging) {
    OwnedDescriptor registry;
    if (const int error = OpenRegistry(MissingDirectory::Make, registry, &staging.registryLevelsMade); error != 0) {
        return error;
    }
    const std::string entry = std::to_string(staging.identity.device) + "-" + std::to_string(staging.identity.inode);
    const std::string text = std::string(kRegistryMagic) + "\n" + staging.path + "\n";
    (void)RemoveEntryAt(registry.Get(), entry);  // a stale entry of a staging directory long gone
    OwnedDescriptor file;
    if (const int failed = CreateNewFileAt(registry.Get(), entry, 0600, file).error; failed != 0) return failed;
    int error = WriteOpenFile(file.Get(), text);
    if (error == 0) error = SyncOpenFileData(file.Get());
    if (error == 0) error = file.Close();
    if (error == 0) error = SyncDirectory(registry.Get()).error;
    if (error != 0) {
        (void)RemoveEntryAt(registry.Get(), entry);  // undoing the half-written entry: its error is reported
        return error;
    }
    staging.registryEntry = entry;
    return 0;
}

void UnregisterStaging(const std::string& registryEntry) {
    if (registryEntry.empty()) return;
    OwnedDescriptor registry;
    if (OpenRegistry(MissingDirectory::Leave, registry) != 0) return;
    (void)RemoveEntryAt(registry.Get(), registryEntry);  // best effort: a stale entry is skipped by every reader
}

void UnregisterStaging(Staging& staging) {
    UnregisterStaging(staging.registryEntry);
    staging.registryEntry.clear();
    RemoveRegistryLevels(staging.registryLevelsMade);
    staging.registryLevelsMade = 0;
}

std::vector<RegisteredStaging> RegisteredStagings() {
    std::vector<RegisteredStaging> found;
    OwnedDescriptor registry;
    if (OpenRegistry(MissingDirectory::Leave, registry) != 0) return found;
    std::vector<std::string> names;
    if (ListDirectoryAt(registry.Get(), names).error != 0) return found;
    for (const std::string& name : names) {
        OwnedDescriptor file;
        if (OpenForReadingAt(registry.Get(), name, file).Failed()) continue;
        EntryDetails status;
        if (DescribeOpenEntry(file.Get(), status) != 0 || status.kind != EntryKind::File ||
            status.owner != ThisUserId() || status.size > kMaxPathBytes + 64) {
            continue;
        }
        std::string text(static_cast<size_t>(status.size), '\0');
        if (ReadOpenFileAt(file.Get(), &text[0], text.size(), 0) != static_cast<int64_t>(text.size())) continue;
        const std::string head = std::string(kRegistryMagic) + "\n";
        if (text.compare(0, head.size(), head) != 0 || text.back() != '\n') continue;
        const std::string path = text.substr(head.size(), text.size() - head.size() - 1);
        if (path.empty() || path[0] != '/' || path.back() != '/' || path.find('\n') != std::string::npos) continue;
        found.push_back({name, path});
    }
    return found;
}

}  // namespace vxk5
