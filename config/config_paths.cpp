#include "config/config_paths.h"

#include "platform/file_system.h"

namespace vxk5 {

WString GetUserDataDirectory() { return GetHomeDirectory() + u"/" + u".vxk5" + u"/"; }

WString GetMainConfigPath() { return GetHomeDirectory() + u"/" + u".Vx/vxlstart" + u"/" + u"vxlstart.cfg"; }

WString GetAltConfigPath() { return GetHomeDirectory() + u"/" + u".Vx/vxlstartt" + u"/" + u"vxlstart.cfg"; }

// The data directory already ends in "/": the doubled separator is harmless.
WString GetDataDirConfigPath() { return GetUserDataDirectory() + u"/" + u".Vx/vxlstart" + u"/" + u"vxlstart.cfg"; }

WString GetDefaultTemplateBase() { return GetUserDataDirectory() + u"Vx" + u"/" + u"vxk5" + u"/"; }

WString GetDefaultTemplateDirectory() { return GetDefaultTemplateBase() + u"tmplts" + u"/"; }

}  // namespace vxk5
