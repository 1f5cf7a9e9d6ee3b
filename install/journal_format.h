#pragma once
// The text of an installation's journal file, one line per record, each line
// written with one write(2):
//
//   vxk5-journal 1            header line, written with the next two at once
//   T <template directory>    absolute, ending with "/"
//   B <backup directory>      the temporary directory's k5stp<N>/
//   D <path>                  a directory is about to be made
//   M <destination>           the original there is about to be moved to the
//                             backup directory + its path below the template directory
//   W <destination>           a new file is about to be written there
//   C                         the installation is complete; only the backup remains to purge
//
// Paths are bytes; "%", every control byte and DEL are written as %XX. A last
// line without its line feed (the process died inside the write) is no record.

#include <string>
#include <vector>

namespace vxk5 {

enum class StepKind : char { MakeDirectory = 'D', MoveToBackup = 'M', WriteFile = 'W' };

struct JournalStep {
    StepKind kind;
    std::string path;
};

struct ParsedJournal {
    std::string target;  // ends with "/"
    std::string backup;  // ends with "/"
    std::vector<JournalStep> steps;
    bool committed = false;
};

std::string JournalHeader(const std::string& target, const std::string& backup);
std::string JournalStepLine(StepKind kind, const std::string& path);
std::string JournalCommitLine();

// False when the text is no journal, or a record is unknown or names a path
// outside what the journal may touch: M and W only below the template
// directory, D below it or on its way down from "/", nothing with a ".."
// component, everything absolute.
bool ParseJournal(const std::string& text, ParsedJournal& journal);

}  // namespace vxk5
