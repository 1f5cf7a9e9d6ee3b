#pragma once
// The on-disk journal of an installation and the lock that keeps a second
// installer out of a template directory. Both rest on flock(2), whose locks
// die with their process (SIGKILL included): a journal whose lock can be
// taken belongs to no live installer.

#include <string>
#include <vector>

#include <sys/types.h>

#include "platform/owned_descriptor.h"

namespace vxk5 {

class JournalFile {
public:

    // Makes `name` inside the open directory `directory` exclusively (never
    // through a link, mode 0600) holding `header`, synced to the disk, and
    // holds an exclusive lock on it until Close. 0, or errno (EEXIST: the
    // name is taken).
    [[nodiscard]] int CreateAt(int directory, const std::string& name, const std::string& header);

    // Opens the journal `name` of a dead installer inside `directory`: a
    // regular file, not a link, owned by this user, mode 0600, whose lock is
    // free at once, or within `waitMilliseconds`. 0, or errno (EWOULDBLOCK: a
    // live installer still holds it; EPERM: not ours).
    [[nodiscard]] int OpenLeftOverAt(int directory, const std::string& name, int waitMilliseconds = 0);

    // One write(2) of the whole record (a record cut short by a full disk is
    // taken back, so that the next record starts on a line of its own). The
    // record is in the kernel once this returns, which a killed process does
    // not undo; Sync makes the records so far survive a power cut as well.
    [[nodiscard]] int Append(const std::string& record);

    // fdatasync(2): every record appended so far is on the disk.
    [[nodiscard]] int Sync();

    // The whole file from its start.
    [[nodiscard]] int ReadAll(std::string& bytes) const;

    bool IsOpen() const { return fd_.IsOpen(); }
    void Close();  // releases the lock

private:
    OwnedDescriptor fd_;  // closing it releases the lock
    off_t length_ = 0;    // bytes of whole records written
};

// The lock that keeps installers apart: exclusive on the template directory
// and shared on each directory above it (by its real path). Two installers
// into the same directory, or into two directories one inside the other,
// therefore exclude each other (the outer one's exclusive lock meets the
// inner one's shared lock on the same directory), while installers into
// unrelated directories share only shared locks. Locks are taken from "/"
// downwards, so no two installers can wait for each other in a circle. The
// locks rest on flock(2) and die with their process. A directory above that
// cannot be opened for reading is passed over; a file system without locks
// lets the installation go on unlocked.
class DirectoryLock {
public:

    // Opens the directory (O_DIRECTORY, a link to it followed: it is the
    // user's choice). 0 or errno.
    [[nodiscard]] int Open(const std::string& path);
    // Opens the directory at the absolute `path` without following any link
    // on the way. 0 or errno (ELOOP for a link).
    [[nodiscard]] int OpenWithoutLinks(const std::string& path);
    // Takes the locks without waiting. True when they are held (or the file
    // system has no such locks); false when another process holds one.
    bool TryLock();
    // Waits for the locks. 0 or errno.
    [[nodiscard]] int Wait();
    // The path still names the directory that is locked (it was not removed
    // and made anew while this process waited).
    bool StillNamedBy(const std::string& path) const;
    void Release();
    // The open directory's descriptor (still owned by the lock), or -1.
    int Descriptor() const { return fd_.Get(); }
    // The directory's real path (no link in it), ending without "/" (except
    // "/" itself); empty when it cannot be had.
    std::string RealPath() const;

private:
    enum class Blocking { Try, Wait };
    [[nodiscard]] int LockAll(Blocking blocking);
    OwnedDescriptor fd_;  // closing it releases the lock
    std::vector<OwnedDescriptor> above_;  // the shared locks on the directories above
    std::string openedAs_;                // the path given to Open
};

}  // namespace vxk5
