#pragma once
// How a run tells the user something outside the wizard's pages: a box, or
// without a display one line on standard error.

#include <functional>

#include "base/wstring.h"

namespace vxk5 {

// A recovery's report, or why the run cannot go on (the message of a key in
// the user's language).
enum class NoticeKind { Plain, Error };
using NoticeSink = std::function<void(const WString& text, NoticeKind kind)>;

}  // namespace vxk5
