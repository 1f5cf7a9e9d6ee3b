#pragma once
// The one rule that decides what becomes of the file standing where a kit
// entry goes. The installation job, the dry-run plan and the kit tool's
// extraction all ask it.

#include "platform/file_handle.h"
#include "platform/file_entries.h"

namespace vxk5 {

enum class ReplaceVerdict {
    WriteNew,         // nothing there: the file is written new
    Replace,          // an older file (or a link to one, or a dangling link): set aside and replaced
    Keep,             // a file as new as the kit's copy or newer: kept
    RefuseDirectory,  // a directory (or a link to one) stands there
    RefuseOther,      // a named pipe, socket or device (or a link to one) stands there
};

// `standing` is what ExamineEntry found at the destination; `kitTime` the
// entry's time. A written copy keeps whole seconds, so the entry's sub-second
// part cannot make it newer than its own copy: the same kit run again finds
// every file up to date.
ReplaceVerdict DecideReplacement(const EntryStatus& standing, const FileTime& kitTime);

}  // namespace vxk5
