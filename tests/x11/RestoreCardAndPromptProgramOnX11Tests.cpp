// The restore card and the prompt on a newly connected monitor, shown by the built program on a real X
// server with openbox. A scene restored from the card switcher is reported on the main monitor by a card
// that a click goes through to the xterm below. A monitor that the active scene lays out, added while an
// xterm has the keyboard, gets the prompt, which leaves the keyboard with the xterm, and a click on "Apply
// Layout" gives the monitor the scene's layout and closes the prompt, parking (when it is on) only that
// monitor's windows; another scene restored while the prompt stands withdraws it. No compositing manager
// runs, so both are cut to their rounded outline and what lies under their corners shows there. Pictures of
// both are left under build/screenshots. The card switcher shown on a monitor that is unplugged closes with
// it; opened again on the monitor that stays, its digit restores a scene. A restore that could not start an
// application the scene names, or left windows unplaced because their zone is gone, is no check mark; one
// whose started application shows its window five seconds later keeps its card until that window is
// counted, and a scene restored while it awaits that window has the window land where it keeps it. A
// terminal that opens while the card switcher shows gets none of the keys typed at it, also after a switch
// to another desktop and back and a window manager ended and started again.
#include "ProgramOnX11.h"

#include "platform/Format.h"
#include "platform/sim/SimDesktop.h"
#include "scenes/SceneStore.h"

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace korvane::x11::test {
namespace {

constexpr const char* kPromptTitle = "Korvane Display Prompt";
constexpr const char* kCardTitle = "Scene Restored";
constexpr const char* kSwitcherTitle = "Scene Switcher";
constexpr const char* kSceneID = "55555555-6666-4777-8888-999999999999";

class SceneNoticesProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The first scene restored from the card switcher, reported by a card in its place whose status symbol
    // is the partial one: orange, not a check mark's green. Its picture is left as `name`.
    void expectPartialCard(const std::string& name) {
        const std::optional<xcb_window_t> card = restoreAndShowCard();
        ASSERT_TRUE(card) << logText();
        const int top = int(kPrimaryWorkArea.minY()) + 40;
        EXPECT_TRUE(X11TestSession::waitFor(
            [&] { return session->frameOf(*card) == Rect(2720, top, 320, 80); }, milliseconds(800)));
        // The symbol's disc, away from the mark cut out of it.
        std::uint32_t symbol = 0;
        EXPECT_TRUE(X11TestSession::waitFor([&] {
            return (symbol = session->rootPixel(2751, top + 36)) == 0xFF9500u;
        })) << std::hex
            << symbol;
        EXPECT_TRUE(session->saveScreenshot(Rect(2560, 0, 640, 200), picture(name)));
    }
    // The first scene restored from the card switcher; the restore report's card once it shows.
    std::optional<xcb_window_t> restoreAndShowCard() {
        std::optional<xcb_window_t> card;
        if (restoreFromCardSwitcher())
            X11TestSession::waitFor(
                [&] { return (card = session->viewableWindowTitled(kCardTitle)).has_value(); }, seconds(3));
        return card;
    }
    // The layout the program last chose for the display, as it keeps it on disk.
    std::string storedLayoutOf(const std::string& displayUUID) const {
        std::ifstream in(home() / "layout-selection.json");
        const auto json = nlohmann::json::parse(in, nullptr, false);
        if (!json.is_object() || !json.contains("lastByDisplay")) return "";
        return json["lastByDisplay"].value(displayUUID, "");
    }
    // Stores the scene over both monitors as the active scene.
    void writeScene(const std::string& id, const std::string& name, const std::string& mainLayout,
                    const std::string& sideLayout) {
        writeActiveScene(home(), sceneOverBothMonitors(session->display(), id, name, mainLayout, sideLayout));
    }
    // "Terminals": the main monitor in two halves, the side monitor one zone.
    void writeTerminalsScene() {
        writeScene(kSceneID, "Terminals", "builtin.split-50-50", "builtin.fullscreen");
    }
    // The application "korvane-slow-term": a terminal of a class of its own, titled "Slow", that shows its
    // window five seconds after its start.
    void installSlowTerminal() {
        const fs::path command = folder.path() / "bin" / kSlowTerminal;
        fs::create_directories(command.parent_path());
        std::ofstream(command)
            << "#!/bin/sh\nsleep 5\nexec xterm -name slowterm -class KorvaneSlow -title Slow "
               "-geometry 40x10+2300+500 -e cat\n";
        fs::permissions(command, fs::perms::owner_all);
        fs::create_directories(dataHome() / "applications");
        std::ofstream(dataHome() / "applications" / (std::string(kSlowTerminal) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Slow Term\nExec=" << command.string()
            << "\nStartupWMClass=KorvaneSlow\n";
    }
    // The program with the slow terminal's desktop entry and no other: the xterms are the application
    // "xterm", by their class.
    pid_t startKorvaneWithSlowTerminal() {
        return startKorvane({"XDG_DATA_HOME=" + dataHome().string(),
                             "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    }
    fs::path dataHome() const { return folder.path() / "data"; }
    // A scene over both monitors that keeps these applications in these zones of the main monitor's halves.
    void writeHalvesScene(const std::string& id, const std::string& name,
                          const std::vector<WindowHint>& mainMonitor) {
        WMScene scene =
            sceneOverBothMonitors(session->display(), id, name, "builtin.split-50-50", "builtin.fullscreen");
        scene.windowHints = {{monitorsByName(session->display()).at(kPrimaryName), mainMonitor}};
        writeActiveScene(home(), scene);
    }

    static constexpr const char* kSlowTerminal = "korvane-slow-term";
};

TEST_F(SceneNoticesProgramOnX11Test,
       aMonitorTheSceneLaysOutGetsThePromptBelowItsTopWithoutTheKeyboardAndApplyLayoutLaysItOut) {
    startSession(true);
    writeTerminalsScene();
    const std::string side = monitorsByName(session->display()).at(kSecondaryName);
    session->deleteMonitor(kSecondaryName);

    const xcb_window_t focused = xterm("Focused", "60x20+2000+100");
    ASSERT_TRUE(focusByClick(focused));
    // A desktop of a colour of its own, which the prompt's rounded corners are to show.
    ASSERT_TRUE(session->run({"xsetroot", "-solid", "#2E5C8A"}));
    const std::vector<std::pair<int, int>> corners{{771, 21}, {1148, 21}, {771, 106}, {1148, 106}};
    const auto desktopShows = [&] {
        return std::all_of(corners.begin(), corners.end(), [&](const auto& at) {
            return session->rootPixel(at.first, at.second) == 0x2E5C8Au;
        });
    };
    ASSERT_TRUE(desktopShows());

    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    EXPECT_NE(storedLayoutOf(side), "builtin.fullscreen");

    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (prompt = session->viewableWindowTitled(kPromptTitle)).has_value();
    })) << logText();
    // 380 by 88 with Apply Layout, centred on the side monitor (root 0, 0, 1920 x 900), 20 pixels below
    // its top.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(*prompt) == Rect(770, 20, 380, 88); }))
        << platform::describe(session->frameOf(*prompt));
    EXPECT_EQ(session->atomNames(*prompt, "_NET_WM_WINDOW_TYPE").at(0), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    const auto states = session->atomNames(*prompt, "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end());
    EXPECT_EQ(session->desktopOf(*prompt), 0xFFFFFFFFu); // every desktop
    EXPECT_EQ(session->activeWindow(), focused) << "the prompt leaves the keyboard where it was";
    // Painted: the card's background where nothing else is drawn. No compositing manager runs: its rounded
    // corners are cut away, and the desktop shows there.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixel(1140, 30) != 0x2E5C8Au; }));
    EXPECT_TRUE(desktopShows());
    EXPECT_TRUE(session->saveScreenshot(Rect(700, 0, 520, 140),
                                        picture("unconfigured-display-prompt-apply-x11.png")));

    // "Apply Layout" leads the button row at the prompt's left, below the message.
    session->click(770 + 60, 20 + 56);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPromptTitle); }));
    EXPECT_TRUE(waitForLine("M3: applied Scene 'Terminals' to newly connected display '" + side + "'"))
        << logText();
    EXPECT_EQ(storedLayoutOf(side), "builtin.fullscreen");
    EXPECT_EQ(session->activeWindow(), focused);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// With parking on, "Apply Layout" parks only the windows of the monitor that came: an xterm that the scene
// keeps in a zone of the main monitor stays there.
TEST_F(SceneNoticesProgramOnX11Test, applyLayoutWithParkingOnLeavesTheMainMonitorsWindowsInTheirZones) {
    startSession(true);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminals", "builtin.split-50-50",
                                          "builtin.fullscreen");
    scene.windowHints = {{monitorsByName(session->display()).at(kPrimaryName), {WindowHint{"xterm", 1, {}}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    session->deleteMonitor(kSecondaryName);
    const xcb_window_t kept = xterm("Kept", "60x20+2000+100");

    // Without desktop entries the xterm is the application "xterm", by its class.
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    const Rect zone1{kPrimaryWorkArea.minX(), kPrimaryWorkArea.minY(), kPrimaryWorkArea.width() / 2,
                     kPrimaryWorkArea.height()};
    ASSERT_TRUE(comesToFill(kept, zone1)) << platform::describe(session->frameOf(kept));
    const Rect placed = session->frameOf(kept);

    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled(kPromptTitle).has_value();
    })) << logText();
    session->click(770 + 60, 20 + 56);
    ASSERT_TRUE(waitForLine("M3: applied Scene 'Terminals' to newly connected display")) << logText();
    EXPECT_EQ(session->frameOf(kept), placed) << platform::describe(session->frameOf(kept));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The prompt offers the scene active when its monitor came; once the card switcher has put another scene
// in force, it is withdrawn, though the pointer resting on it holds its countdown.
TEST_F(SceneNoticesProgramOnX11Test, aPromptStandingWhenTheCardSwitcherRestoresAnotherSceneIsWithdrawn) {
    startSession(true);
    // Stored first, so listed first: the card switcher's 1.
    writeScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "Other", "builtin.fullscreen", "builtin.split-50-50");
    writeTerminalsScene();
    session->deleteMonitor(kSecondaryName);
    xterm("Notes", "60x20+2000+100");

    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (prompt = session->viewableWindowTitled(kPromptTitle)).has_value();
    })) << logText();
    // On the prompt's message (root 770, 20, 380 x 88), away from its buttons.
    session->glidePointer(960, 36, 10);

    ASSERT_TRUE(restoreFromCardSwitcher()) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Other'")) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPromptTitle); }))
        << "the prompt still offers 'Terminals'";

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(SceneNoticesProgramOnX11Test,
       aSceneRestoredFromTheCardSwitcherIsReportedOnTheMainMonitorByACardClicksGoThrough) {
    startSession(true);
    writeTerminalsScene();
    // The card will stand over this xterm, near the top of the main monitor (root 1920, 0, 1920 x 1080).
    const xcb_window_t below = xterm("Below", "80x24+2600+10");
    const xcb_window_t other = xterm("Other", "60x20+3000+600");
    ASSERT_TRUE(focusByClick(other));

    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();

    // Control+option+C opens the card switcher with the keyboard; 1 restores the first scene.
    const std::optional<xcb_window_t> card = restoreAndShowCard();
    ASSERT_TRUE(card) << logText();
    EXPECT_EQ(count("Scene Restore complete (layout-only): 'Terminals'"), 2u);
    // Centred on the main monitor, its top 40 pixels below the top of the monitor's free area (below the
    // corner button's strip) once it has slid into place.
    const int top = int(kPrimaryWorkArea.minY()) + 40;
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(*card) == Rect(2720, top, 320, 80); },
                                        milliseconds(800)))
        << platform::describe(session->frameOf(*card));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    // No compositing manager runs: the card's rounded corners are cut away, and the xterm's white shows
    // there beside the card's light grey.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixel(3000, top + 20) == 0xF7F7F7u; }));
    for (const auto& [x, y] : {std::pair{2721, top + 1}, {3038, top + 1}, {2721, top + 78}, {3038, top + 78}})
        EXPECT_EQ(session->rootPixel(x, y), 0xFFFFFFu) << x << "," << y;
    EXPECT_TRUE(session->saveScreenshot(Rect(2560, 0, 640, 200), picture("scene-restore-hud-korvane.png")));
    ASSERT_NE(session->activeWindow(), below);

    session->click(2880, top + 40); // on the card, over the xterm
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == below; }));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kCardTitle); }));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// An application the scene names that has no desktop entry cannot be started: the card does not report
// the restore as done, and the log names the application and says why.
TEST_F(SceneNoticesProgramOnX11Test,
       anApplicationWithoutADesktopEntryIsNamedInTheLogAndTheCardIsNoCheckMark) {
    startSession(true);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Tools", "builtin.split-50-50",
                                          "builtin.fullscreen");
    scene.windowHints = {{monitorsByName(session->display()).at(kPrimaryName), {WindowHint{"xlogo", 1, {}}}}};
    writeActiveScene(home(), scene);
    ASSERT_TRUE(focusByClick(xterm("Other", "60x20+3000+600")));

    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "data").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Tools'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    expectPartialCard("scene-restore-hud-not-started-korvane.png");
    EXPECT_TRUE(waitForLine(
        "info [app] Scene restore: could not start 'xlogo': no desktop entry with the id \"xlogo\""))
        << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The main monitor bound to a one-zone layout while the scene keeps two xterms in its zone 2: the card does
