// The originals a transaction keeps at its commit, and the kept originals of
// an earlier one that it brings back.

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "base/result_codes.h"
#include "base/two_threads.h"
#include "install/record_store.h"
#include "install/transaction.h"
#include "platform/fault_injection.h"
#include "platform/mounted_file_system.h"

namespace vxk5 {

namespace {

std::string ParentOfRelative(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string NameOfTarget(const std::string& target) {
    const std::string path = target.substr(0, target.size() - 1);
    return path.substr(path.rfind('/') + 1);
}

constexpr size_t kRecordsPerShare = 1024;

// Runs share(from, to) for the records of `steps` a share at a time, on this
// thread and one more, or on this thread alone and in order (`inOrder`, or a
// single share). A share returning false stops the taking of further shares;
// false then.
bool ForEachShare(const StepLog& steps, bool inOrder, const std::function<bool(size_t, size_t)>& share) {
    const size_t shares = (steps.Records() + kRecordsPerShare - 1) / kRecordsPerShare;
    const auto bounds = [&steps](size_t n) {
        return std::make_pair(n * kRecordsPerShare, std::min((n + 1) * kRecordsPerShare, steps.Records()));
    };
    if (inOrder || shares < 2) {  // one share starts no thread
        for (size_t n = 0; n < shares; ++n) {
            if (const auto [from, to] = bounds(n); !share(from, to)) return false;
        }
        return true;
    }
    std::atomic<bool> whole{true};
    ShareOverTwoThreads(0, shares, [&](size_t n, bool) {
        const auto [from, to] = bounds(n);
        if (!share(from, to)) whole.store(false);
        return whole.load();
    });
    return whole.load();
}

// A visit of an exchanged original: its record, its path relative to the
// template directory, its working name, and the directory holding both
// (reached from the template directory without following a link; -1 when
// it cannot be). False stops the visits.
using ExchangedVisit = std::function<bool(size_t, const std::string&, const std::string&, int)>;

// Visits every exchanged original of `steps` as ForEachShare shares them out;
// each share keeps the directory of its last original open.
bool ForEachExchanged(const StepLog& steps, const std::string& target, int root, bool inOrder,
                      const ExchangedVisit& visit) {
    return ForEachShare(steps, inOrder, [&](size_t from, size_t to) {
        std::string parent;  // of the directory open in `directory`
        OwnedDescriptor below;
        int directory = -1;
        bool reached = false;
        bool going = true;
        for (size_t record = from; record < to && going; ++record) {
            steps.ForEachIn(record, record + 1, [&](StepKind kind, const std::string& path, const std::string& working) {
                if (kind != StepKind::ExchangeFile || path.size() <= target.size()) return;
                const std::string relative = path.substr(target.size());
                if (!reached || ParentOfRelative(relative) != parent) {
                    reached = true;
                    parent = ParentOfRelative(relative);
                    std::string name;
                    if (OpenParentOf(root, relative, below, directory, name) != 0) directory = -1;
                }
                going = visit(record, relative, working, directory);
            });
        }
        return going;
    });
}

}  // namespace

bool Transaction::KeepsOriginals() const {
    bool replaced = false;
    record_.steps.ForEach([&replaced](StepKind kind, const std::string&, const std::string&) {
        replaced = replaced || kind == StepKind::ExchangeFile || kind == StepKind::MoveToBackup;
    });
    return keepOriginals_ && replaced;
}

bool Transaction::KeepReplacedOriginals() {
    if (!KeepsOriginals() || !staging_.IsOpen() || !staging_.originals.IsOpen() || !staging_.parent.IsOpen()) return false;
    const std::string name = KeptName(staging_.inside, NameOfTarget(record_.target));
    // The generation before goes first; a name held by anything else keeps
    // this one from being kept, and its originals are purged as ever.
    if (MakeRoomForKeptGeneration(record_.target, previousKept_, staging_.parent.Get(), name) != 0) return false;
    if (!GatherExchangedOriginals()) return false;
    CountKept();
    // From here the staging directory is the kept one. The journal goes once
    // it has the kept name: a cut before finds a committed journal, whose
    // recovery purges what is left, which the user had replaced already.
    if (PlaceWithoutReplacing(staging_.parent.Get(), staging_.name, staging_.parent.Get(), name).error != 0) {
        generation_ = KeptGeneration();
        return false;
    }
    generation_.kept = true;
    generation_.identity = staging_.identity;
    journal_.Close();
    (void)RemoveEntryAt(staging_.directory.Get(), kJournalName);  // a committed journal left there undoes nothing
    (void)SyncDirectory(staging_.parent.Get());  // best effort: the commit record stands
    UnregisterStaging(staging_);
    staging_ = Staging();
    return true;
}

bool Transaction::GatherExchangedOriginals() {
    // Each original exchanged with its new file waits under that file's
    // working name; it joins those set aside in originals/. A move between
    // two directories may reach the disk half done, the file then under
    // neither name: each is linked into originals/ first, the links made
    // durable, and only then are the working names removed.
    std::vector<uint8_t> gathered;
    if (!LinkExchangedOriginals(gathered) || !SyncGathered()) return false;
    std::unordered_set<std::string> left;
    if (!RemoveGatheredWorkingNames(gathered, left)) return false;
    // The working names are gone from the disk before the journal that names them.
    if (!SyncsEachFile()) return SyncFileSystemOf(RootDescriptor()) == 0;
    for (const std::string& parent : left) {
        int directory = -1;
        if (OpenDirectory(parent, MissingDirectory::Leave, directory) != ERR_SUCCESS || directory < 0 ||
            SyncDirectory(directory).error != 0) {
            return false;
        }
    }
    return true;
}

// What became of each exchanged original, by its record: a byte each rather
// than its names, which the steps hold (a million may come). The links are
// made on two threads, unless the kit repeats a name: of a name repeated, the
// first entry's original is the user's, and a later one holds the kit's own
// earlier file, which goes; that takes the steps' order.
bool Transaction::LinkExchangedOriginals(std::vector<uint8_t>& gathered) {
    bool repeats = false;
    if (!MakeGatheringParents(repeats)) return false;
    gathered.assign(record_.steps.Records(), kGatheredNothing);
    const int originals = staging_.originals.Get();
    return ForEachExchanged(record_.steps, record_.target, RootDescriptor(), repeats,
                            [&](size_t record, const std::string& relative, const std::string& working, int directory) {
                                if (directory < 0) return false;
                                int error = LinkEntryAt(directory, working, originals, relative).error;
                                if (error == 0) {
                                    gathered[record] = kGatheredLinked;
                                    return true;
                                }
                                if (error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
                                    // No hard links here: one rename, durable with the rest.
                                    error = PlaceWithoutReplacing(directory, working, originals, relative).error;
                                }
                                if (error == EEXIST) error = RemoveEntryAt(directory, working).error;
                                // Moved, or removed: the working name is gone, its directory to be synced.
                                if (error == 0) gathered[record] = kGatheredGone;
                                return error == 0 || error == ENOENT;
                            });
}

// The subdirectories of originals/ the exchanged originals go to, made here,
// in the steps' order; `repeats` tells whether two of them share a path
// (or, rarely, only its hash).
bool Transaction::MakeGatheringParents(bool& repeats) {
    std::vector<size_t> hashes;
    std::string last;
    bool made = true;
    const size_t skip = record_.target.size();
    record_.steps.ForEach([&](StepKind kind, const std::string& path, const std::string&) {
        if (kind != StepKind::ExchangeFile || !made || path.size() <= skip) return;
        const std::string relative = path.substr(skip);
        hashes.push_back(std::hash<std::string>()(relative));
        const std::string parent = ParentOfRelative(relative);
        if (hashes.size() > 1 && parent == last) return;
        last = parent;
        made = MakeBackupParents(relative) == 0;
    });
    std::sort(hashes.begin(), hashes.end());
    repeats = std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end();
    return made;
}

// The working names of the originals linked, once the links are durable;
// `left` receives the directories that lost a name.
bool Transaction::RemoveGatheredWorkingNames(const std::vector<uint8_t>& gathered,
                                             std::unordered_set<std::string>& left) {
    std::mutex leftGuard;
    return ForEachExchanged(record_.steps, record_.target, RootDescriptor(), false,
                            [&](size_t record, const std::string& relative, const std::string& working, int directory) {
                                const uint8_t outcome = record < gathered.size() ? gathered[record] : kGatheredNothing;
                                if (outcome == kGatheredNothing) return true;
                                if (directory < 0 ||
                                    (outcome == kGatheredLinked && RemoveEntryAt(directory, working).error != 0)) {
                                    return false;
                                }
                                const std::lock_guard<std::mutex> lock(leftGuard);
                                left.insert(ParentOfRelative(relative));
                                return true;
                            });
}

bool Transaction::SyncGathered() {
    if (!SyncsEachFile()) return SyncFileSystemOf(RootDescriptor()) == 0;
    // Parents before their subdirectories: a directory whose making is lost
    // would take what was linked into it along.
    if (SyncDirectory(staging_.originals.Get()).error != 0) return false;
    std::vector<std::string> below(backupDirectories_.begin(), backupDirectories_.end());
    std::sort(below.begin(), below.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '/') < std::count(b.begin(), b.end(), '/');
    });
    for (const std::string& made : below) {
        OwnedDescriptor opened;
        if (OpenDirectoryAt(staging_.originals.Get(), made, opened).error != 0 ||
            SyncDirectory(opened.Get()).error != 0) {
            return false;
        }
    }
    return true;
}

