// vxk5-kit: makes, lists, verifies, unpacks and signs distribution kits with
// the installer's own kit code. Exit status: 0 success, 1 failure, 2 wrong usage.

#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "base/wstring.h"
#include "platform/terminal.h"
#include "tools/arguments.h"
#include "tools/kit_create.h"
#include "tools/kit_extract.h"
#include "tools/kit_input.h"
#include "tools/kit_inspect.h"
#include "tools/kit_json.h"
#include "tools/kit_signing.h"

namespace vxk5 {

namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  vxk5-kit create SOURCE_DIR -o KIT [--lang CODE --product TEXT --vendor TEXT\n"
    "                  --description REL_PATH]... [--single] [--quiet]\n"
    "  vxk5-kit list [--json | --names] KIT\n"
    "  vxk5-kit verify [--strict] [--key PUBLIC_KEY] [--json] KIT\n"
    "  vxk5-kit extract [--force] [-v] KIT DIR\n"
    "  vxk5-kit keygen [-W] [-f] -p PUBLIC_KEY -s SECRET_KEY\n"
    "  vxk5-kit sign -s SECRET_KEY [-t COMMENT] KIT\n"
    "  vxk5-kit --help | --version\n"
    "\n"
    "A KIT of \"-\" is standard input for list, verify and extract, and standard\n"
    "output for create -o. \"--\" ends the options; a long option's value may\n"
    "follow it as the next argument or after \"=\" (--lang=de).\n"
    "\n"
    "create   packs every file below SOURCE_DIR into the kit KIT (compressed on every core).\n"
    "         Symbolic links are followed, to files and directories; a link that loops\n"
    "         back, a dangling link or a special file is left out with a warning, and\n"
    "         so is KIT itself when it lies below SOURCE_DIR. A file whose name the\n"
    "         installer would refuse (not UTF-8, for one) stops create before\n"
    "         anything is written.\n"
    "         Names are relative to SOURCE_DIR with \"\\\" between components; each file\n"
    "         keeps its last-write time to 100 ns; files are sorted by name.\n"
    "         Each --lang starts a description; --product, --vendor and --description\n"
    "         (a path below SOURCE_DIR) fill the latest one (\"en\" when none was started).\n"
    "         --single writes the single-language form, which readers take as \"en\".\n"
    "         After the deflate stream comes its check (XXH3-64), which readers verify.\n"
    "         KIT is written under a temporary name and renamed when complete.\n"
    "         On a terminal a progress line is shown; --quiet (-q) hides it.\n"
    "list     prints the descriptions and the file table (name, UTC time, size, offset);\n"
    "         --json prints them as one JSON document, --names only the files' names,\n"
    "         one a line, with \"/\" between components.\n"
    "verify   checks the kit as the installer reads it. Errors (exit 1): bytes outside\n"
    "         the unpacked kit, names that are not usable relative paths or that repeat,\n"
    "         a deflate stream that does not match its check.\n"
    "         Warnings (\"warning:\" lines, exit 0): a description document missing from\n"
    "         the kit, a description language that is not one of the installer's 24,\n"
    "         a kit without a check, bytes after the stream that nothing reads.\n"
    "         --strict counts warnings as errors. --key also checks the signature\n"
    "         KIT.minisig with that public key, as an installer trusting only that\n"
    "         key would (exit 1 when it is missing, damaged, by another key, or\n"
    "         does not match). --json prints the findings as one JSON document.\n"
    "extract  writes every file of KIT below DIR with its bytes and time, for a look\n"
    "         without installing. A kit with unsafe names, or whose stream does not\n"
    "         match its check, is refused and nothing is written; nothing is ever\n"
    "         written outside DIR. DIR is made when missing;\n"
    "         a DIR that holds anything is refused unless --force (-f) is given.\n"
    "         -v (--verbose) prints each file's path as it is written. When a file\n"
    "         cannot be written, the files written before it are named.\n"
    "keygen   makes a key pair in minisign's formats: the public key for installers\n"
    "         to trust, the secret key (mode 0600) to sign with. The secret key is\n"
    "         encrypted with a passphrase asked on the terminal, or read from the\n"
    "         file named by VXK5_PASSPHRASE_FILE; -W leaves it unencrypted. -f\n"
    "         replaces existing files.\n"
    "sign     writes KIT.minisig, a detached signature that minisign -V checks as\n"
    "         well; -t sets its trusted comment (default: the time and the kit's\n"
    "         name). Secret keys of minisign -G are accepted.\n"
    "\n"
    "create, extract and verify show a progress line on a terminal when the work\n"
    "lasts more than a second.\n"
    "Exit status: 0 success, 1 failure (or problems found by verify), 2 wrong usage.\n";

[[nodiscard]] int Fail(const std::string& message, int status = 1) {
    std::cerr << "vxk5-kit: " << message << "\n";
    return status;
}

[[nodiscard]] int UsageError(const std::string& message) {
    std::cerr << "vxk5-kit: " << message << "\n" << "Try 'vxk5-kit --help'.\n";
    return 2;
}

// The progress lines' stream, when it is a terminal.
std::ostream* ProgressStream() { return ErrorOutputIsTerminal() ? &std::cerr : nullptr; }

[[nodiscard]] int RunCreate(int argc, char** argv) {
    CreateOptions options;
    std::string error;
    if (!ParseCreateArguments(argc, argv, options, error)) return UsageError(error);
    if (IsStandardStream(options.output) && IsTerminal(stdout)) {
        return UsageError("refusing to write a kit to a terminal; -o - is for a pipe or a file");
    }
    if (options.form == kitformat::DescriptionForm::SingleLanguage && !options.descriptions.empty() &&
        CompareNoCase(options.descriptions.front().language, u"en") != 0) {
        std::cerr << "vxk5-kit: warning: the single-language form has no language; readers take it as \"en\"\n";
    }
    options.showProgress = !options.quiet && ErrorOutputIsTerminal();
    if (!CreateKit(options, std::cerr, error)) return Fail(error);
    return 0;
}

[[nodiscard]] int RunList(int argc, char** argv) {
    enum class Form { Table, Json, Names } form = Form::Table;
    std::vector<std::string> kits;
    ArgumentScanner arguments(argc, argv);
    std::string error;
    while (arguments.Next()) {
        const std::string& name = arguments.Text();
        if (!arguments.IsOption()) {
            kits.push_back(name);
        } else if ((name == "--json" || name == "--names") && form == Form::Table) {
            if (!arguments.NoValue(error)) return UsageError(error);
            form = name == "--json" ? Form::Json : Form::Names;
        } else {
            return UsageError("list takes [--json | --names] and one kit file");
        }
    }
    if (kits.size() != 1) return UsageError("list takes [--json | --names] and one kit file");
    const bool ok = form == Form::Json    ? ListKitJson(kits[0], std::cout, error)
                    : form == Form::Names ? ListKitNames(kits[0], std::cout, error)
                                          : ListKit(kits[0], std::cout, error);
    return ok ? 0 : Fail(error);
}

struct VerifyOptions {
    bool strict = false;
    bool json = false;
    std::optional<std::string> keyPath;
    std::vector<std::string> kits;
};

bool ParseVerifyArguments(int argc, char** argv, VerifyOptions& options, std::string& error) {
    ArgumentScanner arguments(argc, argv);
    while (arguments.Next()) {
        const std::string& name = arguments.Text();
        if (!arguments.IsOption()) {
            options.kits.push_back(name);
        } else if ((name == "--strict" && !options.strict) || (name == "--json" && !options.json)) {
            if (!arguments.NoValue(error)) return false;
            (name == "--strict" ? options.strict : options.json) = true;
        } else if (name == "--key" && !options.keyPath) {
            options.keyPath.emplace();
            if (!arguments.TakeValue(*options.keyPath, error)) return false;
            if (options.keyPath->empty()) return false;
        } else {
            return false;
        }
    }
    return options.kits.size() == 1;
}

[[nodiscard]] int RunVerify(int argc, char** argv) {
    VerifyOptions options;
    std::string error;
    if (!ParseVerifyArguments(argc, argv, options, error)) {
        return UsageError(error.empty() ? "verify takes [--strict] [--key PUBLIC_KEY] [--json] and one kit file" : error);
    }
    minisign::PublicKey key;
    if (options.keyPath && !ReadPublicKeyFile(*options.keyPath, key, error)) return Fail(error);
    const Warnings strictness = options.strict ? Warnings::CountAsErrors : Warnings::Allowed;
    const minisign::PublicKey* trusted = options.keyPath ? &key : nullptr;
    const bool ok = options.json
                        ? VerifyKitJson(options.kits[0], strictness, trusted, std::cout, error, ProgressStream())
                        : VerifyKit(options.kits[0], strictness, std::cout, std::cerr, error, trusted, ProgressStream());
    return ok ? 0 : Fail(error);
}

[[nodiscard]] int RunKeygen(int argc, char** argv) {
    KeygenOptions options;
    std::string error;
    if (!ParseKeygenArguments(argc, argv, options, error)) return UsageError(error);
    return GenerateKeys(options, std::cout, error) ? 0 : Fail(error);
}

[[nodiscard]] int RunSign(int argc, char** argv) {
    SignOptions options;
    std::string error;
    if (!ParseSignArguments(argc, argv, options, error)) return UsageError(error);
    return SignKit(options, std::cout, error) ? 0 : Fail(error);
}

[[nodiscard]] int RunExtract(int argc, char** argv) {
    ExtractOptions options;
    std::string error;
    if (!ParseExtractArguments(argc, argv, options, error)) return UsageError(error);
    options.showProgress = ErrorOutputIsTerminal();
    return ExtractKit(options, std::cout, std::cerr, error) ? 0 : Fail(error);
}

}  // namespace

}  // namespace vxk5

using namespace vxk5;

int main(int argc, char** argv) {
    InitProcessLocale();
    if (argc < 2) return UsageError("no command given");
    // --help and --version answer wherever they stand before "--".
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "vxk5-kit " VXK5_VERSION "\n";
            return 0;
        }
    }
    const std::string command = argv[1];
    if (command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "create") return RunCreate(argc - 2, argv + 2);
    if (command == "list") return RunList(argc - 2, argv + 2);
    if (command == "verify") return RunVerify(argc - 2, argv + 2);
    if (command == "extract") return RunExtract(argc - 2, argv + 2);
    if (command == "keygen") return RunKeygen(argc - 2, argv + 2);
    if (command == "sign") return RunSign(argc - 2, argv + 2);
    return UsageError("unknown command " + command);
}
