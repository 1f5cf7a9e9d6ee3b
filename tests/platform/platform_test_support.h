#pragma once
// Small helpers shared by the platform tests.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"
#include "tests/support/scoped_env.h"

using namespace vxk5;

inline struct stat StatOf(const std::string& path) {
    struct stat status {};
    (void)::stat(path.c_str(), &status);
    return status;
}
