#include "kit/kit_unpack.h"

#include <cerrno>

#include <algorithm>
#include <memory>

#include "kit/container_writer.h"
#include "kit/kit_format.h"
#include "kit/raw_inflater.h"
#include "kit/stream_check.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"

namespace vxk5 {


namespace {

// The kit is read 1 MiB at a time into one reused buffer (the observer's
// memory when there is one). A read per 32 KiB cost a quarter of the
// unpacking's time; mapping each 1 MiB window instead of reading it cost a
// fifth, in page faults and in unmapping, which every other processor the
// process runs on must be told of.
constexpr uint32_t kInputWindow = 1u << 20;

}  // namespace

uint32_t CreateKitTempFile(WString& path) {
    WString directory;
    (void)GetTempDirectory(directory);  // cannot fail: TMPDIR when usable, else "/tmp"
    return CreateTempFile(directory, u"edf", path);
}

uint32_t CreateKitContainer(OwnedDescriptor& container) {
    WString directory;
    (void)GetTempDirectory(directory);  // cannot fail: TMPDIR when usable, else "/tmp"
    FileHandle handle = INVALID_FILE_HANDLE;
    const uint32_t code = CreateUnnamedTempFile(directory, u"edf", handle);
    container.Reset(DescriptorOf(handle));
    return code;
}

uint64_t KitContainerLowerBound(uint64_t kitSize) {
    // Least inflated bytes per kit byte: stored blocks, 5 bytes of framing per
    // 65535 bytes. Huffman-coded blocks only give more.
    constexpr uint64_t kStoredBlock = 65535;
    constexpr uint64_t kStoredFraming = 5;
    const uint64_t blocks = (kitSize + kStoredBlock + kStoredFraming - 1) / (kStoredBlock + kStoredFraming);
    return kitSize > blocks * kStoredFraming ? kitSize - blocks * kStoredFraming : 0;
}

namespace {

// Reads the kit's next `length` bytes, from its current position, into
// `buffer`. False when the read fails; `length` is then, or when the file
// ended early, what was read.
bool ReadPlain(FileHandle source, uint8_t* buffer, uint32_t& length, const uint8_t*& bytes) {
    uint32_t got = 0;
    const bool read = ReadFileHandle(source, buffer, length, &got, nullptr) == 0;
    length = got;
    bytes = buffer;
    return read;
}

// ReadPlain into the observer's memory, and shows the observer what was read.
bool ReadObserved(FileHandle source, KitInputObserver& observer, uint32_t& length, const uint8_t*& bytes) {
    const bool read = ReadPlain(source, observer.Buffer(length), length, bytes);
    observer.Observe(length);
    return read;
}

// Shows the observer the kit's bytes from `observed` to `size` that the
// inflation did not need.
void ObserveRest(FileHandle source, uint32_t size, KitInputObserver& observer, uint64_t observed) {
    while (observed < size) {
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kInputWindow, size - observed));
        const uint8_t* bytes = nullptr;
        if (!ReadObserved(source, observer, length, bytes) || length == 0) return;
        observed += length;
    }
}

[[nodiscard]] uint32_t OpenKit(const WString& source, OwnedDescriptor& kit) {
    FileHandle handle = INVALID_FILE_HANDLE;
    const uint32_t code =
        CreateFileHandle(source, FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, FILE_FLAG_SEQUENTIAL_NORMAL);
    kit.Reset(DescriptorOf(handle));
    return code;
}

// Reads the kit file's last bytes into `last`, then goes back to `resumeAt`,
// where the reading goes on. False when they cannot be read; `lost` is set
// when the position cannot be restored.
bool ReadLastBytes(FileHandle kit, uint64_t size, uint64_t resumeAt, kitformat::KitTrailer& last, bool& lost) {
    const uint32_t want = static_cast<uint32_t>(last.size());
    uint32_t got = 0;
    const bool read = size >= want && SeekFileHandle(kit, static_cast<int64_t>(size - want), FILE_FROM_START) >= 0 &&
                      ReadFileHandle(kit, last.data(), want, &got, nullptr) == 0 && got == want;
    lost = SeekFileHandle(kit, static_cast<int64_t>(resumeAt), FILE_FROM_START) != static_cast<int64_t>(resumeAt);
    return read;
}

}  // namespace

