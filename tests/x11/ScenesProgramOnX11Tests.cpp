// The scene actions of the built `korvane` on a real X server with openbox and xterms, as a user meets
// them: the active scene updated from two xterms in two zones, the xterms moved away by hand, and the
// scene restored from the card switcher (control+option+C, then its digit), which puts one xterm back
// into each zone; "Update" with a monitor unplugged, which keeps that monitor's part of the scene; the
// prompt a monitor plugged in while a scene is active gets, which takes neither the keyboard nor a place
// among the windows Korvane manages; a scene naming xterm in three zones, which has one started for each
// zone without one; and an active scene whose file cannot be read, which the restore report and "Update"
// tell of. Pictures of the restore reports and of the prompt are left under build/screenshots.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>

#include <algorithm>

namespace korvane::x11::test {
namespace {

constexpr const char* kCardSwitcherTitle = "Scene Switcher";
constexpr const char* kRestoreReportTitle = "Scene Restored";
constexpr const char* kPromptTitle = "Korvane Display Prompt";
// The two halves of the primary monitor (root 1920, 0, 1920 × 1080, less the corner button's strip): its
// zones 1 and 2.
const Rect kZone1 = kPrimaryLeftHalf;
const Rect kZone2 = kPrimaryRightHalf;

class ScenesProgramOnX11Test : public ProgramOnX11Test {
  protected:
    void press(std::uint32_t keysym) {
        session->pressKeys(
            {session->keycodeOf(XK_Control_L), session->keycodeOf(XK_Alt_L), session->keycodeOf(keysym)});
    }
    void pressAlone(std::uint32_t keysym) { session->pressKeys({session->keycodeOf(keysym)}); }
    // Whether the window comes to fill the zone as far as xterm's character cells (6 × 13) let it.
    bool fills(xcb_window_t window, const Rect& zone) {
        return X11TestSession::waitFor([&] {
            const Rect frame = session->frameOf(window);
            return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() &&
                   frame.width() > zone.width() - 6 && frame.height() > zone.height() - 13;
        });
    }
    // The zone holding the middle of the window, if any.
    std::optional<int> zoneOf(xcb_window_t window) {
        const Point middle = session->frameOf(window).center();
        if (kZone1.contains(middle)) return 1;
        if (kZone2.contains(middle)) return 2;
        return std::nullopt;
    }
};

TEST_F(ScenesProgramOnX11Test, anUpdatedSceneRestoredFromTheCardSwitcherPutsOneXtermBackIntoEachZone) {
    startSession(true);
    const xcb_window_t left = xterm("Left", "60x20+2000+100");
    const xcb_window_t right = xterm("Right", "60x20+3000+300");
    bindUpdateKey();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.update key=U")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(focusByClick(left));
    press(XK_1);
    ASSERT_TRUE(fills(left, kZone1)) << platform::describe(session->frameOf(left));
    // The push brings its window forward and checks that it stays so; a click elsewhere before that
    // ends would have the focus taken back.
    ASSERT_TRUE(pushesEnd(1)) << logText();
    ASSERT_TRUE(focusByClick(right));
    press(XK_2);
    ASSERT_TRUE(fills(right, kZone2)) << platform::describe(session->frameOf(right));
    // Both pushes have ended with their window brought forward.
    ASSERT_TRUE(pushesEnd(2)) << logText();

    press(XK_u);
    ASSERT_TRUE(waitForLine("with 2 display snapshots")) << logText();
    // The primary's list holds the two xterms, one in each zone.
    const nlohmann::json hints = activeSceneFile()["windowHints"];
    std::vector<std::int64_t> zones;
    for (const auto& [display, list] : hints.items())
        for (const auto& hint : list)
            zones.push_back(hint["zoneID"].get<std::int64_t>());
    std::sort(zones.begin(), zones.end());
    EXPECT_EQ(zones, (std::vector<std::int64_t>{1, 2}))
        << hints.dump() << platform::describe(session->frameOf(left))
        << platform::describe(session->frameOf(right));

    // By hand, both onto the other monitor.
    session->requestFrame(left, Rect{100, 100, 500, 300});
    session->requestFrame(right, Rect{700, 400, 500, 300});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !zoneOf(left) && !zoneOf(right); }));

    press(XK_c);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled(kCardSwitcherTitle).has_value();
    })) << logText();
    pressAlone(XK_1);
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const auto a = zoneOf(left), b = zoneOf(right);
        return a && b && *a != *b;
    })) << platform::describe(session->frameOf(left))
        << platform::describe(session->frameOf(right));
    std::optional<xcb_window_t> report;
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return (report = session->viewableWindowTitled(kRestoreReportTitle)).has_value(); },
        seconds(3)));
    if (report) {
        EXPECT_TRUE(
            session->saveScreenshot(session->frameOf(*report), picture("scene-restore-report-x11.png")));
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A laptop off its dock: "Update" with the side monitor away rewrites what the primary shows and keeps
// what the scene holds for the side monitor, which is offered its layout again when it is plugged back.
TEST_F(ScenesProgramOnX11Test, anUpdateWithAMonitorUnpluggedKeepsItsLayoutAndWindowsForItsReturn) {
    startSession(true);
    const std::string side = monitorsByName(session->display()).at(kSecondaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), "77777777-8888-4999-8AAA-BBBBBBBBBBBB",
                                          "Docked", "builtin.split-50-50", "builtin.fullscreen");
    scene.windowHints = {{side, {WindowHint{"xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    xterm("Notes", "60x20+2000+100");
    bindUpdateKey();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Docked'")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.update key=U")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    const std::size_t passes = count("[DisplayChange] handle end");
    session->deleteMonitor(kSecondaryName);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > passes; }))
        << logText();
    press(XK_u);
    ASSERT_TRUE(waitForLine("Updated scene 'Docked' with 1 display snapshots")) << logText();
    const nlohmann::json stored = activeSceneFile();
    EXPECT_EQ(stored["layoutRefsByDisplay"].value(side, ""), "builtin.fullscreen") << stored.dump();
    EXPECT_EQ(stored["windowHints"].value(side, nlohmann::json()),
              nlohmann::json::parse(R"([{"bundleID": "xterm", "zoneID": 1}])"))
        << stored.dump();

    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (prompt = session->viewableWindowTitled(kPromptTitle)).has_value(); }, seconds(5)))
        << logText();
    // 88 high: the prompt that offers "Apply Layout".
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->frameOf(*prompt).size == Size{380, 88};
    })) << platform::describe(session->frameOf(*prompt));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Three xterms pushed into the zones of the side monitor keep them through a restore of the scene in use,