void Transaction::CountKept() {
    generation_ = KeptGeneration();
    const int originals = staging_.originals.Get();
    const size_t skip = record_.target.size();
    std::atomic<uint64_t> files{0};
    std::atomic<uint64_t> bytes{0};
    (void)ForEachShare(record_.steps, false, [&](size_t from, size_t to) {
        record_.steps.ForEachIn(from, to, [&](StepKind kind, const std::string& path, const std::string&) {
            if (kind != StepKind::ExchangeFile && kind != StepKind::MoveToBackup) return;
            EntryStatus kept;
            if (ExamineEntryAt(originals, path.substr(skip), kept).error != 0 || kept.kind == EntryKind::Missing) {
                return;
            }
            files.fetch_add(1, std::memory_order_relaxed);
            if (kept.kind == EntryKind::File) bytes.fetch_add(kept.stamp.size, std::memory_order_relaxed);
        });
        return true;
    });
    generation_.files = static_cast<uint32_t>(files.load());
    generation_.bytes = bytes.load();
}

uint32_t Transaction::RemoveAfterCommit(const std::string& path, const EntryIdentity& identity) {
    if (state_ != State::Open) return Fail(path, EINVAL);
    if (const uint32_t code = WriteAhead(JournalRemoveAfterCommitLine(identity.device, identity.inode, path)); code != 0) {
        return code;
    }
    removeAfterCommit_.push_back(DirectoryToRemove{path, identity.device, identity.inode});
    return ERR_SUCCESS;
}

