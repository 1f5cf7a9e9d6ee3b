#include "tools/passphrase.h"

#include <cstdlib>
#include <fstream>

#include "platform/owned_descriptor.h"
#include "platform/terminal.h"

namespace vxk5 {

namespace {

constexpr char kPassphraseFileVariable[] = "VXK5_PASSPHRASE_FILE";

}  // namespace

bool ObtainPassphrase(const char* prompt, PassphraseEntry entry, std::string& passphrase, std::string& error) {
    passphrase.clear();
    if (const char* file = std::getenv(kPassphraseFileVariable); file != nullptr && *file != '\0') {
        std::ifstream in(file, std::ios::binary);
        if (!in || !std::getline(in, passphrase)) {
            error = std::string("cannot read the passphrase from ") + file + " (" + kPassphraseFileVariable + ")";
            return false;
        }
        if (!passphrase.empty() && passphrase.back() == '\r') passphrase.pop_back();
        return true;
    }
    const OwnedDescriptor tty = OpenControllingTerminal();
    if (!tty.IsOpen()) {
        error = std::string("no terminal to ask for the passphrase; name a file holding it in ") +
                kPassphraseFileVariable;
        return false;
    }
    if (!AskWithoutEcho(tty.Get(), prompt, passphrase)) {
        error = "the passphrase could not be read from the terminal";
        return false;
    }
    if (entry == PassphraseEntry::Confirmed) {
        std::string again;
        if (!AskWithoutEcho(tty.Get(), "Passphrase (again): ", again) || again != passphrase) {
            error = "the two passphrases differ";
            return false;
        }
    }
    return true;
}

}  // namespace vxk5
