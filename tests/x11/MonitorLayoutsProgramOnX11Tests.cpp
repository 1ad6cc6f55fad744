// The zones each monitor has, as the built program gives them on a real X server with openbox: at a start
// without a scene a monitor other than the one the user works on takes the user layout remembered for it;
// a first start on two monitors makes a first scene that lays out both; and "Apply Layout" on a monitor
// plugged in lays out that monitor alone, the windows of the others staying in their zones.
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

} // namespace
} // namespace korvane::x11::test
