#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "base/conversion.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"
#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

constexpr uint64_t kBillionSecondTicks = 126444736000000000ULL;

TEST(FileTimeConversion, UnixSecondsAndTicks) {
    EXPECT_EQ(UnixTimeToFileTime(1000000000).Ticks(), kBillionSecondTicks);
    EXPECT_EQ(UnixTimeToFileTime(0).Ticks(), 116444736000000000ULL);
    EXPECT_EQ(FileTimeToUnixTime(FileTime::FromTicks(kBillionSecondTicks)), 1000000000);
    EXPECT_EQ(FileTimeToUnixTime(FileTime::FromTicks(kBillionSecondTicks + 9999999)), 1000000000)
        << "sub-second ticks drop";
    EXPECT_EQ(FileTimeToUnixTime(FileTime::FromTicks(kBillionSecondTicks + 10000000)), 1000000001);
    EXPECT_EQ(FileTimeToUnixTime(FileTime::FromTicks(0)), -11644473600LL);
    EXPECT_EQ(UnixTimeToFileTime(-11644473600LL).Ticks(), 0u);
}

TEST(FileTimeConversion, HalvesCompareHighFirst) {
    const FileTime t = FileTime::FromTicks(kBillionSecondTicks);
    EXPECT_EQ(t.low, static_cast<uint32_t>(kBillionSecondTicks));
    EXPECT_EQ(t.high, static_cast<uint32_t>(kBillionSecondTicks >> 32));
    const FileTime bigLow{0xFFFFFFFFu, 1};
    const FileTime bigHigh{0, 2};
    EXPECT_TRUE(bigLow < bigHigh);
    EXPECT_FALSE(bigHigh < bigLow);
    EXPECT_TRUE(UnixTimeToFileTime(999999999) < UnixTimeToFileTime(1000000000));
}

class FileTimesTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.path("t");
        WriteFile(path_, "x");
        ASSERT_EQ(CreateFileHandle(FromMultiByte(path_), FILE_ACCESS_READ | FILE_ACCESS_WRITE, 0, FILE_OPEN_EXISTING, handle_, 0),
                  0u);
        file_.Reset(DescriptorOf(handle_));
    }
    TempDir dir_;
    std::string path_;
    FileHandle handle_ = INVALID_FILE_HANDLE;
    OwnedDescriptor file_;
};

TEST_F(FileTimesTest, ReadsWholeSeconds) {
    const struct timespec times[2] = {{1200000000, 999999999}, {1000000000, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    FileTime creation, access, modification;
    ASSERT_EQ(GetFileHandleTimes(handle_, &creation, &access, &modification), 0u);
    EXPECT_EQ(modification.Ticks(), kBillionSecondTicks);
    EXPECT_EQ(access.Ticks(), UnixTimeToFileTime(1200000000).Ticks());
    EXPECT_EQ(creation.Ticks(), UnixTimeToFileTime(StatOf(path_).st_ctime).Ticks()) << "status change time";

    FileTime only;
    EXPECT_EQ(GetFileHandleTimes(handle_, nullptr, nullptr, &only), 0u);
    EXPECT_EQ(only.Ticks(), kBillionSecondTicks);
}

TEST_F(FileTimesTest, SetsAccessAndModificationToTheModificationSecond) {
    const FileTime ignored = UnixTimeToFileTime(5);
    const FileTime modification = FileTime::FromTicks(kBillionSecondTicks + 5000000);
    EXPECT_EQ(SetFileHandleTimes(handle_, &ignored, &ignored, &modification), 0u);
    const struct stat status = StatOf(path_);
    EXPECT_EQ(status.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(status.st_mtim.tv_nsec, 0);
    EXPECT_EQ(status.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(status.st_atim.tv_nsec, 0);
}

TEST_F(FileTimesTest, FailuresSetTheLastError) {
    FileTime t;
    EXPECT_EQ(GetFileHandleTimes(INVALID_FILE_HANDLE, &t, &t, &t), ERR_INVALID_HANDLE);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE);
    EXPECT_EQ(SetFileHandleTimes(INVALID_FILE_HANDLE, nullptr, nullptr, &t), ERR_INVALID_HANDLE);
    EXPECT_EQ(SetFileHandleTimes(handle_, &t, &t, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);

    const FileHandle closed = file_.Release();
    (void)CloseFileHandle(closed);  // only the handle's being closed matters here
    EXPECT_EQ(GetFileHandleTimes(closed, &t, nullptr, nullptr), ERR_INVALID_HANDLE) << "fstat fails";
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE);
}

}  // namespace
