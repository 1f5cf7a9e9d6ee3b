// The compression layer: inflating kits window by window into the container.

#include "base/conversion.h"
#include "kit/kit_unpack.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "kit/container_encoder.h"
#include "kit/kit_reader.h"
#include "kit/raw_inflater.h"
#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "tests/kit/kit_fixture.h"
#include "tests/support/tiny_tmpfs.h"

using namespace vxk5;

namespace {

class KitUnpackTest : public KitTest {
protected:
    // Unpacks `kitBytes` into a new container; returns the code and the content.
    uint32_t Unpack(const std::string& kitBytes, std::string& container) {
        WString path;
        EXPECT_EQ(CreateKitTempFile(path), 0u);
        const uint32_t code = UnpackKit(Kit(kitBytes), path);
        container = ReadFile(ToMultiByteString(path));
        return code;
    }
};

TEST_F(KitUnpackTest, TempFileIsMadeEmptyInTmpdirWithPrefix) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    const std::string narrow = ToMultiByteString(path);
    EXPECT_EQ(narrow.rfind(tmp_.path("tmp/edf"), 0), 0u) << narrow;
    EXPECT_TRUE(PathExists(narrow));
    EXPECT_EQ(ReadFile(narrow), "");
}

TEST_F(KitUnpackTest, MissingTmpdirFallsBackToTmp) {
    setenv("TMPDIR", tmp_.path("missing").c_str(), 1);
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    const std::string narrow = ToMultiByteString(path);
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

// A kit cut short after it was opened (its size already taken) gives the
// bytes still there, a shorter container, and never a fault on bytes that
// have gone: the kit is read, not mapped.
TEST_F(KitUnpackTest, AKitCutShortAfterItsOpeningGivesWhatIsStillThere) {
    const std::string data = TextLikeBytes(600000);
    const std::string kit = Deflate(data);
    ASSERT_GT(kit.size(), 5u * 5000);  // pages of it go
    const WString kitPath = Kit(kit);
    struct Cut {
        std::string path;
        bool done = false;
    } cut{ToMultiByteString(kitPath)};
    SetFaultHook(
        [](FaultStep step, const std::string&, void* context) {
            auto* state = static_cast<Cut*>(context);
            if (step == FaultStep::KitOpened && !state->done) state->done = truncate(state->path.c_str(), 5000) == 0;
            return 0;
        },
        &cut);
    WString containerPath;
    ASSERT_EQ(CreateKitTempFile(containerPath), 0u);
    const uint32_t code = UnpackKit(kitPath, containerPath);
    SetFaultHook(nullptr, nullptr);
    ASSERT_TRUE(cut.done);
    EXPECT_EQ(code, 0u);  // a stream that stops early is not an error here
    const std::string container = ReadFile(ToMultiByteString(containerPath));
    EXPECT_GT(container.size(), 0u);
    EXPECT_LT(container.size(), data.size());
    EXPECT_EQ(container, data.substr(0, container.size()));
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

TEST_F(KitUnpackTest, EveryKindOfDamageTheInflaterNamesGivesInvalidData) {
    // Fixed-code blocks, each broken in one way the inflater reports with its
    // own code; a good one first, to show the block itself is sound.
    std::string container;
    EXPECT_EQ(Unpack(std::string("\x4b\x4c\x02\x00", 4), container), 0u);
    EXPECT_EQ(container, "ab");
    const struct {
        const char* what;
        std::string kit;
    } cases[] = {
        {"a match before the first byte", std::string("\x03\x02\x00", 3)},
        {"a distance of 2 after one byte", std::string("\x4b\x04\x42\x00", 4)},
        {"literal/length symbol 286", std::string("\x4b\x1c\x03\x00", 4)},
        {"distance symbol 30", std::string("\x4b\x04\x3e\x00", 4)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Unpack(c.kit, container), ERR_INVALID_DATA) << c.what;
        std::unique_ptr<DistributionKit> kit;
        EXPECT_EQ(ReadKit(kit, Kit(c.kit)), ERR_INVALID_DATA) << c.what;
        EXPECT_EQ(kit->Container(), INVALID_FILE_HANDLE);
    }
    // A damage far into the stream, after more than one output buffer's worth
    // has gone to the container: stored blocks of good data, then a bad
    // symbol. Nothing after it is written.
    const std::string good = TextLikeBytes(600000, 5);
    std::string kit;
    for (size_t at = 0; at < good.size(); at += 60000) {
        kit += std::string("\x00\x60\xea\x9f\x15", 5);  // not final, stored, 60000 bytes
        kit += good.substr(at, 60000);
    }
    kit += std::string("\x4b\x1c\x03\x00", 4);
    EXPECT_EQ(Unpack(kit, container), ERR_INVALID_DATA);
    EXPECT_GE(container.size(), 262144u);
    EXPECT_LE(container.size(), good.size() + 1);
    EXPECT_EQ(container.substr(0, 262144), good.substr(0, 262144));
    const size_t before = ContainerCount();
    std::unique_ptr<DistributionKit> failed;
    EXPECT_EQ(ReadKit(failed, Kit(kit)), ERR_INVALID_DATA);
    EXPECT_EQ(ContainerCount(), before) << "ReadKit removes its container";
}

TEST_F(KitUnpackTest, FullTemporaryDirectoryGivesDiskFullAndRemovesTheContainer) {
    TinyTmpfs tmpfs(tmp_.path("tiny"), "2m");
    if (!tmpfs.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    setenv("TMPDIR", tmp_.path("tiny").c_str(), 1);
    const std::string head = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {});
    const std::string data = std::string(3 << 20, 'x');  // 3 MB into 2 MB
    std::unique_ptr<DistributionKit> kit;
    EXPECT_EQ(ReadKit(kit, Kit(Deflate(head + data))), ERR_DISK_FULL);
    EXPECT_EQ(kit->Container(), INVALID_FILE_HANDLE);
    EXPECT_TRUE(ContainerFiles(tmp_.path("tiny")).empty());
    // The space is free again: a kit small enough fits.
    EXPECT_EQ(ReadKit(kit, Kit(Deflate(head + data.substr(0, 1 << 20)))), 0u);
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
    // holds exactly what the inflater makes of the bytes that are there in one
    // pass, which is what zlib makes of them but for at most the one symbol
    // whose bits the inflater still holds when its input runs out.
    const std::string data = TextLikeBytes(1000000, 3);
    const std::string kit = Deflate(data);
    const std::string cut = kit.substr(0, kit.size() * 2 / 3);
    z_stream stream{};
    ASSERT_EQ(inflateInit2(&stream, -15), Z_OK);
    std::string byZlib(data.size(), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(cut.data()));
    stream.avail_in = static_cast<uInt>(cut.size());
    stream.next_out = reinterpret_cast<Bytef*>(byZlib.data());
    stream.avail_out = static_cast<uInt>(byZlib.size());
    EXPECT_EQ(inflate(&stream, Z_SYNC_FLUSH), Z_OK);
    byZlib.resize(stream.total_out);
    inflateEnd(&stream);

    RawInflater inflater;
    std::string expected(data.size(), '\0');
    uint32_t produced = 0;
    inflater.SetInput(reinterpret_cast<const uint8_t*>(cut.data()), static_cast<uint32_t>(cut.size()));
    EXPECT_EQ(inflater.Inflate(reinterpret_cast<uint8_t*>(expected.data()), static_cast<uint32_t>(expected.size()),
                               produced),
              RawInflater::Status::Ok);
    expected.resize(produced);
    ASSERT_GT(expected.size(), 262144u);
    EXPECT_LE(expected.size(), byZlib.size());
    EXPECT_LE(byZlib.size() - expected.size(), 258u);  // the longest match
    EXPECT_EQ(expected, byZlib.substr(0, expected.size()));

    std::string container;
    EXPECT_EQ(Unpack(cut, container), 0u);
    EXPECT_EQ(container.size(), expected.size());
    EXPECT_EQ(container, expected);
}

TEST_F(KitUnpackTest, ReplacesTheDestinationsContent) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    WriteFile(ToMultiByteString(path), std::string(5000, 'z'));
    ASSERT_EQ(UnpackKit(Kit(Deflate("short")), path), 0u);
    EXPECT_EQ(ReadFile(ToMultiByteString(path)), "short");
}

TEST_F(KitUnpackTest, OpenFailuresGiveTheOpensCode) {
    WString path;
    ASSERT_EQ(CreateKitTempFile(path), 0u);
    EXPECT_EQ(UnpackKit(FromMultiByte(tmp_.path("missing.efd")), path), ERR_NOT_FOUND);
    EXPECT_EQ(UnpackKit(Kit(Deflate("x")), FromMultiByte(tmp_.path("no/such/dir/out"))), ERR_NOT_FOUND);
}

TEST_F(KitUnpackTest, GivingUpTheKitClosesItsContainer) {
    for (const KitReading reading : {KitReading::Whole, KitReading::FileTableFirst}) {
        std::unique_ptr<DistributionKit> kit;
        ASSERT_EQ(ReadKit(kit,
                          Kit(Deflate(kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {}) +
                                      TextLikeBytes(8 << 20))),
                          nullptr, reading),
                  0u);
        const int container = DescriptorOf(kit->Container());
        ASSERT_GE(fcntl(container, F_GETFD), 0);
        kit.reset();
        EXPECT_EQ(fcntl(container, F_GETFD), -1);
        EXPECT_EQ(ContainerCount(), 0u);
    }
}

