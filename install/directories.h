#pragma once
// Making and opening directories for the installation job.

#include <cstdint>
#include <string>

#include "install/install_job.h"

namespace vxk5 {

// Makes the template directory `path` (absolute) when it is missing, and every
// missing directory above it, down from the first one that exists. These are
// made before the journal exists (it lives beside or inside the template
// directory); each is noted in the last record's madeAbove, parents first, and
// journalled once the journal is there. ERR_SUCCESS, or ERR_NOT_FOUND with the failure
// detail set when a directory cannot be made.
[[nodiscard]] uint32_t MakeTemplateDirectory(InstallJob& job, const std::string& path);

// The descriptor of the directory `relative` below the template directory
// ("" for the template directory itself, "a/b" without a final "/"), each
// component opened from its parent without following a link. The descriptor
// stays valid until the next call (the cache is bounded). A missing component
// gives 0 with `directory` -1, or, with MissingDirectory::Make, is made with mkdirat inside
// its verified parent: journalled (and synced) first unless PlanDirectories
// journalled it already, and its identity journalled once made. ERR_SUCCESS, or a code
// with the failure detail set (a link in the way is ELOOP, a file ENOTDIR, a
// directory replaced since the job first opened it ESTALE).
[[nodiscard]] uint32_t OpenDestinationDirectory(InstallJob& job, const std::string& relative, MissingDirectory missing,
                                                int& directory);

// Journals (without syncing) a D record for each directory of `relative` that
// does not exist yet, parents first, and counts them as known from now on.
// ERR_SUCCESS or a code.
[[nodiscard]] uint32_t PlanDirectories(InstallJob& job, const std::string& relative);

}  // namespace vxk5
