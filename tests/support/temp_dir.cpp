#include "tests/support/temp_dir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

std::string DefaultParent() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != 0 ? base : "/tmp";
}

}  // namespace

TempDir::TempDir() : TempDir(DefaultParent()) {}

TempDir::TempDir(const std::string& parent) {
    std::string pattern = parent + "/vxk5-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() { RemoveAll(path_); }

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeDirectories(const std::string& path) {
    for (size_t p = 1; p <= path.size(); ++p) {
        if (p == path.size() || path[p] == '/') mkdir(path.substr(0, p).c_str(), 0755);
    }
}

void RemoveAll(const std::string& path) {
    nftw(path.c_str(),
         [](const char* file, const struct stat*, int, struct FTW*) { return std::remove(file) == 0 ? 0 : 0; },
         16, FTW_DEPTH | FTW_PHYS);
}
