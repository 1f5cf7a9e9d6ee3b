#include "kit/signed_kit.h"

#include "kit/kit_hasher.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "platform/policy_files.h"

namespace vxk5 {

namespace {

[[nodiscard]] uint32_t Refuse(std::unique_ptr<DistributionKit>& kit, SignatureCheck& check, SignatureVerdict verdict) {
    kit.reset();
    check.verdict = verdict;
    check.keyId.clear();
    check.trustedComment.clear();
    return ERR_INVALID_DATA;
}

}  // namespace

WString SignaturePathOf(const WString& kitPath) { return kitPath + kSignatureSuffix; }

uint32_t ReadSignedKit(std::unique_ptr<DistributionKit>& kit, const WString& kitPath, const TrustPolicy& policy,
                       SignatureCheck& check, KitReading reading) {
    check = SignatureCheck();
    if (!policy.inForce) return ReadKit(kit, kitPath, nullptr, reading);

    // The signature first: a kit that cannot pass is not even unpacked.
    std::string text;
    switch (ReadSmallFile(SignaturePathOf(kitPath), kMaxSignatureFileBytes, text)) {
        case SmallFileRead::Read: break;
        case SmallFileRead::Missing: return Refuse(kit, check, SignatureVerdict::Missing);
        default: return Refuse(kit, check, SignatureVerdict::Damaged);
    }
    minisign::Signature signature;
    std::string error;
    if (!minisign::ParseSignature(text, signature, error)) return Refuse(kit, check, SignatureVerdict::Damaged);
    const minisign::PublicKey* key = policy.FindKey(signature.keyId);
    if (key == nullptr) return Refuse(kit, check, SignatureVerdict::UnknownKey);
    if (!minisign::GlobalSignatureHolds(signature, *key)) return Refuse(kit, check, SignatureVerdict::Mismatch);

    KitHasher hasher(signature.algorithm);
    const uint32_t code = ReadKit(kit, kitPath, &hasher);
    // Only a kit read to its end has a verdict: a kit that is damaged (13) or
    // was read whole (0) has been seen whole; other codes stand as they are.
    if (code != 0 && code != ERR_INVALID_DATA) {
        check.verdict = SignatureVerdict::NotChecked;
        return code;
    }
    const std::vector<uint8_t> message = hasher.Message();
    if (!minisign::SignatureHolds(signature, *key, message.data(), message.size())) {
        return Refuse(kit, check, SignatureVerdict::Mismatch);
    }
    check.verdict = SignatureVerdict::Verified;
    check.keyId = minisign::KeyIdText(signature.keyId);
    check.trustedComment = signature.trustedComment;
    return code;
}

const char* VerdictText(SignatureVerdict verdict) {
    switch (verdict) {
        case SignatureVerdict::NotChecked: return "not checked";
        case SignatureVerdict::Verified: return "verified";
        case SignatureVerdict::Missing: return "signature missing";
        case SignatureVerdict::Damaged: return "signature damaged";
        case SignatureVerdict::UnknownKey: return "unknown key id";
        case SignatureVerdict::Mismatch: return "signature does not match";
    }
    return "signature does not match";
}

}  // namespace vxk5
