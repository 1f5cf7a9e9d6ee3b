#include "base/conversion.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform_test_support.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

namespace {

class FileHandleTest : public ::testing::Test {
protected:
    FileHandle Open(const std::string& path, uint32_t access, uint32_t disposition) {
        FileHandle handle = INVALID_FILE_HANDLE;
        EXPECT_EQ(CreateFileHandle(FromMultiByte(path), access, 0, disposition, handle, FILE_ATTR_NORMAL), 0u) << path;
        return handle;
    }
    static uint32_t Write(FileHandle handle, const std::string& text) {
        uint32_t count = 0;
        return WriteFileHandle(handle, text.data(), static_cast<uint32_t>(text.size()), &count, nullptr);
    }
    static std::string Read(FileHandle handle, uint32_t size) {
        std::string buffer(size, '\0');
        uint32_t count = 0;
        EXPECT_EQ(ReadFileHandle(handle, buffer.data(), size, &count, nullptr), 0u);
        buffer.resize(count);
        return buffer;
    }
    TempDir dir_;
};

TEST_F(FileHandleTest, AccessValuesChooseTheOpenMode) {
    const std::string path = dir_.path("f");
    WriteFile(path, "0123456789");

    OwnedDescriptor both(DescriptorOf(Open(path, FILE_ACCESS_READ | FILE_ACCESS_WRITE, FILE_OPEN_EXISTING)));
    EXPECT_EQ(Write(both.Get(), "ab"), 0u);
    EXPECT_EQ(SeekFileHandle(both.Get(), 0, FILE_FROM_START), 0);
    EXPECT_EQ(Read(both.Get(), 4), "ab23");

    OwnedDescriptor readOnly(DescriptorOf(Open(path, FILE_ACCESS_READ, FILE_OPEN_EXISTING)));
    EXPECT_EQ(Read(readOnly.Get(), 2), "ab");
    EXPECT_EQ(Write(readOnly.Get(), "x"), ERR_INVALID_PARAMETER);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);

    OwnedDescriptor writeOnly(DescriptorOf(Open(path, FILE_ACCESS_WRITE, FILE_OPEN_EXISTING)));
    EXPECT_EQ(Write(writeOnly.Get(), "W"), 0u);
    char byte;
    uint32_t count = 7;
    EXPECT_EQ(ReadFileHandle(writeOnly.Get(), &byte, 1, &count, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ReadFile(path), "Wb23456789");
}

TEST_F(FileHandleTest, DispositionsCreateKeepOrTruncate) {
    const std::string path = dir_.path("d");
    FileHandle handle = 1234;
    for (uint32_t disposition : {1u, 3u, 4u, 5u}) {
        EXPECT_EQ(CreateFileHandle(FromMultiByte(path), FILE_ACCESS_WRITE, 0, disposition, handle, 0), ERR_NOT_FOUND);
        EXPECT_EQ(GetPlatformError(), ERR_NOT_FOUND);
        EXPECT_EQ(handle, 1234) << "a failed open stores no handle";
        EXPECT_FALSE(PathExists(path));
    }

    const mode_t old = umask(027);
    (void)CloseFileHandle(Open(path, FILE_ACCESS_WRITE, FILE_CREATE));  // only the mode is looked at
    umask(old);
    EXPECT_EQ(StatOf(path).st_mode & 0777, 0640u) << "0660 less the creation mask";

    WriteFile(path, "0123456789");
    {
        OwnedDescriptor kept(DescriptorOf(Open(path, FILE_ACCESS_WRITE, FILE_CREATE)));
        EXPECT_EQ(Write(kept.Get(), "abcd"), 0u);
    }
    EXPECT_EQ(ReadFile(path), "abcd456789") << "FILE_CREATE keeps the existing bytes";
    {
        OwnedDescriptor rewritten(DescriptorOf(Open(path, FILE_ACCESS_WRITE, FILE_CREATE)));
        EXPECT_EQ(Write(rewritten.Get(), "wxyz"), 0u);
        EXPECT_EQ(TruncateFileHandle(rewritten.Get()), 0u);
    }
    EXPECT_EQ(ReadFile(path), "wxyz");
    (void)CloseFileHandle(Open(path, FILE_ACCESS_WRITE, FILE_TRUNCATE_EXISTING));  // only the open truncates
    EXPECT_EQ(ReadFile(path), "");
}

// A path that would be cut short (at a 0 unit, or at a unit the locale cannot
// encode) names another file: it is refused, never opened shortened.
TEST_F(FileHandleTest, PathThatWouldBeCutShortIsRefused) {
    WriteFile(dir_.path("short"), "x");
    for (const char16_t cut : {u'\0', u'\xD800', u'\xDC00'}) {
        WString path = FromMultiByte(dir_.path("short"));
        path += cut;
        path += u"tail";
        FileHandle handle = INVALID_FILE_HANDLE;
        EXPECT_EQ(CreateFileHandle(path, FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0), ERR_INVALID_PARAMETER);
        EXPECT_EQ(handle, INVALID_FILE_HANDLE);
        EXPECT_EQ(CreateFileHandle(path, FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, 0), ERR_INVALID_PARAMETER);
    }
    EXPECT_EQ(ReadFile(dir_.path("short")), "x");
}

TEST_F(FileHandleTest, LastErrorIsClearedOnEntryAndSetByEachFailure) {
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(CreateFileHandle(FromMultiByte(dir_.path("missing")), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0),
              ERR_NOT_FOUND);
    EXPECT_EQ(GetPlatformError(), ERR_NOT_FOUND);
    EXPECT_EQ(CreateFileHandle(FromMultiByte(dir_.path("missing/below")), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0),
              ERR_NOT_FOUND);
    WriteFile(dir_.path("file"), "");
    EXPECT_EQ(CreateFileHandle(FromMultiByte(dir_.path("file/below")), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0),
              ERR_INVALID_PARAMETER) << "ENOTDIR is not ENOENT";
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);

