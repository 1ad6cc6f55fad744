// Parked windows and windows that merely look parked, with the built `korvane` on a real X server: an
// xterm pushed into the right-hand zone of the left monitor ends where the primary monitor begins, yet is
// a window in use, listed by the global switcher and left where it is when the program starts again; and
// windows that a scene restore parks, on either monitor, go off the desktop's left edge, where openbox keeps
// a tenth of each on screen, and are brought back by the rescue at the next start, below the corner
// button's strip; windows that a restore takes back into a zone and then parks leave it, so that the zone
// keys reach only windows on screen; an xcalc the restore parks stays out of the scene that "Update"
// writes, and so stays parked through the next restore. A picture of the switcher listing the first xterm
// is left under build/screenshots.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace korvane::x11::test {
namespace {

constexpr const char* kSwitcherTitle = "Global Switcher";
constexpr const char* kServicesStarted = "Permissions granted, starting services...";
constexpr const char* kSceneID = "66666666-7777-4888-8999-aaaaaaaaaaaa";
constexpr const char* kSecondSceneID = "77777777-8888-4999-8aaa-bbbbbbbbbbbb";
// The halves of the left monitor (root 0, 0, 1920 × 900): its zones 1 and 2.
const Rect kLeftZone1{0, 0, 960, 900};
const Rect kLeftZone2{960, 0, 960, 900};

class ParkingProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The only desktop entry the program can find names the xterms "Sample Terminal": their hints are s1,
    // s2, ... in the order of their titles.
    pid_t startKorvaneWithEntries() {
        const fs::path data = folder.path() / "data";
        fs::create_directories(data / "applications");
        std::ofstream(data / "applications/korvane-sample-terminal.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sample Terminal\nExec=xterm\nStartupWMClass=XTerm\n";
        return startKorvane(
            {"XDG_DATA_HOME=" + data.string(), "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()},
            "debug");
    }
    // Control+option+A, then the switcher on screen with the keyboard.
    bool openSwitcher() {
        press({XK_Control_L, XK_Alt_L, XK_a});
        return X11TestSession::waitFor([&] {
            const auto panel = session->viewableWindowTitled(kSwitcherTitle);
            return panel && session->activeWindow() == *panel;
        });
    }
    bool activeBecomes(xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    }
    // The keys held down together, then whether the window comes to have the keyboard.
    bool reaches(std::vector<std::uint32_t> keys, xcb_window_t window) {
        press(std::move(keys));
        return activeBecomes(window);
    }
    // The scene names the xterm "Terminal" in the left monitor's zone 1, the restore parks what it does not
    // name, and an xterm it does not name is open: that xterm's window, once it is a client.
    std::optional<xcb_window_t> startWithAnUnrelatedXterm() {
        startSession(true);
        const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
        WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminal", "builtin.split-50-50",
                                              "builtin.split-50-50");
        scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
        writeActiveScene(home(), scene);
        std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
        xterm("Terminal", "60x20+2100+100");
        const pid_t unrelated = session->start({"xterm", "-name", "unrelated", "-title", "Unrelated",
                                                "-geometry", "50x15+300+300", "-e", "cat"});
        std::optional<xcb_window_t> window;
        X11TestSession::waitFor([&] { return (window = session->clientOf(unrelated)).has_value(); });
        return window;
    }
    void quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
};

TEST_F(ParkingProgramOnX11Test, anXtermInTheLeftMonitorsRightZoneIsListedAndKeepsItsFrameAcrossARestart) {
    startSession(true);
    const xcb_window_t seam = xterm("Seam", "60x20+200+100");
    const xcb_window_t other = xterm("Other", "60x20+2200+300");
    pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(focusByClick(seam));
    press({XK_Control_L, XK_Alt_L, XK_2});
    ASSERT_TRUE(comesToFill(seam, kLeftZone2)) << platform::describe(session->frameOf(seam));
    const Rect pushed = session->frameOf(seam);
    ASSERT_EQ(pushed.maxX(), 1920);
    // The push brings its window forward and checks that it stays so; a click elsewhere before that ends
    // would have the focus taken back.
    ASSERT_TRUE(pushesEnd(1)) << logText();

    // Both xterms are tiles: typing the second one's hint gives it the keyboard.
    ASSERT_TRUE(focusByClick(other));
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 2 items")) << logText();
    // Pictured once the panel is painted over the bare bottom of the primary monitor, with the xterm in
    // its zone beside it.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixel(2880, 1050) != 0; }));
    EXPECT_TRUE(session->saveScreenshot(Rect{0, 0, 3840, 1080}, picture("switcher-lists-seam-xterm.png")));
    press({XK_s});
    press({XK_2});
    EXPECT_TRUE(activeBecomes(seam)) << "active window " << session->activeWindow() << "\n" << logText();
    EXPECT_TRUE(waitForLine("Finalizing: Sample Terminal[Seam] (wid=" + std::to_string(seam) + ")"))
        << logText();
    quit(korvane);

    // Started again, the program leaves it where it is and still lists it. The switcher opens only
    // after the start's rescue pass has long ended.
    korvane = startKorvaneWithEntries();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count(kServicesStarted) == 2; }, seconds(20)))
        << logText();
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return count("SwitcherDataSource: reload 2 items") == 2; }))
        << logText();
    press({XK_Escape});
    EXPECT_EQ(session->frameOf(seam), pushed) << platform::describe(session->frameOf(seam)) << logText();
    EXPECT_FALSE(logged("Rescued")) << logText();
    quit(korvane);
}

