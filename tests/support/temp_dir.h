#pragma once
// Test helpers: a private temporary directory removed with everything in it,
// and small whole-file utilities.

#include <string>

class TempDir {
public:
    TempDir();  // under $TMPDIR when set, else /tmp
    explicit TempDir(const std::string& parent);  // under `parent`, e.g. another file system
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string path(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);  // empty when missing
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
void MakeDirectories(const std::string& path);  // like mkdir -p
void RemoveAll(const std::string& path);