struct KitUnpacker::Streams {
    Streams(FileHandle container, bool ownInput)
        : input(ownInput ? new uint8_t[kInputWindow] : nullptr), writer(container) {}
    std::unique_ptr<uint8_t[]> input;  // the kit's bytes when no observer holds them
    RawInflater inflater;
    ContainerWriter writer;
    StreamCheck check;
    // Once diverted: the bytes inflated since the last Pull, and those handed out before.
    std::unique_ptr<uint8_t[]> pulled;
    uint32_t pulledFilled = 0;
    uint64_t handedOut = 0;
};

KitUnpacker::KitUnpacker() = default;
KitUnpacker::~KitUnpacker() = default;

uint32_t KitUnpacker::Open(const WString& source, KitInputObserver* observer) {
    if (uint32_t code = OpenKit(source, kit_); code != 0) return Failed(code);
    observer_ = observer;
    const int64_t end = SeekFileHandle(kit_.Get(), 0, FILE_FROM_END);
    if (end < 0) return Failed(ERR_INVALID_PARAMETER);
    // The kit's size is a 32-bit count: a larger file is not a kit of ours, and
    // reading only its first 4 GiB would give a wrong container.
    if (end > static_cast<int64_t>(UINT32_MAX)) return Failed(ERR_INVALID_DATA);
    AdviseSequentialRead(kit_.Get());
    if (SeekFileHandle(kit_.Get(), 0, FILE_FROM_START) != 0) {
        return Failed(ERR_INVALID_PARAMETER);
    }
    // Tests may change the kit here, between its opening and its reading.
    if (InjectedFault(FaultStep::KitOpened, std::string()) != 0) return Failed(ERR_INVALID_PARAMETER);
    size_ = static_cast<uint32_t>(end);
    return 0;
}

void KitUnpacker::Start(FileHandle container) {
    streams_ = std::make_unique<Streams>(container, observer_ == nullptr);
}

uint32_t KitUnpacker::Failed(uint32_t code) {
    if (failure_ == 0) failure_ = code;
    return failure_;
}

// Reads the kit window by window (into the observer's memory when there is
// one), inflates each window's bytes into the writer's space
// and hands them on, until the container has `until` bytes, the stream ends
// or the kit's bytes run out; a stream that stops early leaves a short
// container. A pause may fall inside a window: its input, and output the
// inflater holds back for want of room, wait for the next call.
uint32_t KitUnpacker::Inflate(uint64_t until) {
    if (failure_ != 0) return failure_;
    if (streams_ == nullptr) return Failed(ERR_INVALID_PARAMETER);
    RawInflater& inflater = streams_->inflater;
    while (!ended_ && Inflated() < until) {
        if (inflater.InputLeft() == 0 && !outputHeldBack_) {
            // 64-bit offsets: the last window of a kit just below 4 GiB must not wrap.
            if (offset_ >= size_) break;
            // The window before is used up: the stream's bytes, hashed while
            // they are still at hand (all but the few the inflater may hold).
            if (checking_) streams_->check.Consumed(window_, windowLength_);
            windowLength_ = 0;
            uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kInputWindow, size_ - offset_));
            const uint8_t* bytes = nullptr;
            if (uint32_t code = ReadWindow(length, bytes); code != 0) return code;
            if (length == 0) {  // the file shrank: what is there has been inflated
                offset_ = size_;
                break;
            }
            inflater.SetInput(bytes, length);
            offset_ += length;
            window_ = bytes;
            windowLength_ = length;
        }
        const uint32_t room = OutputRoom();
        const uint32_t inputBefore = inflater.InputLeft();
        uint32_t produced = 0;
        const RawInflater::Status status = inflater.Inflate(OutputSpace(), room, produced);
        // What came before a damage goes to the container too, as from a
        // stream that stopped there.
        if (uint32_t code = OutputAdvance(produced); code != 0) return Failed(code);
        if (status == RawInflater::Status::Damaged) return Failed(ERR_INVALID_DATA);
        ended_ = status == RawInflater::Status::Finished;
        // Output room used up may hide more output of the bits already taken in.
        outputHeldBack_ = produced == room;
        if (!outputHeldBack_ && !ended_ && inflater.InputLeft() != 0 && produced == 0 &&
            inflater.InputLeft() == inputBefore) {
            // Room and input, yet no step forward: never spin on such a stream.
            return Failed(ERR_INVALID_DATA);
        }
    }
    return 0;
}

