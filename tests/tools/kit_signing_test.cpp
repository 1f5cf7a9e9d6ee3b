// vxk5-kit keygen, sign, verify --key and list --json against Debian's
// minisign: each tool checks what the other signs, and each signs with the
// other's secret keys, encrypted or not.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/kit_tool_run.h"

namespace {

class KitSigning : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunCommand(tmp_, {"minisign", "-v"}).status != 0) GTEST_SKIP() << "minisign is not installed";
        MakeDirectories(tmp_.path("src/doc"));
        WriteFile(tmp_.path("src/doc/readme.txt"), "read me\n");
        WriteFile(tmp_.path("src/settings.cfg"), "a=b\n");
        ASSERT_EQ(RunTool(tmp_, {"create", tmp_.path("src"), "-o", Kit(), "--quiet"}).status, 0);
        WriteFile(tmp_.path("passphrase"), "correct horse\n");
    }

    std::string Kit() const { return tmp_.path("vxk5.efd"); }
    std::string Path(const std::string& name) const { return tmp_.path(name); }

    // A key pair made by minisign; with a passphrase unless `plain`.
    void MinisignKeys(const std::string& name, bool plain) {
        std::vector<std::string> argv = {"minisign", "-G", "-p", Path(name + ".pub"), "-s", Path(name + ".key")};
        if (plain) argv.push_back("-W");
        const RunResult made = RunCommand(tmp_, argv, "correct horse\ncorrect horse\n");
        ASSERT_EQ(made.status, 0) << made.err << made.out;
    }
    RunResult MinisignVerifies(const std::string& key) {
        return RunCommand(tmp_, {"minisign", "-V", "-p", Path(key + ".pub"), "-m", Kit()});
    }

    TempDir tmp_;
    // No passphrase file unless a test names one; put back as it was after.
    ScopedEnv passphraseFile_{"VXK5_PASSPHRASE_FILE", std::nullopt};
};

TEST_F(KitSigning, KitsSignedByMinisignVerifyWithTheKitTool) {
    MinisignKeys("theirs", true);
    for (const bool legacy : {false, true}) {
        std::vector<std::string> argv = {"minisign", "-S", "-s", Path("theirs.key"), "-m", Kit(), "-t", "lab release"};
        if (legacy) argv.push_back("-l");
        ASSERT_EQ(RunCommand(tmp_, argv).status, 0);
        const RunResult verified = RunTool(tmp_, {"verify", "--key", Path("theirs.pub"), Kit()});
        EXPECT_EQ(verified.status, 0) << verified.err;
        EXPECT_NE(verified.out.find("Signature: good"), std::string::npos) << verified.out;
        EXPECT_NE(verified.out.find("trusted comment: lab release"), std::string::npos) << verified.out;
    }
    // minisign's unencrypted secret key signs with the kit tool as well.
    const RunResult signedKit = RunTool(tmp_, {"sign", "-s", Path("theirs.key"), Kit()});
    ASSERT_EQ(signedKit.status, 0) << signedKit.err;
    const RunResult checked = MinisignVerifies("theirs");
    EXPECT_EQ(checked.status, 0) << checked.err << checked.out;
    ASSERT_EQ(RunCommand(tmp_, {"minisign", "-S", "-s", Path("theirs.key"), "-m", Kit(), "-t", "lab release"}).status, 0);

    // list --json tells the key id minisign wrote into the public key's comment.
    const std::string publicKey = ReadFile(Path("theirs.pub"));
    const std::string marker = "minisign public key ";
    const std::string keyId = publicKey.substr(publicKey.find(marker) + marker.size(),
                                               publicKey.find('\n') - publicKey.find(marker) - marker.size());
    const RunResult listed = RunTool(tmp_, {"list", "--json", Kit()});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const nlohmann::json document = nlohmann::json::parse(listed.out);
    EXPECT_EQ(document["signature"]["key_id"], keyId);
    EXPECT_EQ(document["signature"]["trusted_comment"], "lab release");
}

