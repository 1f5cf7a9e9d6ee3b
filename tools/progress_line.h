#pragma once
// A one-line progress display for a terminal: files, bytes and percent,
// rewritten in place with a carriage return and erased when the work ends.

#include <chrono>
#include <cstdint>
#include <ostream>

namespace vxk5 {

class ProgressLine {
public:
    // Shows nothing before `firstAfter` has passed, so that work of a second
    // or less stays silent, and then at most one line per `interval`.
    ProgressLine(std::ostream& out, uint64_t totalFiles, uint64_t totalBytes,
                 std::chrono::milliseconds firstAfter = std::chrono::milliseconds(1000),
                 std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    ~ProgressLine();  // erases the line if one is shown
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // The line shows bytes only ("1.5/20.0 MiB, 7%"): for work that has no files to count.
    void CountBytesOnly() { bytesOnly_ = true; }

    void Update(uint64_t files, uint64_t bytes);
    // Erases the line; later updates show nothing.
    void Finish();
    // Erases the line so that other output can be written; the next update
    // draws it again.
    void Clear();

    // "12/345 files, 1.5/20.0 MiB, 7%".
    static std::string Format(uint64_t files, uint64_t totalFiles, uint64_t bytes, uint64_t totalBytes);

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& out_;
    uint64_t totalFiles_;
    uint64_t totalBytes_;
    Clock::time_point start_;
    Clock::time_point last_;
    std::chrono::milliseconds firstAfter_;
    std::chrono::milliseconds interval_;
    size_t shownWidth_ = 0;
    bool shown_ = false;
    bool finished_ = false;
    bool bytesOnly_ = false;
};

}  // namespace vxk5
