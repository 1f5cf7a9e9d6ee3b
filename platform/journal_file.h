#pragma once
// The on-disk journal of an installation and the lock that keeps a second
// installer out of a template directory. Both rest on flock(2), whose locks
// die with their process (SIGKILL included): a journal whose lock can be
// taken belongs to no live installer.

#include <string>

#include "platform/owned_descriptor.h"

namespace vxk5 {

class JournalFile {
public:

    // Makes `path` exclusively (never through a link, mode 0600) holding
    // `header`, and holds an exclusive lock on it until Close. Where the file
    // system allows, the file is written and locked before it gets its name,
    // so that no one ever sees it empty or unlocked. 0, or errno (EEXIST: the
    // name is taken).
    [[nodiscard]] int Create(const std::string& path, const std::string& header);

    // Opens an existing journal of a dead installer: a regular file, not a
    // link, owned by this user, mode 0600, whose lock is free at once. 0, or
    // errno (EWOULDBLOCK: a live installer holds it; EPERM: not ours).
    [[nodiscard]] int OpenLeftOver(const std::string& path);

    // One write(2) of the whole record. There is deliberately no fsync: a
    // write that has returned is in the kernel and survives the death of the
    // process, which is the fault the journal guards against; losing power is
    // not, and an fsync per record would make every entry wait for the disk,
    // multiplying the cost of an installation.
    [[nodiscard]] int Append(const std::string& record);

    // The whole file from its start.
    [[nodiscard]] int ReadAll(std::string& bytes) const;

    bool IsOpen() const { return fd_.IsOpen(); }
    void Close();  // releases the lock

private:
    OwnedDescriptor fd_;  // closing it releases the lock
};

class DirectoryLock {
public:

    // Opens the directory (O_DIRECTORY). 0 or errno.
    [[nodiscard]] int Open(const std::string& path);
    // Takes the exclusive lock without waiting. True when it is held, or when
    // the file system has no such locks (the installation then goes on
    // without one); false when another process holds it.
    bool TryLock();
    // Waits for the lock. 0 or errno.
    [[nodiscard]] int Wait();
    // The path still names the directory that is locked (it was not removed
    // and made anew while this process waited).
    bool StillNamedBy(const std::string& path) const;
    void Release();
    // The open directory's descriptor (still owned by the lock), or -1.
    int Descriptor() const { return fd_.Get(); }

private:
    OwnedDescriptor fd_;  // closing it releases the lock
};

}  // namespace vxk5
