// libFuzzer target for the launcher configuration reader: the input is a
// configuration file. It is read as the installer reads it; a file read whole
// is written back and read again, which must give the same entries, and every
// key must be found through the map's index as a plain scan finds it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "base/conversion.h"
#include "config/config_file.h"
#include "config/config_keys.h"
#include "config/template_locations.h"

using namespace vxk5;

namespace {

std::string TempPath(const char* name) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/" + name + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
}

const std::vector<WString>* ScanValues(const MultiValueMap& map, const WString& key) {
    for (const MultiValueEntry& entry : map.entries) {
        if (CompareNoCase(entry.key, key) == 0) return &entry.values;
    }
    return nullptr;
}

bool SameEntries(const MultiValueMap& a, const MultiValueMap& b) {
    if (a.entries.size() != b.entries.size()) return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        if (!(a.entries[i].key == b.entries[i].key) || a.entries[i].values != b.entries[i].values) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = TempPath("read-config-fuzz");
    static const std::string output = TempPath("read-config-fuzz-out");
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    MultiValueMap config;
    const ConfigRead read = ReadLauncherConfig(FromMultiByte(input), config);
    for (const MultiValueEntry& entry : config.entries) {
        if (FindValues(config, entry.key) != ScanValues(config, entry.key)) std::abort();
    }
    if (const std::vector<WString>* locations = FindValues(config, kConfigurationTemplatesLocation)) {
        std::vector<WString> list = *locations;
        RemoveDuplicateLocations(list);
        if (list.size() > locations->size()) std::abort();
    }
    if (read != ConfigRead::Whole) return 0;
    try {
        WriteLauncherConfig(FromMultiByte(output), config);
    } catch (const ConfigWriteError&) {
        std::abort();  // everything read converts back
    }
    MultiValueMap again;
    if (ReadLauncherConfig(FromMultiByte(output), again) != ConfigRead::Whole || !SameEntries(config, again)) std::abort();
    return 0;
}
