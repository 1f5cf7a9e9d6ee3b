#pragma once
// The record of one installation into a template directory, kept so that it
// can be taken back: every file it placed (with what tells whether it is
// still the file placed), the directories it made, and which files replaced
// an original. One line per entry, about 50 bytes beside its name:
//
//   vxk5-record 1
//   S <device> <inode>           the identity of the installation's staging
//                                directory: the record is written before its
//                                commit, and goes with its rollback
//   T <template directory>       its real path, absolute, ending with "/"
//   I <device> <inode>           its identity
//   M <0|1>                      whether the installation made it
//   K <size> <check> <kit>       the kit: its size in bytes, its check ("-"
//                                for none) and the path it was read from
//   f <inode> <size> <mtime> <r|n> <relative name>
//                                a file placed: its identity on the template
//                                directory's device, size and modification
//                                time (POSIX seconds), and whether it
//                                replaced an original (r) or took a free name
//   d <inode> <relative name>    a directory made
//   G <device> <inode>           the identity of the directory that keeps the
//                                originals it replaced (install/kept_generation.h);
//                                none when they were not kept
//   A <when>                     the commit's time (POSIX seconds)
//   E                            the record is whole
//
// Paths are written as the journal writes them (%XX for "%", the space and
// control bytes). A name repeated by the kit has one line per placement; the
// last one stands.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_entries.h"

namespace vxk5 {

struct RecordedFile {
    std::string relative;  // below the template directory, "/" separators
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified = 0;  // POSIX seconds
    bool replaced = false;
};

struct RecordedDirectory {
    std::string relative;
    uint64_t inode = 0;
};

struct InstallationRecord {
    std::string target;  // ends with "/"
    EntryIdentity targetIdentity;
    EntryIdentity transaction;  // the installation's staging directory
    bool madeTarget = false;
    uint64_t kitSize = 0;
    std::string kitCheck;  // "-" when the kit carried none
    std::string kitPath;
    int64_t when = 0;
    EntryIdentity kept;  // of the kept originals' directory; zero when none was kept
    std::vector<RecordedFile> files;  // in the order placed, a repeated name once, at its last placement
    std::vector<RecordedDirectory> directories;  // parents first
};

std::string RecordHeader(const InstallationRecord& record);
// The staging directory a record's first lines name (RecordHeader writes it
// first of all); false when `start` does not begin as a record.
bool RecordTransaction(const std::string& start, EntryIdentity& transaction);
std::string RecordFileLine(const RecordedFile& file);
std::string RecordDirectoryLine(const RecordedDirectory& directory);
std::string RecordKeptLine(const EntryIdentity& kept);
std::string RecordEnd(int64_t when);

// False for text that is no whole record, or names a path that is absolute,
// empty, or climbs out ("..", "." or empty components).
bool ParseRecord(const std::string& text, InstallationRecord& record);

// Reads a record a piece at a time, and judges it as ParseRecord does, but
// keeps neither its files nor its directories: a reader that needs only
// its header, kit, kept originals and time holds little however many files
// the record lists.
class RecordSummaryReader {
public:
    // The record's next bytes; false once they cannot be part of a record.
    bool Feed(std::string_view piece);
    // After the last piece: false for text that is no whole record.
    bool Finish(InstallationRecord& record);

private:
    std::string partial_;  // an unfinished line
    InstallationRecord record_;
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace vxk5
