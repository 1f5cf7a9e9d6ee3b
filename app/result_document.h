#pragma once
// The result document: one JSON object telling how a run ended, for
// configuration-management engines. Its members:
//   outcome            "installed", "up-to-date", "failed", "cancelled", "no-kit",
//                      "untrusted" (refused by the trust policy), or for
//                      --uninstall "uninstalled" or "nothing-to-uninstall"
//   message_key        the key of the message that tells the outcome, or null
//   message            that message's English text (or an English detail)
//   error_code         the code that ended a failed installation, or 0
//   kit                the kit's path, or null when it was not found
//   template_directory the directory installed into (or proposed), ending
//                      with "/", or null
//   files              {"new", "replaced", "kept", "refused"}: what was done,
//                      or for a dry run what would be done; all 0 after a
//                      failed installation (it was rolled back)
//   originals_kept_bytes  the bytes of the files the installation replaced,
//                      kept so that --uninstall puts them back (0 when none)
//   recorded_in_launcher_configuration  true when the directory was recorded
//   recovered_at_start interrupted installations put right before this run
//   dry_run            whether this was a dry run
//   signature          {"key_id", "trusted_comment"} of the kit's signature
//                      when a trusted key verified it, else null
//   integrity          "checked" when the kit's deflate stream was read to
//                      its end and matched the check after it, "damaged"
//                      when it did not (the outcome is then "no-kit" or
//                      "failed"), "unchecked" otherwise: the kit carries no
//                      check, or the run did not read the stream to its end
//   uninstall          only for --uninstall: {"installed_at" (the installation
//                      taken back, RFC 3339 UTC), "removed", "restored"
//                      (the files they had replaced, put back), "missing",
//                      "kept_changed" (the files changed since, kept),
//                      "directories_removed", "originals_not_kept" (files
//                      it had replaced, which cannot come back),
//                      "template_directory_removed"}
//   seconds            the time the run took

#include <string>

#include "base/wstring.h"
#include "run/run_summary.h"

namespace vxk5 {

// The outcome's name in the document.
const char* OutcomeName(RunOutcome outcome);

// The integrity's name in the document.
const char* IntegrityName(KitCheck check);

// The document's text, ending with a line feed.
std::string ResultDocument(const RunSummary& summary, double seconds);

// Writes `document` to `path` through a temporary file in the same directory
// and a rename, so the file is either absent, as before, or complete. On
// failure says so on standard error and returns false.
bool WriteResultFile(const AString& path, const std::string& document);

}  // namespace vxk5
