// What "Save Scene" captures on a real X server: with the side monitor stacked above the primary, an xterm
// on each is found on its own monitor, by UUID and name, in the zone of that monitor's layout it stands
// in; a window of this very process is left out.
#include "X11Fixture.h"

#include "layouts/LayoutLibrary.h"
#include "scenes/SceneStore.h"
#include "ui/scene_manager/SceneSaveViewModel.h"

#include <algorithm>
#include <unistd.h>

namespace korvane::x11::test {
namespace {

// The suite has its own session, which ends with it: the monitors need no putting back.
using SceneSaveOnX11Test = X11Test;

TEST_F(SceneSaveOnX11Test, xtermsAboveAndOnThePrimaryAreCapturedOnTheirMonitorsInTheirZones) {
    // Root coordinates: the side monitor on top, the primary right beneath it, both as wide. The server
    // takes no new geometry for a monitor it has, so each goes first.
    session().deleteMonitor(kSecondaryName);
    session().deleteMonitor(kPrimaryName);
    session().setMonitor(kPrimaryName, Rect{1920, 540, 1920, 540}, true);
    session().setMonitor(kSecondaryName, Rect{1920, 0, 1920, 540}, false);
    auto screenNamed = [&](const std::string& name) -> std::optional<platform::ScreenInfo> {
        for (const auto& s : desktop->screens().screens())
            if (s.localizedName == name) return s;
        return std::nullopt;
    };
    ASSERT_TRUE(runUntil([&] {
        const auto side = screenNamed(kSecondaryName);
        const auto primary = screenNamed(kPrimaryName);
        return side && primary && side->frame == Rect(0, 540, 1920, 540) &&
               primary->frame == Rect(0, 0, 1920, 540);
    })) << "the side monitor did not move above the primary";
    const auto primary = screenNamed(kPrimaryName);
    const auto side = screenNamed(kSecondaryName);
    ASSERT_TRUE(primary && side);

    // Top-left corner of the upper monitor; right half of the primary.
    const auto upper = xterm("Upper", "40x10+1940+20");
    const auto lower = xterm("Lower", "40x10+3400+700");
    // A window of the test's own process, named by the server as this process's.
    const xcb_window_t own = session().createWindow(Rect(2000, 600, 300, 200), "Own window");
    session().setClass(own, "own", "Own");
    const bool ownListed = runUntil([&] {
        for (const auto& e : desktop->windowServer()
                                 .copyWindowInfo(platform::kOnScreenOnly)
                                 .value_or(std::vector<platform::WindowInfo>{}))
            if (e.value(platform::WindowKey::number, 0u) == own &&
                e.value(platform::WindowKey::ownerPID, 0) == ::getpid())
                return true;
        return false;
    });

    auto store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
    auto library = std::make_shared<LayoutLibrary>(desktop->userDefaults());
    const std::map<std::string, std::string> layouts = {{side->displayUUID, "builtin.daily"},
                                                        {primary->displayUUID, "builtin.split-50-50"}};
    SceneSaveViewModel model(
        *desktop, store, [](const WMScene&) {}, [] {});
    model.layoutIDForDisplay = [&](const std::string& display) -> std::optional<std::string> {
        auto found = layouts.find(display);
        return found == layouts.end() ? std::nullopt : std::optional(found->second);
    };
    model.layoutTemplateResolver = library;
    model.loadWindows();
    session().destroyWindow(own);
    ASSERT_TRUE(ownListed) << "the window server never listed the test's own window";

    auto entryOf = [&](xcb_window_t window) -> const SceneSaveViewModel::WindowEntry* {
        for (const auto& e : model.windowEntries)
            if (e.windowID == window) return &e;
        return nullptr;
    };
    EXPECT_EQ(entryOf(own), nullptr);
    ASSERT_EQ(model.windowEntries.size(), 2u);
    const auto* up = entryOf(upper.window);
    const auto* down = entryOf(lower.window);
    ASSERT_TRUE(up && down);
    // "PRIMARY-A" sorts before "SIDE-B".
    EXPECT_EQ(model.windowEntries.front().windowID, lower.window);

    EXPECT_EQ(up->displayUUID, side->displayUUID);
    EXPECT_EQ(up->displayName, kSecondaryName);
    EXPECT_LT(up->currentFrame.minY(), 0) << "the window list places it above the primary's top edge";
    EXPECT_EQ(model.zoneAssignments.at(up->id), 1); // "Top Left" of "builtin.daily"
    EXPECT_EQ(down->displayUUID, primary->displayUUID);
    EXPECT_EQ(down->displayName, kPrimaryName);
    EXPECT_EQ(model.zoneAssignments.at(down->id), 2); // the right half
    for (const auto* e : {up, down}) {
        EXPECT_EQ(e->bundleID, std::optional<std::string>(kSampleBundleID));
        EXPECT_EQ(e->appName, kSampleName);
    }
}

} // namespace
} // namespace korvane::x11::test
