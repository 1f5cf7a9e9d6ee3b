#pragma once
// Opening a directory a user named on a command line: as a shell would take
// it, symbolic links along the path and at its end are followed. (The
// installer's own directory operations never follow a link; see
// file_entries.h.)

#include <string>

#include "platform/file_entries.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

// open(2) of `path` as a readable directory. 0 with `opened` set, or the
// errno value (ENOTDIR when it is no directory).
[[nodiscard]] int OpenNamedDirectory(const std::string& path, OwnedDescriptor& opened);

// The same for a directory that is only looked up in (LookUp: O_PATH, which
// needs no read permission) or read as well (Read: as above).
[[nodiscard]] int OpenNamedDirectory(const std::string& path, DirectoryAccess access, OwnedDescriptor& opened);

}  // namespace vxk5
