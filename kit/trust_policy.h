#pragma once
// The administrator's trust policy: the public keys a kit must be signed with.
// Keys come from the files "*.pub" in /etc/vxk5/trusted-keys/ (each a regular
// file owned by root and writable by nobody else; any other is ignored with
// a warning, and so is any other entry there) and from files named on the
// command line (--trusted-key).
//
// The policy is in force as soon as one key file is found or named, usable or
// not: a key file that is damaged or ignored leaves the policy in force with
// fewer keys (possibly none, which refuses every kit), so that a mistake in
// the policy never lets an unsigned kit through. A key file named on the
// command line that cannot be used leaves the policy in force with no key at
// all: the kit was to be checked with that key, and no other stands in for
// it. For the same reason a directory of keys, or the one that holds it
// (/etc/vxk5), that is not root's or is writable by group or others, or that
// cannot be read, puts the policy in force without any of its keys, with a
// warning.

#include <string>
#include <vector>

#include "base/wstring.h"
#include "kit/minisign.h"

namespace vxk5 {

constexpr char16_t kTrustedKeysDirectory[] = u"/etc/vxk5/trusted-keys";
constexpr char kTrustedKeySuffix[] = ".pub";

struct TrustPolicy {
    bool inForce = false;
    std::vector<minisign::PublicKey> keys;

    const minisign::PublicKey* FindKey(const minisign::KeyId& keyId) const;
};

// Reads the policy from the key files of `directory` and from `namedFiles`.
// Each file or directory that is ignored or unusable adds a line to `warnings`
// (the file and the reason), for the caller to show.
TrustPolicy LoadTrustPolicy(const WString& directory, const std::vector<WString>& namedFiles,
                            std::vector<std::string>& warnings);

}  // namespace vxk5
