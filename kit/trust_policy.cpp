#include "kit/trust_policy.h"

#include "base/conversion.h"
#include "platform/policy_files.h"

namespace vxk5 {

namespace {

// A public key file is two short lines; anything much larger is not one.
constexpr size_t kMaxKeyFileBytes = 4096;

const char* Reason(SmallFileRead read) {
    switch (read) {
        case SmallFileRead::Read: return "";
        case SmallFileRead::Missing: return "it does not exist";
        case SmallFileRead::NotRegular: return "it is not a regular file";
        case SmallFileRead::TooLarge: return "it is too large for a key file";
        case SmallFileRead::Unreadable: return "it cannot be read";
        case SmallFileRead::NotProtected: return "it is not owned by root or is writable by group or others";
    }
    return "it cannot be read";
}

void AddKey(TrustPolicy& policy, const WString& path, SmallFileRead read, const std::string& text,
            std::vector<std::string>& warnings) {
    const std::string name = Utf8Of(path);
    if (read != SmallFileRead::Read) {
        warnings.push_back("ignoring trusted key " + name + ": " + Reason(read));
        return;
    }
    minisign::PublicKey key;
    std::string error;
    if (!minisign::ParsePublicKey(text, key, error)) {
        warnings.push_back("ignoring trusted key " + name + ": " + error);
        return;
    }
    policy.keys.push_back(key);
}

}  // namespace

const minisign::PublicKey* TrustPolicy::FindKey(const minisign::KeyId& keyId) const {
    for (const minisign::PublicKey& key : keys) {
        if (key.keyId == keyId) return &key;
    }
    return nullptr;
}

TrustPolicy LoadTrustPolicy(const WString& directory, const std::vector<WString>& namedFiles,
                            std::vector<std::string>& warnings) {
    TrustPolicy policy;
    for (const WString& name : ListNamesEndingWith(directory, kTrustedKeySuffix)) {
        const WString path = directory + u"/" + name;
        policy.inForce = true;
        std::string text;
        const SmallFileRead read = ReadProtectedFile(path, kMaxKeyFileBytes, text);
        AddKey(policy, path, read, text, warnings);
    }
    // Named by whoever started the installer: no ownership rule.
    for (const WString& path : namedFiles) {
        policy.inForce = true;
        std::string text;
        const SmallFileRead read = ReadSmallFile(path, kMaxKeyFileBytes, text);
        AddKey(policy, path, read, text, warnings);
    }
    return policy;
}

}  // namespace vxk5
