#include "install/replace_rule.h"

namespace vxk5 {

namespace {

// A file, or the file a link points to: replaced when it is older than the entry.
ReplaceVerdict ByTime(const EntryStatus& standing, const FileTime& entryTime) {
    return UnixTimeToFileTime(standing.modified) < entryTime ? ReplaceVerdict::Replace : ReplaceVerdict::Keep;
}

}  // namespace

ReplaceVerdict DecideReplacement(const EntryStatus& standing, const FileTime& kitTime) {
    const FileTime entryTime = WholeSecondOf(kitTime);
    switch (standing.kind) {
        case EntryKind::Missing:
            return ReplaceVerdict::WriteNew;
        case EntryKind::File:
            return ByTime(standing, entryTime);
        case EntryKind::Link:
            // A link to a file is judged by the file and replaced as a link;
            // a dangling one is no file at all and is replaced.
            if (standing.target == EntryKind::Missing) return ReplaceVerdict::Replace;
            if (standing.target == EntryKind::File) return ByTime(standing, entryTime);
            return standing.target == EntryKind::Directory ? ReplaceVerdict::RefuseDirectory
                                                           : ReplaceVerdict::RefuseOther;
        case EntryKind::Directory:
            return ReplaceVerdict::RefuseDirectory;
        case EntryKind::Fifo:
        case EntryKind::Socket:
        case EntryKind::CharacterDevice:
        case EntryKind::BlockDevice:
        case EntryKind::Other:
            return ReplaceVerdict::RefuseOther;
    }
    return ReplaceVerdict::RefuseOther;
}

}  // namespace vxk5
