#pragma once
// A small tmpfs mounted for a test's life, to run out of space on purpose.
// Mounting needs root (the tests run as root in CI); a test skips when the
// mount fails. The mount is detached lazily, so an open file does not keep it.

#include <sys/mount.h>

#include <string>

#include "tests/support/temp_dir.h"

class TinyTmpfs {
public:
    TinyTmpfs(const std::string& path, const std::string& size) : path_(path) {
        MakeDirectories(path);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TinyTmpfs() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    TinyTmpfs(const TinyTmpfs&) = delete;
    TinyTmpfs& operator=(const TinyTmpfs&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_;
};
