#include "ui/access_keys.h"

#include "ui/gtk_text.h"

namespace vxk5 {

namespace {

using Text = std::u32string;

Text CharactersOf(const WString& text) {
    const std::string utf8 = GtkText(text);
    Text characters;
    for (const char* p = utf8.c_str(); *p != '\0'; p = g_utf8_next_char(p)) characters += g_utf8_get_char(p);
    return characters;
}

// Scripts whose characters no keyboard types with one key: their texts get
// a Latin letter added instead.
bool IsIdeographic(gunichar c) {
    switch (g_unichar_get_script(c)) {
        case G_UNICODE_SCRIPT_HAN:
        case G_UNICODE_SCRIPT_HIRAGANA:
        case G_UNICODE_SCRIPT_KATAKANA:
        case G_UNICODE_SCRIPT_HANGUL:
        case G_UNICODE_SCRIPT_BOPOMOFO: return true;
        default: return false;
    }
}

bool CanBeKey(gunichar c) { return g_unichar_isalpha(c) && !IsIdeographic(c); }

// Where a key may go in `text`, best first: the first letter of each word,
// then every other letter. -1 when every one is taken.
int ChooseKey(const Text& text, const std::set<gunichar>& taken) {
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < text.size(); ++i) {
            const bool wordStart = i == 0 || !g_unichar_isalnum(text[i - 1]);
            if ((pass == 0) != wordStart || !CanBeKey(text[i])) continue;
            if (taken.count(g_unichar_tolower(text[i])) == 0) return static_cast<int>(i);
        }
    }
    return -1;
}

// An ASCII letter to add: one of the hint's, else the first free of A to Z.
gunichar AddedKey(const Text& hint, const std::set<gunichar>& taken) {
    Text ascii;
    for (gunichar c : hint) {
        if (c < 0x80) ascii += c;
    }
    const int at = ChooseKey(ascii, taken);
    if (at >= 0) return g_unichar_toupper(ascii[static_cast<size_t>(at)]);
    for (gunichar c = 'a'; c <= 'z'; ++c) {
        if (taken.count(c) == 0) return g_unichar_toupper(c);
    }
    return 0;
}

std::string Utf8(const Text& text) {
    std::string out;
    for (gunichar c : text) {
        char bytes[6];
        out.append(bytes, static_cast<size_t>(g_unichar_to_utf8(c, bytes)));
    }
    return out;
}

// The text with underscores doubled and "_" before position `key`.
std::string MarkKey(const Text& text, int key) {
    Text marked;
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<int>(i) == key) marked += U'_';
        marked += text[i];
        if (text[i] == U'_') marked += U'_';
    }
    return Utf8(marked);
}

// The text with "(_K)" after its last word, before closing marks such as
// " >" or "：".
std::string AddKey(const Text& text, gunichar key) {
    size_t end = text.size();
    while (end > 0 && !g_unichar_isalnum(text[end - 1])) --end;
    const Text added = U"(_" + Text(1, key) + U")";
    std::string marked = MarkKey(text.substr(0, end), -1);
    return marked + Utf8(added) + MarkKey(text.substr(end), -1);
}

}  // namespace

std::vector<std::string> AssignAccessKeys(const std::vector<AccessKeyRequest>& requests, std::set<gunichar>& reserved) {
    std::vector<std::string> labels;
    for (const AccessKeyRequest& request : requests) {
        const Text text = CharactersOf(request.text);
        const int at = ChooseKey(text, reserved);
        if (at >= 0) {
            reserved.insert(g_unichar_tolower(text[static_cast<size_t>(at)]));
            labels.push_back(MarkKey(text, at));
            continue;
        }
        const gunichar key = AddedKey(CharactersOf(request.hint), reserved);
        if (key == 0) {  // nothing left: the label goes without a key
            labels.push_back(MarkKey(text, -1));
            continue;
        }
        reserved.insert(g_unichar_tolower(key));
        labels.push_back(AddKey(text, key));
    }
    return labels;
}

gunichar AccessKeyOf(const std::string& mnemonicLabel) {
    for (const char* p = mnemonicLabel.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        if (*p != '_') continue;
        p = g_utf8_next_char(p);
        if (*p == '\0') break;
        if (*p != '_') return g_unichar_tolower(g_utf8_get_char(p));
    }
    return 0;
}

}  // namespace vxk5
