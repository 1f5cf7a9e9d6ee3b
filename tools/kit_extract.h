#pragma once
// `vxk5-kit extract`: unpacks a kit's files into a directory for a look,
// without installing anything.

#include <ostream>
#include <string>

#include "base/wstring.h"

namespace vxk5 {

struct ExtractOptions {
    std::string kit;
    std::string directory;
    bool force = false;    // --force: the directory may already hold files
    bool verbose = false;  // -v: each file's path on `out` as it is written
    bool showProgress = false;  // a progress line on `messages` (the caller checks for a terminal)
};

// Parses the arguments after "extract". False with `error` set on a usage error.
[[nodiscard]] bool ParseExtractArguments(int argc, char** argv, ExtractOptions& options, std::string& error);

// The check an entry's name must pass before anything is written for it: the
// installer's own, so that extract refuses exactly what the installer refuses.
bool IsExtractableName(const WString& name);

// Writes every file of the kit below the directory (made when missing) with
// its bytes and its last-write time to 100 ns. A kit with an unsafe name, a
// name that cannot be turned into a file name, or bytes outside its container
// is refused before anything is written. A non-empty directory is refused
// unless `force` is set. Nothing is written outside the directory: every
// component is opened below the one before without following symbolic links,
// and an existing file is replaced, never written through. A name listed
// twice keeps the newer copy, as an installation would. The kit "-" is read
// from standard input. Prints a summary on `out`; false with `error` set,
// which says which files were written before the failure, if any.
[[nodiscard]] bool ExtractKit(const ExtractOptions& options, std::ostream& out, std::ostream& messages,
                              std::string& error);

}  // namespace vxk5
