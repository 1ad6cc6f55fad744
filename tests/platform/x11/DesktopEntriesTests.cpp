// Desktop entries, which need no X server: reading application entries and their command lines,
// scanning the data folders, finding the entry of a window class; and the login entry the desktop
// writes into the autostart folder, whose Exec value reads back as the exact program path.
#include "platform/x11/DesktopEntries.h"
#include "platform/x11/X11LoginItems.h"

#include "platform/sim/SimProcessInfo.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvane::x11 {
namespace {

namespace fs = std::filesystem;

using testing::TempFolder;

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
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

TEST(X11LoginItems, theEntryLivesInTheAutostartFolderOfTheConfigHome) {
    TempFolder tmp;
    sim::SimProcessInfo process;
    X11LoginItems items(process);
    EXPECT_THROW(items.location("com.korvane.launch"), fs::filesystem_error);

    process.setEnvironment("HOME", (tmp.path() / "home").string());
    EXPECT_EQ(items.location("com.korvane.launch"),
              tmp.path() / "home/.config/autostart/com.korvane.launch.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(items.location("l"), tmp.path() / "home/.config/autostart/l.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", (tmp.path() / "config").string());
    const fs::path entry = tmp.path() / "config/autostart/com.korvane.launch.desktop";
    EXPECT_EQ(items.location("com.korvane.launch"), entry);

    EXPECT_NO_THROW(items.uninstall("com.korvane.launch"));
    items.install({"com.korvane.launch", "/opt/Korvane/bin/korvane"});
    EXPECT_EQ(contents(entry),
              "[Desktop Entry]\nType=Application\nName=korvane\nExec=/opt/Korvane/bin/korvane\n");
    EXPECT_TRUE(items.isInstalled("com.korvane.launch"));
    items.uninstall("com.korvane.launch");
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(items.isInstalled("com.korvane.launch"));
}

TEST(X11LoginItems, execValuesReadBackAsTheExactProgramPath) {
    const std::vector<std::string> paths = {
        "/usr/bin/korvane", "/opt/My App/korvane",  "/a/100%/b",           "/q$x\\y\"z`w'", "/new\nline",
        "/tab\there",       "/semi;colon&and|pipe", "/paren(s)#hash*?~<>",
    };
    for (const auto& path : paths) {
        auto entry = DesktopEntries::parse(X11LoginItems::desktopEntry({"com.korvane.launch", path}),
                                           "com.korvane.launch", "/x/com.korvane.launch.desktop");
        ASSERT_TRUE(entry.has_value()) << path;
        EXPECT_EQ(DesktopEntries::commandLine(*entry), std::vector<std::string>{path}) << entry->exec;
    }
    EXPECT_EQ(X11LoginItems::execValue("/opt/My App/run"), "\"/opt/My App/run\"");
    EXPECT_EQ(X11LoginItems::execValue("/a\\b"), "\"/a\\\\\\\\b\"");
}

} // namespace
} // namespace korvane::x11
