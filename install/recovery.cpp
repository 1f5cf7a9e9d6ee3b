#include "install/recovery.h"

#include "base/conversion.h"
#include "install/undo.h"
#include "install/journal_format.h"
#include "install/kept_generation.h"
#include "install/record_store.h"
#include "install/staging.h"
#include "install/take_back.h"
#include "lang/messages.h"
#include "platform/file_entries.h"
#include "platform/journal_file.h"
#include "platform/mounted_file_system.h"

namespace vxk5 {

namespace {

std::string Trimmed(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

// Whether anything at all is kept in originals/.
bool HoldsOriginals(const Staging& staging) {
    std::vector<std::string> names;
    return staging.originals.IsOpen() && ListDirectoryAt(staging.originals.Get(), names).error == 0 && !names.empty();
}

std::string RegistryEntryOf(const Staging& staging) {
    return std::to_string(staging.identity.device) + "-" + std::to_string(staging.identity.inode);
}

// Whether `name` in `directory` is an empty directory.
bool EmptyDirectoryAt(int directory, const std::string& name) {
    OwnedDescriptor opened;
    std::vector<std::string> names;
    return OpenDirectoryAt(directory, name, opened).error == 0 && ListDirectoryAt(opened.Get(), names).error == 0 &&
           names.empty();
}

// Whether the staging directory holds only what an installation puts there:
// its journal, its originals/ and the empty directories of its probe for
// exchanging two names. A directory named like one that holds anything else
// is someone else's, and is left alone.
bool InStagingLayout(const Staging& staging) {
    std::vector<std::string> names;
    if (ListDirectoryAt(staging.directory.Get(), names).error != 0) return false;
    for (const std::string& name : names) {
        if (name == kJournalName || (name == kOriginalsName && staging.originals.IsOpen())) continue;
        if (name.rfind(kExchangeProbe, 0) == 0 && EmptyDirectoryAt(staging.directory.Get(), name)) continue;
        return false;
    }
    return true;
}

// The journal of the staging directory `staging`, opened and locked. 0;
// ENOENT for a staging directory made by a job that died before its journal
// (it changed nothing; removed here when it holds an empty originals/ and
// nothing else); or another errno: a live installer's, or not ours.
int OpenLeftOverJournal(Staging& staging, int lockedTarget, const std::string& registryEntry, JournalFile& journal) {
    if (!InStagingLayout(staging)) return EPERM;
    // With the template directory's lock held no live installer of it can
    // exist, so a journal lock still held belongs to one that is dying: it is
    // waited for (bounded), lest its half-done work be built upon.
    constexpr int kDyingInstallerMilliseconds = 30000;
    const int opened =
        journal.OpenLeftOverAt(staging.directory.Get(), kJournalName, lockedTarget >= 0 ? kDyingInstallerMilliseconds : 0);
    if (opened == ENOENT && staging.originals.IsOpen() && !HoldsOriginals(staging)) {
        UnregisterStaging(RegistryEntryOf(staging));
        UnregisterStaging(registryEntry);
        (void)DiscardStaging(staging);  // it holds nothing to keep; what stays is harmless
    }
    return opened;
}

// The template directory the journal names, as `root` (locked here unless
// `lockedTarget` is it already). 0; ESTALE when another directory holds its
// name now; EWOULDBLOCK when an installer holds its lock; or another errno.
int ReachTemplateDirectory(ParsedJournal& parsed, const Staging& staging, int lockedTarget, DirectoryLock& lock,
                           int& root) {
    const EntryIdentity journalled{parsed.targetDevice, parsed.targetInode};
    root = lockedTarget;
    int error = 0;
    if (root < 0) {
        error = lock.OpenWithoutLinks(Trimmed(parsed.target));
        if (error == 0) root = lock.Descriptor();
    }
    EntryIdentity identity;
    if (error == 0) error = IdentityOf(root, identity).error;
    if (error == 0 && identity.inode == journalled.inode && identity.device != journalled.device &&
        staging.identity.device == identity.device) {
        // The same directory, with the staging directory beside or inside it,
        // on a file system whose device number changed since (mounted again
        // after a reboot: anonymous devices such as FUSE, btrfs subvolumes or
        // network file systems get a new number). Every identity the job
        // journalled was taken on that device.
        for (JournalStep& step : parsed.steps) {
            if (step.identified && step.device == journalled.device) step.device = identity.device;
        }
        parsed.targetDeviceNow = identity.device;
    } else if (error == 0 && identity != journalled) {
        error = ESTALE;  // another directory holds that name now
    }
    if (error == 0 && lockedTarget < 0 && !lock.TryLock()) return EWOULDBLOCK;
    return error;
}

// The template directory is gone or is another one: nothing can go back.
// The originals stay, unless there are none. Whether nothing is lost.
bool SettleWithoutTemplateDirectory(const ParsedJournal& parsed, const Staging& staging, RecoveryReport& report) {
    // An original exchanged with its new file waits beside it, out of reach now.
    bool exchanged = false;
    for (const JournalStep& step : parsed.steps) {
        exchanged = exchanged || (step.kind == StepKind::ExchangeFile && step.identified);
    }
    const bool restored = parsed.committed || (!HoldsOriginals(staging) && !exchanged);
    for (const JournalStep& step : parsed.steps) {
        if (!restored && (step.kind == StepKind::MoveToBackup ||
                          (step.kind == StepKind::ExchangeFile && step.identified))) {
            report.notRestored.push_back(FromMultiByte(step.path));
        }
    }
    report.outcome = parsed.committed ? RecoveryReport::Outcome::Completed : RecoveryReport::Outcome::RolledBack;
    return restored;
}

// A committed installation whose record names its staging directory as the
// kept one was keeping the originals it replaced: that is finished, when the
// kept name is free. Whether the staging directory is the kept one now (it
// is then closed here, and nothing of it is discarded).
// The record was written on the device the journal names: the identities it
// holds on that device are on the one found now, when its number changed.
void TakeDeviceNow(const ParsedJournal& parsed, InstallationRecord& record) {
    if (parsed.targetDeviceNow == 0) return;
    if (record.targetIdentity.device == parsed.targetDevice) record.targetIdentity.device = parsed.targetDeviceNow;
    if (record.kept.device == parsed.targetDevice) record.kept.device = parsed.targetDeviceNow;
}

bool FinishKeeping(const ParsedJournal& parsed, Staging& staging, int root) {
    InstallationRecord record;
    std::string recordName;
    if (!staging.originals.IsOpen() ||
        ReadLatestRecordSummary(EntryIdentity{parsed.targetDevice, parsed.targetInode}, record, recordName) != 0) {
        return false;
    }
    TakeDeviceNow(parsed, record);
    if (record.kept != staging.identity) return false;
    const bool inside = parsed.staging.compare(0, parsed.target.size(), parsed.target) == 0;
    const std::string target = parsed.target.substr(0, parsed.target.size() - 1);
    const std::string name = KeptName(inside, target.substr(target.rfind('/') + 1));
    EntryStatus standing;
    if (ExamineEntryAt(staging.parent.Get(), name, standing).error != 0 || standing.kind != EntryKind::Missing) {
        return false;
    }
    GatherExchangedOriginals(parsed.steps, parsed.target, root, staging.originals.Get());
    // The moves reach the disk before the journal goes.
    if (SyncFileSystemOf(root) != 0 ||
        PlaceWithoutReplacing(staging.parent.Get(), staging.name, staging.parent.Get(), name).error != 0) {
        return false;
    }
    // Either may fail harmlessly: a committed journal left in the kept
    // directory undoes nothing and no start looks there, and the kept name,
    // lost to a power cut, leaves a staging directory whose recovery purges
    // originals the user had replaced already.
    (void)RemoveEntryAt(staging.directory.Get(), kJournalName);
    (void)SyncDirectory(staging.parent.Get());
    staging.originals.Reset();
    staging.directory.Reset();
    return true;
}

// A committed uninstall takes back the files of the record it names, when
// that is still the template directory's latest (the take-back removes it
// last), then removes it. Whether the kept originals may go.
bool FinishTakeBack(const ParsedJournal& parsed, int root, int keptOriginals) {
    if (parsed.takeBackRecord.empty()) return true;
    const EntryIdentity target{parsed.targetDevice, parsed.targetInode};
    InstallationRecord record;
    std::string name;
    if (ReadLatestRecord(target, record, name) != 0 || name != parsed.takeBackRecord) return true;
    TakeDeviceNow(parsed, record);
    TakeBackPlace place;
    place.root = root;
    place.keptOriginals = keptOriginals;
    place.workingName = [&parsed](size_t index) {
        return parsed.takeBackPrefix + std::to_string(parsed.takeBackFirst + index);
    };
    if (!TakeBackFiles(record, place).failure.Empty() || SyncFileSystemOf(root) != 0) return false;
    return RemoveRecord(target, name) == 0;
}

// Finishes what the journal began in the template directory `root`: the
// commit's purge (or its keeping of the originals), or the undo. Whether
// every original is back.
bool Settle(const ParsedJournal& parsed, Staging& staging, int root, RecoveryReport& report) {
    if (parsed.committed) {
        if (!FinishKeeping(parsed, staging, root)) PurgeExchangedOriginals(parsed.steps, parsed.target, root);
        // An uninstall's: its files taken back, the kept originals not
        // brought back, and the directories left empty.
        Staging kept;
        // Gone or not one to trust: the take-back then brings no original
        // back (none is there to lose) and removes the files placed, as
        // for originals that were never kept.
        if (!parsed.kept.empty()) (void)OpenKeptGenerationAt(parsed.target, parsed.kept, kept);
        if (FinishTakeBack(parsed, root, kept.originals.IsOpen() ? kept.originals.Get() : -1) && kept.IsOpen()) {
            // What stays of it no record names any more: never adopted, only space.
            (void)DiscardKeptGeneration(kept);
        }
        const bool inside = parsed.staging.compare(0, parsed.target.size(), parsed.target) == 0;
        (void)RemoveDirectoriesAfterCommit(parsed.removeAfterCommit, parsed.target, root, !inside);
        report.outcome = RecoveryReport::Outcome::Completed;
        return true;
    }
    // An uninstall changes nothing before its commit; an installation's steps are undone.
    const UndoOutcome undone =
        UndoSteps(parsed.steps, parsed.target, root, staging.originals.IsOpen() ? staging.originals.Get() : -1,
                  Unrecorded::Ours);
    for (const std::string& path : undone.notRestored) report.notRestored.push_back(FromMultiByte(path));
    report.outcome = RecoveryReport::Outcome::RolledBack;
    return undone.originalsRestored;
}

// Recovers the staging directory `name` in `parent` (whose absolute path is
// `parentPath`, ending with "/"). `lockedTarget` is the template directory's
// descriptor when the caller holds its lock, else -1 (the lock is then taken
// here, without waiting). A directory found beside or inside a template
// directory proves itself: it is adopted only in the layout an installation
// makes, with a journal that parses, names this very directory as its
// staging directory and the template directory by its identity. One the
// registry names (`registryEntry`, its device and inode) is the user's
// installation's already: its journal, when unreadable, is reported, and a
// template directory gone since settles it as far as it can. False when
// there is nothing to report: not a staging directory of ours, one a live
// installer holds, one whose template directory is busy, or one that never
// got as far as a journal.
bool RecoverStagingAt(int parent, const std::string& parentPath, const std::string& name, int lockedTarget,
                      const std::string& registryEntry, RecoveryReport& report) {
    Staging staging;
    if (OpenStaging(parent, name, staging) != 0) return false;  // not ours to touch
    staging.path = parentPath + name + "/";
    report = RecoveryReport();
    report.journalPath = FromMultiByte(staging.path + kJournalName);
    report.backupDirectory = FromMultiByte(staging.OriginalsPath());
    const bool registered = !registryEntry.empty() && registryEntry == RegistryEntryOf(staging);
    JournalFile journal;
    if (OpenLeftOverJournal(staging, lockedTarget, registryEntry, journal) != 0) return false;

    std::string text;
    ParsedJournal parsed;
    if (journal.ReadAll(text) != 0 || !ParseJournal(text, parsed) || parsed.staging != staging.path) {
        report.outcome = RecoveryReport::Outcome::Unreadable;
        return registered;  // otherwise no journal of ours: left alone
    }
    report.templateDirectory = FromMultiByte(parsed.target);
    DirectoryLock lock;
    int root = -1;
    const int reached = ReachTemplateDirectory(parsed, staging, lockedTarget, lock, root);
    if (reached == EWOULDBLOCK) return false;  // an installer there recovers it
    if (reached != 0 && !registered) return false;  // names another template directory: not this one's
    const bool restored = reached != 0 ? SettleWithoutTemplateDirectory(parsed, staging, report)
                                       : Settle(parsed, staging, root, report);
    // An installation that never committed has nothing to take back: the
    // record it wrote before its commit goes.
    if (!parsed.committed) WithdrawRecordOf(EntryIdentity{parsed.targetDevice, parsed.targetInode}, staging.identity);
    if (!restored) {
        report.outcome = RecoveryReport::Outcome::BackupKept;
        return true;  // the staging directory, its journal and its registry entry stay
    }
    // The template directory is settled by now; the journal's lock is still
    // held, so no other start works on it at once.
    const std::string entry = RegistryEntryOf(staging);
    // What was undone reaches the disk before the journal that describes it
    // goes. A failed sync is not acted on: kept, the journal would be replayed
    // over originals already in place and call them not restored.
    (void)SyncFileSystemOf(staging.directory.Get());
    journal.Close();
    (void)DiscardStaging(staging);  // undone already: what stays holds nothing to put back
    // The directories made on the way to the template directory go too,
    // unless the caller is about to install into it.
    if (report.outcome == RecoveryReport::Outcome::RolledBack && lockedTarget < 0) {
        UndoDirectoriesAbove(parsed.steps, parsed.target);
    }
    UnregisterStaging(entry);
    UnregisterStaging(registryEntry);
    return true;
}

std::string ParentOf(const std::string& path) {
    const std::string trimmed = Trimmed(path);
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return trimmed.substr(0, slash);
}

std::string LastComponent(const std::string& path) {
    const std::string trimmed = Trimmed(path);
    return trimmed.substr(trimmed.rfind('/') + 1);
}

std::string WithSlash(const std::string& path) { return path.back() == '/' ? path : path + "/"; }

}  // namespace

std::vector<RecoveryReport> RecoverInterruptedInstalls() {
    std::vector<RecoveryReport> reports;
    for (const RegisteredStaging& registered : RegisteredStagings()) {
        OwnedDescriptor parent;
        const std::string parentPath = ParentOf(registered.path);
        const int error = OpenDirectoryPath(parentPath, DirectoryAccess::LookUp, parent).error;
        EntryStatus standing;
        if (error == ENOENT ||
            (error == 0 && ExamineEntryAt(parent.Get(), LastComponent(registered.path), standing).error == 0 &&
             standing.kind == EntryKind::Missing)) {
            UnregisterStaging(registered.entry);  // long gone
            continue;
        }
        if (error != 0) continue;
        RecoveryReport report;
        if (RecoverStagingAt(parent.Get(), WithSlash(parentPath), LastComponent(registered.path), -1, registered.entry,
                             report)) {
            reports.push_back(report);
        }
    }
    return reports;
}

std::vector<RecoveryReport> RecoverBesideAndInside(int lockedTarget, const std::string& target) {
    std::vector<RecoveryReport> reports;
    const std::string directoryName = LastComponent(target);
    auto scan = [&](int directory, const std::string& path, bool inside) {
        std::vector<std::string> names;
        if (ListDirectoryAt(directory, names).error != 0) return;
        for (const std::string& name : names) {
            int number = 0;
            if (!IsStagingName(name, directoryName, inside, number)) continue;
            RecoveryReport report;
            if (RecoverStagingAt(directory, WithSlash(path), name, lockedTarget, std::string(), report)) {
                reports.push_back(report);
            }
        }
    };
    if (Trimmed(target) != "/") {
        OwnedDescriptor parent;
        if (OpenDirectoryPath(ParentOf(target), DirectoryAccess::Read, parent).error == 0) scan(parent.Get(), ParentOf(target), false);
    }
    scan(lockedTarget, target, true);
    return reports;
}

bool RecoveryFailed(const RecoveryReport& report) {
    return report.outcome == RecoveryReport::Outcome::BackupKept ||
           report.outcome == RecoveryReport::Outcome::Unreadable;
}

WString RecoveryMessage(const RecoveryReport& report) {
    switch (report.outcome) {
        case RecoveryReport::Outcome::RolledBack:
        case RecoveryReport::Outcome::Completed:
            return LoadResString("IDS_RECOVERED_INSTALL") + u" " + report.templateDirectory;
        case RecoveryReport::Outcome::BackupKept: {
            WString text = LoadResString("IDS_RECOVERED_INSTALL") + u" " + report.templateDirectory + u"\n" +
                           LoadResString("IDS_ERROR_BACKUPKEPT") + u" " + report.backupDirectory;
            if (!report.notRestored.empty()) {
                text += u"\n" + LoadResString("IDS_ERROR_NOTRESTORED");
                for (const WString& path : report.notRestored) text += u"\n" + path;
            }
            return text;
        }
        case RecoveryReport::Outcome::Unreadable:
            break;
    }
    return WString(u"Warning: an installation journal that cannot be read was left in place: ") +
           report.journalPath;
}

}  // namespace vxk5
