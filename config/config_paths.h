#pragma once
// Where the launcher keeps its per-user files and where templates go by
// default. Every path is a plain concatenation on the home directory H
// (GetHomeDirectory, no trailing "/", empty when unknown).

#include "base/wstring.h"

namespace vxk5 {

WString GetUserDataDirectory();       // H/.vxk5/
WString GetMainConfigPath();          // H/.Vx/vxlstart/vxlstart.cfg
WString GetAltConfigPath();           // H/.Vx/vxlstartt/vxlstart.cfg (the doubled t is the launcher's)
WString GetDataDirConfigPath();       // H/.vxk5//.Vx/vxlstart/vxlstart.cfg
WString GetDefaultTemplateBase();     // H/.vxk5/Vx/vxk5/
WString GetDefaultTemplateDirectory();  // H/.vxk5/Vx/vxk5/tmplts/

}  // namespace vxk5
