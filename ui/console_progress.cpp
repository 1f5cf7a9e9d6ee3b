#include "ui/console_progress.h"

#include "base/conversion.h"
#include "lang/messages.h"
#include "platform/terminal.h"

namespace vxk5 {

ConsoleProgress::ConsoleProgress(std::FILE* stream)
    : stream_(stream),
      live_(IsTerminal(stream)),
      startText_(ToMultiByte(LoadResString("IDS_PROGRESS_START"))),
      finishText_(ToMultiByte(LoadResString("IDS_INSTALL_FINISH"))) {}

void ConsoleProgress::Update(uint32_t percent) {
    if (percent > 100) percent = 100;
    const char* text = percent == 100 ? finishText_.c_str() : startText_.c_str();
    if (live_) {
        if (static_cast<int64_t>(percent) == shown_) return;
        shown_ = percent;
        std::fprintf(stream_, "\r\033[K%s %3u %%", text, percent);  // rewrite the line in place
        lineOpen_ = true;
    } else {
        const int64_t tenth = percent / 10;
        if (tenth <= shown_) return;
        // The start is always told, even when the copy is past it at the first look.
        if (shown_ < 0 && tenth > 0) std::fprintf(stream_, "%s 0 %%\n", startText_.c_str());
        shown_ = tenth;
        std::fprintf(stream_, "%s %u %%\n", text, static_cast<unsigned>(tenth * 10));
    }
    std::fflush(stream_);
}

void ConsoleProgress::Finish() {
    if (!lineOpen_) return;
    std::fputc('\n', stream_);
    std::fflush(stream_);
    lineOpen_ = false;
}

}  // namespace vxk5
