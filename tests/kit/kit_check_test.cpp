// The check after a kit's deflate stream: written by the kit writer, still
// ignored by a plain inflater, and checked by the unpacking, which finds the
// stream's end exactly (also where the kit is read window by window and the
// stream ends at a window's edge), judges what follows it, and refuses a
// stream that inflates cleanly but is not the one the check was made for.

#include <cstring>

#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_trailer.h"
#include "kit/kit_unpack.h"
#include "kit/kit_writer.h"
#include "kit/stream_digest.h"
#include "tests/kit/kit_fixture.h"
#include "tests/support/deflate_flips.h"

using namespace vxk5;
using kitformat::kTrailerSize;

namespace {

using kitformat::DescriptionForm;
using kitformat::EncodeContainerHead;

// The trailer the kit writer would put after `stream`.
std::string TrailerOf(const std::string& stream) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
    const kitformat::KitTrailer trailer = kitformat::EncodeKitTrailer(stream.size(), DigestOf(bytes, stream.size()));
    return std::string(trailer.begin(), trailer.end());
}

// Three small files, as a small template tree gives.
std::string ThreeFileContainer() {
    const std::string a = "[Desktop Entry]\nName=Editor\nExec=editor %f\n";
    const std::string b = "panel.size=24\npanel.clock=true\n";
    const std::string c = "Read me first.\n";
    std::vector<KitFileEntry> files = {{u"a.desktop", 1, 2, 0, static_cast<uint32_t>(a.size())},
                                       {u"b.conf", 1, 2, static_cast<uint32_t>(a.size()), static_cast<uint32_t>(b.size())},
                                       {u"c.txt", 1, 2, static_cast<uint32_t>(a.size() + b.size()),
                                        static_cast<uint32_t>(c.size())}};
    return EncodeContainerHead(DescriptionForm::LanguageList, {{u"en", u"P", u"V", u"c.txt"}}, files) + a + b + c;
}

// Shows a copy of every byte the unpacking reads.
class CopyingObserver final : public KitInputObserver {
public:
    uint8_t* Buffer(uint32_t size) override {
        piece_.resize(size);
        return piece_.data();
    }
    void Observe(uint32_t size) override { seen.append(reinterpret_cast<const char*>(piece_.data()), size); }
    std::string seen;

private:
    std::vector<uint8_t> piece_;
};

class KitCheckTest : public KitTest {
protected:
    // Unpacks the kit `bytes` with KitUnpacker; the code, and in `check` what
    // the bytes after the stream said.
    uint32_t Unpack(const std::string& bytes, KitCheckResult& check, KitInputObserver* observer = nullptr) {
        OwnedDescriptor container;
        EXPECT_EQ(CreateKitContainer(container), 0u);
        KitUnpacker unpacker;
        if (const uint32_t code = unpacker.Open(Kit(bytes), observer); code != 0) return code;
        unpacker.Start(container.Get());
        const uint32_t code = unpacker.Finish();
        check = unpacker.Check();
        return code;
    }

    // The kit the kit writer makes of `container`.
    std::string Written(const std::string& container) {
        const WString path = FromMultiByte(tmp_.path("written.efd"));
        EXPECT_EQ(WriteKitFile(path, container), 0u);
        return ReadFile(ToMultiByteString(path));
    }
};

}  // namespace

