#pragma once
// The key and signature files of the minisign tool, so that kits can be signed
// and checked with it as well as with our own tool. Ed25519 signatures over
// the BLAKE2b-512 hash of a file ("ED", what minisign makes by default) or
// over the file itself ("Ed", the older form, still accepted); a trusted
// comment covered by a second, global signature. All cryptography is
// libsodium's.
//
// Public key file:  "untrusted comment: ..." / base64("Ed" keyid[8] pk[32])
// Signature file:   "untrusted comment: ..." / base64(alg[2] keyid[8] sig[64])
//                   "trusted comment: ..."   / base64(global sig[64] over sig || comment)
// Secret key file:  "untrusted comment: ..." / base64("Ed" kdf[2] "B2" salt[32]
//                   opslimit[8] memlimit[8] {keyid[8] sk[64] chk[32]}), the
//                   braces XORed with an scrypt stream of the passphrase
//                   unless kdf is two zero bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vxk5 {
namespace minisign {

using KeyId = std::array<uint8_t, 8>;
using PublicKeyBytes = std::array<uint8_t, 32>;
using SecretKeyBytes = std::array<uint8_t, 64>;
using SignatureBytes = std::array<uint8_t, 64>;
using Blake2b512 = std::array<uint8_t, 64>;

// Longest comment lines minisign itself writes and reads.
constexpr size_t kMaxTrustedComment = 8192;
constexpr size_t kMaxUntrustedComment = 1024;

// False when libsodium cannot start (no source of randomness); every other
// function here calls it first.
bool InitCrypto();

struct PublicKey {
    KeyId keyId{};
    PublicKeyBytes key{};
};

enum class Algorithm {
    Prehashed,  // "ED": the signature is over the BLAKE2b-512 hash of the file
    Legacy,     // "Ed": the signature is over the file's bytes
};

struct Signature {
    Algorithm algorithm = Algorithm::Prehashed;
    KeyId keyId{};
    SignatureBytes signature{};
    std::string untrustedComment;
    std::string trustedComment;
    SignatureBytes globalSignature{};
};

struct SecretKey {
    KeyId keyId{};
    SecretKeyBytes key{};  // libsodium's form: the 32 secret bytes followed by the public key
    ~SecretKey();          // wipes the key
};

// The key id as minisign prints it: the little-endian 64-bit number in upper
// case hexadecimal without leading zeros.
std::string KeyIdText(const KeyId& keyId);

// Parses a public key file's text (the comment line is optional, as the bare
// base64 line minisign takes with -P). False with `error` saying what is wrong.
[[nodiscard]] bool ParsePublicKey(const std::string& text, PublicKey& key, std::string& error);
std::string FormatPublicKey(const PublicKey& key);

// Parses a signature file's four lines. False with `error` when a line is
// missing, too long, not base64 or of the wrong length, or the algorithm is
// unknown. Says nothing of whether the signature holds.
[[nodiscard]] bool ParseSignature(const std::string& text, Signature& signature, std::string& error);
std::string FormatSignature(const Signature& signature);

// Whether the global signature over the signature and the trusted comment holds.
bool GlobalSignatureHolds(const Signature& signature, const PublicKey& key);

// Whether the signature holds for `message`: the BLAKE2b-512 hash of the file
// for Prehashed, the file's own bytes for Legacy.
bool SignatureHolds(const Signature& signature, const PublicKey& key, const uint8_t* message, size_t size);

// Streaming BLAKE2b-512, the hash a prehashed signature covers.
class Hasher {
public:
    Hasher();
    void Update(const uint8_t* bytes, size_t size);
    Blake2b512 Final();

private:
    alignas(64) unsigned char state_[384];
};

// Parses and, when it is encrypted, decrypts a secret key file's text with
// `passphrase` (unused for a key that is not encrypted). False with `error`
// when the file is malformed or the passphrase is wrong.
[[nodiscard]] bool ParseSecretKey(const std::string& text, const std::string& passphrase, SecretKey& key,
                                  std::string& error);

// Whether a secret key file's text is encrypted (false also when malformed).
bool SecretKeyIsEncrypted(const std::string& text);

// scrypt's limits for a new encrypted key: minisign's own (about 1 GiB of
// memory and a few seconds), unless tests ask for cheaper ones.
struct ScryptLimits {
    uint64_t opslimit = 33554432;      // libsodium's "sensitive" limits, as minisign -G
    uint64_t memlimit = 1073741824;
};

// How a new secret key is kept in its file.
enum class KeyProtection { Unencrypted, Passphrase };

// A new key pair with a random key id; the secret key file's text, encrypted
// with `passphrase` when `protection` says so.
[[nodiscard]] bool GenerateKeyPair(KeyProtection protection, const std::string& passphrase, PublicKey& publicKey,
                                   std::string& secretKeyText, std::string& error,
                                   const ScryptLimits& limits = ScryptLimits());

// A signature of `hash` (the BLAKE2b-512 of a file) with `trustedComment`.
Signature SignPrehashed(const SecretKey& key, const Blake2b512& hash, const std::string& trustedComment);

}  // namespace minisign
}  // namespace vxk5
