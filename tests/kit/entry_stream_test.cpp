// The data area inflated straight into the files: each entry's bytes handed
// over once, in the entries' order, past what the container holds; bytes no
// entry asks for dropped; a damaged, short or mismatching stream fails the
// entry that needs the missing bytes, or the unpacking's end; a kit whose
// entries share or reorder bytes is unpacked into its container as before.

#include <string>
#include <thread>
#include <vector>

#include "kit/container_encoder.h"
#include "kit/entry_stream.h"
#include "kit/kit_reader.h"
#include "kit/kit_writer.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

using kitformat::DescriptionForm;
using kitformat::EncodeContainerHead;

constexpr uint32_t kPiece = 1u << 20;
constexpr uint32_t kGap = 1000;
constexpr size_t kFiles = 8;
constexpr size_t kBlock = 65535;  // stored deflate blocks: 5 bytes of header each

class EntryStreamTest : public KitTest {
protected:
    // Entry i's bytes as a job takes them: those the container holds, then
    // the stream's. The code of the delivery.
    uint32_t Take(size_t i, std::string& bytes) {
        const KitFileEntry& entry = kit_->Entries()[i];
        const uint32_t inContainer = EntryBytesInContainer(*kit_, i);
        bytes = inContainer != 0 ? ReadContainer(kit_, entry.offset, inContainer) : std::string();
        return DeliverEntryBytes(*kit_, i, [&bytes](const uint8_t* piece, uint32_t size) {
            bytes.append(reinterpret_cast<const char*>(piece), size);
            return ERR_SUCCESS;
        });
    }

    std::unique_ptr<DistributionKit> kit_;
};

// kFiles entries of a MiB each with kGap bytes after each, an empty entry
// after the second, then 2 MiB that no entry needs. `data` is the data area.
std::string Container(std::string& data) {
    std::vector<KitFileEntry> files;
    data.clear();
    for (uint32_t i = 0; i < kFiles; ++i) {
        KitFileEntry entry;
        entry.name = FromMultiByte(AString(("f" + std::to_string(i)).c_str()));
        entry.offset = static_cast<uint32_t>(data.size());
        entry.size = kPiece;
        files.push_back(entry);
        data += TextLikeBytes(kPiece, i + 1) + std::string(kGap, 'g');
        if (i == 1) {
            KitFileEntry empty;
            empty.name = FromMultiByte(AString("empty"));
            empty.offset = 7;
            files.push_back(empty);
        }
    }
    data += TextLikeBytes(2 * kPiece, 99);
    return EncodeContainerHead(DescriptionForm::LanguageList, {}, files) + data;
}

std::string Stored(const std::string& container) { return StoredInBlocks(container, kBlock); }

// Where entry `i`'s bytes start in the data area of Container().
uint64_t DataOffset(size_t i) { return i * (static_cast<uint64_t>(kPiece) + kGap); }
// The index in the kit's entries of the i-th file (the empty entry follows f1).
size_t EntryIndex(size_t i) { return i < 2 ? i : i + 1; }

}  // namespace

TEST_F(EntryStreamTest, EachEntryComesOnceInOrderAndTheRestIsDropped) {
    std::string data;
    const std::string container = Container(data);
    ASSERT_EQ(ReadKit(kit_, Kit(Stored(container)), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_TRUE(kit_->EntriesFollowOneAnother());
    ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u);
    EXPECT_TRUE(kit_->InflatingIntoFiles());
    EXPECT_TRUE(kit_->RestUnpackingStarted());
    EXPECT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u) << "a second start changes nothing";
    EXPECT_EQ(StartUnpackingRest(*kit_), 0u) << "nor one that asks for the container";
    EXPECT_TRUE(kit_->InflatingIntoFiles());
    // The head was unpacked with a few MiB of the data area: the last file's
    // bytes lie past it, whole.
    EXPECT_EQ(EntryBytesInContainer(*kit_, EntryIndex(kFiles - 1)), 0u);

    bool straddled = false;  // an entry partly in the container, partly streamed
    for (size_t i = 0; i < kFiles; ++i) {
        if (i == 5 || i == 6) continue;  // kept: their bytes are dropped
        const size_t index = EntryIndex(i);
        const uint32_t inContainer = EntryBytesInContainer(*kit_, index);
        straddled = straddled || (inContainer != 0 && inContainer != kPiece);
        std::string bytes;
        ASSERT_EQ(Take(index, bytes), 0u) << "file " << i;
        EXPECT_TRUE(bytes == data.substr(DataOffset(i), kPiece)) << "file " << i;
        if (i == 1) {
            ASSERT_EQ(Take(2, bytes), 0u) << "the empty entry";
            EXPECT_TRUE(bytes.empty());
        }
    }
    EXPECT_TRUE(straddled) << "the layout should have one entry across the container's end";
    std::string again;
    EXPECT_EQ(Take(EntryIndex(4), again), ERR_INVALID_PARAMETER) << "bytes the stream has passed";

    EXPECT_EQ(UnpackRest(*kit_), 0u);
    EXPECT_EQ(UnpackRest(*kit_), 0u);
    EXPECT_FALSE(kit_->RestPending());
    EXPECT_FALSE(kit_->InflatingIntoFiles());
    EXPECT_EQ(kit_->ReleasedEntries(), kit_->Entries().size()) << "a kit copied from once";
    EXPECT_EQ(ContainerCount(), 0u);
}

