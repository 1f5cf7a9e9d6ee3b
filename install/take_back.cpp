#include "install/take_back.h"

#include <atomic>
#include <cerrno>
#include <iterator>

#include "base/result_codes.h"
#include "base/two_threads.h"
#include "platform/fault_injection.h"
#include "platform/open_file.h"
#include "platform/platform_error.h"

namespace vxk5 {

// Still the file the installation placed: the same file (its identity), its
// size and its modification time as the installation gave them. (Its time
// of status change cannot tell: every rename changes it, and so does
// linking its original back.)
Verdict Judge(const InstallationRecord& record, const RecordedFile& file, const EntryStatus& status) {
    if (status.kind == EntryKind::Missing) return Verdict::Missing;
    const EntryStamp& stamp = status.stamp;
    const bool same = status.kind == EntryKind::File && stamp.identity.device == record.targetIdentity.device &&
                      stamp.identity.inode == file.inode && stamp.size == file.size && stamp.seconds == file.modified;
    return same ? Verdict::Remove : Verdict::KeepChanged;
}

void SplitRelative(const std::string& relative, std::string& parent, std::string& name) {
    const size_t slash = relative.rfind('/');
    parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    name = slash == std::string::npos ? relative : relative.substr(slash + 1);
}

int OpenBelow(int root, const std::string& relative, OwnedDescriptor& opened) {
    OwnedDescriptor current;
    int at = root;
    size_t start = 0;
    while (start <= relative.size() && !relative.empty()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        OwnedDescriptor next;
        if (const int error = OpenDirectoryAt(at, relative.substr(start, end - start), next).error; error != 0) {
            return error;
        }
        current = std::move(next);
        at = current.Get();
        start = end + 1;
    }
    if (!current.IsOpen()) return DuplicateDescriptor(root, opened);
    opened = std::move(current);
    return 0;
}

bool OriginalKept(const RecordedFile& file, int keptOriginals, EntryIdentity& identity) {
    EntryStatus kept;
    if (!file.replaced || keptOriginals < 0 || ExamineEntryAt(keptOriginals, file.relative, kept).error != 0) {
        return false;
    }
    identity = kept.stamp.identity;
    return kept.kind != EntryKind::Missing && kept.kind != EntryKind::Directory;
}

namespace {

// The directory of the files taken back one after another: the record
// lists a directory's files together, so each is opened about once.
class Parents {
public:
    explicit Parents(int root) : root_(root) {}
    // 0 with `directory` open, or the error opening it (ENOENT: gone).
    int Open(const std::string& parent, int& directory) {
        if (!valid_ || parent != parent_) {
            opened_.Reset();
            parent_ = parent;
            valid_ = true;
            error_ = OpenBelow(root_, parent, opened_);
        }
        directory = error_ == 0 ? opened_.Get() : -1;
        return error_;
    }

private:
    int root_;
    bool valid_ = false;
    std::string parent_;
    OwnedDescriptor opened_;
    int error_ = 0;
};

// One recorded file, where it is and what stands there.
struct Place {
    Place(const std::string& target, const RecordedFile& recorded) : targetPath(target), file(recorded) {}
    // Its absolute path, made only to be told.
    std::string Path() const { return targetPath + file.relative; }
    const std::string& targetPath;
    const RecordedFile& file;
    int directory = -1;
    std::string name;
    EntryStatus standing;
    Verdict verdict = Verdict::Missing;
};

class Taker {
public:
    Taker(const InstallationRecord& record, const TakeBackPlace& place, TakenBack& taken)
        : record_(record), place_(place), taken_(taken) {}

    void Remove(const Place& at) {
        if (at.verdict == Verdict::Missing) {
            ++taken_.missing;
        } else if (at.verdict == Verdict::KeepChanged) {
            taken_.keptChanged.push_back(at.Path());
        } else if (Failed(Change(at, [&] { return RemoveEntryAt(at.directory, at.name).error; }), at)) {
            taken_.keptChanged.push_back(at.Path());
        } else {
            ++taken_.removed;
            if (at.file.replaced) ++taken_.originalsNotKept;
        }
    }

