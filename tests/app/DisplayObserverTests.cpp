// The display observer on the simulated desktop: its start, the printed line, and the displays each
// change names as added and removed.
#include "app/DisplayObserver.h"

#include "app/DisplayTopologySnapshot.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <functional>

using namespace korvane;
using Strings = std::vector<std::string>;

TEST(DisplayObserver, startPostsOnceWithEmptyListsAndEachChangeNamesTheDisplaysThatCameAndWent) {
    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    auto& screens = desktop->screens();
    screens.addDisplay(
        {.frame = Rect{0, 0, 1512, 982}, .visibleFrame = Rect{0, 0.9, 1512, 949.5}, .uuid = "M"});
    const int side = screens.addDisplay({.frame = Rect{-1920.5, 0, 1920, 1080}, .uuid = "S"});
    desktop->loop().runUntilIdle(); // the platform's notices of these came before the start
    std::vector<std::pair<Strings, Strings>> posts;
    auto token = desktop->notifications().addObserver(
        DisplayObserver::screenParametersChangedNotification, platform::NotificationCenter::Delivery::posting,
        [&](const std::string&, const nlohmann::json& info) {
            posts.emplace_back(info.at("addedDisplayUUIDs").get<Strings>(),
                               info.at("removedDisplayUUIDs").get<Strings>());
        });
    auto observer = std::make_shared<DisplayObserver>(*desktop);
    EXPECT_EQ(observer->lastChangeAt(), DisplayObserver::kDistantPast);
    observer->start();
    observer->start();
    EXPECT_EQ(capture.console().lines(),
              Strings{"[Display] parameters changed by=observer-start screens=2 added=[] removed=[] -> "
                      "id=? frame=1512x982 vf=(0,0,1512x949); id=? frame=1920x1080 vf=(-1920,0,1920x1080)"});
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0], std::make_pair(Strings{}, Strings{}));

    int third = 0;
    // Each change: what the post names, when it was handled, and that the arrangement's digest moved.
    auto after = [&](const std::function<void()>& change, const Strings& added, const Strings& removed) {
        const auto digest = DisplayTopologySnapshot::capture(screens).digest;
        desktop->loop().advance(seconds(1));
        change();
        desktop->loop().runUntilIdle();
        EXPECT_EQ(posts.back(), std::make_pair(added, removed));
        EXPECT_EQ(observer->lastChangeAt(), desktop->loop().now());
        EXPECT_NE(DisplayTopologySnapshot::capture(screens).digest, digest);
    };
    after([&] { third = screens.addDisplay({.frame = Rect{1512, 0, 800, 600}, .uuid = "T"}); }, {"T"}, {});
    after([&] { screens.setDisplayFrame(side, Rect{-1280, 0, 1280, 800}); }, {}, {});
    after([&] { screens.removeDisplay(third); }, {}, {"T"});
    EXPECT_EQ(posts.size(), 4u);
    EXPECT_TRUE(capture.console().contains("[Display] parameters changed by=RandR/_NET_WM_STRUT screens=3 "
                                           "added=[\"T\"] removed=[]"));
}
