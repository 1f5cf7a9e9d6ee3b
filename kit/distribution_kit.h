#pragma once
// The in-memory kit: the descriptions and the file table read from the unpacked
// container, the container open for reading, and the copy buffer the
// installation moves file bytes through. Only ReadKit makes one (tests
// assemble one from parts with FromContainer): a failed read, one of the
// descriptions read before the failure and nothing else. What was read cannot
// be changed from outside. The data area of a kit read file table first is
// unpacked when first needed (UnpackRest), or on a thread of its own while
// the first files are copied (StartUnpackingRest); a kit copied from once gives the
// container's bytes back as its entries are done with (ReleaseEntriesBefore).

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/wstring.h"
#include "kit/entry_stream.h"
#include "kit/kit_trailer.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

class KitUnpacker;
class KitInputObserver;
class RestUnpacking;
enum class KitReading;
enum class RestDelivery;

struct KitDescription {
    WString language;
    WString product;
    WString vendor;
    WString descriptionPath;  // relative to the template directory, "\" separated
};

struct KitFileEntry {
    WString name;  // relative path as stored ("\" separators unchanged)
    uint32_t timeLow = 0;
    uint32_t timeHigh = 0;
    uint32_t offset = 0;  // absolute offset in the unpacked container
    uint32_t size = 0;
};

constexpr uint32_t kKitCopyBufferSize = 1048576;

class DistributionKit {
public:
    ~DistributionKit();  // stops an unfinished unpacking, then closes the container
    DistributionKit(const DistributionKit&) = delete;
    DistributionKit& operator=(const DistributionKit&) = delete;

    // A kit of the given parts over `container` (which may be closed: a kit
    // whose bytes are never copied). For tests, which build their kits by
    // hand; the product makes its kits with ReadKit.
    static std::unique_ptr<DistributionKit> FromContainer(OwnedDescriptor container,
                                                          std::vector<KitDescription> descriptions,
                                                          std::vector<KitFileEntry> entries);

    const std::vector<KitDescription>& Descriptions() const { return descriptions_; }
    const std::vector<KitFileEntry>& Entries() const { return entries_; }

    // The unpacked container, open for reading only; an entry's bytes lie at
    // its offset. Readers position it as they need.
    FileHandle Container() const { return container_.Get(); }

    // The memory an installation moves file bytes through, CopyBufferSize()
    // bytes, left uninitialised until then.
    uint8_t* CopyBuffer() { return buffer_.get(); }
    uint32_t CopyBufferSize() const { return kKitCopyBufferSize; }

    // Whether bytes may still be copied from the container inside the
    // kernel. Once the kernel has refused, the bytes go through a buffer for
    // good: the same refusal would come for every further entry. Safe from
    // the two threads that write a batch's files.
    bool CopyInKernel() const { return copyInKernel_.load(std::memory_order_relaxed); }
    void StopCopyInKernel() { copyInKernel_.store(false, std::memory_order_relaxed); }

    // Every entry before `next` has been copied for the last time: the
    // container's bytes that no entry from `next` on needs go back to the
    // system, so that a container in memory (tmpfs) does not double what an
    // installation holds. Only for a kit whose entries' bytes lie in the
    // entries' order; a file system that cannot free part of a file keeps
    // them. The entries before `next` cannot be copied from then on.
    void ReleaseEntriesBefore(size_t next);
    // The entries whose bytes may have been given back: those before this.
    size_t ReleasedEntries() const { return releasedEntries_.load(std::memory_order_relaxed); }

    // Whether the data area still waits to be unpacked (a kit read file table
    // first whose files' bytes have not been needed yet).
    bool RestPending() const { return rest_ != nullptr; }
    // Whether the data area is being unpacked, on a thread of its own or
    // straight into the files (StartUnpackingRest), and UnpackRest has not
    // waited for its end yet.
    bool RestUnpackingStarted() const { return background_ != nullptr || direct_ != nullptr; }
    // Whether it is being inflated straight into the files.
    bool InflatingIntoFiles() const { return direct_ != nullptr; }
    // Whether every entry's bytes start at or after the end of those of the
    // entry before (empty entries aside): one pass over the stream then
    // serves every entry in the entries' order.
    bool EntriesFollowOneAnother() const { return entriesFollow_; }
    // Whether StartUnpackingRest asked for RestDelivery::IntoFiles takes, or
    // took, that way: the data area waits and the entries follow one another.
    bool RestGoesIntoFiles() const {
        return direct_ != nullptr || (rest_ != nullptr && background_ == nullptr && entriesFollow_);
    }

    // What the kit's check said of its deflate stream: Pending while the
    // data area waits to be unpacked (a kit read file table first), and for
    // a kit whose reading failed before the stream's end. A kit read
    // without failure never has a damage here: that fails its reading.
    // Read it once the unpacking is over (after UnpackRest).
    const KitCheckResult& Check() const { return check_; }

private:
    DistributionKit(OwnedDescriptor container, std::vector<KitDescription> descriptions,
                    std::vector<KitFileEntry> entries);

    friend uint32_t ReadKit(std::unique_ptr<DistributionKit>& kit, const WString& kitPath,
                            KitInputObserver* observer, KitReading reading);
    friend uint32_t UnpackRest(DistributionKit& kit);
    friend uint32_t StartUnpackingRest(DistributionKit& kit, RestDelivery delivery);
    friend uint32_t WaitForEntryBytes(DistributionKit& kit, size_t index);
    friend uint32_t EntryBytesInContainer(const DistributionKit& kit, size_t index);
    friend uint32_t DeliverEntryBytes(DistributionKit& kit, size_t index, const EntryBytesSink& write);
    friend size_t InflateEntryBytesAhead(DistributionKit& kit, const size_t* indexes, size_t count, uint64_t budget);
    friend void ServeEntryBytesAhead(DistributionKit& kit);
    friend void DropEntryBytesAhead(DistributionKit& kit);

    std::vector<KitDescription> descriptions_;
    std::vector<KitFileEntry> entries_;
    OwnedDescriptor container_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::atomic<bool> copyInKernel_{true};
    // The container's bytes are given back through a handle that may write,
    // which readers never get; the bytes given back so far, and the entries
    // they served.
    OwnedDescriptor releaser_;
    bool entriesInOrder_ = false;
    bool entriesFollow_ = false;
    uint64_t releasedBytes_ = 0;
    std::atomic<size_t> releasedEntries_{0};
    size_t nextNonEmpty_ = 0;  // the search for the first entry still needing bytes
    // The unpacking of the data area, with the container's writing handle it
    // writes through, while the rest is pending; and what finishing it gave.
    std::unique_ptr<KitUnpacker> rest_;
    OwnedDescriptor restWriter_;
    uint32_t restFailure_ = 0;
    KitCheckResult check_;
    // The thread unpacking it meanwhile, once started; the kit's entries and
    // the unpacking hold still until UnpackRest has waited for it.
    std::unique_ptr<RestUnpacking> background_;
    // Or the stream that hands the data area to the files, once started;
    // it uses the unpacking until UnpackRest.
    std::unique_ptr<EntryStream> direct_;
};

}  // namespace vxk5
