// The container format and ReadKit: both description forms, the file table,
// the data area's offsets, the queries, and every malformed container.

#include "base/conversion.h"
#include "kit/kit_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/container_encoder.h"
#include "kit/kit_format.h"
#include "kit/kit_unpack.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

using kitformat::AppendCountedString;
using kitformat::AppendU32;
using kitformat::DescriptionForm;
using kitformat::EncodeContainerHead;
using kitformat::EncodeDescriptionRecord;
using kitformat::EncodeFileRecord;

KitFileEntry File(const char16_t* name, uint32_t offset, uint32_t size, uint32_t low = 0, uint32_t high = 0) {
    KitFileEntry entry;
    entry.name = name;
    entry.offset = offset;
    entry.size = size;
    entry.timeLow = low;
    entry.timeHigh = high;
    return entry;
}

class KitReaderTest : public KitTest {
protected:
    uint32_t Read(const std::string& container) { return ReadKit(kit_, Kit(Deflate(container))); }

    // The failure path ran: entries emptied, container closed, nothing left
    // in the temporary directory (the container never had a name there).
    void ExpectReleased() {
        EXPECT_TRUE(kit_->Entries().empty());
        EXPECT_EQ(kit_->Container(), INVALID_FILE_HANDLE);
        EXPECT_EQ(ContainerCount(), 0u);
    }

    std::unique_ptr<DistributionKit> kit_;
};

TEST_F(KitReaderTest, WorkedExample) {
    std::string container;
    AppendU32(container, 0);
    AppendCountedString(container, u"P");
    AppendCountedString(container, u"");
    AppendCountedString(container, u"");
    AppendU32(container, 1);
    container += EncodeFileRecord(File(u"a", 0, 3, 0x89ABCDEF, 0x01D2C3B4));
    ASSERT_EQ(container.size(), 48u);
    EXPECT_EQ(container.substr(22, 4), std::string("\x1a\0\0\0", 4));  // record length 26
    // The encoder writes the same bytes for the single-language form.
    EXPECT_EQ(container, EncodeContainerHead(DescriptionForm::SingleLanguage, {{u"xx", u"P", u"", u""}},
                                             {File(u"a", 0, 3, 0x89ABCDEF, 0x01D2C3B4)}));
    container += "abc";

    ASSERT_EQ(Read(container), 0u);
    ASSERT_EQ(kit_->Descriptions().size(), 1u);
    EXPECT_EQ(kit_->Descriptions()[0].language, u"en");
    EXPECT_EQ(kit_->Descriptions()[0].product, u"P");
    EXPECT_TRUE(kit_->Descriptions()[0].vendor.empty());
    EXPECT_TRUE(kit_->Descriptions()[0].descriptionPath.empty());
    ASSERT_EQ(kit_->Entries().size(), 1u);
    EXPECT_EQ(kit_->Entries()[0].name, u"a");
    EXPECT_EQ(kit_->Entries()[0].offset, 48u);
    EXPECT_EQ(kit_->Entries()[0].size, 3u);
    EXPECT_EQ(kit_->Entries()[0].timeLow, 0x89ABCDEFu);
    EXPECT_EQ(kit_->Entries()[0].timeHigh, 0x01D2C3B4u);
    EXPECT_EQ(ReadContainer(kit_, 48, 3), "abc");
    // Stays open for the installation, without a name in the temporary directory.
    EXPECT_NE(kit_->Container(), INVALID_FILE_HANDLE);
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitReaderTest, LanguageListWithLongerRecords) {
    std::string container;
    AppendU32(container, 2);  // any nonzero flag selects the list form
    AppendU32(container, 2);
    container += EncodeDescriptionRecord({u"de", u"Vorlagen", u"Firma", u"docs\\liesmich.txt"}, 7);
    container += EncodeDescriptionRecord({u"EN", u"Templates", u"Company", u"docs\\readme.txt"});
    AppendU32(container, 2);
    container += EncodeFileRecord(File(u"b\\two.txt", 5, 4), 13);  // the extra 13 bytes are skipped
    container += EncodeFileRecord(File(u"a/one.txt", 0, 5));
    const uint32_t dataStart = static_cast<uint32_t>(container.size());
    container += "11111" "2222";

    ASSERT_EQ(Read(container), 0u);
    ASSERT_EQ(kit_->Descriptions().size(), 2u);
    EXPECT_EQ(kit_->Descriptions()[0].language, u"de");
    EXPECT_EQ(kit_->Descriptions()[0].descriptionPath, u"docs\\liesmich.txt");
    EXPECT_EQ(kit_->Descriptions()[1].product, u"Templates");
    ASSERT_EQ(kit_->Entries().size(), 2u);
    EXPECT_EQ(kit_->Entries()[0].name, u"b\\two.txt");
    EXPECT_EQ(kit_->Entries()[0].offset, dataStart + 5);
    EXPECT_EQ(kit_->Entries()[1].name, u"a/one.txt");
    EXPECT_EQ(kit_->Entries()[1].offset, dataStart);
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[0].offset, 4), "2222");
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[1].offset, 5), "11111");
}

