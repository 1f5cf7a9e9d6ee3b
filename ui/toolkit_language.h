#pragma once
// One language per window: GTK's own texts (the message boxes' buttons, the
// folder chooser) in the language of the installer's table.

#include <cstdint>

namespace vxk5 {

// Points the message catalogues (GTK's among them) at the language of table
// `languageId`. The process locale must be set already. Programs the installer
// starts do not inherit the setting. Call while no other thread runs.
void SetCatalogueLanguage(int32_t languageId);

// SetCatalogueLanguage, then keeps GTK from setting the locale again when it
// starts. Call before GTK is initialised.
void PrepareToolkitLanguage(int32_t languageId);

}  // namespace vxk5
