#pragma once
// The names an installation keeps for itself in and beside a template
// directory: its staging directories (".k5stp<N>" inside, ".k5stp<N>-<name>"
// beside), its working names (".k5stp<N>.<M>"), whatever the numbers, and
// the directory of the originals it keeps (".k5kept", ".k5kept-<name>"). No
// kit entry may have a path component of one of these forms, so that nothing
// a kit installs can ever be taken for the work of an installation.

#include <string>
#include <string_view>

namespace vxk5 {

// `component` (one path component) has one of the reserved forms.
bool IsReservedName(std::string_view component);

// Some component of `relative` ("a/b/c") has a reserved form.
bool HasReservedComponent(std::string_view relative);

}  // namespace vxk5
