#pragma once
// The floor of an installation's own system calls: a program that makes only
// the calls the installation job makes for each file, with the bytes already
// in memory (no kit, no inflating, no journal, no checks), to tell the time the
// transaction's steps cost from the time the installer adds to them.
//
// Per file, as the job does it:
//   fresh   fstatat (what stands there), openat O_EXCL of a temporary name,
//           fstat (its identity), write, futimens, close, renameat2 with
//           RENAME_NOREPLACE to the file's name;
//   update  the same, with renameat2 RENAME_EXCHANGE in place of the last
//           rename: the original takes the temporary name, and every original
//           is unlinked after the last file (the commit's purge).
// Each directory is made (fresh) once.

#include <string>
#include <vector>

namespace vxk5 {

struct FloorFile {
    std::string directory;  // one component below the target
    std::string name;
    std::string bytes;
};

enum class FloorMode { Fresh, Update };

// The files below `root` (one level of directories, as bench-scale makes its
// trees), sorted by directory and name, with their bytes.
std::vector<FloorFile> LoadFloorTree(const std::string& root);

// Lays `files` into `target` (which exists; for Update it holds every file
// already) with `threads` threads, each taking a contiguous share of the files
// (whole directories, mostly). The wall time in seconds, -1 when a call failed.
double RunFloor(const std::vector<FloorFile>& files, const std::string& target, FloorMode mode, int threads,
                long long modifiedSeconds);

}  // namespace vxk5
