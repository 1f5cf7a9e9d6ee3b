// Preparation before any window exists: the kit, the proposed template
// directory, the space check and the reading of the kit.

#include "run/preparation.h"

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
#include "platform/file_entries.h"
#include "platform/file_finder.h"
#include "platform/file_system.h"
#include "run/recovery_notices.h"

namespace vxk5 {

namespace {

bool ReportFailure(const NoticeSink& tell, RunSummary& summary, const char* key) {
    summary.Fail(key);
    tell(LoadResString(key), NoticeKind::Error);
    return false;
}

// A home directory is named (HOME, or the user database) but is no
// directory there (nor a link to one).
bool HomeDirectoryMissing() {
    const WString home = GetHomeDirectory();
    return !home.empty() && !IsDirectoryAt(ToMultiByteString(home));
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

// Whether the temporary directory has less room than the kit at `kitPath`
// unpacks to at least. A kit whose size cannot be read is not judged here.
bool TempDirectoryTooSmall(const WString& kitPath) {
    uint64_t kitSize = 0;
    if (GetFileSize64ByPath(kitPath, &kitSize) != 0) return false;
    uint64_t freeBytes = 0;
    // Its only failure is a missing pointer; unknown free space reads as 0,
    // and the kit is then refused as too large.
    (void)GetTempFreeSpace(&freeBytes);
    return KitContainerLowerBound(kitSize) > freeBytes;
}

}  // namespace

bool PrepareRun(const PreparationRequest& request, const NoticeSink& tell, std::unique_ptr<DistributionKit>& kit,
                PreparedRun& prepared, RunSummary& summary) {
    // The launcher's files and the default template directory lie below the
    // home directory: one that is not there is never made (HOME=/nonexistent
    // is the home of many a system user), and the run stops before anything.
    if (HomeDirectoryMissing()) {
        summary.Fail("IDS_ERROR_NOHOME");
        tell(LoadResString("IDS_ERROR_NOHOME") + u" " + GetHomeDirectory(), NoticeKind::Error);
        return false;
    }
    // A dry run changes nothing, not even what an earlier run left behind.
    // An installer that died part-way is finished before anything else:
    // undone, or, when it had committed, tidied up. One line says what was done.
    if (!request.dryRun) TellRecoveries(RecoverInterruptedInstalls(), tell, summary);
    const WString kitPath = LocateKit(request.kitPlace);
    // Only a readable regular file is a kit: a FIFO, a device or a directory
    // there is reported as missing, and examining it never blocks.
    StdioFile kitFile;
    if (kitPath.empty() || OpenRegularFile(kitPath, kitFile) != ERR_SUCCESS) {
        return ReportFailure(tell, summary, "IDS_ERROR_NOSOURCE");
    }
    kitFile.reset();
    prepared.kitPath = kitPath;

    prepared.locations = TemplateLocations::Load();
    // The first location that can hold a new file, tested by making one in
    // the location itself: one that does not exist, is no directory or
    // cannot be written is passed over.
    bool taken = false;
    for (const WString& location : prepared.locations.Recorded()) {
        const WString directory = TemplateLocations::Normalise(location);
        // A dry run makes no probe file: it asks whether one could be made.
        if (request.dryRun ? CouldCreateFileIn(directory) : CanCreateFileIn(directory, u"Vx")) {
            prepared.templateDirectory = directory;
            taken = true;
            break;
        }
    }
    if (!taken) prepared.templateDirectory = TemplateLocations::Normalise(GetDefaultTemplateDirectory());

    // The temporary directory holds the unpacked kit, whose size only its
    // unpacking tells: it is never smaller than the kit itself, less the
    // framing of stored blocks, so a directory without that much room is
    // refused. The unpacking then meets a file system that fills up as a lack
    // of space, not as damage, and its unnamed container goes with it.
    const bool tempTooSmall = TempDirectoryTooSmall(prepared.kitPath);

    // Under a trust policy the kit is read only when its signature verifies,
    // over exactly the bytes that are unpacked; a refusal comes before any change.
    const TrustPolicy policy = LoadPolicy(request.trustedKeyFiles);
    // Read whole, the kit fills the temporary directory at once.
    if (tempTooSmall && policy.inForce) return ReportFailure(tell, summary, "IDS_ERROR_NOSPACE");
    SignatureCheck check;
    // Without a signature to check, only the file table is unpacked now; the
    // data area follows when the first file is written (an up-to-date
    // directory never needs it).
    const uint32_t code = ReadSignedKit(kit, prepared.kitPath, policy, check, KitReading::FileTableFirst);
    // A kit read whole (signed, or small enough) has had its check made; a
    // stream that does not match it is a damaged kit like any other.
    if (kit != nullptr) summary.kitCheck = kit->Check().state;
    if (const char* refusal = RefusalKey(check.verdict)) return ReportFailure(tell, summary, refusal);
    // A data area that goes straight into the files, as the installation
    // takes it, needs no room here beyond what reading the file table took:
    // the installation checks the template directory's file system instead.
    // Any other kit needs the room for its whole container, as ever.
    if (tempTooSmall && !(code == 0 && kit->RestGoesIntoFiles())) {
        return ReportFailure(tell, summary, "IDS_ERROR_NOSPACE");
    }
    summary.signatureKeyId = check.keyId;
    summary.signatureTrustedComment = check.trustedComment;
    // The temporary directory can still fill up while the kit is unpacked: that
    // is a lack of space, not a damaged kit.
    if (code == ERR_DISK_FULL) return ReportFailure(tell, summary, "IDS_ERROR_NOSPACE");
    if (code != 0) return ReportFailure(tell, summary, "IDS_ERROR_DAMAGEDSOURCE");
    return true;
}

}  // namespace vxk5
