// Every kit the fuzzer ever found trouble with, and its whole initial corpus,
// goes through ReadKit again: none may crash, and each either reads or fails
// through the failure path.

#include <dirent.h>

#include <memory>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "tests/kit/kit_fixture.h"

using namespace vxk5;

namespace {

std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> paths;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) return paths;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "README.md") paths.push_back(directory + "/" + name);
    }
    return paths;
}

class FuzzReplayTest : public KitTest {
protected:
    void Replay(const std::string& directory, size_t& count) {
        for (const std::string& path : FilesIn(directory)) {
            SCOPED_TRACE(path);
            {
                std::unique_ptr<DistributionKit> kit;
                const uint32_t code = ReadKit(kit, FromMultiByte(path));
                if (code == 0) {
                    EXPECT_NE(kit->Container(), INVALID_FILE_HANDLE);
                } else {
                    EXPECT_TRUE(kit->Entries().empty());
                    EXPECT_EQ(kit->Container(), INVALID_FILE_HANDLE);
                }
            }
            EXPECT_EQ(ContainerCount(), 0u);
            ++count;
        }
    }
};

TEST_F(FuzzReplayTest, CorpusAndRegressionsReadWithoutCrashing) {
    size_t count = 0;
    Replay(VXK5_FUZZ_DIR "/corpus", count);
    Replay(VXK5_FUZZ_DIR "/regressions", count);
    EXPECT_GT(count, 0u) << "no corpus in " VXK5_FUZZ_DIR;
}

TEST_F(FuzzReplayTest, InitialCorpusHoldsReadableKits) {
    size_t readable = 0;
    for (const std::string& path : FilesIn(VXK5_FUZZ_DIR "/corpus")) {
        std::unique_ptr<DistributionKit> kit;
        if (ReadKit(kit, FromMultiByte(path)) == 0) ++readable;
    }
    EXPECT_GT(readable, 0u);
}

}  // namespace
