#pragma once
// File-system commands and queries on WString paths. Results: 0 success,
// 1 (GetFileSizeByPath only), 2 ERR_NOT_FOUND, 87 ERR_INVALID_PARAMETER,
// 1013 ERR_TEMP_NOT_CREATED. The last error of the handle interface is untouched.
// Paths never pass through a shell: where a utility is needed it is started
// with an argument vector.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/result_codes.h"
#include "base/wstring.h"

// TMPDIR when it names a directory, else "/tmp"; always ends in "/". Returns 0.
uint32_t GetTempDirectory(WString& directory);
// Creates a new empty file named directory/prefix + a unique suffix (directory
// chosen as tempnam does). 0 with the path, or 1013.
[[nodiscard]] uint32_t CreateTempFile(const WString& directory, const WString& prefix, WString& path);
// Whether CreateTempFile would find a directory to make its file in, asked
// without making one.
bool CanCreateTempFileIn(const WString& directory);
// mkdir -p: 0 (also for an existing directory), 2 when it cannot be made, 87
// when the utility cannot be started.
[[nodiscard]] uint32_t CreateDirectoryTree(const WString& path);
// rm -rf / rm -f; always 0.
uint32_t RemoveTree(const WString& path);
uint32_t RemoveFile(const WString& path);
// mv: 0 moved, 2 nothing to move or the move failed, 87 utility not started.
[[nodiscard]] uint32_t MovePath(const WString& source, const WString& target);
// 0 and the size's low 32 bits, or 1.
[[nodiscard]] uint32_t GetFileSizeByPath(const WString& path, uint32_t* size);
// Free bytes of the temporary directory's file system, saturating at
// 4294967295, 0 when unknown. 87 only when `bytes` is absent.
uint32_t GetTempFreeSpace(uint32_t* bytes);
// The home directory without a trailing slash, empty when unknown.
WString GetHomeDirectory();

struct StdioCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;
// fopen of the two zero-terminated texts; null when it fails.
StdioFile OpenStdioFile(const char16_t* path, const char16_t* mode);