    // The original `original` kept for `at`, found under `working` when an
    // earlier take-back got that far.
    void Restore(const Place& at, const std::string& working, const EntryIdentity& original) {
        EntryStatus left;
        if (Failed(ExamineEntryAt(at.directory, working, left).error, at)) return;
        const bool leftLink = left.kind != EntryKind::Missing && left.stamp.identity == original;
        const bool leftPlaced = Judge(record_, at.file, left) == Verdict::Remove;
        if (at.standing.kind != EntryKind::Missing && at.standing.stamp.identity == original) {
            // Back already: what is left under the working name is the file placed, or a second link.
            if ((leftPlaced || leftLink) &&
                Failed(Change(at, [&] { return RemoveEntryAt(at.directory, working).error; }), at)) {
                return;
            }
            Restored();
            return;
        }
        if (at.verdict != Verdict::Remove) {
            if (leftLink) (void)RemoveEntryAt(at.directory, working);  // only a second name: the original stays kept
            Remove(at);
            return;
        }
        if (left.kind != EntryKind::Missing && !leftLink) {
            (void)Failed(EEXIST, at);  // not ours under a working name: left alone, and so is the file
            return;
        }
        const auto link = [&] { return LinkEntryAt(place_.keptOriginals, at.file.relative, at.directory, working).error; };
        if (!leftLink && Failed(Change(at, link), at)) return;
        BringBack(at, working);
    }

private:
    // The original, linked under `working`, takes the place of the file placed.
    void BringBack(const Place& at, const std::string& working) {
        const int exchanged = Change(at, [&] { return ExchangeAt(at.directory, working, at.name).error; });
        if (exchanged == EINVAL || exchanged == ENOSYS || exchanged == EOPNOTSUPP) {
            RenameOver(at, working);
            return;
        }
        if (Failed(exchanged, at)) return;
        // Only the file placed goes: anything else put there since goes back at once.
        EntryStatus out;
        if (ExamineEntryAt(at.directory, working, out).error == 0 && Judge(record_, at.file, out) == Verdict::Remove) {
            if (!Failed(Change(at, [&] { return RemoveEntryAt(at.directory, working).error; }), at)) Restored();
            return;
        }
        if (Failed(ExchangeAt(at.directory, working, at.name).error, at)) return;
        // The working name is now only a second name of the kept original:
        // left, it is a reserved name no kit uses, and the recovery removes it.
        (void)RemoveEntryAt(at.directory, working);
        taken_.keptChanged.push_back(at.Path());
    }

    // Where the file system cannot exchange: the file placed, judged again
    // just before, is replaced by one rename.
    void RenameOver(const Place& at, const std::string& working) {
        EntryStatus now;
        if (ExamineEntryAt(at.directory, at.name, now).error != 0 || Judge(record_, at.file, now) != Verdict::Remove) {
            // The working name is only a second name of the kept original:
            // removing it loses nothing, and left, it is a reserved name no
            // kit uses, which the recovery removes.
            (void)RemoveEntryAt(at.directory, working);
            taken_.keptChanged.push_back(at.Path());
            return;
        }
        if (!Failed(Change(at, [&] { return RenameAt(at.directory, working, at.directory, at.name).error; }), at)) {
            Restored();
        }
    }

    // A change, unless a fault is injected for it: 0 or errno.
    template <typename Make>
    static int Change(const Place& at, Make make) {
        const int injected = FaultHookSet() ? InjectedFault(FaultStep::TakeBack, at.Path()) : 0;
        return injected != 0 ? injected : make();
    }

    void Restored() {
        ++taken_.removed;
        ++taken_.restored;
    }

    bool Failed(int error, const Place& at) {
        if (error == 0) return false;
        if (taken_.failure.Empty()) taken_.failure = FailureFromErrno(error, at.Path());
        return true;
    }

