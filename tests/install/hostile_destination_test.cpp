// Hostile kit names and links in the template directory: every name the
// entry-name check refuses stops the job with 13 and leaves the directory as
// it was; a link below the template directory is never written through, by
// the job or by its rollback, while the template directory itself may be one.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "install/install_job.h"
#include "kit/entry_names.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

constexpr int64_t kYear2001 = 978307200;
constexpr int64_t kYear2020 = 1577836800;

WString Repeated(const char16_t* part, size_t times) {
    WString text;
    for (size_t i = 0; i < times; ++i) text += part;
    return text;
}

struct HostileKit {
    const char* what;
    std::vector<WString> names;  // in kit order; every entry gets the bytes "evil"
};

class HostileDestinationTest : public InstallTest {
protected:
    // Installs `names` (set on the entries after the kit is built, so that any
    // UTF-16 units reach the job as they stand).
    uint32_t RunNames(const std::vector<WString>& names) {
        for (size_t i = 0; i < names.size(); ++i) AddEntry("placeholder" + std::to_string(i), "evil", TimeAt(kYear2020));
        BuildKit();
        std::vector<KitFileEntry> entries = kit().Entries();
        for (size_t i = 0; i < names.size(); ++i) entries[i].name = names[i];
        SetEntries(std::move(entries));
        return RunJob();
    }

    void WriteOutside(const std::string& relative, const std::string& bytes, int64_t time) {
        WriteFile(RootPath("outside/" + relative), bytes);
        SetModificationTime(RootPath("outside/" + relative), time);
    }
};

TEST_F(HostileDestinationTest, EveryRefusedNameFailsWith13AndLeavesTheDirectoryAsItWas) {
    const std::string target = TargetPath();
    const size_t targetBytes = target.size();  // with its final "/"
    // Long enough, with the template directory, to reach PATH_MAX.
    const WString tooDeep = Repeated(u"dd\\", (PATH_MAX - targetBytes) / 3 + 1) + u"f.txt";
    const std::vector<HostileKit> kits = {
        {"unpaired high surrogate", {u"fresh.txt", WString(u"user.txt\xD800.new", 13)}},
        {"unpaired low surrogate", {u"fresh.txt", WString(u"x\xDC00y.txt", 7)}},
        {"surrogate at the end", {u"fresh.txt", WString(u"user.txt\xDBFF", 9)}},
        {"zero unit", {u"fresh.txt", WString(u"user.txt\0.new", 13)}},
        {"component over NAME_MAX", {u"fresh.txt", Repeated(u"n", NAME_MAX + 1)}},
        {"path over PATH_MAX", {u"fresh.txt", tooDeep}},
        {"dot-dot", {u"fresh.txt", u"sub\\..\\..\\outside\\x.txt"}},
        {"absolute", {u"fresh.txt", u"/tmp/x.txt"}},
        {"drive designator", {u"fresh.txt", u"C:\\x.txt"}},
        {"no file name", {u"fresh.txt", u"sub\\"}},
        // Two names of one file: one shape of name for each destination.
        {"doubled separator", {u"fresh.txt", u"sub\\\\user.txt"}},
        {"\".\" component", {u"fresh.txt", u"sub\\.\\user.txt"}},
        {"leading \".\" component", {u"fresh.txt", u"./user.txt"}},
        {"file, then a directory of its name", {u"fresh.txt", u"q", u"q\\b.txt"}},
        {"directory, then a file of its name", {u"fresh.txt", u"q\\b.txt", u"q"}},
    };
    for (const HostileKit& hostile : kits) {
        SCOPED_TRACE(hostile.what);
        ResetKit();
        // The user's files, and an older "user.txt" that a shortened name would overwrite.
        MakeDirectories(TargetPath("sub"));
        WriteFile(TargetPath("user.txt"), "the user's own");
        SetModificationTime(TargetPath("user.txt"), kYear2001);
        WriteFile(TargetPath("sub/kept.txt"), "kept");
        SetModificationTime(TargetPath("sub/kept.txt"), kYear2001);
        const TreeSnapshot before = Snapshot(target);
        const std::vector<std::string> temporary = ListNames(TempPath());

        EXPECT_EQ(RunNames(hostile.names), ENTRY_NAME_REFUSAL_CODE);
        EXPECT_EQ(job_.failure.error, 0);  // no system call failed: the name was refused
        EXPECT_EQ(Snapshot(target), before);
        EXPECT_EQ(ListNames(TempPath()), temporary);  // no backup or journal left behind
        ASSERT_FALSE(posts_.empty());
        EXPECT_EQ(posts_.back().code, ENTRY_NAME_REFUSAL_CODE);
    }
}

