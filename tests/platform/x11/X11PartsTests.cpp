// Parts of the real desktop that need no X server: desktop entries, size increments, the persisted user
// defaults, the process's own facts.
#include "platform/x11/DesktopEntries.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11Query.h"
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

using testing::TempFolder;

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DesktopEntries, anApplicationEntryIsReadFromItsGroupOnly) {
    auto e = DesktopEntries::parse(
        "# comment\n[Desktop Entry]\nType=Application\nName=Editor\nName[de]=Bearbeiter\n"
        "Exec=editor %U\nIcon=editor\nStartupWMClass=Ed\n[Desktop Action New]\nName=New "
        "window\nExec=editor --new\n",
        "org.example.Editor", "/x/org.example.Editor.desktop");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->name, "Editor");
    EXPECT_EQ(e->exec, "editor %U");
    EXPECT_EQ(e->startupWMClass, "Ed");
    // Not applications, hidden, or without a command: nothing to launch.
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Link\nName=L\nExec=x\n", "l", "").has_value());
    EXPECT_FALSE(
        DesktopEntries::parse("[Desktop Entry]\nType=Application\nName=H\nExec=x\nHidden=true\n", "h", "")
            .has_value());
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Application\nName=N\n", "n", "").has_value());
}

TEST(DesktopEntries, commandLinesUndoQuotingAndExpandFieldCodes) {
    struct Row {
        std::string exec;
        std::optional<std::vector<std::string>> argv;
    };
    const std::vector<Row> rows = {
        {"xterm -e cat", std::vector<std::string>{"xterm", "-e", "cat"}},
        {"editor %U", std::vector<std::string>{"editor"}},
        {"editor --file=%f", std::vector<std::string>{"editor", "--file="}},
        {"\"/opt/My App/run\" --title \"say \\\"hi\\\"\"",
         std::vector<std::string>{"/opt/My App/run", "--title", "say \"hi\""}},
        {"app %i --name %c --from %k 100%%",
         std::vector<std::string>{"app", "--icon", "app-icon", "--name", "App", "--from", "/e/app.desktop",
                                  "100%"}},
        {"\"%U\"", std::vector<std::string>{""}},
        {"\"unterminated", std::nullopt},
        {"%U", std::nullopt},
    };
    for (const auto& row : rows) {
        DesktopEntry e{"app", "/e/app.desktop", "App", row.exec, "app-icon", ""};
        EXPECT_EQ(DesktopEntries::commandLine(e), row.argv) << row.exec;
    }
}

TEST(DesktopEntries, scanningPrefersEarlierFoldersAndMatchesWindowClasses) {
    TempFolder home, system;
    fs::create_directories(home.path() / "applications");
    fs::create_directories(system.path() / "applications" / "kde");
    std::ofstream(home.path() / "applications" / "term.desktop")
        << "[Desktop Entry]\nType=Application\nName=My Terminal\nExec=xterm\nStartupWMClass=XTerm\n";
    std::ofstream(system.path() / "applications" / "term.desktop")
        << "[Desktop Entry]\nType=Application\nName=System Terminal\nExec=xterm\n";
    std::ofstream(system.path() / "applications" / "hidden.desktop")
        << "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\n";
    std::ofstream(home.path() / "applications" / "hidden.desktop")
        << "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\nHidden=true\n";
    std::ofstream(system.path() / "applications" / "kde" / "org.kde.Dolphin.desktop")
        << "[Desktop Entry]\nType=Application\nName=Dolphin\nExec=dolphin %u\n";
    std::ofstream(system.path() / "applications" / "notes.desktop")
        << "[Desktop Entry]\nType=Application\nName=Notes\nExec=/usr/bin/notes-app --new\n";

    auto entries = DesktopEntries::scan({home.path().string(), system.path().string()});
    EXPECT_EQ(entries.entries().size(), 3u);
    EXPECT_EQ(entries.byID("term")->name, "My Terminal");
    EXPECT_FALSE(entries.byID("hidden").has_value()); // hidden by the earlier folder
    ASSERT_TRUE(entries.byID("kde-org.kde.Dolphin").has_value());

    EXPECT_EQ(entries.forWindowClass("xterm", "XTerm")->id, "term");                    // StartupWMClass
    EXPECT_EQ(entries.forWindowClass("dolphin", "dolphin")->id, "kde-org.kde.Dolphin"); // last part of the id
    EXPECT_EQ(entries.forWindowClass("notes-app", "Notes-app")->id, "notes");           // the command
    EXPECT_FALSE(entries.forWindowClass("unknown", "Unknown").has_value());
}

