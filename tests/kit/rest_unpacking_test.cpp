// The data area unpacked on a thread of its own while entries are copied:
// each entry is served once its bytes are in, to several threads at once,
// and a damaged or short data area fails the entries it does not hold and
// the unpacking's end.

#include <thread>

#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

using kitformat::DescriptionForm;
using kitformat::EncodeContainerHead;

class RestUnpackingTest : public KitTest {
protected:
    std::unique_ptr<DistributionKit> kit_;
};

constexpr uint32_t kPiece = 1u << 20;
constexpr size_t kFiles = 8;
constexpr size_t kBlock = 65535;  // stored deflate blocks: 5 bytes of header each

// kFiles entries of a MiB each, then 2 MiB that no entry needs.
std::string Container(std::string& data) {
    std::vector<KitFileEntry> files;
    for (uint32_t i = 0; i < kFiles; ++i) {
        KitFileEntry entry;
        entry.name = FromMultiByte(AString(("f" + std::to_string(i)).c_str()));
        entry.offset = i * kPiece;
        entry.size = kPiece;
        files.push_back(entry);
    }
    data.clear();
    for (uint32_t i = 0; i < kFiles; ++i) data += TextLikeBytes(kPiece, i + 1);
    data += TextLikeBytes(2 * kPiece, 99);
    return EncodeContainerHead(DescriptionForm::LanguageList, {}, files) + data;
}

std::string Stored(const std::string& container) { return StoredInBlocks(container, kBlock); }

}  // namespace

TEST_F(RestUnpackingTest, EachEntryIsServedAsItsBytesComeAndDamageFailsTheRest) {
    std::string data;
    const std::string container = Container(data);
    const uint64_t head = container.size() - data.size();
    const std::string kit = Stored(container);
    // The kit with the stored block that holds container byte `at` broken:
    // its length and its complement disagree.
    const auto brokenAt = [&kit](uint64_t at) {
        std::string broken = kit;
        broken[at / kBlock * (kBlock + 5) + 3] ^= 0x01;
        return broken;
    };
    const struct {
        const char* what;
        std::string kit;
        uint64_t badFrom;  // container bytes from here on never come
        uint32_t code;     // of the unpacking's end
    } cases[] = {
        {"whole", kit, UINT64_MAX, 0},
        {"broken inside the fifth entry", brokenAt(head + 4 * kPiece + kPiece / 2), head + 4 * kPiece + kPiece / 2,
         ERR_INVALID_DATA},
        {"broken after the last entry", brokenAt(head + kFiles * kPiece + kPiece), UINT64_MAX, ERR_INVALID_DATA},
        {"cut inside the sixth entry", kit.substr(0, (head + 5 * kPiece + 100) / kBlock * (kBlock + 5)),
         head + 5 * kPiece + 100, ERR_INVALID_DATA},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ReadKit(kit_, Kit(c.kit), nullptr, KitReading::FileTableFirst), 0u) << c.what;
        ASSERT_TRUE(kit_->RestPending()) << c.what;
        ASSERT_EQ(StartUnpackingRest(*kit_), 0u) << c.what;
        EXPECT_TRUE(kit_->RestUnpackingStarted()) << c.what;
        EXPECT_EQ(StartUnpackingRest(*kit_), 0u) << c.what << ": a second start changes nothing";

        // Two threads take the entries from both ends, as the job's two do.
        uint32_t codes[kFiles] = {};
        std::string bytes[kFiles];
        const auto take = [&](size_t i) {
            codes[i] = WaitForEntryBytes(*kit_, i);
            if (codes[i] == 0) bytes[i] = ReadContainer(kit_, kit_->Entries()[i].offset, kPiece);
        };
        std::thread other([&] {
            for (size_t i = kFiles; i-- > kFiles / 2;) take(i);
        });
        for (size_t i = 0; i < kFiles / 2; ++i) take(i);
        other.join();

        bool served = true;  // the entries served are the first ones
        for (size_t i = 0; i < kFiles; ++i) {
            const std::string where = std::string(c.what) + ": entry " + std::to_string(i);
            if (codes[i] == 0) {
                EXPECT_TRUE(served) << where << " served after one that was not";
                EXPECT_TRUE(bytes[i] == data.substr(i * kPiece, kPiece)) << where;
                EXPECT_LE(head + (i + 1) * kPiece, c.badFrom) << where << " served from bytes that never came";
            } else {
                served = false;
                // Refused only by a damaged kit; what a failed step had
                // inflated before the damage may be refused as well.
                EXPECT_EQ(codes[i], ERR_INVALID_DATA) << where;
                EXPECT_NE(c.code, 0u) << where << " refused from a sound kit";
            }
        }
        EXPECT_EQ(codes[0], 0u) << c.what << ": the first entry lies before any damage";
        EXPECT_EQ(UnpackRest(*kit_), c.code) << c.what;
        EXPECT_EQ(UnpackRest(*kit_), c.code) << c.what;
        EXPECT_FALSE(kit_->RestPending()) << c.what;
        EXPECT_FALSE(kit_->RestUnpackingStarted()) << c.what;
    }
}

// Bytes given back while the rest is still being unpacked leave every later
// entry exact; and a kit given up in the middle of its unpacking goes at once.
TEST_F(RestUnpackingTest, BytesGoBackMeanwhileAndAKitGoesInTheMiddle) {
    std::string data;
    const std::string container = Container(data);
    ASSERT_EQ(ReadKit(kit_, Kit(Stored(container)), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_EQ(StartUnpackingRest(*kit_), 0u);
    for (size_t i = 0; i < kFiles; ++i) {
        ASSERT_EQ(WaitForEntryBytes(*kit_, i), 0u);
        EXPECT_TRUE(ReadContainer(kit_, kit_->Entries()[i].offset, kPiece) == data.substr(i * kPiece, kPiece))
            << "entry " << i;
        kit_->ReleaseEntriesBefore(i + 1);
    }
    EXPECT_EQ(UnpackRest(*kit_), 0u);

    std::string large;
    for (uint32_t i = 0; i < 64; ++i) large += TextLikeBytes(kPiece, i);
    KitFileEntry entry;
    entry.name = FromMultiByte(AString("large"));
    entry.size = static_cast<uint32_t>(large.size());
    ASSERT_EQ(ReadKit(kit_, Kit(Stored(EncodeContainerHead(DescriptionForm::LanguageList, {}, {entry}) + large)),
                      nullptr, KitReading::FileTableFirst),
              0u);
    ASSERT_EQ(StartUnpackingRest(*kit_), 0u);
    kit_.reset();  // the unpacking stops after its current step; nothing waits for the rest
    EXPECT_EQ(ContainerCount(), 0u);
}
