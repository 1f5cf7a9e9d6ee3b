#pragma once
// What the parts of one installation job share: the job's options and
// results, the state it posts to, its transaction and its kit; and the
// entries of a batch as they are planned, written and placed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "install/install_job.h"
#include "install/record_store.h"
#include "install/transaction.h"
#include "kit/distribution_kit.h"
#include "platform/file_entries.h"
#include "platform/job_state.h"
#include "platform/platform_error.h"

namespace vxk5 {

// SetJobResult on the job's state, then the job's post observer, if any.
inline void PostJobResult(const InstallJob& job, InstallJobState& state, uint32_t code, const WString& text,
                          uint32_t percent) {
    SetJobResult(state, code, text, percent);
    if (job.postObserver) job.postObserver(code, text, percent);
}

struct CopyRun {
    InstallJob& job;
    InstallJobState& state;
    Transaction& transaction;
    DistributionKit& kit;
    uint32_t stopPercent = 0;  // the percentage a failure is posted with
    RecordWriter record{};     // the installation's record, when the job keeps one

    void Post(uint32_t code, const WString& text, uint32_t percent) { PostJobResult(job, state, code, text, percent); }
    // Returns `code`, to be posted with `percent`.
    uint32_t Stop(uint32_t code, uint32_t percent) {
        stopPercent = percent;
        return code;
    }
    // The kit's own failure: a damaged data area, or a container out of room.
    uint32_t KitFailed(uint32_t code, uint32_t percent) {
        job.kitDamaged = code == ERR_INVALID_DATA;
        if (code == ERR_DISK_FULL) transaction.FirstFailure() = FailureOf(code, ENOSPC);
        return Stop(code, percent);
    }
};

enum class Decision { Skip, WriteNew, Replace, Rewrite };

// One entry of a batch: planned and journalled first, then carried out.
struct PendingFile {
    size_t index = 0;
    uint32_t percent = 0;
    std::string path;    // absolute
    std::string parent;  // relative to the template directory, "" for itself
    std::string name;
    Decision decision = Decision::Skip;
    EntryStamp judged;    // the original the decision was taken on
    std::string working;  // the name it is written under
    size_t record = 0;    // the transaction's record of its write
    EntryIdentity identity;
    int directory = -1;  // its directory, held open while its run is written or placed
};

}  // namespace vxk5