TEST_F(KitReaderTest, ZeroCounts) {
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList, {}, {}) + "data"), 0u);
    EXPECT_TRUE(kit_->Descriptions().empty());
    EXPECT_TRUE(kit_->Entries().empty());
    WString product = u"x", vendor = u"y";
    GetProductInfo(kit_.get(), u"en", product, vendor);
    EXPECT_TRUE(product.empty());
    EXPECT_TRUE(vendor.empty());
    EXPECT_TRUE(GetDescriptionName(kit_.get(), u"en").empty());
}

TEST_F(KitReaderTest, DataAreaStartsRightAfterTheFileTable) {
    // No descriptions: the data area begins at 4 + 4 + 4 + the one record.
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList, {}, {File(u"f", 2, 1)}) + "xyz"), 0u);
    ASSERT_EQ(kit_->Entries().size(), 1u);
    EXPECT_EQ(kit_->Entries()[0].offset, 12u + 4 + 4 + 2 + 16 + 2);
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[0].offset, 1), "z");
}

TEST_F(KitReaderTest, StoredOffsetsAreRelativeToTheDataArea) {
    const std::vector<KitFileEntry> files{File(u"f", 10, 1)};
    const std::string data(11, 'd');
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList, {{u"en", u"P", u"V", u"d"}}, files) + data), 0u);
    const uint32_t shortOffset = kit_->Entries().at(0).offset;
    std::unique_ptr<DistributionKit> other;
    ASSERT_EQ(ReadKit(other, Kit(Deflate(EncodeContainerHead(DescriptionForm::LanguageList,
                                                             {{u"en", u"Longer product", u"V", u"d"}}, files) +
                                         data))),
              0u);
    EXPECT_EQ(other->Entries().at(0).offset, shortOffset + 2 * 13);
}

// An absolute offset is a 32-bit count: a stored offset that would wrap once
// the data area's start is added (0xFFFFFFF0 + 38 would point at byte 22, in
// the file table), and bytes past the container's end, make the kit damaged.
// Bytes that end exactly at the container's end, or none at its end, are fine.
TEST_F(KitReaderTest, OffsetsThatWrapOrLeaveTheContainerAreDamage) {
    const std::string data = "0123456789";
    const struct {
        const char* what;
        KitFileEntry entry;
        bool damaged;
    } cases[] = {
        {"wraps past 4 GiB", File(u"f", 0xFFFFFFF0u, 1), true},
        {"wraps to the data area", File(u"f", 0xFFFFFFFFu - 37, 1), true},
        {"largest offset, no bytes", File(u"f", 0xFFFFFFFFu, 0), true},
        {"starts past the end", File(u"f", 11, 0), true},
        {"ends past the end", File(u"f", 5, 6), true},
        {"size wraps the sum", File(u"f", 1, 0xFFFFFFFFu), true},
        {"ends at the end", File(u"f", 4, 6), false},
        {"nothing at the end", File(u"f", 10, 0), false},
    };
    for (const auto& c : cases) {
        const uint32_t code = Read(EncodeContainerHead(DescriptionForm::LanguageList, {},
                                                       {File(u"ok", 0, 10), c.entry}) + data);
        if (c.damaged) {
            EXPECT_EQ(code, ERR_INVALID_DATA) << c.what;
            ExpectReleased();
        } else {
            ASSERT_EQ(code, 0u) << c.what;
            ASSERT_EQ(kit_->Entries().size(), 2u);
            EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[1].offset, kit_->Entries()[1].size),
                      data.substr(c.entry.offset, c.entry.size))
                << c.what;
        }
    }
}