// The job writes its new files under working names in their directories,
// and an original exchanged with its new file waits under that name until the
// commit: an entry of that form would take the place of another entry's
// original, and the commit's purge would remove the entry. An entry of the
// form of any job's working or staging names, whatever the number, is
// refused before anything is changed; names merely like them install.
TEST_F(HostileDestinationTest, ANameOfTheJobsTemporaryFormIsRefused) {
    WriteFile(TargetPath("user.txt"), "the user's own");
    SetModificationTime(TargetPath("user.txt"), kYear2001);
    const TreeSnapshot before = Snapshot(TargetPath());
    batchSize_ = 1;  // the original is exchanged before the name's turn
    EXPECT_EQ(RunNames({u"user.txt", u".k5stp0.0"}), ENTRY_NAME_REFUSAL_CODE);
    EXPECT_EQ(Snapshot(TargetPath()), before);
    EXPECT_EQ(RootNames(), (std::vector<std::string>{"home", "kits", "t", "tmp"}));

    for (const char16_t* reserved : {u".k5stp1.0", u"sub\\.k5stp0-0", u".k5stp12", u"a\\.k5stp3.44\\b.txt",
                                     u".k5stp7-other\\x", u"sub\\.k5kept\\x", u".k5kept-t\\x"}) {
        ResetKit();
        posts_.clear();
        EXPECT_EQ(RunNames({u"first.txt", reserved}), ENTRY_NAME_REFUSAL_CODE) << ToMultiByteString(reserved);
        EXPECT_EQ(Snapshot(TargetPath()), before);
        // The refused name is shown, then the failure: nothing before it was begun.
        ASSERT_EQ(posts_.size(), 2u);
        EXPECT_EQ(posts_[0].text.rfind(TargetPath(), 0), 0u);
        EXPECT_EQ(posts_[1].code, ENTRY_NAME_REFUSAL_CODE);
    }

    ResetKit();
    ASSERT_EQ(RunNames({u"user.txt", u".k5stp0.x", u".k5stp0.", u".k5stpx", u".k5stp-1", u"sub\\.k5stp"}), 0u);
    EXPECT_EQ(ReadFile(TargetPath("user.txt")), "evil");
    EXPECT_EQ(ReadFile(TargetPath(".k5stp0.x")), "evil");
    EXPECT_EQ(ListNames(TargetPath()),
              (std::vector<std::string>{".k5stp-1", ".k5stp0.", ".k5stp0.x", ".k5stpx", "sub", "user.txt"}));
}

TEST_F(HostileDestinationTest, UsableNamesOfTheSameShapesInstall) {
    const std::vector<WString> names = {WString(u"pair\xD83D\xDE00.txt", 10), Repeated(u"n", NAME_MAX),
                                        u"a\\.b\\c.txt", u"..a\\b..\\c", u"Q", u"q\\b.txt"};
    ASSERT_EQ(RunNames(names), 0u);
    EXPECT_EQ(ReadFile(TargetPath("pair\xF0\x9F\x98\x80.txt")), "evil");
    EXPECT_EQ(ReadFile(TargetPath(std::string(NAME_MAX, 'n'))), "evil");
    EXPECT_EQ(ReadFile(TargetPath("a/.b/c.txt")), "evil");
    EXPECT_EQ(ReadFile(TargetPath("..a/b../c")), "evil");
    EXPECT_EQ(ReadFile(TargetPath("q/b.txt")), "evil");
}

