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
    ~RecordWriter() {
        Abandon();
        Withdraw();
    }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Starts the record of `header` (target, identity, kit; no files yet);
    // its file is made with the first file recorded, so that a job that
    // places nothing leaves nothing in the user's directory.
    void Open(const InstallationRecord& header);
    bool IsOpen() const { return open_; }
    // Whether any file was recorded.
    bool Placed() const { return placed_; }
    void AddFile(const RecordedFile& file);
    void AddDirectory(const RecordedDirectory& directory);
    // The identity of the directory keeping the originals replaced.
    void AddKept(const EntryIdentity& kept);
    // Ends, syncs and names the record, the latest of its template
    // directory: before the installation's commit, so that a commit never
    // stands without its record. 0 or errno (the record is then removed);
    // the first error met while the record was written.
    [[nodiscard]] int Finish(int64_t when);
    // After the commit: removes the oldest records beyond kRecordsKept.
    void Prune();
    // After a failed commit: removes the record named by Finish.
    void Withdraw();
    // Removes an unfinished record, and the directories made for it when
    // they are left empty.
    void Abandon();

private:
    [[nodiscard]] int MakeFile();
    void Append(const std::string& line);
    void Flush();
    void RemoveLevelsMade();

    OwnedDescriptor directory_;
    OwnedDescriptor file_;
    std::string temporary_;
    std::string buffer_;
    uint64_t sequence_ = 0;
    EntryIdentity target_;
    int levelsMade_ = 0;  // of ~/.vxk5/, its installations/ and the template directory's own
    int error_ = 0;
    bool open_ = false;
    bool placed_ = false;
    bool named_ = false;  // Finish named it, and neither Prune nor Withdraw has come
};

// The latest record of the template directory whose identity is
// `identity`: 0, ENOENT when there is none, EPERM when it is not one to
// trust (another user's, writable by others, naming another directory),
// EINVAL when it does not read as a record, or errno. `name` receives its
// file name, for RemoveRecord.
[[nodiscard]] int ReadLatestRecord(const EntryIdentity& identity, InstallationRecord& record, std::string& name);
// The same, judged the same, without its files and directories: for a reader
// that needs only the rest, in little memory whatever the record's size.
[[nodiscard]] int ReadLatestRecordSummary(const EntryIdentity& identity, InstallationRecord& record,
                                          std::string& name);

// Removes the record of the template directory `identity` that the
// installation whose staging directory was `transaction` wrote, after its
// rollback. Best effort.
void WithdrawRecordOf(const EntryIdentity& identity, const EntryIdentity& transaction);

// Removes the record `name` of that template directory (and its directory
// when it is left empty). 0 or errno.
[[nodiscard]] int RemoveRecord(const EntryIdentity& identity, const std::string& name);

}  // namespace vxk5
