// The installation transaction against what a crashed desktop, a second
// installer, another program and a hostile local user do to it, each with the
// real program: a lost temporary directory, an installer waiting for a killed
// one, a file made at a new file's name meanwhile, nested template
// directories, a link swapped in for the template directory, a staging
// directory planted by another user, a rollback of files that a copy would
// change, and a descriptor limit far below the number of directories.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "installer_run.h"
#include "tests/app/tree_state.h"
#include "tests/support/powercut_mount.h"
#include "tests/support/tiny_tmpfs.h"

namespace fs = std::filesystem;

namespace {

constexpr time_t kOld = 978307200;     // 2001
constexpr time_t kNew = 1262304000;    // 2010
constexpr char kWaiting[] = "Waiting for another installation into this directory to finish...";

void SetTime(const std::string& path, time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

std::string BulkName(int i) { return "bulk/file" + std::to_string(i) + ".tpl"; }

class TransactionFaults : public InstallerRun {
protected:
    void SetUp() override { ::umask(022); }

    // The default template directory, without the final "/".
    std::string Templates() const { return Home() + "/.vxk5/Vx/vxk5/tmplts"; }
    std::string Src() const { return temp_.path("src"); }

    // A kit of `files` bulk files (plus its description), all of 2010;
    // `last` adds one more entry that sorts after all others.
    void MakeBulkKit(int files, const std::string& last = "") {
        MakeDirectories(Src() + "/bulk");
        MakeDirectories(Src() + "/doc");
        WriteFile(Src() + "/doc/readme.html", "<html><body>Bulk</body></html>\n");
        SetTime(Src() + "/doc/readme.html", kNew);
        for (int i = 0; i < files; ++i) {
            WriteFile(Src() + "/" + BulkName(i), "new " + std::to_string(i) + std::string(2000, 'n'));
            SetTime(Src() + "/" + BulkName(i), kNew);
        }
        if (!last.empty()) {
            WriteFile(Src() + "/" + last, "kit's " + last);
            SetTime(Src() + "/" + last, kNew);
        }
        MakeKit(Src());
    }

    // Older copies of the first `files` bulk files in `root`.
    void MakeOldBulk(const std::string& root, int files) {
        MakeDirectories(root + "/bulk");
        for (int i = 0; i < files; ++i) {
            WriteFile(root + "/" + BulkName(i), "old " + std::to_string(i));
            SetTime(root + "/" + BulkName(i), kOld);
        }
    }

    std::vector<std::string> Environment(const std::string& tmp = "") const {
        std::vector<std::string> env = {"HOME=" + Home(), "TMPDIR=" + (tmp.empty() ? Tmp() : tmp),
                                        "PATH=" + temp_.path("bin") + ":/usr/local/bin:/usr/bin:/bin"};
        for (const char* name : {"LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (const char* v = std::getenv(name)) env.push_back(std::string(name) + "=" + v);
        }
        return env;
    }

    // A second installer beside child_, its standard error in `<name>.err`.
    std::unique_ptr<ChildProcess> Launch(const std::string& name, const std::vector<std::string>& arguments,
                                         const std::string& tmp = "") {
        std::vector<std::string> argv = {AppDir() + "/vxk5-setup"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        auto child = std::make_unique<ChildProcess>(argv, Environment(tmp), "", temp_.path(name + ".err"));
        EXPECT_TRUE(child->Started());
        return child;
    }
    std::string ErrorsOf(const std::string& name) const { return ReadFile(temp_.path(name + ".err")); }

    // A start that only recovers: the kit is out of its reach.
    int RecoverOnly(const std::string& tmp = "", const std::string& name = "recovery") {
        const std::string away = Kit() + ".away";
        EXPECT_EQ(::rename(Kit().c_str(), away.c_str()), 0);
        auto child = Launch(name, {"/S"}, tmp);
        int status = -1;
        EXPECT_TRUE(child->Wait(120, status)) << ErrorsOf(name);
        EXPECT_EQ(::rename(away.c_str(), Kit().c_str()), 0);
        return status;
    }

    // Waits until the file at `path` no longer holds `bytes` (the job is
    // past it), polling every millisecond.
    static bool WaitUntilChanged(const std::string& path, const std::string& bytes, int seconds = 60) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadFile(path) != bytes) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Kills `child` with SIGKILL; false when it had ended already (too late
    // to test anything).
    static bool KillNow(ChildProcess& child) {
        if (!child.Running()) return false;
        ::kill(child.Pid(), SIGKILL);
        int status = 0;
        (void)child.Wait(20, status);
        return true;
    }

    // Staging directories (any k5stp name) beside the template directory,
    // inside it, and in `tmp`.
    std::vector<std::string> StagingLeft(const std::string& tmp = "") const {
        std::vector<std::string> found;
        for (const std::string& directory :
             {fs::path(Templates()).parent_path().string(), Templates(), tmp.empty() ? Tmp() : tmp}) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(directory, error)) {
                const std::string name = entry.path().filename().string();
                if (name.find("k5stp") != std::string::npos) found.push_back(entry.path().string());
            }
        }
        return found;
    }
};

// A run killed part-way, then a reboot that empties /tmp: the next start puts
// every original back (nothing of 0 bytes), and the start after it installs.
TEST_F(TransactionFaults, LostTemporaryDirectoryLosesNoOriginal) {
    constexpr int kFiles = 3000;
    MakeBulkKit(kFiles);
    MakeOldBulk(Templates(), kFiles);
    const std::string oldState = TreeState(Templates());
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "old 0")) << Errors();
    ASSERT_TRUE(KillNow(*child_)) << "the run ended before it could be killed";
    child_.reset();

