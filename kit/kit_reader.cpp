#include "kit/kit_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <exception>
#include <vector>

#include "kit/byte_cursor.h"
#include "kit/entry_stream.h"
#include "kit/kit_format.h"
#include "kit/kit_unpack.h"
#include "kit/rest_unpacking.h"
#include "platform/file_handle.h"

namespace vxk5 {

using namespace kitformat;

namespace {

// Raised inside the reader by a failing step; ReadKit catches exactly this.
struct KitReadFailure {
    uint32_t code;
};

[[noreturn]] void Fail(uint32_t code) { throw KitReadFailure{code}; }

// Reads the container through its handle, never past its end: every length
// and count is checked against what remains before anything is allocated or
// read, so a hostile length costs nothing. The bytes come through a buffer
// filled by large reads, so a file table costs a few system calls, not two
// per record.
class ContainerReader {
public:
    // `size`: the container's bytes; with `more`, the bytes unpacked so far,
    // and more are unpacked as the reading needs them.
    ContainerReader(FileHandle file, uint64_t size, KitUnpacker* more = nullptr)
        : file_(file), size_(size), more_(more), buffer_(new uint8_t[kBufferSize]) {}

    uint32_t ReadU32() {
        uint8_t bytes[4];
        ReadExactly(bytes, sizeof bytes);
        return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
               static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    }

    // A counted string outside a record: a count, then 2 * count bytes.
    WString ReadCountedString() {
        const uint32_t count = ReadU32();
        if (count == 0) return WString();
        if (!Has(2 * static_cast<uint64_t>(count))) Fail(ERR_INVALID_DATA);
        const std::unique_ptr<uint8_t[]> bytes(new uint8_t[2 * static_cast<size_t>(count)]);
        ReadExactly(bytes.get(), 2 * count);
        return DecodeUtf16Le(bytes.get(), count);
    }

    // A record's length and then its body. A length below `minLength` (the
    // record's fixed fields) or past the container's end fails. The body is
    // in `scratch`, valid until the next read.
    const uint8_t* ReadRecordBody(uint32_t minLength, uint32_t& bodySize) {
        const uint32_t length = ReadU32();
        if (length < minLength) Fail(ERR_INVALID_DATA);
        bodySize = length - kU32Size;
        if (!Has(bodySize)) Fail(ERR_INVALID_DATA);
        // Whole in the buffer: no copy.
        if (bodySize <= filled_ - used_) {
            const uint8_t* body = buffer_.get() + used_;
            used_ += bodySize;
            position_ += bodySize;
            return body;
        }
        if (scratch_.size() < bodySize) scratch_.resize(bodySize);
        ReadExactly(scratch_.data(), bodySize);
        return scratch_.data();
    }

    // Where the next unread byte lies in the container.
    uint64_t Position() const { return position_; }
    // The bytes the container holds so far.
    uint64_t Size() const { return size_; }

    // Whether `count` more bytes are there, unpacking more when they may yet come.
    bool Has(uint64_t count) {
        while (size_ - position_ < count && more_ != nullptr && !more_->Ended()) {
            const uint64_t wanted = std::max(position_ + count, size_ + kUnpackStep);
            if (const uint32_t code = more_->UnpackUntil(wanted); code != 0) Fail(code);
            size_ = more_->Available();
        }
        return size_ - position_ >= count;
    }

private:
    static constexpr uint32_t kBufferSize = 256 * 1024;
    // Unpacked at a time while the head is read: a file table is a few
    // percent of the container.
    static constexpr uint64_t kUnpackStep = 4 << 20;

    void ReadExactly(uint8_t* target, uint32_t size) {
        if (!Has(size)) Fail(ERR_INVALID_DATA);
        while (size != 0) {
            if (used_ == filled_) Refill();
            const uint32_t piece = std::min(size, filled_ - used_);
            std::memcpy(target, buffer_.get() + used_, piece);
            used_ += piece;
            position_ += piece;
            target += piece;
            size -= piece;
        }
    }

