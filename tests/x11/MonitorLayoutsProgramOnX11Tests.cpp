// The zones each monitor has, as the built program gives them on a real X server with openbox: at a start
// without a scene a monitor other than the one the user works on takes the user layout remembered for it,
// and a first start on two monitors makes a first scene that lays out both.
#include "ProgramOnX11.h"

#include "layouts/ConfigZoneSet.h"
#include "platform/Format.h"

#include <X11/keysym.h>

namespace korvane::x11::test {
namespace {

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
    // The last quarter of the main monitor (root 1920, 0, 1920 x 1080).
    EXPECT_TRUE(comesToFill(right, Rect(3360, 0, 480, 1080)))
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

} // namespace
} // namespace korvane::x11::test
