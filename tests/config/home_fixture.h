#pragma once
// A private temporary directory with HOME pointing into it, so nothing touches
// the real home.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/conversion.h"
#include "base/wstring.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

using namespace vxk5;

class HomeFixture : public ::testing::Test {
protected:
    std::string Home(const std::string& relative) const { return home_ + "/" + relative; }

    TempDir tmp_;
    std::string home_ = tmp_.path("home");

private:
    RedirectedDirectory homeVariable_{"HOME", home_};
};
