#include "lang/message_format.h"

namespace vxk5 {

WString FillPlaceholders(const WString& text, std::initializer_list<WString> arguments) {
    WString result;
    const size_t length = text.length();
    for (size_t i = 0; i < length; ++i) {
        const char16_t unit = text[i];
        if (unit == u'%' && i + 1 < length) {
            const char16_t next = text[i + 1];
            if (next == u'%') {
                result += u'%';
                ++i;
                continue;
            }
            if (next >= u'1' && next <= u'9' && static_cast<size_t>(next - u'0') <= arguments.size()) {
                result += *(arguments.begin() + (next - u'1'));
                ++i;
                continue;
            }
        }
        result += unit;
    }
    return result;
}

}  // namespace vxk5
