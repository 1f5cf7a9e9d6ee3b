#pragma once
// `vxk5-kit keygen` and `vxk5-kit sign`: key pairs and detached signatures in
// the minisign tool's formats, so either tool can make what the other checks;
// and what `list` and `verify` tell about a kit's signature.

#include <optional>
#include <ostream>
#include <string>

#include "kit/minisign.h"

namespace vxk5 {

struct KeygenOptions {
    std::string publicKeyPath;  // -p
    std::string secretKeyPath;  // -s
    bool unencrypted = false;   // -W: no passphrase
    bool force = false;         // -f: existing key files may be replaced
};

struct SignOptions {
    std::string secretKeyPath;                 // -s
    std::optional<std::string> trustedComment; // -t
    std::string kit;
};

// Parse the arguments after "keygen" / "sign". False with `error` on a usage error.
[[nodiscard]] bool ParseKeygenArguments(int argc, char** argv, KeygenOptions& options, std::string& error);
[[nodiscard]] bool ParseSignArguments(int argc, char** argv, SignOptions& options, std::string& error);

// Makes a key pair: the public key file (mode 0644) and the secret key file
// (mode 0600, encrypted with a passphrase unless `unencrypted`), each written
// whole under a temporary name and renamed. Existing files are kept unless
// `force`. Prints the key id and how to trust the key.
[[nodiscard]] bool GenerateKeys(const KeygenOptions& options, std::ostream& out, std::string& error);

// Writes KIT.minisig: a prehashed signature of the kit's bytes with the
// trusted comment given, or "timestamp:<seconds>\tfile:<name>\thashed" as
// minisign writes it. Written whole under a temporary name and renamed.
[[nodiscard]] bool SignKit(const SignOptions& options, std::ostream& out, std::string& error);

// Reads a public key file. False with `error` naming the file and the fault.
[[nodiscard]] bool ReadPublicKeyFile(const std::string& path, minisign::PublicKey& key, std::string& error);

// What the signature file beside a kit says, unchecked.
struct SignatureSummary {
    bool present = false;
    std::string damage;  // why it cannot be read as a signature; empty when it can
    std::string keyId;
    std::string trustedComment;
};
SignatureSummary SummariseSignature(const std::string& kitPath);

}  // namespace vxk5
