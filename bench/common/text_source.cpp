#include "text_source.h"

#include <cstring>

namespace vxk5 {

std::string TextSource::Make(size_t size) {
    static const char* const kWords[] = {
        "panel",  "launcher", "template", "desktop", "Exec=",   "Name=",     "Icon=",     "Type=Application",
        "true",   "false",    "size",     "bottom",  "clock",   "workspace", "terminal",  "editor",
        "export", "PATH",     "alias",    "color",   "#002b36", "font",      "Monospace", "[profile]",
        "set",    "tabsize",  "width",    "height",  "=",       ";",         "\n",        "\n",
    };
    std::string out;
    out.reserve(size + 32);
    while (out.size() < size) {
        const uint64_t r = Next();
        if ((r & 7) == 0) {
            out += std::to_string((r >> 8) % 100000);
        } else {
            out += kWords[(r >> 3) % (sizeof kWords / sizeof kWords[0])];
        }
        out += (r >> 40) % 5 == 0 ? '\n' : ' ';
    }
    out.resize(size);  // the last piece is cut where the text ends
    return out;
}

void TextSource::Fill(uint8_t* out, size_t size) {
    const std::string text = Make(size);
    std::memcpy(out, text.data(), size);
}

uint64_t TextSource::Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
}

}  // namespace vxk5