TEST_F(KitReaderTest, QueriesMatchLanguageWithoutCase) {
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList,
                                       {{u"de", u"Vorlagen", u"Firma", u""},
                                        {u"EN", u"Templates", u"Company", u"readme.txt"},
                                        {u"en", u"Second", u"Other", u"other.txt"}},
                                       {})),
              0u);
    WString product, vendor;
    GetProductInfo(kit_.get(), u"en", product, vendor);
    EXPECT_EQ(product, u"Templates");  // the first match, whatever its case
    EXPECT_EQ(vendor, u"Company");
    GetProductInfo(kit_.get(), u"DE", product, vendor);
    EXPECT_EQ(product, u"Vorlagen");
    GetProductInfo(kit_.get(), u"fr", product, vendor);  // no fallback for the names
    EXPECT_TRUE(product.empty());
    EXPECT_TRUE(vendor.empty());

    EXPECT_EQ(GetDescriptionName(kit_.get(), u"fr"), u"readme.txt");  // falls back to "en"
    EXPECT_EQ(GetDescriptionName(kit_.get(), u"de"), u"readme.txt");  // "de" has an empty path
    EXPECT_EQ(GetDescriptionName(kit_.get(), u"En"), u"readme.txt");
}

TEST_F(KitReaderTest, DescriptionNameWithoutEnglish) {
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList,
                                       {{u"de", u"P", u"V", u""}, {u"ru", u"P", u"V", u"ru.txt"}}, {})),
              0u);
    EXPECT_EQ(GetDescriptionName(kit_.get(), u"ru"), u"ru.txt");
    EXPECT_TRUE(GetDescriptionName(kit_.get(), u"de").empty());
    EXPECT_TRUE(GetDescriptionName(kit_.get(), u"fr").empty());
}

TEST_F(KitReaderTest, TruncatedKitFailsAndReleases) {
    std::string container = EncodeContainerHead(DescriptionForm::LanguageList, {{u"en", u"P", u"V", u"d"}},
                                                 {File(u"a\\b.txt", 0, 70000), File(u"c.txt", 70000, 1)});
    container += TextLikeBytes(70001);
    const std::string kit = Deflate(container);
    // Cut inside the stream so that only part of the file table comes out.
    ASSERT_EQ(ReadKit(kit_, Kit(kit.substr(0, 20))), ERR_INVALID_DATA);
    ExpectReleased();
}

struct MalformedCase {
    const char* name;
    std::string container;
};

std::string U32(uint32_t value) {
    std::string out;
    AppendU32(out, value);
    return out;
}

