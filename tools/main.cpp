// vxk5-kit: makes, lists and verifies distribution kits with the installer's
// own kit code. Exit status: 0 success, 1 failure, 2 wrong usage.

#include <cstring>
#include <iostream>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"
#include "tools/kit_create.h"
#include "tools/kit_inspect.h"

namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  vxk5-kit create SOURCE_DIR -o KIT [--lang CODE --product TEXT --vendor TEXT\n"
    "                  --description REL_PATH]... [--single]\n"
    "  vxk5-kit list KIT\n"
    "  vxk5-kit verify KIT\n"
    "  vxk5-kit --help\n"
    "\n"
    "create   packs every file below SOURCE_DIR into the kit KIT (maximum compression).\n"
    "         Names are relative to SOURCE_DIR with \"\\\" between components; each file\n"
    "         keeps its last-write time to 100 ns; files are sorted by name.\n"
    "         Each --lang starts a description; --product, --vendor and --description\n"
    "         (a path below SOURCE_DIR) fill the latest one (\"en\" when none was started).\n"
    "         --single writes the single-language form, which readers take as \"en\".\n"
    "list     prints the descriptions and the file table (name, UTC time, size, offset).\n"
    "verify   reads every record and checks that each file's bytes lie inside the\n"
    "         unpacked kit, that names are usable and unique, and that description\n"
    "         documents are in the kit.\n";

int Fail(const std::string& message, int status = 1) {
    std::cerr << "vxk5-kit: " << message << "\n";
    return status;
}

int UsageError(const std::string& message) {
    std::cerr << "vxk5-kit: " << message << "\n" << "Try 'vxk5-kit --help'.\n";
    return 2;
}

int RunCreate(int argc, char** argv) {
    CreateOptions options;
    std::string error;
    if (!ParseCreateArguments(argc, argv, options, error)) return UsageError(error);
    if (options.form == kitformat::DescriptionForm::SingleLanguage && !options.descriptions.empty() &&
        CompareNoCase(options.descriptions.front().language, u"en") != 0) {
        std::cerr << "vxk5-kit: warning: the single-language form has no language; readers take it as \"en\"\n";
    }
    if (!CreateKit(options, error)) return Fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    InitProcessLocale();
    if (argc < 2) return UsageError("no command given");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        }
    }
    const std::string command = argv[1];
    if (command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "create") return RunCreate(argc - 2, argv + 2);
    if (command == "list" || command == "verify") {
        if (argc != 3) return UsageError(command + " takes one kit file");
        std::string error;
        const bool ok = command == "list" ? ListKit(argv[2], std::cout, error) : VerifyKit(argv[2], std::cout, error);
        return ok ? 0 : Fail(error);
    }
    return UsageError("unknown command " + command);
}