// What reads the kit only reads: its container cannot be written through the
// kit, also while the rest of a kit read file table first is still to come.
TEST_F(KitUnpackTest, TheKitsContainerIsOpenForReadingOnly) {
    const std::string head = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {});
    const std::string data = TextLikeBytes(8 << 20);
    for (const KitReading reading : {KitReading::Whole, KitReading::FileTableFirst}) {
        std::unique_ptr<DistributionKit> kit;
        ASSERT_EQ(ReadKit(kit, Kit(Deflate(head + data)), nullptr, reading), 0u);
        const int container = DescriptorOf(kit->Container());
        EXPECT_EQ(fcntl(container, F_GETFL) & O_ACCMODE, O_RDONLY);
        EXPECT_LT(pwrite(container, "x", 1, 0), 0);
        EXPECT_EQ(kit->RestPending(), reading == KitReading::FileTableFirst);
        // The rest, written through the unpacking's own handle, is seen through the kit's.
        ASSERT_EQ(UnpackRest(*kit), 0u);
        EXPECT_FALSE(kit->RestPending());
        EXPECT_EQ(ReadContainer(kit, static_cast<uint32_t>(head.size() + data.size() - 5), 5),
                  data.substr(data.size() - 5));
    }
}

TEST_F(KitUnpackTest, ContainerGoesWithTheKitModel) {
    {
        std::unique_ptr<DistributionKit> kit;
        ASSERT_EQ(ReadKit(kit, Kit(Deflate(kitformat::EncodeContainerHead(kitformat::DescriptionForm::SingleLanguage,
                                                                           {}, {})))),
                  0u);
        ASSERT_NE(kit->CopyBuffer(), nullptr);
        EXPECT_EQ(kit->CopyBufferSize(), 1048576u);
        EXPECT_NE(kit->Container(), INVALID_FILE_HANDLE);
        EXPECT_EQ(ContainerCount(), 0u) << "the open container has no name";
    }
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, ReservedBlockTypeFailsReadKitAndReleases) {
    std::unique_ptr<DistributionKit> kit;
    EXPECT_EQ(ReadKit(kit, Kit("\x07\x00\x00\x00")), ERR_INVALID_DATA);
    EXPECT_EQ(kit->Container(), INVALID_FILE_HANDLE);
    EXPECT_EQ(ContainerCount(), 0u);
}