TEST_F(ParkingProgramOnX11Test,
       windowsTheRestoreParksOnEitherMonitorShowASliverAtTheDesktopsEdgeUntilRescued) {
    startSession(true);
    const auto uuids = monitorsByName(session->display());
    ASSERT_EQ(uuids.size(), 2u);
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    WMScene scene;
    scene.id = kSceneID;
    scene.name = "Terminal";
    scene.layoutRefsByDisplay = {{primary, "builtin.split-50-50"}, {side, "builtin.split-50-50"}};
    scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    xterm("Terminal", "60x20+2100+100");
    // One on the left monitor, one on the primary beside it.
    std::vector<xcb_window_t> windows;
    std::vector<Rect> before;
    for (const char* geometry : {"50x15+300+300", "50x15+2300+300"}) {
        const pid_t unrelated = session->start(
            {"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry", geometry, "-e", "cat"});
        std::optional<xcb_window_t> found;
        ASSERT_TRUE(
            X11TestSession::waitFor([&] { return (found = session->clientOf(unrelated)).has_value(); }));
        windows.push_back(*found);
        before.push_back(session->frameOf(*found));
    }

    // Without desktop entries, the unrelated xterms are an application of their own by their class.
    const std::vector<std::string> noEntries{"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                             "XDG_DATA_DIRS=" + (folder.path() / "none").string()};
    pid_t korvane = startKorvane(noEntries);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        ASSERT_TRUE(waitForLine("Scene park: 'unrelated' wid=" + std::to_string(windows[i]))) << logText();
        // Both go off the desktop's left edge, the left monitor's: asked to leave one pixel there, a
        // window keeps a tenth of its width on screen, and only the mark tells that it is parked.
        const Rect parked = session->frameOf(windows[i]);
        EXPECT_EQ(parked.size, before[i].size);
        EXPECT_EQ(parked.maxX(), std::ceil(parked.width() / 10)) << i << " " << platform::describe(parked);
    }
    quit(korvane);

    // With parking still on, the start's restore would park the windows again a second after the rescue.
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":false})";
    korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("[app] Rescued 2 windows from parking")) << logText();
    // On the 200 × 200 square near the top-left corner of the primary monitor's work area, below the
    // corner button's strip, as far as xterm's character cells (6 × 13) let it.
    const Rect square{kPrimaryWorkArea.minX() + 20, kPrimaryWorkArea.minY() + 20, 200, 200};
    for (xcb_window_t window : windows)
        EXPECT_TRUE(X11TestSession::waitFor([&] {
            const Rect frame = session->frameOf(window);
            return frame.origin == square.origin && frame.width() <= 200 && frame.width() > 194 &&
                   frame.height() <= 200 && frame.height() > 187;
        })) << platform::describe(session->frameOf(window));
    quit(korvane);
}

