#include "install/entry_lookahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "kit/entry_names.h"
#include "platform/open_file.h"

namespace vxk5 {

namespace {

// Entries the lookahead may be ahead of the planning: a few milliseconds of
// planning, and the memory of as many looks.
constexpr size_t kRing = 4096;

enum : uint64_t { kPlanning = 1, kLooking = 2, kReady = 3 };

constexpr uint64_t Tag(size_t index, uint64_t state) { return (static_cast<uint64_t>(index) + 1) << 2 | state; }
constexpr uint64_t EntryOf(uint64_t tag) { return tag >> 2; }  // the entry's index + 1

}  // namespace

EntryLookahead::EntryLookahead(const std::vector<KitFileEntry>& entries, int root)
    : entries_(entries), looks_(kRing), tags_(new std::atomic<uint64_t>[kRing]()) {
    if (DuplicatePrivateDescriptor(root, root_) != 0) root_.Reset();
}

EntryLookahead::~EntryLookahead() { Discard(); }

void EntryLookahead::Discard() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true);
    }
    room_.notify_one();
    if (thread_.joinable()) thread_.join();
    stop_.store(false);
    started_ = false;
    for (size_t k = 0; k < kRing; ++k) tags_[k].store(0, std::memory_order_relaxed);
}

EntryLookahead::Look* EntryLookahead::Take(size_t index) {
    if (!root_.IsOpen()) return nullptr;
    if (!started_) {
        started_ = true;
        taken_.store(index);
        try {
            // The planning takes its first entry itself: the looks start
            // at the next one.
            thread_ = std::thread([this, index] { Run(index + 1); });
        } catch (const std::system_error&) {
            root_.Reset();
            return nullptr;
        }
    } else if (const size_t before = taken_.load(std::memory_order_relaxed); index > before) {
        // Room in the ring for more looks; a waiting lookahead is woken when
        // there is room for a quarter of the ring.
        taken_.store(index);
        if (waiting_.load() && index / (kRing / 4) != before / (kRing / 4)) {
            const std::lock_guard<std::mutex> lock(mutex_);
            room_.notify_one();
        }
    }
    std::atomic<uint64_t>& tag = tags_[index % kRing];
    uint64_t seen = tag.load(std::memory_order_acquire);
    for (;;) {
        if (EntryOf(seen) > index + 1 || seen == Tag(index, kPlanning)) return nullptr;
        if (seen == Tag(index, kReady)) {
            if (tag.compare_exchange_weak(seen, Tag(index, kPlanning), std::memory_order_acq_rel)) {
                return &looks_[index % kRing];
            }
            continue;
        }
        // Not looked at yet, or being looked at now: the planning looks
        // itself rather than wait, and the lookahead drops or skips it.
        if (tag.compare_exchange_weak(seen, Tag(index, kPlanning), std::memory_order_acq_rel)) return nullptr;
    }
}

bool EntryLookahead::WaitForRoom(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.store(true);
    room_.wait(lock, [&] { return stop_.load() || index < taken_.load() + kRing; });
    waiting_.store(false);
    return !stop_.load();
}

void EntryLookahead::Run(size_t from) {
    std::string parent;  // of the directory open in `directory`, "" for the template directory
    OwnedDescriptor below;
    int directory = root_.Get();
    EntryIdentity identity;
    bool reached = IdentityOf(directory, identity).error == 0;
    for (size_t k = from; k < entries_.size() && !stop_.load(std::memory_order_relaxed); ++k) {
        // Behind the planning, the lookahead jumps ahead of it; too far ahead,
        // it waits for the planning to take the entry a ring before.
        const size_t taken = taken_.load();
        if (k <= taken) k = taken + 1;
        if (k >= entries_.size()) break;
        if (k >= taken + kRing && !WaitForRoom(k)) break;
        std::atomic<uint64_t>& tag = tags_[k % kRing];
        uint64_t seen = tag.load(std::memory_order_acquire);
        if (EntryOf(seen) >= k + 1) continue;  // the planning got there first
        if (!tag.compare_exchange_strong(seen, Tag(k, kLooking), std::memory_order_acq_rel)) continue;
        Look& look = looks_[k % kRing];
        look = Look();
        AString path;
        look.named = EntryNamePath(entries_[k].name, path);
        if (look.named) {
            look.relative.assign(path.c_str(), path.length());
            const size_t slash = look.relative.rfind('/');
            const std::string lookParent = slash == std::string::npos ? std::string() : look.relative.substr(0, slash);
            if (lookParent != parent) {
                // Down from the template directory, a component at a time.
                parent = lookParent;
                below.Reset();
                directory = root_.Get();
                reached = true;
                for (size_t start = 0; reached && start < parent.size();) {
                    size_t end = parent.find('/', start);
                    if (end == std::string::npos) end = parent.size();
                    OwnedDescriptor next;
                    reached = OpenDirectoryAt(directory, parent.substr(start, end - start), next).error == 0;
                    below = std::move(next);
                    directory = below.Get();
                    start = end + 1;
                }
                reached = reached && IdentityOf(directory, identity).error == 0;
            }
            if (reached) {
                look.error = ExamineEntryAt(directory, look.relative.substr(slash + 1), look.status).error;
                look.directory = identity;
                look.examined = true;
            }
        }
        // Unless the planning came for it meanwhile and looked itself.
        seen = Tag(k, kLooking);
        (void)tag.compare_exchange_strong(seen, Tag(k, kReady), std::memory_order_acq_rel);
    }
}

}  // namespace vxk5
