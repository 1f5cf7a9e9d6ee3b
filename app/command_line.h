#pragma once
// The command line: an optional first argument `usecwd`, then switches that
// begin with "/" or "-": L<code> chooses the language, S a silent run. Anything
// else is ignored, and so are the deployment options with their values
// (deploy_options.h).

#include <cstdint>
#include <functional>

#include "base/wstring.h"

namespace vxk5 {

// What the process entry builds and hands to AppMain.
struct CommandLine {
    int32_t argumentCount = 0;
    char** argumentVector = nullptr;
};

struct LaunchOptions {
    bool usecwd = false;
    bool silent = false;
    int32_t languageId = 0;
    WString languageCode;
};

// The registered language code a locale name selects: its language and
// territory (the name up to the first "." or "@", such as pt_BR), else its
// first two bytes (de); empty when neither is registered.
AString LocaleLanguageCode(const char* localeName);

// Reads the switches and chooses the language: the first language switch whose
// code is registered, else the locale's (LocaleLanguageCode), else English.
// `localeName` is asked for the process locale's name (may give nullptr) only
// when no switch chose a language.
LaunchOptions ParseCommandLine(int32_t argumentCount, char** argumentVector,
                               const std::function<const char*()>& localeName);

// Runs the whole program on the command line; the process's exit status
// (0 unless --exit-status asks for the outcome).
[[nodiscard]] int AppMain(CommandLine& commandLine);

}  // namespace vxk5
