#include "install/record_store.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "install/journal_format.h"
#include "install/staging.h"
#include "platform/entry_details.h"
#include "platform/file_entries.h"
#include "platform/open_file.h"
#include "platform/user_accounts.h"

namespace vxk5 {

namespace {

constexpr char kRecordsName[] = "installations";
constexpr char kSuffix[] = ".rec";
// A record being written; the template directory's lock keeps a second one
// from being written at once.
constexpr char kUnfinishedPrefix[] = ".new";
constexpr size_t kFlushAt = 1 << 16;
constexpr uint64_t kLargestRecord = uint64_t(1) << 34;
// Read at a time where a record's files are not kept.
constexpr size_t kReadPiece = 1 << 20;

std::string KeyOf(const EntryIdentity& identity) {
    return std::to_string(identity.device) + "-" + std::to_string(identity.inode);
}

// This user's and writable by nobody else.
bool Trusted(int descriptor, EntryKind kind) {
    EntryDetails details;
    return DescribeOpenEntry(descriptor, details) == 0 && details.kind == kind && details.owner == ThisUserId() &&
           (details.permissions & 0022) == 0;
}

// The template directory's directory of records. 0, ENOENT, EPERM or errno;
// `made` counts the levels made (~/.vxk5/, its installations/, the directory's own).
int OpenRecords(const EntryIdentity& identity, MissingDirectory missing, OwnedDescriptor& records,
                int* made = nullptr) {
    OwnedDescriptor all;
    if (const int error = OpenUserDirectory(kRecordsName, missing, all, made); error != 0) return error;
    const std::string key = KeyOf(identity);
    int error = OpenDirectoryAt(all.Get(), key, records, DirectoryAccess::Read).error;
    if (error == ENOENT && missing == MissingDirectory::Make) {
        error = MakeDirectoryAt(all.Get(), key, 0700).error;
        if (error == 0 && made != nullptr) ++*made;
        if (error == 0) error = SyncDirectory(all.Get()).error;
        if (error == 0 || error == EEXIST) error = OpenDirectoryAt(all.Get(), key, records, DirectoryAccess::Read).error;
    }
    if (error != 0) return error;
    return Trusted(records.Get(), EntryKind::Directory) ? 0 : EPERM;
}

// The sequences of the finished records, oldest first.
std::vector<uint64_t> Sequences(int records) {
    std::vector<std::string> names;
    std::vector<uint64_t> sequences;
    if (ListDirectoryAt(records, names).error != 0) return sequences;
    const std::string suffix = kSuffix;
    for (const std::string& name : names) {
        uint64_t sequence = 0;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            ParseDecimal(name.substr(0, name.size() - suffix.size()), sequence)) {
            sequences.push_back(sequence);
        }
    }
    std::sort(sequences.begin(), sequences.end());
    return sequences;
}

std::string NameOf(uint64_t sequence) { return std::to_string(sequence) + kSuffix; }

// Unfinished records of a dead installer: the template directory's lock,
// which the caller holds, keeps live ones from being here.
void RemoveUnfinished(int records) {
    std::vector<std::string> names;
    if (ListDirectoryAt(records, names).error != 0) return;
    for (const std::string& name : names) {
        // One that stays is never read as a record, and the new one is made
        // exclusively: its creation then fails and says why.
        if (name.rfind(kUnfinishedPrefix, 0) == 0) (void)RemoveEntryAt(records, name);
    }
}

}  // namespace

void RecordWriter::Open(const InstallationRecord& header) {
    Withdraw();
    Abandon();
    buffer_ = RecordHeader(header);
    target_ = header.targetIdentity;
    error_ = 0;
    placed_ = false;
    open_ = true;
}

int RecordWriter::MakeFile() {
    levelsMade_ = 0;
    if (const int error = OpenRecords(target_, MissingDirectory::Make, directory_, &levelsMade_); error != 0) {
        return error;
    }
    RemoveUnfinished(directory_.Get());
    const std::vector<uint64_t> sequences = Sequences(directory_.Get());
    sequence_ = sequences.empty() ? 1 : sequences.back() + 1;
    temporary_ = kUnfinishedPrefix;
    return CreateNewFileAt(directory_.Get(), temporary_, 0600, file_).error;
}

