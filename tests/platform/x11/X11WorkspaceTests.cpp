// The workspace on a real X server: running applications from the clients, activation, launching by
// bundle identifier through a desktop entry (a terminal one in a terminal, what the program writes kept
// out of the log), the launch / terminate / activate announcements, and script activation.
#include "X11Fixture.h"

#include "platform/Workspace.h"
#include "platform/x11/NetWMIcon.h"
#include "platform/x11/X11Workspace.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace korvane::x11::test {
namespace {

using namespace platform;
namespace fs = std::filesystem;

bool has(const std::vector<nlohmann::json>& heard, pid_t pid) {
    return std::ranges::any_of(heard, [&](const auto& info) { return info.value("pid", 0) == pid; });
}

using X11WorkspaceTest = X11Test;

TEST_F(X11WorkspaceTest, runningApplicationsAreTheClientsAndActivatingOneByPidOrScriptIsAnnounced) {
    std::vector<nlohmann::json> activated;
    const auto token = listen(kDidActivateApplication, activated);
    const auto a = xterm("Older");
    const auto b = xterm("Newer", "60x20+2300+200");
    auto& workspace = desktop->workspace();
    auto apps = workspace.runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].pid, a.pid); // in the order their windows were mapped
    EXPECT_EQ(apps[1].pid, b.pid);
    for (const auto& app : apps) {
        EXPECT_EQ(app.bundleID, std::optional<std::string>(kSampleBundleID)); // named by the desktop entry
        EXPECT_EQ(app.name, std::optional<std::string>(kSampleName));
        EXPECT_EQ(app.activationPolicy, ActivationPolicy::regular);
        EXPECT_FALSE(app.isHidden || app.isTerminated);
    }
    EXPECT_FALSE(workspace.runningApplication(::getpid()).has_value());
    ASSERT_TRUE(runUntil([&] { return has(activated, b.pid); }));
    EXPECT_EQ(workspace.frontmostApplication()->pid, b.pid);
    activated.clear();

    EXPECT_TRUE(workspace.activate(a.pid, kActivateIgnoringOtherApps));
    ASSERT_TRUE(runUntil([&] { return has(activated, a.pid); }));
    EXPECT_EQ(session().activeWindow(), a.window);
    EXPECT_FALSE(workspace.activate(999999, 0));

    // Unhiding an application whose windows are all minimised brings one back.
    desktop->accessibility().setAttribute(elementOf(b), "AXMinimized", true);
    EXPECT_TRUE(workspace.runningApplication(b.pid)->isHidden);
    EXPECT_TRUE(workspace.unhide(b.pid));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    EXPECT_EQ(session().wmState(b.window), 1);

    // The activation script: both xterms are the same application, and the first started is activated.
    auto script = [&](const std::string& id) {
        return workspace.runScript("tell application id \"" + id + "\"\n    activate\nend tell");
    };
    const auto result = script(kSampleBundleID);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.errorNumber, 0);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == a.window; }));
    EXPECT_NE(script("no.such.app").errorNumber, 0);
}

