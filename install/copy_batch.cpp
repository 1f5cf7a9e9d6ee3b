#include "install/copy_batch.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

#include "base/two_threads.h"
#include "install/extract.h"
#include "install/install_record.h"
#include "kit/entry_stream.h"
#include "kit/kit_reader.h"

namespace vxk5 {

namespace {

// The starts of the groups of the entries [from, to) of a batch, and `to`:
// consecutive entries of one directory, at most kGroupSize of them. Two
// threads take whole groups, so that they seldom work in the same directory,
// whose lock every creation and rename in it takes.
constexpr size_t kGroupSize = 128;
std::vector<size_t> GroupsOf(const std::vector<PendingFile>& batch, size_t from, size_t to) {
    std::vector<size_t> starts;
    for (size_t k = from; k < to; ++k) {
        if (starts.empty() || k - starts.back() >= kGroupSize || batch[k].parent != batch[k - 1].parent) {
            starts.push_back(k);
        }
    }
    starts.push_back(to);
    return starts;
}

// Runs lead() and then work(k, buffer) over the entries of `groups` (as
// GroupsOf gives them) in order on this thread with the kit's buffer (null);
// or, for a run of at least `parallelFrom` entries in more than one group,
// shares the groups with a second thread, which copies through `buffer`
// (made when first needed; without it, this thread does all). lead() or a
// work returning false stops the taking of further entries.
template <typename Lead, typename Work>
void OnTwoThreads(const std::vector<size_t>& groups, size_t parallelFrom, std::unique_ptr<uint8_t[]>& buffer,
                  Lead lead, Work work) {
    const size_t count = groups.back() - groups.front();
    const bool share = count >= std::max<size_t>(parallelFrom, 2) && groups.size() > 2;
    if (share && !buffer) buffer.reset(new (std::nothrow) uint8_t[kKitCopyBufferSize]);
    if (!share || !buffer) {
        if (!lead()) return;
        for (size_t k = groups.front(); k < groups.back(); ++k) {
            if (!work(k, nullptr)) return;
        }
        return;
    }
    uint8_t* const second = buffer.get();
    ShareOverTwoThreads(0, groups.size() - 1, lead, [&work, &groups, second](size_t group, bool other) {
        for (size_t k = groups[group]; k < groups[group + 1]; ++k) {
            if (!work(k, other ? second : nullptr)) return false;
        }
        return true;
    });
}

}  // namespace

uint32_t BatchCopier::Write(std::vector<PendingFile>& batch, BatchRuns& runs) {
    runs.clear();
    for (size_t from = 0; from < batch.size();) {
        HeldDirectories held;
        size_t to = from;
        if (const uint32_t code = HoldForWriting(batch, from, held, to); code != ERR_SUCCESS) return code;
        if (const uint32_t code = WriteRun(batch, from, to); code != ERR_SUCCESS) return code;
        if (const uint32_t code = JournalIdentities(batch, from, to); code != ERR_SUCCESS) return code;
        runs.emplace_back(from, to);
        from = to;
    }
    return ERR_SUCCESS;
}

uint32_t BatchCopier::HoldForWriting(std::vector<PendingFile>& batch, size_t from, HeldDirectories& held,
                                     size_t& to) {
    // A run's directories are made (once journalled) and held open while its
    // files are written.
    for (to = from; to < batch.size(); ++to) {
        PendingFile& pending = batch[to];
        if (held.Full() && !held.Holds(pending.parent)) break;
        int directory = -1;
        const MissingDirectory missing =
            pending.decision == Decision::WriteNew ? MissingDirectory::Make : MissingDirectory::Leave;
        if (const uint32_t code = run_.transaction.OpenDirectory(pending.parent, missing, directory);
            code != ERR_SUCCESS) {
            return run_.Stop(code, pending.percent);
        }
        const std::string shown = run_.transaction.Target() + pending.parent;
        if (directory < 0) return run_.Stop(run_.transaction.Fail(shown, ENOENT), pending.percent);
        int error = 0;
        pending.directory = held.Hold(pending.parent, directory, error);
        // Out of descriptors with some held: the run ends here.
        if (pending.directory < 0 && error == EMFILE && to > from) break;
        if (pending.directory < 0) return run_.Stop(run_.transaction.Fail(shown, error), pending.percent);
    }
    return ERR_SUCCESS;
}

uint32_t BatchCopier::WriteRun(std::vector<PendingFile>& batch, size_t from, size_t to) {
    // The originals are set aside on this thread, in the kit's order, while
    // the other thread starts on the new files; then both write until none
    // is left. What is written meanwhile stands under working names, the
    // transaction's own, which the rollback removes.
    Transaction& transaction = run_.transaction;
    size_t setAsideFailedAt = to;
    uint32_t setAsideCode = 0;
    auto setAside = [&]() {
        for (size_t k = from; k < to; ++k) {
            const PendingFile& pending = batch[k];
            uint32_t code = ERR_SUCCESS;
            if (pending.decision == Decision::Replace && !transaction.Exchanges()) {
                code = transaction.SetOriginalAside(pending.record, pending.path, pending.directory, pending.name,
                                                    pending.judged);
            } else if (pending.decision == Decision::Rewrite) {
                code = transaction.RemoveOwnFile(pending.path, pending.directory, pending.name,
                                                 planner_.PlacedAt(pending.path));
            }
            if (code != ERR_SUCCESS) {
                setAsideFailedAt = k;
                setAsideCode = code;
                return false;
            }
        }
        return true;
    };
    const bool syncEach = transaction.SyncsEachFile();
    const bool failureWasEmpty = transaction.FirstFailure().Empty();
    std::vector<Failure> failures(to - from);
    const auto write = [&](size_t k, uint8_t* buffer) {
        PendingFile& pending = batch[k];
        failures[k - from] = transaction.WriteNewFile(pending.record, pending.path, [&] {
            return ExtractEntryAt(run_.kit, pending.index, pending.directory, pending.working, pending.path,
                                  &pending.identity, syncEach, false, buffer);
        });
        return !failures[k - from].Failed();
    };
    if (run_.kit.InflatingIntoFiles()) {
        WriteStreamed(batch, from, to, setAside, write);
    } else {
        OnTwoThreads(GroupsOf(batch, from, to), run_.job.parallelFrom, helperBuffer_, setAside, write);
    }
    // Every file made, also when a later one failed, is known to the rollback as the job's.
    for (size_t k = from; k < to; ++k) {
        if (batch[k].identity.inode != 0) transaction.Made(batch[k].record, batch[k].identity);
    }
    // The first failure in the kit's order is the one reported.
    for (size_t k = from; k < to; ++k) {
        if (k == setAsideFailedAt) return run_.Stop(setAsideCode, batch[k].percent);
        if (Failure& failed = failures[k - from]; failed.Failed()) {
            const uint32_t code = failed.code;
            // The data area being unpacked ran short of its bytes, or broke off.
            if (code == ERR_INVALID_DATA && run_.kit.RestUnpackingStarted()) run_.job.kitDamaged = true;
            if (failureWasEmpty) transaction.FirstFailure() = std::move(failed);
            return run_.Stop(code, batch[k].percent);
        }
    }
    // The run's files are written, and every entry before them was written
    // or kept: the container's bytes for them are done with.
    if (run_.job.releaseCopiedBytes) run_.kit.ReleaseEntriesBefore(batch[to - 1].index + 1);
    return ERR_SUCCESS;
}

template <typename Lead, typename Work>
void BatchCopier::WriteStreamed(const std::vector<PendingFile>& batch, size_t from, size_t to, Lead lead,
                                Work work) {
    // A data area inflated into the files gives its bytes once, in the
    // kit's order: this thread inflates a stretch of the run's files into
    // memory, and both threads write them from there, while this thread
    // first inflates the next stretch; a file larger than that memory is
    // written by this thread alone, straight from the stream.
    std::vector<size_t> indexes;
    for (size_t k = from; k < to; ++k) indexes.push_back(batch[k].index);
    const auto inflate = [&](size_t start) {
        return InflateEntryBytesAhead(run_.kit, indexes.data() + (start - from), to - start, kInflatedAhead);
    };
    bool led = false;
    std::atomic<bool> stopped{false};  // a work returns false on either thread
    const auto worked = [&](size_t k, uint8_t* buffer) {
        if (!work(k, buffer)) stopped.store(true);
        return !stopped.load();
    };
    size_t held = inflate(from);
    for (size_t start = from; start < to && !stopped.load();) {
        ServeEntryBytesAhead(run_.kit);
        const size_t end = start + std::max<size_t>(held, 1);
        // With the stretch's bytes all in memory, the stream may go on to the next.
        const bool next = held != 0 && end < to;
        size_t nextHeld = 0;
        const auto leadOnce = [&] {
            if (!led && !lead()) stopped.store(true);
            led = true;
            if (next && !stopped.load()) nextHeld = inflate(end);
            return !stopped.load();
        };
        OnTwoThreads(GroupsOf(batch, start, end), held == 0 ? SIZE_MAX : run_.job.parallelFrom, helperBuffer_,
                     leadOnce, worked);
        if (!next && end < to && !stopped.load()) nextHeld = inflate(end);
        held = nextHeld;
        start = end;
    }
    DropEntryBytesAhead(run_.kit);
}

uint32_t BatchCopier::JournalIdentities(const std::vector<PendingFile>& batch, size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
        const PendingFile& pending = batch[k];
        if (const uint32_t code = run_.transaction.JournalIdentity(pending.record, pending.path, pending.identity);
            code != 0) {
            return run_.Stop(code, pending.percent);
        }
    }
    return ERR_SUCCESS;
}

