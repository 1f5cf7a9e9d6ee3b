#pragma once
// Environment variables the installer sets for its own libraries only (GTK
// reads the language of its message catalogues from LANGUAGE). Programs the
// installer starts get these variables as the installer itself received them.

#include <string>
#include <vector>

namespace vxk5 {

// Sets `name` to `value` in this process and remembers what it inherited.
// Call before any thread exists. False when the variable cannot be set.
bool SetOwnVariable(const char* name, const char* value);

// The environment for a program the installer starts: this process's own
// environment with every variable set by SetOwnVariable as it was inherited
// (removed when it was not inherited). Built from the environment at the time
// of construction.
class ChildEnvironment {
public:
    ChildEnvironment();
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

    // A null-terminated vector for execve and posix_spawn; lives as long as the object.
    char* const* get() const { return entries_.data(); }

private:
    std::vector<std::string> restored_;
    std::vector<char*> entries_;
};

}  // namespace vxk5