TEST_F(X11WorkspaceTest, launchingByBundleIdentifierRunsTheDesktopEntryAndIsAnnounced) {
    std::vector<nlohmann::json> launched, terminated;
    const auto launches = listen(kDidLaunchApplication, launched);
    const auto ends = listen(kDidTerminateApplication, terminated);
    EXPECT_EQ(desktop->workspace().urlForApplication(kSampleBundleID),
              std::optional<std::string>(dataHome() + "/applications/" + kSampleBundleID + ".desktop"));
    EXPECT_FALSE(desktop->workspace().urlForApplication("no.such.app").has_value());

    auto open = [&](const std::string& id, bool newInstance = false) {
        std::optional<OpenApplicationResult> result;
        const bool started = desktop->workspace().openApplication(
            id, true, newInstance, [&](OpenApplicationResult r) { result = r; });
        EXPECT_FALSE(result.has_value()); // completions run from the main queue, never inside the call
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }));
        EXPECT_EQ(started, result && !result->error) << "refused at once exactly when it fails";
        return result.value_or(OpenApplicationResult{});
    };
    const auto result = open(kSampleBundleID);
    ASSERT_TRUE(result.app.has_value()) << result.error.value_or("");
    const pid_t pid = result.app->pid;
    EXPECT_EQ(result.app->bundleID, std::optional<std::string>(kSampleBundleID));
    EXPECT_TRUE(has(launched, pid));

    // The window shows with the entry's title on the server the desktop is connected to.
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(runUntil([&] { return (window = session().clientOf(pid)).has_value(); }));
    AXValue title;
    ASSERT_EQ(desktop->accessibility().copyAttribute(elementOf({pid, *window}), "AXTitle", title),
              AXError::success);
    EXPECT_EQ(std::get<std::string>(title), "Launched by test");
    EXPECT_EQ(desktop->workspace().runningApplication(pid)->bundleID,
              std::optional<std::string>(kSampleBundleID));

    // Opened again it is the one running; started as a new instance, it is a second process with a
    // window of its own.
    EXPECT_EQ(open(kSampleBundleID).app.value_or(RunningApplication{}).pid, pid);
    const auto second = open(kSampleBundleID, true);
    ASSERT_TRUE(second.app.has_value()) << second.error.value_or("");
    EXPECT_NE(second.app->pid, pid);
    EXPECT_TRUE(runUntil([&] { return session().clientOf(second.app->pid).has_value(); }));
    ::kill(second.app->pid, SIGTERM);
    ASSERT_TRUE(runUntil([&] { return has(terminated, second.app->pid); }));

    ::kill(pid, SIGTERM);
    ASSERT_TRUE(runUntil([&] { return has(terminated, pid); }));
    EXPECT_FALSE(desktop->workspace().runningApplication(pid).has_value());

    const auto missing = open("no.such.app");
    EXPECT_FALSE(missing.app.has_value());
    EXPECT_TRUE(missing.error.has_value());
}

// Two entries of one small program that tells whether it has a terminal and writes to its output: a
// terminal entry runs in the user's terminal emulator, the other with no terminal; neither writes where
// this program's log goes (its standard output and error).
TEST_F(X11WorkspaceTest, aTerminalEntryRunsInATerminalAndNoStartedProgramWritesIntoTheLog) {
    const std::string probe = dataHome() + "/probe.sh";
    std::ofstream(probe) << "#!/bin/sh\necho probe-output\necho probe-error >&2\n"
                            "if [ -t 0 ]; then echo terminal > \"$1.tmp\"; else echo none > \"$1.tmp\"; fi\n"
                            "mv \"$1.tmp\" \"$1\"\n";
    fs::permissions(probe, fs::perms::owner_all);
    const std::map<std::string, bool> entries{{"korvane-probe-in-terminal", true},
                                              {"korvane-probe-plain", false}};
    for (const auto& [id, terminal] : entries)
        std::ofstream(dataHome() + "/applications/" + id + ".desktop")
            << "[Desktop Entry]\nType=Application\nName=Probe\nExec=" << probe << " " << dataHome() << "/"
            << id << ".out\nTerminal=" << (terminal ? "true" : "false") << "\n";
    const auto said = [&](const std::string& id) {
        std::ifstream in(dataHome() + "/" + id + ".out");
        std::string word;
        in >> word;
        return word;
    };

    // This process's output and error go to a file while the programs run.
    const std::string logFile = dataHome() + "/log.txt";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(log, 1);
    ::dup2(log, 2);
    std::vector<bool> started;
    for (const auto& [id, terminal] : entries)
        started.push_back(desktop->workspace().openApplication(id, false, false, {}));
    const bool ran = runUntil(
        [&] { return !said("korvane-probe-in-terminal").empty() && !said("korvane-probe-plain").empty(); },
        seconds(20));
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    ::close(log);

    EXPECT_EQ(started, (std::vector<bool>{true, true}));
    ASSERT_TRUE(ran);
    EXPECT_EQ(said("korvane-probe-in-terminal"), "terminal");
    EXPECT_EQ(said("korvane-probe-plain"), "none");
    std::ifstream written(logFile);
    const std::string text{std::istreambuf_iterator<char>(written), {}};
    EXPECT_EQ(text.find("probe-"), std::string::npos) << text;
}

