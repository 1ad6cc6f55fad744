// The zones each monitor has, as the built program gives them on a real X server with openbox: a first
// start on two monitors makes a first scene that lays out both.
#include "ProgramOnX11.h"

namespace korvane::x11::test {
namespace {

using MonitorLayoutsProgramOnX11Test = ProgramOnX11Test;

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
