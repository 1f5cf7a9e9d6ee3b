#include <gdk/gdk.h>

#include "app/command_line.h"
#include "base/conversion.h"

using namespace vxk5;

int main(int argc, char** argv) {
    gdk_threads_init();
    InitProcessLocale();  // once, before any thread exists
    CommandLine commandLine;
    commandLine.argumentCount = argc;
    commandLine.argumentVector = argv;
    return AppMain(commandLine);
}
