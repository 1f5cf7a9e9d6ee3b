#pragma once
// Where the kit is: beside the executable, or in the current directory.

#include "base/wstring.h"

namespace vxk5 {

inline constexpr char kKitFileName[] = "vxk5.efd";

enum class KitPlace {
    BesideProgram,     // the directory of the running program
    CurrentDirectory,  // the directory the installer was started in
};

// The kit's full path, or empty when the directory cannot be determined.
WString LocateKit(KitPlace place);

}  // namespace vxk5
