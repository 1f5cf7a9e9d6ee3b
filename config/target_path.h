#pragma once
// The template directory the user means.
//
// Text typed into the directory page (or found in the launcher
// configuration) is taken literally except for two things a desktop user
// relies on: a leading "~" or "~/" is the home directory, "~user" or
// "~user/" that user's home directory (from the password database), and a
// relative path is relative to the current directory. Nothing else is
// rewritten: no trimming, no "." or ".." folding.

#include "base/wstring.h"

namespace vxk5 {

// A leading "~" or "~/" replaced by the home directory, "~user" by that
// user's (without trailing slashes). Anything else, and everything when no
// such home directory is known, comes back unchanged; `unknownUser`, when
// given, then tells whether a "~user" prefix named nobody known.
WString ExpandHomePrefix(const WString& path, bool* unknownUser = nullptr);

// ExpandHomePrefix, then a relative result prefixed with the current
// directory and "/". The empty text stays empty. False (and `absolute`
// untouched) when a relative path meets an unknown current directory, or
// "~user" names no user.
[[nodiscard]] bool ResolveTargetPath(const WString& path, WString& absolute);

// `text` without the blanks (spaces, tabs, no-break spaces) at either end.
WString TrimBlanks(const WString& text);

}  // namespace vxk5
