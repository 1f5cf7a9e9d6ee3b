#pragma once
// The compression layer of the kit: the kit file is inflated, window by
// window, into the unpacked container, a temporary file that the reader and
// the installation then read through a handle.

#include <cstdint>
#include <memory>

#include "base/wstring.h"
#include "kit/kit_trailer.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

// Makes a new empty file named "edf" + a unique suffix in the temporary
// directory and stores its full path in `path` (also when it fails).
// ERR_SUCCESS, or ERR_TEMP_NOT_CREATED.
[[nodiscard]] uint32_t CreateKitTempFile(WString& path);

// Sees every byte of the kit file exactly once, in order, as UnpackKit reads
// it: a signature check over the very bytes that are inflated. With an
// observer the kit is read into the observer's memory rather than its own, so
// a file rewritten meanwhile cannot hand the inflater other bytes than those
// observed; and the file is read to its end even when the stream ends before
// it or is damaged.
class KitInputObserver {
public:
    virtual ~KitInputObserver() = default;
    // Memory for the next `size` bytes. UnpackKit reads them into it and
    // inflates from it; it must stay in place, unchanged, until Buffer is
    // called again or the unpacking returns.
    virtual uint8_t* Buffer(uint32_t size) = 0;
    // The next `size` bytes of the kit are in that memory: fewer than asked
    // when the file ended early (it shrank after its size was taken).
    virtual void Observe(uint32_t size) = 0;
};

// Inflates the raw deflate stream of `source` into `destination`, replacing its
// content. A check after the stream (kit_trailer.h) is checked; other bytes
// after the end of the stream are ignored; a stream that stops early leaves a
// shorter container and is not an error here.
// ERR_SUCCESS; the open's code (ERR_NOT_FOUND or ERR_INVALID_PARAMETER) when a
// file cannot be opened; ERR_INVALID_DATA when the stream is damaged, does
// not match its check, or the kit is 4 GiB or larger (the container then holds
// what was inflated); ERR_DISK_FULL when the container's file system is full;
// ERR_INVALID_PARAMETER when the kit
// cannot be read or the container cannot be written in full otherwise.
// With `observer`, every byte of `source` is shown to it, also when the result is not ERR_SUCCESS
// (except when a file cannot be opened or read).
[[nodiscard]] uint32_t UnpackKit(const WString& source, const WString& destination,
                                 KitInputObserver* observer = nullptr);

// Unpacking that can pause: the container's head (descriptions and file
// table) can be read before the data area has been inflated, and the rest
// inflated only once a file's bytes are needed. Observed as UnpackKit
// observes. Every call after a failure gives the first failure's code.
class KitUnpacker {
public:
    KitUnpacker();
    ~KitUnpacker();  // stops the writer; the container stays as it is
    KitUnpacker(const KitUnpacker&) = delete;
    KitUnpacker& operator=(const KitUnpacker&) = delete;

    // Opens the kit and checks its size: UnpackKit's codes for that.
    [[nodiscard]] uint32_t Open(const WString& source, KitInputObserver* observer);
    // The container to unpack into, from its offset 0; the caller keeps it
    // open while this object lives.
    void Start(FileHandle container);
    // Inflates until the container holds at least `bytes` bytes or the
    // stream has ended, and has them written to it. UnpackKit's codes.
    [[nodiscard]] uint32_t UnpackUntil(uint64_t bytes);
    // The rest, and the container cut to the inflated bytes; the observer
    // sees the rest of the kit. The stream is checked against the kit's
    // check, when it carries one, only here: before Finish, bytes unpacked
    // are not known to be right. UnpackKit's codes; the same on a second call.
    [[nodiscard]] uint32_t Finish();
    // What the bytes after the stream said, once Finish has returned; Pending
    // when the unpacking failed before the stream's end.
    const KitCheckResult& Check() const { return check_; }
    // Before Start: the stream is neither hashed nor checked, and Check()
    // stays Pending, as kits were unpacked before they carried a check. Only
    // for measuring what the check costs (bench-unpack).
    void SkipCheck() { checking_ = false; }
    // Nothing more will be inflated: the stream ended, the kit's bytes ran
    // out, or something failed.
    bool Ended() const;
    // The bytes inflated so far; after UnpackUntil, readable in the container.
    // Once diverted, the bytes the container holds; the rest are handed out.
    uint64_t Available() const;

    // From here on the stream's bytes are handed out by Pull instead of
    // written: the container keeps the Available() bytes it holds, and they
    // are written in full. UnpackKit's codes (a write that failed).
    [[nodiscard]] uint32_t Divert();
    // Once diverted: the stream's next bytes, at most kPullSize, at `bytes`
    // until the next call; `size` 0 once nothing more will come. Finish
    // inflates (and checks) the rest, handing it to nobody. UnpackKit's codes.
    [[nodiscard]] uint32_t Pull(const uint8_t*& bytes, uint32_t& size);
    // The bytes inflated in all: those the container holds and those handed out.
    uint64_t Inflated() const;
    static constexpr uint32_t kPullSize = 1u << 20;

private:
    [[nodiscard]] uint32_t Inflate(uint64_t until);
    [[nodiscard]] uint32_t ReadWindow(uint32_t& length, const uint8_t*& bytes);
    [[nodiscard]] uint32_t ConcludeCheck();
    [[nodiscard]] uint32_t Failed(uint32_t code);
    [[nodiscard]] uint32_t Drain();
    // Where the inflater writes next, and how much room it has there.
    uint8_t* OutputSpace();
    uint32_t OutputRoom() const;
    [[nodiscard]] uint32_t OutputAdvance(uint32_t produced);

    struct Streams;  // the kit's input buffer, the inflater and the container's writer

    OwnedDescriptor kit_;
    uint32_t size_ = 0;
    KitInputObserver* observer_ = nullptr;
    uint64_t observed_ = 0;
    uint64_t offset_ = 0;  // of the next window in the kit
    // The window the inflater takes its input from: the kit's bytes before
    // offset_, the last windowLength_ of them.
    const uint8_t* window_ = nullptr;
    uint32_t windowLength_ = 0;
    KitCheckResult check_;
    bool checking_ = true;
    bool outputHeldBack_ = false;  // the inflater filled the room it was given
    std::unique_ptr<Streams> streams_;
    bool ended_ = false;
    bool finished_ = false;
    bool diverted_ = false;
    uint32_t failure_ = 0;
};

// Makes the unpacked container as an unnamed file in the temporary directory
// (a named one, unlinked at once, where the file system has no unnamed
// files): however the process ends, nothing is left there. ERR_SUCCESS with
// `container` open for reading and writing, or ERR_TEMP_NOT_CREATED.
[[nodiscard]] uint32_t CreateKitContainer(OwnedDescriptor& container);

// UnpackKit into an open container, from its offset 0; the container is cut
// to the inflated bytes. The same codes.
[[nodiscard]] uint32_t UnpackKitInto(const WString& source, FileHandle container,
                                     KitInputObserver* observer = nullptr);

// The fewest bytes a kit of `kitSize` bytes can inflate to, as deflate stores
// data it cannot compress: what the temporary directory must hold at least.
uint64_t KitContainerLowerBound(uint64_t kitSize);

}  // namespace vxk5
