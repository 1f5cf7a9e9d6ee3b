#include "kit/kit_unpack.h"

#include <cerrno>

#include <algorithm>
#include <memory>

#include "kit/kit_format.h"
#include "kit/mapped_window.h"
#include "kit/raw_inflater.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"

namespace vxk5 {

using kitformat::kWindowSize;

uint32_t CreateKitTempFile(WString& path) {
    WString directory;
    GetTempDirectory(directory);
    return CreateTempFile(directory, u"edf", path);
}

namespace {

// Writes all `size` bytes. A full file system is told apart from the other
// failures: the user can do something about it.
uint32_t WriteAll(FileHandle file, const uint8_t* bytes, uint32_t size) {
    uint32_t written = 0;
    errno = 0;
    if (WriteFileHandle(file, bytes, size, &written, nullptr) != 0 || written != size) {
        return errno == ENOSPC || errno == EDQUOT ? ERR_DISK_FULL : ERR_INVALID_PARAMETER;
    }
    return 0;
}

// The inflated bytes gather in one buffer of this size and go to the container
// when it is full: few large writes, and a match that reaches back before the
// start of the buffer (which the inflater serves from its own history, more
// slowly) stays rare. The memory used does not grow with the kit.
constexpr uint32_t kOutputBufferSize = 256 * 1024;

// Reads the kit's next `length` bytes, from its current position, into the
// observer's memory and shows them to it. False when the read fails; `length`
// is then, or when the file ended early, what was read.
bool ReadObserved(FileHandle source, KitInputObserver& observer, uint32_t& length, const uint8_t*& bytes) {
    uint8_t* buffer = observer.Buffer(length);
    uint32_t got = 0;
    const bool read = ReadFileHandle(source, buffer, length, &got, nullptr) == 0;
    observer.Observe(got);
    length = got;
    bytes = buffer;
    return read;
}

// Inflates `source` into `destination` until the stream ends or the kit's
// bytes run out. A stream that stops early leaves a short container.
// `observed` counts the bytes the observer, if any, has seen.
uint32_t InflateWindows(FileHandle source, uint32_t size, FileHandle destination, KitInputObserver* observer,
                        uint64_t& observed) {
    RawInflater inflater;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kOutputBufferSize]);
    uint32_t filled = 0;  // inflated bytes in the buffer, not yet written

    bool ended = false;
    MappedWindow window;
    // 64-bit offsets: the last window of a kit just below 4 GiB must not wrap.
    for (uint64_t offset = 0; offset < size && !ended; offset += kWindowSize) {
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kWindowSize, size - offset));
        if (observer != nullptr) {
            const uint8_t* bytes = nullptr;
            const bool read = ReadObserved(source, *observer, length, bytes);
            observed += length;
            if (!read) return ERR_INVALID_PARAMETER;
            if (length == 0) break;  // the file shrank: what is there has been inflated
            inflater.SetInput(bytes, length);
        } else {
            // Never inflate from a window that is not there.
            if (!window.Map(source, offset, length)) return ERR_INVALID_PARAMETER;
            inflater.SetInput(window.Data(), length);
        }
        bool full = false;
        do {
            const uint32_t before = filled;
            const uint32_t inputBefore = inflater.InputLeft();
            const RawInflater::Status status =
                inflater.Inflate(buffer.get() + filled, kOutputBufferSize - filled, filled);
            if (status == RawInflater::Status::Damaged) return ERR_INVALID_DATA;
            ended = status == RawInflater::Status::Finished;
            full = filled == kOutputBufferSize;
            if (full) {
                if (uint32_t code = WriteAll(destination, buffer.get(), filled); code != 0) return code;
                filled = 0;
            } else if (!ended && inflater.InputLeft() != 0 && filled == before &&
                       inflater.InputLeft() == inputBefore) {
                // Room and input, yet no step forward: never spin on such a stream.
                return ERR_INVALID_DATA;
            }
            // Output room used up may hide more output of the bits already
            // taken in; input left over must be inflated before the next window.
        } while (!ended && (full || inflater.InputLeft() != 0));
        window.Reset();
    }
    if (filled != 0) return WriteAll(destination, buffer.get(), filled);
    return 0;
}

// Shows the observer the kit's bytes from `observed` to `size` that the
// inflation did not need.
void ObserveRest(FileHandle source, uint32_t size, KitInputObserver& observer, uint64_t observed) {
    while (observed < size) {
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kWindowSize, size - observed));
        const uint8_t* bytes = nullptr;
        if (!ReadObserved(source, observer, length, bytes) || length == 0) return;
        observed += length;
    }
}

}  // namespace

uint32_t UnpackKit(const WString& source, const WString& destination, KitInputObserver* observer) {
    FileHandle handle = INVALID_FILE_HANDLE;
    if (uint32_t code = CreateFileHandle(source, FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle,
                                         FILE_FLAG_SEQUENTIAL_NORMAL);
        code != 0) {
        return code;
    }
    ScopedFileHandle kit(handle);
    if (uint32_t code = CreateFileHandle(destination, FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, FILE_ATTR_NORMAL);
        code != 0) {
        return code;
    }
    ScopedFileHandle container(handle);

    const int64_t end = SeekFileHandle(kit.Get(), 0, FILE_FROM_END);
    if (end < 0) return ERR_INVALID_PARAMETER;
    // The kit's size is a 32-bit count: a larger file is not a kit of ours, and
    // reading only its first 4 GiB would give a wrong container.
    if (end > static_cast<int64_t>(UINT32_MAX)) return ERR_INVALID_DATA;
    AdviseSequentialRead(kit.Get());
    if (observer != nullptr && SeekFileHandle(kit.Get(), 0, FILE_FROM_START) != 0) return ERR_INVALID_PARAMETER;
    // Tests may change the kit here, between its opening and its reading.
    if (InjectedFault(FaultStep::KitOpened, std::string()) != 0) return ERR_INVALID_PARAMETER;

    const uint32_t size = static_cast<uint32_t>(end);
    uint64_t observed = 0;
    const uint32_t code = InflateWindows(kit.Get(), size, container.Get(), observer, observed);
    // The check sees the whole file, whatever the inflation made of it.
    if (observer != nullptr) ObserveRest(kit.Get(), size, *observer, observed);
    if (code != 0) return code;
    // The container holds exactly the inflated bytes, even where the file had
    // content before; a failed close may mean lost data.
    if (TruncateFileHandle(container.Get()) != 0) return ERR_INVALID_PARAMETER;
    if (CloseFileHandle(container.Release()) != 0) return ERR_INVALID_PARAMETER;
    return 0;
}

void ReleaseKitTempFile(DistributionKit& kit) {
    kit.tempHandle.Reset();
    if (!kit.tempPath.empty()) RemoveFile(kit.tempPath);
}

}  // namespace vxk5
