#include "install/entry_lookahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "kit/entry_names.h"
#include "platform/open_file.h"

namespace vxk5 {

namespace {

// Entries looked ahead at a time: a few milliseconds of planning, a thread
// started for each.
constexpr size_t kSegment = 4096;

enum : uint8_t { kFree, kPlanning, kLooking, kReady };

}  // namespace

EntryLookahead::EntryLookahead(const std::vector<KitFileEntry>& entries, int root)
    : entries_(entries), looks_(kSegment), states_(new std::atomic<uint8_t>[kSegment]) {
    if (DuplicatePrivateDescriptor(root, root_) != 0) root_.Reset();
}

EntryLookahead::~EntryLookahead() { Discard(); }

void EntryLookahead::Discard() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    stop_.store(false, std::memory_order_relaxed);
    from_ = to_ = 0;
}

EntryLookahead::Look* EntryLookahead::Take(size_t index) {
    if (!root_.IsOpen()) return nullptr;
    if (index < from_ || index >= to_) {
        Discard();
        from_ = index;
        to_ = std::min(entries_.size(), index + kSegment);
        for (size_t k = 0; k < to_ - from_; ++k) states_[k].store(kFree, std::memory_order_relaxed);
        try {
            // The planning takes its first entry itself: the looks start
            // at the next one.
            thread_ = std::thread([this, base = from_, to = to_] { Run(base, base + 1, to); });
        } catch (const std::system_error&) {
            to_ = from_;
            return nullptr;
        }
    }
    std::atomic<uint8_t>& state = states_[index - from_];
    uint8_t seen = kFree;
    if (state.compare_exchange_strong(seen, kPlanning, std::memory_order_acq_rel)) return nullptr;
    // Still being looked at: the planning looks itself rather than wait, and
    // the lookahead goes on past it. A look is given once: an entry taken
    // again (it waited for the next batch) is the planning's own.
    if (seen == kReady && state.compare_exchange_strong(seen, kPlanning, std::memory_order_acq_rel)) {
        return &looks_[index - from_];
    }
    return nullptr;
}

void EntryLookahead::Run(size_t base, size_t from, size_t to) {
    std::string parent;  // of the directory open in `directory`, "" for the template directory
    OwnedDescriptor below;
    int directory = root_.Get();
    EntryIdentity identity;
    bool reached = IdentityOf(directory, identity).error == 0;
    for (size_t k = from; k < to && !stop_.load(std::memory_order_relaxed); ++k) {
        std::atomic<uint8_t>& state = states_[k - base];
        uint8_t seen = kFree;
        if (!state.compare_exchange_strong(seen, kLooking, std::memory_order_acq_rel)) continue;
        Look& look = looks_[k - base];
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
        state.store(kReady, std::memory_order_release);
    }
}

}  // namespace vxk5
