#pragma once

namespace vxk5 {

// Key names of the launcher configuration file. Only this one is read or set
// here; every other key passes through a read and rewrite unchanged.

inline constexpr char16_t kConfigurationTemplatesLocation[] = u"ConfigurationTemplatesLocation";

}  // namespace vxk5
