#include "ui/button_label.h"

#include "ui/gtk_text.h"

namespace vxk5 {

namespace {

bool IsMark(char16_t unit) {
    return unit == u'<' || unit == u'>' || unit == u'\u00AB' || unit == u'\u00BB' || unit == u'\u2039' ||
           unit == u'\u203A';
}

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\u00A0'; }

}  // namespace

std::string SpokenButtonName(const WString& text) {
    size_t begin = 0;
    size_t end = text.length();
    while (begin < end && (IsMark(text[begin]) || IsBlank(text[begin]))) ++begin;
    while (end > begin && (IsMark(text[end - 1]) || IsBlank(text[end - 1]))) --end;
    return GtkText(text.substr(begin, end - begin));
}

}  // namespace vxk5