    RemoveAll(Tmp());  // the reboot
    MakeDirectories(Tmp());
    RecoverOnly();
    EXPECT_EQ(StateDifference(oldState, TreeState(Templates())), "") << ErrorsOf("recovery");
    EXPECT_TRUE(EmptyFiles(Templates()).empty()) << EmptyFiles(Templates()).front();

    Start({"/S"}, false);
    ASSERT_EQ(Finish(120), 0) << Errors();
    EXPECT_NE(Errors().find("Configuration installed successfully."), std::string::npos) << Errors();
    EXPECT_EQ(StateDifference(Snapshot(Src()), Snapshot(Templates())), "");
}

// The same with the next start given another temporary directory: it finds
// the unfinished installation all the same.
TEST_F(TransactionFaults, NextStartWithAnotherTemporaryDirectoryFindsTheUnfinishedInstallation) {
    constexpr int kFiles = 3000;
    MakeBulkKit(kFiles);
    MakeOldBulk(Templates(), kFiles);
    const std::string oldState = TreeState(Templates());
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "old 0")) << Errors();
    ASSERT_TRUE(KillNow(*child_)) << "the run ended before it could be killed";
    child_.reset();

    const std::string other = temp_.path("other-tmp");
    MakeDirectories(other);
    RecoverOnly(other);
    EXPECT_EQ(StateDifference(oldState, TreeState(Templates())), "") << ErrorsOf("recovery");
    EXPECT_TRUE(EmptyFiles(Templates()).empty());
}

// B waits for A's lock; A is killed; B must first undo what A left (not count
// A's half-written files as up to date), then install everything; a later
// start then has nothing left to recover.
TEST_F(TransactionFaults, WaitingInstallerRecoversTheKilledOnesWorkFirst) {
    constexpr int kFiles = 4000;
    MakeBulkKit(kFiles);
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "")) << Errors();
    auto second = Launch("second", {"/S", "--exit-status"});
    ASSERT_TRUE(WaitFor([&] { return ErrorsOf("second").find(kWaiting) != std::string::npos; }, 60))
        << "the second installer never waited:\n" << ErrorsOf("second");
    ASSERT_TRUE(KillNow(*child_)) << "the first run ended before it could be killed";
    child_.reset();

    int status = -1;
    ASSERT_TRUE(second->Wait(180, status));
    EXPECT_EQ(status, 0) << ErrorsOf("second");
    EXPECT_EQ(StateDifference(Snapshot(Src()), Snapshot(Templates())), "");
    EXPECT_TRUE(EmptyFiles(Templates()).empty()) << EmptyFiles(Templates()).front();
    const std::string installed = TreeState(Templates());

    RecoverOnly();
    EXPECT_EQ(ErrorsOf("recovery").find("interrupted installation"), std::string::npos) << ErrorsOf("recovery");
    EXPECT_EQ(StateDifference(installed, TreeState(Templates())), "")
        << "a later start undid part of the second installation";
}

