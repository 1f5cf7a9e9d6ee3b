#pragma once
// The originals the latest installation into a template directory replaced,
// kept on the template directory's own file system so that taking that
// installation back can put them back exactly (they are the very files,
// gathered by renames and links, and linked back). At its commit the
// installation's staging directory, its journal removed and every original
// it replaced gathered in its originals/, takes the kept name:
//
//   <parent>/.k5kept-<name>/originals/<path below the template directory>
//
// beside the template directory <parent>/<name>/, or inside it as
// <parent>/<name>/.k5kept/ when the staging directory was made inside. It
// keeps the staging directory's rules: made exclusively, this user's, mode
// 0700, and adopted only by the identity the installation's record names.
// One generation is kept: the installation after it replaces it.

#include <cstdint>
#include <string>
#include <vector>

#include "install/staging.h"
#include "platform/file_entries.h"

namespace vxk5 {

constexpr char kKeptPrefix[] = ".k5kept";

// What a commit kept.
struct KeptGeneration {
    bool kept = false;
    EntryIdentity identity;  // of the kept directory
    uint64_t bytes = 0;      // the sizes of the originals kept
    uint32_t files = 0;
};

// ".k5kept-<name>" (the name cut as a staging name beside it is) or ".k5kept".
std::string KeptName(bool inside, const std::string& directoryName);

// Whether `component` is a kept directory's name, whatever the template directory.
bool IsKeptName(const std::string& component);

// Opens the kept directory of the template directory `target` (absolute,
// ending with "/") whose identity is `identity`, beside it or inside it:
// only a directory of this user with mode 0700 (not a link), whose
// originals/ is the same. `kept.path` gets its path. 0, ENOENT when neither
// place holds it, or EPERM when the one there is not one to trust.
[[nodiscard]] int OpenKeptGeneration(const std::string& target, const EntryIdentity& identity, Staging& kept);

// Opens the kept directory at `path`, one of the two places of the template
// directory `target`'s (EPERM for any other path), under the same rules.
[[nodiscard]] int OpenKeptGenerationAt(const std::string& target, const std::string& path, Staging& kept);

// Removes the kept directory opened by OpenKeptGeneration, everything in it,
// and syncs its parent. 0 or the first errno.
[[nodiscard]] int DiscardKeptGeneration(Staging& kept);

// Removes the kept directory of `target` of identity `identity` when there
// is one (0 also when there is none); EEXIST when another entry holds the name
// `name` in `parent`, so that a new one cannot take it.
[[nodiscard]] int MakeRoomForKeptGeneration(const std::string& target, const EntryIdentity& identity, int parent,
                                            const std::string& name);

}  // namespace vxk5
