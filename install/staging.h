#pragma once
// The staging directory of an installation: a private directory on the
// template directory's own file system that holds the journal and the
// originals the job sets aside, so that setting an original aside and putting
// it back are renames, which keep everything about the file (owner, mode,
// set-id bits, extended attributes, ACLs, hard links, holes), and so that it
// lives exactly as long as the files it protects (a reboot that empties the
// temporary directory does not take it along).
//
// Layout, beside the template directory <parent>/<name>/:
//
//   <parent>/.k5stp<N>-<name>/          mode 0700, made with mkdirat, never adopted
//       journal                         mode 0600, locked by the live installer
//       originals/<path below the template directory>
//
// and only when <parent> is on another file system or cannot take a new
// directory, inside the template directory as <parent>/<name>/.k5stp<N>/. N is
// the first number free. New files are written under the temporary name
// .k5stp<N>.<sequence> in their final directory; an original exchanged with
// its new file waits under that name until the commit. The originals are
// moved to originals/ only where the file system cannot exchange two names.
//
// Every live staging directory is also listed in the per-user registry
// ~/.vxk5/transactions/ (one file per staging directory, named after its
// device and inode numbers, holding "vxk5-staging 1\n<path>\n"), made durable
// before the first change and removed after the commit or the rollback, so
// that the next start finds an unfinished installation wherever it was.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_entries.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

constexpr char kStagingPrefix[] = ".k5stp";
constexpr char kJournalName[] = "journal";
constexpr char kOriginalsName[] = "originals";
// The probe for exchanging two names makes its empty directories with this prefix.
constexpr char kExchangeProbe[] = "exchange-probe";
// The part of the template directory's name kept in a staging name beside it.
constexpr size_t kStagingNameKept = 200;

struct Staging {
    OwnedDescriptor parent;     // the directory holding the staging directory
    OwnedDescriptor directory;  // the staging directory itself (readable)
    OwnedDescriptor originals;  // its originals/ (readable)
    std::string name;           // its name inside `parent`
    std::string path;           // absolute, ending with "/"
    std::string registryEntry;  // the registry's file name; empty when not registered
    // How many levels of the registry's directory (~/.vxk5/, its
    // transactions/) RegisterStaging made: 0, 1 (transactions/) or 2.
    int registryLevelsMade = 0;
    int number = 0;
    bool inside = false;        // made inside the template directory
    EntryIdentity identity;

    bool IsOpen() const { return directory.IsOpen(); }
    std::string OriginalsPath() const { return path + kOriginalsName + "/"; }
    // The temporary name of the `sequence`-th new file.
    std::string TemporaryName(uint64_t sequence) const;
    // Whether `entry` has the form of this staging directory's temporary names.
    bool IsTemporaryName(const std::string& entry) const;
};

// ".k5stp<N>-<name>" (the name cut to kStagingNameKept bytes) and ".k5stp<N>".
std::string BesideStagingName(int number, const std::string& directoryName);
std::string InsideStagingName(int number);
// Whether `entry` is a staging name beside (`inside` false) or inside the
// template directory named `directoryName`; gives the number.
bool IsStagingName(const std::string& entry, const std::string& directoryName, bool inside, int& number);

// The length of the longest staging path for the template directory `target`
// (absolute, ending with "/"), originals/ included: an entry's relative path
// must fit PATH_MAX after it.
size_t LongestStagingPrefix(const std::string& target);

// Makes the staging directory for the open template directory `targetFd`
// whose real path is `target` (ending with "/"), with its originals/, durable
// (the entries are synced into their directories). 0 or errno.
[[nodiscard]] int MakeStaging(int targetFd, const std::string& target, Staging& staging);

// Opens an existing staging directory `name` in `parent` for recovery: only
// a directory (not a link) owned by this user with mode 0700. 0, EPERM when
// it is not one to trust, or errno.
[[nodiscard]] int OpenStaging(int parent, const std::string& name, Staging& staging);

// Deletes the staging directory and everything in it, the journal last, and
// syncs its parent. 0 or the first errno.
[[nodiscard]] int DiscardStaging(Staging& staging);

// Opens (with MissingDirectory::Make, makes, 0700, synced into its parent)
// the user's own directory ~/.vxk5/<name>/: each level this user's and not
// writable by group or others (EPERM otherwise). `made` counts the levels
// made. 0 or errno (ENOENT without a home directory).
[[nodiscard]] int OpenUserDirectory(const char* name, MissingDirectory missing, OwnedDescriptor& opened,
                                    int* made = nullptr);

// Removes the last `levels` levels of ~/.vxk5/<name>/ (1: that directory,
// 2: ~/.vxk5/ as well), the deepest first, each only when it is empty (a
// removal that fails leaves it and those above it). Best effort.
void RemoveUserDirectory(const char* name, int levels);

// The registry. RegisterStaging writes and syncs the entry (making
// ~/.vxk5/transactions/ when missing); UnregisterStaging removes it, and the
// levels of that directory RegisterStaging made when they are empty again:
// nothing the user or another installer made, and nothing that holds an entry.
[[nodiscard]] int RegisterStaging(Staging& staging);
void UnregisterStaging(Staging& staging);
void UnregisterStaging(const std::string& registryEntry);

struct RegisteredStaging {
    std::string entry;  // the registry's file name
    std::string path;   // the staging directory, absolute, ending with "/"
};
// Every entry of this user's registry that reads as one.
std::vector<RegisteredStaging> RegisteredStagings();

}  // namespace vxk5
