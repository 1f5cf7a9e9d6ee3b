#pragma once
// Making and removing directories for the installation job.

#include <cstdint>

#include "base/wstring.h"
#include "install/install_job.h"

// Makes a missing directory and its missing parents, appending each directory
// it makes to the last record's created directories, parents first. An
// existing directory costs one stat and is not recorded. 0; 3 when no parent
// can be derived (no "/" left, or a drive designator "C:/"); 2 or 87 from
// CreateDirectoryTree.
[[nodiscard]] uint32_t EnsureDirectory(InstallJob& job, const WString& path);

// Makes a directory and its missing parents without recording anything (the
// backup tree). 0, 3 as above, or the code of CreateDirectoryTree.
[[nodiscard]] uint32_t EnsureDirectoryUnrecorded(const WString& path);

// Deletes `directory` with everything in it. A symbolic link found inside is
// removed as a link; what it points to is left alone. Always 0.
uint32_t PurgeDirectory(InstallJob& job, const WString& directory);
