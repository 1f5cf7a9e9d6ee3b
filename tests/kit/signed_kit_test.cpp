// Signed kits: the minisign key and signature files, the trust policy's files,
// and reading a kit under a policy, which must refuse every kit that is not
// exactly what a trusted key signed, leave nothing behind when it refuses,
// and never unpack other bytes than those it checked.

#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_hasher.h"
#include "kit/minisign.h"
#include "kit/signed_kit.h"
#include "kit/trust_policy.h"
#include "platform/fault_injection.h"
#include "tests/kit/kit_fixture.h"

namespace {

using minisign::Algorithm;

struct KeyPair {
    minisign::PublicKey publicKey;
    std::string secretText;
};

KeyPair NewKeyPair() {
    KeyPair pair;
    std::string error;
    EXPECT_TRUE(minisign::GenerateKeyPair(minisign::KeyProtection::Unencrypted, "", pair.publicKey, pair.secretText, error)) << error;
    return pair;
}

minisign::Blake2b512 HashOf(const std::string& bytes) {
    minisign::Hasher hasher;
    hasher.Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return hasher.Final();
}

// The signature file text for `bytes`, prehashed or legacy.
std::string Sign(const KeyPair& pair, const std::string& bytes, const std::string& comment = "made by the tests",
                 Algorithm algorithm = Algorithm::Prehashed) {
    minisign::SecretKey key;
    std::string error;
    EXPECT_TRUE(minisign::ParseSecretKey(pair.secretText, "", key, error)) << error;
    minisign::Signature signature = minisign::SignPrehashed(key, HashOf(bytes), comment);
    if (algorithm == Algorithm::Legacy) {
        // The older form signs the file itself; minisign -l makes it.
        signature.algorithm = Algorithm::Legacy;
        crypto_sign_detached(signature.signature.data(), nullptr, reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size(), key.key.data());
        std::string global(signature.signature.begin(), signature.signature.end());
        global += comment;
        crypto_sign_detached(signature.globalSignature.data(), nullptr,
                             reinterpret_cast<const uint8_t*>(global.data()), global.size(), key.key.data());
    }
    return minisign::FormatSignature(signature);
}

// A kit of two small files, the second one `second`; with `stored`, in
// stored blocks, so that its length depends only on the length of `second`.
std::string SampleKit(const std::string& second = "second file", bool stored = false) {
    const std::string first = TextLikeBytes(70000);
    std::vector<KitFileEntry> files(2);
    files[0].name = u"a\\first.txt";
    files[0].size = static_cast<uint32_t>(first.size());
    files[1].name = u"second.txt";
    files[1].offset = files[0].size;
    files[1].size = static_cast<uint32_t>(second.size());
    const std::vector<KitDescription> descriptions{{u"en", u"Product", u"Vendor", u""}};
    const std::string container =
        kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, descriptions, files) + first + second;
    if (!stored) return Deflate(container);
    std::vector<size_t> blocks;
    for (size_t left = container.size(); left > 0; left -= blocks.back()) blocks.push_back(std::min<size_t>(left, 65535));
    return StoredDeflate(container, blocks);
}

TrustPolicy PolicyOf(std::vector<minisign::PublicKey> keys) {
    TrustPolicy policy;
    policy.inForce = true;
    policy.keys = std::move(keys);
    return policy;
}

class SignedKitTest : public KitTest {
protected:
    // Writes the kit and, when `signature` is not empty, its signature file.
    WString Place(const std::string& kit, const std::string& signature) {
        const WString path = Kit(kit, "vxk5.efd");
        if (!signature.empty()) WriteFile(tmp_.path("vxk5.efd.minisig"), signature);
        return path;
    }

    SignatureVerdict Read(const WString& path, const TrustPolicy& policy, uint32_t* code = nullptr) {
        check_ = SignatureCheck();
        const uint32_t result = ReadSignedKit(kit_, path, policy, check_);
        if (code != nullptr) *code = result;
        return check_.verdict;
    }

    // A refusal leaves nothing: no container, no records.
    void ExpectNothingLeft(const char* what) {
        EXPECT_EQ(ContainerCount(), 0u) << what;
        // A refused kit is no kit; a kit that failed to read has no entries and no container.
        EXPECT_TRUE(kit_ == nullptr || kit_->Entries().empty()) << what;
        EXPECT_TRUE(kit_ == nullptr || kit_->Container() == INVALID_FILE_HANDLE) << what;
    }

