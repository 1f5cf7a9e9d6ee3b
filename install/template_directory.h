#pragma once
// The template directory made when missing, before a transaction's journal
// exists (the journal lives beside or inside it).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_error.h"

namespace vxk5 {

// Makes the template directory `path` (absolute) when it is missing, and every
// missing directory above it, down from the first one that exists. Each one
// made is appended to `made`, parents first. ERR_SUCCESS, or ERR_NOT_FOUND
// (ERR_PATH_NOT_FOUND for a path with no parent to make) with `failure` set,
// unless set already, when a directory cannot be made.
[[nodiscard]] uint32_t MakeTemplateDirectory(const std::string& path, std::vector<std::string>& made,
                                             Failure& failure);

// The real paths of the directories `made` on the way to the template
// directory `given`, whose real path is `real`: the last components of the
// given path are the last components of the real one, as none of them is a
// link (they were just made).
std::vector<std::string> RealPathsOfMade(const std::string& given, const std::string& real,
                                         const std::vector<std::string>& made);

}  // namespace vxk5
