#pragma once
// The password database, for "~user" in a path the user typed.

#include "base/wstring.h"

namespace vxk5 {

// The home directory the password database gives `user`; empty when it knows
// no such user or gives none.
WString HomeDirectoryOf(const AString& user);

}  // namespace vxk5