    void Refill() {
        uint32_t count = 0;
        if (uint32_t code = ReadFileHandle(file_, buffer_.get(), kBufferSize, &count, nullptr); code != 0) Fail(code);
        // The file shrank under us: the container ends inside the field.
        if (count == 0) Fail(ERR_INVALID_DATA);
        filled_ = count;
        used_ = 0;
    }

    FileHandle file_;
    uint64_t size_;
    KitUnpacker* more_;
    uint64_t position_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t filled_ = 0;  // bytes in the buffer
    uint32_t used_ = 0;    // of those, read
    std::vector<uint8_t> scratch_;
};

KitDescription ReadDescriptionRecord(ContainerReader& reader) {
    uint32_t size = 0;
    const uint8_t* body = reader.ReadRecordBody(kDescriptionRecordMinLength, size);
    ByteCursor cursor(body, size);
    KitDescription description;
    if (!cursor.ReadCountedString(description.language) || !cursor.ReadCountedString(description.product) ||
        !cursor.ReadCountedString(description.vendor) || !cursor.ReadCountedString(description.descriptionPath)) {
        Fail(ERR_INVALID_DATA);
    }
    return description;
}

KitFileEntry ReadFileRecord(ContainerReader& reader) {
    uint32_t size = 0;
    const uint8_t* body = reader.ReadRecordBody(kFileRecordMinLength, size);
    ByteCursor cursor(body, size);
    KitFileEntry entry;
    if (!cursor.ReadCountedString(entry.name) || !cursor.ReadU32(entry.timeLow) || !cursor.ReadU32(entry.timeHigh) ||
        !cursor.ReadU32(entry.offset) || !cursor.ReadU32(entry.size)) {
        Fail(ERR_INVALID_DATA);
    }
    return entry;
}

// Stored offsets count from the data area; the entries get their absolute
// places in the container. An absolute offset is a 32-bit count: one that would
// pass 4 GiB would install the wrong bytes (a wrapped offset points into the
// file table), and so would bytes that reach past the container's end (checked
// by CheckEntriesEnd, once the container's size is known): either makes the
// kit damaged.
void PlaceEntries(std::vector<KitFileEntry>& entries, uint64_t dataStart) {
    for (KitFileEntry& entry : entries) {
        const uint64_t absolute = dataStart + entry.offset;
        if (absolute > kMaxContainerOffset) Fail(ERR_INVALID_DATA);
        entry.offset = static_cast<uint32_t>(absolute);
    }
}

bool EntriesEndInside(const std::vector<KitFileEntry>& entries, uint64_t containerSize) {
    for (const KitFileEntry& entry : entries) {
        if (static_cast<uint64_t>(entry.offset) + entry.size > containerSize) return false;
    }
    return true;
}

// The container's size, with the handle back at its start.
uint64_t ContainerSize(FileHandle container) {
    const int64_t size = SeekFileHandle(container, 0, FILE_FROM_END);
    if (size < 0 || SeekFileHandle(container, 0, FILE_FROM_START) != 0) Fail(ERR_INVALID_PARAMETER);
    return static_cast<uint64_t>(size);
}

// What ReadKitSteps reads, before it becomes a kit.
struct ReadParts {
    OwnedDescriptor writer;  // the container as made, for the unpacking
    std::vector<KitDescription> descriptions;
    std::vector<KitFileEntry> entries;
    std::unique_ptr<KitUnpacker> rest;
    KitCheckResult check;  // once the unpacking has finished
};

// Finishes the unpacking (the stream checked against the kit's check) and
// lets it go.
void FinishUnpacking(ReadParts& kit, std::unique_ptr<KitUnpacker>& unpacker) {
    const uint32_t code = unpacker->Finish();
    kit.check = unpacker->Check();
    unpacker.reset();
    if (code != 0) Fail(code);
}

// The steps of ReadKit; a failing step raises its code.
void ReadKitSteps(ReadParts& kit, const WString& kitPath, KitInputObserver* observer, KitReading reading) {
    // The container has no name: nothing is left in the temporary directory
    // however the run ends.
    if (uint32_t code = CreateKitContainer(kit.writer); code != 0) Fail(code);
    auto unpacker = std::make_unique<KitUnpacker>();
    if (uint32_t code = unpacker->Open(kitPath, observer); code != 0) Fail(code);
    unpacker->Start(kit.writer.Get());
    // A signature check sees the whole kit before anything of it is read.
    const bool tableFirst = reading == KitReading::FileTableFirst && observer == nullptr;
    if (!tableFirst) FinishUnpacking(kit, unpacker);
    ContainerReader reader(kit.writer.Get(), tableFirst ? 0 : ContainerSize(kit.writer.Get()), unpacker.get());

    if (reader.ReadU32() != kSingleLanguageForm) {
        const uint32_t count = reader.ReadU32();
        for (uint32_t i = 0; i < count; ++i) kit.descriptions.push_back(ReadDescriptionRecord(reader));
    } else {
        KitDescription description;
        description.language = kSingleFormLanguage;
        description.product = reader.ReadCountedString();
        description.vendor = reader.ReadCountedString();
        description.descriptionPath = reader.ReadCountedString();
        kit.descriptions.push_back(description);
    }

    kit.entries.clear();
    const uint32_t fileCount = reader.ReadU32();
    // Room for every entry at once (a table grown by doubling holds twice
    // its size while it moves), but never more than the container holds so
    // far: a count is not trusted before its records have been read.
    kit.entries.reserve(std::min<uint64_t>(fileCount, (reader.Size() - reader.Position()) / kFileRecordMinLength));
    for (uint32_t i = 0; i < fileCount; ++i) kit.entries.push_back(ReadFileRecord(reader));

    PlaceEntries(kit.entries, reader.Position());
    // The whole kit is unpacked already: nothing is left for later.
    if (unpacker != nullptr && unpacker->Ended()) FinishUnpacking(kit, unpacker);
    if (unpacker == nullptr) {
        if (!EntriesEndInside(kit.entries, ContainerSize(kit.writer.Get()))) Fail(ERR_INVALID_DATA);
    } else {
        kit.rest = std::move(unpacker);
    }
}

const KitDescription* FindDescription(const DistributionKit* kit, const WString& language) {
    if (kit == nullptr) return nullptr;
    for (const KitDescription& description : kit->Descriptions()) {
        if (CompareNoCase(description.language, language) == 0) return &description;
    }
    return nullptr;
}

}  // namespace

uint32_t ReadKit(std::unique_ptr<DistributionKit>& kit, const WString& kitPath, KitInputObserver* observer,
                 KitReading reading) {
    // An earlier kit is given up first, with its container.
    kit.reset();
    ReadParts parts;
    // A failed read leaves a kit of the descriptions read before the failure,
    // without entries or container.
    const auto failed = [&kit, &parts](uint32_t code) {
        parts.rest.reset();  // its writer stops before the container closes
        parts.writer.Reset();
        kit.reset(new DistributionKit(OwnedDescriptor(), std::move(parts.descriptions), {}));
        kit->check_ = parts.check;  // which may tell why the kit is damaged
        return code;
    };
    try {
        ReadKitSteps(parts, kitPath, observer, reading);
    } catch (const KitReadFailure& failure) {
        return failed(failure.code);
    }
    // Whatever reads the kit from here on only reads: it gets a handle that
    // cannot write, the unpacking of the rest keeps the one it writes through.
    OwnedDescriptor container;
    FileHandle readOnly = INVALID_FILE_HANDLE;
    if (ReopenFileHandleForReading(parts.writer.Get(), readOnly) == 0) {
        container.Reset(DescriptorOf(readOnly));
    } else {
        // The container cannot be opened again (no /proc): it is read through
        // the handle it was made with, once nothing more is written to it.
        if (parts.rest != nullptr) {
            const uint32_t code = parts.rest->Finish();
            parts.check = parts.rest->Check();
            if (code != 0) return failed(code);
            parts.rest.reset();
            const int64_t size = SeekFileHandle(parts.writer.Get(), 0, FILE_FROM_END);
            if (size < 0) return failed(ERR_INVALID_PARAMETER);
            if (!EntriesEndInside(parts.entries, static_cast<uint64_t>(size))) return failed(ERR_INVALID_DATA);
        }
        container = std::move(parts.writer);
    }
    kit.reset(new DistributionKit(std::move(container), std::move(parts.descriptions), std::move(parts.entries)));
    kit->check_ = parts.check;
    if (parts.rest != nullptr) {
        kit->rest_ = std::move(parts.rest);
        kit->restWriter_ = std::move(parts.writer);
    } else {
        kit->releaser_ = std::move(parts.writer);  // empty when the container is that handle
    }
    return 0;
}

uint32_t UnpackRest(DistributionKit& kit) {
    if (kit.rest_ == nullptr) return kit.restFailure_;
    // Started on a thread of its own, its end is waited for; inflated into
    // the files, the rest of the stream is inflated and dropped.
    uint32_t code = kit.background_ != nullptr ? kit.background_->Join() : kit.rest_->Finish();
    kit.background_.reset();
    const bool intoFiles = kit.direct_ != nullptr;
    kit.direct_.reset();
    // A stream that does not match the kit's check fails here, after every
    // entry's bytes may have been copied: the installation is undone.
    kit.check_ = kit.rest_->Check();
    const uint64_t inflated = kit.rest_->Inflated();
    kit.rest_.reset();
    // Nothing more is written through it; what was copied is given back through it.
    kit.releaser_ = std::move(kit.restWriter_);
    // The files had the bytes past the container's head: none is there to copy again.
    if (intoFiles) kit.releasedEntries_.store(kit.entries_.size(), std::memory_order_relaxed);
    if (code == 0) {
        const int64_t size = intoFiles ? static_cast<int64_t>(inflated) : SeekFileHandle(kit.container_.Get(), 0, FILE_FROM_END);
        if (size < 0) code = ERR_INVALID_PARAMETER;
        else if (!EntriesEndInside(kit.entries_, static_cast<uint64_t>(size))) code = ERR_INVALID_DATA;
    }
    kit.restFailure_ = code;
    return code;
}

uint32_t StartUnpackingRest(DistributionKit& kit, RestDelivery delivery) {
    if (kit.background_ != nullptr || kit.direct_ != nullptr) return ERR_SUCCESS;
    if (kit.rest_ == nullptr) return kit.restFailure_;
    if (delivery == RestDelivery::IntoFiles && kit.entriesFollow_) {
        uint32_t code = ERR_SUCCESS;
        auto stream = std::make_unique<EntryStream>(*kit.rest_, code);
        // The container's head could not be written: the unpacking failed.
        if (code != ERR_SUCCESS) return UnpackRest(kit);
        kit.direct_ = std::move(stream);
        return ERR_SUCCESS;
    }
    try {
        kit.background_ = std::make_unique<RestUnpacking>(*kit.rest_);
    } catch (const std::exception&) {
        return UnpackRest(kit);  // no thread or memory to spare: unpacked here, whole
    }
    return ERR_SUCCESS;
}

uint32_t WaitForEntryBytes(DistributionKit& kit, size_t index) {
    if (kit.direct_ != nullptr) return ERR_SUCCESS;
    if (kit.background_ == nullptr) return UnpackRest(kit);
    if (index >= kit.entries_.size()) return ERR_INVALID_PARAMETER;
    const KitFileEntry& entry = kit.entries_[index];
    if (entry.size == 0) return ERR_SUCCESS;
    return kit.background_->WaitFor(static_cast<uint64_t>(entry.offset) + entry.size);
}

void GetProductInfo(const DistributionKit* kit, const WString& language, WString& product, WString& vendor) {
    const KitDescription* description = FindDescription(kit, language);
    product = description != nullptr ? description->product : WString();
    vendor = description != nullptr ? description->vendor : WString();
}

WString GetDescriptionName(const DistributionKit* kit, const WString& language) {
    const KitDescription* description = FindDescription(kit, language);
    if (description != nullptr && !description->descriptionPath.empty()) return description->descriptionPath;
    const KitDescription* fallback = FindDescription(kit, kitformat::kFallbackLanguage);
    return fallback != nullptr ? fallback->descriptionPath : WString();
}

}  // namespace vxk5