void RecordWriter::Append(const std::string& line) {
    if (!open_ || error_ != 0) return;
    if (!file_.IsOpen() && (error_ = MakeFile()) != 0) return;
    buffer_ += line;
    if (buffer_.size() >= kFlushAt) Flush();
}

void RecordWriter::Flush() {
    if (error_ == 0 && !buffer_.empty()) error_ = WriteOpenFile(file_.Get(), buffer_);
    buffer_.clear();
}

void RecordWriter::AddFile(const RecordedFile& file) {
    placed_ = true;
    Append(RecordFileLine(file));
}

void RecordWriter::AddDirectory(const RecordedDirectory& directory) { Append(RecordDirectoryLine(directory)); }

int RecordWriter::Finish(int64_t when) {
    if (!open_) return EBADF;
    Append(RecordEnd(when));
    Flush();
    int error = error_;
    if (error == 0 && !file_.IsOpen()) error = EBADF;
    if (error == 0) error = SyncOpenFileData(file_.Get());
    if (error == 0) error = file_.Close();
    if (error == 0) error = PlaceWithoutReplacing(directory_.Get(), temporary_, NameOf(sequence_)).error;
    if (error == 0) error = SyncDirectory(directory_.Get()).error;
    if (error != 0) {
        Abandon();
        return error;
    }
    temporary_.clear();
    open_ = false;
    named_ = true;
    return 0;
}

void RecordWriter::Prune() {
    if (!named_) return;
    // The oldest records beyond those kept: best effort, as one left is only
    // an older installation's, which the next record's prune tries again.
    const std::vector<uint64_t> sequences = Sequences(directory_.Get());
    for (size_t k = 0; k + kRecordsKept < sequences.size(); ++k) {
        (void)RemoveEntryAt(directory_.Get(), NameOf(sequences[k]));
    }
    directory_.Reset();
    named_ = false;
    levelsMade_ = 0;
}

void RecordWriter::Withdraw() {
    if (!named_) return;
    // A record that stays names files the rollback took out again: an
    // uninstall finds them gone or not the files placed, and removes nothing.
    if (RemoveEntryAt(directory_.Get(), NameOf(sequence_)).error == 0) (void)SyncDirectory(directory_.Get());
    directory_.Reset();
    named_ = false;
    RemoveLevelsMade();
}

void RecordWriter::AddKept(const EntryIdentity& kept) {
    if (open_) Append(RecordKeptLine(kept));
}

void RecordWriter::Abandon() {
    if (named_) return;  // whole: Prune or Withdraw settles it
    file_.Reset();
    // An unfinished record that stays is never read as one, and the next
    // record of the directory removes it.
    if (directory_.IsOpen() && !temporary_.empty()) (void)RemoveEntryAt(directory_.Get(), temporary_);
    directory_.Reset();
    RemoveLevelsMade();
    temporary_.clear();
    buffer_.clear();
    open_ = false;
}

void RecordWriter::RemoveLevelsMade() {
    // The deepest first, each only when empty: nothing the user or another
    // installation keeps there goes.
    if (levelsMade_ == 0) return;
    OwnedDescriptor all;
    if (OpenUserDirectory(kRecordsName, MissingDirectory::Leave, all) == 0 &&
        RemoveDirectoryAt(all.Get(), KeyOf(target_)).error == 0 && levelsMade_ > 1) {
        all.Reset();
        RemoveUserDirectory(kRecordsName, levelsMade_ - 1);
    }
    levelsMade_ = 0;
}

