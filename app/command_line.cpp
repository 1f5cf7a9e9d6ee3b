#include "app/command_line.h"

#include <cstring>

#include "base/conversion.h"
#include "lang/messages.h"

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

    for (int32_t i = start; i < argumentCount; ++i) {
        const char* argument = argumentVector[i];
        if ((argument[0] | 2) != '/') continue;  // "/" or "-"
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
            AString code(name);
            if (code.length() >= 3) code.resize(2);
            const int32_t id = FindLanguageId(code.c_str());
            if (id != 0) {
                options.languageId = id;
                options.languageCode = FromMultiByte(code);
            }
        }
    }
    if (options.languageId == 0) options.languageId = kLanguageEnglish;
    return options;
}
