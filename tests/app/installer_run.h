#pragma once
// A sandbox for running the real installer: its own HOME and TMPDIR, a copy
// of the program beside a kit made with the kit tool, and a stub xdg-open
// first on PATH that records its arguments.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "process_runner.h"
#include "tests/support/temp_dir.h"

class InstallerRun : public ::testing::Test {
protected:
    InstallerRun();
    // Makes the sandbox's directories, program and stub (the constructor
    // does; again after a file system is mounted over temp_).
    void MakeSandbox();

    std::string Home() const { return temp_.path("home"); }
    std::string Tmp() const { return temp_.path("tmp"); }
    std::string AppDir() const { return temp_.path("app"); }
    std::string Kit() const { return AppDir() + "/vxk5.efd"; }
    std::string DefaultTemplates() const { return Home() + "/.vxk5/Vx/vxk5/tmplts/"; }
    std::string MainConfig() const { return Home() + "/.Vx/vxlstart/vxlstart.cfg"; }
    std::string Opened() const { return ReadFile(temp_.path("opened")); }
    std::string Errors() const { return ReadFile(temp_.path("stderr")); }

    // A small template tree with a nested folder and an English description.
    void WriteSampleTree(const std::string& root, int extraFiles = 0);
    // Packs `source` into the kit beside the program. Extra arguments go to the tool.
    void MakeKit(const std::string& source, std::vector<std::string> extra = {});
    // Records `directory` as the launcher's first template location.
    void RecordLocation(const std::string& directory);

    // Starts the installer with `arguments`; `display` keeps DISPLAY for it.
    // `environment_` ("NAME=value") is added to its environment, replacing
    // a variable of the same name.
    void Start(const std::vector<std::string>& arguments, bool display, const std::string& directory = "");
    // Waits for the installer to end; its exit status, or -1.
    int Finish(int seconds = 60);

    // Files (relative names) with their bytes, below `root`; directories end in "/".
    static std::string Snapshot(const std::string& root);
    // Entries of the temporary directory left by the installer (unpacked kits, backups).
    std::vector<std::string> Leftovers() const;

    TempDir temp_;
    std::vector<std::string> environment_;
    std::unique_ptr<ChildProcess> child_;
};