TEST_F(KitUnpackTest, MissingKitFailsReadKitAndReleases) {
    std::unique_ptr<DistributionKit> kit;
    EXPECT_EQ(ReadKit(kit, FromMultiByte(tmp_.path("missing.efd"))), ERR_NOT_FOUND);
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
                std::unique_ptr<DistributionKit> kit;
                const uint32_t code = ReadKit(kit, kitPath);
                if (code != ERR_INVALID_PARAMETER) status = 1;
                if (kit->Container() != INVALID_FILE_HANDLE) status |= 2;
            }
            _exit(status);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.data << ": 1 wrong code, 2 a kit made";
        EXPECT_EQ(ContainerCount(), 0u);
    }
}

}  // namespace

namespace {

// A run killed while it unpacks leaves nothing in the temporary directory:
// the container has no name there (or, where the file system has no unnamed
// files, loses its name right after it is made).
TEST_F(KitUnpackTest, KilledUnpackingLeavesNothingInTheTemporaryDirectory) {
    const std::string head = kitformat::EncodeContainerHead(kitformat::DescriptionForm::LanguageList, {}, {});
    const WString kitPath = Kit(Deflate(head + TextLikeBytes(64 << 20, 3)));
    for (const bool unnamed : {true, false}) {
        for (const int delayMs : {0, 5, 40}) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                AllowUnnamedTempFiles(unnamed);
                for (;;) {
                    std::unique_ptr<DistributionKit> kit;
                    (void)ReadKit(kit, kitPath);
                }
            }
            usleep(static_cast<useconds_t>(delayMs) * 1000);
            ASSERT_EQ(kill(child, SIGKILL), 0);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status));
            const std::string what = std::string(unnamed ? "unnamed" : "named") + " container, killed after " +
                                     std::to_string(delayMs) + " ms";
            if (!unnamed) {
                // A named container has its name for the instant between its
                // creation and its unlink, before a byte goes in: a kill
                // there (a busy machine can time one so) leaves that empty
                // file and nothing else. Anything with bytes in it is a leak.
                for (const std::string& name : ContainerFiles(tmp_.path("tmp"))) {
                    const std::string path = tmp_.path("tmp") + "/" + name;
                    struct stat info {};
                    ASSERT_EQ(stat(path.c_str(), &info), 0) << what;
                    EXPECT_EQ(info.st_size, 0) << what;
                    unlink(path.c_str());
                }
            }
            EXPECT_EQ(ContainerCount(), 0u) << what;
        }
    }
}

}  // namespace
