// The application-support folder: its choice from the environment, creation, reuse and failures.
#include "core/AppSupport.h"

#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace korvane;
using korvane::sim::ScopedSimDesktop;
using korvane::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

using Env = std::optional<std::string>;

// A fresh desktop whose process runs in `folder` with these variables.
fs::path appSupportWith(const fs::path& folder, Env korvaneHome, Env xdg, Env home) {
    ScopedSimDesktop platform;
    platform->process().setCurrentDirectory(folder.string());
    for (const auto& [name, value] :
         {std::pair{"KORVANE_HOME", korvaneHome}, {"XDG_CONFIG_HOME", xdg}, {"HOME", home}})
        if (value) platform->process().setEnvironment(name, *value);
    return appSupportDirectory();
}

TEST(AppSupportDirectory, environmentPrecedence) {
    TempFolder tmp;
    const std::string root = tmp.path().string();
    // KORVANE_HOME, XDG_CONFIG_HOME, HOME, the folder chosen (below root)
    const std::tuple<Env, Env, Env, std::string> rows[] = {
        {root + "/kh", root + "/xdg", root + "/home", "kh"},
        {"", root + "/xdg", root + "/home", "xdg/Korvane"}, // empty is unset
        {std::nullopt, root + "/xdg", root + "/home", "xdg/Korvane"},
        {std::nullopt, "rel/xdg", root + "/home", "home/.config/Korvane"}, // a relative XDG folder is ignored
        {std::nullopt, std::nullopt, root + "/home", "home/.config/Korvane"},
        {"state/k", std::nullopt, std::nullopt,
         "state/k"}, // a relative KORVANE_HOME is taken from the current folder
    };
    for (const auto& [korvaneHome, xdg, home, expected] : rows) {
        const fs::path got = appSupportWith(tmp.path(), korvaneHome, xdg, home);
        EXPECT_EQ(got, tmp.path() / expected);
        EXPECT_TRUE(fs::is_directory(got)) << expected;
    }
}

TEST(AppSupportDirectory, failuresAreThrown) {
    TempFolder tmp;
    EXPECT_THROW(appSupportWith(tmp.path(), {}, {}, {}), fs::filesystem_error) << "nothing set at all";
    std::ofstream(tmp.path() / "file") << "x";
    EXPECT_THROW(appSupportWith(tmp.path(), "file", {}, {}), fs::filesystem_error) << "a file stands there";
}

} // namespace
