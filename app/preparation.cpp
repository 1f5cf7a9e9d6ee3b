// Preparation before any window exists: the kit, the proposed template
// directory, the space check and the reading of the kit.

#include "ui/installer_dlg.h"

#include "config/config_paths.h"
#include "config/template_locations.h"
#include "kit/kit_reader.h"
#include "lang/messages.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"
#include "ui/message_box.h"

namespace {

// A probe file can be made (and is removed again) in `location`.
bool CanWriteInto(const WString& location) {
    WString probe;
    if (CreateTempFile(location, u"Vx", probe) != 0) return false;
    RemoveFile(probe);
    return true;
}

// Web addresses are no directories; a file address is its path.
void StripAddressForms(WString& directory) {
    if (directory.find(WString(u"http://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"https://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"ftp://")) != WString::npos) directory = WString();
    const size_t file = directory.find(WString(u"file://"));
    if (file != WString::npos) directory.erase(file, 7);
}

bool ReportFailure(CInstallerDlg* owner, const char* key) {
    owner->NoteFailure(key);
    MessageBox(owner, LoadResString(key), MB_STYLE_ERROR_OK);
    return false;
}

}  // namespace

bool CInstallerDlg::Prepare() {
    const WString kitPath = LocateKit();
    if (kitPath.empty() || !FindsEntry(kitPath)) return ReportFailure(this, "IDS_ERROR_NOSOURCE");
    kitPath_ = kitPath;

    alternateFilePresent_ = FindsEntry(GetAltConfigPath());
    if (FindsEntry(GetMainConfigPath())) {
        CollectTemplateLocations(templateLocations_, CONFIG_SET_MAIN);
    } else if (alternateFilePresent_) {
        CollectTemplateLocations(templateLocations_, CONFIG_SET_ALTERNATE);
        alternateLocations_ = !templateLocations_.empty();
    }

    bool taken = false;
    for (const WString& location : templateLocations_) {
        // A dry run makes no probe file: it asks whether one could be made.
        if (dryRun_ ? CanCreateTempFileIn(location) : CanWriteInto(location)) {
            templateDirectory_ = location;
            taken = true;
            break;
        }
    }
    if (!taken) templateDirectory_ = GetDefaultTemplateBase() + u"tmplts/";

    StripAddressForms(templateDirectory_);
    ReplaceAll(templateDirectory_, u"\\", u"/");
    ReplaceAll(templateDirectory_, u"\n", u"");
    ReplaceAll(templateDirectory_, u"\r", u"");

    uint32_t kitSize = 0;
    if (GetFileSizeByPath(kitPath_, &kitSize) == 0) {
        uint32_t freeBytes = 0;
        GetTempFreeSpace(&freeBytes);
        // Three times the kit in 64 bits: a kit of 1.4 GB or more does not wrap around.
        if (3 * static_cast<uint64_t>(kitSize) > freeBytes) return ReportFailure(this, "IDS_ERROR_NOSPACE");
    }

    if (ReadKit(kit_, kitPath_) != 0) return ReportFailure(this, "IDS_ERROR_DAMAGEDSOURCE");
    return true;
}