    std::unique_ptr<DistributionKit> kit_;
    SignatureCheck check_;
};

TEST(MinisignFiles, KeysAndSignaturesRoundTripAndBadOnesAreTold) {
    const KeyPair pair = NewKeyPair();
    minisign::PublicKey parsed;
    std::string error;
    const std::string file = minisign::FormatPublicKey(pair.publicKey);
    ASSERT_TRUE(minisign::ParsePublicKey(file, parsed, error)) << error;
    EXPECT_EQ(parsed.keyId, pair.publicKey.keyId);
    EXPECT_EQ(parsed.key, pair.publicKey.key);
    EXPECT_NE(file.find("minisign public key " + minisign::KeyIdText(pair.publicKey.keyId)), std::string::npos);
    // The bare key line, as minisign -P takes it, is a key as well.
    ASSERT_TRUE(minisign::ParsePublicKey(file.substr(file.find('\n') + 1), parsed, error)) << error;

    const std::string keyLine = file.substr(file.find('\n') + 1, file.size() - file.find('\n') - 2);
    for (const std::string& bad : {std::string("untrusted comment: x\n") + keyLine.substr(4) + "\n",  // short
                                   std::string("untrusted comment: x\n") + keyLine + "AAAA\n",        // long
                                   std::string("untrusted comment: x\n") + "#" + keyLine.substr(1) + "\n",
                                   std::string("untrusted comment: x\n"), std::string(""),
                                   std::string("a\nb\nc\n")}) {
        EXPECT_FALSE(minisign::ParsePublicKey(bad, parsed, error)) << bad;
        EXPECT_FALSE(error.empty());
    }

    const std::string signature = Sign(pair, "data", "comment\twith tab");
    minisign::Signature sig;
    ASSERT_TRUE(minisign::ParseSignature(signature, sig, error)) << error;
    EXPECT_EQ(sig.trustedComment, "comment\twith tab");
    EXPECT_EQ(sig.keyId, pair.publicKey.keyId);
    EXPECT_EQ(minisign::FormatSignature(sig), signature);
    EXPECT_TRUE(minisign::GlobalSignatureHolds(sig, pair.publicKey));
    const minisign::Blake2b512 hash = HashOf("data");
    EXPECT_TRUE(minisign::SignatureHolds(sig, pair.publicKey, hash.data(), hash.size()));
    const minisign::Blake2b512 other = HashOf("date");
    EXPECT_FALSE(minisign::SignatureHolds(sig, pair.publicKey, other.data(), other.size()));
    // CR LF line ends are read as well.
    std::string crlf;
    for (char c : signature) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(minisign::ParseSignature(crlf, sig, error)) << error;

    const size_t second = signature.find('\n') + 1;
    for (const std::string& bad : {signature.substr(0, signature.size() / 2), signature.substr(second),
                                   signature + "more\n", std::string("untrusted comment:\n\n\n\n"),
                                   signature.substr(0, second) + "Rk" + signature.substr(second + 2)}) {  // algorithm "F?"
        EXPECT_FALSE(minisign::ParseSignature(bad, sig, error)) << bad;
    }
}

TEST(MinisignFiles, SecretKeysDecryptOnlyWithTheirPassphrase) {
    minisign::PublicKey publicKey;
    std::string text;
    std::string error;
    // minisign's own limits take seconds and 1 GiB for each try: cheaper ones
    // here (a key of minisign -G is tried with the kit tool).
    minisign::ScryptLimits cheap;
    cheap.opslimit = 32768;
    cheap.memlimit = 16 << 20;
    ASSERT_TRUE(minisign::GenerateKeyPair(minisign::KeyProtection::Passphrase, "right", publicKey, text, error, cheap)) << error;
    EXPECT_TRUE(minisign::SecretKeyIsEncrypted(text));
    minisign::SecretKey key;
    EXPECT_FALSE(minisign::ParseSecretKey(text, "wrong", key, error));
    EXPECT_EQ(error, "wrong passphrase");
    ASSERT_TRUE(minisign::ParseSecretKey(text, "right", key, error)) << error;
    EXPECT_EQ(key.keyId, publicKey.keyId);
    EXPECT_TRUE(std::equal(publicKey.key.begin(), publicKey.key.end(), key.key.begin() + 32));

    const KeyPair plain = NewKeyPair();
    EXPECT_FALSE(minisign::SecretKeyIsEncrypted(plain.secretText));
    // A flipped byte in the checksum, in the secret half, in the public half.
    for (const size_t fromEnd : {10u, 70u, 110u}) {
        std::string damaged = plain.secretText;
        char& c = damaged[damaged.size() - fromEnd];
        c = c == 'A' ? 'B' : 'A';
        EXPECT_FALSE(minisign::ParseSecretKey(damaged, "", key, error)) << fromEnd;
    }
}