uint32_t BatchCopier::Place(std::vector<PendingFile>& batch, const BatchRuns& runs) {
    for (const auto& [from, to] : runs) {
        HeldDirectories held;
        if (const uint32_t code = HoldForPlacing(batch, from, to, held); code != ERR_SUCCESS) return code;
        if (const uint32_t code = PlaceRun(batch, from, to); code != ERR_SUCCESS) return code;
    }
    return ERR_SUCCESS;
}

uint32_t BatchCopier::HoldForPlacing(std::vector<PendingFile>& batch, size_t from, size_t to,
                                     HeldDirectories& held) {
    for (size_t k = from; k < to; ++k) {
        PendingFile& pending = batch[k];
        int directory = -1;
        if (const uint32_t code = run_.transaction.OpenDirectory(pending.parent, MissingDirectory::Leave, directory);
            code != ERR_SUCCESS) {
            return run_.Stop(code, pending.percent);
        }
        int error = directory < 0 ? ENOENT : 0;
        if (error == 0) pending.directory = held.Hold(pending.parent, directory, error);
        if (pending.directory < 0 && error == 0) error = EMFILE;  // fewer than the run held before
        if (error != 0) return run_.Stop(run_.transaction.Fail(pending.path, error), pending.percent);
    }
    return ERR_SUCCESS;
}

