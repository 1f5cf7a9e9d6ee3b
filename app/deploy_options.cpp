#include "app/deploy_options.h"

#include <cstring>

#include "app/result_document.h"
#include "base/conversion.h"

namespace vxk5 {

namespace {

constexpr char kResult[] = "--result";
constexpr char kTrustedKey[] = "--trusted-key";
constexpr char kUninstall[] = "--uninstall";

// The toolkit takes these from the command line itself ("--display=:1",
// "--display :1"): they are not unknown.
constexpr const char* kToolkitOptions[] = {"--display",   "--screen",        "--sync",      "--name",
                                           "--class",     "--gtk-module",    "--g-fatal-warnings",
                                           "--gdk-debug", "--gdk-no-debug",  "--gtk-debug", "--gtk-no-debug"};

bool IsLongOption(const char* argument) {
    return std::strncmp(argument, "--", 2) == 0;
}

// The option `name` alone, or followed by "=" and its value.
bool NamesOption(const char* argument, const char* name) {
    const size_t length = std::strlen(name);
    return std::strncmp(argument, name, length) == 0 && (argument[length] == '\0' || argument[length] == '=');
}

bool IsToolkitOption(const char* argument) {
    for (const char* name : kToolkitOptions) {
        if (NamesOption(argument, name)) return true;
    }
    return false;
}

// When the argument at `index` is the option `name` with a value, in one word
// or two, sets `value` and `taken` (the arguments it spans). `present` tells
// whether there was a value at all.
bool MatchValueOption(const char* name, int32_t argumentCount, char** argumentVector, int32_t index,
                      AString& value, bool& present, int32_t& taken) {
    const char* argument = argumentVector[index];
    if (!NamesOption(argument, name)) return false;
    const size_t length = std::strlen(name);
    taken = 1;
    present = argument[length] == '=';
    if (present) {
        value = AString(argument + length + 1);
    } else if (index + 1 < argumentCount && !IsLongOption(argumentVector[index + 1])) {
        value = AString(argumentVector[index + 1]);
        present = true;
        taken = 2;
    }
    return true;
}

}  // namespace

DeployOptions ParseDeployOptions(int32_t argumentCount, char** argumentVector) {
    DeployOptions options;
    int32_t taken = 1;
    for (int32_t i = 1; i < argumentCount; i += taken) {
        taken = 1;
        const char* argument = argumentVector[i];
        AString value;
        bool present = false;
        if (std::strcmp(argument, "--exit-status") == 0) {
            options.exitStatus = true;
        } else if (std::strcmp(argument, "--dry-run") == 0) {
            options.dryRun = true;
        } else if (NamesOption(argument, kUninstall)) {
            // Its value in one word only: the next argument may be any of the program's own.
            options.uninstall = true;
            const size_t length = std::strlen(kUninstall);
            if (argument[length] == '=') options.uninstallDirectory = FromMultiByte(AString(argument + length + 1));
        } else if (MatchValueOption(kResult, argumentCount, argumentVector, i, value, present, taken)) {
            if (present) {
                options.wantsResult = true;
                options.resultPath = value;
            } else {
                options.warnings.push_back("--result needs a file name: no result is written");
            }
        } else if (MatchValueOption(kTrustedKey, argumentCount, argumentVector, i, value, present, taken)) {
            // An empty name still puts the policy in force: it names no usable key.
            options.trustedKeyFiles.push_back(FromMultiByte(value));
            if (!present) options.warnings.push_back("--trusted-key needs a file name: no kit is trusted through it");
        } else if (IsLongOption(argument) && !IsToolkitOption(argument)) {
            options.warnings.push_back(std::string("unknown option ") + argument + " ignored");
        }
    }
    return options;
}

int32_t ArgumentsTaken(int32_t argumentCount, char** argumentVector, int32_t index) {
    AString value;
    bool present = false;
    int32_t taken = 1;
    for (const char* name : {kResult, kTrustedKey}) {
        if (MatchValueOption(name, argumentCount, argumentVector, index, value, present, taken)) return taken;
    }
    return 1;
}

int ExitStatusFor(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Installed:
        case RunOutcome::UpToDate:
        case RunOutcome::Uninstalled:
        case RunOutcome::NothingToUninstall: return 0;
        case RunOutcome::Failed: return 1;
        case RunOutcome::NoKit:
        case RunOutcome::Untrusted: return 2;
        case RunOutcome::Cancelled: return 3;
    }
    return 1;
}

int FinishDeployment(const DeployOptions& options, const RunSummary& summary, double seconds) {
    // A result file that cannot be written is reported on standard error by
    // WriteResultFile and changes nothing else of the run.
    if (options.wantsResult) (void)WriteResultFile(options.resultPath, ResultDocument(summary, seconds));
    return options.exitStatus ? ExitStatusFor(summary.outcome) : 0;
}

}  // namespace vxk5
