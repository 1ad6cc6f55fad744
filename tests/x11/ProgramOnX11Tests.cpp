// The program itself on a real X server: the built `korvane` as a process of its own with a fresh
// support folder, as a user starts it. Under a window manager it starts its services, gives every
// monitor its zones and writes what it remembers when SIGTERM ends it; on a bare server it shows its
// permission window, which as the program's window with the keyboard makes the application active, until
// a window manager starts; it saves and exits with a failure when the server goes away; and it runs once
// per display.
#include "ProgramOnX11.h"

#include <set>

namespace korvane::x11::test {
namespace {

constexpr const char* kServicesStarted = "Permissions granted, starting services...";
constexpr const char* kPermissionWindow = "Korvane Permissions";

TEST_F(ProgramOnX11Test,
       underAWindowManagerItStartsGivesEveryMonitorItsLayoutAndEndsOnSigtermWritingItsMemory) {
    startSession(true);
    openXterm();
    const auto monitors = monitorUUIDs();
    ASSERT_EQ(monitors.size(), 2u);
    const pid_t korvane = startKorvane();

    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    EXPECT_FALSE(session->viewableWindowTitled(kPermissionWindow));
    const auto workbenches = nlohmann::json::parse(std::ifstream(home() / "display-workbenches.json"));
    for (const auto& uuid : monitors)
        EXPECT_FALSE(workbenches["workbenches"][uuid]["activeTemplateID"].get<std::string>().empty()) << uuid;
    fs::remove(home() / "layout-memory.json");

    ::kill(korvane, SIGTERM);
    const auto status = session->waitForExit(korvane, seconds(10));
    EXPECT_EQ(describe(status), "exit 0") << logText();
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

TEST_F(ProgramOnX11Test,
       onABareServerItShowsThePermissionWindowUntilAWindowManagerStartsThenStartsItsServices) {
    startSession(false);
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return session->viewableWindowTitled(kPermissionWindow).has_value(); }, seconds(20)))
        << logText();
    EXPECT_FALSE(logged(kServicesStarted));
    // Pictured once drawn: the window manager missing, with "What to Do", and screen recording not needed.
    const Rect panel = session->frameOf(*session->viewableWindowTitled(kPermissionWindow));
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const auto pixels = session->rootPixels(panel);
        return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size() > 50;
    }));
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(panel, picture("permission-window-korvane.png")));
    // The window has the keyboard: the application became active and asked for the displays to be looked at.
    EXPECT_TRUE(
        waitForLine("reason=probe:app.did-become-active:QGuiApplication.applicationStateChanged", seconds(5)))
        << logText();

    const Nanos managing = monotonic();
    session->startWindowManager();
    ASSERT_TRUE(waitForLine(kServicesStarted, seconds(5)));
    EXPECT_LT(monotonic() - managing, seconds(2)) << "the services start within two polls of the grant";
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPermissionWindow); },
                                        seconds(2)));

    ::kill(korvane, SIGINT);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(ProgramOnX11Test, whenTheServerGoesAwayItSavesWhatItRemembersAndExitsWithAFailureWithinASecond) {
    startSession(true);
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    fs::remove(home() / "layout-memory.json");

    session->killServer();
    const Nanos killed = monotonic();
    const auto status = session->waitForExit(korvane, seconds(10));
    EXPECT_LT(monotonic() - killed, seconds(1));
    ASSERT_TRUE(status && WIFEXITED(*status)) << describe(status) << "\n" << logText();
    EXPECT_NE(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

TEST_F(ProgramOnX11Test, aSecondCopyOnTheSameDisplayExitsWithAFailureAndWritesNothing) {
    startSession(true);
    openXterm();
    const pid_t first = startKorvane();
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();

    // A support folder of its own, empty, so that anything the second copy wrote would show there.
    const fs::path secondHome = folder.path() / "second";
    fs::create_directories(secondHome);
    const pid_t second = startKorvane({"KORVANE_HOME=" + secondHome.string()});
    EXPECT_EQ(describe(session->waitForExit(second, seconds(20))), "exit 1") << logText();
    EXPECT_TRUE(logged("korvane: Korvane already runs on display " + session->display() + "\n")) << logText();
    EXPECT_TRUE(fs::is_empty(secondHome));

    ::kill(first, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(first, seconds(10))), "exit 0") << logText();
}

TEST_F(ProgramOnX11Test, aCopyKilledOutrightLeavesNothingBehindThatStopsTheNextFromStarting) {
    startSession(true);
    openXterm();
    const pid_t first = startKorvane();
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ::kill(first, SIGKILL);
    ASSERT_EQ(describe(session->waitForExit(first, seconds(10))), "signal 9");

    const pid_t next = startKorvane();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return count(kServicesStarted) == 2; }, seconds(20)))
        << logText();
    ::kill(next, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(next, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
