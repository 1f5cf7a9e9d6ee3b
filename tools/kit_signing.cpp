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
#include "tools/arguments.h"
#include "tools/passphrase.h"

namespace vxk5 {

namespace {

constexpr size_t kMaxKeyFileBytes = 4096;

bool ReadWhole(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    switch (ReadSmallFile(FromMultiByte(path), maxBytes, text)) {
        case SmallFileRead::Read: return true;
        case SmallFileRead::Missing: error = "cannot open " + path + ": " + std::strerror(ENOENT); return false;
        case SmallFileRead::TooLarge:
            error = "cannot read " + path + ": larger than the " + std::to_string(maxBytes) + " bytes such a file has";
            return false;
        case SmallFileRead::NotRegular: error = "cannot read " + path + ": not a regular file"; return false;
        default: error = "cannot read " + path + ": " + std::strerror(errno != 0 ? errno : EIO); return false;
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
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    minisign::Hasher hasher;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hasher.Update(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
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
    ArgumentScanner arguments(argc, argv);
    while (arguments.Next()) {
        const std::string& name = arguments.Text();
        if (!arguments.IsOption()) {
            error = "keygen takes no file but those of -p and -s: " + name;
            return false;
        }
        if (name == "-W" || name == "-f" || name == "--force") {
            if (!arguments.NoValue(error)) return false;
            (name == "-W" ? options.unencrypted : options.force) = true;
        } else if (name == "-p" || name == "-s") {
            if (!arguments.TakeValue(name == "-p" ? options.publicKeyPath : options.secretKeyPath, error)) return false;
        } else {
            error = "keygen does not take " + name;
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
    ArgumentScanner arguments(argc, argv);
    while (arguments.Next()) {
        const std::string& name = arguments.Text();
        if (!arguments.IsOption()) {
            operands.push_back(name);
        } else if (name == "-s") {
            if (!arguments.TakeValue(options.secretKeyPath, error)) return false;
        } else if (name == "-t") {
            std::string comment;
            if (!arguments.TakeValue(comment, error)) return false;
            options.trustedComment = comment;
        } else {
            error = "sign does not take " + name;
            return false;
        }
    }
    if (options.secretKeyPath.empty() || operands.size() != 1) {
        error = "sign takes -s SECRET_KEY_FILE [-t COMMENT] and one kit file";
        return false;
    }
    options.kit = operands[0];
    if (options.kit == "-") {
        error = "sign writes KIT.minisig beside a kit file; it does not sign standard input";
        return false;
    }
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
    if (kitPath == "-") return summary;  // a kit on standard input has no file beside it
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
