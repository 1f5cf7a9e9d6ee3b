#pragma once
// Users: the one this process runs as, and the password database, for
// "~user" in a path the user typed.

#include <cstdint>

#include "base/wstring.h"

namespace vxk5 {

// getuid(2): the id of the user this process runs as (its real user).
uint32_t ThisUserId();

// The home directory the password database gives `user`; empty when it knows
// no such user or gives none.
WString HomeDirectoryOf(const AString& user);

}  // namespace vxk5
