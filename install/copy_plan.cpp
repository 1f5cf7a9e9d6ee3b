#include "install/copy_plan.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>

#include "base/conversion.h"
#include "install/extract.h"
#include "install/replace_rule.h"
#include "install/reserved_names.h"
#include "kit/entry_names.h"
#include "kit/kit_reader.h"
#include "platform/path_limit.h"

namespace vxk5 {

namespace {

// The target directory immediately followed by the entry's name with every "\"
// turned into "/".
WString DestinationOf(const WString& target, const WString& name) {
    WString relative = name;
    ReplaceAll(relative, WString(u"\\"), WString(u"/"));
    return target + relative;
}

// The destinations (absolute) that more than one entry names, from the hash
// of each entry's relative path: entries of equal hash are compared by their
// paths, so a collision costs a comparison and nothing else.
std::unordered_set<std::string> RepeatedDestinations(const DistributionKit& kit,
                                                     std::vector<std::pair<uint64_t, size_t>> hashes,
                                                     const std::string& root) {
    std::unordered_set<std::string> repeated;
    std::sort(hashes.begin(), hashes.end());
    for (size_t first = 0; first < hashes.size();) {
        size_t end = first + 1;
        while (end < hashes.size() && hashes[end].first == hashes[first].first) ++end;
        if (end - first > 1) {
            std::unordered_set<std::string> seen;
            for (size_t k = first; k < end; ++k) {
                AString relative;
                if (!EntryNamePath(kit.Entries()[hashes[k].second].name, relative)) continue;
                std::string path = root + std::string(relative.c_str(), relative.length());
                if (!seen.insert(path).second) repeated.insert(std::move(path));
            }
        }
        first = end;
    }
    return repeated;
}

}  // namespace

BatchPlanner::BatchPlanner(CopyRun& run)
    : run_(run), count_(run.kit.Entries().size()), batchSize_(std::max<size_t>(run.job.batchSize, 1)) {
    GetJobSetup(run.state, target_);
}

uint32_t BatchPlanner::Prepare() {
    root_ = run_.transaction.Target();
    refused_ = count_;
    if (CheckEntryNames(run_.kit.Entries(), refused_, root_.size()) == ENTRY_NAME_OK) refused_ = count_;
    if (!root_.empty()) {
        if (const uint32_t code = CheckNames(refused_); code != ERR_SUCCESS) return code;
    }
    if (!root_.empty() && count_ > 1) {
        int rootDirectory = -1;
        if (const uint32_t code = run_.transaction.OpenDirectory(std::string(), MissingDirectory::Leave, rootDirectory);
            code != ERR_SUCCESS) {
            return run_.Stop(code, 0);
        }
        ahead_ = std::make_unique<EntryLookahead>(run_.kit.Entries(), rootDirectory);
    }
    return ERR_SUCCESS;
}

uint32_t BatchPlanner::CheckNames(size_t& refused) {
    // An original may be set aside at the same path below the staging
    // directory's originals/: an entry whose path would be too long there is
    // refused now, before the first change.
    const size_t longest = LongestStagingPrefix(root_);
    // The hash of each destination, to find those that more than one entry names.
    std::vector<std::pair<uint64_t, size_t>> hashes;
    hashes.reserve(std::min(count_, refused));
    for (size_t i = 0; i < count_ && i < refused; ++i) {
        AString relativeBytes;
        if (!EntryNamePath(run_.kit.Entries()[i].name, relativeBytes)) break;
        const std::string_view relative(relativeBytes.c_str(), relativeBytes.length());
        if (longest + relative.size() >= kMaxPathBytes) {
            (void)run_.transaction.Fail(root_ + std::string(relative), ENAMETOOLONG);  // the detail
            return run_.Stop(ENTRY_NAME_REFUSAL_CODE, 0);
        }
        // A name an installation keeps for itself, whatever its number, is
        // refused before anything is changed: nothing a kit installs is ever
        // taken for a staging directory or a working file.
        if (HasReservedComponent(relative)) {
            run_.Post(ERR_SUCCESS, DestinationOf(target_, run_.kit.Entries()[i].name), 0);
            (void)run_.transaction.Fail(root_ + std::string(relative), EEXIST);  // the detail
            return run_.Stop(ENTRY_NAME_REFUSAL_CODE, 0);
        }
        hashes.emplace_back(std::hash<std::string_view>()(relative), i);
    }
    repeated_ = RepeatedDestinations(run_.kit, std::move(hashes), root_);
    return ERR_SUCCESS;
}

uint32_t BatchPlanner::Plan(std::vector<PendingFile>& batch) {
    if (!firstBatch_) batchSize_ = std::max(batchSize_, std::min(batchSize_ * 2, run_.job.batchSizeLimit));
    firstBatch_ = false;
    batch.clear();
    batchPaths_.clear();
    identified_ = -1;
    identifiedParent_.clear();
    for (; next_ < count_ && batch.size() < batchSize_; ++next_) {
        PendingFile pending;
        Step step = Step::Keep;
        if (const uint32_t code = PlanEntry(next_, pending, step); code != ERR_SUCCESS) return code;
        // A second entry of the same name waits for the next batch, which
        // sees what the first one wrote.
        if (step == Step::Later) break;
        if (step == Step::Write) {
            batchPaths_.insert(pending.path);
            batch.push_back(std::move(pending));
        }
    }
    return ERR_SUCCESS;
}

uint32_t BatchPlanner::PlanEntry(size_t index, PendingFile& pending, Step& step) {
    const KitFileEntry& entry = run_.kit.Entries()[index];
    const WString destination = DestinationOf(target_, entry.name);
    const uint32_t percent = static_cast<uint32_t>(static_cast<uint64_t>(index) * 100 / count_);
    EntryLookahead::Look* const look = ahead_ != nullptr ? ahead_->Take(index) : nullptr;
    // The journal and the failure detail keep the whole path; the file
    // itself is reached by name from its verified directory.
    std::string relative;
    bool named = look != nullptr && look->named;
    if (named) {
        relative = std::move(look->relative);
    } else {
        AString relativeBytes;
        named = EntryNamePath(entry.name, relativeBytes);
        relative.assign(relativeBytes.c_str(), relativeBytes.length());
    }
    if (index == refused_ || !named) {
        run_.Post(ERR_SUCCESS, destination, percent);
        (void)run_.transaction.Fail(ToMultiByteString(destination), 0);  // the detail; the code is the refusal's
        return run_.Stop(ENTRY_NAME_REFUSAL_CODE, percent);
    }
    pending.index = index;
    pending.percent = percent;
    pending.path = root_ + relative;
    if (batchPaths_.count(pending.path) != 0) {
        step = Step::Later;
        return ERR_SUCCESS;
    }
    run_.Post(ERR_SUCCESS, destination, percent);
    const size_t slash = relative.rfind('/');
    pending.parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    pending.name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    // A directory this batch is to make is not there yet: nothing to look at.
    int directory = -1;
    if (!run_.transaction.DirectoryPlanned(pending.parent)) {
        if (const uint32_t code = run_.transaction.OpenDirectory(pending.parent, MissingDirectory::Leave, directory);
            code != ERR_SUCCESS) {
            return run_.Stop(code, percent);
        }
    }
    if (const uint32_t code = LookAt(pending, look, directory); code != ERR_SUCCESS) return code;
    if (pending.decision == Decision::Skip) {
        ++run_.job.counts.kept;
        step = Step::Keep;
        return ERR_SUCCESS;
    }
    step = Step::Write;
    return Journal(pending, directory);
}

uint32_t BatchPlanner::LookAt(PendingFile& pending, const EntryLookahead::Look* look, int directory) {
    if (directory >= 0 && (directory != identified_ || pending.parent != identifiedParent_)) {
        if (const int error = IdentityOf(directory, identity_).error; error != 0) {
            return run_.Stop(run_.transaction.Fail(root_ + pending.parent, error), pending.percent);
        }
        identified_ = directory;
        identifiedParent_ = pending.parent;
    }
    // The looks go on while batches change the tree, but only at the paths
    // of their own entries: a destination that an earlier entry names too is
    // looked at now, after that entry's file.
    const bool lookStands = look != nullptr && (repeated_.empty() || repeated_.count(pending.path) == 0);
    if (const uint32_t code = Decide(pending, directory, lookStands ? look : nullptr); code != ERR_SUCCESS) {
        return run_.Stop(code, pending.percent);
    }
    return ERR_SUCCESS;
}

uint32_t BatchPlanner::Decide(PendingFile& pending, int directory, const EntryLookahead::Look* look) {
    // What stands at the destination (nothing when its directory does not
    // exist yet), from one fstatat, or from the look taken ahead in that
    // same directory.
    EntryStatus standing;
    if (directory >= 0) {
        int error = 0;
        if (look != nullptr && look->examined && look->directory == identity_) {
            error = look->error;
            standing = look->status;
        } else {
            error = ExamineEntryAt(directory, pending.name, standing).error;
        }
        if (error != 0) return run_.transaction.Fail(pending.path, error);
    }
    pending.judged = standing.stamp;
    Decision& decision = pending.decision;
    const KitFileEntry& entry = run_.kit.Entries()[pending.index];
    switch (DecideReplacement(standing, FileTime{entry.timeLow, entry.timeHigh})) {
        case ReplaceVerdict::WriteNew:
            decision = Decision::WriteNew;
            return ERR_SUCCESS;
        case ReplaceVerdict::Keep:
            decision = Decision::Skip;
            return ERR_SUCCESS;
        case ReplaceVerdict::Replace:
            // Written by this job for an earlier entry of the same name, or an original.
            decision = placed_.count(pending.path) != 0 ? Decision::Rewrite : Decision::Replace;
            return ERR_SUCCESS;
        case ReplaceVerdict::RefuseDirectory:
            // Whatever its time: the file cannot go there, and a directory is
            // never moved aside (nor, like a FIFO or a device, ever opened).
            return run_.transaction.Fail(pending.path, EISDIR);
        case ReplaceVerdict::RefuseOther:
            return run_.transaction.Fail(pending.path, EEXIST);
    }
    return run_.transaction.Fail(pending.path, EINVAL);
}

uint32_t BatchPlanner::Journal(PendingFile& pending, int directory) {
    // The first file to write: a kit read file table first has its data area
    // unpacked from now on, on a thread of its own, while the job plans, sets
    // aside and writes; each file waits for its own bytes only. A run that
    // writes nothing never inflates it. A damaged data area fails the file
    // that needs its bytes, or the job before its commit, and the rollback
    // undoes every change. A kit whose entries' bytes follow one another
    // may have them inflated straight into the files instead.
    const RestDelivery delivery =
        run_.job.inflateIntoFiles ? RestDelivery::IntoFiles : RestDelivery::ThroughContainer;
    if (const uint32_t code = StartUnpackingRest(run_.kit, delivery); code != 0) {
        return run_.KitFailed(code, pending.percent);
    }
    Transaction& transaction = run_.transaction;
    if (pending.decision == Decision::WriteNew && directory < 0) {
        if (const uint32_t code = transaction.PlanDirectories(pending.parent); code != 0) {
            return run_.Stop(code, pending.percent);
        }
    }
    Transaction::Original original = Transaction::Original::Absent;
    if (pending.decision == Decision::Replace) {
        original = transaction.Exchanges() ? Transaction::Original::Exchange : Transaction::Original::SetAside;
    }
    pending.working = transaction.NewWorkingName();
    if (const uint32_t code = transaction.JournalNewFile(pending.path, pending.working, original, pending.record);
        code != 0) {
        return run_.Stop(code, pending.percent);
    }
    return ERR_SUCCESS;
}

void BatchPlanner::Placed(const PendingFile& pending) {
    if (repeated_.count(pending.path) != 0) placed_[pending.path] = pending.identity;
}

}  // namespace vxk5
