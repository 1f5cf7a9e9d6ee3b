// Kits compressed on every core: block by block, each block primed with the
// one before and ended on a byte boundary, joined into one raw deflate stream.
// Whatever the cut, zlib, ISA-L and the installer's unpacking must give back
// exactly the bytes that went in, and the bytes must not depend on the number
// of threads.

#include "base/conversion.h"
#include "kit/parallel_deflate.h"

#include <zlib.h>

#include <random>
#include <string>

#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "kit/kit_writer.h"
#include "kit/raw_inflater.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

std::string RandomBytes(size_t size, uint32_t start) {
    std::mt19937 random(start);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Compresses `input`, given in pieces of `piece` bytes, with `threads` threads.
std::string Compress(const std::string& input, unsigned threads, size_t blockSize, size_t piece, int level = 9) {
    std::string out;
    ParallelDeflater deflater(
        level,
        [&out](const uint8_t* bytes, size_t size) {
            out.append(reinterpret_cast<const char*>(bytes), size);
            return 0u;
        },
        threads, blockSize);
    for (size_t at = 0; at < input.size(); at += piece) {
        EXPECT_EQ(deflater.Write(input.data() + at, std::min(piece, input.size() - at)), 0u);
    }
    EXPECT_EQ(deflater.Finish(), 0u);
    return out;
}

// zlib's raw inflate of the whole stream; the stream must end exactly.
std::string ZlibInflate(const std::string& stream, bool& ended) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    std::string out;
    int result = Z_OK;
    char chunk[65536];
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
        if (result == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    ended = result == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return out;
}

// ISA-L's inflate as the installer drives it, in small input pieces.
std::string IsalInflate(const std::string& stream, bool& ended) {
    RawInflater inflater;
    std::string out;
    std::string room(100000, '\0');
    ended = false;
    for (size_t at = 0; at < stream.size() && !ended; at += 7000) {
        inflater.SetInput(reinterpret_cast<const uint8_t*>(stream.data() + at),
                          static_cast<uint32_t>(std::min<size_t>(7000, stream.size() - at)));
        for (;;) {
            uint32_t produced = 0;
            const RawInflater::Status status =
                inflater.Inflate(reinterpret_cast<uint8_t*>(room.data()), static_cast<uint32_t>(room.size()), produced);
            out.append(room.data(), produced);
            if (status == RawInflater::Status::Damaged) return out;
            ended = status == RawInflater::Status::Finished;
            if (ended || (inflater.InputLeft() == 0 && produced < room.size())) break;
        }
    }
    return out;
}

class ParallelDeflateTest : public KitTest {};

TEST_F(ParallelDeflateTest, EveryInflaterGivesTheBytesBackAndThreadsDoNotChangeThem) {
    const struct {
        const char* what;
        std::string input;
        size_t blockSize;
        size_t piece;
    } cases[] = {
        {"empty", "", 4096, 1},
        {"one byte", "x", 4096, 1},
        {"below one block", TextLikeBytes(3000), 4096, 100},
        {"exactly two blocks", TextLikeBytes(8192), 4096, 4096},
        {"text over many blocks, odd pieces", TextLikeBytes(300000, 9), 4096, 777},
        {"incompressible over many blocks", RandomBytes(200000, 3), 65536, 10000},
        {"zeros, a match across every cut", std::string(500000, '\0'), 4096, 65536},
        {"text larger than the default block", TextLikeBytes(1300000, 4), ParallelDeflater::kDefaultBlockSize, 1 << 20},
    };
    for (const auto& c : cases) {
        const std::string single = Compress(c.input, 1, c.blockSize, c.piece);
        for (const unsigned threads : {2u, 5u}) {
            EXPECT_EQ(Compress(c.input, threads, c.blockSize, c.piece), single) << c.what << ", " << threads;
        }
        bool ended = false;
        EXPECT_EQ(ZlibInflate(single, ended), c.input) << c.what;
        EXPECT_TRUE(ended) << c.what << ": zlib finds the stream's end exactly at its last byte";
        EXPECT_EQ(IsalInflate(single, ended), c.input) << c.what;
        EXPECT_TRUE(ended) << c.what;
        std::string container;
        WString path;
        ASSERT_EQ(CreateKitTempFile(path), 0u);
        ASSERT_EQ(UnpackKit(Kit(single), path), 0u) << c.what;
        EXPECT_EQ(ReadFile(ToMultiByteString(path)), c.input) << c.what;
    }
    // Deflate keeps highly compressible data small across the cuts: the
    // dictionary carries the matches over.
    EXPECT_LT(Compress(std::string(500000, '\0'), 2, 4096, 65536).size(), 5000u);
}

TEST_F(ParallelDeflateTest, KitsOfZeroOneAndManyEntriesReadBackThroughTheInstallersReader) {
    for (const size_t count : {size_t{0}, size_t{1}, size_t{300}}) {
        std::vector<KitFileEntry> entries;
        std::string data;
        for (size_t i = 0; i < count; ++i) {
            // Incompressible, highly compressible and text, one of them past
            // the 1 MiB block.
            std::string bytes = i % 3 == 0 ? RandomBytes(1000 + i * 37, static_cast<uint32_t>(i))
                                : i % 3 == 1 ? std::string(500 + i, 'z')
                                             : TextLikeBytes(2000 + i, static_cast<uint32_t>(i));
            if (i == 1) bytes = RandomBytes(1500000, 77);
            KitFileEntry entry;
            entry.name = FromMultiByte("dir\\file" + std::to_string(i) + ".txt");
            entry.offset = static_cast<uint32_t>(data.size());
            entry.size = static_cast<uint32_t>(bytes.size());
            entries.push_back(entry);
            data += bytes;
        }
        const std::string container =
            kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {{u"en", u"P", u"V", u""}}, entries) +
            data;
        ASSERT_EQ(WriteKitFile(Kit("", "many.efd"), container), 0u);
        const std::string kitBytes = ReadFile(tmp_.path("many.efd"));
        bool ended = false;
        EXPECT_EQ(ZlibInflate(kitBytes, ended), container) << count;
        EXPECT_EQ(IsalInflate(kitBytes, ended), container) << count;
        std::unique_ptr<DistributionKit> kit;
        ASSERT_EQ(ReadKit(kit, FromMultiByte(tmp_.path("many.efd"))), 0u) << count;
        ASSERT_EQ(kit->Entries().size(), count);
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(ReadContainer(kit, kit->Entries()[i].offset, kit->Entries()[i].size),
                      data.substr(entries[i].offset, entries[i].size))
                << count << " entries, entry " << i;
        }
    }
}

TEST_F(ParallelDeflateTest, ASinkThatFailsStopsTheStream) {
    int calls = 0;
    ParallelDeflater deflater(
        6, [&calls](const uint8_t*, size_t) { return ++calls == 2 ? 87u : 0u; }, 2, 4096);
    const std::string input = RandomBytes(100000, 5);
    uint32_t code = 0;
    for (size_t at = 0; at < input.size() && code == 0; at += 1000) code = deflater.Write(input.data() + at, 1000);
    if (code == 0) code = deflater.Finish();
    EXPECT_EQ(code, 87u);
    EXPECT_EQ(deflater.Write("x", 1), 87u) << "a failed stream stays failed";
}

}  // namespace