// which applies the very layout they are in, and through a restart: Alt+Tab still cycles zone 2 and the
// focus keys reach each zone's window.
TEST_F(ScenesProgramOnX11Test, windowsKeepTheirZonesThroughARestoreOfTheSameLayoutAndARestart) {
    startSession(true);
    // The halves of the side monitor (root 0, 0, 1920 × 900).
    const Rect sideZone1{0, 0, 960, 900}, sideZone2{960, 0, 960, 900};
    const xcb_window_t one = xterm("One", "60x20+100+100");
    const xcb_window_t two = xterm("Two", "60x20+1200+300");
    pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    std::size_t pushes = 0;
    auto push = [&](xcb_window_t window, std::uint32_t digit, const Rect& zone) {
        press(digit);
        ASSERT_TRUE(fills(window, zone)) << platform::describe(session->frameOf(window));
        // Done once the push has brought its window forward and checked that it stays so; a click
        // elsewhere before then would have the focus taken back.
        ASSERT_TRUE(pushesEnd(++pushes)) << logText();
    };
    ASSERT_TRUE(focusByClick(one));
    push(one, XK_1, sideZone1);
    ASSERT_TRUE(focusByClick(two));
    push(two, XK_2, sideZone2);
    const xcb_window_t three = activeXterm("Three", "60x20+1300+400");
    push(three, XK_2, sideZone2);

    auto reaches = [&](std::vector<std::uint32_t> keys, xcb_window_t window) {
        std::vector<xcb_keycode_t> codes;
        for (auto keysym : keys)
            codes.push_back(session->keycodeOf(keysym));
        session->pressKeys(codes);
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    };
    const std::vector<std::uint32_t> cycle{XK_Alt_L, XK_Tab};
    const std::vector<std::uint32_t> focusLeft{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_q},
        focusRight{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_w};

    press(XK_c);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled(kCardSwitcherTitle).has_value();
    })) << logText();
    pressAlone(XK_1);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") >= 2; })) << logText();
    // The restore registers the hot keys again; a press on its way then is dropped.
    X11TestSession::waitFor([] { return false; }, milliseconds(1000));
    EXPECT_TRUE(reaches(cycle, two)) << logText();
    EXPECT_TRUE(reaches(focusLeft, one)) << logText();
    EXPECT_TRUE(reaches(focusRight, two)) << logText();

    ::kill(korvane, SIGTERM);
    ASSERT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    fs::remove(log());
    korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    X11TestSession::waitFor([] { return false; }, milliseconds(1000));
    EXPECT_TRUE(reaches(focusLeft, one)) << logText();
    EXPECT_TRUE(reaches(focusRight, two)) << logText();
    EXPECT_TRUE(reaches(cycle, three)) << logText();
    for (const auto& [window, zone] : {std::pair{one, sideZone1}, {two, sideZone2}, {three, sideZone2}})
        EXPECT_TRUE(fills(window, zone)) << platform::describe(session->frameOf(window));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A scene naming xterm in both zones of the side monitor and in the main monitor's first: restored at the
