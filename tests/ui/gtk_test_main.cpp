// The GUI tests' main: GTK is started when a display is there; without one
// every GUI test skips (and listing the tests still works).

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "base/conversion.h"
#include "gui_test_support.h"

using namespace vxk5;

int main(int argc, char** argv) {
    InitProcessLocale();
    ::testing::InitGoogleTest(&argc, argv);
    g_haveDisplay = gtk_init_check(&argc, &argv) != FALSE;
    // The design resolution, whatever the display's own: the layout is
    // exactly the design layout unless a test asks for another font or dpi.
    if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    return RUN_ALL_TESTS();
}
