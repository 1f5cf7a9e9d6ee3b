#include "tools/arguments.h"

namespace vxk5 {

bool ArgumentScanner::Next() {
    for (;;) {
        if (next_ >= argc_) return false;
        const std::string argument = argv_[next_++];
        attached_ = false;
        attachedValue_.clear();
        if (!optionsEnded_ && argument == "--") {
            optionsEnded_ = true;
            continue;
        }
        option_ = !optionsEnded_ && argument.size() > 1 && argument[0] == '-';
        text_ = argument;
        if (option_ && argument.compare(0, 2, "--") == 0) {
            if (const size_t equals = argument.find('='); equals != std::string::npos) {
                text_ = argument.substr(0, equals);
                attachedValue_ = argument.substr(equals + 1);
                attached_ = true;
            }
        } else if (option_ && argument.size() > 2) {  // "-sFILE"
            text_ = argument.substr(0, 2);
            attachedValue_ = argument.substr(2);
            attached_ = true;
        }
        return true;
    }
}

bool ArgumentScanner::TakeValue(std::string& value, std::string& error) {
    if (attached_) {
        value = attachedValue_;
        return true;
    }
    if (next_ >= argc_) {
        error = "option " + text_ + " needs a value";
        return false;
    }
    value = argv_[next_++];
    return true;
}

bool ArgumentScanner::NoValue(std::string& error) const {
    if (!attached_) return true;
    error = "option " + text_ + " takes no value";
    return false;
}

}  // namespace vxk5