// A restore that parks an xterm while the window manager is stopped for two seconds: the xterm is parked
// once the window manager goes on, and marked where it was parked, so that the rescue at the next start
// still knows it for a parked window and brings it back.
TEST_F(ParkingProgramOnX11Test, aWindowParkedWhileTheWindowManagerIsStoppedIsMarkedWhereItWasParked) {
    startSession(true);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    // Stored first, so the card switcher's 1: a scene of the terminal alone. The one active at the start
    // keeps the unrelated xterm as well.
    for (const bool keepsUnrelated : {false, true}) {
        WMScene scene = sceneOverBothMonitors(session->display(), keepsUnrelated ? kSceneID : kSecondSceneID,
                                              keepsUnrelated ? "Keep" : "Park", "builtin.split-50-50",
                                              "builtin.split-50-50");
        scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
        if (keepsUnrelated) scene.windowHints[primary].push_back(WindowHint{"unrelated", 2, std::nullopt});
        writeActiveScene(home(), scene);
    }
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    xterm("Terminal", "60x20+2100+100");
    const pid_t unrelated = session->start(
        {"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry", "50x15+300+300", "-e", "cat"});
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (window = session->clientOf(unrelated)).has_value(); }));
    const std::vector<std::string> noEntries{"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                             "XDG_DATA_DIRS=" + (folder.path() / "none").string()};
    pid_t korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Keep'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();

    ASSERT_TRUE(openCardSwitcher()) << logText();
    {
        const WindowManagerStopped stopped(*session);
        press({XK_1});
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    ASSERT_TRUE(waitForLine("Scene park: 'unrelated' wid=" + std::to_string(*window))) << logText();
    // Where openbox keeps it: a tenth of it on the desktop's left edge.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const Rect parked = session->frameOf(*window);
        return parked.maxX() == std::ceil(parked.width() / 10);
    })) << platform::describe(session->frameOf(*window));
    quit(korvane);

    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":false})";
    korvane = startKorvane(noEntries);
    EXPECT_TRUE(waitForLine("[app] Rescued 1 windows from parking")) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->frameOf(*window).origin ==
               Point{kPrimaryWorkArea.minX() + 20, kPrimaryWorkArea.minY() + 20};
    })) << platform::describe(session->frameOf(*window));
    quit(korvane);
}

// Two desktops, and an xclock on the second one: the restore parks it as it parks the windows of the
// desktop shown. Started again, Korvane brings it back: on screen, on the second desktop still, no longer
// marked as parked, and the first desktop still shows.
TEST_F(ParkingProgramOnX11Test, aWindowParkedOnAnotherDesktopIsBroughtBackThereAtTheNextStart) {
    startSession(true);
    session->setDesktopCount(2);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminal", "builtin.split-50-50",
                                          "builtin.split-50-50");
    scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    xterm("Terminal", "60x20+2100+100");
    const auto before = session->clientList();
    session->start({"xclock", "-geometry", "+2300+300"});
    std::optional<xcb_window_t> clock;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        for (xcb_window_t client : session->clientList())
            if (std::find(before.begin(), before.end(), client) == before.end()) clock = client;
        return clock.has_value();
    }));
    session->sendToDesktop(*clock, 1);

    const std::vector<std::string> noEntries{"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                             "XDG_DATA_DIRS=" + (folder.path() / "none").string()};
    pid_t korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("Scene park: 'xclock' wid=" + std::to_string(*clock))) << logText();
    ASSERT_TRUE(session->hasProperty(*clock, "_KORVANE_PARKED"));
    quit(korvane);

    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":false})";
    korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("[app] Rescued 1 windows from parking")) << logText();
    const Rect square{kPrimaryWorkArea.minX() + 20, kPrimaryWorkArea.minY() + 20, 200, 200};
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(*clock).origin == square.origin; }))
        << platform::describe(session->frameOf(*clock));
    EXPECT_TRUE(within(session->frameOf(*clock), kPrimaryWorkArea));
    EXPECT_FALSE(session->hasProperty(*clock, "_KORVANE_PARKED"));
    EXPECT_EQ(session->desktopOf(*clock), 1u);
    EXPECT_EQ(session->currentDesktop(), 0u);
    quit(korvane);
}

