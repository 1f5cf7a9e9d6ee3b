#include "install/extract.h"

#include <algorithm>
#include <string>

#include "kit/distribution_kit.h"
#include "base/conversion.h"
#include "platform/fault_injection.h"
#include "platform/file_handle.h"
#include "platform/platform_error.h"

namespace {

bool IsSeparator(char16_t unit) { return unit == u'/' || unit == u'\\'; }
bool IsAsciiLetter(char16_t unit) { return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z'); }

// The last error of the call that just failed; `fallback` should it say nothing.
uint32_t LastErrorOr(uint32_t fallback) {
    const uint32_t code = GetPlatformError();
    return code != ERR_SUCCESS ? code : fallback;
}

}  // namespace

bool IsSafeEntryName(const WString& name) {
    const size_t length = name.length();
    if (length == 0 || IsSeparator(name[0])) return false;
    if (length >= 2 && name[1] == u':' && IsAsciiLetter(name[0])) return false;
    size_t start = 0;  // start of the current component
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && name[i] == 0) return false;  // the path would end here
        if (i < length && !IsSeparator(name[i])) continue;
        const size_t size = i - start;
        const bool dotDot = size == 2 && name[start] == u'.' && name[start + 1] == u'.';
        if (dotDot) return false;
        if (i == length) {
            // The last component names the file: not empty, not ".".
            if (size == 0 || (size == 1 && name[start] == u'.')) return false;
        }
        start = i + 1;
    }
    return true;
}

uint32_t ExtractEntry(DistributionKit& kit, size_t index, const WString& destination, int* error) {
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
    if (const uint32_t code =
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
