#include "kit/distribution_kit.h"

#include <algorithm>
#include <utility>

#include "kit/entry_stream.h"
#include "kit/kit_unpack.h"
#include "kit/rest_unpacking.h"
#include "platform/open_file.h"

namespace vxk5 {

// The copy buffer is left uninitialised: the installation fills it before
// every use, and untouched pages cost no memory.
DistributionKit::DistributionKit(OwnedDescriptor container, std::vector<KitDescription> descriptions,
                                 std::vector<KitFileEntry> entries)
    : descriptions_(std::move(descriptions)),
      entries_(std::move(entries)),
      container_(std::move(container)),
      buffer_(new uint8_t[kKitCopyBufferSize]) {
    // Entries whose bytes start in the entries' order, as the kit tool lays
    // them out: no entry needs bytes before those of an earlier one.
    entriesInOrder_ = true;
    uint64_t previous = 0;
    for (const KitFileEntry& entry : entries_) {
        if (entry.size == 0) continue;
        if (entry.offset < previous) {
            entriesInOrder_ = false;
            break;
        }
        previous = entry.offset;
    }
    // Stricter: no two entries share a byte either.
    entriesFollow_ = entriesInOrder_;
    uint64_t end = 0;
    for (const KitFileEntry& entry : entries_) {
        if (!entriesFollow_) break;
        if (entry.size == 0) continue;
        entriesFollow_ = entry.offset >= end;
        end = static_cast<uint64_t>(entry.offset) + entry.size;
    }
}

DistributionKit::~DistributionKit() {
    background_.reset();  // stops using the unpacking before it goes
    direct_.reset();
    rest_.reset();  // its writer stops before the container closes
    restWriter_.Reset();
    releaser_.Reset();
    container_.Reset();
}

void DistributionKit::ReleaseEntriesBefore(size_t next) {
    // Given back in steps of a few MiB, at page boundaries: few calls, and
    // no page of bytes still needed is cleared in part.
    constexpr uint64_t kStep = 4u << 20;
    constexpr uint64_t kPage = 4096;
    if (next <= ReleasedEntries() || next > entries_.size()) return;
    releasedEntries_.store(next, std::memory_order_relaxed);
    // While the data area is still being unpacked, through the handle that
    // unpacks it, and only below what it has written.
    const int releaser = releaser_.IsOpen() ? releaser_.Get() : background_ != nullptr ? restWriter_.Get() : -1;
    if (!entriesInOrder_ || releaser < 0) return;
    if (nextNonEmpty_ < next) nextNonEmpty_ = next;
    while (nextNonEmpty_ < entries_.size() && entries_[nextNonEmpty_].size == 0) ++nextNonEmpty_;
    // The rest of the container goes with the kit.
    if (nextNonEmpty_ == entries_.size()) return;
    uint64_t until = entries_[nextNonEmpty_].offset;
    if (background_ != nullptr) until = std::min(until, background_->Available());
    until = until / kPage * kPage;
    if (until < releasedBytes_ + kStep) return;
    // A failure leaves the bytes where they are, which is all it means.
    (void)ReleaseOpenFileRange(releaser, static_cast<int64_t>(releasedBytes_),
                               static_cast<int64_t>(until - releasedBytes_));
    releasedBytes_ = until;
}

std::unique_ptr<DistributionKit> DistributionKit::FromContainer(OwnedDescriptor container,
                                                                std::vector<KitDescription> descriptions,
                                                                std::vector<KitFileEntry> entries) {
    return std::unique_ptr<DistributionKit>(
        new DistributionKit(std::move(container), std::move(descriptions), std::move(entries)));
}

}  // namespace vxk5
