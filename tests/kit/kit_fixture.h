#pragma once
// A fixture whose TMPDIR is a private directory, so that every unpacked
// container of a test can be found and counted there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/conversion.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/kit/kit_test_util.h"

class KitTest : public ::testing::Test {
protected:
    // Writes `bytes` as a kit file and returns its path.
    WString Kit(const std::string& bytes, const std::string& name = "kit.efd") {
        WriteFile(tmp_.path(name), bytes);
        return FromMultiByte(tmp_.path(name));
    }
    size_t ContainerCount() const { return ContainerFiles(tmp_.path("tmp")).size(); }

    TempDir tmp_;

private:
    RedirectedDirectory tmpdir_{"TMPDIR", tmp_.path("tmp")};
};
