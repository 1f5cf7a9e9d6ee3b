// The transaction through its own interface: every change journalled and
// synced before it is made, nothing changed after the commit or the
// rollback, and the undo guided by the journalled identities alone.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/conversion.h"
#include "base/result_codes.h"
#include "install/journal_format.h"
#include "install/transaction.h"
#include "tests/install/install_fixture.h"

using namespace vxk5;

namespace {

class TransactionInterfaceTest : public InstallTest {
protected:
    void Begin(bool exchange = true) {
        TransactionOptions options;
        options.exchangeOriginals = exchange;
        ASSERT_EQ(transaction_.Begin(FromMultiByte(TargetPath()), options), ERR_SUCCESS);
        ASSERT_EQ(transaction_.OpenDirectory("", MissingDirectory::Leave, root_), ERR_SUCCESS);
    }
    // What the journal on the disk holds now.
    ParsedJournal JournalOnDisk() const {
        ParsedJournal parsed;
        EXPECT_TRUE(ParseJournal(ReadFile(transaction_.StagingPath() + "journal"), parsed));
        return parsed;
    }
    // A writer of `bytes` under `working` in the template directory, noting its identity.
    auto Writer(const std::string& working, const std::string& bytes, EntryIdentity& identity, bool& called) {
        return [this, working, bytes, &identity, &called] {
            called = true;
            const int fd = ::openat(root_, working.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd < 0) return FailureOf(CodeFromErrno(errno), errno, working);
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            struct stat made;
            EXPECT_EQ(::fstat(fd, &made), 0);
            identity = EntryIdentity{made.st_dev, made.st_ino};
            ::close(fd);
            return Succeeded();
        };
    }
    // Journals, writes and identifies a new file for `name`; `original` as given.
    size_t Written(const std::string& name, const std::string& bytes, Transaction::Original original,
                   std::string& working) {
        size_t record = 0;
        working = transaction_.NewWorkingName();
        EXPECT_EQ(transaction_.JournalNewFile(TargetPath(name), working, original, record), ERR_SUCCESS);
        EXPECT_EQ(transaction_.SyncJournal(), ERR_SUCCESS);
        EntryIdentity identity;
        bool called = false;
        EXPECT_FALSE(transaction_.WriteNewFile(record, TargetPath(name), Writer(working, bytes, identity, called)).Failed());
        EXPECT_EQ(transaction_.JournalIdentity(record, TargetPath(name), identity), ERR_SUCCESS);
        EXPECT_EQ(transaction_.SyncJournal(), ERR_SUCCESS);
        return record;
    }

