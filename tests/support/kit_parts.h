#pragma once
// Kits made from parts rather than read, for tests of what shows or installs
// a kit without the unpacking in between.

#include <memory>
#include <utility>
#include <vector>

#include "kit/distribution_kit.h"

namespace vxk5 {

// Gives `kit` one more description after its own (none when there is no kit
// yet); the entries stay, the new kit has no container.
inline void AddKitDescription(std::unique_ptr<DistributionKit>& kit, const KitDescription& description) {
    std::vector<KitDescription> descriptions;
    std::vector<KitFileEntry> entries;
    if (kit != nullptr) {
        descriptions = kit->Descriptions();
        entries = kit->Entries();
    }
    descriptions.push_back(description);
    kit = DistributionKit::FromContainer(OwnedDescriptor(), std::move(descriptions), std::move(entries));
}

}  // namespace vxk5
