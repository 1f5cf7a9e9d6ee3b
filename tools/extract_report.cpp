#include "tools/extract_report.h"

namespace vxk5 {

WrittenFiles::WrittenFiles(const ExtractOptions& options, uint64_t totalFiles, uint64_t totalBytes,
                           std::ostream& messages)
    : verbose_(options.verbose), totalFiles_(totalFiles) {
    if (options.showProgress) progress_.emplace(messages, totalFiles, totalBytes);
}

void WrittenFiles::Add(const std::string& path, uint64_t bytes, std::ostream& out) {
    ++files_;
    bytes_ += bytes;
    if (told_.size() < kNamesTold) told_.push_back(path);
    if (progress_) progress_->Update(files_, bytes_);
    if (verbose_) {
        // The line goes out whole; the progress line, if any, is redrawn after it.
        if (progress_) progress_->Clear();
        out << path << "\n" << std::flush;
    }
}

void WrittenFiles::Finish() {
    if (progress_) progress_->Finish();
}

std::string WrittenFiles::BeforeFailure() {
    Finish();
    if (files_ == 0) return "; no file was written";
    std::string text = "\nbefore this failure " + std::to_string(files_) + " of " + std::to_string(totalFiles_) +
                       (totalFiles_ == 1 ? " file was" : " files were") + " written:\n";
    for (const std::string& path : told_) text += "  " + path + "\n";
    if (files_ > told_.size()) text += "  and " + std::to_string(files_ - told_.size()) + " more\n";
    return text;
}

}  // namespace vxk5