// Reads the kit's next `length` bytes (fewer when the file ended early) into
// the observer's memory, or the unpacking's own.
uint32_t KitUnpacker::ReadWindow(uint32_t& length, const uint8_t*& bytes) {
    const bool read = observer_ != nullptr ? ReadObserved(kit_.Get(), *observer_, length, bytes)
                                           : ReadPlain(kit_.Get(), streams_->input.get(), length, bytes);
    if (observer_ != nullptr) observed_ += length;
    return read ? 0 : Failed(ERR_INVALID_PARAMETER);
}

// Once the inflating is over: the rest of the stream's last window hashed,
// the bytes after the stream read as far as a trailer reaches, and the
// verdict. ERR_INVALID_DATA when the kit's check says it is damaged.
uint32_t KitUnpacker::ConcludeCheck() {
    StreamCheck& check = streams_->check;
    bool lost = false;
    const auto readLast = [this, &lost](kitformat::KitTrailer& last) {
        return ReadLastBytes(kit_.Get(), size_, offset_, last, lost);
    };
    if (!ended_) {
        check_ = check.ConcludeUnended(size_, readLast);
    } else {
        const uint32_t left = streams_->inflater.InputLeft();
        check.Consumed(window_, windowLength_ - left);
        check.StreamEnded(streams_->inflater.HeldBytes());
        check.Follow(window_ + (windowLength_ - left), left);
        windowLength_ = 0;
        while (check.Wanted() != 0 && offset_ < size_) {
            uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(check.Wanted(), size_ - offset_));
            const uint8_t* bytes = nullptr;
            if (uint32_t code = ReadWindow(length, bytes); code != 0) return code;
            if (length == 0) break;
            offset_ += length;
            check.Follow(bytes, length);
        }
        check_ = check.Conclude(size_, readLast);
    }
    if (lost) return Failed(ERR_INVALID_PARAMETER);
    return IsKitDamage(check_.state) ? Failed(ERR_INVALID_DATA) : 0;
}

bool KitUnpacker::Ended() const {
    const bool inputLeft = streams_ != nullptr && (streams_->inflater.InputLeft() != 0 || outputHeldBack_);
    return failure_ != 0 || ended_ || (offset_ >= size_ && !inputLeft);
}

uint64_t KitUnpacker::Available() const { return streams_ != nullptr ? streams_->writer.Produced() : 0; }

uint64_t KitUnpacker::Inflated() const {
    if (streams_ == nullptr) return 0;
    return streams_->writer.Produced() + streams_->handedOut + streams_->pulledFilled;
}

uint8_t* KitUnpacker::OutputSpace() {
    return diverted_ ? streams_->pulled.get() + streams_->pulledFilled : streams_->writer.Space();
}

uint32_t KitUnpacker::OutputRoom() const {
    return diverted_ ? kPullSize - streams_->pulledFilled : streams_->writer.Room();
}

uint32_t KitUnpacker::OutputAdvance(uint32_t produced) {
    if (!diverted_) return streams_->writer.Advance(produced);
    streams_->pulledFilled += produced;
    return 0;
}