    Transaction transaction_;
    int root_ = -1;
};

TEST_F(TransactionInterfaceTest, EveryChangeWaitsForItsRecordOnTheDisk) {
    WriteFile(TargetPath("old.txt"), "original");
    Begin(false);
    const std::string path = TargetPath("new.txt");
    const std::string working = transaction_.NewWorkingName();
    size_t record = 0;
    ASSERT_EQ(transaction_.JournalNewFile(path, working, Transaction::Original::Absent, record), ERR_SUCCESS);

    // Journalled but not synced: the write is refused, and nothing is made.
    EntryIdentity identity;
    bool called = false;
    EXPECT_EQ(transaction_.WriteNewFile(record, path, Writer(working, "new", identity, called)).code,
              ERR_INVALID_PARAMETER);
    EXPECT_FALSE(called);
    EXPECT_TRUE(JournalOnDisk().steps.empty());

    // Synced: the record is on the disk, and the write goes ahead.
    ASSERT_EQ(transaction_.SyncJournal(), ERR_SUCCESS);
    ASSERT_EQ(JournalOnDisk().steps.size(), 1u);
    EXPECT_EQ(JournalOnDisk().steps[0].kind, StepKind::WriteFile);
    EXPECT_EQ(JournalOnDisk().steps[0].temporary, working);
    EXPECT_FALSE(transaction_.WriteNewFile(record, path, Writer(working, "new", identity, called)).Failed());
    EXPECT_TRUE(called);

    // The file takes its name only once its identity is journalled and synced.
    EXPECT_EQ(transaction_.PlaceNewFile(record, root_, working, "new.txt"), EINVAL);
    ASSERT_EQ(transaction_.JournalIdentity(record, path, identity), ERR_SUCCESS);
    EXPECT_EQ(transaction_.PlaceNewFile(record, root_, working, "new.txt"), EINVAL);
    ASSERT_EQ(transaction_.SyncJournal(), ERR_SUCCESS);
    EXPECT_TRUE(JournalOnDisk().steps[0].identified);
    EXPECT_EQ(transaction_.PlaceNewFile(record, root_, working, "new.txt"), 0);
    EXPECT_EQ(ReadFile(path), "new");

    // An original is set aside only once its record is on the disk.
    size_t replacement = 0;
    const std::string next = transaction_.NewWorkingName();
    ASSERT_EQ(transaction_.JournalNewFile(TargetPath("old.txt"), next, Transaction::Original::SetAside, replacement),
              ERR_SUCCESS);
    EntryStatus judged;
    ASSERT_FALSE(ExamineEntryAt(root_, "old.txt", judged).Failed());
    EXPECT_EQ(transaction_.SetOriginalAside(replacement, TargetPath("old.txt"), root_, "old.txt", judged.stamp),
              ERR_INVALID_PARAMETER);
    EXPECT_EQ(ReadFile(TargetPath("old.txt")), "original");
    ASSERT_EQ(transaction_.SyncJournal(), ERR_SUCCESS);
    EXPECT_EQ(transaction_.SetOriginalAside(replacement, TargetPath("old.txt"), root_, "old.txt", judged.stamp),
              ERR_SUCCESS);
    EXPECT_FALSE(PathExists(TargetPath("old.txt")));
    EXPECT_EQ(ReadFile(transaction_.StagingPath() + "originals/old.txt"), "original");

    // A directory made on demand is journalled, and synced, before mkdir.
    int made = -1;
    ASSERT_EQ(transaction_.OpenDirectory("sub/deeper", MissingDirectory::Make, made), ERR_SUCCESS);
    const ParsedJournal parsed = JournalOnDisk();
    ASSERT_GE(parsed.steps.size(), 4u);
    EXPECT_EQ(parsed.steps[parsed.steps.size() - 2].path, TargetPath("sub"));
    EXPECT_EQ(parsed.steps.back().path, TargetPath("sub/deeper"));
    EXPECT_TRUE(IsDirectory(TargetPath("sub/deeper")));

    // The rollback takes all of it back.
    EXPECT_EQ(transaction_.Rollback(5), 5u);
    EXPECT_EQ(ListNames(TargetPath()), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(ReadFile(TargetPath("old.txt")), "original");
    EXPECT_FALSE(PathExists(transaction_.StagingPath()));
}

class TransactionEndTest : public TransactionInterfaceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TransactionEndTest, NothingChangesAfterTheCommitOrTheRollback) {
    const bool commit = GetParam();
    Begin();
    std::string working;
    const size_t record = Written("a.txt", "a", Transaction::Original::Absent, working);
    ASSERT_EQ(transaction_.PlaceNewFile(record, root_, working, "a.txt"), 0);
    std::string second;
    const size_t unplaced = Written("b.txt", "b", Transaction::Original::Absent, second);
    if (commit) {
        ASSERT_EQ(transaction_.Commit(), ERR_SUCCESS);
    } else {
        ASSERT_EQ(transaction_.Rollback(7), 7u);
    }
    const TreeSnapshot after = Snapshot(TargetPath());
    EXPECT_EQ(PathExists(TargetPath("a.txt")), commit);
    EXPECT_EQ(PathExists(TargetPath(second)), commit);  // never placed: only the rollback removes it

