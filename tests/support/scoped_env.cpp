#include "tests/support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = std::string(old);
    Apply(value);
}

ScopedEnv::~ScopedEnv() { Apply(old_); }

void ScopedEnv::Apply(const std::optional<std::string>& value) const {
    if (value) {
        EXPECT_EQ(setenv(name_.c_str(), value->c_str(), 1), 0) << name_;
    } else {
        EXPECT_EQ(unsetenv(name_.c_str()), 0) << name_;
    }
}

namespace {

const std::string& Made(const std::string& directory) {
    MakeDirectories(directory);
    return directory;
}

}  // namespace

RedirectedDirectory::RedirectedDirectory(const char* name, const std::string& directory)
    : path_(Made(directory)), variable_(name, path_) {}
