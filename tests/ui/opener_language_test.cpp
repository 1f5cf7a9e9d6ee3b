// The description opener starts with the environment the installer received:
// the catalogue language set for GTK's own texts stays inside the installer.

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <glib.h>
#include <gtest/gtest.h>

#include "ui/toolkit_language.h"
#include "lang/messages.h"
#include "tests/support/temp_dir.h"
#include "ui/description_opener.h"

using namespace vxk5;

namespace {

TEST(DescriptionOpener, DoesNotInheritTheToolkitLanguage) {
    TempDir temp;
    const std::string stub = temp.path("opener");
    WriteFile(stub, "#!/bin/sh\nprintf '%s' \"${LANGUAGE-unset}\" > '" + temp.path("language") + "'\n");
    chmod(stub.c_str(), 0755);

    SetCatalogueLanguage(FindLanguageId("ru"));
    ASSERT_STREQ(std::getenv("LANGUAGE"), "ru");
    EXPECT_TRUE(OpenWithDesktop(AString("/x"), stub.c_str()));
    SetCatalogueLanguage(kLanguageEnglish);
    // The opener runs detached: wait for its word.
    for (int i = 0; i < 500 && ReadFile(temp.path("language")).empty(); ++i) g_usleep(10 * 1000);
    EXPECT_NE(ReadFile(temp.path("language")), "ru");
    EXPECT_NE(ReadFile(temp.path("language")), "") << "the opener ran";
}

}  // namespace