TEST_F(SignedKitTest, WithoutAPolicySignedAndUnsignedKitsReadAsBefore) {
    const KeyPair pair = NewKeyPair();
    const std::string kit = SampleKit();
    uint32_t code = 1;
    EXPECT_EQ(Read(Place(kit, ""), TrustPolicy(), &code), SignatureVerdict::NotChecked);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(kit_->Entries().size(), 2u);
    // Even a signature of another kit is not looked at.
    EXPECT_EQ(Read(Place(kit, Sign(pair, "other")), TrustPolicy(), &code), SignatureVerdict::NotChecked);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(kit_->Entries().size(), 2u);
}

TEST_F(SignedKitTest, AKitSignedByATrustedKeyIsReadWhole) {
    const KeyPair trusted = NewKeyPair();
    const KeyPair other = NewKeyPair();
    const std::string kit = SampleKit("the last file");
    for (Algorithm algorithm : {Algorithm::Prehashed, Algorithm::Legacy}) {
        uint32_t code = 1;
        const WString path = Place(kit, Sign(trusted, kit, "timestamp:1\tfile:vxk5.efd", algorithm));
        ASSERT_EQ(Read(path, PolicyOf({other.publicKey, trusted.publicKey}), &code), SignatureVerdict::Verified);
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(check_.keyId, minisign::KeyIdText(trusted.publicKey.keyId));
        EXPECT_EQ(check_.trustedComment, "timestamp:1\tfile:vxk5.efd");
        ASSERT_EQ(kit_->Entries().size(), 2u);
        EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[1].offset, kit_->Entries()[1].size), "the last file");
    }
}

TEST_F(SignedKitTest, EveryKitThatIsNotExactlyWhatATrustedKeySignedIsRefused) {
    const KeyPair trusted = NewKeyPair();
    const KeyPair stranger = NewKeyPair();
    const std::string kit = SampleKit();
    const std::string good = Sign(trusted, kit);
    const TrustPolicy policy = PolicyOf({trusted.publicKey});

    std::string commentAltered = good;
    commentAltered.replace(commentAltered.find("made by"), 4, "MADE");
    std::string signatureFlipped = good;
    const size_t line = signatureFlipped.find('\n') + 1;
    signatureFlipped[line + 40] = signatureFlipped[line + 40] == 'A' ? 'B' : 'A';
    auto flipped = [&](size_t at) {
        std::string bytes = kit;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string kit;
        std::string signature;
        SignatureVerdict verdict;
    };
    const std::vector<Case> cases = {
        {"no signature", kit, "", SignatureVerdict::Missing},
        {"first byte flipped", flipped(0), good, SignatureVerdict::Mismatch},
        {"middle byte flipped", flipped(kit.size() / 2), good, SignatureVerdict::Mismatch},
        {"last byte flipped", flipped(kit.size() - 1), good, SignatureVerdict::Mismatch},
        {"bytes after the stream", kit + "tail", good, SignatureVerdict::Mismatch},
        {"signature of another kit", kit, Sign(trusted, SampleKit("other")), SignatureVerdict::Mismatch},
        {"another key", kit, Sign(stranger, kit), SignatureVerdict::UnknownKey},
        {"truncated signature", kit, good.substr(0, good.size() - 20), SignatureVerdict::Damaged},
        {"garbled signature", kit, "untrusted comment: x\n!!!!\ntrusted comment: y\n!!!!\n", SignatureVerdict::Damaged},
        {"empty signature file", kit, "\n", SignatureVerdict::Damaged},
        {"trusted comment altered", kit, commentAltered, SignatureVerdict::Mismatch},
        {"signature bytes altered", kit, signatureFlipped, SignatureVerdict::Mismatch},
    };
    for (const Case& c : cases) {
        std::remove(tmp_.path("vxk5.efd.minisig").c_str());
        uint32_t code = 0;
        EXPECT_EQ(Read(Place(c.kit, c.signature), policy, &code), c.verdict) << c.what;
        EXPECT_EQ(code, ERR_INVALID_DATA) << c.what;
        EXPECT_TRUE(check_.keyId.empty()) << c.what;
        ExpectNothingLeft(c.what);
    }

    // A policy whose keys were all unusable still refuses.
    EXPECT_EQ(Read(Place(kit, good), PolicyOf({})), SignatureVerdict::UnknownKey);
    ExpectNothingLeft("no usable key");
    // A directory where the signature file should be is no signature.
    std::remove(tmp_.path("vxk5.efd.minisig").c_str());
    MakeDirectories(tmp_.path("vxk5.efd.minisig"));
    EXPECT_EQ(Read(Place(kit, ""), policy), SignatureVerdict::Damaged);
    ExpectNothingLeft("directory");
}

