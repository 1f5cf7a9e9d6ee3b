// Configuration sets, collecting and recording template locations, and the
// paths they live at.

#include "base/conversion.h"
#include "config/template_locations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/config_paths.h"
#include "platform/file_entries.h"
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

    Strings Collect(ConfigurationSet selector) {
        std::vector<WString> list;
        CollectTemplateLocations(list, selector);
        return NarrowAll(list);
    }

    // What a run does: the locations of the set the launcher reads, then the
    // installed directory recorded first.
    Strings InstallInto(const std::string& installed) {
        TemplateLocations locations = TemplateLocations::Load();
        const Strings collected = NarrowAll(locations.Recorded());
        locations.Record(FromMultiByte(installed));
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
    EXPECT_EQ(ToMultiByteString(GetPrimaryConfigPath(ConfigurationSet::Main)), "/home/u/.Vx/vxlstart/vxlstart.cfg");
    EXPECT_EQ(ToMultiByteString(GetPrimaryConfigPath(ConfigurationSet::Alternate)), "/home/u/.Vx/vxlstartt/vxlstart.cfg");
}

TEST_F(TemplateLocationsTest, CollectsFromTheSetInOrderWithoutDuplicates) {
    EXPECT_TRUE(Collect(ConfigurationSet::Main).empty());

    Put(MainFile(), LocationLines({"/a/t", "/A/T/"}));
    EXPECT_EQ(Collect(ConfigurationSet::Main), Strings{"/a/t"});

    Put(MainFile(), LocationLines({"/a/t", "C:\\t"}) + "Other=/z\n");
    Put(DataDirFile(), LocationLines({"/b/t", "/A/T", "c:/t/"}));
    EXPECT_EQ(Collect(ConfigurationSet::Main), (Strings{"/a/t", "C:/t", "/b/t"}));

    // The alternate set reads the main file second.
    Put(AltFile(), LocationLines({"/x/t"}));
    EXPECT_EQ(Collect(ConfigurationSet::Alternate), (Strings{"/x/t", "/a/t", "C:/t"}));
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

    RecordTemplateLocations(WideAll({"/y/t/", "/x/t", "/Y/T"}), ConfigurationSet::Main);
    EXPECT_EQ(ReadFile(MainFile()), "configurationtemplateslocation=/y/t/\nconfigurationtemplateslocation=/x/t\n");
}

TEST_F(TemplateLocationsTest, RecordingIntoMissingMainFileCreatesItsDirectory) {
    RecordTemplateLocations(WideAll({"/x/t"}), ConfigurationSet::Main);
    EXPECT_TRUE(IsDirectory(Home(".Vx/vxlstart")));
    EXPECT_EQ(ReadFile(MainFile()), LocationLines({"/x/t"}));
}

TEST_F(TemplateLocationsTest, SecondFailedWriteReachesTheCaller) {
    MakeDirectories(MainFile());  // a directory where the file should be
    try {
        RecordTemplateLocations(WideAll({"/x/t"}), ConfigurationSet::Main);
        FAIL() << "no error raised";
    } catch (const ConfigWriteError& error) {
        EXPECT_EQ(error.code, CONFIG_WRITE_NOT_CREATED);
    }
    EXPECT_TRUE(IsDirectory(MainFile()));
}

}  // namespace

TEST_F(TemplateLocationsTest, ALocationIsMadeADirectoryPathOnce) {
    const std::string here = CurrentDirectory();
    const struct {
        const char* location;
        std::string expected;
    } cases[] = {
        {"/a/t", "/a/t"},
        {"/a/t/", "/a/t/"},                 // a trailing separator stays until the location is recorded
        {"  /a/t \t", "/a/t"},              // blanks around it are no part of it
        {"/a/t\r\n", "/a/t"},               // a CR LF file's line end
        {"\\a\\t", "/a/t"},
        {"file:///a/t", "/a/t"},
        {"http://host/t", ""},              // no directory
        {"~/t", home_ + "/t"},
        {" ~/t", home_ + "/t"},             // the same location once the blank is gone
        {"rel/t", here + "/rel/t"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ToMultiByteString(TemplateLocations::Normalise(FromMultiByte(AString(c.location)))), c.expected) << c.location;
}

TEST(TemplateLocationsForm, TheInstallationGetsTheDirectoryWithOneSeparator) {
    const auto stored = [](const WString& given) { return TemplateLocations::AsInstallTarget(given); };
    EXPECT_EQ(stored(u"/home/u/tmplts"), u"/home/u/tmplts/");
    EXPECT_EQ(stored(u"/home/u/tmplts/"), u"/home/u/tmplts/");
    EXPECT_EQ(stored(u"C:\\tmplts\\"), u"C:\\tmplts\\");
    EXPECT_EQ(stored(u""), u"");
    EXPECT_EQ(stored(u"/"), u"/");
}

TEST_F(TemplateLocationsTest, RecordedLocationsAreExpandedAndTheInstalledOneLosesItsTrailingSeparator) {
    Put(MainFile(), LocationLines({"~/y/t"}));
    TemplateLocations locations = TemplateLocations::Load();
    EXPECT_EQ(NarrowAll(locations.Recorded()), Strings{home_ + "/y/t"});
    locations.Record(FromMultiByte(AString("/x/t/")));
    EXPECT_EQ(ReadFile(MainFile()), LocationLines({"/x/t", home_ + "/y/t"}));
    EXPECT_EQ(NarrowAll(locations.Recorded()), (Strings{"/x/t", home_ + "/y/t"}));
}

TEST_F(TemplateLocationsTest, ATypedDirectoryLosesItsBlanksAndIsResolved) {
    const std::string here = CurrentDirectory();
    WString cleaned;
    WString directory = FromMultiByte(AString("(untouched)"));
    EXPECT_TRUE(TemplateLocations::ResolveTyped(FromMultiByte(AString("  ~\\t\\x \t")), cleaned, directory));
    EXPECT_EQ(ToMultiByteString(cleaned), "~/t/x");
    EXPECT_EQ(ToMultiByteString(directory), home_ + "/t/x");
    EXPECT_TRUE(TemplateLocations::ResolveTyped(FromMultiByte(AString("rel/x/")), cleaned, directory));
    EXPECT_EQ(ToMultiByteString(directory), here + "/rel/x/");
    EXPECT_TRUE(TemplateLocations::ResolveTyped(FromMultiByte(AString(" \t")), cleaned, directory));
    EXPECT_EQ(ToMultiByteString(cleaned), "");
    directory = FromMultiByte(AString("(untouched)"));
    EXPECT_FALSE(TemplateLocations::ResolveTyped(FromMultiByte(AString("~no-such-user-vxk5/x")), cleaned, directory));
    EXPECT_EQ(ToMultiByteString(cleaned), "~no-such-user-vxk5/x");
    EXPECT_EQ(ToMultiByteString(directory), "(untouched)");
}
