// A simulated desktop whose application-support folder is a fresh temporary folder, with small file
// helpers, for the tests of the stores that keep their files there.
#pragma once

#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace korvane::testing {

class SupportFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { desktop->process().setEnvironment("KORVANE_HOME", home.string()); }

    std::filesystem::path layouts() const { return home / "Layouts"; }
    std::filesystem::path scenes() const { return home / "scenes"; }

    static void write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // Every file below `folder` (relative name -> contents), to compare before and after.
    static std::map<std::string, std::string> snapshot(const std::filesystem::path& folder) {
        std::map<std::string, std::string> files;
        if (!std::filesystem::exists(folder)) return files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                files[std::filesystem::relative(e.path(), folder).string()] = read(e.path());
        return files;
    }

    sim::ScopedSimDesktop desktop;
    TempFolder folder;
    std::filesystem::path home = folder.path();
};

} // namespace korvane::testing
