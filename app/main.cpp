#include <gdk/gdk.h>

#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "base/conversion.h"

using namespace vxk5;

int main(int argc, char** argv) {
    // "--version" alone prints the version; every other command line is read as before.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("vxk5-setup " VXK5_VERSION);
        return 0;
    }
    gdk_threads_init();
    InitProcessLocale();  // once, before any thread exists
    CommandLine commandLine;
    commandLine.argumentCount = argc;
    commandLine.argumentVector = argv;
    return AppMain(commandLine);
}
