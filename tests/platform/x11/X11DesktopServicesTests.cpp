// The real desktop's services that need no X server: user defaults kept in the application-support
// folder, the process's own facts, and the report of a server that cannot be reached.
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11UserDefaults.h"

#include "platform/sim/LogCapture.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace korvane::x11 {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p).rdbuf();
    return s.str();
}

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.insert(e.path().filename().string());
    return out;
}

TEST(X11UserDefaults, valuesPersistAcrossInstancesInTheApplicationSupportFolder) {
    testing::TempFolder folder;
    const fs::path support = folder.path() / "Korvane";
    {
        X11UserDefaults defaults(support);
        EXPECT_FALSE(fs::exists(support)); // made with the first write
        defaults.set("Korvane.flag", true);
        defaults.set("Korvane.list", nlohmann::json::array({"a", "b"}));
        defaults.set("Korvane.gone", 3);
        defaults.remove("Korvane.gone");
    }
    X11UserDefaults reread(support);
    EXPECT_EQ(reread.boolValue("Korvane.flag"), std::optional<bool>(true));
    EXPECT_EQ(reread.stringList("Korvane.list"), std::optional<std::vector<std::string>>({"a", "b"}));
    EXPECT_FALSE(reread.object("Korvane.gone").has_value());
    // Only the file itself is left: no temporary from the atomic writes.
    EXPECT_EQ(filesIn(support), std::set<std::string>{"user-defaults.json"});
}

TEST(X11UserDefaults, anUnreadableFileIsKeptAsideBeforeItIsReplaced) {
    testing::TempFolder folder;
    sim::ScopedLogCapture capture;
    std::ofstream(folder.path() / "user-defaults.json") << "{ not json";
    X11UserDefaults defaults(folder.path());
    EXPECT_FALSE(defaults.object("anything").has_value());
    EXPECT_TRUE(capture.log().contains("Could not read user defaults"));
    defaults.set("k", 1);
    const auto files = filesIn(folder.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.rbegin()->starts_with("user-defaults.json.unreadable-")) << *files.rbegin();
    EXPECT_EQ(slurp(folder.path() / *files.rbegin()), "{ not json");
    EXPECT_EQ(nlohmann::json::parse(slurp(folder.path() / "user-defaults.json")), nlohmann::json({{"k", 1}}));
}

// Each test runs in a process of its own: the variables need no putting back.
TEST(X11UserDefaults, theFolderFollowsTheEnvironment) {
    ::setenv("KORVANE_HOME", "/k/home", 1);
    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(X11UserDefaults::applicationSupportFolder(), fs::path("/k/home"));
    ::unsetenv("KORVANE_HOME");
    EXPECT_EQ(X11UserDefaults::applicationSupportFolder(), fs::path("/x/config/Korvane"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(X11UserDefaults::applicationSupportFolder(), fs::path("/h/.config/Korvane"));
}

TEST(X11ProcessInfo, describesTheRunningProcessAndMakesRandomUUIDs) {
    X11ProcessInfo info;
    EXPECT_EQ(fs::path(info.executablePath()).filename(), "korvane_x11_tests");
    ASSERT_FALSE(info.arguments().empty());
    EXPECT_EQ(fs::path(info.arguments()[0]).filename(), "korvane_x11_tests");

    const std::regex v4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(std::regex_match(*seen.insert(info.makeUUID()).first, v4));
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(X11ProcessInfo::formatUUID({}), "00000000-0000-4000-8000-000000000000");
}

TEST(X11Desktop, aServerThatCannotBeReachedIsReportedByName) {
    std::string error;
    EXPECT_EQ(X11Desktop::connect(":65000", error), nullptr);
    EXPECT_NE(error.find("\":65000\""), std::string::npos) << error;
}

} // namespace
} // namespace korvane::x11
