#include "install/replace_rule.h"

namespace vxk5 {

ReplaceVerdict DecideReplacement(const EntryStatus& standing, const FileTime& kitTime) {
    const FileTime entryTime = WholeSecondOf(kitTime);
    switch (standing.kind) {
        case EntryKind::Missing:
            return ReplaceVerdict::WriteNew;
        case EntryKind::File:
            return UnixTimeToFileTime(standing.modified) < entryTime ? ReplaceVerdict::Replace : ReplaceVerdict::Keep;
        case EntryKind::Link:
            // A link to a file is judged by the file and replaced as a link;
            // a dangling one is no file at all and is replaced.
            if (standing.target == EntryKind::Directory) return ReplaceVerdict::RefuseDirectory;
            if (standing.target == EntryKind::Other) return ReplaceVerdict::RefuseOther;
            if (standing.target == EntryKind::Missing) return ReplaceVerdict::Replace;
            return UnixTimeToFileTime(standing.modified) < entryTime ? ReplaceVerdict::Replace : ReplaceVerdict::Keep;
        case EntryKind::Directory:
            return ReplaceVerdict::RefuseDirectory;
        case EntryKind::Other:
            return ReplaceVerdict::RefuseOther;
    }
    return ReplaceVerdict::RefuseOther;
}

}  // namespace vxk5
