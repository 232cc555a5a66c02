#pragma once

// A temporary folder per test for the store's files.

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace storetest {

namespace fs = std::filesystem;

using ::ReadFile;
using ::WriteFile;

class StoreDirTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        WriteFile(dir_ / name, bytes);
        return Path(name);
    }

    TempDir temp_{"quillo-store"};
    fs::path dir_ = temp_.Path();
};

}  // namespace storetest
