#include "tests/install/install_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "base/conversion.h"
#include "config/target_path.h"
#include "config/template_locations.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "lang/messages.h"
#include "platform/job_state.h"

using namespace vxk5;

FileTime TimeAt(int64_t unixSeconds, uint32_t extraTicks) {
    return FileTime::FromTicks(UnixTimeToFileTime(unixSeconds).Ticks() + extraTicks);
}

int64_t ModificationTime(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return -1;
    return status.st_mtime;
}

void SetModificationTime(const std::string& path, int64_t unixSeconds) {
    const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), 0}, {static_cast<time_t>(unixSeconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::vector<std::string> ListNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* stream = ::opendir(directory.c_str());
    if (stream == nullptr) return names;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// What the parts' containers begin with, before the entries' bytes.
constexpr char kContainerHead[] = "CONTAINER-HEAD";

void SnapshotInto(const std::string& directory, const std::string& prefix, TreeSnapshot& snapshot) {
    for (const std::string& name : ListNames(directory)) {
        const std::string path = directory + "/" + name;
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0) continue;
        TreeEntry entry;
        entry.mode = status.st_mode & 07777;
        if (S_ISDIR(status.st_mode)) {
            entry.kind = 'd';
            snapshot[prefix + name] = entry;
            SnapshotInto(path, prefix + name + "/", snapshot);
            continue;
        }
        if (S_ISLNK(status.st_mode)) {
            entry.kind = 'l';
            char text[4096];
            const ssize_t length = ::readlink(path.c_str(), text, sizeof text);
            if (length > 0) entry.bytes.assign(text, static_cast<size_t>(length));
        } else if (S_ISREG(status.st_mode)) {
            entry.kind = 'f';
            // An unreadable file is read by its bytes all the same (the test
            // may be root); where it cannot be read the bytes stay empty.
            entry.bytes = ReadFile(path);
        } else {
            entry.kind = 'o';
        }
        entry.mtime = status.st_mtime;
        snapshot[prefix + name] = entry;
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const TreeEntry& entry) {
    return out << entry.kind << " mode " << std::oct << entry.mode << std::dec << " mtime " << entry.mtime << " \""
               << entry.bytes.substr(0, 40) << "\"";
}

TreeSnapshot Snapshot(const std::string& directory) {
    TreeSnapshot snapshot;
    SnapshotInto(directory, "", snapshot);
    return snapshot;
}

void InstallTest::SetUp() {
    SetCurrentLanguage(kLanguageEnglish);
    MakeDirectories(root_.path("t"));
    MakeDirectories(root_.path("kits"));
    tmpdir_.emplace("TMPDIR", root_.path("tmp"));
    // The registry of unfinished installations lives under HOME: a private one.
    home_.emplace("HOME", root_.path("home"));
    ResetKit();
}

std::vector<std::string> InstallTest::CreatedDirectories() const {
    std::vector<std::string> created;
    for (const JournalStep& step : job_.record.steps.Expand()) {
        if (step.kind != StepKind::MakeDirectory || !step.identified) continue;
        std::string path = step.path;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        created.push_back(path);
    }
    return created;
}

std::vector<std::string> InstallTest::NewFiles() const {
    std::vector<std::string> files;
    const std::vector<JournalStep> steps = job_.record.steps.Expand();
    for (const JournalStep& step : steps) {
        if (step.kind != StepKind::WriteFile) continue;
        bool replaced = false;
        for (const JournalStep& other : steps) replaced = replaced || (other.kind == StepKind::MoveToBackup && other.path == step.path);
        if (!replaced) files.push_back(step.path);
    }
    return files;
}

void InstallTest::TearDown() {
    kit_.reset();
    home_.reset();
    tmpdir_.reset();
}

void InstallTest::ResetKit() {
    kit_ = DistributionKit::FromContainer(OwnedDescriptor(), {}, {});
    pending_.clear();
    built_ = false;
    // Some bytes ahead of the data, so that no entry starts at offset 0.
    containerData_ = kContainerHead;
}

void InstallTest::AddEntry(const std::string& name, const std::string& bytes, FileTime time) {
    pending_.push_back({name, static_cast<uint32_t>(containerData_.size()), static_cast<uint32_t>(bytes.size()), time});
    containerData_ += bytes;
}

void InstallTest::AddRawEntry(const std::string& name, uint32_t offset, uint32_t size, FileTime time) {
    pending_.push_back({name, offset, size, time});
}

void InstallTest::BuildKit() {
    if (built_) return;
    containerPath_ = root_.path("kits/container" + std::to_string(kitCount_++));
    WriteFile(containerPath_, containerData_);
    SetEntries(PendingEntries(0));
    built_ = true;
}

std::vector<KitFileEntry> InstallTest::PendingEntries(uint32_t offsetsFrom) const {
    std::vector<KitFileEntry> entries;
    for (const PendingEntry& entry : pending_) {
        KitFileEntry kitEntry;
        kitEntry.name = FromMultiByte(entry.name);
        kitEntry.timeLow = entry.time.low;
        kitEntry.timeHigh = entry.time.high;
        kitEntry.offset = entry.offset - offsetsFrom;
        kitEntry.size = entry.size;
        entries.push_back(kitEntry);
    }
    return entries;
}

void InstallTest::SetEntries(std::vector<KitFileEntry> entries) {
    // The job only reads the container.
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(CreateFileHandle(FromMultiByte(containerPath_), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, FILE_ATTR_NORMAL),
              0u);
    kit_ = DistributionKit::FromContainer(OwnedDescriptor(DescriptorOf(handle)), {}, std::move(entries));
}

void InstallTest::ReadBackAsKitFile() {
    // The parts' offsets count from the container's first byte; a kit's, from its data area.
    const size_t head = std::string(kContainerHead).size();
    const std::string container = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {},
                                                                 PendingEntries(static_cast<uint32_t>(head))) +
                                  containerData_.substr(head);
    const std::string path = root_.path("kits/kit" + std::to_string(kitCount_++) + ".efd");
    ASSERT_EQ(WriteKitFile(FromMultiByte(path), container, 1), 0u);
    ASSERT_EQ(ReadKit(kit_, FromMultiByte(path), nullptr, KitReading::FileTableFirst), 0u);
    built_ = true;
}

uint32_t InstallTest::RunJob() { return RunJobInto(TargetPath()); }

uint32_t InstallTest::RunJobInto(const std::string& target) {
    BuildKit();
    posts_.clear();
    job_ = InstallJob();
    job_.finalPauseMilliseconds = 0;
    if (batchSize_ != 0) job_.batchSize = job_.batchSizeLimit = batchSize_;
    if (parallelFrom_ != 0) job_.parallelFrom = parallelFrom_;
    job_.releaseCopiedBytes = releaseCopiedBytes_;
    job_.inflateIntoFiles = inflateIntoFiles_;
    job_.exchangeOriginals = exchangeOriginals_;
    job_.firstWorkingNumber = firstWorkingNumber_;
    job_.keepRecord = keepRecord_;
    job_.postObserver = [this](uint32_t code, const WString& text, uint32_t percent) {
        posts_.push_back({code, ToMultiByteString(text), percent});
        if (onPost_) onPost_(posts_.back());
    };
    InstallJobState state;
    // The job takes an absolute directory ending with "/": a relative target
    // is resolved here, as the installer resolves what the user typed.
    WString directory = FromMultiByte(target);
    if (WString absolute; ResolveTargetPath(directory, absolute)) directory = absolute;
    SetupJob(state, TemplateLocations::AsInstallTarget(directory));
    const uint32_t result = RunInstallJob(job_, state, kit_.get()).code;
    // The record holds the last post as well.
    uint32_t code = 0;
    WString text;
    uint32_t percent = 0;
    GetJobResult(state, code, text, percent);
    if (!posts_.empty()) {
        EXPECT_EQ(code, posts_.back().code);
        EXPECT_EQ(ToMultiByteString(text), posts_.back().text);
        EXPECT_EQ(percent, posts_.back().percent);
    }
    return result;
}
