#pragma once
// What the uninstall wizard says, in the current language: the question
// before anything is taken back, the end page's report and the words for a
// failure. Kept apart from the pages so that each text is tested on its own.

#include <cstdint>

#include "base/wstring.h"
#include "install/uninstall.h"

namespace vxk5 {

// How many kept files the end page names; it counts them all.
constexpr size_t kKeptFilesListed = 4;

// A POSIX time as local date and time, "2026-03-04 14:05": one form that
// reads the same in every language.
WString LocalDateAndTime(int64_t posixSeconds);

// The question, with when the installation was made and what a dry run found.
WString UninstallQuestionText(const UninstallResult& plan);

// The end page after a successful uninstall: the counts, then the first kept
// files below the template directory, a line each ("…" when there are more).
WString UninstallEndText(const UninstallResult& result);

// Why an uninstall failed, in words: the record unusable, or the file
// concerned and the system's reason (empty when nothing is known).
WString UninstallFailureReason(const UninstallResult& result);
// The end page's text for a failed uninstall: nothing changed, or done in
// part (with its counts), and why.
WString UninstallFailedPageText(const UninstallResult& result);

}  // namespace vxk5