// start with no xterm running, it has one started for each zone, each landing in its own; restored again
// from the card switcher with one of them left in its zone, it has two more started for the others while
// that one, with its work, stays where it is, though the main monitor's hint is served first.
TEST_F(ScenesProgramOnX11Test, aSceneNamingXtermInThreeZonesHasOneStartedForEachZoneWithoutOne) {
    startSession(true);
    // Something on screen the scene does not name: with no window at all the display pass waits for one.
    session->start({"xlogo", "-geometry", "200x200+3400+600"});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->viewableWindowTitled("xlogo").has_value(); }));
    const auto monitors = monitorsByName(session->display());
    WMScene scene = sceneOverBothMonitors(session->display(), "88888888-9999-4AAA-8BBB-CCCCCCCCCCCC",
                                          "Terminals", "builtin.split-50-50", "builtin.split-50-50");
    const WindowHint sideFirst{"debian-xterm", 1, std::nullopt}, sideSecond{"debian-xterm", 2, std::nullopt};
    scene.windowHints = {{monitors.at(kSecondaryName), {sideFirst, sideSecond}},
                         {monitors.at(kPrimaryName), {WindowHint{"debian-xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    // The side monitor's halves (root 0, 0, 1920 × 900) and the main monitor's first.
    const std::vector<Rect> zones{{0, 0, 960, 900}, {960, 0, 960, 900}, kZone1};
    const auto fillsZone = [&](xcb_window_t window, const Rect& zone) {
        const Rect frame = session->frameOf(window);
        return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() &&
               frame.width() > zone.width() - 6 && frame.height() > zone.height() - 13;
    };
    // The clients that name their process, but Korvane's own: xlogo names none.
    pid_t korvane = 0;
    const auto xterms = [&] {
        std::vector<xcb_window_t> found;
        for (const xcb_window_t window : session->clientList())
            if (const auto pid = session->pidOf(window); pid && *pid != korvane) found.push_back(window);
        return found;
    };
    const auto eachZoneHoldsOneXterm = [&] {
        const auto windows = xterms();
        return windows.size() == 3 && std::all_of(zones.begin(), zones.end(), [&](const Rect& zone) {
                   return std::count_if(windows.begin(), windows.end(),
                                        [&](xcb_window_t w) { return fillsZone(w, zone); }) == 1;
               });
    };

    korvane = startKorvane();
    EXPECT_TRUE(X11TestSession::waitFor(eachZoneHoldsOneXterm)) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    // Closed only once the program has done placing them: a window that ends within moments of its
    // process can go unheard (its process's observer is dropped first).
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return count("[slot.claim.committed]") + count("[slot.claim.rejected") +
                   count("[slot.claim.expired]") + count("[MappingTX] move failed") >=
               3;
    })) << logText();

    // All but the one in the side monitor's first zone are closed.
    const auto end = [&](xcb_window_t window) {
        if (const auto pid = session->pidOf(window); pid && *pid > 0) ::kill(*pid, SIGTERM);
    };
    for (const xcb_window_t window : xterms())
        if (!fillsZone(window, zones[0])) end(window);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return xterms().size() == 1; }));
    const xcb_window_t kept = xterms().front();
    press(XK_c);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled(kCardSwitcherTitle).has_value();
    })) << logText();
    pressAlone(XK_1);
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals'")) << logText();
    EXPECT_TRUE(X11TestSession::waitFor(eachZoneHoldsOneXterm)) << logText();
    EXPECT_TRUE(fillsZone(kept, zones[0])) << platform::describe(session->frameOf(kept));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    // The xterms Korvane started are no children of the session's: they are ended here.
    for (const xcb_window_t window : xterms())
        end(window);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return xterms().empty(); }));
}