// The test's hook runs once, after the kit was opened and before it is read.
struct Rewrite {
    std::function<void()> action;
    bool done = false;
};

int RewriteOnOpen(FaultStep step, const std::string&, void* context) {
    auto* rewrite = static_cast<Rewrite*>(context);
    if (step == FaultStep::KitOpened && !rewrite->done) {
        rewrite->done = true;
        rewrite->action();
    }
    return 0;
}

TEST_F(SignedKitTest, AKitRewrittenAfterTheCheckBeganNeverUnpacksUncheckedBytes) {
    const KeyPair trusted = NewKeyPair();
    const std::string original = SampleKit("original", true);
    const std::string other = SampleKit("replaced", true);  // same length, another last file
    ASSERT_EQ(original.size(), other.size());
    const TrustPolicy policy = PolicyOf({trusted.publicKey});
    const std::string kitPath = tmp_.path("vxk5.efd");
    struct Case {
        const char* what;
        std::function<void()> action;
        SignatureVerdict verdict;
    };
    const std::vector<Case> cases = {
        // A new file renamed over the kit: the open kit is still the signed one.
        {"renamed over", [&] {
             WriteFile(tmp_.path("new.efd"), other);
             ASSERT_EQ(std::rename(tmp_.path("new.efd").c_str(), kitPath.c_str()), 0);
         }, SignatureVerdict::Verified},
        // The same file overwritten in place: what is read is not what was signed.
        {"overwritten in place", [&] {
             FILE* file = std::fopen(kitPath.c_str(), "r+b");
             ASSERT_NE(file, nullptr);
             std::fwrite(other.data(), 1, other.size(), file);
             std::fclose(file);
         }, SignatureVerdict::Mismatch},
        // Cut short in place: no crash, and refused.
        {"truncated in place", [&] { ASSERT_EQ(truncate(kitPath.c_str(), 100), 0); }, SignatureVerdict::Mismatch},
    };
    for (const Case& c : cases) {
        Place(original, Sign(trusted, original));
        Rewrite rewrite{c.action};
        SetFaultHook(RewriteOnOpen, &rewrite);
        const SignatureVerdict verdict = Read(FromMultiByte(kitPath), policy);
        SetFaultHook(nullptr, nullptr);
        ASSERT_TRUE(rewrite.done) << c.what;
        EXPECT_EQ(verdict, c.verdict) << c.what;
        if (verdict == SignatureVerdict::Verified) {
            ASSERT_EQ(kit_->Entries().size(), 2u);
            EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[1].offset, kit_->Entries()[1].size), "original") << c.what;
        } else {
            ExpectNothingLeft(c.what);
        }
    }
}

