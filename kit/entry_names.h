#pragma once
// The names a kit may give its files, checked the same way by the installer
// and by the kit tool. A name is a path relative to the template directory with
// "\" or "/" between its components. The installer refuses a kit holding a
// name that fails here with ERR_INVALID_DATA, before it writes anything
// for that name.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "kit/distribution_kit.h"

namespace vxk5 {

// What is wrong with a name; 0 for a name that can be installed.
enum EntryNameCheck : uint32_t {
    ENTRY_NAME_OK = 0,
    ENTRY_NAME_EMPTY = 1,                  // no text at all
    ENTRY_NAME_ZERO_UNIT = 2,              // a 0 unit: the path would end there
    ENTRY_NAME_UNPAIRED_SURROGATE = 3,     // a UTF-16 surrogate without its partner
    ENTRY_NAME_NOT_ENCODABLE = 4,          // the file system's encoding cannot hold it whole
    ENTRY_NAME_ABSOLUTE = 5,               // "/" or "\" first, or a drive designator ("C:")
    ENTRY_NAME_DOT_DOT = 6,                // a ".." component
    ENTRY_NAME_NOT_A_FILE_NAME = 7,        // ends in a separator or in a "." component
    ENTRY_NAME_COMPONENT_TOO_LONG = 8,     // a component of more than NAME_MAX bytes
    ENTRY_NAME_PATH_TOO_LONG = 9,          // PATH_MAX bytes or more, with the directory
    ENTRY_NAME_FILE_AND_DIRECTORY = 10,    // a file of the kit is another's directory
    ENTRY_NAME_HOLLOW_COMPONENT = 11,      // an empty (a\\b, a//b) or "." (a\.\b) component before the last
};

// The result code of an installation refused for its names.
constexpr uint32_t ENTRY_NAME_REFUSAL_CODE = ERR_INVALID_DATA;

// Checks one name. `directoryBytes` is the length in bytes of the directory
// the name is joined to (with its final "/"), 0 when it is not known; the
// joined path must stay below PATH_MAX bytes.
EntryNameCheck CheckEntryName(const WString& name, size_t directoryBytes = 0);

// The name's components in the file system's bytes: the path the installer
// makes of it below the template directory, "/" between components. False
// (and `path` unchanged) when CheckEntryName fails.
bool EntryNamePath(const WString& name, AString& path);

struct EntryNameProblem {
    size_t index;         // the entry
    EntryNameCheck check;
    size_t other;         // ENTRY_NAME_FILE_AND_DIRECTORY: the entry whose directory it is
};

// Every problem of the kit's names, in entry order: each name by itself, then
// every file whose path is also a directory of another entry (in either order:
// "q" then "q\b", or "q\b" then "q"). Empty when the kit can be installed.
std::vector<EntryNameProblem> FindEntryNameProblems(const std::vector<KitFileEntry>& entries,
                                                    size_t directoryBytes = 0);

// ENTRY_NAME_OK, or the first problem's check with its entry in `index`.
EntryNameCheck CheckEntryNames(const std::vector<KitFileEntry>& entries, size_t& index, size_t directoryBytes = 0);

// A short English text for the tool's messages ("a '..' component", ...).
const char* DescribeEntryNameCheck(EntryNameCheck check);

}  // namespace vxk5
