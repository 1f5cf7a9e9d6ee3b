#pragma once
// What a failed installation can tell the user beyond "it failed": the file
// or directory concerned and the system's reason.

#include "base/wstring.h"

namespace vxk5 {

struct FailureDetail {
    AString path;   // as the job used it; empty when unknown
    int error = 0;  // errno; 0 when unknown
};

// "path: reason", the reason worded by the C library in the user's locale,
// for example "/home/ann/tmplts/README.de.txt: No space left on device".
// Either half alone when only it is known; empty when nothing is.
WString DescribeFailure(const FailureDetail& detail);

}  // namespace vxk5
