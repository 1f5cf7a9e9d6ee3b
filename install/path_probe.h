#pragma once
// The two direct system calls the job needs beyond the platform's commands:
// the stat that tells an existing directory (so that no utility is started for
// it), and rmdir of a directory already emptied (so that purging a tree starts
// no utility per directory).

#include "base/wstring.h"

// stat(2) reports a directory (a symbolic link to one counts).
bool IsExistingDirectory(const WString& path);
// lstat(2) reports a directory (a symbolic link does not count).
bool IsRealDirectory(const WString& path);
// lstat(2) finds anything at all there (a dangling symbolic link counts).
bool PathPresent(const WString& path);
// rmdir(2); true when the directory is gone. Only while the platform's command
// fast paths are on: with them off every removal goes through the utility.
bool RemoveEmptyDirectory(const WString& path);
