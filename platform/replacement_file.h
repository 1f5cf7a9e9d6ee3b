#pragma once
// A file's new content, written beside the file and put in its place by one
// rename, so the file holds either its old or its complete new content, never a
// part. The replacement takes the old file's permission bits (and, where
// allowed, its owner); a new file gets 0666 less the umask, as fopen gives.
// Symbolic links are followed: the final target is replaced, the link stays.

#include <cstdio>

#include "base/wstring.h"
#include "platform/file_system.h"

namespace vxk5 {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile();  // removes the temporary file unless committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file in the directory of `path`'s final target.
    [[nodiscard]] bool Create(const AString& path);
    // The temporary file's stream; valid between Create and Commit.
    std::FILE* stream() const { return stream_.get(); }
    // Flushes the content to the disk and renames the temporary file over the
    // target. On failure the target is unchanged and the temporary file goes.
    [[nodiscard]] bool Commit();

private:
    void Discard();

    AString target_;
    AString temporary_;
    StdioFile stream_;
};

}  // namespace vxk5