// A link at each depth of a destination, pointing into a sandbox that must
// stay byte-identical; the job fails with the link's path and ELOOP.
TEST_F(HostileDestinationTest, ALinkAtAnyDepthBelowTheTemplateDirectoryFailsTheJob) {
    struct LinkCase {
        const char* what;
        std::string link;  // relative to the template directory
        std::vector<std::string> entries;
    };
    const std::vector<LinkCase> cases = {
        {"first level", "sub", {"fresh.txt", "sub\\new.txt", "sub\\old.txt"}},
        {"second level", "a/b", {"fresh.txt", "a\\b\\new.txt", "a\\b\\old.txt"}},
        {"above a missing directory", "a/b", {"fresh.txt", "a\\b\\deeper\\new.txt"}},
        {"first level, old file only", "sub", {"sub\\old.txt"}},
    };
    for (const LinkCase& hostile : cases) {
        SCOPED_TRACE(hostile.what);
        ResetKit();
        MakeDirectories(RootPath("outside"));
        WriteOutside("old.txt", "the other place's", kYear2001);
        MakeDirectories(TargetPath("a"));
        WriteFile(TargetPath("mine.txt"), "mine");
        ASSERT_EQ(symlink(RootPath("outside").c_str(), TargetPath(hostile.link).c_str()), 0);
        const TreeSnapshot outside = Snapshot(RootPath("outside"));
        const TreeSnapshot before = Snapshot(TargetPath());

        for (const std::string& name : hostile.entries) AddEntry(name, "evil", TimeAt(kYear2020));
        EXPECT_NE(RunJob(), 0u);
        EXPECT_EQ(std::string(job_.failure.path.c_str()), TargetPath(hostile.link));
        EXPECT_EQ(job_.failure.error, ELOOP);
        EXPECT_EQ(Snapshot(RootPath("outside")), outside);
        EXPECT_EQ(Snapshot(TargetPath()), before);

        ASSERT_EQ(unlink(TargetPath(hostile.link).c_str()), 0);
    }
}

TEST_F(HostileDestinationTest, AFileWhereADirectoryBelongsFailsWithoutFollowingIt) {
    WriteFile(TargetPath("sub"), "a file");
    const TreeSnapshot before = Snapshot(TargetPath());
    AddEntry("fresh.txt", "evil", TimeAt(kYear2020));
    AddEntry("sub\\new.txt", "evil", TimeAt(kYear2020));
    EXPECT_NE(RunJob(), 0u);
    EXPECT_EQ(job_.failure.error, ENOTDIR);
    EXPECT_EQ(Snapshot(TargetPath()), before);
}

