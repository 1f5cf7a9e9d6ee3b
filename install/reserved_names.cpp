#include "install/reserved_names.h"

#include "install/kept_generation.h"
#include "install/staging.h"

namespace vxk5 {

namespace {

// The digits at the start of `text`: how many.
size_t DigitsAt(std::string_view text) {
    size_t count = 0;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9') ++count;
    return count;
}

}  // namespace

bool IsReservedName(std::string_view component) {
    if (IsKeptName(std::string(component))) return true;  // the kept originals' directory
    const std::string_view prefix(kStagingPrefix);
    if (component.substr(0, prefix.size()) != prefix) return false;
    std::string_view rest = component.substr(prefix.size());
    const size_t number = DigitsAt(rest);
    if (number == 0) return false;
    rest.remove_prefix(number);
    if (rest.empty() || rest[0] == '-') return true;  // a staging directory's name
    if (rest[0] != '.') return false;
    rest.remove_prefix(1);
    return !rest.empty() && DigitsAt(rest) == rest.size();  // a working name
}

bool HasReservedComponent(std::string_view relative) {
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string_view::npos) end = relative.size();
        if (IsReservedName(relative.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace vxk5
