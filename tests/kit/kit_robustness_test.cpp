// The kit layer under unusual conditions: kernels with 64 KiB pages, a FIFO
// where the kit should be, and a kit model read twice.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "platform/mapped_window.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

// Runs the windows under a page size other than the machine's.
class PageSize {
public:
    explicit PageSize(size_t bytes) { SetMappingPageSize(bytes); }
    ~PageSize() { SetMappingPageSize(0); }
    PageSize(const PageSize&) = delete;
    PageSize& operator=(const PageSize&) = delete;
};

class KitRobustnessTest : public KitTest {};

// Ends the test program (SIGALRM) should a test block: a time-out that holds
// however the test is run.
class BlockingGuard {
public:
    explicit BlockingGuard(unsigned seconds) { alarm(seconds); }
    ~BlockingGuard() { alarm(0); }
    BlockingGuard(const BlockingGuard&) = delete;
    BlockingGuard& operator=(const BlockingGuard&) = delete;
};

TEST_F(KitRobustnessTest, WindowsStartAtPageBoundariesOfA64KiBPage) {
    const PageSize page(65536);
    ASSERT_EQ(MappingPageSize(), 65536u);
    const std::string bytes = TextLikeBytes(4 * 32768 + 100);
    WriteFile(tmp_.path("file"), bytes);
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(CreateFileHandle(FromMultiByte(tmp_.path("file")), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0), 0u);
    OwnedDescriptor file(DescriptorOf(handle));
    for (uint64_t offset = 0; offset < bytes.size(); offset += 32768) {
        const size_t length = std::min<size_t>(32768, bytes.size() - offset);
        MappedWindow window;
        ASSERT_TRUE(window.Map(file.Get(), offset, length)) << offset;
        EXPECT_EQ(window.MappedOffset() % 65536, 0u) << offset;
        EXPECT_EQ(window.MappedOffset(), offset - offset % 65536);
        ASSERT_EQ(window.Size(), length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(window.Data()), length), bytes.substr(offset, length));
    }
}

TEST_F(KitRobustnessTest, WindowsFollowTheSystemsPageSize) {
    const long system = sysconf(_SC_PAGESIZE);
    ASSERT_GT(system, 0);
    EXPECT_EQ(MappingPageSize(), static_cast<size_t>(system));
    WriteFile(tmp_.path("file"), TextLikeBytes(3 * 32768));
    FileHandle handle = INVALID_FILE_HANDLE;
    ASSERT_EQ(CreateFileHandle(FromMultiByte(tmp_.path("file")), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0), 0u);
    OwnedDescriptor file(DescriptorOf(handle));
    MappedWindow window;
    ASSERT_TRUE(window.Map(file.Get(), 32768 + 5, 10));  // any offset: the mapping starts below it
    EXPECT_EQ(window.MappedOffset() % static_cast<uint64_t>(system), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(window.Data()), 10), TextLikeBytes(3 * 32768).substr(32773, 10));
}

TEST_F(KitRobustnessTest, KitsUnpackWholeWith64KiBPages) {
    const PageSize page(65536);
    const std::string data = TextLikeBytes(700000);
    const std::string kit = Deflate(data);
    ASSERT_GT(kit.size(), 3u * 32768);
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    EXPECT_EQ(UnpackKit(Kit(kit), path), 0u);
    EXPECT_EQ(ReadFile(ToMultiByteString(path)), data);
}

// A FIFO has no end: opened for reading it would wait for a writer for ever.
// The test fails by its time-out if anything blocks.
TEST_F(KitRobustnessTest, FifoAsTheKitIsRefusedWithoutBlocking) {
    const BlockingGuard guard(20);
    const std::string fifo = tmp_.path("kit.efd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::unique_ptr<DistributionKit> kit;
    EXPECT_NE(ReadKit(kit, FromMultiByte(fifo)), 0u);
    EXPECT_EQ(kit->Container(), INVALID_FILE_HANDLE);
    EXPECT_EQ(ContainerCount(), 0u);
    FileHandle handle = INVALID_FILE_HANDLE;
    EXPECT_EQ(CreateFileHandle(FromMultiByte(fifo), FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, 0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(CreateFileHandle(FromMultiByte(fifo), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle, 0), ERR_INVALID_PARAMETER);
}

TEST_F(KitRobustnessTest, SecondReadStartsFromAnEmptyModel) {
    using kitformat::DescriptionForm;
    KitFileEntry entry;
    entry.name = u"first.txt";
    std::unique_ptr<DistributionKit> kit;
    ASSERT_EQ(ReadKit(kit, Kit(Deflate(kitformat::EncodeContainerHead(
                                   DescriptionForm::LanguageList, {{u"de", u"Erste", u"A", u""}}, {entry})),
                               "one.efd")),
              0u);
    ASSERT_EQ(kit->Descriptions().size(), 1u);

    entry.name = u"second.txt";
    ASSERT_EQ(ReadKit(kit, Kit(Deflate(kitformat::EncodeContainerHead(
                                   DescriptionForm::LanguageList, {{u"en", u"Second", u"B", u""}}, {entry})),
                               "two.efd")),
              0u);
    ASSERT_EQ(kit->Descriptions().size(), 1u);
    EXPECT_EQ(kit->Descriptions()[0].product, u"Second");
    WString product, vendor;
    GetProductInfo(kit.get(), u"de", product, vendor);
    EXPECT_TRUE(product.empty()) << "the first kit's description is gone";
    ASSERT_EQ(kit->Entries().size(), 1u);
    EXPECT_EQ(kit->Entries()[0].name, u"second.txt");
    EXPECT_NE(kit->Container(), INVALID_FILE_HANDLE);
    EXPECT_EQ(ContainerCount(), 0u) << "containers have no name in the temporary directory";

    // A failing second read leaves nothing of the first either.
    EXPECT_NE(ReadKit(kit, Kit("\x07 not deflate", "bad.efd")), 0u);
    EXPECT_TRUE(kit->Descriptions().empty());
    EXPECT_TRUE(kit->Entries().empty());
}

}  // namespace