uint32_t BatchCopier::PlaceRun(std::vector<PendingFile>& batch, size_t from, size_t to) {
    // A file placed by one thread after the other's failure is the job's by
    // its journalled identity, and the rollback removes it.
    const Transaction& transaction = run_.transaction;
    std::vector<int> errors(to - from, 0);
    OnTwoThreads(
        GroupsOf(batch, from, to), run_.job.parallelFrom, helperBuffer_, [] { return true; },
        [&](size_t k, uint8_t*) {
            const PendingFile& pending = batch[k];
            int& error = errors[k - from];
            if (pending.decision == Decision::Replace && transaction.Exchanges()) {
                error = transaction.ExchangeWithOriginal(pending.record, pending.directory, pending.working,
                                                         pending.name, pending.path, pending.judged);
            } else {
                error = transaction.PlaceNewFile(pending.record, pending.directory, pending.working, pending.name);
            }
            return error == 0;
        });
    for (size_t k = from; k < to; ++k) {
        const PendingFile& pending = batch[k];
        if (const int error = errors[k - from]; error != 0) {
            return run_.Stop(run_.transaction.Fail(pending.path, error), pending.percent);
        }
        planner_.Placed(pending);
        RecordPlaced(run_, pending);
        if (pending.decision == Decision::Replace) ++run_.job.counts.replaced;
        if (pending.decision == Decision::WriteNew) ++run_.job.counts.newFiles;
    }
    return ERR_SUCCESS;
}

}  // namespace vxk5