    OwnedDescriptor file(DescriptorOf(Open(dir_.path("file"), FILE_ACCESS_READ, FILE_OPEN_EXISTING)));
    EXPECT_EQ(GetPlatformError(), 0u) << "a successful call clears it";

    EXPECT_EQ(SeekFileHandle(INVALID_FILE_HANDLE, 0, FILE_FROM_START) & 0xFFFFFFFF, 0xFFFFFFFFu);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE);
    EXPECT_EQ(CloseFileHandle(file.Release()), 0u);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE) << "closing leaves the last error alone";
    EXPECT_EQ(CloseFileHandle(INVALID_FILE_HANDLE), ERR_INVALID_PARAMETER);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);

    uint32_t count = 5;
    char byte;
    EXPECT_EQ(WriteFileHandle(INVALID_FILE_HANDLE, "x", 1, &count, nullptr), ERR_INVALID_HANDLE);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE);
    EXPECT_EQ(ReadFileHandle(INVALID_FILE_HANDLE, &byte, 1, &count, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);
    EXPECT_EQ(TruncateFileHandle(INVALID_FILE_HANDLE), ERR_INVALID_HANDLE);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_HANDLE);
}

TEST_F(FileHandleTest, ReadStopsAtTheEndWithoutError) {
    WriteFile(dir_.path("hundred"), std::string(100, 'h'));
    OwnedDescriptor file(DescriptorOf(Open(dir_.path("hundred"), FILE_ACCESS_READ, FILE_OPEN_EXISTING)));
    std::string buffer(4096, '\0');
    uint32_t count = 99;
    EXPECT_EQ(ReadFileHandle(file.Get(), buffer.data(), 4096, &count, nullptr), 0u);
    EXPECT_EQ(count, 100u);
    EXPECT_EQ(ReadFileHandle(file.Get(), buffer.data(), 4096, &count, nullptr), 0u);
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(ReadFileHandle(file.Get(), buffer.data(), 1, nullptr, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);
    int reserved = 0;
    EXPECT_EQ(SeekFileHandle(file.Get(), 10, FILE_FROM_START), 10);
    EXPECT_EQ(ReadFileHandle(file.Get(), buffer.data(), 1, nullptr, &reserved), 0u);
    EXPECT_EQ(SeekFileHandle(file.Get(), 0, FILE_FROM_CURRENT), 10) << "nothing was read";
}

TEST_F(FileHandleTest, WriteToAFullDeviceFailsWithTheCountWritten) {
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(CreateFileHandle(u"/dev/full", FILE_ACCESS_WRITE, 0, FILE_OPEN_EXISTING, handle, 0), 0u);
    OwnedDescriptor full(DescriptorOf(handle));
    const std::string data(8192, 'd');
    uint32_t count = 77;
    EXPECT_EQ(WriteFileHandle(full.Get(), data.data(), 8192, &count, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);

    EXPECT_EQ(WriteFileHandle(full.Get(), data.data(), 1, nullptr, nullptr), ERR_INVALID_PARAMETER);
    int reserved = 0;
    EXPECT_EQ(WriteFileHandle(full.Get(), data.data(), 1, nullptr, &reserved), 0u) << "no count: nothing written";
}

TEST_F(FileHandleTest, SeekOriginsAndTruncationAtThePosition) {
    const std::string path = dir_.path("s");
    WriteFile(path, "0123456789");
    OwnedDescriptor file(DescriptorOf(Open(path, FILE_ACCESS_READ | FILE_ACCESS_WRITE, FILE_OPEN_EXISTING)));
    EXPECT_EQ(SeekFileHandle(file.Get(), 0, FILE_FROM_END), 10);
    EXPECT_EQ(SeekFileHandle(file.Get(), -4, FILE_FROM_CURRENT), 6);
    EXPECT_EQ(SeekFileHandle(file.Get(), 3, 9), 3) << "unknown origins count from the start";
    EXPECT_EQ(SeekFileHandle(file.Get(), -1, FILE_FROM_START), -1);
    EXPECT_EQ(GetPlatformError(), ERR_INVALID_PARAMETER);
    EXPECT_EQ(SeekFileHandle(file.Get(), 5000000000LL, FILE_FROM_START), 5000000000LL) << "64-bit positions";
    EXPECT_EQ(SeekFileHandle(file.Get(), 7, FILE_FROM_START), 7);
    EXPECT_EQ(TruncateFileHandle(file.Get()), 0u);
    EXPECT_EQ(ReadFile(path), "0123456");
}

// Positional writes leave the handle where it was, and a write of more than
// one call's worth still lands whole; the size is set both ways.
TEST_F(FileHandleTest, WritesAtAnOffsetAndSetsTheSize) {
    const std::string path = dir_.path("at");
    OwnedDescriptor file(DescriptorOf(Open(path, FILE_ACCESS_READ | FILE_ACCESS_WRITE, FILE_CREATE)));
    ASSERT_EQ(Write(file.Get(), "0123456789"), 0u);
    ASSERT_EQ(SeekFileHandle(file.Get(), 2, FILE_FROM_START), 2);
    EXPECT_EQ(WriteFileHandleAt(file.Get(), "abc", 3, 5), 0);
    EXPECT_EQ(SeekFileHandle(file.Get(), 0, FILE_FROM_CURRENT), 2) << "the position is not moved";
    EXPECT_EQ(ReadFile(path), "01234abc89");
    const std::string large(3 << 20, 'x');
    EXPECT_EQ(WriteFileHandleAt(file.Get(), large.data(), static_cast<uint32_t>(large.size()), 12), 0);
    EXPECT_EQ(ReadFile(path).size(), 12 + large.size());
    EXPECT_EQ(ReadFile(path).substr(10, 2), std::string(2, '\0')) << "the gap reads as zeros";
    EXPECT_EQ(SetFileHandleSize(file.Get(), 4), 0);
    EXPECT_EQ(ReadFile(path), "0123");
    EXPECT_EQ(SetFileHandleSize(file.Get(), 6), 0);
    EXPECT_EQ(ReadFile(path), std::string("0123\0\0", 6));
    OwnedDescriptor reading(DescriptorOf(Open(path, FILE_ACCESS_READ, FILE_OPEN_EXISTING)));
    EXPECT_NE(WriteFileHandleAt(reading.Get(), "z", 1, 0), 0) << "not open for writing";
    EXPECT_NE(SetFileHandleSize(reading.Get(), 0), 0);
}

// A second handle for reading only, with its own position, also on a file
// that has lost its name.
TEST_F(FileHandleTest, ReopensAFileForReadingOnly) {
    const std::string path = dir_.path("again");
    OwnedDescriptor file(DescriptorOf(Open(path, FILE_ACCESS_READ | FILE_ACCESS_WRITE, FILE_CREATE)));
    ASSERT_EQ(Write(file.Get(), "first"), 0u);
    ASSERT_EQ(unlink(path.c_str()), 0);
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(ReopenFileHandleForReading(file.Get(), handle), 0u);
    OwnedDescriptor again(DescriptorOf(handle));
    EXPECT_EQ(fcntl(DescriptorOf(again.Get()), F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_EQ(Read(again.Get(), 5), "first") << "its own position, at the start";
    ASSERT_EQ(Write(file.Get(), " more"), 0u);
    EXPECT_EQ(Read(again.Get(), 5), " more") << "what the first handle writes is seen";
    uint32_t count = 0;
    EXPECT_NE(WriteFileHandle(again.Get(), "x", 1, &count, nullptr), 0u);
    FileHandle none = INVALID_FILE_HANDLE;
    EXPECT_EQ(ReopenFileHandleForReading(INVALID_FILE_HANDLE, none), ERR_INVALID_HANDLE);
    EXPECT_EQ(none, INVALID_FILE_HANDLE);
}

}  // namespace