// An xterm and an xcalc pushed into the left monitor's zone 2 are taken back into it by the restore of
// the scene in use, which applies the very layout they are in, and then parked, for the scene names only
// the three "xterm" windows: they leave the zone with the parking, and Alt+Tab and the focus keys reach
// only the windows on screen.
TEST_F(ParkingProgramOnX11Test, windowsTheRestoreParksLeaveTheirZoneSoTheZoneKeysReachOnlyWindowsOnScreen) {
    startSession(true);
    const std::string side = monitorsByName(session->display()).at(kSecondaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminals", "builtin.split-50-50",
                                          "builtin.split-50-50");
    scene.windowHints = {{side,
                          {WindowHint{"xterm", 1, std::nullopt}, WindowHint{"xterm", 2, std::nullopt},
                           WindowHint{"xterm", 2, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    const std::vector<xcb_window_t> kept{xterm("Kept A", "60x20+100+100"), xterm("Kept B", "60x20+200+200"),
                                         xterm("Kept C", "60x20+300+300")};
    // Without desktop entries the plain xterms are the application "xterm", by their class.
    pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                  "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    // Opened after the start's restore, which would have parked them at once.
    const pid_t unrelatedPID = session->start(
        {"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry", "50x15+300+500", "-e", "cat"});
    session->start({"xcalc", "-geometry", "+500+300"});
    std::optional<xcb_window_t> unrelated, calc;
    // xcalc does not name its process on its window; it is known by its title.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        unrelated = session->clientOf(unrelatedPID);
        calc = session->viewableWindowTitled("Calculator");
        return unrelated && calc && session->isClient(*calc);
    }));
    std::size_t pushes = 0;
    for (const xcb_window_t window : {*unrelated, *calc}) {
        ASSERT_TRUE(focusByClick(window));
        press({XK_Control_L, XK_Alt_L, XK_2});
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return kLeftZone2.contains(session->frameOf(window).center());
        })) << platform::describe(session->frameOf(window));
        // The push brings its window forward and checks that it stays so; a click elsewhere before that
        // ends would have the focus taken back.
        ASSERT_TRUE(pushesEnd(++pushes)) << logText();
    }

    // The scene in use, restored from the card switcher.
    ASSERT_TRUE(restoreFromCardSwitcher()) << logText();
    for (const xcb_window_t window : {*unrelated, *calc})
        ASSERT_TRUE(waitForLine("' wid=" + std::to_string(window))) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") >= 2; })) << logText();
    // The restore registers the hot keys again; a press on its way then is dropped.
    X11TestSession::waitFor([] { return false; }, milliseconds(1000));

    // The hints of zone 2 may have taken other xterms than before.
    std::vector<xcb_window_t> zone1, zone2;
    for (const xcb_window_t window : kept) {
        const Point middle = session->frameOf(window).center();
        if (kLeftZone1.contains(middle)) zone1.push_back(window);
        if (kLeftZone2.contains(middle)) zone2.push_back(window);
    }
    ASSERT_EQ(zone1.size(), 1u);
    ASSERT_EQ(zone2.size(), 2u);
    // A click gives the keyboard to whichever of them is on top.
    session->click(static_cast<int>(kLeftZone2.midX()), static_cast<int>(kLeftZone2.midY()));
    xcb_window_t current = XCB_WINDOW_NONE;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        current = session->activeWindow();
        return current == zone2[0] || current == zone2[1];
    }));
    for (int i = 0; i < 3; ++i) {
        const xcb_window_t next = current == zone2[0] ? zone2[1] : zone2[0];
        ASSERT_TRUE(reaches({XK_Alt_L, XK_Tab}, next)) << "active window " << session->activeWindow() << "\n"
                                                       << logText();
        current = next;
    }
    EXPECT_TRUE(reaches({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_q}, zone1[0])) << logText();
    EXPECT_TRUE(reaches({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_w}, current)) << logText();
    quit(korvane);
}

