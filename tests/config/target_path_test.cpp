// The template directory the user means: "~" and relative entries resolved,
// nothing else rewritten.

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "config/target_path.h"
#include "tests/support/scoped_cwd.h"
#include "tests/support/temp_dir.h"
#include "tests/platform/platform_test_support.h"

#include <gtest/gtest.h>

namespace {


std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// root's home directory as the password database gives it.
std::string RootHome() {
    const passwd* root = getpwnam("root");
    std::string home = root != nullptr ? root->pw_dir : "";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string Resolved(const std::string& typed) {
    WString absolute = u"(untouched)";
    if (!ResolveTargetPath(FromMultiByte(typed), absolute)) return "(unresolved)";
    return ToMultiByteString(absolute);
}

TEST(TargetPath, HomePrefixAndRelativeEntriesBecomeAbsoluteAndNothingElseChanges) {
    TempDir temp;
    MakeDirectories(temp.path("home"));
    MakeDirectories(temp.path("cwd"));
    const std::string home = temp.path("home");
    ScopedEnv homeVariable("HOME", home + "//");  // its trailing slashes are not doubled
    ScopedCwd cwd(temp.path("cwd"));
    const std::string here = RealPath(temp.path("cwd"));

    const struct {
        const char* typed;
        std::string expected;
    } cases[] = {
        {"~", home},
        {"~/", home + "/"},
        {"~/x", home + "/x"},
        {"~/x/y/", home + "/x/y/"},
        {"~root", RootHome()},
        {"~root/x", RootHome() + "/x"},
        {"~no-such-user-vxk5/x", "(unresolved)"},  // a user the password database does not know
        {"~no-such-user-vxk5", "(unresolved)"},
        {"x~/y", here + "/x~/y"},
        {"rel/x", here + "/rel/x"},
        {"rel/x/", here + "/rel/x/"},
        {"./a/../b", here + "/./a/../b"},  // not folded
        {"  spaced  ", here + "/  spaced  "},  // not trimmed
        {"/abs/~/x", "/abs/~/x"},
        {"/abs/ x /", "/abs/ x /"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Resolved(c.typed), c.expected) << c.typed;
    EXPECT_EQ(ToMultiByteString(ExpandHomePrefix(u"rel/x")), "rel/x") << "expansion alone leaves a relative path relative";

    {
        ScopedEnv rootHome("HOME", "/");
        EXPECT_EQ(Resolved("~"), "/");
        EXPECT_EQ(Resolved("~/x"), "/x");
    }
    {
        ScopedEnv noHome("HOME", "");
        EXPECT_EQ(Resolved("~/x"), here + "/~/x") << "without a home directory \"~\" is just a name";
    }
}

TEST(TargetPath, BlanksAroundATextAreTrimmed) {
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"  /a b/ \t")), "/a b/");
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"\u00A0 \t")), "");
    EXPECT_EQ(ToMultiByteString(TrimBlanks(u"x")), "x");
}

TEST(TargetPath, RelativeEntryWithAVanishedCurrentDirectoryIsNotResolved) {
    TempDir temp;
    MakeDirectories(temp.path("gone"));
    ScopedCwd cwd(temp.path("gone"));
    ASSERT_EQ(rmdir(temp.path("gone").c_str()), 0);
    EXPECT_EQ(Resolved("rel/x"), "(unresolved)");
    EXPECT_EQ(Resolved("/abs/x"), "/abs/x");
}

}  // namespace
