#pragma once
// The template directory the user means.
//
// Text typed into the directory page (or found in the launcher
// configuration) is taken literally except for two things a desktop user
// relies on: a leading "~" or "~/" is the home directory, and a relative path
// is relative to the current directory. Nothing else is rewritten: no
// trimming, no "." or ".." folding, and "~user" is an ordinary name.

#include "base/wstring.h"

namespace vxk5 {

// A leading "~" or "~/" replaced by the home directory (without its trailing
// slashes). Anything else, and everything when no home directory is known,
// comes back unchanged.
WString ExpandHomePrefix(const WString& path);

// ExpandHomePrefix, then a relative result prefixed with the current
// directory and "/". The empty text stays empty. False (and `absolute`
// untouched) when a relative path meets an unknown current directory.
[[nodiscard]] bool ResolveTargetPath(const WString& path, WString& absolute);

}  // namespace vxk5