// not report the restore as done.
TEST_F(SceneNoticesProgramOnX11Test, windowsWhoseZoneTheMonitorsLayoutLacksMakeTheCardNoCheckMark) {
    startSession(true);
    WMScene scene = sceneOverBothMonitors(session->display(), kSceneID, "Terminals", "builtin.fullscreen",
                                          "builtin.fullscreen");
    scene.windowHints = {{monitorsByName(session->display()).at(kPrimaryName),
                          {WindowHint{"xterm", 2, {}}, WindowHint{"xterm", 2, {}}}}};
    writeActiveScene(home(), scene);
    xterm("Left", "60x20+2000+500");
    ASSERT_TRUE(focusByClick(xterm("Right", "60x20+3000+600")));

    // Without desktop entries the xterms are the application "xterm", by their class.
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    expectPartialCard("scene-restore-hud-without-zone-korvane.png");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A restore that starts an application whose window comes five seconds later: the card stays until that
// window has landed in its zone, counts it, ends on the check mark (its last picture is left under
// build/screenshots) and goes.
TEST_F(SceneNoticesProgramOnX11Test, theCardOfARestoreWithASlowStartStaysForItsWindowAndThenGoes) {
    startSession(true);
    installSlowTerminal();
    // Stored first, so listed first: the card switcher's 1. The scene active at the start places nothing.
    writeHalvesScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "Slow",
                     {WindowHint{"xterm", 1, {}}, WindowHint{kSlowTerminal, 2, {}}});
    writeTerminalsScene();
    ASSERT_TRUE(focusByClick(xterm("Left", "60x20+2000+500")));

    const pid_t korvane = startKorvaneWithSlowTerminal();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    ASSERT_TRUE(restoreAndShowCard()) << logText();
    std::optional<xcb_window_t> late;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (late = session->viewableWindowTitled("Slow")).has_value(); }, seconds(20)))
        << logText();
    ASSERT_TRUE(session->viewableWindowTitled(kCardTitle)) << "the card went before the window came";
    // The card's line of detail, as it reads before the window is counted.
    const int top = int(kPrimaryWorkArea.minY()) + 40;
    const Rect detail(2786, top + 40, 230, 28);
    const auto uncounted = session->rootPixels(detail);
    // Counted once it has landed: the card, still up, reads otherwise. Its picture then is its last.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixels(detail) != uncounted && session->viewableWindowTitled(kCardTitle);
    })) << "the card did not count the window\n"
        << logText();
    EXPECT_TRUE(session->saveScreenshot(Rect(2560, 0, 640, 200),
                                        picture("scene-restore-hud-slow-start-korvane.png")));
    // The check mark's green, where a partial card shows orange.
    std::uint32_t symbol = 0;
    EXPECT_EQ(symbol = session->rootPixel(2751, top + 36), 0x34C759u) << std::hex << symbol;
    EXPECT_TRUE(comesToFill(*late, kPrimaryRightHalf)) << platform::describe(session->frameOf(*late));
    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kCardTitle); }, seconds(4)));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A scene restored while the one restored before it still awaits the slow terminal's window: that window