// The sliver of the parked xcalc that openbox keeps on screen lies in the left monitor's zone 1: recorded
// there by "Update", the xcalc would be taken out of parking into that zone by the next restore.
TEST_F(ParkingProgramOnX11Test,
       anXcalcTheRestoreParkedIsLeftOutOfAnUpdateAndStaysParkedThroughTheNextRestore) {
    startSession(true);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminal", "builtin.split-50-50",
                                          "builtin.split-50-50");
    scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    bindUpdateKey();
    xterm("Terminal", "60x20+2100+100");
    session->start({"xcalc", "-geometry", "+500+300"});
    std::optional<xcb_window_t> calc;
    // xcalc does not name its process on its window; it is known by its title.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        calc = session->viewableWindowTitled("Calculator");
        return calc && session->isClient(*calc);
    }));

    // Without desktop entries the xterm is the application "xterm", by its class.
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("' wid=" + std::to_string(*calc))) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.update key=U")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    const Rect parked = session->frameOf(*calc);
    ASSERT_EQ(parked.maxX(), std::ceil(parked.width() / 10)) << platform::describe(parked);

    // The restore registers the hot keys again, and a press on its way then is dropped: pressed until
    // the update is done.
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] {
            press({XK_Control_L, XK_Alt_L, XK_u});
            return X11TestSession::waitFor([&] { return logged("Updated scene 'Terminal'"); }, seconds(2));
        },
        seconds(20)))
        << logText();
    EXPECT_EQ(activeSceneFile()["windowHints"],
              nlohmann::json::parse(R"({")" + primary + R"(": [{"bundleID": "xterm", "zoneID": 1}]})"));

    ASSERT_TRUE(restoreFromCardSwitcher()) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") >= 2; })) << logText();
    EXPECT_EQ(session->frameOf(*calc), parked) << platform::describe(session->frameOf(*calc));
    quit(korvane);
}

// A minimised xterm that the scene does not name is out of sight already: the restore leaves it minimised
// where it was, without the parking mark, rather than bringing it back as a strip at the desktop's edge.
TEST_F(ParkingProgramOnX11Test, aMinimisedWindowTheSceneDoesNotNameStaysMinimisedAndUnmarked) {
    const std::optional<xcb_window_t> window = startWithAnUnrelatedXterm();
    ASSERT_TRUE(window);
    session->iconify(*window);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return minimised(*window); }));

    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    // The sweep reports once every move it asked for has been carried out.
    ASSERT_TRUE(waitForLine("Window sweep: placed 1/1 windows, parked ")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    EXPECT_TRUE(minimised(*window));
    EXPECT_FALSE(session->hasProperty(*window, "_KORVANE_PARKED"));
    quit(korvane);
}

