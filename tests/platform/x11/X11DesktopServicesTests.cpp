// The real desktop's services that need no X server: reading desktop entries and their command lines,
// scanning the data folders and finding the entry of a window class; the login entry written into the
// autostart folder, whose Exec value reads back as the exact program path; user defaults kept in the
// application-support folder; the process's own facts; and the report of a server that cannot be reached.
#include "platform/x11/DesktopEntries.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11LoginItems.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11UserDefaults.h"

#include "platform/AtomicFile.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimProcessInfo.h"
#include "support/FileModesHonoured.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

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
        // Inside quotes nothing is expanded: text quoted for a shell keeps its codes as they stand.
        {"\"%U\"", Argv({"%U"})},
        {"sh -c \"echo %c %k 100%%\"", Argv({"sh", "-c", "echo %c %k 100%%"})},
        {"app --name=\"%c\" --as=%c\"!\"", Argv({"app", "--name=%c", "--as=App!"})},
        {"\"unterminated", std::nullopt},
        {"%U", std::nullopt},
    };
    for (const auto& [exec, argv] : rows)
        EXPECT_EQ(DesktopEntries::commandLine({"app", "/e/app.desktop", "App", exec, "app-icon", ""}), argv)
            << exec;
}

// Each test runs in a process of its own: the variables need no putting back.
TEST(DesktopEntries, aTerminalEntryRunsInTheFirstTerminalEmulatorThatIsAProgram) {
    testing::TempFolder folder;
    const fs::path bin = folder.path() / "bin";
    fs::create_directories(bin / "a-folder");
    const auto program = [&](const std::string& name, fs::perms perms) {
        std::ofstream(bin / name) << "#!/bin/sh\n";
        fs::permissions(bin / name, perms);
        return (bin / name).string();
    };
    const std::string myTerm = program("my-term", fs::perms::owner_all);
    const std::string notRunnable = program("not-runnable", fs::perms::owner_read | fs::perms::owner_write);
    ::setenv("PATH", bin.c_str(), 1);
    const DesktopEntry entry{"top", "/e/top.desktop", "Top", "top -d 1", "", "", true};
    const auto terminalOf = [&] {
        return DesktopEntries::launchCommand(entry).value_or(std::vector<std::string>{});
    };

    const std::pair<std::optional<std::string>, std::string> rows[] = {
        {std::nullopt, "xterm"}, {myTerm, myTerm},
        {"my-term", "my-term"},  {(bin / "a-folder").string(), "xterm"},
        {"a-folder", "xterm"},   {notRunnable, "xterm"},
        {"", "xterm"},
    };
    for (const auto& [terminal, runsIn] : rows) {
        if (terminal)
            ::setenv("TERMINAL", terminal->c_str(), 1);
        else
            ::unsetenv("TERMINAL");
        EXPECT_EQ(terminalOf(), (std::vector<std::string>{runsIn, "-e", "top", "-d", "1"}))
            << terminal.value_or("(unset)");
    }
    // The system's choice comes first.
    program("x-terminal-emulator", fs::perms::owner_all);
    ::setenv("TERMINAL", myTerm.c_str(), 1);
    EXPECT_EQ(terminalOf().front(), "x-terminal-emulator");
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
    EXPECT_EQ(slurp(entry),
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
    EXPECT_EQ(X11LoginItems::execValue("/a\\b"), "\"/a\\\\\\\\b\"");
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

// Bytes that cannot be read cannot be copied: a copy of a file that fails with an I/O error while its size
// reads 0 would be empty. The file itself is renamed aside, and the lines say why and where it went.
TEST(X11UserDefaults, aFileWhoseBytesCannotBeReadIsMovedAsideWholeAtTheFirstChange) {
    // Why the file cannot be read, what is put in its place, and whether that is a link (to a file that
    // fails with an I/O error and whose size reads 0) or a file of the user's that they may not read.
    const std::tuple<const char*, std::function<void(const fs::path&)>, bool> rows[] = {
        {"(Input/output error)", [](const fs::path& file) { fs::create_symlink("/proc/self/mem", file); },
         true},
        {"(Permission denied)",
         [](const fs::path& file) {
             std::ofstream(file) << R"({"SDPEnabled":true})";
             fs::permissions(file, fs::perms::none);
         },
         false},
    };
    for (const auto& [why, plant, link] : rows) {
        SCOPED_TRACE(why);
        testing::TempFolder folder;
        sim::ScopedSimDesktop sim; // its wall clock gives the kept file's name
        sim::ScopedLogCapture capture;
        const fs::path file = folder.path() / "user-defaults.json";
        const fs::path kept = folder.path() / "user-defaults.json.unreadable-2026-05-28T20:26:40Z";
        plant(file);
        {
            korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
            X11UserDefaults defaults(folder.path());
            defaults.set("SDPEnabled", false);
        }
        const std::string reason = std::string(": it is not a readable file ") + why;
        EXPECT_TRUE(capture.log().contains("Could not read user defaults at " + file.string() + reason +
                                           "; starting empty"));
        EXPECT_TRUE(capture.log().contains("Kept unreadable " + file.string() + " as " + kept.string() +
                                           " before writing it again" + reason));
        std::error_code notALink;
        if (link)
            EXPECT_EQ(fs::read_symlink(kept, notALink), "/proc/self/mem") << "the link itself, not a copy";
        else
            EXPECT_EQ(slurp(kept), R"({"SDPEnabled":true})");
        EXPECT_EQ(nlohmann::json::parse(slurp(file)), nlohmann::json({{"SDPEnabled", false}}));
    }
}

// Nothing to keep, but the user put it there: the first write names what it replaces, the next say
// nothing more.
TEST(X11UserDefaults, aFIFOOrALinkToADeviceIsNamedOnceAsTheFirstWriteReplacesIt) {
    const std::pair<const char*, std::function<void(const fs::path&)>> rows[] = {
        {"(a FIFO)", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
        {"(a symbolic link to a character device)",
         [](const fs::path& file) { fs::create_symlink("/dev/null", file); }},
    };
    for (const auto& [why, plant] : rows) {
        SCOPED_TRACE(why);
        testing::TempFolder folder;
        sim::ScopedLogCapture capture;
        const fs::path file = folder.path() / "user-defaults.json";
        plant(file);
        X11UserDefaults defaults(folder.path());
        defaults.set("k", 1);
        defaults.set("k", 2);
        EXPECT_EQ(capture.log().count(file.string() + " is not a readable file " + why +
                                      ": writing a regular file in its place"),
                  1u);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
        EXPECT_EQ(nlohmann::json::parse(slurp(file)), nlohmann::json({{"k", 2}}));
    }
}

// Writing a value recurses once per level of it, and a huge file would be held and rewritten whole on
// every change: such a file is read as unreadable, as is one holding a number beyond a double, and the
// first change (a Preferences toggle) is stored after its bytes are kept aside.
TEST(X11UserDefaults, aFileNestedTooDeepOrOverSixteenMegabytesIsKeptAsideAtTheFirstChange) {
    const auto nested = [](int levels) {
        return R"({"SDPEnabled":true,"Deep":)" + std::string(levels, '[') + std::string(levels, ']') + "}";
    };
    const std::string large = R"({"SDPEnabled":true,"Long":")" + std::string(kMaxStoreFileSize, 'x') + "\"}";
    // The file, and whether it reads (the object is the first level, the value under "Deep" the second).
    const std::pair<std::string, bool> rows[] = {
        {nested(70'000), false}, {large, false},      {R"({"SDPEnabled":true,"Far":1e400})", false},
        {nested(510), true},     {nested(511), true}, {nested(512), false}};
    for (const auto& [bytes, readable] : rows) {
        SCOPED_TRACE(bytes.substr(0, 40) + "... of " + std::to_string(bytes.size()) + " bytes");
        testing::TempFolder folder;
        sim::ScopedLogCapture capture;
        std::ofstream(folder.path() / "user-defaults.json") << bytes;
        X11UserDefaults defaults(folder.path());
        EXPECT_EQ(defaults.boolValue("SDPEnabled"), readable ? std::optional<bool>(true) : std::nullopt);
        EXPECT_EQ(capture.log().contains("Could not read user defaults"), !readable);

        defaults.set("SDPEnabled", false);
        const auto files = filesIn(folder.path());
        const auto stored = nlohmann::json::parse(slurp(folder.path() / "user-defaults.json"));
        EXPECT_EQ(stored["SDPEnabled"], false);
        if (readable) {
            EXPECT_EQ(files.size(), 1u);
            continue;
        }
        EXPECT_EQ(stored, nlohmann::json({{"SDPEnabled", false}}));
        ASSERT_EQ(files.size(), 2u);
        EXPECT_TRUE(files.rbegin()->starts_with("user-defaults.json.unreadable-")) << *files.rbegin();
        EXPECT_TRUE(slurp(folder.path() / *files.rbegin()) == bytes) << "the user's bytes, whole";
    }
}

TEST(X11UserDefaults, aValueTooDeepToReadBackIsNotStored) {
    testing::TempFolder folder;
    sim::ScopedLogCapture capture;
    X11UserDefaults defaults(folder.path());
    defaults.set("Kept", 1);
    defaults.set("Deep", nlohmann::json::parse(std::string(512, '[') + std::string(512, ']')));
    EXPECT_FALSE(defaults.object("Deep").has_value());
    EXPECT_TRUE(capture.log().contains("Not storing user default Deep: nested deeper than 511 levels"));
    EXPECT_EQ(nlohmann::json::parse(slurp(folder.path() / "user-defaults.json")),
              nlohmann::json({{"Kept", 1}}));
}

TEST(X11UserDefaults, twoUnreadableFilesInOneSecondAreBothKept) {
    sim::ScopedSimDesktop sim; // its wall clock stands still: both copies are made in the same second
    testing::TempFolder folder;
    for (const char* damaged : {"{ first", "{ second"}) {
        std::ofstream(folder.path() / "user-defaults.json") << damaged;
        X11UserDefaults defaults(folder.path());
        defaults.set("k", 1);
    }
    const std::string kept = "user-defaults.json.unreadable-2026-05-28T20:26:40Z";
    EXPECT_EQ(filesIn(folder.path()), (std::set<std::string>{"user-defaults.json", kept, kept + "-2"}));
    EXPECT_EQ(slurp(folder.path() / kept), "{ first");
    EXPECT_EQ(slurp(folder.path() / (kept + "-2")), "{ second");
}

// A process killed while writing leaves its temporary file behind; a later write sweeps it once it is
// over a minute old, so that the folder does not fill up with them.
TEST(X11UserDefaults, aTemporaryLeftByAWriterKilledMidWriteIsSweptByALaterWrite) {
    testing::TempFolder folder;
    const fs::path left = folder.path() / ".user-defaults.json.tmp-1f2e3d-0";
    std::ofstream(left) << "{ half";
    fs::last_write_time(left, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    X11UserDefaults defaults(folder.path());
    defaults.set("k", 1);
    EXPECT_EQ(filesIn(folder.path()), std::set<std::string>{"user-defaults.json"});
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