std::vector<MalformedCase> MalformedContainers() {
    const std::string oneDescription = U32(1) + U32(1);
    const std::string fileTable = U32(1);
    const std::string noDescriptions = U32(1) + U32(0);
    std::string stringPastRecord = U32(20) + U32(7) + U32(0) + U32(0) + U32(0);  // "language" of 7 units in 12 bytes
    std::string lastStringPastRecord = EncodeDescriptionRecord({u"en", u"P", u"V", u""});
    lastStringPastRecord.replace(lastStringPastRecord.size() - 4, 4, U32(1));  // path count 1, no units left
    std::string fileNamePastRecord = U32(24) + U32(11) + std::string(16, '\0');
    std::string fileFieldsPastRecord = EncodeFileRecord(File(u"abc", 0, 0));
    fileFieldsPastRecord.replace(0, 4, U32(static_cast<uint32_t>(fileFieldsPastRecord.size() - 4)));
    fileFieldsPastRecord.resize(fileFieldsPastRecord.size() - 4);
    return {
        {"EmptyContainer", ""},
        {"EndsInsideFormFlag", std::string("\x01\x00", 2)},
        {"EndsInsideDescriptionCount", U32(1) + std::string("\x02", 1)},
        {"EndsBeforeDescriptionRecord", oneDescription},
        {"EndsInsideRecordLength", oneDescription + std::string("\x14\x00", 2)},
        {"EndsInsideRecordBody", oneDescription + EncodeDescriptionRecord({u"en", u"Product", u"V", u"d"}).substr(0, 30)},
        {"RecordLengthZero", oneDescription + U32(0) + std::string(40, '\0')},
        {"RecordLengthThree", oneDescription + U32(3) + std::string(40, '\0')},
        {"RecordLengthFour", oneDescription + U32(4) + std::string(40, '\0')},
        {"DescriptionRecordLength19", oneDescription + U32(19) + std::string(40, '\0')},
        {"DescriptionStringPastRecord", oneDescription + stringPastRecord + fileTable},
        {"DescriptionLastStringPastRecord", oneDescription + lastStringPastRecord + U32(0)},
        {"RecordLengthMax", oneDescription + U32(0xFFFFFFFFu) + std::string(64, '\0')},
        {"RecordLengthPastContainer", oneDescription + U32(1000) + std::string(500, '\0')},
        {"DescriptionCountPastContainer", U32(1) + U32(0xFFFFFFFFu) + EncodeDescriptionRecord({u"en", u"", u"", u""})},
        {"SingleFormEndsInsideCount", U32(0) + std::string("\x01", 1)},
        {"SingleFormStringPastContainer", U32(0) + U32(0x7FFFFFFFu) + "ab"},
        {"SingleFormOddByteLeft", U32(0) + U32(0) + U32(0) + U32(1) + "a"},
        {"EndsBeforeFileCount", noDescriptions},
        {"EndsInsideFileCount", noDescriptions + std::string("\x01", 1)},
        {"EndsBeforeFileRecord", noDescriptions + U32(1)},
        {"FileCountPastContainer", noDescriptions + U32(0xFFFFFFFFu) + EncodeFileRecord(File(u"a", 0, 0))},
        {"FileRecordLength23", noDescriptions + U32(1) + U32(23) + std::string(40, '\0')},
        {"FileRecordLengthMax", noDescriptions + U32(1) + U32(0xFFFFFFFFu) + std::string(64, '\0')},
        {"FileNamePastRecord", noDescriptions + U32(1) + fileNamePastRecord + "more data after"},
        {"FileFieldsPastRecord", noDescriptions + U32(1) + fileFieldsPastRecord + "more data after"},
    };
}

class MalformedContainerTest : public KitReaderTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedContainerTest, FailsWithInvalidDataAndReleases) {
    EXPECT_EQ(Read(GetParam().container), ERR_INVALID_DATA);
    ExpectReleased();
}

INSTANTIATE_TEST_SUITE_P(KitReader, MalformedContainerTest, ::testing::ValuesIn(MalformedContainers()),
                         [](const ::testing::TestParamInfo<MalformedCase>& test) { return test.param.name; });

TEST_F(KitReaderTest, DescriptionsBeforeAFailureRemain) {
    std::string container = U32(1) + U32(2) + EncodeDescriptionRecord({u"en", u"P", u"V", u"d"}) + U32(2);
    EXPECT_EQ(Read(container), ERR_INVALID_DATA);
    ExpectReleased();
    ASSERT_EQ(kit_->Descriptions().size(), 1u);
    EXPECT_EQ(kit_->Descriptions()[0].product, u"P");
}

}  // namespace

namespace {

// The file table comes through a buffer: records that straddle its refills,
// and one larger than the buffer itself, read back whole and in order, and
// the data area starts right after the last record.
TEST_F(KitReaderTest, LargeFileTablesReadBackAcrossBufferRefills) {
    std::vector<KitFileEntry> files;
    std::string data;
    for (uint32_t i = 0; i < 20000; ++i) {
        WString name = FromMultiByte("dir" + std::to_string(i % 97) + "\\file" + std::to_string(i));
        name += WString(std::u16string(i % 301, u'\u00e9').c_str());
        if (i == 7777) name += WString(std::u16string(150000, u'x').c_str());  // a record of about 300 KB
        files.push_back(File(name.c_str(), static_cast<uint32_t>(data.size()), 2, i, i + 1));
        data += static_cast<char>('a' + i % 26);
        data += static_cast<char>('A' + i % 26);
    }
    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}}, files) + data), 0u);
    ASSERT_EQ(kit_->Entries().size(), files.size());
    for (size_t i = 0; i < files.size(); i += 997) {
        EXPECT_EQ(kit_->Entries()[i].name, files[i].name) << i;
        EXPECT_EQ(kit_->Entries()[i].timeLow, files[i].timeLow) << i;
        EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[i].offset, 2), data.substr(files[i].offset, 2)) << i;
    }
    EXPECT_EQ(kit_->Entries()[7777].name.size(), files[7777].name.size());
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries().back().offset, 2), data.substr(data.size() - 2));
}

}  // namespace

