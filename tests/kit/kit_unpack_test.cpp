// The compression layer: inflating kits window by window into the container.

#include "kit/kit_unpack.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/mapped_window.h"
#include "tests/kit/kit_fixture.h"

namespace {

class KitUnpackTest : public KitTest {
protected:
    // Unpacks `kitBytes` into a new container; returns the code and the content.
    uint32_t Unpack(const std::string& kitBytes, std::string& container) {
        WString path;
        EXPECT_EQ(CreateKitTempFile(path), 0u);
        const uint32_t code = UnpackKit(Kit(kitBytes), path);
        container = ReadFile(Narrow(path));
        return code;
    }
};

TEST_F(KitUnpackTest, TempFileIsMadeEmptyInTmpdirWithPrefix) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    const std::string narrow = Narrow(path);
    EXPECT_EQ(narrow.rfind(tmp_.path("tmp/edf"), 0), 0u) << narrow;
    EXPECT_TRUE(PathExists(narrow));
    EXPECT_EQ(ReadFile(narrow), "");
}

TEST_F(KitUnpackTest, MissingTmpdirFallsBackToTmp) {
    setenv("TMPDIR", tmp_.path("missing").c_str(), 1);
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    const std::string narrow = Narrow(path);
    EXPECT_EQ(narrow.rfind("/tmp/edf", 0), 0u) << narrow;
    RemoveAll(narrow);
}

TEST_F(KitUnpackTest, InflatesAcrossManyWindows) {
    const std::string data = TextLikeBytes(900000);
    const std::string kit = Deflate(data);
    ASSERT_GT(kit.size(), 3u * 32768);  // several windows, the last one short
    std::string container;
    EXPECT_EQ(Unpack(kit, container), 0u);
    EXPECT_EQ(container, data);
}

TEST_F(KitUnpackTest, EmptyKitGivesEmptyContainer) {
    std::string container = "x";
    EXPECT_EQ(Unpack("", container), 0u);
    EXPECT_EQ(container, "");
}

TEST_F(KitUnpackTest, KitsAtTheWindowBoundary) {
    // Stored blocks fix the kit's length exactly: 5 bytes per block plus data.
    const std::string one = TextLikeBytes(32768 - 10, 7);
    const std::string kitOneWindow = StoredDeflate(one, {30000, one.size() - 30000});
    ASSERT_EQ(kitOneWindow.size(), 32768u);
    std::string container;
    EXPECT_EQ(Unpack(kitOneWindow, container), 0u);
    EXPECT_EQ(container, one);

    // One more byte: the second window holds only the last byte of the stream.
    const std::string two = TextLikeBytes(32769 - 10, 8);
    const std::string kitTwoWindows = StoredDeflate(two, {30000, two.size() - 30000});
    ASSERT_EQ(kitTwoWindows.size(), 32769u);
    EXPECT_EQ(Unpack(kitTwoWindows, container), 0u);
    EXPECT_EQ(container, two);
}

TEST_F(KitUnpackTest, BytesAfterTheStreamAreIgnored) {
    const std::string data = TextLikeBytes(50000);
    std::string container;
    EXPECT_EQ(Unpack(Deflate(data) + "trailing garbage \x07\xff", container), 0u);
    EXPECT_EQ(container, data);
    // Also when the trailing bytes fill whole windows of their own.
    EXPECT_EQ(Unpack(Deflate(data) + std::string(100000, '\x07'), container), 0u);
    EXPECT_EQ(container, data);
}

TEST_F(KitUnpackTest, DamagedStreamsGiveInvalidData) {
    std::string container;
    EXPECT_EQ(Unpack(std::string("\x07") + TextLikeBytes(100), container), ERR_INVALID_DATA);  // reserved block type
    // A stored block whose length and its complement disagree.
    EXPECT_EQ(Unpack(std::string("\x01\x05\x00\x00\x00hello", 10), container), ERR_INVALID_DATA);
    // A dynamic block that claims more literal/length codes than exist.
    EXPECT_EQ(Unpack(std::string("\xfd\xff\xff\xff") + TextLikeBytes(100), container), ERR_INVALID_DATA);
    // An error far into the stream, after many windows of good data.
    const std::string good = TextLikeBytes(300000);
    std::string kit = StoredDeflate(good, {65535, 65535, 65535, 65535, good.size() - 4 * 65535});
    kit[4 * (65535 + 5) + 3] ^= 0x01;  // the last block's length complement no longer matches
    EXPECT_EQ(Unpack(kit, container), ERR_INVALID_DATA);
    EXPECT_LE(container.size(), 4u * 65535);
    EXPECT_EQ(container, good.substr(0, container.size()));
}

TEST_F(KitUnpackTest, TruncatedStreamGivesShorterContainer) {
    const std::string data = TextLikeBytes(300000);
    const std::string kit = Deflate(data);
    std::string container;
    EXPECT_EQ(Unpack(kit.substr(0, kit.size() / 2), container), 0u);
    EXPECT_LT(container.size(), data.size());
    EXPECT_EQ(container, data.substr(0, container.size()));
}

