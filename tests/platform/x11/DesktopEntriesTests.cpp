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
using Argv = std::optional<std::vector<std::string>>;

// An application entry of `body` at `folder`/applications/`name`.desktop.
void writeEntry(const fs::path& folder, const std::string& name, const std::string& body) {
    fs::create_directories((folder / "applications" / name).parent_path());
    std::ofstream(folder / "applications" / (name + ".desktop")) << "[Desktop Entry]\nType=Application\n"
                                                                 << body;
}

TEST(DesktopEntries, anApplicationEntryIsReadFromItsGroupOnly) {
    auto e = DesktopEntries::parse(
        "# comment\n[Desktop Entry]\nType=Application\nName=Editor\nName[de]=Bearbeiter\n"
        "Exec=editor %U\nIcon=editor\nStartupWMClass=Ed\n[Desktop Action New]\nName=New window\nExec=editor "
        "--new\n",
        "org.example.Editor", "/x/org.example.Editor.desktop");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->name, "Editor");
    EXPECT_EQ(e->exec, "editor %U");
    EXPECT_EQ(e->startupWMClass, "Ed");
    // Not applications, hidden, or without a command: nothing to launch.
    for (const char* text : {"Type=Link\nName=L\nExec=x\n", "Type=Application\nName=H\nExec=x\nHidden=true\n",
                             "Type=Application\nName=N\n"})
        EXPECT_FALSE(DesktopEntries::parse(std::string("[Desktop Entry]\n") + text, "x", "").has_value())
            << text;
}

TEST(DesktopEntries, commandLinesUndoQuotingAndExpandFieldCodes) {
    const std::vector<std::pair<std::string, Argv>> rows = {
        {"xterm -e cat", Argv({"xterm", "-e", "cat"})},
        {"editor %U", Argv({"editor"})},
        {"editor --file=%f", Argv({"editor", "--file="})},
        {"\"/opt/My App/run\" --title \"say \\\"hi\\\"\"",
         Argv({"/opt/My App/run", "--title", "say \"hi\""})},
        {"app %i --name %c --from %k 100%%",
         Argv({"app", "--icon", "app-icon", "--name", "App", "--from", "/e/app.desktop", "100%"})},
        {"\"%U\"", Argv({""})},
        {"\"unterminated", std::nullopt},
        {"%U", std::nullopt},
    };
    for (const auto& [exec, argv] : rows)
        EXPECT_EQ(DesktopEntries::commandLine({"app", "/e/app.desktop", "App", exec, "app-icon", ""}), argv)
            << exec;
}

TEST(DesktopEntries, scanningPrefersEarlierFoldersAndMatchesWindowClasses) {
    testing::TempFolder home, system;
    writeEntry(home.path(), "term", "Name=My Terminal\nExec=xterm\nStartupWMClass=XTerm\n");
    writeEntry(system.path(), "term", "Name=System Terminal\nExec=xterm\n");
    writeEntry(system.path(), "hidden", "Name=Gone\nExec=gone\n");
    writeEntry(home.path(), "hidden", "Name=Gone\nExec=gone\nHidden=true\n");
    writeEntry(system.path(), "kde/org.kde.Dolphin", "Name=Dolphin\nExec=dolphin %u\n");
    writeEntry(system.path(), "notes", "Name=Notes\nExec=/usr/bin/notes-app --new\n");

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

// Installing and removing the file is the common login items' part, proven with the simulated desktop.
TEST(X11LoginItems, theEntryLivesInTheAutostartFolderOfTheConfigHome) {
    testing::TempFolder tmp;
    sim::SimProcessInfo process;
    X11LoginItems items(process);
    EXPECT_THROW(items.location("l"), fs::filesystem_error);
    process.setEnvironment("HOME", (tmp.path() / "home").string());
    EXPECT_EQ(items.location("l"), tmp.path() / "home/.config/autostart/l.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(items.location("l"), tmp.path() / "home/.config/autostart/l.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", (tmp.path() / "config").string());
    const fs::path entry = tmp.path() / "config/autostart/com.korvane.launch.desktop";
    EXPECT_EQ(items.location("com.korvane.launch"), entry);

    items.install({"com.korvane.launch", "/opt/Korvane/bin/korvane"});
    std::stringstream written;
    written << std::ifstream(entry).rdbuf();
    EXPECT_EQ(written.str(),
              "[Desktop Entry]\nType=Application\nName=korvane\nExec=/opt/Korvane/bin/korvane\n");
}

TEST(X11LoginItems, execValuesReadBackAsTheExactProgramPath) {
    for (const std::string path :
         {"/usr/bin/korvane", "/opt/My App/korvane", "/a/100%/b", "/q$x\\y\"z`w'", "/new\nline", "/tab\there",
          "/semi;colon&and|pipe", "/paren(s)#hash*?~<>"}) {
        auto entry = DesktopEntries::parse(X11LoginItems::desktopEntry({"com.korvane.launch", path}),
                                           "com.korvane.launch", "/x/com.korvane.launch.desktop");
        ASSERT_TRUE(entry.has_value()) << path;
        EXPECT_EQ(DesktopEntries::commandLine(*entry), Argv({path})) << entry->exec;
    }
    EXPECT_EQ(X11LoginItems::execValue("/opt/My App/run"), "\"/opt/My App/run\"");
    EXPECT_EQ(X11LoginItems::execValue("/a\\b"), "\"/a\\\\\\\\b\"");
}

} // namespace
} // namespace korvane::x11