// lands where the second scene keeps the terminal, not in the first scene's zone, where the second keeps
// an xterm, and the terminal is started once.
TEST_F(SceneNoticesProgramOnX11Test, aRestoreReplacedWhileItsStartAwaitsItsWindowPlacesNothingMore) {
    startSession(true);
    installSlowTerminal();
    // Stored in this order: the card switcher's 1 and 2. The scene active at the start places nothing.
    writeHalvesScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "First", {WindowHint{kSlowTerminal, 1, {}}});
    writeHalvesScene("77777777-8888-4999-8AAA-BBBBBBBBBBBB", "Second",
                     {WindowHint{"xterm", 1, {}}, WindowHint{kSlowTerminal, 2, {}}});
    writeTerminalsScene();
    const xcb_window_t left = xterm("Left", "60x20+2000+500");
    ASSERT_TRUE(focusByClick(left));

    const pid_t korvane = startKorvaneWithSlowTerminal();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    ASSERT_TRUE(restoreFromCardSwitcher(XK_1)) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'First'")) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    ASSERT_TRUE(restoreFromCardSwitcher(XK_2)) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Second'")) << logText();
    EXPECT_TRUE(comesToFill(left, kPrimaryLeftHalf)) << platform::describe(session->frameOf(left));

    std::optional<xcb_window_t> late;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (late = session->viewableWindowTitled("Slow")).has_value(); }, seconds(20)))
        << logText();
    EXPECT_TRUE(comesToFill(*late, kPrimaryRightHalf)) << platform::describe(session->frameOf(*late));
    // Once the second restore awaits nothing more, its card goes: no other start has been made by then.
    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kCardTitle); }, seconds(5)));
    EXPECT_EQ(count("launchAndPlaceApp called bundle='korvane-slow-term'"), 1u) << logText();
    EXPECT_TRUE(comesToFill(left, kPrimaryLeftHalf)) << platform::describe(session->frameOf(left));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A restore while the window manager is stopped for two seconds: the program asks for every move and