TEST(KitHasher, HashesWhatItIsShownWhateverThePieces) {
    const std::string bytes = TextLikeBytes(200000);
    const minisign::Blake2b512 expected = HashOf(bytes);
    for (uint32_t piece : {3u, 4096u, 32768u, 100000u}) {
        KitHasher hasher(Algorithm::Prehashed);
        for (size_t at = 0; at < bytes.size(); at += piece) {
            const uint32_t size = static_cast<uint32_t>(std::min<size_t>(piece, bytes.size() - at));
            uint8_t* buffer = hasher.Buffer(piece);
            std::memcpy(buffer, bytes.data() + at, size);
            hasher.Observe(size);
        }
        const std::vector<uint8_t> hash = hasher.Message();
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), hash.begin(), hash.end())) << piece;
        EXPECT_EQ(hasher.ObservedBytes(), bytes.size());
    }
    // Pieces given faster than they are hashed fill the ring: the unpacking
    // then waits for the thread, many times over, and must never stall.
    {
        std::string many;
        for (int i = 0; i < 40; ++i) many += bytes;
        KitHasher hasher(Algorithm::Prehashed);
        for (size_t at = 0; at < many.size(); at += 32768) {
            const uint32_t size = static_cast<uint32_t>(std::min<size_t>(32768, many.size() - at));
            std::memcpy(hasher.Buffer(size), many.data() + at, size);
            hasher.Observe(size);
        }
        const minisign::Blake2b512 whole = HashOf(many);
        const std::vector<uint8_t> hash = hasher.Message();
        EXPECT_TRUE(std::equal(whole.begin(), whole.end(), hash.begin(), hash.end()));
    }
    KitHasher legacy(Algorithm::Legacy);
    std::memcpy(legacy.Buffer(5), "hello", 5);
    legacy.Observe(3);
    std::memcpy(legacy.Buffer(5), "lo", 2);
    legacy.Observe(2);
    const std::vector<uint8_t> message = legacy.Message();
    EXPECT_EQ(std::string(message.begin(), message.end()), "hello");
    // Dropped unfinished, the thread still ends.
    KitHasher dropped(Algorithm::Prehashed);
    dropped.Buffer(10);
    dropped.Observe(10);
}

class TrustPolicyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "key files owned by root and by others need root to make";
        MakeDirectories(dir_.path("keys"));
    }
    std::string KeyFile(const std::string& name, const minisign::PublicKey& key, mode_t mode, uid_t owner = 0) {
        const std::string path = dir_.path("keys/" + name);
        WriteFile(path, minisign::FormatPublicKey(key));
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        EXPECT_EQ(chown(path.c_str(), owner, 0), 0);
        return path;
    }
    TempDir dir_;
};

TEST_F(TrustPolicyFiles, OnlyKeyFilesThatOnlyRootCanHaveWrittenAreTrusted) {
    const KeyPair good = NewKeyPair();
    const KeyPair groupWritable = NewKeyPair();
    const KeyPair othersOwn = NewKeyPair();
    const KeyPair named = NewKeyPair();
    KeyFile("good.pub", good.publicKey, 0644);
    KeyFile("group.pub", groupWritable.publicKey, 0664);
    KeyFile("others.pub", othersOwn.publicKey, 0644, 65534);
    KeyFile("not-a-key.txt", named.publicKey, 0644);  // not *.pub: not read, but told
    WriteFile(dir_.path("keys/damaged.pub"), "untrusted comment: x\nRWQ=\n");

    std::vector<std::string> warnings;
    TrustPolicy policy = LoadTrustPolicy(FromMultiByte(dir_.path("keys")), {}, warnings);
    EXPECT_TRUE(policy.inForce);
    ASSERT_EQ(policy.keys.size(), 1u);
    EXPECT_NE(policy.FindKey(good.publicKey.keyId), nullptr);
    EXPECT_EQ(policy.FindKey(groupWritable.publicKey.keyId), nullptr);
    EXPECT_EQ(policy.FindKey(othersOwn.publicKey.keyId), nullptr);
    ASSERT_EQ(warnings.size(), 4u);  // damaged, group, not-a-key, others: sorted by name
    EXPECT_NE(warnings[0].find("damaged.pub"), std::string::npos);
    EXPECT_NE(warnings[1].find("group.pub: it is not owned by root or is writable by group or others"),
              std::string::npos) << warnings[1];
    EXPECT_NE(warnings[2].find("not-a-key.txt: only files named *.pub are trusted keys"), std::string::npos)
        << warnings[2];
    EXPECT_NE(warnings[3].find("others.pub"), std::string::npos);

    // Named files need no particular owner.
    const std::string namedPath = KeyFile("named.key", named.publicKey, 0666, 65534);
    warnings.clear();
    policy = LoadTrustPolicy(FromMultiByte(dir_.path("missing")), {FromMultiByte(namedPath)}, warnings);
    EXPECT_TRUE(policy.inForce);
    ASSERT_EQ(policy.keys.size(), 1u);
    EXPECT_EQ(policy.keys[0].keyId, named.publicKey.keyId);
    EXPECT_TRUE(warnings.empty());

    // No key file anywhere: no policy.
    warnings.clear();
    policy = LoadTrustPolicy(FromMultiByte(dir_.path("missing")), {}, warnings);
    EXPECT_FALSE(policy.inForce);
    EXPECT_TRUE(warnings.empty());
}

