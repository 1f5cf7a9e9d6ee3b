#pragma once
// A fixture whose TMPDIR is a private directory, so that every unpacked
// container of a test can be found and counted there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/conversion.h"
#include "tests/support/temp_dir.h"
#include "tests/kit/kit_test_util.h"

class KitTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadTmpdir_ = old != nullptr;
        if (hadTmpdir_) oldTmpdir_ = old;
        MakeDirectories(tmp_.path("tmp"));
        setenv("TMPDIR", tmp_.path("tmp").c_str(), 1);
    }
    void TearDown() override {
        if (hadTmpdir_) {
            setenv("TMPDIR", oldTmpdir_.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    // Writes `bytes` as a kit file and returns its path.
    WString Kit(const std::string& bytes, const std::string& name = "kit.efd") {
        WriteFile(tmp_.path(name), bytes);
        return FromMultiByte(tmp_.path(name));
    }
    size_t ContainerCount() const { return ContainerFiles(tmp_.path("tmp")).size(); }

    TempDir tmp_;

private:
    bool hadTmpdir_ = false;
    std::string oldTmpdir_;
};
