// Preparation before any window exists: the kit, the proposed template
// directory, the space check and the reading of the kit.

#include "ui/installer_dlg.h"

#include <cstdio>

#include "base/conversion.h"
#include "config/config_paths.h"
#include "config/template_locations.h"
#include "install/recovery.h"
#include "kit/kit_reader.h"
#include "kit/kit_unpack.h"
#include "kit/signed_kit.h"
#include "kit/trust_policy.h"
#include "lang/messages.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"
#include "ui/message_box.h"
#include "config/target_path.h"

namespace vxk5 {

namespace {

// Web addresses are no directories; a file address is its path.
void StripAddressForms(WString& directory) {
    if (directory.find(WString(u"http://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"https://")) != WString::npos) directory = WString();
    if (directory.find(WString(u"ftp://")) != WString::npos) directory = WString();
    const size_t file = directory.find(WString(u"file://"));
    if (file != WString::npos) directory.erase(file, 7);
}

// A recorded location as a directory path: no address form, "/" separators, no
// line-end units (a file written with CR LF ends leaves a CR in each value), no
// blanks around it.
WString AsDirectory(const WString& location) {
    WString directory = location;
    StripAddressForms(directory);
    ReplaceAll(directory, u"\\", u"/");
    ReplaceAll(directory, u"\n", u"");
    ReplaceAll(directory, u"\r", u"");
    return TrimBlanks(directory);  // "dir   " in a file means dir
}

bool ReportFailure(CInstallerDlg* owner, const char* key) {
    owner->NoteFailure(key);
    MessageBox(owner, LoadResString(key), MB_STYLE_ERROR_OK);
    return false;
}

// An installer that died part-way is finished before anything else: undone,
// or, when it had committed, tidied up. One line says what was done.
// Returns how many were recovered; `failed` tells whether any left originals
// out of place.
uint32_t RecoverEarlierInstallations(const CInstallerDlg* owner, bool& failed) {
    uint32_t recovered = 0;
    for (const RecoveryReport& report : RecoverInterruptedInstalls()) {
        if (RecoveryFailed(report)) failed = true;
        if (report.outcome == RecoveryReport::Outcome::Unreadable) {
            std::fprintf(stderr, "vxk5-setup: %s\n", ToMultiByte(RecoveryMessage(report)).c_str());
            std::fflush(stderr);
            continue;
        }
        // Without a display the box is one line on standard error.
        MessageBox(owner, RecoveryMessage(report), RecoveryFailed(report) ? MB_STYLE_ERROR_OK : MB_STYLE_PLAIN_OK);
        ++recovered;
    }
    return recovered;
}

// The message that tells why the trust policy refused the kit.
const char* RefusalKey(SignatureVerdict verdict) {
    switch (verdict) {
        case SignatureVerdict::Missing: return "IDS_ERROR_UNTRUSTED_NOSIG";
        case SignatureVerdict::Damaged: return "IDS_ERROR_UNTRUSTED_BADSIG";
        case SignatureVerdict::UnknownKey: return "IDS_ERROR_UNTRUSTED_KEYID";
        case SignatureVerdict::Mismatch: return "IDS_ERROR_UNTRUSTED_MISMATCH";
        case SignatureVerdict::NotChecked:
        case SignatureVerdict::Verified: break;
    }
    return nullptr;
}

// The administrator's keys and those named on the command line. A key file
// that cannot be used is told on standard error: the policy stays in force.
TrustPolicy LoadPolicy(const std::vector<WString>& namedFiles) {
    std::vector<std::string> warnings;
    TrustPolicy policy = LoadTrustPolicy(kTrustedKeysDirectory, namedFiles, warnings);
    for (const std::string& warning : warnings) std::fprintf(stderr, "vxk5-setup: warning: %s\n", warning.c_str());
    std::fflush(stderr);
    return policy;
}

}  // namespace

bool CInstallerDlg::Prepare() {
    // A dry run changes nothing, not even what an earlier run left behind.
    if (!dryRun_) summary_.recoveredAtStart = RecoverEarlierInstallations(this, summary_.recoveryFailed);
    const WString kitPath = LocateKit();
    // Only a readable regular file is a kit: a FIFO, a device or a directory
    // there is reported as missing, and examining it never blocks.
    StdioFile kitFile;
    if (kitPath.empty() || OpenRegularFile(kitPath, kitFile) != ERR_SUCCESS) {
        return ReportFailure(this, "IDS_ERROR_NOSOURCE");
    }
    kitFile.reset();
    kitPath_ = kitPath;

    alternateFilePresent_ = FindsEntry(GetAltConfigPath());
    if (FindsEntry(GetMainConfigPath())) {
        CollectTemplateLocations(templateLocations_, CONFIG_SET_MAIN);
    } else if (alternateFilePresent_) {
        CollectTemplateLocations(templateLocations_, CONFIG_SET_ALTERNATE);
        alternateLocations_ = !templateLocations_.empty();
    }

    // A location the user wrote as "~/..." is under the home directory.
    for (WString& location : templateLocations_) location = ExpandHomePrefix(location);

    // The first location that can hold a new file, tested by making one in
    // the location itself: one that does not exist, is no directory or
    // cannot be written is passed over.
    bool taken = false;
    for (const WString& location : templateLocations_) {
        const WString directory = AsDirectory(location);
        // A dry run makes no probe file: it asks whether one could be made.
        if (dryRun_ ? CouldCreateFileIn(directory) : CanCreateFileIn(directory, u"Vx")) {
            templateDirectory_ = directory;
            taken = true;
            break;
        }
    }
    if (!taken) templateDirectory_ = AsDirectory(GetDefaultTemplateDirectory());
    // Installed into, shown and recorded as an absolute path: the launcher
    // does not share our current directory.
    if (WString absolute; ResolveTargetPath(templateDirectory_, absolute)) templateDirectory_ = absolute;

    // The temporary directory holds the unpacked kit, whose size only its
    // unpacking tells: it is never smaller than the kit itself, less the
    // framing of stored blocks, so a directory without that much room is
    // refused at once. The unpacking then meets a file system that fills up as
    // a lack of space, not as damage, and its unnamed container goes with it.
    uint64_t kitSize = 0;
    if (GetFileSize64ByPath(kitPath_, &kitSize) == 0) {
        uint64_t freeBytes = 0;
        GetTempFreeSpace(&freeBytes);
        if (KitContainerLowerBound(kitSize) > freeBytes) return ReportFailure(this, "IDS_ERROR_NOSPACE");
    }

    // Under a trust policy the kit is read only when its signature verifies,
    // over exactly the bytes that are unpacked; a refusal comes before any change.
    const TrustPolicy policy = LoadPolicy(trustedKeyFiles_);
    SignatureCheck check;
    const uint32_t code = ReadSignedKit(kit_, kitPath_, policy, check);
    if (const char* refusal = RefusalKey(check.verdict)) return ReportFailure(this, refusal);
    summary_.signatureKeyId = check.keyId;
    summary_.signatureTrustedComment = check.trustedComment;
    // The temporary directory can still fill up while the kit is unpacked: that
    // is a lack of space, not a damaged kit.
    if (code == ERR_DISK_FULL) return ReportFailure(this, "IDS_ERROR_NOSPACE");
    if (code != 0) return ReportFailure(this, "IDS_ERROR_DAMAGEDSOURCE");
    return true;
}

}  // namespace vxk5