// A directory of keys that someone other than root could have changed (or
// the directory that holds it, /etc/vxk5 on a desktop) gives none of its keys
// and keeps the policy in force: whoever could write there could have removed
// the keys or put their own in place.
TEST_F(TrustPolicyFiles, ADirectoryOthersCouldChangeKeepsThePolicyInForceWithNoneOfItsKeys) {
    const KeyPair good = NewKeyPair();
    const KeyPair named = NewKeyPair();
    KeyFile("good.pub", good.publicKey, 0644);
    const std::string keys = dir_.path("keys");
    const std::string namedPath = dir_.path("named.key");
    WriteFile(namedPath, minisign::FormatPublicKey(named.publicKey));
    MakeDirectories(dir_.path("open/real"));
    ASSERT_EQ(chmod(dir_.path("open").c_str(), 0777), 0);
    ASSERT_EQ(symlink(dir_.path("open/real").c_str(), dir_.path("linked").c_str()), 0);
    WriteFile(dir_.path("plain-file"), "");
    const std::string refused =
        "it or the directory that holds it is not owned by root or is writable by group or others";

    struct Case {
        const char* what;
        mode_t keysMode;
        uid_t keysOwner;
        mode_t parentMode;
        std::string directory;
        const char* reason;  // nullptr: the directory's key is trusted
    };
    const std::vector<Case> cases = {
        {"as it should be", 0755, 0, 0700, keys, nullptr},
        {"keys writable by all", 0777, 0, 0700, keys, refused.c_str()},
        {"keys writable by the group", 0775, 0, 0700, keys, refused.c_str()},
        {"keys owned by another user", 0755, 65534, 0700, keys, refused.c_str()},
        {"parent writable by all", 0755, 0, 0777, keys, refused.c_str()},
        {"parent writable by the group", 0755, 0, 0770, keys, refused.c_str()},
        {"missing in a parent writable by all", 0755, 0, 0777, dir_.path("missing"), refused.c_str()},
        {"a link to a directory held by one writable by all", 0755, 0, 0700, dir_.path("linked"), refused.c_str()},
        {"a file where the directory should be", 0755, 0, 0700, dir_.path("plain-file"), "it is not a directory"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(chmod(keys.c_str(), c.keysMode), 0);
        ASSERT_EQ(chown(keys.c_str(), c.keysOwner, 0), 0);
        ASSERT_EQ(chmod(dir_.path().c_str(), c.parentMode), 0);
        std::vector<std::string> warnings;
        const TrustPolicy policy = LoadTrustPolicy(FromMultiByte(c.directory), {}, warnings);
        EXPECT_TRUE(policy.inForce) << c.what;
        if (c.reason == nullptr) {
            ASSERT_EQ(policy.keys.size(), 1u) << c.what;
            EXPECT_EQ(policy.keys[0].keyId, good.publicKey.keyId) << c.what;
            EXPECT_TRUE(warnings.empty()) << c.what;
            continue;
        }
        EXPECT_TRUE(policy.keys.empty()) << c.what;
        ASSERT_EQ(warnings.size(), 1u) << c.what;
        EXPECT_EQ(warnings[0], "ignoring every trusted key in " + c.directory + ": " + c.reason) << c.what;

        // Keys named on the command line still count.
        warnings.clear();
        const TrustPolicy withNamed =
            LoadTrustPolicy(FromMultiByte(c.directory), {FromMultiByte(namedPath)}, warnings);
        ASSERT_EQ(withNamed.keys.size(), 1u) << c.what;
        EXPECT_EQ(withNamed.keys[0].keyId, named.publicKey.keyId) << c.what;
    }
    ASSERT_EQ(chmod(dir_.path().c_str(), 0700), 0);
}

// A key named on the command line that cannot be used trusts no kit at all:
// neither another named key nor a good key of the directory stands in for it.
TEST_F(TrustPolicyFiles, ANamedKeyThatCannotBeUsedTrustsNoKit) {
    const KeyPair inDirectory = NewKeyPair();
    const KeyPair named = NewKeyPair();
    KeyFile("good.pub", inDirectory.publicKey, 0644);
    const std::string namedPath = dir_.path("named.key");
    WriteFile(namedPath, minisign::FormatPublicKey(named.publicKey));
    WriteFile(dir_.path("damaged.key"), "untrusted comment: x\nRWQ=\n");
    const std::string kit = SampleKit("the last file");
    const std::string kitPath = dir_.path("vxk5.efd");
    WriteFile(kitPath, kit);
    WriteFile(kitPath + ".minisig", Sign(inDirectory, kit));

    const std::vector<std::pair<const char*, std::string>> unusable = {
        {"missing", dir_.path("absent.pub")}, {"damaged", dir_.path("damaged.key")},
        {"a directory", dir_.path("keys")}, {"no file named", ""}};
    for (const auto& [what, path] : unusable) {
        for (const bool withGoodNamed : {false, true}) {
            std::vector<WString> namedFiles = {FromMultiByte(path)};
            if (withGoodNamed) namedFiles.insert(namedFiles.begin(), FromMultiByte(namedPath));
            std::vector<std::string> warnings;
            const TrustPolicy policy = LoadTrustPolicy(FromMultiByte(dir_.path("keys")), namedFiles, warnings);
            EXPECT_TRUE(policy.inForce) << what;
            EXPECT_TRUE(policy.keys.empty()) << what;
            ASSERT_EQ(warnings.size(), 2u) << what;
            EXPECT_EQ(warnings[0].rfind("ignoring trusted key ", 0), 0u) << what << ": " << warnings[0];
            EXPECT_EQ(warnings[1], "no kit is trusted: a trusted key named on the command line cannot be used");

            // The kit the directory's key signed is refused, and nothing of it is unpacked.
            std::unique_ptr<DistributionKit> read;
            SignatureCheck check;
            EXPECT_NE(ReadSignedKit(read, FromMultiByte(kitPath), policy, check), 0u) << what;
            EXPECT_EQ(check.verdict, SignatureVerdict::UnknownKey) << what;
            EXPECT_TRUE(read == nullptr || read->Entries().empty()) << what;
        }
    }

    // The same directory without the unusable name: its key verifies the kit.
    std::vector<std::string> warnings;
    const TrustPolicy policy = LoadTrustPolicy(FromMultiByte(dir_.path("keys")), {}, warnings);
    std::unique_ptr<DistributionKit> read;
    SignatureCheck check;
    EXPECT_EQ(ReadSignedKit(read, FromMultiByte(kitPath), policy, check), 0u);
    EXPECT_EQ(check.verdict, SignatureVerdict::Verified);
}

// Only *.pub files are keys; anything else in the directory is told, and puts
// no policy in force by itself.
TEST_F(TrustPolicyFiles, EveryEntryThatIsNoKeyFileIsTold) {
    const KeyPair key = NewKeyPair();
    KeyFile("lab.pub~", key.publicKey, 0644);
    KeyFile(".pub", key.publicKey, 0644);
    KeyFile("README", key.publicKey, 0644);
    MakeDirectories(dir_.path("keys/old"));
    std::vector<std::string> warnings;
    TrustPolicy policy = LoadTrustPolicy(FromMultiByte(dir_.path("keys")), {}, warnings);
    EXPECT_FALSE(policy.inForce);
    const std::string keys = dir_.path("keys");
    const std::vector<std::string> expected = {
        "ignoring " + keys + "/.pub: only files named *.pub are trusted keys",
        "ignoring " + keys + "/README: only files named *.pub are trusted keys",
        "ignoring " + keys + "/lab.pub~: only files named *.pub are trusted keys",
        "ignoring " + keys + "/old: only files named *.pub are trusted keys"};
    EXPECT_EQ(warnings, expected);

    KeyFile("lab.pub", key.publicKey, 0644);
    warnings.clear();
    policy = LoadTrustPolicy(FromMultiByte(dir_.path("keys")), {}, warnings);
    EXPECT_TRUE(policy.inForce);
    ASSERT_EQ(policy.keys.size(), 1u);
    EXPECT_EQ(warnings.size(), 4u);
}

}  // namespace
