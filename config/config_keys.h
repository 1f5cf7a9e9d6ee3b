#pragma once
// Key names of the launcher configuration file. Only
// kConfigurationTemplatesLocation is read or set here; the others pass through
// a read and rewrite unchanged like any other key.

inline constexpr char16_t kConfigurationTemplatesLocation[] = u"ConfigurationTemplatesLocation";
inline constexpr char16_t kDefaultVersion[] = u"DefaultVersion";
inline constexpr char16_t kCommonInfoBases[] = u"CommonInfoBases";
inline constexpr char16_t kInstalledLocation[] = u"InstalledLocation";
inline constexpr char16_t kDistributiveLocation[] = u"DistributiveLocation";
inline constexpr char16_t kCommonCfgLocation[] = u"CommonCfgLocation";
inline constexpr char16_t kInstallComponents[] = u"InstallComponents";
