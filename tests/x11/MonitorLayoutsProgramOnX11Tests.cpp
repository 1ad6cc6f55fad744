// The zones each monitor has, as the built program gives them on a real X server with openbox: at a start
// without a scene a monitor other than the one the user works on takes the user layout remembered for it;
// a first start on two monitors makes a first scene that lays out both; and "Apply Layout" on a monitor
// plugged in lays out that monitor alone, the windows of the others staying in their zones. Under a scale
// that leaves the main monitor a fractional width of the toolkit's pixels, nothing of the program's
// reaches onto the monitor beside it.
#include "ProgramOnX11.h"

#include "layouts/ConfigZoneSet.h"
#include "platform/Format.h"

#include <X11/keysym.h>

namespace korvane::x11::test {
namespace {

constexpr const char* kPromptTitle = "Korvane Display Prompt";

class MonitorLayoutsProgramOnX11Test : public ProgramOnX11Test {
  protected:
    static void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
};

TEST_F(MonitorLayoutsProgramOnX11Test,
       withoutASceneTheMonitorBesideTheOneInUseTakesItsRememberedThreeZoneLayoutForTheFirstPush) {
    startSession(true);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    // The main monitor remembers a user layout: a wide zone, then two narrow ones. No scene.
    ConfigZoneSet three;
    three.id = "layout.wide2";
    three.name = "Wide and two";
    three.zones = std::vector<ConfigZone>{{1, "", Rect{0, 0, 0.5, 1}, std::nullopt},
                                          {2, "", Rect{0.5, 0, 0.25, 1}, std::nullopt},
                                          {3, "", Rect{0.75, 0, 0.25, 1}, std::nullopt}};
    write(home() / "Layouts/layout.wide2.json", three.toJSON().dump());
    write(home() / "display-workbenches.json",
          R"({"workbenches":{")" + primary + R"(":{"displayUUID":")" + primary +
              R"(","activeTemplateID":"layout.wide2","updatedAt":"2026-01-05T09:00:00Z"}}})");
    write(home() / "layout-selection.json", R"({"lastByDisplay":{")" + primary + R"(":"layout.wide2"}})");
    write(home() / "scene-migration-d7-done", "done");

    // The user starts the program while working on the side monitor.
    const xcb_window_t right = xterm("Right", "60x20+2000+100");
    const xcb_window_t left = activeXterm("Left", "60x20+100+100");
    ASSERT_TRUE(focusByClick(left));
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(focusByClick(right));
    press({XK_Control_L, XK_Alt_L, XK_3});
    // The last quarter of the main monitor (root 1920, 0, 1920 x 1080, less the corner button's strip).
    EXPECT_TRUE(comesToFill(right, Rect(3360, kPrimaryWorkArea.minY(), 480, kPrimaryWorkArea.height())))
        << platform::describe(session->frameOf(right)) << "\n"
        << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(MonitorLayoutsProgramOnX11Test, aFirstStartOnTwoMonitorsMakesAFirstSceneThatLaysOutBoth) {
    startSession(true);
    openXterm();
    const pid_t korvane = startKorvane(); // a fresh support folder
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'My Workspace'")) << logText();
    EXPECT_TRUE(logged("'My Workspace' displays=2/2 unresolved=0")) << logText();
    const nlohmann::json refs = activeSceneFile()["layoutRefsByDisplay"];
    for (const auto& uuid : monitorUUIDs())
        EXPECT_TRUE(refs.contains(uuid)) << uuid << " in " << refs.dump();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Unplugging the main monitor and plugging it back moves every monitor's place on the desktop, so the
// zones of each are rebuilt for where it is now; a focus key towards a zone that holds no window focuses
// nothing. Neither is a failure: the log has no line at error level.
TEST_F(MonitorLayoutsProgramOnX11Test, anUnplugAndAReplugThenAFocusKeyTowardsAnEmptyZoneLogNoError) {
    startSession(true);
    const xcb_window_t mail = activeXterm("Mail", "60x20+100+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_NO_FATAL_FAILURE(unplugAndReplug(kPrimaryName, kPrimaryRoot));
    ASSERT_TRUE(focusByClick(mail));
    // Mail is in no zone: the focus goes from the side monitor's first zone to its second, which is empty.
    press({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_w});
    ASSERT_TRUE(waitForLine("FocusZone: No window found in Z2 area")) << logText();
    EXPECT_EQ(session->activeWindow(), mail);
    EXPECT_EQ(errorLines(), std::vector<std::string>{}) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(MonitorLayoutsProgramOnX11Test,
       applyLayoutOnAPluggedMonitorLeavesTheOtherMonitorsWindowsInTheirZones) {
    startSession(true);
    // A monitor below the side monitor, known to the scene, unplugged when the program starts.
    const Rect extraRoot{0, 900, 1920, 180};
    session->setMonitor("EXTRA-M", extraRoot, false);
    const auto uuids = monitorsByName(session->display());
    ASSERT_EQ(uuids.size(), 3u);
    const std::string extra = uuids.at("EXTRA-M");
    session->deleteMonitor("EXTRA-M");
    WMScene scene;
    scene.id = "66666666-7777-4888-9999-aaaaaaaaaaaa";
    scene.name = "Halves";
    scene.layoutRefsByDisplay = {{uuids.at(kPrimaryName), "builtin.split-50-50"},
                                 {uuids.at(kSecondaryName), "builtin.split-50-50"},
                                 {extra, "builtin.fullscreen"}};
    writeActiveScene(home(), scene);

    const xcb_window_t mail = xterm("Mail", "60x20+100+100");
    const xcb_window_t notes = activeXterm("Notes", "60x20+1100+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Halves'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    // Mail into the left half of the side monitor (root 0, 0, 1920 x 900), Notes into its right half.
    ASSERT_TRUE(focusByClick(mail));
    press({XK_Control_L, XK_Alt_L, XK_1});
    ASSERT_TRUE(comesToFill(mail, Rect(0, 0, 960, 900))) << logText();
    // The push brings Mail forward once it has moved and then records it in its zone; a click on Notes
    // before that would lose the focus to Mail again.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[MappingTX] commit") >= 1; })) << logText();
    ASSERT_TRUE(focusByClick(notes));
    press({XK_Control_L, XK_Alt_L, XK_2});
    ASSERT_TRUE(comesToFill(notes, Rect(960, 0, 960, 900)))
        << platform::describe(session->frameOf(notes)) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[MappingTX] commit") >= 2; })) << logText();

    session->setMonitor("EXTRA-M", extraRoot, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (prompt = session->viewableWindowTitled(kPromptTitle)).has_value();
    })) << logText();
    // "Apply Layout" leads the button row at the prompt's left, below the message.
    const Rect frame = session->frameOf(*prompt);
    session->click(static_cast<int>(frame.minX() + 60), static_cast<int>(frame.minY() + 56));
    ASSERT_TRUE(waitForLine("M3: applied Scene 'Halves' to newly connected display '" + extra + "'"))
        << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; }));

    // Moving the focus to the zone on the left finds Mail there: the side monitor's zones kept their
    // windows.
    press({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_q});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == mail; })) << logText();
    EXPECT_EQ(session->frameOf(notes).minX(), 960);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A main monitor of 2560 × 1440 beside a 1920 × 1080 one, both from the root's top, under a scale of 1.5:
// the main monitor is 1706⅔ of the toolkit's pixels wide. The corner button's strut covers the main
// monitor's columns and no more, so the monitor beside it keeps its whole height: a window pushed into
// its first zone fills it from the top. The global switcher covers the main monitor to its edges.
TEST_F(MonitorLayoutsProgramOnX11Test,
       underAScaleThatMakesTheMainMonitorsWidthFractionalNothingReachesPastIt) {
    startWideMainSession();
    const Rect& mainRoot = kWideMainRoot;
    writeHalvesScene();
    const xcb_window_t onMain = xterm("On main", "60x20+300+300");
    const xcb_window_t beside = activeXterm("Beside", "60x20+3000+300");
    const pid_t korvane = startKorvane({"QT_SCALE_FACTOR=1.5"});
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Halves'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    // 30 of the toolkit's rows, over the main monitor's columns 0 to 2559.
    std::vector<std::uint32_t> strut;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        for (const xcb_window_t window : session->clientList())
            if (session->pidOf(window) == korvane && (strut = session->strutOf(window)).size() == 12)
                return true;
        return false;
    })) << logText();
    EXPECT_EQ(strut[2], 45u);
    EXPECT_EQ(strut[8], 0u);
    EXPECT_EQ(strut[9], 2559u);

    ASSERT_TRUE(focusByClick(beside));
    press({XK_Control_L, XK_Alt_L, XK_1});
    EXPECT_TRUE(comesToFill(beside, Rect(2560, 0, 960, 1080)))
        << platform::describe(session->frameOf(beside));

    ASSERT_TRUE(focusByClick(onMain));
    press({XK_Control_L, XK_Alt_L, XK_a});
    std::optional<xcb_window_t> switcher;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (switcher = session->viewableWindowTitled("Global Switcher")) &&
               session->activeWindow() == *switcher;
    })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(*switcher) == mainRoot; }))
        << platform::describe(session->frameOf(*switcher));
    // Its backdrop drawn to the monitor's last column and row.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixel(2559, 700) == 0x1A1A1E && session->rootPixel(2559, 1439) == 0x1A1A1E;
    })) << std::hex
        << session->rootPixel(2559, 700);
    EXPECT_TRUE(session->saveScreenshot(mainRoot, picture("global-switcher-fractional-scale-x11.png")));
    press({XK_Escape});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Global Switcher"); }));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