uint32_t Transaction::UseKeptOriginals(Staging kept) {
    if (state_ != State::Open || !kept.originals.IsOpen()) return Fail(kept.path, EINVAL);
    if (const uint32_t code = WriteAhead(JournalKeptLine(kept.path)); code != 0) return code;
    keptFrom_ = std::move(kept);
    return ERR_SUCCESS;
}

uint32_t Transaction::TakeBackAfterCommit(const InstallationRecord& record, const std::string& recordName,
                                          std::function<void(size_t done, size_t total)> progress) {
    if (state_ != State::Open || takeBack_ != nullptr) return Fail(record.target, EINVAL);
    // Its originals come back under working names of their own, one for each recorded file.
    takeBackFirst_ = nextWorkingName_;
    nextWorkingName_ += record.files.size();
    const std::string first = staging_.TemporaryName(takeBackFirst_);
    const std::string prefix = first.substr(0, first.size() - std::to_string(takeBackFirst_).size());
    if (const uint32_t code = WriteAhead(JournalTakeBackLine(prefix, takeBackFirst_, recordName)); code != 0) {
        return code;
    }
    takeBack_ = &record;
    takeBackName_ = recordName;
    takeBackProgress_ = std::move(progress);
    return ERR_SUCCESS;
}

bool Transaction::TakeBackRecorded() {
    TakeBackPlace place;
    place.root = RootDescriptor();
    place.keptOriginals = keptFrom_.originals.IsOpen() ? keptFrom_.originals.Get() : -1;
    place.workingName = [this](size_t index) { return staging_.TemporaryName(takeBackFirst_ + index); };
    place.progress = takeBackProgress_;
    takenBack_ = TakeBackFiles(*takeBack_, place);
    // On the disk before the kept originals, the record and the journal go.
    if (const int error = SyncFileSystemOf(place.root); error != 0 && takenBack_.failure.Empty()) {
        takenBack_.failure = FailureFromErrno(error, record_.target);
    }
    if (!takenBack_.failure.Empty()) return false;
    // A record left would name files gone: the next uninstall takes back the installation before.
    if (const int error = RemoveRecord(takeBack_->targetIdentity, takeBackName_); error != 0 && error != ENOENT) {
        takenBack_.failure = FailureFromErrno(error, takeBackName_);
    }
    return takenBack_.failure.Empty();
}

}  // namespace vxk5
