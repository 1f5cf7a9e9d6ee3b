#pragma once
// One language per window: GTK's own texts (the message boxes' buttons, the
// folder chooser) in the language of the installer's table.

#include <cstdint>

// Points GTK's message catalogues at the language of table `languageId`.
// Call after the process locale is set and before GTK is initialised, before
// any thread exists. Programs the installer starts do not inherit the setting.
void PrepareToolkitLanguage(int32_t languageId);
