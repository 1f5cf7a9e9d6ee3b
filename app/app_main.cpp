#include "app/command_line.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <memory>

#include "app/deploy_options.h"
#include "base/conversion.h"
#include "lang/messages.h"
#include "run/uninstall_run.h"
#include "ui/installer_dlg.h"
#include "ui/toolkit_language.h"

namespace vxk5 {

namespace {

// The uninstall asked about and shown in the wizard, when there is a display
// for it (the same test as for the installation's wizard); false without one.
bool RunUninstallWizard(CommandLine& commandLine, const LaunchOptions& options, const DeployOptions& deploy,
                        RunSummary& summary) {
    PrepareToolkitLanguage(options.languageId);  // before the controller starts GTK
    auto controller = std::make_unique<CInstallerDlg>(commandLine.argumentCount, commandLine.argumentVector,
                                                      false, ToMultiByte(LoadResString("IDS_UNINSTALL_CAPTION")),
                                                      options.languageCode, options.usecwd);
    if (!controller->HasDisplay()) return false;
    controller->SetUninstall({deploy.uninstallDirectory, false});
    controller->Run();
    summary = controller->Summary();
    return true;
}

}  // namespace

int AppMain(CommandLine& commandLine) {
    const auto started = std::chrono::steady_clock::now();
    // Before GTK sees the arguments: it may take some of them away.
    const DeployOptions deploy = ParseDeployOptions(commandLine.argumentCount, commandLine.argumentVector);
    for (const std::string& warning : deploy.warnings) {
        std::fprintf(stderr, "vxk5-setup: warning: %s\n", warning.c_str());
    }
    std::fflush(stderr);
    // The locale was set from the environment at start; this only asks its name.
    const LaunchOptions options = ParseCommandLine(commandLine.argumentCount, commandLine.argumentVector,
                                                   [] { return std::setlocale(LC_ALL, nullptr); });
    SetCurrentLanguage(options.languageId);
    if (deploy.uninstall) {
        // Asked and shown in the wizard; silent, a dry run or without a
        // display, it tells what it did on standard output instead.
        RunSummary summary;
        const bool shown = !options.silent && !deploy.dryRun &&
                           RunUninstallWizard(commandLine, options, deploy, summary);
        if (!shown) RunUninstallRequest({deploy.uninstallDirectory, deploy.dryRun}, summary);
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
        return FinishDeployment(deploy, summary, taken.count());
    }
    PrepareToolkitLanguage(options.languageId);  // before the controller starts GTK
    const WString caption = LoadResString("IDR_MAINFRAME");

    auto controller = std::make_unique<CInstallerDlg>(commandLine.argumentCount, commandLine.argumentVector,
                                                      options.silent || deploy.dryRun,
                                                      ToMultiByte(caption), options.languageCode,
                                                      options.usecwd);
    controller->SetDryRun(deploy.dryRun);
    controller->SetTrustedKeyFiles(deploy.trustedKeyFiles);
    controller->Run();
    const RunSummary summary = controller->Summary();
    controller.reset();  // the unpacked kit is gone before the result is told
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started;
    return FinishDeployment(deploy, summary, taken.count());
}

}  // namespace vxk5