// A link standing as the file itself is judged by what it points to and, when
// older, moved aside as a link: its target is never written.
TEST_F(HostileDestinationTest, AnOlderLinkAsTheLeafIsReplacedNotWrittenThrough) {
    MakeDirectories(RootPath("outside"));
    WriteOutside("target.txt", "the other place's", kYear2001);
    WriteOutside("newer.txt", "newer", kYear2020 + 100);
    const TreeSnapshot outside = Snapshot(RootPath("outside"));
    MakeDirectories(TargetPath("sub"));
    ASSERT_EQ(symlink(RootPath("outside/target.txt").c_str(), TargetPath("sub/old.txt").c_str()), 0);
    ASSERT_EQ(symlink(RootPath("outside/newer.txt").c_str(), TargetPath("sub/new.txt").c_str()), 0);

    AddEntry("sub\\old.txt", "kit", TimeAt(kYear2020));
    AddEntry("sub\\new.txt", "kit", TimeAt(kYear2020));
    ASSERT_EQ(RunJob(), 0u);
    struct stat info {};
    ASSERT_EQ(lstat(TargetPath("sub/old.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(ReadFile(TargetPath("sub/old.txt")), "kit");
    ASSERT_EQ(lstat(TargetPath("sub/new.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));  // the newer target keeps its link
    EXPECT_EQ(job_.counts.replaced, 1u);
    EXPECT_EQ(job_.counts.kept, 1u);
    EXPECT_EQ(Snapshot(RootPath("outside")), outside);
}

TEST_F(HostileDestinationTest, TheTemplateDirectoryItselfMayBeALink) {
    MakeDirectories(RootPath("real/sub"));
    WriteFile(RootPath("real/sub/old.txt"), "old");
    SetModificationTime(RootPath("real/sub/old.txt"), kYear2001);
    ASSERT_EQ(symlink(RootPath("real").c_str(), RootPath("linked").c_str()), 0);
    AddEntry("sub\\old.txt", "kit", TimeAt(kYear2020));
    AddEntry("sub\\deeper\\new.txt", "kit", TimeAt(kYear2020));
    ASSERT_EQ(RunJobInto(RootPath("linked")), 0u);
    EXPECT_EQ(ReadFile(RootPath("real/sub/old.txt")), "kit");
    EXPECT_EQ(ReadFile(RootPath("real/sub/deeper/new.txt")), "kit");
    struct stat info {};
    ASSERT_EQ(lstat(RootPath("linked").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// A directory swapped for a link while the job runs: the job goes on in the
// directory it opened, and its rollback never removes or restores through the
// link.
TEST_F(HostileDestinationTest, ADirectorySwappedForALinkDuringTheJobIsNeverFollowed) {
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchanged" : "moved aside");
        RemoveAll(RootPath("outside"));
        RemoveAll(RootPath("moved"));
        RemoveAll(RootPath(".k5stp0-t"));
        RemoveAll(TargetPath());
        ResetKit();
        exchangeOriginals_ = exchange;
        MakeDirectories(RootPath("outside"));
        WriteOutside("a.txt", "the other place's a", kYear2001);
        WriteOutside("old.txt", "the other place's old", kYear2001);
        const TreeSnapshot outside = Snapshot(RootPath("outside"));
        MakeDirectories(TargetPath("sub"));
        WriteFile(TargetPath("sub/old.txt"), "mine");
        SetModificationTime(TargetPath("sub/old.txt"), kYear2001);

        // "sub\a.txt" and "sub\old.txt" are written; when the refused name's turn
        // comes, t/sub has become a link to the sandbox.
        AddEntry("sub\\a.txt", "evil", TimeAt(kYear2020));
        AddEntry("sub\\old.txt", "evil", TimeAt(kYear2020));
        AddEntry("..\\refused.txt", "evil", TimeAt(kYear2020));
        batchSize_ = 1;  // the first two are in place when the refused name comes
        bool swapped = false;
        onPost_ = [&](const Post& post) {
            if (swapped || post.text.find("refused") == std::string::npos) return;
            swapped = true;
            ASSERT_EQ(std::rename(TargetPath("sub").c_str(), RootPath("moved").c_str()), 0);
            ASSERT_EQ(symlink(RootPath("outside").c_str(), TargetPath("sub").c_str()), 0);
        };
        EXPECT_EQ(RunJob(), ENTRY_NAME_REFUSAL_CODE);
        ASSERT_TRUE(swapped);
        EXPECT_EQ(Snapshot(RootPath("outside")), outside);
        // The original could not be put back through the link: it is kept,
        // beside the new file in the moved directory or in the staging directory.
        EXPECT_TRUE(job_.backupKept);
        EXPECT_EQ(ReadFile(exchange ? RootPath("moved/.k5stp0.1") : RootPath(".k5stp0-t/originals/sub/old.txt")), "mine");
        EXPECT_EQ(job_.notRestored, std::vector<std::string>{TargetPath("sub/old.txt")});
    }
}

TEST_F(HostileDestinationTest, ASwapAfterTheDirectoryWasOpenedWritesIntoTheOpenedOne) {
    MakeDirectories(RootPath("outside"));
    WriteOutside("old.txt", "the other place's old", kYear2001);
    const TreeSnapshot outside = Snapshot(RootPath("outside"));
    MakeDirectories(TargetPath("sub"));
    WriteFile(TargetPath("sub/old.txt"), "mine");
    SetModificationTime(TargetPath("sub/old.txt"), kYear2001);

    AddEntry("sub\\first.txt", "kit", TimeAt(kYear2020));
    AddEntry("sub\\old.txt", "kit", TimeAt(kYear2020));
    bool swapped = false;
    onPost_ = [&](const Post& post) {
        if (swapped || post.text.find("old.txt") == std::string::npos) return;
        swapped = true;
        ASSERT_EQ(std::rename(TargetPath("sub").c_str(), RootPath("moved").c_str()), 0);
        ASSERT_EQ(symlink(RootPath("outside").c_str(), TargetPath("sub").c_str()), 0);
    };
    ASSERT_EQ(RunJob(), 0u);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(Snapshot(RootPath("outside")), outside);
    EXPECT_EQ(ReadFile(RootPath("moved/old.txt")), "kit");
    EXPECT_EQ(ReadFile(RootPath("moved/first.txt")), "kit");
}

}  // namespace
