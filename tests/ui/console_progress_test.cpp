// The progress written to standard error without a display.

#include "ui/console_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "lang/messages.h"

using namespace vxk5;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

TEST(ConsoleProgress, NotATerminalGivesALineForEveryTenPercent) {
    SetCurrentLanguage(kLanguageEnglish);
    std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
    ASSERT_TRUE(file);
    ConsoleProgress progress(file.get());
    for (uint32_t percent : {0u, 0u, 3u, 9u, 10u, 15u, 47u, 50u, 99u, 100u}) progress.Update(percent);
    progress.Finish();
    EXPECT_EQ(Contents(file.get()),
              "Files being copied... 0 %\n"
              "Files being copied... 10 %\n"
              "Files being copied... 40 %\n"
              "Files being copied... 50 %\n"
              "Files being copied... 90 %\n"
              "Copying complete... 100 %\n");
}

TEST(ConsoleProgress, StartIsWrittenEvenWhenTheFirstLookIsPastIt) {
    SetCurrentLanguage(kLanguageEnglish);
    std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
    ASSERT_TRUE(file);
    ConsoleProgress progress(file.get());
    progress.Update(100);  // a job that finished before the first poll
    progress.Finish();
    EXPECT_EQ(Contents(file.get()), "Files being copied... 0 %\nCopying complete... 100 %\n");
}

}  // namespace