// Damage or an early end fails the entry whose bytes it takes and every one
// after it, and the end of the unpacking; the entries before it are whole.
TEST_F(EntryStreamTest, DamageOrAnEarlyEndFailsTheEntryThatNeedsTheBytes) {
    std::string data;
    const std::string container = Container(data);
    const uint64_t head = container.size() - data.size();
    const std::string kit = Stored(container);
    const auto brokenAt = [&kit](uint64_t at) {
        std::string broken = kit;
        broken[at / kBlock * (kBlock + 5) + 3] ^= 0x01;  // length and complement disagree
        return broken;
    };
    const uint64_t inSixth = head + DataOffset(5) + kPiece / 2;
    const struct {
        const char* what;
        std::string kit;
        size_t firstFailing;  // the first file whose bytes never come; kFiles for none
    } cases[] = {
        {"broken inside the sixth file", brokenAt(inSixth), 5},
        {"broken after the last file", brokenAt(head + DataOffset(kFiles) + kPiece), kFiles},
        {"cut inside the sixth file", kit.substr(0, inSixth / kBlock * (kBlock + 5)), 5},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ReadKit(kit_, Kit(c.kit), nullptr, KitReading::FileTableFirst), 0u) << c.what;
        ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u) << c.what;
        for (size_t i = 0; i < kFiles; ++i) {
            std::string bytes;
            const uint32_t code = Take(EntryIndex(i), bytes);
            const std::string where = std::string(c.what) + ": file " + std::to_string(i);
            if (i < c.firstFailing - 1) {
                ASSERT_EQ(code, 0u) << where;
                EXPECT_TRUE(bytes == data.substr(DataOffset(i), kPiece)) << where;
            } else if (i >= c.firstFailing) {
                EXPECT_EQ(code, ERR_INVALID_DATA) << where;
            }
            // The file before the damage may fail with it: a step's bytes
            // before a damage are not handed over.
        }
        EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA) << c.what;
        EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA) << c.what << ", again";
        EXPECT_FALSE(kit_->RestUnpackingStarted()) << c.what;
    }
}

// Entries inflated ahead into memory, as far as the budget allows, are
// served on two threads in any order while the next are inflated; a damage
// met ahead fails the entry that needs those bytes.
TEST_F(EntryStreamTest, EntriesInflatedAheadAreServedOnAnyThreadAndDamageStaysWithItsEntry) {
    std::string data;
    const std::string container = Container(data);
    const std::vector<size_t> all = {EntryIndex(0), EntryIndex(1), 2, EntryIndex(2), EntryIndex(3), EntryIndex(4),
                                     EntryIndex(5), EntryIndex(6), EntryIndex(7)};
    ASSERT_EQ(ReadKit(kit_, Kit(Stored(container)), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u);
    // Room for three files past the container's head.
    const size_t fromFile = 4;  // past the few MiB read with the file table
    ASSERT_EQ(EntryBytesInContainer(*kit_, EntryIndex(fromFile)), 0u);
    std::vector<size_t> wanted(all.begin() + static_cast<long>(EntryIndex(fromFile)), all.end());
    EXPECT_EQ(InflateEntryBytesAhead(*kit_, wanted.data(), wanted.size(), 3 * uint64_t{kPiece} + kPiece / 2), 3u);
    ServeEntryBytesAhead(*kit_);
    // While both threads take those served, the next is inflated into the other store.
    std::string bytes[4];
    uint32_t codes[4] = {};
    std::thread other([&] { codes[2] = Take(EntryIndex(fromFile + 2), bytes[2]); });
    codes[1] = Take(EntryIndex(fromFile + 1), bytes[1]);
    EXPECT_EQ(InflateEntryBytesAhead(*kit_, wanted.data() + 3, 1, 3 * uint64_t{kPiece}), 1u);
    codes[0] = Take(EntryIndex(fromFile), bytes[0]);
    other.join();
    ServeEntryBytesAhead(*kit_);
    codes[3] = Take(EntryIndex(fromFile + 3), bytes[3]);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(codes[k], 0u) << "file " << fromFile + k;
        EXPECT_TRUE(bytes[k] == data.substr(DataOffset(fromFile + k), kPiece)) << "file " << fromFile + k;
    }
    DropEntryBytesAhead(*kit_);
    EXPECT_EQ(UnpackRest(*kit_), 0u);

    // Broken inside the sixth file: the sixth (and the fifth, when the
    // damage came in the same step as its end) fails as it asks.
    const uint64_t head = container.size() - data.size();
    std::string broken = Stored(container);
    broken[(head + DataOffset(5) + kPiece / 2) / kBlock * (kBlock + 5) + 3] ^= 0x01;
    ASSERT_EQ(ReadKit(kit_, Kit(broken), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u);
    const size_t whole = InflateEntryBytesAhead(*kit_, wanted.data(), wanted.size(), 8 * uint64_t{kPiece});
    EXPECT_LE(whole, 1u);
    ServeEntryBytesAhead(*kit_);
    for (size_t i = 4; i < kFiles; ++i) {
        std::string got;
        const uint32_t code = Take(EntryIndex(i), got);
        if (i == 4 && whole == 1) {
            EXPECT_EQ(code, 0u);
            EXPECT_TRUE(got == data.substr(DataOffset(4), kPiece));
        } else {
            EXPECT_EQ(code, ERR_INVALID_DATA) << "file " << i;
        }
    }
    DropEntryBytesAhead(*kit_);
    EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA);
}

