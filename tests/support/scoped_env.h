#pragma once
// Environment variables for the life of a test object. Each puts back what was
// there before, set or not, so a test leaves the process environment as it
// found it even when it changes the same variable again in between.

#include <optional>
#include <string>

// Sets `name` to `value`, or unsets it when `value` is nullopt.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) const;

    std::string name_;
    std::optional<std::string> old_;
};

// Points a variable that names a directory (HOME, TMPDIR) at `directory`,
// which is made first, with its parents: what the code under test writes
// there stays inside the test's scratch root.
class RedirectedDirectory {
public:
    RedirectedDirectory(const char* name, const std::string& directory);

    const std::string& path() const { return path_; }

private:
    std::string path_;
    ScopedEnv variable_;
};
