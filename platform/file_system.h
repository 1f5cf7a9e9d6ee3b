#pragma once
// File-system commands and queries on WString paths. Results: ERR_SUCCESS,
// 1 (GetFileSizeByPath only), ERR_NOT_FOUND, ERR_INVALID_PARAMETER,
// ERR_TEMP_NOT_CREATED. The last error of the handle interface is untouched.
// Paths never pass through a shell: where a utility is needed it is started
// with an argument vector.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "platform/file_handle.h"

namespace vxk5 {

// TMPDIR when it names a directory, else "/tmp"; always ends in "/". Returns ERR_SUCCESS.
[[nodiscard]] uint32_t GetTempDirectory(WString& directory);
// Creates a new empty file named directory/prefix + a unique suffix (directory
// chosen as tempnam does). ERR_SUCCESS with the path, or ERR_TEMP_NOT_CREATED.
[[nodiscard]] uint32_t CreateTempFile(const WString& directory, const WString& prefix, WString& path);
// Opens a new, empty, unnamed file for reading and writing in the directory
// CreateTempFile would choose (O_TMPFILE), so that nothing is left behind
// however the process ends. Where the file system has no unnamed files, a
// named file is made as CreateTempFile makes it and unlinked at once.
// ERR_SUCCESS with `handle` set (the caller closes it), or ERR_TEMP_NOT_CREATED.
[[nodiscard]] uint32_t CreateUnnamedTempFile(const WString& directory, const WString& prefix, FileHandle& handle);
// Tests: false makes CreateUnnamedTempFile take its named-file way.
void AllowUnnamedTempFiles(bool allowed);
// Whether a file can be made in `directory` itself: a new file named prefix +
// a random suffix is created there exclusively and removed again. There is no
// fallback to another directory, so a missing directory, a file, or a
// directory that cannot take a new file gives false.
[[nodiscard]] bool CanCreateFileIn(const WString& directory, const WString& prefix);
// Whether CanCreateFileIn would succeed, asked without making anything: the
// directory exists, is a directory, and this process may add entries to it.
[[nodiscard]] bool CouldCreateFileIn(const WString& directory);
// mkdir -p: ERR_SUCCESS (also for an existing directory), ERR_NOT_FOUND when
// it cannot be made, ERR_INVALID_PARAMETER when the utility cannot be started.
[[nodiscard]] uint32_t CreateDirectoryTree(const WString& path);
// rm -rf / rm -f; always ERR_SUCCESS.
[[nodiscard]] uint32_t RemoveTree(const WString& path);
[[nodiscard]] uint32_t RemoveFile(const WString& path);
// mv: ERR_SUCCESS moved, ERR_NOT_FOUND nothing to move or the move failed,
// ERR_INVALID_PARAMETER utility not started.
[[nodiscard]] uint32_t MovePath(const WString& source, const WString& target);
// ERR_SUCCESS and the size's low 32 bits, or 1.
[[nodiscard]] uint32_t GetFileSizeByPath(const WString& path, uint32_t* size);
// The whole size in 64 bits: ERR_SUCCESS, or 1 when the path cannot be examined.
[[nodiscard]] uint32_t GetFileSize64ByPath(const WString& path, uint64_t* size);
// Free bytes of the temporary directory's file system, a 64-bit count (those
// kept for the superuser included), 0 when unknown. The result is
// ERR_SUCCESS, or ERR_INVALID_PARAMETER only when `bytes` is absent.
[[nodiscard]] uint32_t GetTempFreeSpace(uint64_t* bytes);
// Free bytes of the file system that holds `path` (which exists), counted as
// GetTempFreeSpace counts them. 0 with `bytes` set, or the errno of a path
// that cannot be examined (`bytes` then 0).
[[nodiscard]] int GetFreeSpaceAt(const std::string& path, uint64_t& bytes);
// The home directory without a trailing slash, empty when unknown.
WString GetHomeDirectory();

struct StdioCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;
// Opens an existing regular file for reading. The open cannot block: it is
// made with O_NONBLOCK and the file examined with fstat before any read, so a
// FIFO or device at the path is refused. ERR_SUCCESS with `file` set;
// ERR_NOT_FOUND when nothing is at the path; ERR_INVALID_PARAMETER when the
// path does not convert whole, the
// file cannot be opened, or it is not a regular file.
[[nodiscard]] uint32_t OpenRegularFile(const WString& path, StdioFile& file);
// Whether `path` names a regular file (links followed); stat only, no open.
bool IsRegularFile(const WString& path);
// fopen of the two zero-terminated texts; null when it fails.
StdioFile OpenStdioFile(const char16_t* path, const char16_t* mode);

}  // namespace vxk5
