#pragma once
// Ahead of a batch's planning, which decides and journals entry after entry
// on the job's thread, a second thread converts the next entries' names and
// looks at what stands at each destination, so that the planning finds most
// of its answers ready while the other core would otherwise idle.
//
// The lookahead reaches each directory itself, from the template directory
// one component at a time without following a link. The planning takes a
// look only when it was taken in the very directory the planning writes into
// (the same identity) and looks again itself otherwise. A look is a look
// taken a moment earlier, and the looks go on while the job's batches change
// the tree: those change only the paths of their own entries (and their
// temporary names, which no entry may have), so a look stands unless its
// entry's destination is named by an earlier entry too, which the planning
// looks at itself.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/wstring.h"
#include "kit/distribution_kit.h"
#include "platform/file_entries.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

class EntryLookahead {
public:
    struct Look {
        bool named = false;  // the name converted whole
        std::string relative;  // below the template directory, as EntryNamePath gives it
        bool examined = false;  // what stands there was looked at, in the directory of this identity
        EntryIdentity directory;
        int error = 0;
        EntryStatus status;
    };

    // Over `entries`, below `root` (the template directory, duplicated
    // here); `entries` must hold still while this lives. Without a thread or
    // a descriptor to spare, Take gives nothing and the planning looks itself.
    EntryLookahead(const std::vector<KitFileEntry>& entries, int root);
    ~EntryLookahead();  // the thread stops after its current entry
    EntryLookahead(const EntryLookahead&) = delete;
    EntryLookahead& operator=(const EntryLookahead&) = delete;

    // Entry `index`'s look, ready, or null when the planning is to convert
    // and look itself (the lookahead has not got that far, or is at it
    // now): never a wait. The planning takes entries in increasing order,
    // and is done with every entry before the last one it took; a look is
    // given once.
    Look* Take(size_t index);
    // The looks taken so far are forgotten; the next Take starts anew.
    void Discard();

private:
    void Run(size_t from);
    // Waits until the planning has taken an entry at least `index` - the
    // ring's size, or the lookahead is to stop: false then.
    bool WaitForRoom(size_t index);

    const std::vector<KitFileEntry>& entries_;
    OwnedDescriptor root_;
    // A ring of looks, entry k's in slot k % its size. Each slot's tag holds
    // (k + 1) << 2 and the look's state: the planning's, being looked at, or
    // ready; 0 is a slot no entry has had.
    std::vector<Look> looks_;
    std::unique_ptr<std::atomic<uint64_t>[]> tags_;
    // The last entry the planning took: the lookahead stays within the ring's
    // size of it, and jumps to it when it falls behind.
    std::atomic<size_t> taken_{0};
    bool started_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};  // the lookahead waits for room
    std::mutex mutex_;
    std::condition_variable room_;
    std::thread thread_;
};

}  // namespace vxk5