// Another program makes a file at the name of a new file just before the job
// gives it that name: the job fails and says so, the other program's file is
// left as it is, and the rest is as it was. powercut_fs plays the other
// program at exactly that operation.
TEST_F(TransactionFaults, FileMadeAtANewFilesNameMeanwhileIsLeftAloneAndTheJobFails) {
    const std::string unavailable = PowerCutMount::Unavailable(VXK5_POWERCUT_FS);
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    constexpr int kFiles = 40;
    MakeBulkKit(kFiles, "zzz.tpl");
    const std::string disk = temp_.path("disk");
    const std::string relative = ".vxk5/Vx/vxk5/tmplts";
    MakeOldBulk(disk + "/" + relative, kFiles / 2);
    const std::string pristine = temp_.path("pristine");
    ASSERT_TRUE(CopyTree(disk, pristine));
    const std::string oldState = TreeState(disk + "/" + relative);

    // Where the final name zzz.tpl comes into being.
    const std::string log = temp_.path("count.log");
    {
        PowerCutMount mount(VXK5_POWERCUT_FS, disk, Home(), 0, log, true);
        ASSERT_TRUE(mount.Mounted());
        Start({"/S"}, false);
        ASSERT_EQ(Finish(120), 0) << Errors();
    }
    long at = 0;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        const bool names = line.size() > 8 && line.compare(line.size() - 8, 8, "/zzz.tpl") == 0;
        if (names && (line.find(" create ") != std::string::npos || line.find(" rename") != std::string::npos ||
                      line.find(" link ") != std::string::npos)) {
            at = std::atol(line.c_str());
        }
    }
    ASSERT_GT(at, 0) << "no operation gave zzz.tpl its name";

    ASSERT_TRUE(CopyTree(pristine, disk));
    const std::string planted = relative + "/zzz.tpl";
    {
        PowerCutMount mount(VXK5_POWERCUT_FS, disk, Home(), 0, "", true,
                            {"--plant-at", std::to_string(at), planted});
        ASSERT_TRUE(mount.Mounted());
        Start({"/S", "--exit-status", "--result=" + temp_.path("result.json")}, false);
        EXPECT_EQ(Finish(120), 1) << "not reported as a failure:\n" << Errors();
    }
    EXPECT_EQ(ReadFile(disk + "/" + planted), "made by another program\n") << Errors();
    EXPECT_NE(ReadFile(temp_.path("result.json")).find("\"failed\""), std::string::npos)
        << ReadFile(temp_.path("result.json"));
    ASSERT_EQ(::unlink((disk + "/" + planted).c_str()), 0);
    EXPECT_EQ(StateDifference(oldState, TreeState(disk + "/" + relative)), "");
}

// Two installers into nested template directories (each locks its own):
// the inner one must not write while the outer one runs, whatever it holds;
// both installations are whole afterwards.
TEST_F(TransactionFaults, NestedTemplateDirectoriesExcludeEachOther) {
    constexpr int kFiles = 4000;
    MakeBulkKit(kFiles);
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "")) << Errors();
    // The inner installer's kit: one file, for the outer kit's bulk/ directory.
    const std::string innerSource = temp_.path("inner-src");
    MakeDirectories(innerSource + "/doc");
    WriteFile(innerSource + "/doc/readme.html", "<html></html>\n");
    WriteFile(innerSource + "/inner.tpl", "inner");
    const std::string innerApp = temp_.path("inner-app");
    MakeDirectories(innerApp);
    fs::copy_file(AppDir() + "/vxk5-setup", innerApp + "/vxk5-setup");
    std::string output;
    ASSERT_EQ(RunProgram({VXK5_KIT_TOOL, "create", innerSource, "-o", innerApp + "/vxk5.efd", "--lang", "en",
                          "--product", "Inner", "--vendor", "Example Ltd", "--description", "doc/readme.html"},
                         &output),
              0)
        << output;
    RecordLocation(Templates() + "/bulk");
    ChildProcess inner({innerApp + "/vxk5-setup", "/S"}, Environment(), "", temp_.path("inner.err"));
    ASSERT_TRUE(inner.Started());

    // The outer kit's last entry is doc/readme.html: until it is in place
    // the outer job runs (it lets go of its lock only after it).
    const std::string innerFile = Templates() + "/bulk/inner.tpl";
    const std::string outerLast = Templates() + "/doc/readme.html";
    bool wroteMeanwhile = false;
    while (child_->Running()) {
        if (PathExists(innerFile) && !PathExists(outerLast)) wroteMeanwhile = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(Finish(60), 0) << Errors();
    int status = -1;
    ASSERT_TRUE(inner.Wait(120, status));
    EXPECT_FALSE(wroteMeanwhile) << "the inner installer wrote into the outer one's directory while it ran";
    EXPECT_EQ(status, 0) << ErrorsOf("inner");
    EXPECT_EQ(ReadFile(innerFile), "inner") << ErrorsOf("inner");
    ASSERT_EQ(::unlink(innerFile.c_str()), 0);
    RemoveAll(Templates() + "/bulk/doc");  // the inner kit's description
    EXPECT_EQ(StateDifference(Snapshot(Src()), Snapshot(Templates())), "");
}

