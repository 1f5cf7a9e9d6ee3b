// The kit layer under unusual conditions: a FIFO where the kit should be, and
// a kit model read twice.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/conversion.h"
#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

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
