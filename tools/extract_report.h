#pragma once
// What extract has written so far: the names it prints with -v, the progress
// line, and, when a file fails, the account of the files written before it.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kit_extract.h"
#include "tools/progress_line.h"

namespace vxk5 {

class WrittenFiles {
public:
    // `messages` takes the progress line, when the options ask for one.
    WrittenFiles(const ExtractOptions& options, uint64_t totalFiles, uint64_t totalBytes, std::ostream& messages);

    // The file at `path` was written whole; with -v its path goes to `out`.
    void Add(const std::string& path, uint64_t bytes, std::ostream& out);
    // Ends the progress line.
    void Finish();
    uint64_t Bytes() const { return bytes_; }

    // For the end of an error message: "; nothing was written", or the files
    // written before the failure (at most kNamesTold of them by name).
    std::string BeforeFailure();

    static constexpr size_t kNamesTold = 100;

private:
    bool verbose_;
    uint64_t totalFiles_;
    std::optional<ProgressLine> progress_;
    std::vector<std::string> told_;  // the first kNamesTold paths
    uint64_t files_ = 0;
    uint64_t bytes_ = 0;
};

}  // namespace vxk5
