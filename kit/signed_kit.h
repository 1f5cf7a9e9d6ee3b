#pragma once
// Reading a kit under the trust policy: the kit's detached signature
// ("vxk5.efd.minisig" beside "vxk5.efd") is checked over exactly the bytes
// that are inflated. The kit file is opened once and read once; its bytes are
// hashed as they are inflated, and the verdict is given when the unpacking
// has ended, before anything is installed. A kit rewritten meanwhile can
// therefore never be installed unverified: either the bytes read are those
// signed, or the verdict is that the signature does not match.

#include <cstdint>
#include <string>

#include "base/wstring.h"
#include "kit/distribution_kit.h"
#include "kit/kit_reader.h"
#include "kit/trust_policy.h"

namespace vxk5 {

constexpr char16_t kSignatureSuffix[] = u".minisig";
// A signature file holds four lines; one of this size is not one of ours.
constexpr size_t kMaxSignatureFileBytes = 32768;

enum class SignatureVerdict {
    NotChecked,   // no policy in force: the kit was read as ever
    Verified,     // signed by a trusted key
    Missing,      // no signature file beside the kit
    Damaged,      // the signature file cannot be read or is not a signature
    UnknownKey,   // signed with a key that is not trusted
    Mismatch,     // the signature or its trusted comment does not match
};

struct SignatureCheck {
    SignatureVerdict verdict = SignatureVerdict::NotChecked;
    std::string keyId;           // of a verified signature, as minisign prints it
    std::string trustedComment;  // of a verified signature
};

// The signature file's path for the kit at `kitPath`.
WString SignaturePathOf(const WString& kitPath);

// ReadKit under `policy`. Without a policy in force it is ReadKit itself
// (read as `reading` says) and the verdict NotChecked; with one the kit is
// always read whole, since the signature covers all of it. With one, the kit is read only when its signature
// verifies with a trusted key: any other verdict leaves `kit` empty and
// returns ERR_INVALID_DATA. A kit whose
// signature verifies but which cannot be read gives ReadKit's code with the
// verdict Verified; codes that say the kit could not be read to its end (no
// space, no temporary file, a read that failed) are returned as they are.
[[nodiscard]] uint32_t ReadSignedKit(std::unique_ptr<DistributionKit>& kit, const WString& kitPath, const TrustPolicy& policy,
                                     SignatureCheck& check, KitReading reading = KitReading::Whole);

// The English name of a verdict, for messages of the tools and the result document.
const char* VerdictText(SignatureVerdict verdict);

}  // namespace vxk5