TEST(SizeHints, aRequestedSizeSnapsDownToWholeIncrementsWithinTheLimits) {
    SizeHints xterm; // as xterm declares itself: cells of 6 × 13 over a base of 4 × 4
    xterm.baseWidth = xterm.baseHeight = 4;
    xterm.widthInc = 6;
    xterm.heightInc = 13;
    xterm.minWidth = 10;
    xterm.minHeight = 17;
    struct Row {
        double w, h;
        Size expected;
    };
    const Row rows[] = {
        {484, 316, {484, 316}}, // exactly on a step
        {489, 328, {484, 316}}, // just below the next step
        {490, 329, {490, 329}}, // exactly the next step
        {1, 1, {10, 17}},       // below the minimum
    };
    for (const auto& row : rows)
        EXPECT_EQ(xterm.constrain(row.w, row.h), row.expected) << row.w << "x" << row.h;
    SizeHints capped;
    capped.maxWidth = 300;
    capped.maxHeight = 200;
    EXPECT_EQ(capped.constrain(1000, 100), (Size{300, 100}));
}

TEST(X11UserDefaults, valuesPersistAcrossInstancesInTheApplicationSupportFolder) {
    TempFolder folder;
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
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(support))
        files.insert(e.path().filename().string());
    EXPECT_EQ(files, std::set<std::string>{"user-defaults.json"});
}

TEST(X11UserDefaults, anUnreadableFileIsKeptAsideBeforeItIsReplaced) {
    TempFolder folder;
    sim::ScopedLogCapture capture;
    std::ofstream(folder.path() / "user-defaults.json") << "{ not json";
    X11UserDefaults defaults(folder.path());
    EXPECT_FALSE(defaults.object("anything").has_value());
    EXPECT_TRUE(capture.log().contains("Could not read user defaults"));
    defaults.set("k", 1);
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(folder.path()))
        if (e.path().filename().string().rfind("user-defaults.json.unreadable-", 0) == 0)
            kept.push_back(e.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(slurp(kept[0]), "{ not json");
    EXPECT_EQ(nlohmann::json::parse(slurp(folder.path() / "user-defaults.json")), nlohmann::json({{"k", 1}}));
}

// Sets a variable for the scope of a test and puts back what was there.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() { saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(X11UserDefaults, theFolderFollowsTheEnvironment) {
    ScopedEnv korvaneHome("KORVANE_HOME", "/k/home"), config("XDG_CONFIG_HOME", "/x/config"), home("HOME", "/h");
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
    EXPECT_EQ(info.currentDirectory(), fs::current_path().string());
    EXPECT_EQ(info.environment("PATH"), std::optional<std::string>(std::getenv("PATH")));
    EXPECT_FALSE(info.environment("KORVANE_SURELY_UNSET_VARIABLE").has_value());

    const std::regex v4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string uuid = info.makeUUID();
        EXPECT_TRUE(std::regex_match(uuid, v4)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 100u);
    std::array<unsigned char, 16> zeros{};
    EXPECT_EQ(X11ProcessInfo::formatUUID(zeros), "00000000-0000-4000-8000-000000000000");
}

TEST(X11Desktop, aServerThatCannotBeReachedIsReportedByName) {
    std::string error;
    auto desktop = X11Desktop::connect(":65000", error);
    EXPECT_EQ(desktop, nullptr);
    EXPECT_NE(error.find("\":65000\""), std::string::npos) << error;
}

} // namespace
} // namespace korvane::x11
