#pragma once
// Where the records of installations live: ~/.vxk5/installations/, one
// directory per template directory named after its device and inode
// ("<device>-<inode>"), holding the records of its latest installations as
// "<sequence>.rec" (the highest the latest). Every level is this user's and
// writable by nobody else; a record is used only when it is this user's, not
// writable by others, and names the template directory by its identity.

#include <cstdint>
#include <string>

#include "install/installation_record.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

// How many records of one template directory are kept: the oldest beyond go.
constexpr size_t kRecordsKept = 8;

// Writes one installation's record as the installation goes: the header at
// Open, a line for each file placed, the directories and the end at Finish,
// which syncs it and only then gives it its name. Calls from one thread.
class RecordWriter {
public:
    RecordWriter() = default;
    ~RecordWriter() { Abandon(); }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Starts the record of `header` (target, identity, kit; no files yet).
    // 0 or errno; nothing is recorded after a failure.
    [[nodiscard]] int Open(const InstallationRecord& header);
    bool IsOpen() const { return file_.IsOpen(); }
    // Whether any file was recorded.
    bool Placed() const { return placed_; }
    void AddFile(const RecordedFile& file);
    void AddDirectory(const RecordedDirectory& directory);
    // Ends, syncs and names the record, the latest of its template directory,
    // and removes the oldest beyond kRecordsKept. 0 or errno (the record is
    // then removed).
    [[nodiscard]] int Finish(int64_t when);
    // Removes an unfinished record.
    void Abandon();

private:
    void Append(const std::string& line);
    void Flush();

    OwnedDescriptor directory_;
    OwnedDescriptor file_;
    std::string temporary_;
    std::string buffer_;
    uint64_t sequence_ = 0;
    int error_ = 0;
    bool placed_ = false;
};

// The latest record of the template directory whose identity is
// `identity`: 0, ENOENT when there is none, EPERM when it is not one to
// trust (another user's, writable by others, naming another directory),
// EINVAL when it does not read as a record, or errno. `name` receives its
// file name, for RemoveRecord.
[[nodiscard]] int ReadLatestRecord(const EntryIdentity& identity, InstallationRecord& record, std::string& name);

// Removes the record `name` of that template directory (and its directory
// when it is left empty). 0 or errno.
[[nodiscard]] int RemoveRecord(const EntryIdentity& identity, const std::string& name);

}  // namespace vxk5
