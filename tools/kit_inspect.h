#pragma once
// `vxk5-kit list` and `vxk5-kit verify`: both read the kit with the
// installer's own reader.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "kit/distribution_kit.h"
#include "kit/minisign.h"
#include "platform/file_handle.h"

namespace vxk5 {

// Reads the kit with the installer's reader ("-": standard input). False
// with `error` naming the kit and saying why when it cannot be read.
// With `progress`, a progress line is drawn there while the kit is read.
[[nodiscard]] bool ReadKitFile(const std::string& kitPath, std::unique_ptr<DistributionKit>& kit, std::string& error,
                               std::ostream* progress = nullptr);

// "YYYY-MM-DDTHH:MM:SS.fffffffZ": the UTC time with its 100-nanosecond fraction.
std::string FormatFileTime(FileTime time);

// "YYYY-MM-DDTHH:MM:SSZ": the UTC time cut to its whole second, as the
// installer sets it on the files it writes, in the form of RFC 3339 that
// programs such as jq read (its fromdate takes no fraction).
std::string FormatFileTimeSeconds(FileTime time);

// Prints the descriptions, what the kit's check said and the file table
// (name, time, size, offset).
// False with `error` set when the kit cannot be read.
[[nodiscard]] bool ListKit(const std::string& kitPath, std::ostream& out, std::string& error);

// Prints the names of the kit's files, one a line, with "/" between
// components, in the kit's order. False with `error` set when the kit cannot
// be read.
[[nodiscard]] bool ListKitNames(const std::string& kitPath, std::ostream& out, std::string& error);

// Reads every record and checks it as the installer would. Errors are what
// would make the installer refuse the kit or fail: bytes outside the
// container, names that are not usable relative paths, a name listed twice,
// a deflate stream that does not match its check. Warnings are suspicious but
// installable: a description document that is not in the kit (it may already
// be in the template directory), a description language that is none of the
// installer's, a kit without a check, bytes after the stream that nothing
// reads. Each warning is one line
// "warning: ..." on `warnings`; CountAsErrors counts them as errors. Prints a
// summary on `out`; false with `error` describing every error found.
// With `key`, the kit's signature (KIT.minisig) must also verify with that key,
// checked as the installer checks it: otherwise `error` tells why and the kit
// counts as failed.
enum class Warnings { Allowed, CountAsErrors };

// What verify found in a kit it could read.
struct VerifyReport {
    std::string problems;               // "  what: why" lines; empty when the kit passes
    std::vector<std::string> warnings;  // without "warning: "
    bool signatureChecked = false;      // with a key: the signature verified
    std::string keyId;
    std::string trustedComment;
    std::string checkLine;  // CheckLine's text
    bool checked = false;   // the deflate stream matched its check
    size_t descriptions = 0;
    size_t files = 0;
    uint64_t dataBytes = 0;
    int64_t containerSize = 0;
};

// Verify's checks without printing: false with `error` set when the kit
// cannot be read (or, with `key`, its signature does not verify).
// With `progress`, a progress line is drawn there while the kit is read.
[[nodiscard]] bool InspectKit(const std::string& kitPath, Warnings strictness, const minisign::PublicKey* key,
                              VerifyReport& report, std::string& error, std::ostream* progress = nullptr);

[[nodiscard]] bool VerifyKit(const std::string& kitPath, Warnings strictness, std::ostream& out, std::ostream& warnings,
                             std::string& error, const minisign::PublicKey* key = nullptr,
                             std::ostream* progress = nullptr);

// True when `language` is one of the installer's interface languages,
// compared without regard to case as the installer compares it.
bool IsInterfaceLanguage(const WString& language);

}  // namespace vxk5