// An active scene whose file no longer decodes: nothing is restored, and the restore report says so at
// the start instead of nothing at all; "Update" says so too and leaves the file as it is.
TEST_F(ScenesProgramOnX11Test, anActiveSceneWhoseFileCannotBeReadIsReportedAtTheStartAndByUpdate) {
    startSession(true);
    xterm("Notes", "60x20+2000+100");
    WMScene scene;
    scene.id = "66666666-7777-4888-8999-AAAAAAAAAAAA";
    scene.name = "Terminals";
    scene.layoutRefsByDisplay = {{monitorsByName(session->display()).at(kPrimaryName), "builtin.fullscreen"}};
    writeActiveScene(home(), scene);
    const fs::path file = home() / "scenes" / SceneStore::sceneFileName(scene.id);
    std::ofstream(file, std::ios::trunc) << "{\"id\":";
    bindUpdateKey();

    const pid_t korvane = startKorvane();
    std::optional<xcb_window_t> report;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (report = session->viewableWindowTitled(kRestoreReportTitle)).has_value(); },
        seconds(20)))
        << logText();
    EXPECT_TRUE(logged("error [sceneManager] Active scene cannot be restored on launch: " + file.string() +
                       " does not decode"))
        << logText();
    EXPECT_FALSE(logged("Scene Restore complete")) << logText();
    // Pictured once its light grey is drawn: the scene's name as the manifest lists it, and why.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const Point middle = session->frameOf(*report).center();
        return session->rootPixel(int(middle.x), int(middle.y)) == 0xF7F7F7u;
    }));
    EXPECT_TRUE(
        session->saveScreenshot(session->frameOf(*report), picture("scene-restore-unreadable-x11.png")));

    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.update key=U")) << logText();
    press(XK_u);
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return session->viewableWindowTitled("Korvane Toast").has_value(); }, seconds(5)))
        << logText();
    EXPECT_TRUE(waitForLine("error [sceneManager] Active scene cannot be updated: " + file.string() +
                            " does not decode"))
        << logText();
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "{\"id\":");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window's place is given from the primary monitor's corner, which lies 1920 pixels into the root
// window here: taken as root coordinates, the window opened on the other monitor.
TEST_F(ScenesProgramOnX11Test, theSaveSceneWindowOpensCentredOnThePrimaryMonitor) {
    startSession(true);
    xterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    press(XK_s);
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (window = session->viewableWindowTitled("Save Scene")).has_value(); }, seconds(5)))
        << logText();
    // Centred on the primary monitor (root 1920, 0, 1920 × 1080), give or take the window manager's frame.
    const Rect frame = session->frameOf(*window);
    EXPECT_LE(std::abs(frame.midX() - 2880), 20) << platform::describe(frame);
    EXPECT_LE(std::abs(frame.midY() - 540), 30) << platform::describe(frame);
    // Escape once the window holds the keyboard, and again while a busy machine has not taken the key.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        if (session->activeWindow() != *window) return false;
        pressAlone(XK_Escape);
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Save Scene"); },
                                       seconds(3));
    })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(ScenesProgramOnX11Test, aMonitorPluggedInWhileASceneIsActiveGetsThePromptWithoutTakingTheKeyboard) {
    startSession(true);
    const xcb_window_t notes = xterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(focusByClick(notes));

    // Below the side monitor; the first scene Korvane made names no layout for it.
    session->setMonitor("EXTRA-P", Rect{0, 900, 1920, 180}, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (prompt = session->viewableWindowTitled(kPromptTitle)).has_value(); }, seconds(5)))
        << logText();
    const Rect frame = session->frameOf(*prompt);
    // 380 × 80 (no Apply Layout), centred on the new monitor, 20 pixels below its top.
    EXPECT_EQ(frame.size, (Size{380, 80})) << platform::describe(frame);
    EXPECT_LE(std::abs(frame.midX() - 960), 1) << platform::describe(frame);
    EXPECT_EQ(frame.minY(), 920) << platform::describe(frame);
    EXPECT_EQ(session->activeWindow(), notes);
    EXPECT_EQ(session->atomNames(*prompt, "_NET_WM_WINDOW_TYPE").at(0), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    const auto states = session->atomNames(*prompt, "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end())
        << platform::describeList(states);
    EXPECT_EQ(session->desktopOf(*prompt), 0xFFFFFFFFu);
    EXPECT_TRUE(
        session->saveScreenshot(Rect{0, 900, 1920, 180}, picture("unconfigured-display-prompt-x11.png")));

    // Dismiss: the prompt goes and the keyboard stays with the xterm.
    // Its second button, "Dismiss", stands 170 pixels in and 44 down from the prompt's corner.
    session->click(static_cast<int>(frame.minX() + 170), static_cast<int>(frame.minY() + 44));
    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPromptTitle); }, seconds(3)));
    EXPECT_FALSE(logged("wid=" + std::to_string(*prompt)))
        << "Korvane took its prompt for a window to manage";

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
