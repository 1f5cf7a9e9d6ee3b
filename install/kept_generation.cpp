#include "install/kept_generation.h"

#include <cerrno>

#include "platform/directory_open.h"

namespace vxk5 {

namespace {

std::string WithoutSlash(const std::string& target) { return target.substr(0, target.size() - 1); }

std::string LastComponentOf(const std::string& target) {
    const std::string path = WithoutSlash(target);
    return path.substr(path.rfind('/') + 1);
}

std::string ParentPathOf(const std::string& target) {
    const std::string path = WithoutSlash(target);
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens the kept directory `name` in the directory at `parentPath` when it has `identity`.
int OpenKeptIn(const std::string& parentPath, const std::string& name, const EntryIdentity& identity,
               Staging& kept) {
    OwnedDescriptor parent;
    if (const int error = OpenNamedDirectory(parentPath, DirectoryAccess::Read, parent); error != 0) return error;
    EntryIdentity standing;
    if (const int error = IdentityAt(parent.Get(), name, standing).error; error != 0) return error;
    if (standing != identity) return ENOENT;  // another directory: not the one kept
    if (const int error = OpenStaging(parent.Get(), name, kept); error != 0) return error;
    if (kept.identity != identity) return ENOENT;  // swapped since
    kept.path = parentPath + (parentPath == "/" ? "" : "/") + name + "/";
    return 0;
}

}  // namespace

std::string KeptName(bool inside, const std::string& directoryName) {
    return inside ? std::string(kKeptPrefix) : std::string(kKeptPrefix) + "-" + directoryName.substr(0, kStagingNameKept);
}

bool IsKeptName(const std::string& component) {
    const std::string prefix(kKeptPrefix);
    return component.compare(0, prefix.size(), prefix) == 0 &&
           (component.size() == prefix.size() || component[prefix.size()] == '-');
}

int OpenKeptGeneration(const std::string& target, const EntryIdentity& identity, Staging& kept) {
    if (target.size() < 2 || target.back() != '/') return ENOENT;
    int error = OpenKeptIn(ParentPathOf(target), KeptName(false, LastComponentOf(target)), identity, kept);
    if (error == ENOENT) error = OpenKeptIn(WithoutSlash(target), KeptName(true, std::string()), identity, kept);
    if (error == 0) kept.inside = kept.path.size() > target.size() && kept.path.compare(0, target.size(), target) == 0;
    return error;
}

int OpenKeptGenerationAt(const std::string& target, const std::string& path, Staging& kept) {
    if (target.size() < 2 || target.back() != '/') return EPERM;
    const std::string parent = ParentPathOf(target);
    const std::string beside = parent + (parent == "/" ? "" : "/") + KeptName(false, LastComponentOf(target)) + "/";
    const std::string inside = target + KeptName(true, std::string()) + "/";
    if (path != beside && path != inside) return EPERM;
    OwnedDescriptor holder;
    if (const int error = OpenNamedDirectory(path == inside ? WithoutSlash(target) : parent, DirectoryAccess::Read,
                                             holder);
        error != 0) {
        return error;
    }
    if (const int error = OpenStaging(holder.Get(), LastComponentOf(path), kept); error != 0) return error;
    kept.path = path;
    kept.inside = path == inside;
    return 0;
}

int DiscardKeptGeneration(Staging& kept) {
    if (!kept.IsOpen()) return 0;
    kept.originals.Reset();
    kept.directory.Reset();
    int error = PurgeTreeOnTwoThreadsAt(kept.parent.Get(), kept.name).error;
    if (error == 0) error = SyncDirectory(kept.parent.Get()).error;
    return error;
}

int MakeRoomForKeptGeneration(const std::string& target, const EntryIdentity& identity, int parent,
                              const std::string& name) {
    if (identity != EntryIdentity()) {
        Staging previous;
        if (OpenKeptGeneration(target, identity, previous) == 0) {
            if (const int error = DiscardKeptGeneration(previous); error != 0) return error;
        }
    }
    EntryStatus standing;
    if (const int error = ExamineEntryAt(parent, name, standing).error; error != 0) return error;
    return standing.kind == EntryKind::Missing ? 0 : EEXIST;
}

}  // namespace vxk5
