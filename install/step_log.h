#pragma once
// The steps of a running job's journal, as the job keeps them in memory until
// the commit or the rollback. A kit may hold a million entries, so a step
// costs a fixed record of 32 bytes plus its path's bytes, and neither grows by
// doubling: the records and the bytes are kept in blocks that are never moved.
// A path below the template directory is kept relative to it. An original
// moved aside and the new file written at its place share one record, as the
// job always journals the two together.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "install/journal_format.h"
#include "platform/file_entries.h"

namespace vxk5 {

class StepLog {
public:
    // Where the paths below the template directory are kept relative to:
    // the template directory's real path, ending with "/".
    void SetTarget(const std::string& target) { target_ = target; }

    // A step of `kind` at `path`; `temporary` is a WriteFile step's
    // temporary name. Returns the record's number, for Identify.
    size_t Append(StepKind kind, const std::string& path, const std::string& temporary = std::string());
    // A MoveToBackup of `path` followed by a WriteFile at it under
    // `temporary`: one record, two steps. Returns the record's number.
    size_t AppendReplacement(const std::string& path, const std::string& temporary);
    // Records the identity of what the record numbered `record` made (its
    // directory or its new file).
    void Identify(size_t record, const EntryIdentity& identity);

    // The identity of the record numbered `record` (zero without one).
    EntryIdentity IdentityOf(size_t record) const {
        if (!Identified(record)) return EntryIdentity();
        return EntryIdentity{At(record).device, At(record).inode};
    }
    // Whether the record numbered `record` has its identity.
    bool Identified(size_t record) const { return record < count_ && (At(record).flags & kIdentified) != 0; }

    // Every step in the order made, as the journal's text has them.
    std::vector<JournalStep> Expand() const;
    // Calls `visit(kind, path, temporary)` for every step in the order made
    // (`temporary` is empty but for WriteFile and ExchangeFile).
    template <typename Visit>
    void ForEach(Visit visit) const {
        ForEachIn(0, count_, visit);
    }
    // The same for the records [from, to) only; records may be visited from
    // several threads at once.
    size_t Records() const { return count_; }
    template <typename Visit>
    void ForEachIn(size_t from, size_t to, Visit visit) const {
        for (size_t n = from; n < to && n < count_; ++n) {
            const Record& record = At(n);
            const std::string path = PathOf(record);
            if (record.kind == kReplacement) visit(StepKind::MoveToBackup, path, std::string());
            visit(record.kind == kReplacement ? StepKind::WriteFile : static_cast<StepKind>(record.kind), path,
                  TemporaryOf(record));
        }
    }

private:
    static constexpr char kReplacement = 'R';
    static constexpr size_t kBlockSize = 1 << 20;      // bytes of paths per block
    static constexpr size_t kRecordsPerBlock = 1 << 14;
    struct Record {
        uint64_t at = 0;         // the path's first byte in the blocks; the temporary name follows it
        uint32_t length = 0;     // the path's bytes
        uint16_t temporary = 0;  // the temporary name's bytes
        char kind = 0;           // a StepKind, or kReplacement
        uint8_t flags = 0;
        uint64_t device = 0;
        uint64_t inode = 0;
    };
    static constexpr uint8_t kIdentified = 1;
    static constexpr uint8_t kRelative = 2;  // the path is below the template directory

    size_t Add(char kind, const std::string& path, const std::string& temporary);
    uint64_t Store(std::string_view bytes, std::string_view more);
    std::string PathOf(const Record& record) const;
    std::string TemporaryOf(const Record& record) const;

    std::string target_;
    Record& At(size_t n) { return records_[n / kRecordsPerBlock][n % kRecordsPerBlock]; }
    const Record& At(size_t n) const { return records_[n / kRecordsPerBlock][n % kRecordsPerBlock]; }

    std::vector<std::unique_ptr<Record[]>> records_;
    size_t count_ = 0;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = kBlockSize;  // bytes used in the last block
};

}  // namespace vxk5
