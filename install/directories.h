#pragma once
// Making and removing directories for the installation job.

#include <cstdint>
#include <string>

#include "base/wstring.h"
#include "install/install_job.h"

namespace vxk5 {

// Makes a missing directory and every missing directory above it, down from
// the first one that exists (for a relative path, the current directory at
// the latest). Each is journalled before it is made and appended to the last
// record's created directories, parents first (the path itself as given, a
// final "/" included). An existing directory costs one stat and is not
// recorded. 0; 3 for a path after a drive designator ("C:/..."); 2 when a
// directory cannot be made (the failure detail has the path and errno).
[[nodiscard]] uint32_t EnsureDirectory(InstallJob& job, const WString& path);
[[nodiscard]] uint32_t EnsureDirectoryBytes(InstallJob& job, const std::string& path, const WString& asGiven);

// The descriptor of the directory `relative` below the template directory
// ("" for the template directory itself, "a/b" without a final "/"), each
// component opened from its parent without following a link, and kept for
// the rest of the job. A missing component gives 0 with `directory` -1, or,
// with `make`, is made with mkdirat inside its verified parent, journalled as
// EnsureDirectory does. 0, or a code with the failure detail set (a link in
// the way is ELOOP, a file ENOTDIR).
[[nodiscard]] uint32_t OpenDestinationDirectory(InstallJob& job, const std::string& relative, bool make,
                                                int& directory);

// Deletes `directory` with everything in it, never following a link found
// inside (a link is removed as a link). Always 0.
uint32_t PurgeDirectory(InstallJob& job, const WString& directory);

}  // namespace vxk5
