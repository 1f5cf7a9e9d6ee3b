#include "app/command_line.h"
#include "app/toolkit_language.h"

#include <clocale>
#include <memory>

#include "base/conversion.h"
#include "lang/messages.h"
#include "ui/installer_dlg.h"

void AppMain(CommandLine& commandLine) {
    commandLine.languageId = 0;
    // The locale was set from the environment at start; this only asks its name.
    const LaunchOptions options = ParseCommandLine(commandLine.argumentCount, commandLine.argumentVector,
                                                   [] { return std::setlocale(LC_ALL, nullptr); });
    commandLine.languageId = options.languageId;
    SetCurrentLanguage(options.languageId);
    PrepareToolkitLanguage(options.languageId);  // before the controller starts GTK
    commandLine.caption = LoadResString("IDR_MAINFRAME");

    auto controller = std::make_unique<CInstallerDlg>(commandLine.argumentCount, commandLine.argumentVector,
                                                      options.silent, ToMultiByte(commandLine.caption),
                                                      options.languageCode, options.usecwd);
    controller->Run();
    controller.reset();
}
