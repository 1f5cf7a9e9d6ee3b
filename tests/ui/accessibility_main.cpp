// The accessibility tests' main: GTK is started with its accessibility
// module (GAIL), as under a screen reader, so that the names and relations
// read here are those GAIL gives assistive technology.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "base/conversion.h"
#include "gui_test_support.h"

using namespace vxk5;

int main(int argc, char** argv) {
    InitProcessLocale();
    ::testing::InitGoogleTest(&argc, argv);
    setenv("GTK_MODULES", "gail", 1);
    g_haveDisplay = gtk_init_check(&argc, &argv) != FALSE;
    // The design resolution, whatever the display's own: the layout is
    // exactly the design layout unless a test asks for another font or dpi.
    if (g_haveDisplay) UseFontAndResolution("Sans 10", 96);
    return RUN_ALL_TESTS();
}
