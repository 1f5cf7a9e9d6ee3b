#pragma once
// Access keys (GTK's mnemonics, Alt+letter) for controls shown together:
// each control gets a letter of its own text that no other control of the set
// and no reserved key already takes. A text without such a letter (Chinese,
// or every letter taken) gets one added in parentheses, "取消(_C)", as GTK's
// own translations do, taken from `hint` (the English text) when it can be.

#include <glib.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/wstring.h"

namespace vxk5 {

struct AccessKeyRequest {
    AccessKeyRequest(WString textIn, WString hintIn = WString()) : text(std::move(textIn)), hint(std::move(hintIn)) {}
    WString text;
    WString hint;  // where an added letter comes from first; may be empty
};

// GTK mnemonic labels (UTF-8, "_" before the access key, "__" for an
// underscore of the text) for `requests`, in their order; earlier requests
// choose first. `reserved` holds keys already in use, as lower-case
// characters; the keys given out are added to it.
std::vector<std::string> AssignAccessKeys(const std::vector<AccessKeyRequest>& requests, std::set<gunichar>& reserved);

// The key of a mnemonic label ("_Next >" gives 'n'), lower case; 0 for none.
gunichar AccessKeyOf(const std::string& mnemonicLabel);

}  // namespace vxk5
