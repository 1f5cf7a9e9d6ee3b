#include "kit/distribution_kit.h"

#include "kit/kit_unpack.h"

namespace vxk5 {

// The copy buffer is left uninitialised: the installation fills it before
// every use, and untouched pages cost no memory.
DistributionKit::DistributionKit() : buffer(new uint8_t[kKitCopyBufferSize]) {}

DistributionKit::~DistributionKit() { ReleaseKitTempFile(*this); }

}  // namespace vxk5
