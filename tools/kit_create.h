#pragma once
// `vxk5-kit create`: packs a source directory into a kit file.

#include <ostream>
#include <string>
#include <vector>

#include "kit/container_encoder.h"
#include "kit/distribution_kit.h"

namespace vxk5 {

struct CreateOptions {
    std::string sourceDirectory;
    std::string output;
    // Description paths as given ("/" or "\" separated, relative to the source).
    std::vector<KitDescription> descriptions;
    kitformat::DescriptionForm form = kitformat::DescriptionForm::LanguageList;
    bool quiet = false;         // --quiet: no progress line
    bool showProgress = false;  // a progress line on `messages` (the caller checks for a terminal)
};

// Parses the arguments after "create". False with `error` set on a usage error.
[[nodiscard]] bool ParseCreateArguments(int argc, char** argv, CreateOptions& options, std::string& error);

// Writes the kit: every file below the source directory (links followed),
// sorted by name, named with "\" separators, with its last-write time, at
// zlib level 6, on every core. The kit is written to a temporary file beside the
// target and renamed over it when complete, with mode 0666 less the umask.
// Files left out (dangling links, special files, loops) are reported on
// `messages` as "warning: " lines, as is the progress line when asked for.
// False with `error` set.
[[nodiscard]] bool CreateKit(const CreateOptions& options, std::ostream& messages, std::string& error);

}  // namespace vxk5
