#include "ui/description_opener.h"

#include <glib.h>

#include "platform/utility_process.h"

namespace vxk5 {

namespace {

void ForgetOpener(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

}  // namespace

bool OpenWithDesktop(const AString& path, const char* opener) {
    // The opener takes no "--"; a relative path that starts with "-" is made
    // to start with "./" so it cannot be read as an option.
    AString argument = path;
    if (!argument.empty() && argument[0] == '-') argument = AString("./") + argument;
    const int pid = StartDetachedUtility({AString(opener), argument});
    if (pid < 0) return false;
    g_child_watch_add(pid, ForgetOpener, nullptr);  // reaped without waiting
    return true;
}

}  // namespace vxk5