TEST_F(KitSigning, KitsSignedByTheKitToolVerifyWithMinisign) {
    const RunResult made = RunTool(tmp_, {"keygen", "-W", "-p", Path("ours.pub"), "-s", Path("ours.key")});
    ASSERT_EQ(made.status, 0) << made.err;
    struct stat status;
    ASSERT_EQ(stat(Path("ours.key").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the secret key is for its owner only";

    // The default trusted comment, as minisign writes one.
    ASSERT_EQ(RunTool(tmp_, {"sign", "-s", Path("ours.key"), Kit()}).status, 0);
    RunResult checked = MinisignVerifies("ours");
    EXPECT_EQ(checked.status, 0) << checked.err << checked.out;
    EXPECT_NE(checked.out.find("file:vxk5.efd\thashed"), std::string::npos) << checked.out;
    ASSERT_EQ(RunTool(tmp_, {"sign", "-s", Path("ours.key"), "-t", "release 7", Kit()}).status, 0);
    checked = MinisignVerifies("ours");
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_NE(checked.out.find("Trusted comment: release 7"), std::string::npos) << checked.out;
    // minisign signs with our secret key as well.
    ASSERT_EQ(RunCommand(tmp_, {"minisign", "-S", "-s", Path("ours.key"), "-m", Kit()}).status, 0);
    EXPECT_EQ(RunTool(tmp_, {"verify", "--key", Path("ours.pub"), Kit()}).status, 0);

    // Existing key files are kept unless -f.
    const std::string before = ReadFile(Path("ours.key"));
    const RunResult again = RunTool(tmp_, {"keygen", "-W", "-p", Path("ours.pub"), "-s", Path("ours.key")});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
    EXPECT_EQ(ReadFile(Path("ours.key")), before);
    EXPECT_EQ(RunTool(tmp_, {"keygen", "-W", "-f", "-p", Path("ours.pub"), "-s", Path("ours.key")}).status, 0);
    EXPECT_NE(ReadFile(Path("ours.key")), before);
}

TEST_F(KitSigning, AnEncryptedKeyOfMinisignSignsWithItsPassphrase) {
    MinisignKeys("theirs", false);
    // No terminal and no passphrase file: told, nothing written.
    RunResult signedKit = RunTool(tmp_, {"sign", "-s", Path("theirs.key"), Kit()});
    EXPECT_EQ(signedKit.status, 1);
    EXPECT_NE(signedKit.err.find("VXK5_PASSPHRASE_FILE"), std::string::npos) << signedKit.err;
    EXPECT_FALSE(PathExists(Kit() + ".minisig"));

    setenv("VXK5_PASSPHRASE_FILE", Path("passphrase").c_str(), 1);
    signedKit = RunTool(tmp_, {"sign", "-s", Path("theirs.key"), Kit()});
    ASSERT_EQ(signedKit.status, 0) << signedKit.err;
    const RunResult checked = MinisignVerifies("theirs");
    EXPECT_EQ(checked.status, 0) << checked.err << checked.out;
}

TEST_F(KitSigning, AnEncryptedKeyOfTheKitToolSignsWithMinisign) {
    setenv("VXK5_PASSPHRASE_FILE", Path("passphrase").c_str(), 1);
    const RunResult made = RunTool(tmp_, {"keygen", "-p", Path("ours.pub"), "-s", Path("ours.key")});
    ASSERT_EQ(made.status, 0) << made.err;
    const RunResult signedKit =
        RunCommand(tmp_, {"minisign", "-S", "-s", Path("ours.key"), "-m", Kit()}, "correct horse\n");
    ASSERT_EQ(signedKit.status, 0) << signedKit.err << signedKit.out;
    EXPECT_EQ(RunTool(tmp_, {"verify", "--key", Path("ours.pub"), Kit()}).status, 0);
    // (A wrong passphrase is refused: the kit layer's tests try it with cheaper limits.)
}

TEST_F(KitSigning, VerifyWithAKeyFailsOnEveryBadSignature) {
    ASSERT_EQ(RunTool(tmp_, {"keygen", "-W", "-p", Path("a.pub"), "-s", Path("a.key")}).status, 0);
    ASSERT_EQ(RunTool(tmp_, {"keygen", "-W", "-p", Path("b.pub"), "-s", Path("b.key")}).status, 0);

    RunResult result = RunTool(tmp_, {"verify", "--key", Path("a.pub"), Kit()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("signature missing"), std::string::npos) << result.err;
    nlohmann::json listed = nlohmann::json::parse(RunTool(tmp_, {"list", "--json", Kit()}).out);
    EXPECT_TRUE(listed["signature"].is_null());

    ASSERT_EQ(RunTool(tmp_, {"sign", "-s", Path("b.key"), Kit()}).status, 0);
    result = RunTool(tmp_, {"verify", "--key", Path("a.pub"), Kit()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("unknown key id"), std::string::npos) << result.err;

    ASSERT_EQ(RunTool(tmp_, {"sign", "-s", Path("a.key"), Kit()}).status, 0);
    EXPECT_EQ(RunTool(tmp_, {"verify", "--key=" + Path("a.pub"), "--strict", Kit()}).status, 0);
    const std::string original = ReadFile(Kit());
    std::string kit = original;
    kit[kit.size() / 2] = static_cast<char>(kit[kit.size() / 2] ^ 1);
    WriteFile(Kit(), kit);
    result = RunTool(tmp_, {"verify", "--key", Path("a.pub"), Kit()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("does not match"), std::string::npos) << result.err;

    WriteFile(Kit(), original);
    WriteFile(Kit() + ".minisig", "untrusted comment: x\nnot base64\n");
    result = RunTool(tmp_, {"verify", "--key", Path("a.pub"), Kit()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("signature damaged"), std::string::npos) << result.err;
    listed = nlohmann::json::parse(RunTool(tmp_, {"list", "--json", Kit()}).out);
    EXPECT_TRUE(listed["signature"]["key_id"].is_null());
    EXPECT_TRUE(listed["signature"].contains("damaged"));

    // Usage errors: a comment of two lines, a key file that is no key.
    EXPECT_EQ(RunTool(tmp_, {"sign", "-s", Path("a.key"), "-t", "two\nlines", Kit()}).status, 2);
    EXPECT_EQ(RunTool(tmp_, {"sign", Kit()}).status, 2);
    EXPECT_EQ(RunTool(tmp_, {"keygen", "-W", "-p", Path("x.pub")}).status, 2);
    EXPECT_EQ(RunTool(tmp_, {"verify", "--key", Kit(), Kit()}).status, 1);
}

}  // namespace
