// Configuration sets, collecting and recording template locations, and the
// paths they live at.

#include "base/conversion.h"
#include "config/template_locations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/config_paths.h"
#include "tests/config/home_fixture.h"

using namespace vxk5;

namespace {

using Strings = std::vector<std::string>;

std::vector<WString> WideAll(const Strings& items) {
    std::vector<WString> out;
    for (const std::string& item : items) out.push_back(FromMultiByte(item));
    return out;
}

Strings NarrowAll(const std::vector<WString>& items) {
    Strings out;
    for (const WString& item : items) out.push_back(ToMultiByteString(item));
    return out;
}

std::string LocationLines(const Strings& locations) {
    std::string text;
    for (const std::string& location : locations) text += "ConfigurationTemplatesLocation=" + location + "\n";
    return text;
}

class TemplateLocationsTest : public HomeFixture {
protected:
    std::string MainFile() const { return Home(".Vx/vxlstart/vxlstart.cfg"); }
    std::string AltFile() const { return Home(".Vx/vxlstartt/vxlstart.cfg"); }
    std::string DataDirFile() const { return Home(".vxk5/.Vx/vxlstart/vxlstart.cfg"); }

    void Put(const std::string& path, const std::string& content) {
        MakeDirectories(path.substr(0, path.rfind('/')));
        WriteFile(path, content);
    }

    Strings Collect(int selector) {
        std::vector<WString> list;
        CollectTemplateLocations(list, selector);
        return NarrowAll(list);
    }

