// The directory page's view of a resolved template directory: "." shown as
// the directory it names, and the home and start directories recognised
// however they are spelt.

#include "ui/target_question.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/conversion.h"
#include "tests/support/scoped_cwd.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

WString W(const std::string& text) { return FromMultiByte(AString(text.c_str())); }

TEST(TargetQuestion, DotComponentsGoAndEverythingElseStays) {
    const struct {
        const char16_t* path;
        const char16_t* shown;
    } cases[] = {
        {u"/home/u/demo/.", u"/home/u/demo"}, {u"/a/./b/", u"/a/b/"},      {u"/a/./././b", u"/a/b"},
        {u"/.", u"/"},                         {u"/./", u"/"},              {u"/a/../b", u"/a/../b"},
        {u"/a/.hidden/b.", u"/a/.hidden/b."}, {u"/a//b/", u"/a//b/"},      {u"/a/...", u"/a/..."},
        {u"./x", u"x"},                        {u".", u"."},                {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(WithoutDotComponents(c.path), WString(c.shown)) << ToMultiByteString(WString(c.path));
}

TEST(TargetQuestion, HomeCurrentAndKitFoldersAreRecognisedOnDisk) {
    TempDir temp;
    MakeDirectories(temp.path("home/sub"));
    MakeDirectories(temp.path("start"));
    MakeDirectories(temp.path("kit"));
    ASSERT_EQ(symlink(temp.path("home").c_str(), temp.path("home-link").c_str()), 0);
    const RedirectedDirectory home("HOME", temp.path("home"));
    const ScopedCwd cwd(temp.path("start"));
    const WString kit = W(temp.path("kit/vxk5.efd"));
    for (const std::string& same : {temp.path("home"), temp.path("home/"), temp.path("home/sub/.."), temp.path("home-link"),
                                    temp.path("start"), temp.path("kit")}) {
        EXPECT_TRUE(IsStartOrHomeDirectory(W(same), kit)) << same;
    }
    for (const std::string& other : {temp.path("home/sub"), temp.path("missing"), temp.path(""), std::string("/")}) {
        EXPECT_FALSE(IsStartOrHomeDirectory(W(other), kit)) << other;
    }
    EXPECT_FALSE(IsStartOrHomeDirectory(W(temp.path("kit")), WString())) << "no kit, no kit folder";
}

}  // namespace
