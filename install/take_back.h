#pragma once
// Taking back the files of a recorded installation, after the uninstall's
// commit record: each file the record names that is still the file placed
// (the same identity, size and modification time) is removed, or, when the
// installation kept the original it replaced, the original comes back in
// its place; a file changed or replaced since is kept. Nothing of this
// happens before the commit record, so that a failure, a kill or a power cut
// before it finds the directory as it was. After it, the recovery runs the
// same again over what it finds: every step is one it can take again or
// find taken. An original comes back as a link made under a working name,
// exchanged with the file placed (renamed over it where the file system
// cannot exchange), and the file placed, now under the working name, is
// removed; the kept originals' directory is not touched, so that nothing is
// lost to a cut, until all of this is on the disk.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "install/installation_record.h"
#include "platform/file_entries.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

// What a take-back did.
struct TakenBack {
    uint32_t removed = 0;           // files taken out (restored ones included)
    uint32_t restored = 0;          // of those, originals put back
    uint32_t missing = 0;           // files already gone
    uint32_t originalsNotKept = 0;  // removed, replacing an original that was not kept
    std::vector<std::string> keptChanged;  // changed or replaced since, kept (absolute)
    Failure failure;  // the first change that failed (the file stays)
};

enum class Verdict { Remove, KeepChanged, Missing };

// Whether a recorded file, found as `status`, is still the file placed.
Verdict Judge(const InstallationRecord& record, const RecordedFile& file, const EntryStatus& status);

// "a/b/c" as "a/b" and "c"; "c" as "" and "c".
void SplitRelative(const std::string& relative, std::string& parent, std::string& name);

// The directory `relative` below `root`, each component opened without
// following a link. 0, ENOENT, ELOOP, ENOTDIR or errno.
[[nodiscard]] int OpenBelow(int root, const std::string& relative, OwnedDescriptor& opened);

// Whether the original `file` replaced is kept in `keptOriginals` (-1: none
// is kept), and its identity.
bool OriginalKept(const RecordedFile& file, int keptOriginals, EntryIdentity& identity);

// Before a commit: the directories holding the recorded files, where they
// are, let this process remove and make names. ERR_SUCCESS, or a code with
// `failure` naming the first that does not.
[[nodiscard]] uint32_t CheckTakeBack(const InstallationRecord& record, int root, Failure& failure);

struct TakeBackPlace {
    int root = -1;           // the template directory
    int keptOriginals = -1;  // the kept originals, -1 when none were kept
    // The working name for the original of the record's i-th file.
    std::function<std::string(size_t index)> workingName;
    // Told as files are done (done, of the record's files), on the calling thread.
    std::function<void(size_t done, size_t total)> progress;
};

// Takes back every file of `record` at `place`, as described above, on two
// threads; what it did is what one pass in the record's order would report.
TakenBack TakeBackFiles(const InstallationRecord& record, const TakeBackPlace& place);

}  // namespace vxk5
