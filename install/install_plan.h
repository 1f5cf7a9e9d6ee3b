#pragma once
// What the installation would do with each kit entry, decided by looking at
// the template directory without changing anything in it.
//
// A destination is examined with lstat(2):
//   - nothing there: the file is written new;
//   - a regular file (or a link to one) whose modification time, in whole
//     seconds, is earlier than the entry's: it is set aside and replaced;
//     an equal or later time: it is kept;
//   - a dangling link: it is set aside and the file written in its place;
//   - a directory, named pipe, socket or device (or a link to one): refused,
//     the file cannot go there;
//   - a name that would reach outside the template directory: refused;
//   - a file where one of the destination's folders belongs: refused.
// Entries are decided in the kit's order, and an entry sees what the entries
// before it would have written (a second entry of the same name, or a folder
// a later entry needs where an earlier one writes a file).

#include <cstdint>
#include <vector>

#include "base/wstring.h"
#include "install/install_counts.h"

namespace vxk5 {

struct KitFileEntry;

enum class PlanAction { WriteNew, Replace, Keep, Refuse };

struct PlannedEntry {
    WString destination;           // the target directory followed by the entry's name, "/" separated
    PlanAction action = PlanAction::Refuse;
    const char* reason = nullptr;  // English, for a refusal only
};

struct InstallPlan {
    std::vector<PlannedEntry> entries;  // one per kit entry, in the kit's order
    InstallCounts counts;
    uint32_t refused = 0;
};

// Decides every entry for `targetDirectory`, which takes the job's form (an
// absolute path ending with "/", install/target_form.h): for an empty one, or
// one of any other form, every entry is refused. Reads the file system only.
InstallPlan PlanInstall(const std::vector<KitFileEntry>& entries, const WString& targetDirectory);

// The word a dry run prints for an action: "new", "replace", "keep", "refuse".
const char* PlanActionName(PlanAction action);

}  // namespace vxk5
