// libFuzzer target for the kit reader: the input is a kit file (a raw deflate
// stream). It is written to a file and read with ReadKit, as the installer
// would; a kit that reads is then walked entry by entry through the open
// container, as the installation would copy it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "base/conversion.h"
#include "kit/kit_reader.h"
#include "platform/file_handle.h"

using namespace vxk5;

namespace {

std::string& KitPath() {
    static std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/read-kit-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) std::abort();
        close(fd);
        return pattern;
    }();
    return path;
}

void WalkEntries(DistributionKit& kit) {
    uint8_t* buffer = kit.CopyBuffer();
    for (const KitFileEntry& entry : kit.Entries()) {
        if (SeekFileHandle(kit.Container(), entry.offset, FILE_FROM_START) < 0) continue;
        uint32_t left = entry.size;
        while (left != 0) {
            const uint32_t piece = left < kit.CopyBufferSize() ? left : kit.CopyBufferSize();
            uint32_t count = 0;
            if (ReadFileHandle(kit.Container(), buffer, piece, &count, nullptr) != 0 || count == 0) break;
            left -= count;
        }
        // Touch the texts as the pages would.
        (void)entry.name.length();
    }
    WString product, vendor;
    GetProductInfo(&kit, u"en", product, vendor);
    (void)GetDescriptionName(&kit, u"de");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = KitPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    std::unique_ptr<DistributionKit> kit;
    const uint32_t code = ReadKit(kit, FromMultiByte(path));
    if (code == 0) {
        WalkEntries(*kit);
    } else if (kit != nullptr && (!kit->Entries().empty() || kit->Container() != INVALID_FILE_HANDLE)) {
        std::abort();  // the failure path must have emptied and released everything
    }
    return 0;
}
