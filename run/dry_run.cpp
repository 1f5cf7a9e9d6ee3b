#include "run/dry_run.h"

#include <cstdio>
#include <string>

#include "base/conversion.h"
#include "config/template_locations.h"
#include "install/install_plan.h"

namespace vxk5 {

namespace {

std::string Printable(const AString& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.length());
    for (size_t i = 0; i < bytes.length(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte == '\t') {
            text += "\\t";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte < 0x20 || byte == 0x7f) {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

}  // namespace

std::string PrintablePath(const std::string& bytes) { return Printable(AString(bytes.c_str())); }

void PrintDryRun(const DistributionKit& kit, const WString& templateDirectory, RunSummary& summary) {
    const InstallPlan plan = PlanInstall(kit.Entries(), TemplateLocations::AsInstallTarget(templateDirectory));
    bool printed = true;
    for (const PlannedEntry& entry : plan.entries) {
        std::string line = PlanActionName(entry.action);
        line += '\t';
        line += Printable(ToMultiByte(entry.destination));
        if (entry.reason != nullptr) {
            line += '\t';
            line += entry.reason;
        }
        line += '\n';
        printed = printed && std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
    }
    printed = std::fflush(stdout) == 0 && printed;

    summary.counts = plan.counts;
    summary.refused = plan.refused;
    summary.messageKey.clear();
    if (!printed) {
        summary.outcome = RunOutcome::Failed;
        summary.detail = "dry run: the list of entries could not be written to standard output";
    } else if (plan.refused > 0) {
        summary.outcome = RunOutcome::Failed;
        summary.detail = "dry run: " + std::to_string(plan.refused) +
                          " entries cannot be installed, so the installation would fail and change nothing";
    } else {
        const bool writes = plan.counts.newFiles + plan.counts.replaced > 0;
        summary.outcome = writes ? RunOutcome::Installed : RunOutcome::UpToDate;
        summary.detail = "dry run: " + std::to_string(plan.counts.newFiles) + " new, " +
                          std::to_string(plan.counts.replaced) + " replaced, " + std::to_string(plan.counts.kept) +
                          " kept; nothing was written";
    }
}

}  // namespace vxk5