uint32_t KitUnpacker::Divert() {
    if (failure_ != 0) return failure_;
    if (diverted_) return 0;
    if (streams_ == nullptr || finished_) return ERR_INVALID_PARAMETER;  // a caller's mistake, not the kit's
    // What the container was given is written before anything goes elsewhere.
    if (const uint32_t code = Failed(streams_->writer.Flush()); code != 0) return code;
    streams_->pulled.reset(new uint8_t[kPullSize]);
    diverted_ = true;
    return 0;
}

uint32_t KitUnpacker::Pull(const uint8_t*& bytes, uint32_t& size) {
    bytes = nullptr;
    size = 0;
    if (failure_ != 0) return failure_;
    if (!diverted_ || finished_) return ERR_INVALID_PARAMETER;  // a caller's mistake, not the kit's
    // The bytes handed out last time are done with: their room is reused.
    streams_->handedOut += streams_->pulledFilled;
    streams_->pulledFilled = 0;
    if (const uint32_t code = Inflate(Inflated() + kPullSize); code != 0) return code;
    bytes = streams_->pulled.get();
    size = streams_->pulledFilled;
    return 0;
}

// Once diverted: the rest of the stream inflated for nobody, so that the
// whole stream is hashed and its end reached.
uint32_t KitUnpacker::Drain() {
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    do {
        if (const uint32_t code = Pull(bytes, size); code != 0) return code;
    } while (size != 0);
    return 0;
}

uint32_t KitUnpacker::UnpackUntil(uint64_t bytes) {
    if (diverted_) return ERR_INVALID_PARAMETER;  // nothing more goes to the container
    if (const uint32_t code = Inflate(bytes); code != 0) return code;
    return Failed(streams_->writer.Flush());
}

uint32_t KitUnpacker::Finish() {
    if (finished_) return failure_;
    uint32_t code = diverted_ ? Drain() : Inflate(UINT64_MAX);
    finished_ = true;
    if (code == 0 && streams_ != nullptr && checking_) code = ConcludeCheck();
    // The check sees the whole file, whatever the inflation made of it.
    if (observer_ != nullptr && size_ != 0) ObserveRest(kit_.Get(), size_, *observer_, observed_);
    if (streams_ == nullptr) return code;
    if (code != 0) {
        // What was inflated before a damage stays in the container, as from a
        // stream that stopped there.
        if (code == ERR_INVALID_DATA) (void)streams_->writer.Finish();
        return code;
    }
    // The container holds exactly the inflated bytes, even where the file had
    // content before.
    return Failed(streams_->writer.Finish());
}

namespace {

// Unpacks the opened kit into the open container.
[[nodiscard]] uint32_t UnpackOpenKit(KitUnpacker& unpacker, FileHandle container) {
    unpacker.Start(container);
    return unpacker.Finish();
}

}  // namespace

uint32_t UnpackKitInto(const WString& source, FileHandle container, KitInputObserver* observer) {
    KitUnpacker unpacker;
    if (uint32_t code = unpacker.Open(source, observer); code != 0) return code;
    return UnpackOpenKit(unpacker, container);
}

uint32_t UnpackKit(const WString& source, const WString& destination, KitInputObserver* observer) {
    KitUnpacker unpacker;
    if (uint32_t code = unpacker.Open(source, observer); code != 0) return code;
    FileHandle handle = INVALID_FILE_HANDLE;
    if (uint32_t code = CreateFileHandle(destination, FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, FILE_ATTR_NORMAL);
        code != 0) {
        return code;
    }
    OwnedDescriptor container(DescriptorOf(handle));
    if (uint32_t code = UnpackOpenKit(unpacker, container.Get()); code != 0) return code;
    // A failed close may mean lost data.
    if (CloseFileHandle(container.Release()) != 0) return ERR_INVALID_PARAMETER;
    return 0;
}

}  // namespace vxk5