// The format is what kits in the field carry: its bytes and its digest
// must not change.
TEST(KitTrailerFormat, LayoutAndDigestAreFixed) {
    EXPECT_EQ(DigestOf(nullptr, 0), 0x2D06800538D394C2ull) << "XXH3-64, start value 0, of no bytes";
    const kitformat::KitTrailer trailer = kitformat::EncodeKitTrailer(0x0102030405060708ull, 0x1122334455667788ull);
    const uint8_t expected[kTrailerSize] = {0x88, 'V',  'X',  'K',  '5',  'C',  'H',  'K',  1,    32,   0,
                                            0,    0,    0,    0,    0,    0x08, 0x07, 0x06, 0x05, 0x04, 0x03,
                                            0x02, 0x01, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(trailer.data(), expected, kTrailerSize), 0);
    StreamDigest pieces;
    const std::string text = TextLikeBytes(100000);
    pieces.Update(reinterpret_cast<const uint8_t*>(text.data()), 777);
    pieces.Update(reinterpret_cast<const uint8_t*>(text.data()) + 777, text.size() - 777);
    EXPECT_EQ(pieces.Value(), DigestOf(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST_F(KitCheckTest, AWrittenKitCarriesItsCheckWhichAPlainInflaterIgnores) {
    const std::string container = ThreeFileContainer();
    const std::string kit = Written(container);
    ASSERT_GT(kit.size(), kTrailerSize);
    const std::string stream = kit.substr(0, kit.size() - kTrailerSize);
    EXPECT_EQ(kit.substr(stream.size()), TrailerOf(stream));
    std::string inflated;
    size_t unused = 0;
    ASSERT_TRUE(ZlibRawInflate(kit, inflated, &unused));
    EXPECT_EQ(inflated, container);
    EXPECT_EQ(unused, kTrailerSize) << "zlib stops at the final block, before the check";

    std::unique_ptr<DistributionKit> read;
    ASSERT_EQ(ReadKit(read, Kit(kit)), 0u);
    EXPECT_EQ(read->Check().state, KitCheck::Matched);
    EXPECT_EQ(read->Check().streamBytes, stream.size());
    EXPECT_EQ(read->Check().ignoredBytes, 0u);
    ASSERT_EQ(ReadKit(read, Kit(stream)), 0u) << "a kit without its check reads as ever";
    EXPECT_EQ(read->Check().state, KitCheck::Absent);
}

// The damage the check is for: one bit flipped where the stream still
// inflates to a container of the same length, with other bytes.
TEST_F(KitCheckTest, ABitFlipThatStillInflatesIsRefused) {
    const std::string kit = Written(ThreeFileContainer());
    const size_t streamLength = kit.size() - kTrailerSize;
    const std::vector<size_t> flips = SameLengthFlips(kit, streamLength);
    ASSERT_FALSE(flips.empty());
    size_t readWithoutCheck = 0;
    for (const size_t bit : flips) {
        const std::string flipped = FlipBit(kit, bit);
        std::unique_ptr<DistributionKit> read;
        EXPECT_EQ(ReadKit(read, Kit(flipped)), ERR_INVALID_DATA) << "bit " << bit;
        ASSERT_NE(read, nullptr);
        EXPECT_TRUE(read->Entries().empty());
        // Where the unpacking's inflater agrees with zlib, it is the check
        // that refuses the kit: without it, the damage reads as a kit.
        if (ReadKit(read, Kit(flipped.substr(0, streamLength))) == 0) {
            ++readWithoutCheck;
            KitCheckResult check;
            EXPECT_EQ(Unpack(flipped, check), ERR_INVALID_DATA);
            EXPECT_EQ(check.state, KitCheck::Mismatch) << "bit " << bit;
        }
    }
    EXPECT_GT(readWithoutCheck, 0u);
    EXPECT_EQ(ContainerCount(), 0u);
}

// The kit is read a MiB at a time and the inflater reads ahead of what it
// decodes: wherever the stream ends near a window's edge, before or after
// it, its length and digest are exact, and the check may start in the next
// window.
TEST_F(KitCheckTest, AStreamEndingAtAWindowsEdgeIsCheckedExactly) {
    constexpr size_t kWindow = 1u << 20;
    constexpr size_t kBlock = 65535;
    std::string finalBlock;  // Huffman-coded, ending inside a byte
    const std::string tail = "the last block, Huffman-coded: tail tail tail";
    finalBlock = DeflateContainer(tail, 9);
    for (size_t end = kWindow - 12; end <= kWindow + 12; ++end) {
        // Stored blocks, not final, up to `end` less the final block.
        const size_t storedBytes = end - finalBlock.size();
        const size_t blocks = (storedBytes + kBlock + 4) / (kBlock + 5);
        const size_t data = storedBytes - 5 * blocks;
        std::vector<size_t> sizes(blocks);
        for (size_t i = 0; i < blocks; ++i) sizes[i] = data / blocks + (i < data % blocks ? 1 : 0);
        std::string stream = StoredDeflate(TextLikeBytes(data, static_cast<uint32_t>(end)), sizes);
        stream[stream.size() - sizes.back() - 5] = '\0';  // the last stored block is not final
        stream += finalBlock;
        ASSERT_EQ(stream.size(), end);
        for (const std::string& after : {std::string(), std::string("x")}) {
            CopyingObserver observer;
            KitCheckResult check;
            const std::string kit = stream + TrailerOf(stream) + after;
            EXPECT_EQ(Unpack(kit, check, &observer), 0u) << end;
            EXPECT_EQ(check.state, KitCheck::Matched) << end;
            EXPECT_EQ(check.streamBytes, end);
            EXPECT_EQ(check.ignoredBytes, after.size());
            EXPECT_EQ(observer.seen, kit) << "an observer still sees the whole kit, in order";
        }
    }
}

// What may follow a stream: nothing, a check, bytes that are no check, and
// checks that are cut, malformed, of another stream or misplaced.
TEST_F(KitCheckTest, TheBytesAfterTheStreamAreJudged) {
    const std::string stream = Deflate(ThreeFileContainer());
    const std::string trailer = TrailerOf(stream);
    const std::string junk(100, '\0');
    const auto changed = [&trailer](size_t at, char value) {
        std::string bytes = trailer;
        bytes[at] = value;
        return bytes;
    };
    struct Case {
        const char* what;
        std::string after;
        uint32_t code;
        KitCheck state;
        uint64_t ignored;
    };
    const std::vector<Case> cases = {
        {"nothing", "", 0, KitCheck::Absent, 0},
        {"bytes that are no check", junk, 0, KitCheck::Absent, junk.size()},
        {"the check, then more", trailer + junk, 0, KitCheck::Matched, junk.size()},
        {"a later version's check", changed(8, 2) + junk, 0, KitCheck::Unknown, junk.size()},
        {"bytes, then a check", junk + trailer, ERR_INVALID_DATA, KitCheck::Misplaced, 0},
        {"a check cut short", trailer.substr(0, 20), ERR_INVALID_DATA, KitCheck::CutShort, 0},
        {"the magic's first bytes", trailer.substr(0, 3), ERR_INVALID_DATA, KitCheck::CutShort, 0},
        {"a wrong length", changed(9, 31), ERR_INVALID_DATA, KitCheck::Malformed, 0},
        {"a reserved byte set", changed(12, 1), ERR_INVALID_DATA, KitCheck::Malformed, 0},
        {"another stream's length", changed(16, static_cast<char>(trailer[16] ^ 1)), ERR_INVALID_DATA,
         KitCheck::Mismatch, 0},
        {"another stream's digest", changed(31, static_cast<char>(trailer[31] ^ 0x80)), ERR_INVALID_DATA,
         KitCheck::Mismatch, 0},
    };
    for (const Case& c : cases) {
        KitCheckResult check;
        EXPECT_EQ(Unpack(stream + c.after, check), c.code) << c.what;
        EXPECT_EQ(check.state, c.state) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(check.ignoredBytes, c.ignored) << c.what;
        }
        std::unique_ptr<DistributionKit> read;
        EXPECT_EQ(ReadKit(read, Kit(stream + c.after)), c.code) << c.what << ": the reader says the same";
        EXPECT_EQ(read->Check().state, c.state) << c.what;
    }
    EXPECT_EQ(ContainerCount(), 0u);
}

// A stream whose final block loses its final flag goes on into the check
// after it: its magic is no valid deflate, so the kit is damaged rather
// than longer. A stream that swallows the check as data and never ends is
// found by the check at the file's end.
TEST_F(KitCheckTest, AStreamThatLosesItsEndRunsIntoTheCheck) {
    const std::string data = TextLikeBytes(3000);
    std::string stream = StoredDeflate(data, {1000, 2000});
    const std::string trailer = TrailerOf(stream);
    stream[1005] = '\0';  // the second, final, stored block: not final any more
    KitCheckResult check;
    EXPECT_EQ(Unpack(stream + trailer, check), ERR_INVALID_DATA);
    EXPECT_EQ(Unpack(stream, check), 0u) << "without a check the stream merely stops short";
    EXPECT_EQ(check.state, KitCheck::Absent);

    // One stored block, not final, whose length covers the check as well.
    const size_t n = data.size() + kTrailerSize;
    std::string swallowing = {'\0', static_cast<char>(n & 0xFF), static_cast<char>(n >> 8),
                              static_cast<char>(~n & 0xFF), static_cast<char>((~n >> 8) & 0xFF)};
    swallowing += data;
    CopyingObserver observer;
    const std::string kit = swallowing + TrailerOf(swallowing);
    EXPECT_EQ(Unpack(kit, check, &observer), ERR_INVALID_DATA);
    EXPECT_EQ(check.state, KitCheck::Misplaced);
    EXPECT_EQ(observer.seen, kit) << "looking at the file's end leaves the observer's reading in place";
}

// A kit read file table first has its data area unpacked while the
// installation copies: its entries' bytes are served, but the unpacking's
// end, which the installation waits for before it commits, fails.
TEST_F(KitCheckTest, ADataAreaUnpackedLaterFailsAtItsEnd) {
    std::vector<KitFileEntry> files;
    std::string data;
    for (uint32_t i = 0; i < 6; ++i) {
        files.push_back({FromMultiByte(AString(("f" + std::to_string(i)).c_str())), 1, 2,
                         static_cast<uint32_t>(data.size()), 1u << 20});
        data += TextLikeBytes(1u << 20, i + 7);
    }
    const std::string kit = Written(EncodeContainerHead(DescriptionForm::LanguageList, {}, files) + data);
    for (const bool damaged : {false, true}) {
        const std::string bytes = damaged ? FlipBit(kit, 8 * kit.size() - 1) : kit;  // the digest's last bit
        std::unique_ptr<DistributionKit> read;
        ASSERT_EQ(ReadKit(read, Kit(bytes), nullptr, KitReading::FileTableFirst), 0u);
        ASSERT_TRUE(read->RestPending()) << "the data area waits";
        EXPECT_EQ(read->Check().state, KitCheck::Pending);
        ASSERT_EQ(StartUnpackingRest(*read), 0u);
        for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(WaitForEntryBytes(*read, i), 0u);
        EXPECT_EQ(UnpackRest(*read), damaged ? ERR_INVALID_DATA : 0u);
        EXPECT_EQ(UnpackRest(*read), damaged ? ERR_INVALID_DATA : 0u) << "and again";
        EXPECT_EQ(read->Check().state, damaged ? KitCheck::Mismatch : KitCheck::Matched);
    }
}