// A maximised xterm the restore parks leaves that state to be moved, and the mark keeps it: the rescue at
// the next start brings it back maximised.
TEST_F(ParkingProgramOnX11Test, aWindowParkedMaximisedIsMaximisedAgainWhenRescued) {
    const std::optional<xcb_window_t> window = startWithAnUnrelatedXterm();
    ASSERT_TRUE(window);
    const auto maximised = [&] {
        const auto states = session->atomNames(*window, "_NET_WM_STATE");
        return std::find(states.begin(), states.end(), "_NET_WM_STATE_MAXIMIZED_VERT") != states.end() &&
               std::find(states.begin(), states.end(), "_NET_WM_STATE_MAXIMIZED_HORZ") != states.end();
    };
    session->maximize(*window);
    ASSERT_TRUE(X11TestSession::waitFor(maximised));

    const std::vector<std::string> noEntries{"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                             "XDG_DATA_DIRS=" + (folder.path() / "none").string()};
    pid_t korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("Scene park: 'unrelated' wid=" + std::to_string(*window))) << logText();
    EXPECT_FALSE(maximised());
    EXPECT_TRUE(session->hasProperty(*window, "_KORVANE_PARKED"));
    quit(korvane);

    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":false})";
    korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("[app] Rescued 1 windows from parking")) << logText();
    EXPECT_TRUE(X11TestSession::waitFor(maximised)) << logText();
    EXPECT_TRUE(within(session->frameOf(*window), kPrimaryRoot))
        << platform::describe(session->frameOf(*window));
    quit(korvane);
}

// Four xterms sent into the zones of both monitors by a restore asked while the window manager is stopped,
// and the program quit before it goes on: once it does, every xterm lies on a monitor, each either where
// it was or in its zone, none with its zone's size at its old place.
TEST_F(ParkingProgramOnX11Test, aQuitDuringARestoreWithTheWindowManagerStoppedLeavesNoWindowOffItsMonitor) {
    startSession(true);
    const auto uuids = monitorsByName(session->display());
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    // Stored first, so the card switcher's 1: the xterms in the zones of both monitors. The one active at
    // the start names none of them, and so moves none.
    for (const bool places : {true, false}) {
        WMScene scene =
            sceneOverBothMonitors(session->display(), places ? kSecondSceneID : kSceneID,
                                  places ? "Place" : "Empty", "builtin.split-50-50", "builtin.split-50-50");
        if (places)
            scene.windowHints = {
                {primary, {WindowHint{"xterm", 1, std::nullopt}, WindowHint{"xterm", 2, std::nullopt}}},
                {side, {WindowHint{"xterm", 1, std::nullopt}, WindowHint{"xterm", 2, std::nullopt}}}};
        writeActiveScene(home(), scene);
    }
    // Low on their monitors: grown to a zone's height where they are, they would hang below it.
    const std::vector<xcb_window_t> windows{xterm("A", "50x10+2000+700"), xterm("B", "50x10+2900+720"),
                                            xterm("C", "50x10+100+600"), xterm("D", "50x10+1000+620")};
    const xcb_window_t probe = session->createWindow(Rect{2200, 300, 100, 80}, "Probe");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(probe); }));
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()},
                                       "debug");
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Empty'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();

    ASSERT_TRUE(openCardSwitcher()) << logText();
    {
        const WindowManagerStopped stopped(*session);
        press({XK_1});
        // Quit once every move is asked for, while the program still waits for them to be carried out.
        ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[diag] Restore placed:") == 4; }))
            << logText();
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(20))), "exit 0") << logText();
    }
    // The window manager takes its requests in the order they came: once it has moved a window of the
    // test's asked after the program quit, it has done whatever it does with what the program asked.
    const Rect marker{2400, 400, 120, 90};
    session->requestFrame(probe, marker);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(probe) == marker; }, seconds(30)))
        << platform::describe(session->frameOf(probe));
    for (const xcb_window_t window : windows) {
        const Rect frame = session->frameOf(window);
        EXPECT_TRUE(within(frame, kPrimaryRoot) || within(frame, kSecondaryRoot))
            << window << " " << platform::describe(frame) << "\n"
            << logText();
    }
}

} // namespace
} // namespace korvane::x11::test