    size_t late = 0;
    EXPECT_NE(transaction_.JournalNewFile(TargetPath("c.txt"), transaction_.NewWorkingName(),
                                          Transaction::Original::Absent, late),
              ERR_SUCCESS);
    EXPECT_EQ(transaction_.PlaceNewFile(unplaced, root_, second, "b.txt"), EINVAL);
    EXPECT_EQ(transaction_.RemoveOwnFile(TargetPath("a.txt"), root_, "a.txt", EntryIdentity{}),
              ERR_INVALID_PARAMETER);
    int directory = -1;
    EXPECT_NE(transaction_.OpenDirectory("late", MissingDirectory::Make, directory), ERR_SUCCESS);
    EXPECT_EQ(transaction_.Commit(), ERR_INVALID_PARAMETER);
    EXPECT_EQ(transaction_.Rollback(9), 9u);  // hands the code back, undoes nothing more
    EXPECT_EQ(Snapshot(TargetPath()), after);
    EXPECT_FALSE(PathExists(transaction_.StagingPath()));
}

INSTANTIATE_TEST_SUITE_P(Ends, TransactionEndTest, ::testing::Bool());

TEST_F(TransactionInterfaceTest, RollbackRemovesOnlyWhatItsIdentitiesName) {
    WriteFile(TargetPath("replaced.txt"), "original");
    Begin();
    std::string working;
    const size_t placed = Written("placed.txt", "mine", Transaction::Original::Absent, working);
    ASSERT_EQ(transaction_.PlaceNewFile(placed, root_, working, "placed.txt"), 0);
    EntryStatus judged;
    ASSERT_FALSE(ExamineEntryAt(root_, "replaced.txt", judged).Failed());
    std::string exchangedName;
    const size_t exchanged = Written("replaced.txt", "newer", Transaction::Original::Exchange, exchangedName);
    ASSERT_EQ(transaction_.ExchangeWithOriginal(exchanged, root_, exchangedName, "replaced.txt",
                                                TargetPath("replaced.txt"), judged.stamp),
              0);
    EXPECT_EQ(ReadFile(TargetPath("replaced.txt")), "newer");
    EXPECT_EQ(ReadFile(TargetPath(exchangedName)), "original");

    // Someone else's files take both names meanwhile (saved beside, then
    // renamed over: other inodes).
    WriteFile(TargetPath("theirs"), "someone else's");
    ASSERT_EQ(::rename(TargetPath("theirs").c_str(), TargetPath("placed.txt").c_str()), 0);
    WriteFile(TargetPath("theirs"), "also someone else's");
    ASSERT_EQ(::rename(TargetPath("theirs").c_str(), TargetPath("replaced.txt").c_str()), 0);

    // Nothing of theirs goes; the original stays where it waits, and that is said.
    EXPECT_EQ(transaction_.Rollback(4), 4u);
    EXPECT_EQ(ReadFile(TargetPath("placed.txt")), "someone else's");
    EXPECT_EQ(ReadFile(TargetPath("replaced.txt")), "also someone else's");
    EXPECT_EQ(ReadFile(TargetPath(exchangedName)), "original");
    EXPECT_TRUE(transaction_.Kept().kept);
    EXPECT_EQ(transaction_.Kept().notRestored, std::vector<std::string>{TargetPath(exchangedName)});
    EXPECT_EQ(transaction_.FirstFailure().error, EEXIST);
}

TEST_F(TransactionInterfaceTest, OwnFileIsRemovedOnlyByItsIdentity) {
    Begin();
    std::string working;
    const size_t record = Written("a.txt", "mine", Transaction::Original::Absent, working);
    ASSERT_EQ(transaction_.PlaceNewFile(record, root_, working, "a.txt"), 0);
    struct stat mine;
    ASSERT_EQ(::lstat(TargetPath("a.txt").c_str(), &mine), 0);
    EXPECT_EQ(transaction_.RemoveOwnFile(TargetPath("a.txt"), root_, "a.txt", EntryIdentity{mine.st_dev, mine.st_ino + 1}),
              CodeFromErrno(EEXIST));
    EXPECT_EQ(ReadFile(TargetPath("a.txt")), "mine");
    EXPECT_EQ(transaction_.RemoveOwnFile(TargetPath("a.txt"), root_, "a.txt", EntryIdentity{mine.st_dev, mine.st_ino}),
              ERR_SUCCESS);
    EXPECT_FALSE(PathExists(TargetPath("a.txt")));
    EXPECT_EQ(transaction_.Commit(), ERR_SUCCESS);
}

}  // namespace
