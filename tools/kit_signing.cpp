#include "tools/kit_signing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "base/conversion.h"
#include "platform/replacement_file.h"
#include "kit/signed_kit.h"
#include "platform/file_entries.h"
#include "platform/open_file.h"
#include "platform/policy_files.h"
#include "tools/passphrase.h"

namespace vxk5 {

namespace {

constexpr size_t kMaxKeyFileBytes = 4096;

// Options that take a value: "-s FILE" or "-sFILE".
bool TakeValue(int argc, char** argv, int& i, const char* name, std::string& value, std::string& error) {
    const std::string argument = argv[i];
    if (argument.size() > 2) {
        value = argument.substr(2);
        return true;
    }
    if (i + 1 >= argc) {
        error = std::string("option ") + name + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

bool ReadWhole(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    switch (ReadSmallFile(FromMultiByte(path), maxBytes, text)) {
        case SmallFileRead::Read: return true;
        case SmallFileRead::Missing: error = path + ": no such file"; return false;
        case SmallFileRead::TooLarge: error = path + ": too large"; return false;
        case SmallFileRead::NotRegular: error = path + ": not a regular file"; return false;
        default: error = path + ": cannot be read"; return false;
    }
}

// Writes `text` to `path` through a temporary file and a rename, with `mode`.
bool WriteWhole(const std::string& path, const std::string& text, unsigned mode, std::string& error) {
    ReplacementFile file;
    errno = 0;
    const bool written = file.Create(AString(path.c_str(), path.size())) &&
                         SetOpenFileMode(fileno(file.stream()), mode) == 0 &&
                         std::fwrite(text.data(), 1, text.size(), file.stream()) == text.size() && file.Commit();
    if (!written) error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
    return written;
}

// Anything at all stands at `path`, a dangling link included.
bool Exists(const std::string& path) {
    EntryStatus status;
    // The kind is that of the entry itself even when its link's target could
    // not be examined: the entry is there either way.
    (void)ExamineEntry(path, status);
    return status.kind != EntryKind::Missing;
}

// The kit's BLAKE2b-512, read in pieces.
bool HashFile(const std::string& path, minisign::Blake2b512& hash, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    minisign::Hasher hasher;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hasher.Update(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    hash = hasher.Final();
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParseKeygenArguments(int argc, char** argv, KeygenOptions& options, std::string& error) {
    options = KeygenOptions();
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-W") {
            options.unencrypted = true;
        } else if (argument == "-f" || argument == "--force") {
            options.force = true;
        } else if (argument.rfind("-p", 0) == 0) {
            if (!TakeValue(argc, argv, i, "-p", options.publicKeyPath, error)) return false;
        } else if (argument.rfind("-s", 0) == 0) {
            if (!TakeValue(argc, argv, i, "-s", options.secretKeyPath, error)) return false;
        } else {
            error = "keygen does not take " + argument;
            return false;
        }
    }
    if (options.publicKeyPath.empty() || options.secretKeyPath.empty()) {
        error = "keygen needs -p PUBLIC_KEY_FILE and -s SECRET_KEY_FILE";
        return false;
    }
    if (options.publicKeyPath == options.secretKeyPath) {
        error = "the public and the secret key need two different files";
        return false;
    }
    return true;
}

bool ParseSignArguments(int argc, char** argv, SignOptions& options, std::string& error) {
    options = SignOptions();
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument.rfind("-s", 0) == 0) {
            if (!TakeValue(argc, argv, i, "-s", options.secretKeyPath, error)) return false;
        } else if (argument.rfind("-t", 0) == 0) {
            std::string comment;
            if (!TakeValue(argc, argv, i, "-t", comment, error)) return false;
            options.trustedComment = comment;
        } else {
            error = "sign does not take " + argument;
            return false;
        }
    }
    if (options.secretKeyPath.empty() || operands.size() != 1) {
        error = "sign takes -s SECRET_KEY_FILE [-t COMMENT] and one kit file";
        return false;
    }
    options.kit = operands[0];
    if (options.trustedComment &&
        (options.trustedComment->find_first_of("\r\n") != std::string::npos ||
         options.trustedComment->size() > minisign::kMaxTrustedComment)) {
        error = "the trusted comment must be one line of at most " + std::to_string(minisign::kMaxTrustedComment) +
                " bytes";
        return false;
    }
    return true;
}

bool GenerateKeys(const KeygenOptions& options, std::ostream& out, std::string& error) {
    for (const std::string& path : {options.publicKeyPath, options.secretKeyPath}) {
        if (!options.force && Exists(path)) {
            error = path + " exists already; -f replaces it";
            return false;
        }
    }
    std::string passphrase;
    if (!options.unencrypted) {
        if (!ObtainPassphrase("Passphrase for the new secret key: ", PassphraseEntry::Confirmed, passphrase, error)) return false;
        if (passphrase.empty()) {
            error = "an empty passphrase protects nothing; -W makes a key without one";
            return false;
        }
        out << "Deriving a key from the passphrase..." << std::endl;
    }
    minisign::PublicKey publicKey;
    std::string secretText;
    const minisign::KeyProtection protection =
        options.unencrypted ? minisign::KeyProtection::Unencrypted : minisign::KeyProtection::Passphrase;
    if (!minisign::GenerateKeyPair(protection, passphrase, publicKey, secretText, error)) return false;
    // The secret key first: a public key without its secret one is of no use.
    if (!WriteWhole(options.secretKeyPath, secretText, 0600, error)) return false;
    if (!WriteWhole(options.publicKeyPath, minisign::FormatPublicKey(publicKey), 0644, error)) return false;
    out << "Key id " << minisign::KeyIdText(publicKey.keyId) << "\n"
        << "Secret key: " << options.secretKeyPath << " (keep it secret)\n"
        << "Public key: " << options.publicKeyPath << "\n"
        << "Installers trust it when it is copied into /etc/vxk5/trusted-keys/ (owned by root, not writable by\n"
        << "others) or named with --trusted-key=" << options.publicKeyPath << ".\n";
    return true;
}

bool SignKit(const SignOptions& options, std::ostream& out, std::string& error) {
    std::string text;
    if (!ReadWhole(options.secretKeyPath, kMaxKeyFileBytes, text, error)) return false;
    std::string passphrase;
    if (minisign::SecretKeyIsEncrypted(text) &&
        !ObtainPassphrase("Passphrase of the secret key: ", PassphraseEntry::Once, passphrase, error)) {
        return false;
    }
    minisign::SecretKey key;
    if (!minisign::ParseSecretKey(text, passphrase, key, error)) {
        error = options.secretKeyPath + ": " + error;
        return false;
    }
    minisign::Blake2b512 hash;
    if (!HashFile(options.kit, hash, error)) return false;
    const std::string comment = options.trustedComment
                                    ? *options.trustedComment
                                    : "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr))) +
                                          "\tfile:" + BaseName(options.kit) + "\thashed";
    const minisign::Signature signature = minisign::SignPrehashed(key, hash, comment);
    const std::string signaturePath = options.kit + ".minisig";
    if (!WriteWhole(signaturePath, minisign::FormatSignature(signature), 0644, error)) return false;
    out << "Signed " << options.kit << " with key id " << minisign::KeyIdText(key.keyId) << ": " << signaturePath
        << "\n";
    return true;
}

bool ReadPublicKeyFile(const std::string& path, minisign::PublicKey& key, std::string& error) {
    std::string text;
    if (!ReadWhole(path, kMaxKeyFileBytes, text, error)) return false;
    if (!minisign::ParsePublicKey(text, key, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

SignatureSummary SummariseSignature(const std::string& kitPath) {
    SignatureSummary summary;
    std::string text;
    const std::string path = kitPath + ".minisig";
    std::string error;
    if (!ReadWhole(path, kMaxSignatureFileBytes, text, error)) {
        summary.present = Exists(path);
        if (summary.present) summary.damage = error;
        return summary;
    }
    summary.present = true;
    minisign::Signature signature;
    if (!minisign::ParseSignature(text, signature, summary.damage)) return summary;
    summary.keyId = minisign::KeyIdText(signature.keyId);
    summary.trustedComment = signature.trustedComment;
    return summary;
}

}  // namespace vxk5
