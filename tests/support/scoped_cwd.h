#pragma once
// A test's current directory, changed for the life of the object.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& directory) {
        char* old = getcwd(nullptr, 0);
        if (old != nullptr) old_ = old;
        std::free(old);
        EXPECT_EQ(chdir(directory.c_str()), 0) << directory;
    }
    ~ScopedCwd() { EXPECT_EQ(chdir(old_.c_str()), 0) << old_; }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string old_;
};
