#pragma once
// Small helpers shared by the platform tests.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"

using namespace vxk5;

// Sets (or unsets, with nullopt) an environment variable and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = std::string(old);
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

inline struct stat StatOf(const std::string& path) {
    struct stat status {};
    (void)::stat(path.c_str(), &status);
    return status;
}
