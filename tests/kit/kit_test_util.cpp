#include "tests/kit/kit_test_util.h"

#include <dirent.h>

#include <cerrno>
#include <memory>

#include "base/conversion.h"
#include "kit/kit_writer.h"
#include "platform/file_handle.h"
#include "platform/open_file.h"

using namespace vxk5;

std::string Deflate(const std::string& container) { return DeflateContainer(container, 9); }

std::string StoredDeflate(const std::string& data, const std::vector<size_t>& blockSizes) {
    std::string out;
    size_t position = 0;
    for (size_t i = 0; i < blockSizes.size(); ++i) {
        const size_t n = blockSizes[i];
        const bool last = i + 1 == blockSizes.size();
        out.push_back(last ? '\x01' : '\x00');  // BFINAL, type 0 (stored), then byte-aligned
        out.push_back(static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(n >> 8));
        out.push_back(static_cast<char>(~n & 0xFF));
        out.push_back(static_cast<char>((~n >> 8) & 0xFF));
        out.append(data, position, n);
        position += n;
    }
    return out;
}

std::string TextLikeBytes(size_t size, uint32_t start) {
    static const char* const kWords[] = {"panel ", "launcher ", "Exec=", "true\n", "size=", "clock ", "#fff;"};
    std::string out;
    uint32_t state = start;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        if (state >> 29 == 0) {
            out += std::to_string(state % 9973);
        } else {
            out += kWords[(state >> 16) % 7];
        }
    }
    out.resize(size);
    return out;
}

std::vector<std::string> ContainerFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        if (std::string(entry->d_name).rfind("edf", 0) == 0) names.emplace_back(entry->d_name);
    }
    return names;
}

std::string StoredInBlocks(const std::string& data, size_t block) {
    std::vector<size_t> sizes(data.size() / block, block);
    if (data.size() % block != 0) sizes.push_back(data.size() % block);
    return StoredDeflate(data, sizes);
}

// By position, as the copy reads: the tests read from several threads at
// once, and a shared file position would hand one thread another's bytes.
std::string ReadContainer(const std::unique_ptr<DistributionKit>& kit, uint32_t offset, uint32_t size) {
    std::string bytes(size, '\0');
    const int descriptor = DescriptorOf(kit->Container());
    size_t count = 0;
    while (count < size) {
        const int64_t got = ReadOpenFileAt(descriptor, bytes.data() + count, size - count, static_cast<int64_t>(offset + count));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::string();
        if (got == 0) break;
        count += static_cast<size_t>(got);
    }
    bytes.resize(count);
    return bytes;
}
