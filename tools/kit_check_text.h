#pragma once
// What a kit's check (the trailer after its deflate stream) said, in the
// kit tool's words: a line for list and verify, verify's warnings, and the
// reason a kit whose check failed could not be read.

#include <string>
#include <vector>

#include "kit/distribution_kit.h"
#include "kit/kit_trailer.h"

namespace vxk5 {

// "Check: ...": whether the deflate stream was checked, and against what.
std::string CheckLine(const KitCheckResult& check);

// Suspicious but readable: a kit without a check (or with one of a version
// this tool does not know), bytes after the stream that nothing reads.
std::vector<std::string> CheckDoubts(const KitCheckResult& check);

// For a kit the reader refused: ", <why>" when its check made it damaged,
// otherwise empty.
std::string CheckDamage(const DistributionKit* kit);

}  // namespace vxk5
