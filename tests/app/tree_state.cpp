#include "tree_state.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <map>
#include <sstream>

#include "process_runner.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SortedEntries(const std::string& root) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        names.push_back(it->path().lexically_relative(root).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// FNV-1a over the file's bytes, read in pieces.
std::string HashOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint64_t hash = 1469598103934665603ull;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
        }
    }
    std::ostringstream out;
    out << std::hex << hash;
    return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

std::string StateDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual) return std::string();
    const std::vector<std::string> a = Lines(expected);
    const std::vector<std::string> b = Lines(actual);
    const std::set<std::string> inA(a.begin(), a.end());
    const std::set<std::string> inB(b.begin(), b.end());
    std::ostringstream out;
    int shown = 0;
    for (const std::string& line : a) {
        if (inB.count(line) == 0 && shown++ < 6) out << "  expected: " << line.substr(0, 200) << "\n";
    }
    shown = 0;
    for (const std::string& line : b) {
        if (inA.count(line) == 0 && shown++ < 6) out << "  found:    " << line.substr(0, 200) << "\n";
    }
    if (out.str().empty()) out << "  the same lines in another order or number\n";
    return out.str();
}

std::string TreeState(const std::string& root) {
    struct stat top;
    if (::lstat(root.c_str(), &top) != 0) return "(missing)\n";
    const std::vector<std::string> names = SortedEntries(root);
    std::map<std::pair<dev_t, ino_t>, std::vector<std::string>> inodes;
    for (const std::string& name : names) {
        struct stat status;
        if (::lstat((root + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            inodes[{status.st_dev, status.st_ino}].push_back(name);
        }
    }
    std::ostringstream out;
    for (const std::string& name : names) {
        const std::string path = root + "/" + name;
        struct stat status;
        if (::lstat(path.c_str(), &status) != 0) {
            out << name << " (vanished)\n";
            continue;
        }
        out << name << " mode " << std::oct << (status.st_mode & 07777) << std::dec << " owner " << status.st_uid
            << ":" << status.st_gid;
        if (S_ISDIR(status.st_mode)) {
            out << " dir\n";
        } else if (S_ISLNK(status.st_mode)) {
            char text[4096];
            const ssize_t length = ::readlink(path.c_str(), text, sizeof text);
            out << " link -> " << std::string(text, length > 0 ? static_cast<size_t>(length) : 0) << " time "
                << status.st_mtim.tv_sec << "." << status.st_mtim.tv_nsec << "\n";
        } else if (S_ISREG(status.st_mode)) {
            out << " file size " << status.st_size << " time " << status.st_mtim.tv_sec << "."
                << status.st_mtim.tv_nsec;
            const std::vector<std::string>& group = inodes[{status.st_dev, status.st_ino}];
            if (group.size() > 1 || status.st_nlink > 1) {
                out << " links " << status.st_nlink << " shared with";
                for (const std::string& other : group) out << " " << other;
            }
            if (status.st_size <= 4096) {
                out << " bytes [" << ReadFile(path) << "]\n";
            } else {
                out << " hash " << HashOf(path) << "\n";
            }
        } else {
            out << " other\n";
        }
    }
    return out.str();
}

std::vector<std::string> EmptyFiles(const std::string& root) {
    std::vector<std::string> empty;
    for (const std::string& name : SortedEntries(root)) {
        struct stat status;
        if (::lstat((root + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0) {
            empty.push_back(name);
        }
    }
    return empty;
}

bool CopyTree(const std::string& from, const std::string& to) {
    RemoveAll(to);
    return RunProgram({"cp", "-a", "--", from, to}) == 0;
}