namespace {

// A kit whose data area is larger than the few MiB its head is unpacked
// with: entries "a.bin" and "b.bin" of 3 MiB each, the second's size `bSize`.
std::string LargeDataContainer(uint32_t bSize = 3u << 20) {
    constexpr uint32_t kEach = 3u << 20;
    return EncodeContainerHead(DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}},
                               {File(u"a.bin", 0, kEach, 1, 2), File(u"b.bin", kEach, bSize, 3, 4)}) +
           TextLikeBytes(2 * kEach);
}

uint64_t ContainerBytes(const std::unique_ptr<DistributionKit>& kit) {
    struct stat status {};
    return fstat(DescriptorOf(kit->Container()), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

}  // namespace

// Read file table first, a kit gives the same table as read whole, leaves
// most of its data area packed, and has it unpacked, byte for byte, when
// asked; a kit small enough to come out whole leaves nothing for later.
TEST_F(KitReaderTest, FileTableFirstLeavesTheDataAreaUntilItIsNeeded) {
    const std::string container = LargeDataContainer();
    const WString kit = Kit(Deflate(container));
    ASSERT_EQ(ReadKit(kit_, kit), 0u);
    const std::vector<KitFileEntry> whole = kit_->Entries();
    EXPECT_FALSE(kit_->RestPending());

    ASSERT_EQ(ReadKit(kit_, kit, nullptr, KitReading::FileTableFirst), 0u);
    ASSERT_EQ(kit_->Entries().size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(kit_->Entries()[i].name, whole[i].name);
        EXPECT_EQ(kit_->Entries()[i].offset, whole[i].offset);
        EXPECT_EQ(kit_->Entries()[i].size, whole[i].size);
        EXPECT_EQ(kit_->Entries()[i].timeLow, whole[i].timeLow);
        EXPECT_EQ(kit_->Entries()[i].timeHigh, whole[i].timeHigh);
    }
    ASSERT_TRUE(kit_->RestPending());
    EXPECT_LT(ContainerBytes(kit_), container.size() * 3 / 4);

    ASSERT_EQ(UnpackRest(*kit_), 0u);
    EXPECT_FALSE(kit_->RestPending());
    EXPECT_EQ(ContainerBytes(kit_), container.size());
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[1].offset, kit_->Entries()[1].size),
              container.substr(kit_->Entries()[1].offset, kit_->Entries()[1].size));
    EXPECT_EQ(UnpackRest(*kit_), 0u);

    ASSERT_EQ(Read(EncodeContainerHead(DescriptionForm::LanguageList, {}, {File(u"f", 0, 3)}) + "abc"), 0u);
    ASSERT_EQ(ReadKit(kit_, Kit(Deflate(EncodeContainerHead(DescriptionForm::LanguageList, {}, {File(u"f", 0, 3)}) +
                                        "abc")),
                      nullptr, KitReading::FileTableFirst),
              0u);
    EXPECT_FALSE(kit_->RestPending());
    EXPECT_EQ(ReadContainer(kit_, kit_->Entries()[0].offset, 3), "abc");
}

// A data area cut short, or one that does not hold an entry's bytes, is
// found by the unpacking of the rest, every time it is asked, while the
// file table read first stands; read whole, the same kits fail at once.
TEST_F(KitReaderTest, FileTableFirstFindsADamagedDataAreaWhenItIsUnpacked) {
    const std::string whole = Deflate(LargeDataContainer());
    const std::string cut = whole.substr(0, whole.size() * 3 / 4);
    const std::string shortData = Deflate(LargeDataContainer((3u << 20) + 1));
    for (const std::string& bytes : {cut, shortData}) {
        const WString kit = Kit(bytes);
        EXPECT_EQ(ReadKit(kit_, kit), ERR_INVALID_DATA);
        ExpectReleased();
        ASSERT_EQ(ReadKit(kit_, kit, nullptr, KitReading::FileTableFirst), 0u);
        EXPECT_EQ(kit_->Entries().size(), 2u);
        EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA);
        EXPECT_EQ(UnpackRest(*kit_), ERR_INVALID_DATA);
    }
}

