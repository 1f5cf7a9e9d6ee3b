#include "install/install_plan.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "base/conversion.h"
#include "kit/entry_names.h"
#include "kit/distribution_kit.h"
#include "install/replace_rule.h"
#include "install/staging.h"
#include "install/target_form.h"
#include "platform/entry_details.h"
#include "platform/file_entries.h"
#include "platform/file_handle.h"

namespace vxk5 {

namespace {

// What lstat finds at one path; `details` is valid unless the path is missing
// or could not be examined (`error`).
struct Found {
    bool present = false;
    int error = 0;  // errno of a failed lstat other than "missing"
    EntryDetails details;
};

Found Examine(const WString& path) {
    Found found;
    const int error = DescribeEntry(ToMultiByte(path).c_str(), LinkHandling::DoNotFollow, found.details);
    if (error == 0) {
        found.present = true;
    } else if (error != ENOENT) {
        found.error = error;
    }
    return found;
}

// A refusal for whatever other than a regular file stands where the file goes.
const char* RefusalFor(EntryKind kind) {
    switch (kind) {
        case EntryKind::Directory: return "a folder stands where the file belongs";
        case EntryKind::Fifo: return "a named pipe stands where the file belongs";
        case EntryKind::Socket: return "a socket stands where the file belongs";
        case EntryKind::CharacterDevice:
        case EntryKind::BlockDevice: return "a device stands where the file belongs";
        default: return "something other than a file stands where the file belongs";
    }
}

struct Planner {
    std::map<WString, FileTime> plannedFiles;  // destinations earlier entries write, with their times
    std::set<WString> plannedFolders;          // folders earlier entries need

    // The folders of `destination` below the target directory (of length
    // `rootLength`): a file there, on disk or planned, stops the entry.
    const char* CheckFolders(const WString& destination, size_t rootLength) const {
        bool missing = false;  // below a missing folder everything is missing
        for (size_t slash = destination.find(u'/', rootLength); slash != WString::npos;
             slash = destination.find(u'/', slash + 1)) {
            const WString folder = destination.substr(0, slash);
            if (plannedFiles.count(folder) != 0) return "an earlier entry of the kit writes a file where a folder is needed";
            if (missing) continue;
            const Found found = Examine(folder);
            if (found.error != 0) return "a folder of the destination cannot be examined";
            if (!found.present) {
                missing = true;
                continue;
            }
            if (found.details.kind == EntryKind::Directory) continue;
            // The job never writes through a link below the template directory.
            if (found.details.kind == EntryKind::Link) return "a link stands where a folder is needed";
            return "something other than a folder stands where a folder is needed";
        }
        return nullptr;
    }

    void Decide(PlannedEntry& planned, const KitFileEntry& entry, size_t rootLength) {
        const FileTime entryTime{entry.timeLow, entry.timeHigh};
        if (const auto earlier = plannedFiles.find(planned.destination); earlier != plannedFiles.end()) {
            planned.action = earlier->second < entryTime ? PlanAction::Replace : PlanAction::Keep;
            if (planned.action == PlanAction::Replace) earlier->second = entryTime;
            return;
        }
        if (plannedFolders.count(planned.destination) != 0) {
            planned.reason = "an earlier entry of the kit needs a folder where the file belongs";
            return;
        }
        if ((planned.reason = CheckFolders(planned.destination, rootLength)) != nullptr) return;

        const Found found = Examine(planned.destination);
        if (found.error != 0) {
            planned.reason = found.error == ENAMETOOLONG ? "the name is too long" : "the destination cannot be examined";
            return;
        }
        EntryStatus standing;
        if (ExamineEntry(ToMultiByte(planned.destination).c_str(), standing).error != 0) {
            planned.reason = "the destination cannot be examined";
            return;
        }
        // The job's own rule, on what the job would find there.
        switch (DecideReplacement(standing, entryTime)) {
            case ReplaceVerdict::WriteNew: planned.action = PlanAction::WriteNew; return;
            case ReplaceVerdict::Replace: planned.action = PlanAction::Replace; return;
            case ReplaceVerdict::Keep: planned.action = PlanAction::Keep; return;
            case ReplaceVerdict::RefuseDirectory: planned.reason = RefusalFor(EntryKind::Directory); return;
            case ReplaceVerdict::RefuseOther: {
                EntryDetails details;
                planned.reason = DescribeEntry(ToMultiByte(planned.destination).c_str(), LinkHandling::Follow,
                                               details) == 0
                                     ? RefusalFor(details.kind)
                                     : RefusalFor(EntryKind::Other);
                return;
            }
        }
    }

    void Remember(const PlannedEntry& planned, const KitFileEntry& entry, size_t rootLength) {
        if (planned.action != PlanAction::WriteNew && planned.action != PlanAction::Replace) return;
        plannedFiles.emplace(planned.destination, FileTime{entry.timeLow, entry.timeHigh});
        for (size_t slash = planned.destination.find(u'/', rootLength); slash != WString::npos;
             slash = planned.destination.find(u'/', slash + 1)) {
            plannedFolders.insert(planned.destination.substr(0, slash));
        }
    }
};

}  // namespace

InstallPlan PlanInstall(const std::vector<KitFileEntry>& entries, const WString& targetDirectory) {
    const WString& root = targetDirectory;
    const size_t rootLength = root.length();
    // An original is set aside at the same path below the staging directory,
    // whose path is longer: a name must fit there too.
    const std::string rootPath = ToMultiByteString(root);
    const size_t rootBytes = rootPath.empty() || rootPath[0] != '/'
                                 ? rootPath.size()
                                 : std::max(rootPath.size(), LongestStagingPrefix(rootPath));

    InstallPlan plan;
    plan.entries.reserve(entries.size());
    Planner planner;
    for (const KitFileEntry& entry : entries) {
        PlannedEntry planned;
        WString relative = entry.name;
        ReplaceAll(relative, WString(u"\\"), WString(u"/"));
        planned.destination = root + relative;
        if (root.empty()) {
            planned.reason = "there is no template directory";
        } else if (!IsInstallTarget(root)) {
            planned.reason = "the template directory is no absolute path ending with \"/\"";
        } else if (const EntryNameCheck check = CheckEntryName(entry.name, rootBytes); check != ENTRY_NAME_OK) {
            planned.reason = check == ENTRY_NAME_DOT_DOT || check == ENTRY_NAME_ABSOLUTE
                                 ? "the name reaches outside the template directory"
                                 : DescribeEntryNameCheck(check);
        } else {
            planner.Decide(planned, entry, rootLength);
            planner.Remember(planned, entry, rootLength);
        }
        switch (planned.action) {
            case PlanAction::WriteNew: ++plan.counts.newFiles; break;
            case PlanAction::Replace: ++plan.counts.replaced; break;
            case PlanAction::Keep: ++plan.counts.kept; break;
            case PlanAction::Refuse: ++plan.refused; break;
        }
        plan.entries.push_back(planned);
    }
    return plan;
}

const char* PlanActionName(PlanAction action) {
    switch (action) {
        case PlanAction::WriteNew: return "new";
        case PlanAction::Replace: return "replace";
        case PlanAction::Keep: return "keep";
        case PlanAction::Refuse: return "refuse";
    }
    return "refuse";
}

}  // namespace vxk5
