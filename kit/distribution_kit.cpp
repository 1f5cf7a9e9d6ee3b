#include "kit/distribution_kit.h"

#include <utility>

#include "kit/kit_unpack.h"

namespace vxk5 {

// The copy buffer is left uninitialised: the installation fills it before
// every use, and untouched pages cost no memory.
DistributionKit::DistributionKit(OwnedDescriptor container, std::vector<KitDescription> descriptions,
                                 std::vector<KitFileEntry> entries)
    : descriptions_(std::move(descriptions)),
      entries_(std::move(entries)),
      container_(std::move(container)),
      buffer_(new uint8_t[kKitCopyBufferSize]) {}

DistributionKit::~DistributionKit() {
    rest_.reset();  // its writer stops before the container closes
    restWriter_.Reset();
    container_.Reset();
}

std::unique_ptr<DistributionKit> DistributionKit::FromContainer(OwnedDescriptor container,
                                                                std::vector<KitDescription> descriptions,
                                                                std::vector<KitFileEntry> entries) {
    return std::unique_ptr<DistributionKit>(
        new DistributionKit(std::move(container), std::move(descriptions), std::move(entries)));
}

}  // namespace vxk5
