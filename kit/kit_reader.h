#pragma once
// Reading the kit into the in-memory model, and the model's description queries.

#include <cstdint>

#include "base/wstring.h"
#include "kit/distribution_kit.h"
#include "kit/kit_unpack.h"

namespace vxk5 {

// Unpacks the kit at `kitPath` into a new temporary container, keeps it open
// in `kit` and reads the descriptions and the file table. On failure the
// entries are emptied, the container is closed and deleted, and the code is
// returned: a code of CreateKitTempFile or UnpackKit (2, 13, 87, 1013), the
// container's open code, the read's code (2 or 87), or 13 when the container
// ends inside a field or a record does not hold its fields.
// `observer` (optional) is shown the kit's bytes as they are unpacked (UnpackKit).
[[nodiscard]] uint32_t ReadKit(DistributionKit& kit, const WString& kitPath, KitInputObserver* observer = nullptr);

// Product and vendor of the first description whose language matches
// `language` without regard to case; both empty when none does.
void GetProductInfo(const DistributionKit& kit, const WString& language, WString& product, WString& vendor);

// The description path for `language` (case ignored) when that is not empty,
// otherwise that of the first "en" description, otherwise empty.
WString GetDescriptionName(const DistributionKit& kit, const WString& language);

}  // namespace vxk5