// goes on serving keys, so Ctrl+Alt+A pressed right after the card's digit opens the global switcher at
// once, and the xterms come into their zones once the window manager goes on.
TEST_F(SceneNoticesProgramOnX11Test, keysAreServedAtOnceWhileTheWindowManagerHoldsARestoresMovesUp) {
    startSession(true);
    // Stored first, so listed first: the card switcher's 1. The scene active at the start places nothing.
    writeHalvesScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "Three",
                     {WindowHint{"xterm", 1, {}}, WindowHint{"xterm", 2, {}}, WindowHint{"xterm", 1, {}}});
    writeTerminalsScene();
    // On the side monitor, out of every zone the scene names.
    const std::vector<xcb_window_t> xterms{xterm("One", "60x20+100+100"), xterm("Two", "60x20+700+100"),
                                           xterm("Three", "60x20+100+500")};
    ASSERT_TRUE(focusByClick(xterms[0]));
    const pid_t korvane = startKorvaneWithSlowTerminal();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    // The first opening builds the switcher; it is timed afterwards.
    ASSERT_TRUE(openSwitcher()) << logText();
    press({XK_Escape});
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kGlobalSwitcherTitle); }));

    ASSERT_TRUE(openCardSwitcher()) << logText();
    const WindowManagerStopped paused(*session);
    const Nanos stopped = monotonic();
    press({XK_1});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const std::size_t shown = count("Showing Global Switcher");
    press({XK_Control_L, XK_Alt_L, XK_a});
    const Nanos asked = monotonic();
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return count("Showing Global Switcher") > shown; }, seconds(10)))
        << logText();
    EXPECT_LT(monotonic() - asked, milliseconds(200)) << logText();
    std::this_thread::sleep_for(
        std::chrono::nanoseconds(std::max<Nanos>(0, seconds(2) - (monotonic() - stopped))));
    session->pauseWindowManager(false);

    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return session->viewableWindowTitled(kGlobalSwitcherTitle).has_value(); }));
    press({XK_Escape});
    // Two in the left half, one in the right, as far as their character cells let them fill it.
    const auto fills = [&](xcb_window_t window, const Rect& zone) {
        const Rect frame = session->frameOf(window);
        return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() && frame.width() <= zone.width() &&
               frame.width() > zone.width() - 6 && frame.height() <= zone.height() &&
               frame.height() > zone.height() - 13;
    };
    const auto inHalves = [&](int left, int right) {
        for (const xcb_window_t window : xterms) {
            if (fills(window, kPrimaryLeftHalf))
                --left;
            else if (fills(window, kPrimaryRightHalf))
                --right;
        }
        return left == 0 && right == 0;
    };
    EXPECT_TRUE(X11TestSession::waitFor([&] { return inHalves(2, 1); }))
        << platform::describe(session->frameOf(xterms[0])) << platform::describe(session->frameOf(xterms[1]))
        << platform::describe(session->frameOf(xterms[2])) << logText();
    EXPECT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Three'")) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(SceneNoticesProgramOnX11Test,
       theCardSwitcherOfAMonitorUnpluggedClosesAndOpenedAgainOnTheOtherTakesDigits) {
    startSession(true);
    writeTerminalsScene();
    ASSERT_TRUE(focusByClick(xterm("Other", "60x20+3000+600")));
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    const auto switcherShowsOver = [&](const Rect& monitor) {
        return X11TestSession::waitFor([&] {
            const auto panel = session->viewableWindowTitled(kSwitcherTitle);
            return panel && session->activeWindow() == *panel && session->frameOf(*panel) == monitor;
        });
    };

    // Opened with the pointer on the side monitor, it covers that monitor.
    session->glidePointer(900, 450, 20);
    press({XK_Control_L, XK_Alt_L, XK_c});
    ASSERT_TRUE(switcherShowsOver(kSecondaryRoot)) << logText();
    const std::size_t changes = count("[DisplayChange] handle end");
    session->deleteMonitor(kSecondaryName);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    for (const auto& [window, frame] : windowsOfProcess(session->display(), korvane))
        EXPECT_TRUE(within(frame, kPrimaryRoot)) << window << " at " << ::testing::PrintToString(frame);

    // Opened again on the monitor that stays, its digit restores the scene.
    session->glidePointer(2880, 540, 20);
    press({XK_Control_L, XK_Alt_L, XK_c});
    ASSERT_TRUE(switcherShowsOver(kPrimaryRoot)) << logText();
    EXPECT_TRUE(session->saveScreenshot(kPrimaryRoot, picture("scene-card-switcher-after-unplug-x11.png")));
    press({XK_1});
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return count("Scene Restore complete (layout-only): 'Terminals'") == 2; }, seconds(5)))
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A terminal that opens while the card switcher shows is given the focus by the window manager, beneath
// the switcher: the digit typed next still restores that card's scene and the terminal gets nothing.
// Opened again over another terminal that opens, the switcher closes on its own key. Each time the
// keyboard goes back to the terminal that had it.
TEST_F(SceneNoticesProgramOnX11Test, aTerminalOpenedWhileTheCardSwitcherShowsGetsNoneOfTheKeysTypedAtIt) {
    startSession(true);
    // Stored first, so listed first: the card switcher's 1.
    writeScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "Other", "builtin.fullscreen", "builtin.split-50-50");
    writeTerminalsScene();
    const fs::path notesKeys = folder.path() / "notes.keys", lateKeys = folder.path() / "late.keys",
                   laterKeys = folder.path() / "later.keys";
    const xcb_window_t notes = recordingXterm("Notes", "60x20+3000+600", notesKeys);
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    ASSERT_TRUE(focusByClick(notes));
    const auto openSwitcher = [&] {
        press({XK_Control_L, XK_Alt_L, XK_c});
        return X11TestSession::waitFor([&] {
            const auto panel = session->viewableWindowTitled(kSwitcherTitle);
            return panel && session->activeWindow() == *panel;
        });
    };
    const auto activeBecomes = [&](xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    };

    ASSERT_TRUE(openSwitcher()) << logText();
    const xcb_window_t late = recordingXterm("Late", "60x20+2000+100", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    ASSERT_TRUE(session->viewableWindowTitled(kSwitcherTitle));
    press({XK_1});
    EXPECT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Other'", seconds(10))) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    EXPECT_TRUE(activeBecomes(notes)) << "active window " << session->activeWindow();
    press({XK_z});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(notesKeys) == "z"; })) << contents(notesKeys);

    ASSERT_TRUE(openSwitcher()) << logText();
    const xcb_window_t later = recordingXterm("Later", "60x20+2400+300", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    press({XK_Control_L, XK_Alt_L, XK_c});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    EXPECT_TRUE(activeBecomes(notes)) << "active window " << session->activeWindow();
    press({XK_z});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(notesKeys) == "zz"; })) << contents(notesKeys);
    EXPECT_EQ(contents(lateKeys), "");
    EXPECT_EQ(contents(laterKeys), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// While the card switcher shows, a pager switches to another desktop and back, then the window manager
// ends and another starts, which takes the switcher out of one frame and into another: a terminal that
// opens beneath it after each is given the focus and gets none of the keys typed at the switcher, whose
// digit restores that card's scene.
TEST_F(SceneNoticesProgramOnX11Test,
       theCardSwitcherKeepsTheKeyboardThroughADesktopSwitchAndAWindowManagerRestart) {
    startSession(true);
    session->setDesktopCount(2);
    writeScene("66666666-7777-4888-8999-AAAAAAAAAAAA", "Other", "builtin.fullscreen", "builtin.split-50-50");
    writeTerminalsScene();
    const fs::path lateKeys = folder.path() / "late.keys", laterKeys = folder.path() / "later.keys";
    xterm("Notes", "60x20+3000+600");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    const auto shown = [&] {
        return X11TestSession::waitFor(
            [&] { return session->viewableWindowTitled(kSwitcherTitle).has_value(); });
    };
    const auto activeBecomes = [&](xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    };

    ASSERT_TRUE(openCardSwitcher()) << logText();
    session->showDesktop(1);
    session->showDesktop(0);
    ASSERT_TRUE(shown());
    const xcb_window_t late = recordingXterm("Late", "60x20+2000+100", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    // No card's key: the switcher takes it and does nothing with it.
    press({XK_z});

    session->killWindowManager();
    session->startWindowManager();
    ASSERT_TRUE(shown());
    const xcb_window_t later = recordingXterm("Later", "60x20+2400+300", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    press({XK_1});
    EXPECT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Other'", seconds(10))) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); }));
    EXPECT_EQ(contents(lateKeys), "");
    EXPECT_EQ(contents(laterKeys), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
