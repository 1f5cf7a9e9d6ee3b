#pragma once
// The modal message box every part of the installer reports through.
//
// Style word: bits 24..31 the kind (1 error, 2 question, other plain), bits
// 0..7 the buttons (2 Yes/No, other OK). Result: 0 no button, 1 Yes, 2 No, 3 OK.
// Without a display the text goes to standard error as one line (a detail as
// a second line) and the result is OK. Called from another thread than the
// main one, the box is shown by the main thread's loop (which must be
// turning) and the caller waits for the answer.

#include <cstdint>

#include "base/wstring.h"

namespace vxk5 {

class CInstallerDlg;

constexpr uint32_t MB_STYLE_ERROR_OK = 0x01000001;
constexpr uint32_t MB_STYLE_QUESTION_YESNO = 0x02000002;
constexpr uint32_t MB_STYLE_PLAIN_OK = 0x00000001;

constexpr uint32_t MB_RESULT_NONE = 0;
constexpr uint32_t MB_RESULT_YES = 1;
constexpr uint32_t MB_RESULT_NO = 2;
constexpr uint32_t MB_RESULT_OK = 3;

// `owner` (may be null) gives the dialog its title; while the owner's window
// exists the dialog is transient for it and centred on it.
uint32_t MessageBox(const CInstallerDlg* owner, const WString& text, uint32_t style);
// The same with `detail` as the dialog's secondary text (none when empty).
uint32_t MessageBox(const CInstallerDlg* owner, const WString& text, uint32_t style, const WString& detail);

}  // namespace vxk5