// A kit copied from once gives its container's bytes back as its entries are
// done with: what holds the bytes before the next entry's goes (where the
// file system frees part of a file), and every later entry's bytes stay
// exact, however the kit was read. Entries that share bytes keep them; a kit
// whose entries point back at earlier bytes keeps all of them.
TEST_F(KitReaderTest, BytesOfCopiedEntriesGoBackAndLaterOnesStayExact) {
    constexpr uint32_t kPiece = 3u << 20;  // entries of a few MiB: the bytes go back in steps of 4 MiB
    std::string data;
    for (uint32_t i = 0; i < 4; ++i) data += TextLikeBytes(kPiece, i + 1);
    const auto blocks = [this] {
        struct stat status {};
        EXPECT_EQ(fstat(DescriptorOf(kit_->Container()), &status), 0);
        return static_cast<int64_t>(status.st_blocks);
    };
    // Whether the temporary directory's file system frees part of a file.
    bool punches = false;
    {
        const std::string scratch = tmp_.path("tmp/scratch");
        WriteFile(scratch, std::string(1 << 16, 'x'));
        const int fd = open(scratch.c_str(), O_RDWR);
        punches = fd >= 0 && fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, 1 << 16) == 0;
        if (fd >= 0) close(fd);
        unlink(scratch.c_str());
    }
    const struct {
        const char* what;
        std::vector<KitFileEntry> files;
        bool inOrder;
    } cases[] = {
        {"in order",
         {File(u"a", 0, kPiece), File(u"b", kPiece, kPiece), File(u"empty", 0, 0), File(u"c", 2 * kPiece, kPiece),
          File(u"d", 3 * kPiece, kPiece)},
         true},
        {"sharing bytes",
         {File(u"a", 0, kPiece), File(u"b", kPiece, kPiece), File(u"b again", kPiece, kPiece),
          File(u"d", 3 * kPiece, kPiece)},
         true},
        {"pointing back",
         {File(u"d", 3 * kPiece, kPiece), File(u"c", 2 * kPiece, kPiece), File(u"a", 0, kPiece),
          File(u"b", kPiece, kPiece)},
         false},
    };
    for (const KitReading reading : {KitReading::Whole, KitReading::FileTableFirst}) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + (reading == KitReading::Whole ? ", whole" : ", table first");
            // Stored blocks: deflating megabytes at level 9 would take most of the test's time.
            const std::string container = EncodeContainerHead(DescriptionForm::LanguageList, {}, c.files) + data;
            std::vector<size_t> blockSizes(container.size() / 65535, 65535);
            blockSizes.push_back(container.size() % 65535);
            ASSERT_EQ(ReadKit(kit_, Kit(StoredDeflate(container, blockSizes)), nullptr, reading),
                      0u)
                << what;
            ASSERT_EQ(UnpackRest(*kit_), 0u) << what;
            const int64_t before = blocks();
            for (size_t next = 1; next < c.files.size(); ++next) {
                kit_->ReleaseEntriesBefore(next);
                EXPECT_EQ(kit_->ReleasedEntries(), next) << what;
                for (size_t later = next; later < c.files.size(); ++later) {
                    const KitFileEntry& entry = kit_->Entries()[later];
                    EXPECT_EQ(ReadContainer(kit_, entry.offset, entry.size),
                              data.substr(c.files[later].offset, c.files[later].size))
                        << what << ": entry " << later << " after releasing " << next;
                }
            }
            kit_->ReleaseEntriesBefore(1);  // never backwards
            EXPECT_EQ(kit_->ReleasedEntries(), c.files.size() - 1) << what;
            if (!c.inOrder) {
                EXPECT_EQ(blocks(), before) << what;
            } else if (punches) {
                EXPECT_LE(blocks(), before - int64_t{2} * kPiece / 512) << what;
            }
        }
    }
}
