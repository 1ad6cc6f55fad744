// The application-support folder: its choice from the environment, creation, reuse and failures.
#include "core/AppSupport.h"

#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace korvane;
using korvane::sim::ScopedSimDesktop;
using korvane::testing::TempFolder;
namespace fs = std::filesystem;

TEST(AppSupportDirectory, environmentPrecedence) {
    TempFolder tmp;
    const std::string root = tmp.path().string();
    struct {
        const char* what;
        std::optional<std::string> korvaneHome, xdg, home;
        std::string expected; // relative to root
    } rows[] = {
        {"KORVANE_HOME wins", root + "/kh", root + "/xdg", root + "/home", "kh"},
        {"empty KORVANE_HOME is unset", "", root + "/xdg", root + "/home", "xdg/Korvane"},
        {"XDG_CONFIG_HOME next", std::nullopt, root + "/xdg", root + "/home", "xdg/Korvane"},
        {"relative XDG_CONFIG_HOME is ignored", std::nullopt, "rel/xdg", root + "/home",
         "home/.config/Korvane"},
        {"HOME last", std::nullopt, std::nullopt, root + "/home", "home/.config/Korvane"},
        {"relative KORVANE_HOME is taken from the current folder", "state/k", std::nullopt, std::nullopt,
         "state/k"},
    };
    for (const auto& r : rows) {
        ScopedSimDesktop platform;
        platform->process().setCurrentDirectory(root);
        if (r.korvaneHome) platform->process().setEnvironment("KORVANE_HOME", *r.korvaneHome);
        if (r.xdg) platform->process().setEnvironment("XDG_CONFIG_HOME", *r.xdg);
        if (r.home) platform->process().setEnvironment("HOME", *r.home);
        fs::path got = appSupportDirectory();
        EXPECT_EQ(got, tmp.path() / r.expected) << r.what;
        EXPECT_TRUE(fs::is_directory(got)) << r.what;
    }
}

TEST(AppSupportDirectory, firstCallCreatesLaterCallsReuseWithoutChange) {
    TempFolder tmp;
    ScopedSimDesktop platform;
    platform->process().setEnvironment("HOME", (tmp.path() / "user").string());
    fs::path expected = tmp.path() / "user/.config/Korvane";
    ASSERT_FALSE(fs::exists(tmp.path() / "user"));

    EXPECT_EQ(appSupportDirectory(), expected);
    ASSERT_TRUE(fs::is_directory(expected));
    std::ofstream(expected / "layouts.json") << "{}";
    fs::permissions(expected,
                    fs::perms::owner_read | fs::perms::owner_exec); // creating anything would fail now

    EXPECT_EQ(appSupportDirectory(), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(expected), fs::directory_iterator()), 1);
    fs::permissions(expected, fs::perms::owner_all);
}

TEST(AppSupportDirectory, failuresAreThrown) {
    TempFolder tmp;
    {
        ScopedSimDesktop platform; // nothing set at all
        EXPECT_THROW(appSupportDirectory(), fs::filesystem_error);
    }
    {
        ScopedSimDesktop platform;
        std::ofstream(tmp.path() / "file") << "x";
        platform->process().setEnvironment("KORVANE_HOME", (tmp.path() / "file").string());
        EXPECT_THROW(appSupportDirectory(), fs::filesystem_error)
            << "a file stands where the folder should be";
    }
    {
        ScopedSimDesktop platform;
        fs::create_directories(tmp.path() / "locked");
        fs::permissions(tmp.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        platform->process().setEnvironment("KORVANE_HOME", (tmp.path() / "locked/inner/k").string());
        if (::geteuid() != 0) {
            EXPECT_THROW(appSupportDirectory(), fs::filesystem_error) << "cannot create";
        }
        fs::permissions(tmp.path() / "locked", fs::perms::owner_all);
    }
}