TEST_F(KitUnpackTest, OutputAroundTheBufferSize) {
    // The inflated bytes are written in quarter-MiB pieces: a stream that ends
    // exactly as a piece fills, one byte after, and several pieces and a bit.
    for (const size_t size : {size_t{262144}, size_t{262145}, size_t{3 * 262144 + 777}}) {
        const std::string data = TextLikeBytes(size, static_cast<uint32_t>(size));
        std::string container;
        EXPECT_EQ(Unpack(Deflate(data), container), 0u) << size;
        EXPECT_EQ(container, data) << size;
    }
}

TEST_F(KitUnpackTest, TruncatedStreamKeepsEverythingInflatable) {
    // Nothing inflated from a cut kit stays behind unwritten: the container
    // holds exactly what zlib can make of the bytes that are there.
    const std::string data = TextLikeBytes(1000000, 3);
    const std::string kit = Deflate(data);
    const std::string cut = kit.substr(0, kit.size() * 2 / 3);
    z_stream stream{};
    ASSERT_EQ(inflateInit2(&stream, -15), Z_OK);
    std::string expected(data.size(), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(cut.data()));
    stream.avail_in = static_cast<uInt>(cut.size());
    stream.next_out = reinterpret_cast<Bytef*>(expected.data());
    stream.avail_out = static_cast<uInt>(expected.size());
    EXPECT_EQ(inflate(&stream, Z_SYNC_FLUSH), Z_OK);
    expected.resize(stream.total_out);
    inflateEnd(&stream);
    ASSERT_GT(expected.size(), 262144u);

    std::string container;
    EXPECT_EQ(Unpack(cut, container), 0u);
    EXPECT_EQ(container.size(), expected.size());
    EXPECT_EQ(container, expected);
}

TEST_F(KitUnpackTest, ReplacesTheDestinationsContent) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    WriteFile(Narrow(path), std::string(5000, 'z'));
    ASSERT_EQ(UnpackKit(Kit(Deflate("short")), path), 0u);
    EXPECT_EQ(ReadFile(Narrow(path)), "short");
}

TEST_F(KitUnpackTest, OpenFailuresGiveTheOpensCode) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    EXPECT_EQ(UnpackKit(Wide(tmp_.path("missing.efd")), path), ERR_NOT_FOUND);
    EXPECT_EQ(UnpackKit(Kit(Deflate("x")), Wide(tmp_.path("no/such/dir/out"))), ERR_NOT_FOUND);
}

TEST_F(KitUnpackTest, ReleaseClosesDeletesAndKeepsThePath) {
    DistributionKit kit;
    ASSERT_EQ(ReadKit(kit, Kit(Deflate(kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {})))),
              0u);
    ASSERT_NE(kit.tempHandle, INVALID_FILE_HANDLE);
    const WString path = kit.tempPath;
    ReleaseKitTempFile(kit);
    EXPECT_EQ(kit.tempHandle, INVALID_FILE_HANDLE);
    EXPECT_EQ(kit.tempPath, path);
    EXPECT_FALSE(PathExists(Narrow(path)));
    ReleaseKitTempFile(kit);  // a second release is harmless
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, ContainerGoesWithTheKitModel) {
    {
        DistributionKit kit;
        ASSERT_NE(kit.buffer, nullptr);
        EXPECT_EQ(kit.bufferSize, 1048576u);
        ASSERT_EQ(ReadKit(kit, Kit(Deflate(kitformat::EncodeContainerHead(kitformat::DescriptionForm::SingleLanguage,
                                                                           {}, {})))),
                  0u);
        EXPECT_EQ(ContainerCount(), 1u);
    }
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, ReservedBlockTypeFailsReadKitAndReleases) {
    DistributionKit kit;
    EXPECT_EQ(ReadKit(kit, Kit("\x07\x00\x00\x00")), ERR_INVALID_DATA);
    EXPECT_EQ(kit.tempHandle, INVALID_FILE_HANDLE);
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, MissingKitFailsReadKitAndReleases) {
    DistributionKit kit;
    EXPECT_EQ(ReadKit(kit, Wide(tmp_.path("missing.efd"))), ERR_NOT_FOUND);
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, ContainerThatCannotBeWrittenGives87AndIsReleased) {
    // A file size limit stands in for a full disk: writes past it fall short.
    // Once in the last, partly filled piece of output, once in a full one.
    const struct {
        size_t data;
        rlim_t limit;
    } cases[] = {{200000, 65536}, {900000, 300000}};
    for (const auto& c : cases) {
        const std::string data = TextLikeBytes(c.data);
        const WString kitPath =
            Kit(Deflate(kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {}) + data));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{c.limit, c.limit};
            setrlimit(RLIMIT_FSIZE, &limit);
            int status = 0;
            {
                DistributionKit kit;
                const uint32_t code = ReadKit(kit, kitPath);
                if (code != ERR_INVALID_PARAMETER) status = 1;
                if (kit.tempHandle != INVALID_FILE_HANDLE) status |= 2;
                if (access(Narrow(kit.tempPath).c_str(), F_OK) == 0) status |= 4;
            }
            _exit(status);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.data << ": 1 wrong code, 2 handle left open, 4 container left behind";
        EXPECT_EQ(ContainerCount(), 0u);
    }
}

TEST(MappedWindowTest, RefusesWhatCannotBeMapped) {
    MappedWindow window;
    EXPECT_FALSE(window.Map(INVALID_FILE_HANDLE, 0, 32768));
    EXPECT_EQ(window.Data(), nullptr);
    EXPECT_EQ(window.Size(), 0u);
}

}  // namespace
