#include "base/conversion.h"
#include "platform/file_system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

WString TempDirectory() {
    WString directory = u"unset";
    EXPECT_EQ(GetTempDirectory(directory), 0u);
    return directory;
}

TEST(GetTempDirectory, TmpdirRules) {
    TempDir dir;
    {
        const ScopedEnv tmpdir("TMPDIR", std::nullopt);
        EXPECT_EQ(TempDirectory(), u"/tmp/");
    }
    WriteFile(dir.path("file"), "");
    for (const std::string& unusable : {dir.path("file"), dir.path("missing"), std::string()}) {
        const ScopedEnv tmpdir("TMPDIR", unusable);
        EXPECT_EQ(TempDirectory(), u"/tmp/") << unusable;
    }
    {
        const ScopedEnv tmpdir("TMPDIR", "/var/tmp");
        EXPECT_EQ(TempDirectory(), u"/var/tmp/");
    }
    {
        const ScopedEnv tmpdir("TMPDIR", "/var/tmp/");
        EXPECT_EQ(TempDirectory(), u"/var/tmp/");
    }
    symlink(dir.path().c_str(), dir.path("link").c_str());
    const ScopedEnv tmpdir("TMPDIR", dir.path("link"));
    EXPECT_EQ(TempDirectory(), FromMultiByte(dir.path("link/"))) << "links to directories count";
}

TEST(GetFileSizeByPath, LowBitsOrOne) {
    TempDir dir;
    const std::string big = dir.path("big");
    {
        const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 5LL << 30), 0);  // sparse: takes no space
        close(fd);
    }
    uint32_t size = 0;
    EXPECT_EQ(GetFileSizeByPath(FromMultiByte(big), &size), 0u);
    EXPECT_EQ(size, 1u << 30);
    size = 42;
    EXPECT_EQ(GetFileSizeByPath(FromMultiByte(dir.path("missing")), &size), 1u);
    EXPECT_EQ(size, 42u);
    EXPECT_EQ(GetFileSizeByPath(FromMultiByte(big), nullptr), 1u);
    uint64_t whole = 0;
    EXPECT_EQ(GetFileSize64ByPath(FromMultiByte(big), &whole), 0u);
    EXPECT_EQ(whole, 5ULL << 30) << "the whole size, past 4 GiB";
    EXPECT_EQ(GetFileSize64ByPath(FromMultiByte(dir.path("missing")), &whole), 1u);
    EXPECT_EQ(GetFileSize64ByPath(FromMultiByte(big), nullptr), 1u);
}

TEST(GetTempFreeSpace, CountsPast4GiBWithoutSaturating) {
    uint64_t bytes = 5;
    EXPECT_EQ(GetTempFreeSpace(nullptr), ERR_INVALID_PARAMETER);
    std::string roomy;
    uint64_t expected = 0;
    for (const char* candidate : {"/dev/shm", "/", "/tmp"}) {
        struct statvfs status;
        if (statvfs(candidate, &status) == 0 &&
            static_cast<unsigned __int128>(status.f_frsize) * status.f_bfree > (8ULL << 30)) {
            roomy = candidate;
            expected = static_cast<uint64_t>(status.f_frsize) * status.f_bfree;
            break;
        }
    }
    if (roomy.empty()) GTEST_SKIP() << "no file system with more than 8 GiB free";
    const ScopedEnv tmpdir("TMPDIR", roomy);
    EXPECT_EQ(GetTempFreeSpace(&bytes), 0u);
    EXPECT_GT(bytes, 4294967295u) << "a 64-bit count, not one that stops at 4 GiB";
    EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(expected), 256.0 * 1024 * 1024);
}

TEST(GetTempFreeSpace, SmallFileSystemReportsItsFreeBytes) {
    // /dev/shm may be small in a container; use it only when it is below 4 GiB
    // and nobody else is filling it during the test (a loose bound).
    struct statvfs status;
    if (statvfs("/dev/shm", &status) != 0) GTEST_SKIP() << "no /dev/shm";
    const uint64_t expected = static_cast<uint64_t>(status.f_frsize) * status.f_bfree;
    if (expected >= 0xFFFFFFFFu) GTEST_SKIP() << "/dev/shm has 4 GiB or more free";
    const ScopedEnv tmpdir("TMPDIR", "/dev/shm");
    uint64_t bytes = 0;
    EXPECT_EQ(GetTempFreeSpace(&bytes), 0u);
    EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(expected), 64.0 * 1024 * 1024);
}

TEST(GetHomeDirectory, HomeVerbatimElseTheUserDatabase) {
    {
        const ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(GetHomeDirectory(), u"/home/u");
    }
    {
        const ScopedEnv home("HOME", "/home/u/");
        EXPECT_EQ(GetHomeDirectory(), u"/home/u/") << "no separator is added or taken";
    }
    {
        const std::string odd = "/home/$(touch pwned) `x` *";
        const ScopedEnv home("HOME", odd);
        EXPECT_EQ(GetHomeDirectory(), FromMultiByte(odd)) << "taken literally, nothing expanded";
    }
    const ScopedEnv home("HOME", std::nullopt);
    const passwd* entry = getpwuid(getuid());
    EXPECT_EQ(GetHomeDirectory(), entry != nullptr ? FromMultiByte(AString(entry->pw_dir)) : WString());
}

TEST(OpenStdioFile, OpensByWidePath) {
    TempDir dir;
    EXPECT_EQ(OpenStdioFile(FromMultiByte(dir.path("missing")).c_str(), u"r"), nullptr);
    {
        const StdioFile out = OpenStdioFile(FromMultiByte(dir.path("f")).c_str(), u"w");
        ASSERT_NE(out, nullptr);
        fputs("line", out.get());
    }
    EXPECT_EQ(ReadFile(dir.path("f")), "line");
    const StdioFile in = OpenStdioFile(FromMultiByte(dir.path("f")).c_str(), u"r");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(fgetc(in.get()), 'l');
}

}  // namespace
