#pragma once
// The copying progress on standard error, for a silent run without a display:
// a live percentage on a terminal, otherwise one line for every further 10 %.

#include <cstdint>
#include <cstdio>

#include "base/wstring.h"

namespace vxk5 {

class ConsoleProgress {
public:
    explicit ConsoleProgress(std::FILE* stream);
    void Update(uint32_t percent);
    // Ends the live line, if one is open.
    void Finish();

private:
    std::FILE* stream_;
    bool live_;
    bool lineOpen_ = false;
    int64_t shown_ = -1;  // the last percentage (live) or tenth (lines) written
    AString startText_;
    AString finishText_;
};

}  // namespace vxk5
