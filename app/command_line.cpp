#include "app/command_line.h"

#include <cstring>

#include "app/deploy_options.h"
#include "base/conversion.h"
#include "lang/messages.h"

namespace vxk5 {

AString LocaleLanguageCode(const char* localeName) {
    // Language and territory first ("pt_BR.UTF-8" gives pt_BR): a table may be
    // registered for a territory, and cutting to two bytes would never reach it.
    AString name(localeName);
    const AString territorial = name.substr(0, std::strcspn(localeName, ".@"));
    if (FindLanguageId(territorial.c_str()) != 0) return territorial;
    // Then the first two bytes (de_DE.UTF-8 gives de); a shorter name such as C stays whole.
    if (name.length() >= 3) name.resize(2);
    return FindLanguageId(name.c_str()) != 0 ? name : AString();
}

namespace {

// A switch begins with "/" or "-".
bool IsSwitch(const char* argument) {
    return argument[0] == '/' || argument[0] == '-';
}

}  // namespace

LaunchOptions ParseCommandLine(int32_t argumentCount, char** argumentVector,
                               const std::function<const char*()>& localeName) {
    LaunchOptions options;
    int32_t start = 1;
    // Only the exact word matches, not a longer word that begins with it. A
    // byte-wise compare stops at the argument's end instead of reading 7 bytes.
    if (argumentCount >= 2 && std::strcmp(argumentVector[1], "usecwd") == 0) {
        options.usecwd = true;
        start = 2;
    }
    options.languageCode = u"en";

    // The value of a two-word deployment option ("--result /Srv/r.json") is
    // no switch: the scan passes over it with its option.
    for (int32_t i = start; i < argumentCount; i += ArgumentsTaken(argumentCount, argumentVector, i)) {
        const char* argument = argumentVector[i];
        if (!IsSwitch(argument)) continue;
        const char letter = argument[1];
        if (letter == 'S' || letter == 's') {
            options.silent = true;
            continue;
        }
        if (letter != 'L' && letter != 'l') continue;
        const char* code = argument + 2;
        const int32_t id = FindLanguageId(code);
        if (id != 0) {
            options.languageId = id;
            options.languageCode = FromMultiByte(AString(code));
        }
        break;  // arguments after the first language switch are not examined
    }

    if (options.languageId == 0) {
        if (const char* name = localeName()) {
            const AString code = LocaleLanguageCode(name);
            if (!code.empty()) {
                options.languageId = FindLanguageId(code.c_str());
                options.languageCode = FromMultiByte(code);
            }
        }
    }
    if (options.languageId == 0) options.languageId = kLanguageEnglish;
    return options;
}

}  // namespace vxk5