// The template directory's path is turned into a link to a user's unrelated
// directory while the job runs (the job then fails at its last entry), and
// once more after a killed run, before the next start: the unrelated
// directory is never touched, and the template directory itself is rolled
// back, at once or once the path is its own again.
TEST_F(TransactionFaults, LinkSwappedInForTheTemplateDirectoryIsNeverFollowed) {
    constexpr int kFiles = 3000;
    MakeBulkKit(kFiles, "zzz.tpl");
    const std::string unrelated = temp_.path("unrelated");
    MakeOldBulk(unrelated, 20);
    WriteFile(unrelated + "/precious.txt", "the user's own");
    const std::string unrelatedState = TreeState(unrelated);
    const std::string real = Templates() + ".real";

    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed, link swapped before the next start" : "link swapped while the job runs");
        RemoveAll(Templates());
        RemoveAll(real);
        MakeOldBulk(Templates(), kFiles);
        if (!killed) MakeDirectories(Templates() + "/zzz.tpl/inside");  // the last entry fails the job
        const std::string oldState = TreeState(Templates());
        Start({"/S", "--exit-status"}, false);
        ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "old 0")) << Errors();
        if (killed) {
            ASSERT_TRUE(KillNow(*child_)) << "the run ended before it could be killed";
        }
        ASSERT_EQ(::rename(Templates().c_str(), real.c_str()), 0);
        ASSERT_EQ(::symlink(unrelated.c_str(), Templates().c_str()), 0);
        if (killed) {
            child_.reset();
            RecoverOnly();
            EXPECT_EQ(StateDifference(unrelatedState, TreeState(unrelated)), "") << ErrorsOf("recovery");
            ASSERT_EQ(::unlink(Templates().c_str()), 0);
            ASSERT_EQ(::rename(real.c_str(), Templates().c_str()), 0);
            RecoverOnly();
            EXPECT_EQ(StateDifference(oldState, TreeState(Templates())), "") << ErrorsOf("recovery");
        } else {
            EXPECT_EQ(Finish(120), 1) << Errors();
            EXPECT_EQ(StateDifference(unrelatedState, TreeState(unrelated)), "") << Errors();
            EXPECT_EQ(StateDifference(oldState, TreeState(real)), "") << Errors();
            ASSERT_EQ(::unlink(Templates().c_str()), 0);
            ASSERT_EQ(::rename(real.c_str(), Templates().c_str()), 0);
        }
    }
}

