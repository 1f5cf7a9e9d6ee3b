#include "install/step_log.h"

#include <algorithm>
#include <cstring>

namespace vxk5 {

size_t StepLog::Append(StepKind kind, const std::string& path, const std::string& temporary) {
    return Add(static_cast<char>(kind), path, temporary);
}

size_t StepLog::AppendReplacement(const std::string& path, const std::string& temporary) {
    return Add(kReplacement, path, temporary);
}

size_t StepLog::Add(char kind, const std::string& path, const std::string& temporary) {
    Record record;
    record.kind = kind;
    std::string_view kept(path);
    if (!target_.empty() && path.size() > target_.size() && path.compare(0, target_.size(), target_) == 0) {
        kept.remove_prefix(target_.size());
        record.flags |= kRelative;
    }
    record.length = static_cast<uint32_t>(kept.size());
    record.temporary = static_cast<uint16_t>(temporary.size());
    record.at = Store(kept, temporary);
    if (count_ % kRecordsPerBlock == 0) records_.push_back(std::make_unique<Record[]>(kRecordsPerBlock));
    At(count_) = record;
    return count_++;
}

uint64_t StepLog::Store(std::string_view bytes, std::string_view more) {
    const size_t length = bytes.size() + more.size();
    // A path is shorter than a block (PATH_MAX); one that is not gets a block of its own.
    if (used_ + length > kBlockSize || blocks_.empty()) {
        blocks_.push_back(std::make_unique<char[]>(std::max(kBlockSize, length)));
        used_ = 0;
    }
    char* place = blocks_.back().get() + used_;
    std::memcpy(place, bytes.data(), bytes.size());
    std::memcpy(place + bytes.size(), more.data(), more.size());
    const uint64_t at = static_cast<uint64_t>(blocks_.size() - 1) * kBlockSize + used_;
    used_ += length;
    return at;
}

std::string StepLog::PathOf(const Record& record) const {
    const char* bytes = blocks_[record.at / kBlockSize].get() + record.at % kBlockSize;
    std::string path = (record.flags & kRelative) != 0 ? target_ : std::string();
    path.append(bytes, record.length);
    return path;
}

std::string StepLog::TemporaryOf(const Record& record) const {
    const char* bytes = blocks_[record.at / kBlockSize].get() + record.at % kBlockSize + record.length;
    return std::string(bytes, record.temporary);
}

void StepLog::Identify(size_t record, const EntryIdentity& identity) {
    Record& identified = At(record);
    identified.flags |= kIdentified;
    identified.device = identity.device;
    identified.inode = identity.inode;
}

std::vector<JournalStep> StepLog::Expand() const {
    std::vector<JournalStep> steps;
    steps.reserve(count_);
    for (size_t n = 0; n < count_; ++n) {
        const Record& record = At(n);
        const std::string path = PathOf(record);
        if (record.kind == kReplacement) steps.emplace_back(StepKind::MoveToBackup, path);
        const StepKind kind = record.kind == kReplacement ? StepKind::WriteFile : static_cast<StepKind>(record.kind);
        JournalStep& step = steps.emplace_back(kind, path, TemporaryOf(record));
        step.identified = (record.flags & kIdentified) != 0;
        step.device = record.device;
        step.inode = record.inode;
    }
    return steps;
}

}  // namespace vxk5
