#include "platform/process_environment.h"

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace vxk5 {

namespace {

struct OwnVariable {
    std::string name;
    bool inherited;
    std::string inheritedValue;
};

// Written only before threads exist, read afterwards.
std::vector<OwnVariable>& OwnVariables() {
    static std::vector<OwnVariable> variables;
    return variables;
}

// Whether the environment entry "NAME=value" is one of the own variables.
bool IsOwn(const char* entry) {
    const char* equals = std::strchr(entry, '=');
    if (equals == nullptr) return false;
    const size_t length = static_cast<size_t>(equals - entry);
    for (const OwnVariable& variable : OwnVariables()) {
        if (variable.name.length() == length && std::memcmp(variable.name.data(), entry, length) == 0) return true;
    }
    return false;
}

}  // namespace

bool SetOwnVariable(const char* name, const char* value) {
    bool known = false;
    for (const OwnVariable& variable : OwnVariables()) known = known || variable.name == name;
    if (!known) {
        const char* inherited = std::getenv(name);
        OwnVariables().push_back({name, inherited != nullptr, inherited != nullptr ? inherited : ""});
    }
    return setenv(name, value, 1) == 0;
}

ChildEnvironment::ChildEnvironment() {
    for (const OwnVariable& variable : OwnVariables()) {
        if (variable.inherited) restored_.push_back(variable.name + "=" + variable.inheritedValue);
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (!IsOwn(*entry)) entries_.push_back(*entry);
    }
    for (std::string& entry : restored_) entries_.push_back(entry.data());
    entries_.push_back(nullptr);
}

}  // namespace vxk5
