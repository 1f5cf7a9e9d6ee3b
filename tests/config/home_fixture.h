#pragma once
// A private temporary directory with HOME pointing into it, so nothing touches
// the real home; plus conversions between test bytes and WString.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

class HomeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const char* home = std::getenv("HOME");
        hadHome_ = home != nullptr;
        if (hadHome_) savedHome_ = home;
        home_ = tmp_.path("home");
        MakeDirectories(home_);
        ASSERT_EQ(setenv("HOME", home_.c_str(), 1), 0);
    }

    void TearDown() override {
        if (hadHome_) setenv("HOME", savedHome_.c_str(), 1);
        else unsetenv("HOME");
    }

    std::string Home(const std::string& relative) const { return home_ + "/" + relative; }

    TempDir tmp_;
    std::string home_;

private:
    bool hadHome_ = false;
    std::string savedHome_;
};
