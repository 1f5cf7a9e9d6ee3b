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

// False when the file gives no key (told in `warnings`).
bool AddKey(TrustPolicy& policy, const WString& path, SmallFileRead read, const std::string& text,
            std::vector<std::string>& warnings) {
    const std::string name = path.empty() ? std::string("(no file named)") : Utf8Of(path);
    if (read != SmallFileRead::Read) {
        warnings.push_back("ignoring trusted key " + name + ": " + Reason(read));
        return false;
    }
    minisign::PublicKey key;
    std::string error;
    if (!minisign::ParsePublicKey(text, key, error)) {
        warnings.push_back("ignoring trusted key " + name + ": " + error);
        return false;
    }
    policy.keys.push_back(key);
    return true;
}

const char* Reason(PolicyDirectory state) {
    switch (state) {
        case PolicyDirectory::Absent:
        case PolicyDirectory::Protected: break;
        case PolicyDirectory::NotProtected:
            return "it or the directory that holds it is not owned by root or is writable by group or others";
        case PolicyDirectory::NotDirectory: return "it is not a directory";
        case PolicyDirectory::Unexaminable: return "it cannot be examined";
    }
    return "it cannot be read";
}

bool IsKeyFileName(const WString& name) {
    const WString suffix = FromMultiByte(AString(kTrustedKeySuffix));
    return name.length() > suffix.length() && name.substr(name.length() - suffix.length()) == suffix;
}

// The keys of the administrator's directory. A directory that someone other
// than root could have changed, or that cannot be read, puts the policy in
// force with none of its keys.
void AddDirectoryKeys(TrustPolicy& policy, const WString& directory, std::vector<std::string>& warnings) {
    const PolicyDirectory state = ExaminePolicyDirectory(directory);
    if (state == PolicyDirectory::Absent) return;
    std::vector<WString> names;
    const char* refusal = nullptr;
    if (state != PolicyDirectory::Protected) {
        refusal = Reason(state);
    } else if (!ListEntryNames(directory, names)) {
        refusal = "it cannot be read";
    }
    if (refusal != nullptr) {
        policy.inForce = true;
        warnings.push_back("ignoring every trusted key in " + Utf8Of(directory) + ": " + refusal);
        return;
    }
    for (const WString& name : names) {
        const WString path = directory + u"/" + name;
        if (!IsKeyFileName(name)) {
            warnings.push_back("ignoring " + Utf8Of(path) + ": only files named *" + kTrustedKeySuffix +
                               " are trusted keys");
            continue;
        }
        policy.inForce = true;
        std::string text;
        const SmallFileRead read = ReadProtectedFile(path, kMaxKeyFileBytes, text);
        (void)AddKey(policy, path, read, text, warnings);
    }
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
    AddDirectoryKeys(policy, directory, warnings);
    // Named by whoever started the installer: no ownership rule. A named key
    // that cannot be used is a key the kit was meant to be checked with: no
    // other key, the directory's included, may stand in for it.
    bool unusable = false;
    for (const WString& path : namedFiles) {
        policy.inForce = true;
        std::string text;
        const SmallFileRead read = ReadSmallFile(path, kMaxKeyFileBytes, text);
        if (!AddKey(policy, path, read, text, warnings)) unusable = true;
    }
    if (unusable) {
        policy.keys.clear();
        warnings.push_back("no kit is trusted: a trusted key named on the command line cannot be used");
    }
    return policy;
}

}  // namespace vxk5
