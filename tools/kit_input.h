#pragma once
// Where a command's kit comes from: a file, or standard input when it is
// named "-"; and why the installer's reader could not read it, in words.

#include <memory>
#include <ostream>
#include <string>

#include "kit/distribution_kit.h"

namespace vxk5 {

// "-" stands for standard input (a kit read) or output (a kit written).
inline bool IsStandardStream(const std::string& operand) { return operand == "-"; }

// The kit as messages name it: "standard input" for "-".
std::string ShownKit(const std::string& operand);

// A kit file that cannot be opened, or is a directory: false with `error`
// saying so in the system's words ("cannot open k.efd: No such file or
// directory"). Standard input passes.
[[nodiscard]] bool CheckKitFile(const std::string& operand, std::string& error);

// Reads the kit with the installer's reader; "-" reads standard input whole
// first (into an unnamed temporary file). False with `error` saying which kit
// and why, in words: "cannot open k.efd: No such file or directory".
// With `progress`, a progress line of the kit's bytes read is drawn there
// while the reading lasts.
[[nodiscard]] bool ReadKitInput(const std::string& operand, std::unique_ptr<DistributionKit>& kit,
                                std::string& error, std::ostream* progress = nullptr);

// Why the reader refused the kit with `code`; `kit` is what it left.
std::string KitReadFailure(const std::string& operand, uint32_t code, const DistributionKit* kit);

}  // namespace vxk5
