#include "install/recovery.h"

#include <string>

#include "base/conversion.h"
#include "install/backup.h"
#include "install/journal_format.h"
#include "lang/messages.h"
#include "platform/file_entries.h"
#include "platform/file_system.h"
#include "platform/journal_file.h"

namespace vxk5 {

namespace {

constexpr char kPrefix[] = "k5stp";
constexpr char kSuffix[] = ".journal";

// "k5stp" + decimal digits + ".journal"; the number is given back.
bool IsJournalName(const std::string& name, std::string& number) {
    const size_t prefix = sizeof kPrefix - 1;
    const size_t suffix = sizeof kSuffix - 1;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return false;
    }
    number = name.substr(prefix, name.size() - prefix - suffix);
    for (const char c : number) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

WString Wide(const std::string& bytes) { return FromMultiByte(AString(bytes.c_str())); }

}  // namespace

std::vector<RecoveryReport> RecoverInterruptedInstalls() {
    std::vector<RecoveryReport> reports;
    WString temporary;
    (void)GetTempDirectory(temporary);
    const AString temporaryBytes = ToMultiByte(temporary);
    std::string base(temporaryBytes.c_str(), temporaryBytes.length());
    if (base.empty()) return reports;
    if (base.back() != '/') base += '/';

    std::vector<std::string> names;
    if (ListDirectory(base, names) != 0) return reports;
    for (const std::string& name : names) {
        std::string number;
        if (!IsJournalName(name, number)) continue;
        const std::string path = base + name;
        JournalFile journal;
        // Not a regular file of ours with mode 0600, or held by a live
        // installer: none of our business.
        if (journal.OpenLeftOver(path) != 0) continue;

        RecoveryReport report;
        report.journalPath = Wide(path);
        std::string text;
        ParsedJournal parsed;
        // The backup directory is the one beside the journal, whatever the
        // journal says: a journal never sends the recovery anywhere else.
        const std::string backup = base + kPrefix + number + "/";
        if (journal.ReadAll(text) != 0 || !ParseJournal(text, parsed) || parsed.backup != backup) {
            report.outcome = RecoveryReport::Outcome::Unreadable;
            reports.push_back(report);
            continue;
        }
        report.templateDirectory = Wide(parsed.target);
        report.backupDirectory = Wide(backup);

        if (parsed.committed) {
            report.outcome = RecoveryReport::Outcome::Completed;
        } else {
            const UndoOutcome undone = UndoSteps(parsed.steps, parsed.target, backup);
            report.outcome = undone.originalsRestored ? RecoveryReport::Outcome::RolledBack
                                                      : RecoveryReport::Outcome::BackupKept;
        }
        // The lock is still held here, so no other start works on it at once.
        // The template directory is settled by now; a backup that will not go
        // away holds only private copies of what is already back in place.
        if (report.outcome != RecoveryReport::Outcome::BackupKept) (void)DiscardBackup(backup);
        reports.push_back(report);
    }
    return reports;
}

WString RecoveryMessage(const RecoveryReport& report) {
    switch (report.outcome) {
        case RecoveryReport::Outcome::RolledBack:
        case RecoveryReport::Outcome::Completed:
            return LoadResString("IDS_RECOVERED_INSTALL") + u" " + report.templateDirectory;
        case RecoveryReport::Outcome::BackupKept:
            return LoadResString("IDS_RECOVERED_INSTALL") + u" " + report.templateDirectory + u"\n" +
                   LoadResString("IDS_ERROR_BACKUPKEPT") + u" " + report.backupDirectory;
        case RecoveryReport::Outcome::Unreadable:
            break;
    }
    return WString(u"Warning: an installation journal that cannot be read was left in place: ") +
           report.journalPath;
}

}  // namespace vxk5
