#include "tools/kit_input.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "platform/entry_details.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/open_file.h"
#include "platform/owned_descriptor.h"
#include "platform/platform_error.h"
#include "tools/kit_check_text.h"
#include "tools/progress_line.h"

namespace vxk5 {

namespace {

constexpr FileHandle kStandardInput = 0;

// Copies standard input into `spool`, a new unnamed temporary file.
bool SpoolStandardInput(OwnedDescriptor& spool, std::string& error) {
    WString directory;
    FileHandle handle = INVALID_FILE_HANDLE;
    if (GetTempDirectory(directory) != 0 || CreateUnnamedTempFile(directory, u"kit", handle) != 0) {
        error = "cannot make a temporary file in " + ToMultiByteString(directory) + " for the kit on standard input: " +
                std::strerror(GetPlatformErrno() != 0 ? GetPlatformErrno() : EIO);
        return false;
    }
    spool.Reset(DescriptorOf(handle));
    std::string buffer(1 << 20, '\0');
    for (;;) {
        uint32_t count = 0;
        if (ReadFileHandle(kStandardInput, buffer.data(), static_cast<uint32_t>(buffer.size()), &count, nullptr) != 0) {
            error = std::string("cannot read standard input: ") + std::strerror(GetPlatformErrno());
            return false;
        }
        if (count == 0) return true;
        if (const int failed = WriteOpenFile(spool.Get(), buffer.substr(0, count)); failed != 0) {
            error = std::string("cannot keep the kit read from standard input: ") + std::strerror(failed);
            return false;
        }
    }
}

// Shows the kit's bytes, as the reader takes them, on a progress line.
class ProgressObserver : public KitInputObserver {
public:
    ProgressObserver(std::ostream& out, uint64_t kitBytes) : line_(out, 0, kitBytes) { line_.CountBytesOnly(); }
    uint8_t* Buffer(uint32_t size) override {
        buffer_.resize(size);
        return buffer_.data();
    }
    void Observe(uint32_t size) override {
        read_ += size;
        line_.Update(0, read_);
    }

private:
    ProgressLine line_;
    std::vector<uint8_t> buffer_;
    uint64_t read_ = 0;
};

uint32_t ReadWithProgress(std::unique_ptr<DistributionKit>& kit, const std::string& path, std::ostream* progress) {
    if (progress == nullptr) return ReadKit(kit, FromMultiByte(path));
    EntryDetails details;
    const uint64_t size = DescribeEntry(path, LinkHandling::Follow, details) == 0 ? details.size : 0;
    ProgressObserver observer(*progress, size);
    return ReadKit(kit, FromMultiByte(path), &observer);
}

}  // namespace

bool CheckKitFile(const std::string& path, std::string& error) {
    if (IsStandardStream(path)) return true;
    EntryDetails details;
    if (const int failed = DescribeEntry(path, LinkHandling::Follow, details); failed != 0) {
        error = "cannot open " + path + ": " + std::strerror(failed);
        return false;
    }
    if (details.kind == EntryKind::Directory) {
        error = "cannot read kit " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    return true;
}

std::string ShownKit(const std::string& operand) {
    return IsStandardStream(operand) ? std::string("standard input") : operand;
}

std::string KitReadFailure(const std::string& operand, uint32_t code, const DistributionKit* kit) {
    const std::string prefix = "cannot read kit " + ShownKit(operand) + ": ";
    switch (code) {
        case ERR_INVALID_DATA: {
            const std::string damage = CheckDamage(kit);
            return prefix + (damage.empty() ? "not a kit, or a damaged one (its records do not read)"
                                            : "damaged" + damage);
        }
        case ERR_TEMP_NOT_CREATED:
            return prefix + "cannot make the temporary file to unpack it into (TMPDIR)";
        case ERR_NOT_FOUND:
            return prefix + std::strerror(ENOENT);
        default: {
            const int errnoValue = GetPlatformErrno();
            return prefix + (errnoValue != 0 ? std::strerror(errnoValue) : "the system refused to read it");
        }
    }
}

bool ReadKitInput(const std::string& operand, std::unique_ptr<DistributionKit>& kit, std::string& error,
                  std::ostream* progress) {
    OwnedDescriptor spool;
    std::string path = operand;
    if (IsStandardStream(operand)) {
        if (!SpoolStandardInput(spool, error)) return false;
        path = "/proc/self/fd/" + std::to_string(spool.Get());
    } else if (!CheckKitFile(operand, error)) {
        return false;
    }
    ClearPlatformError();
    const uint32_t code = ReadWithProgress(kit, path, progress);
    if (code == 0) return true;
    error = KitReadFailure(operand, code, kit.get());
    return false;
}

}  // namespace vxk5
