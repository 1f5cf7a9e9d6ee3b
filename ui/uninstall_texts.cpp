#include "ui/uninstall_texts.h"

#include <glib.h>

#include <memory>
#include <string>

#include "base/conversion.h"
#include "lang/message_format.h"
#include "lang/messages.h"
#include "run/failure_reason.h"

namespace vxk5 {

namespace {

struct DateTimeUnref {
    void operator()(GDateTime* time) const { g_date_time_unref(time); }
};
struct GFreeText {
    void operator()(gchar* text) const { g_free(text); }
};

WString Utf8(const std::string& text) { return FromUtf8(text.c_str(), text.size()); }

WString Number(uint64_t value) { return Utf8(std::to_string(value)); }

// A kept file as the user knows it: below the template directory.
WString BelowTarget(const std::string& path, const std::string& target) {
    const bool inside = !target.empty() && path.compare(0, target.size(), target) == 0;
    return FromMultiByte(inside ? path.substr(target.size()) : path);
}

}  // namespace

WString LocalDateAndTime(int64_t posixSeconds) {
    const std::unique_ptr<GDateTime, DateTimeUnref> time(g_date_time_new_from_unix_local(posixSeconds));
    if (time == nullptr) return WString();
    const std::unique_ptr<gchar, GFreeText> text(g_date_time_format(time.get(), "%Y-%m-%d %H:%M"));
    return text == nullptr ? WString() : Utf8(text.get());
}

WString UninstallQuestionText(const UninstallResult& plan) {
    return FillPlaceholders(LoadResString("IDS_UNINSTALL_QUESTION"),
                            {LocalDateAndTime(plan.installedAt), Number(plan.removed), Number(plan.restored)});
}

WString UninstallEndText(const UninstallResult& result) {
    WString text = FillPlaceholders(LoadResString("IDS_UNINSTALL_FINISH"),
                                    {Number(result.removed), Number(result.restored), Number(result.keptChanged.size())});
    for (size_t i = 0; i < result.keptChanged.size(); ++i) {
        if (i == kKeptFilesListed) {
            text += u"\n    \u2026";
            break;
        }
        text += u"\n    " + BelowTarget(result.keptChanged[i], result.target);
    }
    return text;
}

WString UninstallFailedPageText(const UninstallResult& result) {
    const WString reason = UninstallFailureReason(result);
    const WString head = result.inPart ? FillPlaceholders(LoadResString("IDS_UNINSTALL_PARTIAL"),
                                                          {Number(result.removed), Number(result.restored)})
                                       : LoadResString("IDS_UNINSTALL_ERROR");
    return head + (reason.empty() ? WString() : u"\n\n" + reason);
}

WString UninstallFailureReason(const UninstallResult& result) {
    if (result.recordError != 0) return LoadResString("IDS_UNINSTALL_BADRECORD");
    return DescribeFailure({AString(result.failure.path.c_str()), result.failure.error});
}

}  // namespace vxk5
