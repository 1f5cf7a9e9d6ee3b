#include "install/extract.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "kit/distribution_kit.h"
#include "kit/kit_reader.h"
#include "base/conversion.h"
#include "base/file_time_units.h"
#include "kit/entry_names.h"
#include "kit/entry_stream.h"
#include "platform/fault_injection.h"
#include "platform/file_handle.h"
#include "platform/open_file.h"
#include "platform/owned_descriptor.h"
#include "platform/platform_error.h"

namespace vxk5 {

namespace {

// The failure of a platform call on `path` that just failed with `code`: the
// last error it stored (`code` should it say nothing) and its errno value.
Failure PlatformFailure(uint32_t code, const std::string& path) {
    const uint32_t last = GetPlatformError();
    return FailureOf(last != ERR_SUCCESS ? last : code, GetPlatformErrno(), path);
}

KernelCopyFunction g_kernelCopy = CopyInKernel;

// The kernel cannot copy between these two files (two file systems, a file
// system or a kernel without the operation): the bytes go through the buffer.
bool KernelCopyRefused(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Writes the bytes of entry `index` that the kit's data area, inflated
// straight into the files, hands over (none for a kit whose container holds
// them all) into `output`, after those written from the container.
// Succeeded(); ERR_INVALID_DATA (errno 0) when the stream is damaged or ends
// before them, and the kit is then damaged; ERR_DISK_FULL for the kit's
// unpacking out of room (no path: it is not the template's); or the write's
// code and errno.
Failure CopyStreamedBytes(DistributionKit& kit, size_t index, int output, const std::string& path) {
    Failure writeFailure = Succeeded();
    const uint32_t code = DeliverEntryBytes(kit, index, [&](const uint8_t* bytes, uint32_t size) {
        if (const int fault = InjectedFault(FaultStep::Write, path); fault != 0) {
            writeFailure = FailureFromErrno(fault, path);
            return writeFailure.code;
        }
        uint32_t written = 0;
        if (const uint32_t failed = WriteFileHandle(output, bytes, size, &written, nullptr); failed != ERR_SUCCESS) {
            writeFailure = PlatformFailure(failed, path);
            return writeFailure.code;
        }
        return ERR_SUCCESS;
    });
    if (writeFailure.Failed()) return writeFailure;
    if (code == ERR_DISK_FULL) return FailureOf(code, ENOSPC);
    if (code != ERR_SUCCESS) return FailureOf(code, 0, path);
    return Succeeded();
}

// Copies `entry`'s bytes from the container into `output`, a new file that is
// still empty: inside the kernel while it copies, then through the kit's
// buffer (or `buffer`, of the same size), always at explicit container
// offsets (the container's own position is neither used nor moved).
// Succeeded(), ERR_INVALID_DATA when the entry runs past the end of the
// container, or the failed call's code and errno.
Failure CopyEntryBytes(DistributionKit& kit, size_t index, int output, const std::string& path, uint8_t* buffer) {
    const KitFileEntry& entry = kit.Entries()[index];
    auto failedWith = [&path](int error) { return FailureFromErrno(error, path); };
    const int container = DescriptorOf(kit.Container());
    int64_t position = entry.offset;
    // The bytes the container holds; while the data area is inflated into
    // the files, those past its head come from the stream (below).
    uint32_t remaining = EntryBytesInContainer(kit, index);

    // Both ways move at most a buffer's worth per call, so that every step
    // of a long entry is as short and as checked as the last.
    while (remaining > 0 && kit.CopyInKernel()) {
        if (const int fault = InjectedFault(FaultStep::Write, path); fault != 0) return failedWith(fault);
        const int64_t copied = g_kernelCopy(container, &position, output, std::min(remaining, kit.CopyBufferSize()));
        if (copied > 0) {
            // A short count is no failure: the rest follows in the next call.
            remaining -= static_cast<uint32_t>(std::min<int64_t>(copied, remaining));
            continue;
        }
        if (copied == 0) break;  // the container's end, or a file system that copies nothing: the reads decide
        if (errno == EINTR) continue;
        if (!KernelCopyRefused(errno)) return failedWith(errno);
        kit.StopCopyInKernel();
    }

    // Each read asks for what the entry still needs, up to the whole buffer:
    // asking for the full buffer for a small entry would read on into the
    // following entries' bytes for nothing.
    if (buffer == nullptr) buffer = kit.CopyBuffer();
    while (remaining > 0) {
        const size_t wanted = std::min(remaining, kit.CopyBufferSize());
        const int64_t got = ReadOpenFileAt(container, buffer, wanted, position);
        if (got < 0) {
            if (errno == EINTR) continue;
            return failedWith(errno);
        }
        if (got == 0) return FailureOf(ERR_INVALID_DATA, 0, path);  // the entry runs past the end of the container
        const uint32_t count = static_cast<uint32_t>(got);
        if (const int fault = InjectedFault(FaultStep::Write, path); fault != 0) return failedWith(fault);
        uint32_t written = 0;
        if (const uint32_t code = WriteFileHandle(output, buffer, count, &written, nullptr); code != ERR_SUCCESS) {
            return PlatformFailure(code, path);
        }
        position += got;
        remaining -= count;
    }
    return CopyStreamedBytes(kit, index, output, path);
}

}  // namespace

void SetKernelCopyFunction(KernelCopyFunction copy) { g_kernelCopy = copy != nullptr ? copy : CopyInKernel; }

Failure ExtractEntry(DistributionKit& kit, size_t index, const WString& destination, int directory) {
    const std::string path = ToMultiByteString(destination);
    if (directory >= 0) return ExtractEntryAt(kit, index, directory, path.substr(path.rfind('/') + 1), path);
    return ExtractEntryAt(kit, index, kCurrentDirectoryDescriptor, path, path);
}

Failure ExtractEntryAt(DistributionKit& kit, size_t index, int directory, const std::string& name,
                       const std::string& path, EntryIdentity* identity, bool sync, bool exactTime,
                       uint8_t* buffer) {
    if (index >= kit.Entries().size() || !kit.CopyBuffer() || kit.CopyBufferSize() == 0) {
        return FailureOf(ERR_INVALID_PARAMETER, 0, path);
    }
    // Bytes given back once their entry was copied are not there to copy again.
    if (index < kit.ReleasedEntries()) return FailureOf(ERR_INVALID_PARAMETER, 0, path);
    const KitFileEntry& entry = kit.Entries()[index];

    // A failed platform call (its last error and errno), a system call's
    // errno, or one a test injects.
    auto failed = [&path](uint32_t code) { return PlatformFailure(code, path); };
    auto systemFailure = [&path](int value) { return FailureFromErrno(value, path); };

    if (kit.Container() == INVALID_FILE_HANDLE) return FailureOf(ERR_INVALID_HANDLE, 0, path);
    // A kit read file table first has its data area unpacked now, or, while
    // it is being unpacked, as far as this entry's bytes. A container that
    // ran out of room says so, without a path: it is not the template's.
    if (const uint32_t code = WaitForEntryBytes(kit, index); code != 0) {
        return code == ERR_DISK_FULL ? FailureOf(code, ENOSPC) : FailureOf(code, 0, path);
    }
    if (const int fault = InjectedFault(FaultStep::CreateFile, path); fault != 0) return systemFailure(fault);
    OwnedDescriptor output;
    if (const int error = CreateNewFileAt(directory, name, 0660, output).error; error != 0) {
        return systemFailure(error);
    }
    if (identity != nullptr) {
        if (const int status = IdentityOf(output.Get(), *identity).error; status != 0) return systemFailure(status);
    }

    if (Failure copied = CopyEntryBytes(kit, index, static_cast<int>(output.Get()), path, buffer);
        copied.Failed()) {
        return copied;
    }

    // The file is new, so nothing lies beyond what was written: no truncation.
    // A time that is not set would make the next run take a wrong decision
    // about this file for good, so it is checked like the bytes.
    if (const int fault = InjectedFault(FaultStep::SetTimes, path); fault != 0) return systemFailure(fault);
    const FileTime time{entry.timeLow, entry.timeHigh};
    if (exactTime) {
        const uint64_t ticks = time.Ticks();
        const FileTime whole = FileTime::FromTicks(ticks - ticks % kFileTimeTicksPerSecond);
        if (const int error = SetOpenFileTimes(output.Get(), static_cast<int64_t>(FileTimeToUnixTime(whole)),
                                               static_cast<int64_t>((ticks % kFileTimeTicksPerSecond) * 100));
            error != 0) {
            return systemFailure(error);
        }
    } else if (const uint32_t code = SetFileHandleTimes(output.Get(), &time, &time, &time); code != ERR_SUCCESS) {
        return failed(code);
    }
    if (sync) {
        if (const int error = SyncOpenFile(output.Get()); error != 0) return systemFailure(error);
    }
    // A close can report a write the file system could not complete.
    const int closeFault = InjectedFault(FaultStep::Close, path);
    if (const uint32_t code = CloseFileHandle(output.Release()); code != ERR_SUCCESS) return failed(code);
    if (closeFault != 0) return systemFailure(closeFault);
    return Succeeded();
}

}  // namespace vxk5
