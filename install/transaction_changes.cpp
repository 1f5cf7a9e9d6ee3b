// The changes a transaction makes to the template directory, each journalled
// and synced before it is made.

#include "base/result_codes.h"
#include "install/transaction.h"
#include "platform/fault_injection.h"

namespace vxk5 {

uint32_t Transaction::JournalNewFile(const std::string& path, const std::string& working, Original original,
                                     size_t& record) {
    if (state_ != State::Open) return Fail(path, EINVAL);
    if (original == Original::SetAside) {
        if (const uint32_t code = WriteAhead(JournalStepLine(StepKind::MoveToBackup, path)); code != 0) return code;
    }
    const bool exchange = original == Original::Exchange;
    if (const uint32_t code =
            WriteAhead(exchange ? JournalExchangeLine(working, path) : JournalWriteLine(working, path));
        code != 0) {
        return code;
    }
    // An original moved aside and its new file are journalled together, and kept as one step.
    switch (original) {
        case Original::Absent:
            record = record_.steps.Append(StepKind::WriteFile, path, working);
            break;
        case Original::SetAside:
            record = record_.steps.AppendReplacement(path, working);
            break;
        case Original::Exchange:
            record = record_.steps.Append(StepKind::ExchangeFile, path, working);
            break;
    }
    return ERR_SUCCESS;
}

uint32_t Transaction::JournalIdentity(size_t record, const std::string& path, const EntryIdentity& identity) {
    if (!MayChange(record)) return Fail(path, EINVAL);
    record_.steps.Identify(record, identity);
    return WriteAhead(JournalIdentityLine(StepKind::WriteFile, identity.device, identity.inode, path));
}

int Transaction::MakeBackupParents(const std::string& relative) {
    // Each of the originals/ subdirectories once per transaction.
    size_t slash = relative.find('/');
    while (slash != std::string::npos) {
        const std::string directory = relative.substr(0, slash);
        if (backupDirectories_.insert(directory).second) {
            const int error = MakeDirectoryAt(staging_.originals.Get(), directory, 0700).error;
            if (error != 0 && error != EEXIST) {
                backupDirectories_.erase(directory);
                return error;
            }
        }
        slash = relative.find('/', slash + 1);
    }
    return 0;
}

uint32_t Transaction::SetOriginalAside(size_t record, const std::string& path, int directory,
                                       const std::string& name, const EntryStamp& judged) {
    if (!MayChange(record) || !staging_.IsOpen()) return Fail(path, EINVAL);
    // Nothing about the file changes: one rename into its place below originals/.
    const std::string relative = path.substr(record_.target.size());
    if (const int error = MakeBackupParents(relative); error != 0) {
        return Fail(staging_.OriginalsPath() + relative, error);
    }
    int error = InjectedFault(FaultStep::MoveToBackup, path);
    if (error == 0) error = RenameAt(directory, name, staging_.originals.Get(), relative).error;
    if (error != 0) return Fail(path, error);
    // Only the original that was judged older: anything else goes back.
    EntryStatus aside;
    if (ExamineEntryAt(staging_.originals.Get(), relative, aside).error == 0 && aside.stamp == judged) {
        return ERR_SUCCESS;
    }
    // Failing, it stays in originals/, and the rollback puts it back.
    (void)PlaceWithoutReplacing(staging_.originals.Get(), relative, directory, name);
    return Fail(path, kChangedMeanwhile);
}

bool Transaction::MayPlace(size_t record) const {
    // The new file is known as this transaction's by its identity on the disk.
    return MayChange(record) && record_.steps.Identified(record) && pending_.empty();
}

int Transaction::PlaceNewFile(size_t record, int directory, const std::string& working, const std::string& name) const {
    if (!MayPlace(record)) return EINVAL;
    return PlaceWithoutReplacing(directory, working, name).error;
}

int Transaction::ExchangeWithOriginal(size_t record, int directory, const std::string& working,
                                      const std::string& name, const std::string& path,
                                      const EntryStamp& judged) const {
    if (!MayPlace(record) || !options_.exchangeOriginals) return EINVAL;
    // The original takes the working name as the new file takes its own.
    int error = InjectedFault(FaultStep::MoveToBackup, path);
    if (error == 0) error = ExchangeAt(directory, working, name).error;
    if (error != 0) return error;
    // Only the original that was judged older: anything else goes back at
    // once (failing that, the rollback puts it back over the new file).
    EntryStatus aside;
    if (ExamineEntryAt(directory, working, aside).error == 0 && aside.stamp == judged) return 0;
    (void)ExchangeAt(directory, working, name);
    return kChangedMeanwhile;
}

uint32_t Transaction::RemoveOwnFile(const std::string& path, int directory, const std::string& name,
                                    const EntryIdentity& own) {
    if (state_ != State::Open) return Fail(path, EINVAL);
    // Anything but the transaction's own file standing there now is not its to remove.
    EntryIdentity standing;
    int error = IdentityAt(directory, name, standing).error;
    if (error == 0 && standing != own) error = EEXIST;
    // The earlier entry's placement (an exchange, whose original now waits
    // under a working name) reaches the disk before this removal can: on a
    // disk that keeps no order among directory operations the removal alone
    // would take the original with it.
    if (error == 0) error = SyncDirectory(directory).error;
    if (error == 0) error = RemoveEntryAt(directory, name).error;
    if (error != 0) return Fail(path, error);
    return ERR_SUCCESS;
}

}  // namespace vxk5
