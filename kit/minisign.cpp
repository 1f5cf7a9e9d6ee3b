#include "kit/minisign.h"

#include <sodium.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vxk5 {
namespace minisign {

namespace {

constexpr char kUntrustedPrefix[] = "untrusted comment: ";
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr size_t kAlgorithmBytes = 2;
constexpr size_t kSaltBytes = crypto_pwhash_scryptsalsa208sha256_SALTBYTES;
constexpr size_t kChecksumBytes = crypto_generichash_BYTES;  // 32
constexpr size_t kKeyRecordBytes = 8 + 64 + kChecksumBytes;   // keyid, secret key, checksum
constexpr size_t kSecretKeyFileBytes = 3 * kAlgorithmBytes + kSaltBytes + 8 + 8 + kKeyRecordBytes;

static_assert(sizeof(crypto_generichash_blake2b_state) <= 384, "the hasher keeps libsodium's state in place");
static_assert(crypto_sign_BYTES == 64 && crypto_sign_PUBLICKEYBYTES == 32 && crypto_sign_SECRETKEYBYTES == 64);

// The file's text split into lines without their line ends (LF or CR LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Decodes `line` as base64 (standard alphabet, padded) of exactly `size` bytes.
bool DecodeExactly(const std::string& line, uint8_t* out, size_t size) {
    size_t decoded = 0;
    const char* end = nullptr;
    if (sodium_base642bin(out, size, line.data(), line.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
        return false;
    }
    return decoded == size && end == line.data() + line.size();
}

std::string Encode(const uint8_t* bytes, size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

uint64_t ReadLe64(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

void WriteLe64(uint64_t value, uint8_t* bytes) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The checksum minisign keeps inside the secret key: BLAKE2b-256 of the
// signature algorithm, the key id and the secret key.
void SecretKeyChecksum(const uint8_t* algorithm, const uint8_t* record, uint8_t* checksum) {
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kChecksumBytes);
    crypto_generichash_update(&state, algorithm, kAlgorithmBytes);
    crypto_generichash_update(&state, record, 8 + 64);
    crypto_generichash_final(&state, checksum, kChecksumBytes);
}

// XORs the key record with the scrypt stream of the passphrase.
bool ApplyKeyStream(const std::string& passphrase, const uint8_t* salt, uint64_t opslimit, uint64_t memlimit,
                    uint8_t* record) {
    uint8_t stream[kKeyRecordBytes];
    if (crypto_pwhash_scryptsalsa208sha256(stream, sizeof stream, passphrase.data(), passphrase.size(), salt,
                                           opslimit, static_cast<size_t>(memlimit)) != 0) {
        sodium_memzero(stream, sizeof stream);
        return false;
    }
    for (size_t i = 0; i < kKeyRecordBytes; ++i) record[i] ^= stream[i];
    sodium_memzero(stream, sizeof stream);
    return true;
}

// The second line of a file whose first line is an untrusted comment.
bool KeyLine(const std::string& text, std::string& line, std::string& error) {
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() >= 2 && StartsWith(lines[0], kUntrustedPrefix)) {
        line = lines[1];
        return true;
    }
    error = "not a minisign key file (no \"untrusted comment:\" line followed by the key)";
    return false;
}

}  // namespace

bool InitCrypto() { return sodium_init() >= 0; }

SecretKey::~SecretKey() { sodium_memzero(key.data(), key.size()); }

std::string KeyIdText(const KeyId& keyId) {
    char text[20];
    std::snprintf(text, sizeof text, "%" PRIX64, ReadLe64(keyId.data()));
    return text;
}

bool ParsePublicKey(const std::string& text, PublicKey& key, std::string& error) {
    if (!InitCrypto()) {
        error = "the cryptography library cannot start";
        return false;
    }
    std::vector<std::string> lines = Lines(text);
    // Either the file (comment, key) or the bare key line.
    std::string line;
    if (!lines.empty() && StartsWith(lines[0], kUntrustedPrefix)) {
        if (lines.size() < 2) {
            error = "the key line is missing";
            return false;
        }
        line = lines[1];
    } else if (lines.size() == 1) {
        line = lines[0];
    } else {
        error = "not a minisign public key file";
        return false;
    }
    uint8_t bytes[kAlgorithmBytes + 8 + 32];
    if (!DecodeExactly(line, bytes, sizeof bytes)) {
        error = "the key is not base64 of " + std::to_string(sizeof bytes) + " bytes";
        return false;
    }
    if (bytes[0] != 'E' || bytes[1] != 'd') {
        error = "the key is not an Ed25519 key";
        return false;
    }
    std::memcpy(key.keyId.data(), bytes + 2, 8);
    std::memcpy(key.key.data(), bytes + 10, 32);
    return true;
}

std::string FormatPublicKey(const PublicKey& key) {
    uint8_t bytes[kAlgorithmBytes + 8 + 32] = {'E', 'd'};
    std::memcpy(bytes + 2, key.keyId.data(), 8);
    std::memcpy(bytes + 10, key.key.data(), 32);
    return std::string(kUntrustedPrefix) + "minisign public key " + KeyIdText(key.keyId) + "\n" +
           Encode(bytes, sizeof bytes) + "\n";
}

bool ParseSignature(const std::string& text, Signature& signature, std::string& error) {
    if (!InitCrypto()) {
        error = "the cryptography library cannot start";
        return false;
    }
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() < 4 || !StartsWith(lines[0], kUntrustedPrefix) || !StartsWith(lines[2], kTrustedPrefix)) {
        error = "not a signature file (four lines: untrusted comment, signature, trusted comment, global signature)";
        return false;
    }
    for (size_t i = 4; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            error = "text after the global signature";
            return false;
        }
    }
    const std::string untrusted = lines[0].substr(sizeof kUntrustedPrefix - 1);
    const std::string trusted = lines[2].substr(sizeof kTrustedPrefix - 1);
    if (untrusted.size() > kMaxUntrustedComment || trusted.size() > kMaxTrustedComment) {
        error = "a comment is too long";
        return false;
    }
    uint8_t bytes[kAlgorithmBytes + 8 + 64];
    if (!DecodeExactly(lines[1], bytes, sizeof bytes)) {
        error = "the signature is not base64 of " + std::to_string(sizeof bytes) + " bytes";
        return false;
    }
    if (bytes[0] == 'E' && bytes[1] == 'D') {
        signature.algorithm = Algorithm::Prehashed;
    } else if (bytes[0] == 'E' && bytes[1] == 'd') {
        signature.algorithm = Algorithm::Legacy;
    } else {
        error = "unknown signature algorithm";
        return false;
    }
    if (!DecodeExactly(lines[3], signature.globalSignature.data(), signature.globalSignature.size())) {
        error = "the global signature is not base64 of 64 bytes";
        return false;
    }
    std::memcpy(signature.keyId.data(), bytes + 2, 8);
    std::memcpy(signature.signature.data(), bytes + 10, 64);
    signature.untrustedComment = untrusted;
    signature.trustedComment = trusted;
    return true;
}

