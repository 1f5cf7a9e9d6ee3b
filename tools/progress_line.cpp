#include "tools/progress_line.h"

#include <cstdio>
#include <string>

namespace vxk5 {

namespace {

std::string Mebibytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out, uint64_t totalFiles, uint64_t totalBytes,
                           std::chrono::milliseconds firstAfter, std::chrono::milliseconds interval)
    : out_(out),
      totalFiles_(totalFiles),
      totalBytes_(totalBytes),
      start_(Clock::now()),
      last_(start_),
      firstAfter_(firstAfter),
      interval_(interval) {}

ProgressLine::~ProgressLine() { Finish(); }

std::string ProgressLine::Format(uint64_t files, uint64_t totalFiles, uint64_t bytes, uint64_t totalBytes) {
    // Percent of the bytes; a tree of empty files counts by files.
    const uint64_t percent = totalBytes != 0   ? bytes * 100 / totalBytes
                             : totalFiles != 0 ? files * 100 / totalFiles
                                               : 100;
    return std::to_string(files) + "/" + std::to_string(totalFiles) + " files, " + Mebibytes(bytes) + "/" +
           Mebibytes(totalBytes) + " MiB, " + std::to_string(percent) + "%";
}

void ProgressLine::Update(uint64_t files, uint64_t bytes) {
    if (finished_) return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < firstAfter_) return;
    if (shown_ && now - last_ < interval_) return;
    last_ = now;
    std::string text = Format(files, totalFiles_, bytes, totalBytes_);
    if (bytesOnly_) text = text.substr(text.find(" files, ") + 8);
    // Spaces cover what a longer earlier line left.
    const size_t pad = shownWidth_ > text.size() ? shownWidth_ - text.size() : 0;
    out_ << '\r' << text << std::string(pad, ' ') << std::flush;
    shownWidth_ = text.size();
    shown_ = true;
}

void ProgressLine::Finish() {
    if (finished_) return;
    Clear();
    finished_ = true;
}

void ProgressLine::Clear() {
    if (!shown_) return;
    out_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
    shown_ = false;
    shownWidth_ = 0;
}

}  // namespace vxk5