    // What a run does: choose the set, collect, put the installed directory
    // first, then record into the main set unless the locations came from the
    // alternate one, and into the alternate set when its file existed.
    Strings InstallInto(const std::string& installed) {
        const bool mainExists = PathExists(MainFile());
        const bool altExists = PathExists(AltFile());
        std::vector<WString> list;
        bool fromAlternate = false;
        if (mainExists) {
            CollectTemplateLocations(list, CONFIG_SET_MAIN);
        } else if (altExists) {
            CollectTemplateLocations(list, CONFIG_SET_ALTERNATE);
            fromAlternate = !list.empty();
        }
        const Strings collected = NarrowAll(list);
        list.insert(list.begin(), FromMultiByte(installed));
        if (!fromAlternate) RecordTemplateLocations(list, CONFIG_SET_MAIN);
        if (altExists) RecordTemplateLocations(list, CONFIG_SET_ALTERNATE);
        return collected;
    }
};

TEST_F(TemplateLocationsTest, PathsAreBuiltOnTheHomeDirectory) {
    ASSERT_EQ(setenv("HOME", "/home/u", 1), 0);
    EXPECT_EQ(ToMultiByteString(GetUserDataDirectory()), "/home/u/.vxk5/");
    EXPECT_EQ(ToMultiByteString(GetMainConfigPath()), "/home/u/.Vx/vxlstart/vxlstart.cfg");
    EXPECT_EQ(ToMultiByteString(GetAltConfigPath()), "/home/u/.Vx/vxlstartt/vxlstart.cfg");
    EXPECT_EQ(ToMultiByteString(GetDataDirConfigPath()), "/home/u/.vxk5//.Vx/vxlstart/vxlstart.cfg");
    EXPECT_EQ(ToMultiByteString(GetDefaultTemplateBase()), "/home/u/.vxk5/Vx/vxk5/");
    EXPECT_EQ(ToMultiByteString(GetDefaultTemplateDirectory()), "/home/u/.vxk5/Vx/vxk5/tmplts/");
    EXPECT_EQ(ToMultiByteString(GetPrimaryConfigPath(CONFIG_SET_MAIN)), "/home/u/.Vx/vxlstart/vxlstart.cfg");
    EXPECT_EQ(ToMultiByteString(GetPrimaryConfigPath(CONFIG_SET_ALTERNATE)), "/home/u/.Vx/vxlstartt/vxlstart.cfg");
}

TEST_F(TemplateLocationsTest, CollectsFromTheSetInOrderWithoutDuplicates) {
    EXPECT_TRUE(Collect(CONFIG_SET_MAIN).empty());

    Put(MainFile(), LocationLines({"/a/t", "/A/T/"}));
    EXPECT_EQ(Collect(CONFIG_SET_MAIN), Strings{"/a/t"});

    Put(MainFile(), LocationLines({"/a/t", "C:\\t"}) + "Other=/z\n");
    Put(DataDirFile(), LocationLines({"/b/t", "/A/T", "c:/t/"}));
    EXPECT_EQ(Collect(CONFIG_SET_MAIN), (Strings{"/a/t", "C:/t", "/b/t"}));

    // The alternate set reads the main file second.
    Put(AltFile(), LocationLines({"/x/t"}));
    EXPECT_EQ(Collect(CONFIG_SET_ALTERNATE), (Strings{"/x/t", "/a/t", "C:/t"}));
}

TEST_F(TemplateLocationsTest, DuplicatesCompareWithATrailingSeparator) {
    std::vector<WString> list = WideAll({"/a", "/A/", "/a\\", "", "", "/b\\", "/B\\", "/b/", "/c/", "/c"});
    RemoveDuplicateLocations(list);
    // "\" and "/" are not the same separator here; the items keep their text.
    EXPECT_EQ(NarrowAll(list), (Strings{"/a", "/a\\", "", "/b\\", "/b/", "/c/"}));
}

TEST_F(TemplateLocationsTest, OnlyMainFile) {
    Put(MainFile(), LocationLines({"/y/t"}) + "DefaultVersion=8\n");
    EXPECT_EQ(InstallInto("/x/t"), Strings{"/y/t"});
    EXPECT_EQ(ReadFile(MainFile()), LocationLines({"/x/t", "/y/t"}) + "DefaultVersion=8\n");
    EXPECT_FALSE(PathExists(AltFile()));
}

TEST_F(TemplateLocationsTest, MainAndDataDirectoryFiles) {
    Put(MainFile(), LocationLines({"/a/t"}));
    Put(DataDirFile(), LocationLines({"/b/t"}));
    EXPECT_EQ(InstallInto("/x/t"), (Strings{"/a/t", "/b/t"}));
    EXPECT_EQ(ReadFile(MainFile()), LocationLines({"/x/t", "/a/t", "/b/t"}));
    EXPECT_EQ(ReadFile(DataDirFile()), LocationLines({"/b/t"}));  // never written
}

TEST_F(TemplateLocationsTest, OnlyAlternateFileRewritesOnlyIt) {
    Put(AltFile(), LocationLines({"/x/t"}));
    EXPECT_EQ(InstallInto("/n/t"), Strings{"/x/t"});
    EXPECT_EQ(ReadFile(AltFile()), LocationLines({"/n/t", "/x/t"}));
    EXPECT_FALSE(PathExists(Home(".Vx/vxlstart")));
}

TEST_F(TemplateLocationsTest, MainAndAlternateFilesAreBothRewritten) {
    Put(MainFile(), "InstalledLocation=/opt/m\n" + LocationLines({"/m/t"}));
    Put(AltFile(), LocationLines({"/alt/t"}) + "InstalledLocation=/opt/a\n");
    EXPECT_EQ(InstallInto("/n/t"), Strings{"/m/t"});
    EXPECT_EQ(ReadFile(MainFile()), "InstalledLocation=/opt/m\n" + LocationLines({"/n/t", "/m/t"}));
    EXPECT_EQ(ReadFile(AltFile()), LocationLines({"/n/t", "/m/t"}) + "InstalledLocation=/opt/a\n");
}

TEST_F(TemplateLocationsTest, InstalledDirectoryKeepsItsPlaceAtTheFront) {
    // The caller strips one trailing "/" from /x/t/ before recording.
    Put(MainFile(), "configurationtemplateslocation=/x/t\n" + LocationLines({"/y/t"}));
    InstallInto("/x/t");
    EXPECT_EQ(ReadFile(MainFile()), "configurationtemplateslocation=/x/t\nconfigurationtemplateslocation=/y/t\n");

    RecordTemplateLocations(WideAll({"/y/t/", "/x/t", "/Y/T"}), CONFIG_SET_MAIN);
    EXPECT_EQ(ReadFile(MainFile()), "configurationtemplateslocation=/y/t/\nconfigurationtemplateslocation=/x/t\n");
}

TEST_F(TemplateLocationsTest, RecordingIntoMissingMainFileCreatesItsDirectory) {
    RecordTemplateLocations(WideAll({"/x/t"}), CONFIG_SET_MAIN);
    EXPECT_TRUE(IsDirectory(Home(".Vx/vxlstart")));
    EXPECT_EQ(ReadFile(MainFile()), LocationLines({"/x/t"}));
}

TEST_F(TemplateLocationsTest, SecondFailedWriteReachesTheCaller) {
    MakeDirectories(MainFile());  // a directory where the file should be
    try {
        RecordTemplateLocations(WideAll({"/x/t"}), CONFIG_SET_MAIN);
        FAIL() << "no error raised";
    } catch (const ConfigWriteError& error) {
        EXPECT_EQ(error.code, CONFIG_WRITE_NOT_CREATED);
    }
    EXPECT_TRUE(IsDirectory(MainFile()));
}

}  // namespace
