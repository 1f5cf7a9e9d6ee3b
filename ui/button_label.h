#pragma once
// Button texts from the message tables, as GTK shows them and as assistive
// technology reads them.

#include <string>

#include "base/wstring.h"

namespace vxk5 {

// The name a screen reader should speak for a button labelled `text`: the
// label without the direction marks of "< Back" and "Next >" ("Avanti>",
// "« Retour" alike) and the blanks beside them.
std::string SpokenButtonName(const WString& text);

}  // namespace vxk5
