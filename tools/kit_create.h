#pragma once
// `vxk5-kit create`: packs a source directory into a kit file.

#include <string>
#include <vector>

#include "kit/container_encoder.h"
#include "kit/distribution_kit.h"

struct CreateOptions {
    std::string sourceDirectory;
    std::string output;
    // Description paths as given ("/" or "\" separated, relative to the source).
    std::vector<KitDescription> descriptions;
    kitformat::DescriptionForm form = kitformat::DescriptionForm::LanguageList;
};

// Parses the arguments after "create". False with `error` set on a usage error.
[[nodiscard]] bool ParseCreateArguments(int argc, char** argv, CreateOptions& options, std::string& error);

// Writes the kit: every file below the source directory, sorted by name, named
// with "\" separators, with its last-write time, at maximum compression. The
// kit appears under its name only when complete. False with `error` set.
[[nodiscard]] bool CreateKit(const CreateOptions& options, std::string& error);