std::string FormatSignature(const Signature& signature) {
    uint8_t bytes[kAlgorithmBytes + 8 + 64] = {'E', signature.algorithm == Algorithm::Prehashed ? uint8_t{'D'}
                                                                                                 : uint8_t{'d'}};
    std::memcpy(bytes + 2, signature.keyId.data(), 8);
    std::memcpy(bytes + 10, signature.signature.data(), 64);
    return std::string(kUntrustedPrefix) + signature.untrustedComment + "\n" + Encode(bytes, sizeof bytes) + "\n" +
           kTrustedPrefix + signature.trustedComment + "\n" +
           Encode(signature.globalSignature.data(), signature.globalSignature.size()) + "\n";
}

bool GlobalSignatureHolds(const Signature& signature, const PublicKey& key) {
    if (!InitCrypto()) return false;
    std::vector<uint8_t> message(signature.signature.begin(), signature.signature.end());
    message.insert(message.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    return crypto_sign_verify_detached(signature.globalSignature.data(), message.data(), message.size(),
                                       key.key.data()) == 0;
}

bool SignatureHolds(const Signature& signature, const PublicKey& key, const uint8_t* message, size_t size) {
    if (!InitCrypto()) return false;
    if (signature.algorithm == Algorithm::Prehashed && size != Blake2b512().size()) return false;
    return crypto_sign_verify_detached(signature.signature.data(), message, size, key.key.data()) == 0;
}

Hasher::Hasher() {
    InitCrypto();
    crypto_generichash_blake2b_init(reinterpret_cast<crypto_generichash_blake2b_state*>(state_), nullptr, 0,
                                    Blake2b512().size());
}

void Hasher::Update(const uint8_t* bytes, size_t size) {
    crypto_generichash_blake2b_update(reinterpret_cast<crypto_generichash_blake2b_state*>(state_), bytes, size);
}

Blake2b512 Hasher::Final() {
    Blake2b512 hash{};
    crypto_generichash_blake2b_final(reinterpret_cast<crypto_generichash_blake2b_state*>(state_), hash.data(),
                                     hash.size());
    return hash;
}

bool SecretKeyIsEncrypted(const std::string& text) {
    std::string line;
    std::string error;
    uint8_t bytes[kSecretKeyFileBytes];
    if (!InitCrypto() || !KeyLine(text, line, error) || !DecodeExactly(line, bytes, sizeof bytes)) return false;
    const bool encrypted = bytes[2] != 0 || bytes[3] != 0;
    sodium_memzero(bytes, sizeof bytes);
    return encrypted;
}

bool ParseSecretKey(const std::string& text, const std::string& passphrase, SecretKey& key, std::string& error) {
    if (!InitCrypto()) {
        error = "the cryptography library cannot start";
        return false;
    }
    std::string line;
    if (!KeyLine(text, line, error)) return false;
    uint8_t bytes[kSecretKeyFileBytes];
    struct Wipe {
        uint8_t* bytes;
        ~Wipe() { sodium_memzero(bytes, kSecretKeyFileBytes); }
    } wipe{bytes};
    if (!DecodeExactly(line, bytes, sizeof bytes)) {
        error = "the secret key is not base64 of " + std::to_string(sizeof bytes) + " bytes";
        return false;
    }
    const uint8_t* algorithm = bytes;
    const uint8_t* kdf = bytes + 2;
    const uint8_t* checksumAlgorithm = bytes + 4;
    const uint8_t* salt = bytes + 6;
    const uint64_t opslimit = ReadLe64(salt + kSaltBytes);
    const uint64_t memlimit = ReadLe64(salt + kSaltBytes + 8);
    uint8_t* record = bytes + 6 + kSaltBytes + 16;
    if (algorithm[0] != 'E' || algorithm[1] != 'd' || checksumAlgorithm[0] != 'B' || checksumAlgorithm[1] != '2') {
        error = "not an Ed25519 secret key with a BLAKE2b checksum";
        return false;
    }
    if (kdf[0] == 'S' && kdf[1] == 'c') {
        if (!ApplyKeyStream(passphrase, salt, opslimit, memlimit, record)) {
            error = "cannot derive the key from the passphrase (out of memory?)";
            return false;
        }
    } else if (kdf[0] != 0 || kdf[1] != 0) {
        error = "unknown key derivation";
        return false;
    }
    // minisign -W leaves the checksum of an unencrypted key all zeros; any
    // other checksum must hold.
    const bool encrypted = kdf[0] != 0;
    uint8_t checksum[kChecksumBytes];
    SecretKeyChecksum(algorithm, record, checksum);
    if ((encrypted || !sodium_is_zero(record + 8 + 64, kChecksumBytes)) &&
        sodium_memcmp(checksum, record + 8 + 64, kChecksumBytes) != 0) {
        error = encrypted ? "wrong passphrase" : "the secret key is damaged (its checksum does not match)";
        return false;
    }
    // The key's second half is its public key: it must be the one derived from its first half.
    uint8_t publicKey[crypto_sign_PUBLICKEYBYTES];
    uint8_t secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secretKey, record + 8);
    const bool consistent = sodium_memcmp(publicKey, record + 8 + 32, sizeof publicKey) == 0;
    sodium_memzero(secretKey, sizeof secretKey);
    if (!consistent) {
        error = encrypted ? "wrong passphrase" : "the secret key is damaged (its halves do not belong together)";
        return false;
    }
    std::memcpy(key.keyId.data(), record, 8);
    std::memcpy(key.key.data(), record + 8, 64);
    return true;
}

