#pragma once
// The text of an installation's journal file, one line per record, each line
// written with one write(2):
//
//   vxk5-journal 2              header line, written with the next three at once
//   T <template directory>      its real path, absolute, ending with "/"
//   I <device> <inode>          the template directory's identity
//   S <staging directory>       where the journal and the originals are, ending with "/"
//   D <path>                    a directory is about to be made
//   d <device> <inode> <path>   the identity of the directory just made there
//   M <destination>             the original there is about to be moved to
//                               the staging directory's originals/ + its path
//                               below the template directory
//   W <temporary> <destination> a new file is about to be written under the
//                               name <temporary> in the destination's directory,
//                               then renamed to the destination
//   X <temporary> <destination> a new file is about to be written under the
//                               name <temporary> in the destination's directory,
//                               then exchanged with the original at the
//                               destination, which from then on stands under
//                               <temporary> until the commit's purge removes it
//   P <device> <inode> <destination>
//                               the identity of the new file for <destination>,
//                               written before it takes the destination's name
//   G <kept directory>          the originals an earlier installation replaced
//                               are kept there, under its originals/ + their
//                               path below the template directory, ending with "/"
//   U <prefix> <first> <record>
//                               after the commit the files of the template
//                               directory's installation record <record> (a
//                               file name of its records) are taken back
//                               (install/take_back.h), the original of its
//                               i-th file coming back under the working name
//                               <prefix><first + i>; then the record goes
//   Z <device> <inode> <path>   after the commit the directory at <path> (below
//                               the template directory, or the template
//                               directory itself without its "/") is to be
//                               removed when it is empty and still that one;
//                               in the order given, deepest first
//   C                           the installation is complete; only the staging
//                               directory remains to purge
//
// Paths are bytes; "%", the space, every control byte and DEL are written as %XX. A last
// line without its line feed (the process died inside the write) is no record.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vxk5 {

enum class StepKind : char {
    MakeDirectory = 'D',
    MoveToBackup = 'M',
    WriteFile = 'W',
    ExchangeFile = 'X',
};

struct JournalStep {
    JournalStep() = default;
    JournalStep(StepKind stepKind, std::string stepPath, std::string temporaryName = std::string())
        : kind(stepKind), path(std::move(stepPath)), temporary(std::move(temporaryName)) {}

    StepKind kind = StepKind::WriteFile;
    std::string path;
    std::string temporary;     // WriteFile, ExchangeFile: the name the file is written under
    bool identified = false;   // the identity below was recorded
    uint64_t device = 0;
    uint64_t inode = 0;
};

struct DirectoryToRemove {
    std::string path;  // no final "/"
    uint64_t device = 0;
    uint64_t inode = 0;
};

struct ParsedJournal {
    std::string target;   // ends with "/"
    uint64_t targetDevice = 0;
    uint64_t targetInode = 0;
    // The template directory's device as the recovery finds it, when its
    // number changed since the journal was written (0: unchanged).
    uint64_t targetDeviceNow = 0;
    std::string staging;  // ends with "/"
    std::string kept;     // the kept originals' directory (G), ending with "/"; empty without one
    std::vector<JournalStep> steps;
    std::vector<DirectoryToRemove> removeAfterCommit;  // Z, in the order given
    // U: the take-back after the commit, when `takeBackRecord` is not empty.
    std::string takeBackRecord;
    std::string takeBackPrefix;
    uint64_t takeBackFirst = 0;
    bool committed = false;
};

std::string JournalHeader(const std::string& target, uint64_t device, uint64_t inode, const std::string& staging);
std::string JournalStepLine(StepKind kind, const std::string& path);
std::string JournalWriteLine(const std::string& temporary, const std::string& destination);
std::string JournalExchangeLine(const std::string& temporary, const std::string& destination);
std::string JournalKeptLine(const std::string& keptDirectory);
std::string JournalTakeBackLine(const std::string& prefix, uint64_t first, const std::string& record);
// The identity of what a D, W or X record made: "d ..." or "P ...".
std::string JournalIdentityLine(StepKind kind, uint64_t device, uint64_t inode, const std::string& path);
std::string JournalRemoveAfterCommitLine(uint64_t device, uint64_t inode, const std::string& path);
std::string JournalCommitLine();

// A path as the journal writes it (%XX for "%", the space, control bytes
// and DEL), and back: false for text that is not one.
std::string EscapePath(const std::string& path);
bool UnescapePath(std::string_view text, std::string& path);
// A decimal number of at most 20 digits that fits 64 bits.
bool ParseDecimal(const std::string& text, uint64_t& value);

// False when the text is no journal, or a record is unknown or names a path
// outside what the journal may touch: M and W only below the template
// directory (and X), D below it or on its way down from "/", nothing with a ".."
// component, everything absolute; a temporary name is one plain component.
// An identity record is attached to the latest step of its path.
bool ParseJournal(const std::string& text, ParsedJournal& journal);

}  // namespace vxk5