    const InstallationRecord& record_;
    const TakeBackPlace& place_;
    TakenBack& taken_;
};

}  // namespace

uint32_t CheckTakeBack(const InstallationRecord& record, int root, Failure& failure) {
    Parents parents(root);
    std::string checked = "/";  // no parent's name
    for (const RecordedFile& file : record.files) {
        std::string parent, name;
        SplitRelative(file.relative, parent, name);
        if (parent == checked) continue;
        checked = parent;
        int directory = -1;
        // Gone, or no longer a directory of its own: nothing of it is removed.
        if (parents.Open(parent, directory) != 0) continue;
        if (const int error = MayChangeEntries(directory).error; error != 0) {
            failure = FailureFromErrno(error, record.target + parent);
            return CodeFromErrno(error);
        }
    }
    return ERR_SUCCESS;
}

namespace {

// The record's files in runs of one directory each, a large directory in
// several: where each run starts, and the end.
std::vector<size_t> RunStarts(const std::vector<RecordedFile>& files) {
    constexpr size_t kMostPerRun = 256;
    std::vector<size_t> starts;
    std::string parent, name, previous = "/";  // no parent's name
    for (size_t index = 0; index < files.size(); ++index) {
        SplitRelative(files[index].relative, parent, name);
        if (starts.empty() || parent != previous || index - starts.back() >= kMostPerRun) starts.push_back(index);
        previous.swap(parent);
    }
    starts.push_back(files.size());
    return starts;
}

void TakeBackRun(const InstallationRecord& record, const TakeBackPlace& place, size_t from, size_t to,
                 Parents& parents, TakenBack& taken) {
    Taker taker(record, place, taken);
    for (size_t index = from; index < to; ++index) {
        Place at(record.target, record.files[index]);
        std::string parent;
        SplitRelative(at.file.relative, parent, at.name);
        int error = parents.Open(parent, at.directory);
        if (error == 0) error = ExamineEntryAt(at.directory, at.name, at.standing).error;
        at.verdict = error == ENOENT ? Verdict::Missing : error != 0 ? Verdict::KeepChanged
                                                                      : Judge(record, at.file, at.standing);
        EntryIdentity original;
        if (at.directory >= 0 && error == 0 && OriginalKept(at.file, place.keptOriginals, original)) {
            taker.Restore(at, place.workingName(index), original);
        } else {
            taker.Remove(at);
        }
    }
}

// The runs' outcomes in the record's order, as one pass over it would give.
TakenBack Merged(std::vector<TakenBack>& runs) {
    TakenBack all;
    for (TakenBack& run : runs) {
        all.removed += run.removed;
        all.restored += run.restored;
        all.missing += run.missing;
        all.originalsNotKept += run.originalsNotKept;
        all.keptChanged.insert(all.keptChanged.end(), std::make_move_iterator(run.keptChanged.begin()),
                               std::make_move_iterator(run.keptChanged.end()));
        if (all.failure.Empty() && !run.failure.Empty()) all.failure = run.failure;
    }
    return all;
}

}  // namespace

// Every file is judged and taken back on its own, so the runs are shared
// between two threads, each with the directory it is in open; the progress
// is told on the calling thread.
TakenBack TakeBackFiles(const InstallationRecord& record, const TakeBackPlace& place) {
    const std::vector<size_t> starts = RunStarts(record.files);
    const size_t total = record.files.size();
    std::vector<TakenBack> runs(starts.size() - 1);
    Parents first(place.root), second(place.root);
    std::atomic<size_t> done{0};
    ShareOverTwoThreads(0, runs.size(), [&](size_t run, bool other) {
        TakeBackRun(record, place, starts[run], starts[run + 1], other ? second : first, runs[run]);
        const size_t now = done.fetch_add(starts[run + 1] - starts[run]) + starts[run + 1] - starts[run];
        if (!other && place.progress) place.progress(now, total);
        return true;
    });
    if (place.progress) place.progress(total, total);
    return Merged(runs);
}

}  // namespace vxk5
