#pragma once
// Carrying out a planned and journalled batch: its directories made, the
// originals set aside, the new files written under their working names and
// their identities journalled, a run of entries at a time on two threads;
// then, once the identities are synced, each new file placed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "install/copy_plan.h"
#include "install/copy_run.h"

namespace vxk5 {

// The runs of a batch: consecutive entries whose directories are held open together.
using BatchRuns = std::vector<std::pair<size_t, size_t>>;

class BatchCopier {
public:
    BatchCopier(CopyRun& run, BatchPlanner& planner) : run_(run), planner_(planner) {}

    // Writes the batch (its journal synced) and journals the new files'
    // identities, without syncing. ERR_SUCCESS or the code that stops the job.
    [[nodiscard]] uint32_t Write(std::vector<PendingFile>& batch, BatchRuns& runs);
    // Gives each new file its name, never over anything that appeared there
    // meanwhile, the runs as they were written; counts them.
    [[nodiscard]] uint32_t Place(std::vector<PendingFile>& batch, const BatchRuns& runs);

private:
    [[nodiscard]] uint32_t HoldForWriting(std::vector<PendingFile>& batch, size_t from, HeldDirectories& held,
                                          size_t& to);
    [[nodiscard]] uint32_t WriteRun(std::vector<PendingFile>& batch, size_t from, size_t to);
    // WriteRun's writing where the kit's data area is inflated into the files.
    template <typename Lead, typename Work>
    void WriteStreamed(const std::vector<PendingFile>& batch, size_t from, size_t to, Lead lead, Work work);
    // The most of a run's bytes inflated ahead into memory, for both threads to write.
    static constexpr uint64_t kInflatedAhead = 4u << 20;
    [[nodiscard]] uint32_t JournalIdentities(const std::vector<PendingFile>& batch, size_t from, size_t to);
    [[nodiscard]] uint32_t HoldForPlacing(std::vector<PendingFile>& batch, size_t from, size_t to,
                                          HeldDirectories& held);
    [[nodiscard]] uint32_t PlaceRun(std::vector<PendingFile>& batch, size_t from, size_t to);

    CopyRun& run_;
    BatchPlanner& planner_;
    // The memory the second thread copies through, when the kernel does not copy.
    std::unique_ptr<uint8_t[]> helperBuffer_;
};

}  // namespace vxk5
