#include "tools/kit_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/conversion.h"
#include "platform/file_system.h"
#include "platform/open_file.h"
#include "platform/owned_descriptor.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

constexpr int kStandardOutput = 1;

std::string LastSystemReason() { return std::strerror(GetPlatformErrno() != 0 ? GetPlatformErrno() : EIO); }

// Removes the temporary kit unless it was renamed into place.
class TemporaryKit {
public:
    explicit TemporaryKit(std::string path) : path_(std::move(path)) {}
    ~TemporaryKit() {
        if (!kept_) unlink(path_.c_str());
    }
    TemporaryKit(const TemporaryKit&) = delete;
    TemporaryKit& operator=(const TemporaryKit&) = delete;
    const std::string& path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

// Data that does not compress grows a little as it is stored: the kit
// file itself must stay below 4 GiB too, or no installer would read it.
bool CheckKitSize(int descriptor, const std::string& shown, std::string& error) {
    uint64_t size = 0;
    if (OpenFileSize(descriptor, size) != 0 || size > UINT32_MAX) {
        error = "the compressed kit would hold 4 GiB or more, more than an installer reads: " + shown;
        return false;
    }
    return true;
}

// Copies the whole file open on `descriptor` to standard output.
bool CopyToStandardOutput(int descriptor, std::string& error) {
    std::string buffer(1 << 20, '\0');
    for (int64_t offset = 0;;) {
        const int64_t count = ReadOpenFileAt(descriptor, buffer.data(), buffer.size(), offset);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            error = std::string("cannot read the kit back from its temporary file: ") + std::strerror(errno);
            return false;
        }
        if (count == 0) return true;
        if (const int failed = WriteOpenFile(kStandardOutput, buffer.substr(0, static_cast<size_t>(count)));
            failed != 0) {
            error = std::string("cannot write the kit to standard output: ") + std::strerror(failed);
            return false;
        }
        offset += count;
    }
}

}  // namespace

bool DeliverKitToStandardOutput(const KitWriting& write, std::string& error) {
    WString directory;
    FileHandle handle = INVALID_FILE_HANDLE;
    if (GetTempDirectory(directory) != 0 || CreateUnnamedTempFile(directory, u"kit", handle) != 0) {
        error = "cannot make a temporary file in " + ToMultiByteString(directory) + " for the kit: " +
                LastSystemReason();
        return false;
    }
    OwnedDescriptor unwritten(DescriptorOf(handle));  // until the writer takes it
    OwnedDescriptor kept;
    if (const int failed = DuplicateDescriptor(unwritten.Get(), kept); failed != 0) {
        error = std::string("cannot keep the kit's temporary file open: ") + std::strerror(failed);
        return false;
    }
    const std::string shown = "standard output";
    return write(unwritten.Release(), shown, error) &&
           CheckKitSize(kept.Get(), shown, error) && CopyToStandardOutput(kept.Get(), error);
}

bool DeliverKitFile(const std::string& output, const KitWriting& write, std::string& error) {
    // Written beside the target under a name of its own and renamed when
    // complete, so that a failure never leaves a damaged kit under the
    // target's name and readers of the old kit never see a half-written one.
    std::string pattern = output + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = "cannot create " + output + ": " + std::strerror(errno);
        return false;
    }
    TemporaryKit temporary(pattern);
    OwnedDescriptor unwritten(descriptor);  // until the writer takes it
    // A second descriptor to flush the kit to disk after the writer closed its own.
    OwnedDescriptor sync;
    if (const int failed = DuplicateDescriptor(descriptor, sync); failed != 0) {
        error = "cannot create " + output + ": " + std::strerror(failed);
        return false;
    }
    // mkstemp makes the file 0600; a kit is made to be shared like any other file.
    if (const int failed = SetOpenFileMode(descriptor, DefaultNewFileMode()); failed != 0) {
        error = "cannot set the mode of " + temporary.path() + ": " + std::strerror(failed);
        return false;
    }
    if (!write(unwritten.Release(), output, error)) return false;
    if (!CheckKitSize(sync.Get(), output, error)) return false;
    if (const int failed = SyncOpenFile(sync.Get()); failed != 0) {
        error = "cannot write " + output + ": " + std::strerror(failed);
        return false;
    }
    if (std::rename(temporary.path().c_str(), output.c_str()) != 0) {
        error = "cannot rename " + temporary.path() + " to " + output + ": " + std::strerror(errno);
        return false;
    }
    temporary.Keep();
    return true;
}


}  // namespace vxk5