// A stream that inflates whole but is not the one the kit's check was made
// of: every file gets bytes, and the unpacking's end finds the kit damaged.
TEST_F(EntryStreamTest, AStreamThatDoesNotMatchItsCheckFailsAtTheEnd) {
    std::string data;
    const std::string container = Container(data);
    ASSERT_EQ(WriteKitFile(FromMultiByte(tmp_.path("checked.efd")), container, 0), 0u);  // stored blocks
    std::string kit = ReadFile(tmp_.path("checked.efd"));
    // A byte of a file (the seventh's, unless its bytes come earlier too), found as it is stored.
    const size_t at = kit.find(data.substr(DataOffset(6) + 4096, 64));
    ASSERT_NE(at, std::string::npos);
    kit[at] ^= 0x20;
    ASSERT_EQ(ReadKit(kit_, Kit(kit), nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u);
    size_t changed = 0;
    for (size_t i = 0; i < kFiles; ++i) {
        std::string bytes;
        EXPECT_EQ(Take(EntryIndex(i), bytes), 0u) << "file " << i;
        EXPECT_EQ(bytes.size(), kPiece) << "file " << i;
        if (bytes != data.substr(DataOffset(i), kPiece)) ++changed;
    }
    EXPECT_EQ(changed, 1u) << "the flipped byte lies in a file";
    EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA);
    EXPECT_TRUE(IsKitDamage(kit_->Check().state));
}

// Only entries each starting at or after the end of the one before may be
// inflated into the files; any other kit goes through its container.
TEST_F(EntryStreamTest, EntriesThatShareOrReorderBytesStayWithTheContainer) {
    const auto entry = [](uint32_t offset, uint32_t size) {
        KitFileEntry made;
        made.name = FromMultiByte(AString("e"));
        made.offset = offset;
        made.size = size;
        return made;
    };
    const struct {
        const char* what;
        std::vector<KitFileEntry> entries;
        bool follow;
    } layouts[] = {
        {"none", {}, true},
        {"one after another, with gaps", {entry(10, 5), entry(15, 5), entry(30, 1)}, true},
        {"empty entries anywhere", {entry(10, 5), entry(0, 0), entry(15, 5), entry(99, 0)}, true},
        {"overlapping", {entry(10, 5), entry(14, 5)}, false},
        {"the same bytes twice", {entry(10, 5), entry(10, 5)}, false},
        {"reversed", {entry(20, 5), entry(10, 5)}, false},
    };
    for (const auto& layout : layouts) {
        EXPECT_EQ(DistributionKit::FromContainer(OwnedDescriptor(), {}, layout.entries)->EntriesFollowOneAnother(),
                  layout.follow)
            << layout.what;
    }

    // A kit whose file table lists its files last to first.
    std::string data;
    for (uint32_t i = 0; i < 6; ++i) data += TextLikeBytes(kPiece, i + 1);
    std::vector<KitFileEntry> files;
    for (uint32_t i = 6; i-- > 0;) files.push_back(entry(i * kPiece, kPiece));
    ASSERT_EQ(ReadKit(kit_, Kit(Stored(EncodeContainerHead(DescriptionForm::LanguageList, {}, files) + data)),
                      nullptr, KitReading::FileTableFirst),
              0u);
    ASSERT_TRUE(kit_->RestPending());
    EXPECT_FALSE(kit_->EntriesFollowOneAnother());
    ASSERT_EQ(StartUnpackingRest(*kit_, RestDelivery::IntoFiles), 0u);
    EXPECT_FALSE(kit_->InflatingIntoFiles());
    EXPECT_TRUE(kit_->RestUnpackingStarted()) << "unpacked on a thread of its own, as before";
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(EntryBytesInContainer(*kit_, i), kPiece);
        ASSERT_EQ(WaitForEntryBytes(*kit_, i), 0u);
        EXPECT_TRUE(ReadContainer(kit_, kit_->Entries()[i].offset, kPiece) ==
                    data.substr((files.size() - 1 - i) * kPiece, kPiece))
            << "entry " << i;
    }
    EXPECT_EQ(UnpackRest(*kit_), 0u);
}
