#pragma once
// The planning of an installation's batches: each entry's name converted and
// checked, what stands at its destination looked at (most looks taken ahead
// on a second thread), the decision made (write, replace, keep) and the
// change journalled, in the kit's order.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "install/copy_run.h"
#include "install/entry_lookahead.h"

namespace vxk5 {

class BatchPlanner {
public:
    explicit BatchPlanner(CopyRun& run);

    // Checks every name before the first is used (one that does not convert
    // whole, or leads outside the template directory, stops the job when its
    // turn comes, before anything is written for it; one too long for the
    // file system, or with a component of a name reserved for installations,
    // stops it now, before anything is changed), finds the destinations more than one entry names and
    // starts the looks ahead. ERR_SUCCESS or the code that stops the job.
    [[nodiscard]] uint32_t Prepare();
    bool More() const { return next_ < count_; }
    // Plans and journals (without syncing) the next batch: the entries to
    // write, in the kit's order; those kept are only counted.
    // ERR_SUCCESS or the code that stops the job.
    [[nodiscard]] uint32_t Plan(std::vector<PendingFile>& batch);
    // `pending` took its name: a later entry of the same name rewrites it.
    void Placed(const PendingFile& pending);
    // The identity the job's file at `path` was placed with.
    const EntryIdentity& PlacedAt(const std::string& path) const { return placed_.at(path); }

private:
    enum class Step { Write, Keep, Later };
    [[nodiscard]] uint32_t CheckNames(size_t& refused);
    [[nodiscard]] uint32_t PlanEntry(size_t index, PendingFile& pending, Step& step);
    [[nodiscard]] uint32_t LookAt(PendingFile& pending, const EntryLookahead::Look* look, int directory);
    [[nodiscard]] uint32_t Decide(PendingFile& pending, int directory, const EntryLookahead::Look* look);
    [[nodiscard]] uint32_t Journal(PendingFile& pending, int directory);

    CopyRun& run_;
    const size_t count_;
    WString target_;      // as set up, for the posts
    std::string root_;    // the template directory's real path, ending with "/"
    size_t refused_ = 0;  // the first entry whose name is refused; count_ for none
    size_t next_ = 0;
    size_t batchSize_ = 0;
    bool firstBatch_ = true;
    // The names converted and the destinations looked at ahead of the planning.
    std::unique_ptr<EntryLookahead> ahead_;
    // The destinations (absolute) that more than one entry of the kit names,
    // and the identity of what the job placed there.
    std::unordered_set<std::string> repeated_;
    std::unordered_map<std::string, EntryIdentity> placed_;
    std::unordered_set<std::string> batchPaths_;
    // The directory an entry's look must have been taken in, and its identity.
    int identified_ = -1;
    std::string identifiedParent_;
    EntryIdentity identity_;
};

}  // namespace vxk5