static_assert(ScryptLimits().opslimit == crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE &&
              ScryptLimits().memlimit == crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE);

bool GenerateKeyPair(KeyProtection protection, const std::string& passphrase, PublicKey& publicKey,
                     std::string& secretKeyText, std::string& error, const ScryptLimits& limits) {
    if (!InitCrypto()) {
        error = "the cryptography library cannot start";
        return false;
    }
    uint8_t bytes[kSecretKeyFileBytes] = {};
    struct Wipe {
        uint8_t* bytes;
        ~Wipe() { sodium_memzero(bytes, kSecretKeyFileBytes); }
    } wipe{bytes};
    uint8_t* record = bytes + 6 + kSaltBytes + 16;
    bytes[0] = 'E';
    bytes[1] = 'd';
    bytes[4] = 'B';
    bytes[5] = '2';
    randombytes_buf(record, 8);
    crypto_sign_keypair(publicKey.key.data(), record + 8);
    std::memcpy(publicKey.keyId.data(), record, 8);
    SecretKeyChecksum(bytes, record, record + 8 + 64);
    const bool encrypt = protection == KeyProtection::Passphrase;
    if (encrypt) {
        bytes[2] = 'S';
        bytes[3] = 'c';
        uint8_t* salt = bytes + 6;
        randombytes_buf(salt, kSaltBytes);
        const uint64_t opslimit = limits.opslimit;
        const uint64_t memlimit = limits.memlimit;
        WriteLe64(opslimit, salt + kSaltBytes);
        WriteLe64(memlimit, salt + kSaltBytes + 8);
        if (!ApplyKeyStream(passphrase, salt, opslimit, memlimit, record)) {
            error = "cannot derive a key from the passphrase (out of memory?)";
            return false;
        }
    }
    secretKeyText = std::string(kUntrustedPrefix) + (encrypt ? "minisign encrypted secret key" : "minisign secret key") +
                    "\n" + Encode(bytes, sizeof bytes) + "\n";
    return true;
}

Signature SignPrehashed(const SecretKey& key, const Blake2b512& hash, const std::string& trustedComment) {
    InitCrypto();
    Signature signature;
    signature.algorithm = Algorithm::Prehashed;
    signature.keyId = key.keyId;
    signature.untrustedComment = "signature from vxk5-kit secret key";
    signature.trustedComment = trustedComment;
    crypto_sign_detached(signature.signature.data(), nullptr, hash.data(), hash.size(), key.key.data());
    std::vector<uint8_t> message(signature.signature.begin(), signature.signature.end());
    message.insert(message.end(), trustedComment.begin(), trustedComment.end());
    crypto_sign_detached(signature.globalSignature.data(), nullptr, message.data(), message.size(), key.key.data());
    return signature;
}

}  // namespace minisign
}  // namespace vxk5