// Another local user plants a staging directory (with a link in it) in a
// shared, sticky directory where root's template directory and temporary
// directory are: root's next start neither recovers from it nor adopts it;
// it moves no file of that user's into the template directory and no file of
// root's out of its place.
TEST_F(TransactionFaults, StagingDirectoryPlantedByAnotherUserIsNeverTrusted) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root (to act as another user with setpriv)";
    if (RunProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", "true"}) != 0) {
        GTEST_SKIP() << "setpriv cannot switch to the user nobody here";
    }
    ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
    const std::string shared = temp_.path("shared");
    MakeDirectories(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string templates = shared + "/templates";
    MakeBulkKit(10);
    MakeOldBulk(templates, 10);
    const std::string oldState = TreeState(templates);
    const std::string vault = temp_.path("vault");
    MakeDirectories(vault);
    ASSERT_EQ(::chmod(vault.c_str(), 0700), 0);
    WriteFile(vault + "/secret", "root's only");
    const std::string sharedTmp = shared + "/tmp";
    MakeDirectories(sharedTmp);
    ASSERT_EQ(::chmod(sharedTmp.c_str(), 01777), 0);

    // What the other user leaves: a staging directory beside the template
    // directory and one in the shared temporary directory, each with a file
    // of theirs and a link to root's secret where originals would be.
    const std::string evil = temp_.path("evil.tpl");
    WriteFile(evil, "the other user's");
    ASSERT_EQ(::chmod(evil.c_str(), 0644), 0);
    auto asNobody = [](std::vector<std::string> argv) {
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
        return RunProgram(argv);
    };
    struct stat identity;
    ASSERT_EQ(::stat(templates.c_str(), &identity), 0);
    for (const std::string& staging : {shared + "/.k5stp0-templates", sharedTmp + "/k5stp0"}) {
        const bool beside = staging.find("/.k5stp") != std::string::npos;
        const std::string originals = beside ? staging + "/originals/bulk" : staging + "/bulk";
        ASSERT_EQ(asNobody({"mkdir", "-p", "--", originals}), 0);
        ASSERT_EQ(asNobody({"chmod", "-R", "0700", "--", staging}), 0);
        ASSERT_EQ(asNobody({"cp", "--", evil, originals + "/file0.tpl"}), 0);
        ASSERT_EQ(asNobody({"ln", "-s", "--", vault + "/secret", originals + "/file1.tpl"}), 0);
        const std::string journal = temp_.path("journal.txt");
        if (beside) {
            WriteFile(journal, "vxk5-journal 2\nT " + templates + "/\nI " + std::to_string(identity.st_dev) + " " +
                                   std::to_string(identity.st_ino) + "\nS " + staging + "/\nM " + templates +
                                   "/bulk/file0.tpl\nM " + templates + "/bulk/file1.tpl\n");
            ASSERT_EQ(::chmod(journal.c_str(), 0644), 0);
            ASSERT_EQ(asNobody({"cp", "--", journal, staging + "/journal"}), 0);
        }
    }
    // Root's own unfinished journal of the old kind in the shared temporary
    // directory, whose backup directory is gone: the other user's k5stp0
    // now stands where it was.
    {
        const std::string journal = sharedTmp + "/k5stp0.journal";
        WriteFile(journal, "vxk5-journal 1\nT " + templates + "/\nB " + sharedTmp + "/k5stp0/\nM " + templates +
                               "/bulk/file0.tpl\nM " + templates + "/bulk/file1.tpl\n");
        ASSERT_EQ(::chmod(journal.c_str(), 0600), 0);
    }
    RecordLocation(templates);
    ChildProcess run({AppDir() + "/vxk5-setup", "/S"}, Environment(sharedTmp), "", temp_.path("run.err"));
    int status = -1;
    ASSERT_TRUE(run.Wait(120, status));
    EXPECT_EQ(ReadFile(vault + "/secret"), "root's only") << ErrorsOf("run");
    EXPECT_NE(ReadFile(templates + "/bulk/file0.tpl"), "the other user's") << ErrorsOf("run");
    struct stat link;
    EXPECT_FALSE(::lstat((templates + "/bulk/file1.tpl").c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        << "a link of the other user's was put into the template directory";
    EXPECT_TRUE(PathExists(shared + "/.k5stp0-templates/originals/bulk/file0.tpl")) << "the planted directory was used";
    // The installation itself went ahead, into a staging directory of its own.
    EXPECT_EQ(status, 0) << ErrorsOf("run");
    EXPECT_EQ(StateDifference(Snapshot(Src()), Snapshot(templates)), "") << ErrorsOf("run");
    EXPECT_NE(TreeState(templates), oldState);
}

// A rollback with the temporary directory on another file system puts every
// original back as it was: owner, set-uid bit, extended attributes, ACL,
// hard links and holes.
TEST_F(TransactionFaults, RollbackKeepsOwnerSetIdXattrsAclsHardLinksAndHoles) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root (another owner, a tmpfs for the temporary directory)";
    TinyTmpfs tmpfs(Tmp(), "64m");
    if (!tmpfs.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string t = Templates();
    MakeDirectories(t);
    // The originals.
    WriteFile(t + "/owned.tpl", "owned by someone else");
    ASSERT_EQ(::chown((t + "/owned.tpl").c_str(), 1234, 1234), 0);
    ASSERT_EQ(::chmod((t + "/owned.tpl").c_str(), 04755), 0);
    WriteFile(t + "/attributes.tpl", "with attributes");
    const bool xattrs = ::setxattr((t + "/attributes.tpl").c_str(), "user.origin", "kept", 4, 0) == 0;
    const bool acls = RunProgram({"setfacl", "-m", "u:65534:r", "--", t + "/attributes.tpl"}) == 0;
    WriteFile(t + "/linked.tpl", "two names");
    ASSERT_EQ(::link((t + "/linked.tpl").c_str(), (t + "/other-name").c_str()), 0);
    constexpr off_t kSparse = 200 * 1024 * 1024;
    {
        const int fd = ::open((t + "/sparse.tpl").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "start", 5, 0), 5);
        ASSERT_EQ(::pwrite(fd, "end", 3, kSparse - 3), 3);
        ::close(fd);
    }
    for (const char* name : {"owned.tpl", "attributes.tpl", "linked.tpl", "other-name", "sparse.tpl"}) {
        SetTime(t + "/" + name, kOld);
    }
    MakeDirectories(t + "/zzz.tpl/inside");  // the kit's last entry fails the job
    struct stat sparseBefore;
    ASSERT_EQ(::stat((t + "/sparse.tpl").c_str(), &sparseBefore), 0);
    const std::string oldState = TreeState(t);
    std::string aclBefore;
    (void)RunProgram({"getfacl", "--absolute-names", "--", t + "/attributes.tpl"}, &aclBefore);

    MakeDirectories(Src() + "/doc");
    WriteFile(Src() + "/doc/readme.html", "<html></html>\n");
    for (const char* name : {"owned.tpl", "attributes.tpl", "linked.tpl", "sparse.tpl", "zzz.tpl"}) {
        WriteFile(Src() + "/" + name, std::string("kit's ") + name);
        SetTime(Src() + "/" + name, kNew);
    }
    MakeKit(Src());
    Start({"/S", "--exit-status"}, false);
    EXPECT_EQ(Finish(120), 1) << Errors();

    EXPECT_EQ(StateDifference(oldState, TreeState(t)), "") << Errors();
    struct stat status;
    ASSERT_EQ(::stat((t + "/owned.tpl").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_mode & 07777, 04755u);
    if (xattrs) {
        char value[16] = {};
        EXPECT_EQ(::getxattr((t + "/attributes.tpl").c_str(), "user.origin", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    if (acls) {
        std::string aclAfter;
        (void)RunProgram({"getfacl", "--absolute-names", "--", t + "/attributes.tpl"}, &aclAfter);
        EXPECT_EQ(aclAfter, aclBefore);
    }
    struct stat one, two;
    ASSERT_EQ(::stat((t + "/linked.tpl").c_str(), &one), 0);
    ASSERT_EQ(::stat((t + "/other-name").c_str(), &two), 0);
    EXPECT_EQ(one.st_ino, two.st_ino) << "the hard link was split";
    ASSERT_EQ(::stat((t + "/sparse.tpl").c_str(), &status), 0);
    EXPECT_EQ(status.st_size, kSparse);
    EXPECT_LE(status.st_blocks, sparseBefore.st_blocks + 64) << "the holes were filled in";
}

// Runs the installer with at most `descriptors` open files (setrlimit in the
// child before it starts the program). Its exit status, or -1.
int RunWithDescriptorLimit(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                           const std::string& errors, rlim_t descriptors, int seconds) {
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = env;
    std::vector<char*> argp, envp;
    for (std::string& a : arguments) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        const struct rlimit limit = {descriptors, descriptors};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    if (child < 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 100,000 directories under a limit of 64 descriptors: the installation goes
// through, and one that fails at its last entry is rolled back whole.
TEST_F(TransactionFaults, HundredThousandDirectoriesInstallAndRollBackUnderSixtyFourDescriptors) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root (a tmpfs keeps 100,000 directories quick)";
    TinyTmpfs disk(temp_.path("fast"), "1500m");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    constexpr int kDirectories = 100000;
    const std::string source = temp_.path("fast/src");
    MakeDirectories(source + "/doc");
    WriteFile(source + "/doc/readme.html", "<html></html>\n");
    for (int i = 0; i < kDirectories; ++i) {
        const std::string directory = source + "/d" + std::to_string(i / 1000) + "/e" + std::to_string(i);
        ASSERT_EQ(::mkdir((source + "/d" + std::to_string(i / 1000)).c_str(), 0755) == 0 || errno == EEXIST, true);
        ASSERT_EQ(::mkdir(directory.c_str(), 0755), 0);
        WriteFile(directory + "/f", "x");
    }
    std::string output;
    ASSERT_EQ(RunProgram({VXK5_KIT_TOOL, "create", source, "-o", Kit(), "--lang", "en", "--product", "Many",
                          "--vendor", "Example Ltd", "--description", "doc/readme.html"},
                         &output, 300),
              0)
        << output;
    const std::string templates = temp_.path("fast/templates");
    // A directory where the last entry (doc/readme.html) goes: the job fails there.
    MakeDirectories(templates + "/doc/readme.html/inside");
    RecordLocation(templates);
    const std::string before = TreeState(templates);
    const std::vector<std::string> argv = {AppDir() + "/vxk5-setup", "/S", "--exit-status"};

    EXPECT_EQ(RunWithDescriptorLimit(argv, Environment(), temp_.path("failing.err"), 64, 400), 1)
        << ErrorsOf("failing").substr(0, 2000);
    EXPECT_EQ(StateDifference(before, TreeState(templates)), "")
        << "the rollback left things behind: " << ErrorsOf("failing").substr(0, 2000);

    RemoveAll(templates + "/doc");
    EXPECT_EQ(RunWithDescriptorLimit(argv, Environment(), temp_.path("whole.err"), 64, 400), 0)
        << ErrorsOf("whole").substr(0, 2000);
    EXPECT_EQ(ReadFile(templates + "/d99/e99999/f"), "x");
    EXPECT_EQ(ReadFile(templates + "/d0/e0/f"), "x");
}

// An original that is gone from the staging directory when the recovery
// comes: the recovery says which, keeps the staging directory, and the run
// reports failure instead of a clean rollback.
TEST_F(TransactionFaults, RecoveryReportsAMissingOriginalAndKeepsTheRest) {
    constexpr int kFiles = 3000;
    MakeBulkKit(kFiles);
    MakeOldBulk(Templates(), kFiles);
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "old 0")) << Errors();
    ASSERT_TRUE(KillNow(*child_)) << "the run ended before it could be killed";
    child_.reset();

    // bulk/file0.tpl's original, wherever this installer keeps it.
    std::string removed;
    for (const std::string& staging : StagingLeft()) {
        for (const std::string& candidate : {staging + "/originals/" + BulkName(0), staging + "/" + BulkName(0)}) {
            if (removed.empty() && ::unlink(candidate.c_str()) == 0) removed = candidate;
        }
    }
    // Or beside its new file, under the new file's temporary name.
    const std::string beside = Templates() + "/" + BulkName(0).substr(0, BulkName(0).rfind('/'));
    for (const auto& entry : fs::directory_iterator(beside)) {
        const std::string name = entry.path().filename().string();
        if (removed.empty() && name.rfind(".k5stp", 0) == 0 && ReadFile(entry.path().string()) == "old 0" &&
            ::unlink(entry.path().c_str()) == 0) {
            removed = entry.path().string();
        }
    }
    ASSERT_FALSE(removed.empty()) << "no original of bulk/file0.tpl was found set aside";

    RecoverOnly();
    EXPECT_NE(ErrorsOf("recovery").find(BulkName(0)), std::string::npos)
        << "the missing original is not named:\n" << ErrorsOf("recovery");
    EXPECT_FALSE(StagingLeft().empty()) << "the staging directory was cleaned up";
    EXPECT_EQ(ReadFile(Templates() + "/" + BulkName(1)), "old 1") << "the other originals are not back";

    // A run with the kit finds it again and reports failure.
    Start({"/S", "--exit-status", "--result=" + temp_.path("result.json")}, false);
    EXPECT_EQ(Finish(120), 1) << Errors();
    EXPECT_NE(ReadFile(temp_.path("result.json")).find("\"failed\""), std::string::npos)
        << ReadFile(temp_.path("result.json"));
    EXPECT_FALSE(StagingLeft().empty()) << "the staging directory was cleaned up";
}

// A run killed part-way leaves nothing in the temporary directory: the
// unpacked kit has no name there (an unnamed temporary file).
TEST_F(TransactionFaults, KilledRunLeavesNothingInTheTemporaryDirectory) {
    MakeBulkKit(3000);
    Start({"/S"}, false);
    ASSERT_TRUE(WaitUntilChanged(Templates() + "/" + BulkName(0), "")) << Errors();
    ASSERT_TRUE(KillNow(*child_)) << "the run ended before it could be killed";
    child_.reset();
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(Tmp())) left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << "left in the temporary directory: " << left.front();
}

}  // namespace