TEST(X11Workspace, onlyTheThreeLineActivationScriptIsUnderstood) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {"tell application id \"com.example.App\"\n    activate\nend tell", "com.example.App"},
        {"tell application id \"com.example.App\"\n    activate\nend tell\n", "com.example.App"},
        {"tell application id \"com.example.App\"\r\n    activate\r\nend tell", "com.example.App"},
        {"tell application id \"\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"a\"b\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\"\n    quit\nend tell", std::nullopt},
        {"tell application \"Safari\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\"\n    activate\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\" to activate", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [source, bundleID] : rows)
        EXPECT_EQ(X11Workspace::parseActivationScript(source), bundleID) << source;
}

} // namespace
} // namespace korvane::x11::test

namespace korvane::x11::test {
namespace {

using X11WorkspaceIconTest = X11Test;

TEST_F(X11WorkspaceIconTest, aRunningApplicationsIconIsItsWindowsPictureElseItsDesktopEntrysThemeIcon) {
    auto& workspace = desktop->workspace();
    const auto x = xterm("Pictured");
    const std::string themeIcon = dataHome() + "/icons/hicolor/48x48/apps/" + kSampleBundleID + ".xpm";
    // xterm sets no picture of its own: its desktop entry's icon is found in the icon theme.
    auto icon = workspace.iconForRunningApplication(x.pid);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->path, themeIcon);
    const auto entry = workspace.urlForApplication(kSampleBundleID);
    ASSERT_TRUE(entry);
    EXPECT_EQ(workspace.iconForFile(*entry)->path, themeIcon);

    // A window's own pictures win: the one nearest 128 pixels, the smallest at least that large.
    std::vector<std::uint32_t> words{2, 2, 1, 2, 3, 4};
    words.insert(words.end(), {130, 130});
    words.insert(words.end(), 130 * 130, 0xFF112233u);
    words.insert(words.end(), {256, 1});
    words.insert(words.end(), 256, 0xFF445566u);
    session().setIcon(x.window, words);
    icon = workspace.iconForRunningApplication(x.pid);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 130);
    EXPECT_EQ(icon->height, 130);
    EXPECT_EQ(icon->argb.front(), 0xFF112233u);
    EXPECT_TRUE(icon->path.empty());

    EXPECT_FALSE(workspace.iconForRunningApplication(999999));
    EXPECT_FALSE(workspace.iconForFile(dataHome() + "/applications/missing.desktop"));
    // No theme holds the generic picture in the test's data folders.
    EXPECT_FALSE(workspace.genericApplicationIcon());
}

TEST(NetWMIconTest, aLengthThatLiesEndsTheReadingWithoutReadingPastTheValue) {
    // The second picture claims more pixels than follow: the first is all there is.
    EXPECT_EQ(pickNetWMIcon({1, 1, 7, 3, 3, 1, 2}, 128),
              (platform::IconImage{.width = 1, .height = 1, .argb = {7}, .path = {}}));
    EXPECT_FALSE(pickNetWMIcon({}, 128));
    EXPECT_FALSE(pickNetWMIcon({0, 5}, 128));
    EXPECT_FALSE(pickNetWMIcon({5000, 5000, 1}, 128));
    // Below the wanted size the largest is taken.
    EXPECT_EQ(pickNetWMIcon({1, 1, 7, 2, 1, 8, 9}, 128)->width, 2);
}

} // namespace
} // namespace korvane::x11::test