namespace {

// Opens the latest record of `identity` when it is one to trust; its size.
int OpenLatestRecord(const EntryIdentity& identity, OwnedDescriptor& file, std::string& name, uint64_t& size) {
    OwnedDescriptor records;
    if (const int error = OpenRecords(identity, MissingDirectory::Leave, records); error != 0) return error;
    const std::vector<uint64_t> sequences = Sequences(records.Get());
    if (sequences.empty()) return ENOENT;
    name = NameOf(sequences.back());
    if (const Failure opened = OpenForReadingAt(records.Get(), name, file); opened.Failed()) return opened.error;
    EntryDetails details;
    if (const int error = DescribeOpenEntry(file.Get(), details); error != 0) return error;
    if (!Trusted(file.Get(), EntryKind::File)) return EPERM;
    if (details.size > kLargestRecord) return EINVAL;
    size = details.size;
    return 0;
}

}  // namespace

int ReadLatestRecord(const EntryIdentity& identity, InstallationRecord& record, std::string& name) {
    OwnedDescriptor file;
    uint64_t size = 0;
    if (const int error = OpenLatestRecord(identity, file, name, size); error != 0) return error;
    std::string text(static_cast<size_t>(size), '\0');
    if (!text.empty() && ReadOpenFileAt(file.Get(), &text[0], text.size(), 0) != static_cast<int64_t>(text.size())) {
        return EIO;
    }
    if (!ParseRecord(text, record)) return EINVAL;
    return record.targetIdentity == identity ? 0 : EPERM;
}

int ReadLatestRecordSummary(const EntryIdentity& identity, InstallationRecord& record, std::string& name) {
    OwnedDescriptor file;
    uint64_t size = 0;
    if (const int error = OpenLatestRecord(identity, file, name, size); error != 0) return error;
    RecordSummaryReader reader;
    std::string piece(kReadPiece, '\0');
    for (uint64_t offset = 0; offset < size;) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - offset));
        const int64_t got = ReadOpenFileAt(file.Get(), &piece[0], wanted, static_cast<int64_t>(offset));
        if (got <= 0) return EIO;
        if (!reader.Feed(std::string_view(piece.data(), static_cast<size_t>(got)))) return EINVAL;
        offset += static_cast<uint64_t>(got);
    }
    if (!reader.Finish(record)) return EINVAL;
    return record.targetIdentity == identity ? 0 : EPERM;
}

void WithdrawRecordOf(const EntryIdentity& identity, const EntryIdentity& transaction) {
    OwnedDescriptor records;
    if (OpenRecords(identity, MissingDirectory::Leave, records) != 0) return;
    for (const uint64_t sequence : Sequences(records.Get())) {
        OwnedDescriptor file;
        if (OpenForReadingAt(records.Get(), NameOf(sequence), file).Failed() || !Trusted(file.Get(), EntryKind::File)) {
            continue;
        }
        std::string start(128, '\0');
        const int64_t read = ReadOpenFileAt(file.Get(), &start[0], start.size(), 0);
        EntryIdentity named;
        if (read <= 0 || !RecordTransaction(start.substr(0, static_cast<size_t>(read)), named) ||
            named != transaction) {
            continue;
        }
        file.Reset();
        // Best effort, as Withdraw: a record that stays takes nothing that is not the installation's.
        (void)RemoveRecord(identity, NameOf(sequence));
        return;
    }
}

int RemoveRecord(const EntryIdentity& identity, const std::string& name) {
    OwnedDescriptor all;
    OwnedDescriptor records;
    if (const int error = OpenRecords(identity, MissingDirectory::Leave, records); error != 0) return error;
    int error = RemoveEntryAt(records.Get(), name).error;
    if (error == 0) error = SyncDirectory(records.Get()).error;
    if (error == 0 && Sequences(records.Get()).empty() &&
        OpenUserDirectory(kRecordsName, MissingDirectory::Leave, all) == 0) {
        std::vector<std::string> left;
        if (ListDirectoryAt(records.Get(), left).error == 0 && left.empty()) {
            // An empty directory of records left behind holds nothing and misleads no reader.
            (void)RemoveDirectoryAt(all.Get(), KeyOf(identity));
        }
    }
    return error;
}

}  // namespace vxk5
