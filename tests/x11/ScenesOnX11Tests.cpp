// Scenes kept on disk against the monitors of a real X server: the first scene lays out every monitor the
// server reports, a scene saved for "whichever display" goes to the one monitor left and to none of
// two, and a new connection reads every scene the same, the monitors keeping their UUIDs.
#include "X11Fixture.h"

#include "scenes/SceneMigration.h"
#include "scenes/SceneStore.h"

#include <fstream>

namespace korvane::x11::test {
namespace {

using ScenesOnX11Test = X11Test;
using RefMap = WMScene::LayoutRefMap;

constexpr const char* kOlderID = "0F0F0F0F-1111-4222-8333-444444444444";

TEST_F(ScenesOnX11Test, scenesFoldIntoTheMonitorsTheServerHasAndReadTheSameOnANewConnection) {
    auto screensNow = [&] { return ScreenContext::capture(desktop->screens()); };
    const ScreenContext two = screensNow();
    ASSERT_EQ(two.screens.size(), 2u);
    RefMap firstScene;
    {
        SceneStore store(*desktop, two);
        SceneMigration(*desktop, two).runIfNeeded(store);
        ASSERT_TRUE(store.loadActiveScene(two));
        firstScene = store.loadActiveScene(two)->layoutRefsByDisplay;
        EXPECT_EQ(firstScene, (RefMap{{two.screens.front().displayUUID, "builtin.split-50-50"},
                                      {two.screens.back().displayUUID, "builtin.split-50-50"}}));

        std::ofstream(store.scenesDirectory / ("scene-" + std::string(kOlderID) + ".json"))
            << R"({"id":")" << kOlderID << R"(","name":"Older","layoutID":"builtin.columns"})";
        EXPECT_EQ(store.loadScene(kOlderID, two)->layoutRefsByDisplay, RefMap{});
    }

    session().deleteMonitor(kSecondaryName);
    ASSERT_TRUE(runUntil([&] { return desktop->screens().screens().size() == 1; }));
    const std::string primary = screensNow().screens.front().displayUUID;
    const RefMap onPrimary = {{primary, "builtin.columns"}};
    {
        SceneStore store(*desktop, screensNow());
        EXPECT_EQ(store.loadScene(kOlderID, screensNow())->layoutRefsByDisplay, onPrimary);
    }

    reconnect();
    SceneStore store(*desktop, screensNow());
    EXPECT_EQ(store.loadScene(kOlderID, screensNow())->layoutRefsByDisplay, onPrimary);
    EXPECT_EQ(store.loadActiveScene(screensNow())->layoutRefsByDisplay, firstScene);
}

} // namespace
} // namespace korvane::x11::test
