// The checks on a template directory before anything is copied, and the
// words for a failed installation's file and reason.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>

#include "base/conversion.h"
#include "run/failure_reason.h"
#include "run/target_check.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace vxk5;

namespace {


TEST(TargetCheck, NamesThatCannotBecomeATemplateDirectoryAreTurnedAway) {
    TempDir temp;
    const std::string root = temp.path("t");
    MakeDirectories(root + "/existing");
    WriteFile(root + "/file", "a file");
    ASSERT_EQ(symlink((root + "/existing").c_str(), (root + "/to-dir").c_str()), 0);
    ASSERT_EQ(symlink((root + "/nowhere").c_str(), (root + "/dangling").c_str()), 0);
    ASSERT_EQ(symlink((root + "/file").c_str(), (root + "/to-file").c_str()), 0);

    const struct {
        std::string path;
        bool usable;
    } cases[] = {
        {root + "/existing", true},
        {root + "/existing/", true},
        {root + "/missing", true},
        {root + "/missing/deeper/still/", true},
        {root + "/to-dir/new", true},
        {root + "/file", false},
        {root + "/file/", false},
        {root + "/file/sub", false},
        {root + "/file/sub/deeper/", false},
        {root + "/to-file/sub", false},
        {root + "/dangling", false},
        {root + "/dangling/sub", false},
        {"relative/path", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUsableTarget(FromMultiByte(c.path)), c.usable) << c.path;

    if (geteuid() != 0) {  // the superuser may write anywhere
        MakeDirectories(root + "/locked");
        ASSERT_EQ(chmod((root + "/locked").c_str(), 0555), 0);
        EXPECT_FALSE(IsUsableTarget(FromMultiByte(root + "/locked")));
        EXPECT_FALSE(IsUsableTarget(FromMultiByte(root + "/locked/new/")));
        chmod((root + "/locked").c_str(), 0755);
    }
}

TEST(FailureReason, PathAndTheSystemsReasonInTheUsersLocale) {
    const std::string english = std::strerror(ENOSPC);
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"/t/README.de.txt", ENOSPC})), "/t/README.de.txt: " + english);
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"", EACCES})), std::strerror(EACCES));
    EXPECT_EQ(ToMultiByteString(DescribeFailure({"/t/only-path", 0})), "/t/only-path");
    EXPECT_EQ(ToMultiByteString(DescribeFailure({})), "");

    const std::string before = std::setlocale(LC_MESSAGES, nullptr);
    if (std::setlocale(LC_MESSAGES, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
    const std::string german = ToMultiByteString(DescribeFailure({"/t/a", ENOSPC}));
    std::setlocale(LC_MESSAGES, before.c_str());
    EXPECT_EQ(german.rfind("/t/a: ", 0), 0u) << german;
    EXPECT_NE(german, "/t/a: " + english) << "worded in the user's language";
}

}  // namespace
