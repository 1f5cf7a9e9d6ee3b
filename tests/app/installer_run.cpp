#include "installer_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

InstallerRun::InstallerRun() { MakeSandbox(); }

void InstallerRun::MakeSandbox() {
    MakeDirectories(Home());
    MakeDirectories(Tmp());
    MakeDirectories(AppDir());
    MakeDirectories(temp_.path("bin"));
    fs::copy_file(VXK5_SETUP_PATH, AppDir() + "/vxk5-setup");
    const std::string stub = temp_.path("bin/xdg-open");
    WriteFile(stub, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + temp_.path("opened") + "'\n");
    chmod(stub.c_str(), 0755);
}

void InstallerRun::WriteSampleTree(const std::string& root, int extraFiles) {
    MakeDirectories(root + "/doc");
    MakeDirectories(root + "/forms/letters");
    WriteFile(root + "/doc/readme.html", "<html><body>Sample templates</body></html>\n");
    WriteFile(root + "/forms/invoice.tpl", "invoice template\n");
    WriteFile(root + "/forms/letters/letter.tpl", "letter template\n");
    WriteFile(root + "/settings.cfg", "a=b\n");
    if (extraFiles > 0) MakeDirectories(root + "/bulk");
    for (int i = 0; i < extraFiles; ++i) {
        WriteFile(root + "/bulk/file" + std::to_string(i) + ".tpl", std::string(4096, static_cast<char>('a' + i % 26)));
    }
}

void InstallerRun::MakeKit(const std::string& source, std::vector<std::string> extra) {
    std::vector<std::string> argv = {VXK5_KIT_TOOL, "create", source, "-o", Kit(), "--lang", "en",
                                     "--product", "Sample Templates", "--vendor", "Example Ltd",
                                     "--description", "doc/readme.html"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string output;
    ASSERT_EQ(RunProgram(argv, &output), 0) << output;
}

void InstallerRun::RecordLocation(const std::string& directory) {
    MakeDirectories(Home() + "/.Vx/vxlstart");
    WriteFile(MainConfig(), "ConfigurationTemplatesLocation=" + directory + "\n");
}

void InstallerRun::Start(const std::vector<std::string>& arguments, bool display, const std::string& directory) {
    std::vector<std::string> argv = {AppDir() + "/vxk5-setup"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = {"HOME=" + Home(), "TMPDIR=" + Tmp(),
                                    "PATH=" + temp_.path("bin") + ":/usr/local/bin:/usr/bin:/bin"};
    if (display) {
        if (const char* d = std::getenv("DISPLAY")) env.push_back(std::string("DISPLAY=") + d);
        if (const char* x = std::getenv("XAUTHORITY")) env.push_back(std::string("XAUTHORITY=") + x);
    }
    for (const char* name : {"LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        if (const char* v = std::getenv(name)) env.push_back(std::string(name) + "=" + v);
    }
    // An entry of environment_ replaces one of the same name (TMPDIR, say).
    for (const std::string& entry : environment_) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&name](const std::string& e) { return e.compare(0, name.size(), name) == 0; }),
                  env.end());
        env.push_back(entry);
    }
    child_ = std::make_unique<ChildProcess>(argv, env, "", temp_.path("stderr"), directory);
    ASSERT_TRUE(child_->Started());
}

int InstallerRun::Finish(int seconds) {
    int status = -1;
    if (!child_ || !child_->Wait(seconds, status)) return -1;
    return status;
}

std::string InstallerRun::Snapshot(const std::string& root) {
    std::ostringstream out;
    if (!fs::exists(root)) return "(missing)";
    std::vector<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        const std::string name = fs::relative(path, root).string();
        if (fs::is_directory(path)) {
            out << name << "/\n";
        } else {
            struct stat info {};
            stat(path.c_str(), &info);
            out << name << " [" << info.st_mtime << "] " << ReadFile(path.string()) << "\n";
        }
    }
    return out.str();
}

std::vector<std::string> InstallerRun::Leftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Tmp())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("edf", 0) == 0 || name.rfind("k5stp", 0) == 0 || name.rfind("Vx", 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}
