#include "install/extract.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "kit/distribution_kit.h"
#include "base/conversion.h"
#include "kit/entry_names.h"
#include "platform/fault_injection.h"
#include "platform/file_handle.h"
#include "platform/platform_error.h"

namespace {

// The last error of the call that just failed; `fallback` should it say nothing.
uint32_t LastErrorOr(uint32_t fallback) {
    const uint32_t code = GetPlatformError();
    return code != ERR_SUCCESS ? code : fallback;
}

}  // namespace

bool IsSafeEntryName(const WString& name) { return CheckEntryName(name) == ENTRY_NAME_OK; }

uint32_t ExtractEntry(DistributionKit& kit, size_t index, const WString& destination, int* error, int directory) {
    int ignored = 0;
    int& failure = error != nullptr ? *error : ignored;
    failure = 0;
    if (index >= kit.entries.size() || !kit.buffer || kit.bufferSize == 0) return ERR_INVALID_PARAMETER;
    const KitFileEntry& entry = kit.entries[index];
    const AString bytes = ToMultiByte(destination);
    const std::string path(bytes.c_str(), bytes.length());

    // The errno of a failed platform call, or one a test injects.
    auto failed = [&failure](uint32_t code) {
        failure = GetPlatformErrno();
        return LastErrorOr(code);
    };
    auto injected = [&failure](int value) {
        failure = value;
        return CodeFromErrno(value);
    };

    if (const int fault = InjectedFault(FaultStep::CreateFile, path); fault != 0) return injected(fault);
    FileHandle opened = INVALID_FILE_HANDLE;
    if (directory >= 0) {
        const std::string name = path.substr(path.rfind('/') + 1);
        const int fd = ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660);
        if (fd < 0) {
            failure = errno;
            return CodeFromErrno(failure);
        }
        opened = fd;
    } else if (const uint32_t code =
                   CreateFileHandle(destination, FILE_ACCESS_WRITE, 0, FILE_CREATE, opened,
                                    FILE_ATTR_NORMAL | FILE_FLAG_NEW_FILE);
               code != ERR_SUCCESS) {
        return failed(code);
    }
    ScopedFileHandle output(opened);

    // The container is repositioned for every entry: entries lie in any order.
    const int64_t position = SeekFileHandle(kit.tempHandle, entry.offset, FILE_FROM_START);
    if (static_cast<uint32_t>(position) == 0xFFFFFFFFu) {
        // Such a position is also reached honestly in a container of 4 GiB.
        if (const uint32_t code = GetPlatformError(); code != ERR_SUCCESS) return failed(code);
    }

    // Each read asks for what the entry still needs, up to the whole buffer:
    // asking for the full buffer for a small entry would read on into the
    // following entries' bytes for nothing.
    uint8_t* const buffer = kit.buffer.get();
    uint32_t remaining = entry.size;
    while (remaining > 0) {
        const uint32_t wanted = std::min(remaining, kit.bufferSize);
        uint32_t got = 0;
        if (const uint32_t code = ReadFileHandle(kit.tempHandle, buffer, wanted, &got, nullptr);
            code != ERR_SUCCESS) {
            return failed(code);
        }
        if (got == 0) return ERR_INVALID_DATA;  // the entry runs past the end of the container
        got = std::min(got, remaining);
        remaining -= got;
        if (const int fault = InjectedFault(FaultStep::Write, path); fault != 0) return injected(fault);
        uint32_t written = 0;
        if (const uint32_t code = WriteFileHandle(output.Get(), buffer, got, &written, nullptr);
            code != ERR_SUCCESS) {
            return failed(code);
        }
    }

    // The file is new, so nothing lies beyond what was written: no truncation.
    // A time that is not set would make the next run take a wrong decision
    // about this file for good, so it is checked like the bytes.
    if (const int fault = InjectedFault(FaultStep::SetTimes, path); fault != 0) return injected(fault);
    const FileTime time{entry.timeLow, entry.timeHigh};
    if (const uint32_t code = SetFileHandleTimes(output.Get(), &time, &time, &time); code != ERR_SUCCESS) {
        return failed(code);
    }
    // A close can report a write the file system could not complete.
    const int closeFault = InjectedFault(FaultStep::Close, path);
    if (const uint32_t code = CloseFileHandle(output.Release()); code != ERR_SUCCESS) return failed(code);
    if (closeFault != 0) return injected(closeFault);
    return ERR_SUCCESS;
}
