// The layout builder: the pixel-aligned start-up grid and the zones of user layouts in each of their
// forms, with the renumbering lines on standard output.
#include "LayoutTestSupport.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutBuilder.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

platform::ScreenInfo screen(Rect visible, double scale = 2) {
    platform::ScreenInfo info;
    info.frame = visible;
    info.visibleFrame = visible;
    info.backingScale = scale;
    info.displayUUID = "11111111-2222-3333-4444-555555555555";
    return info;
}

std::map<int, Rect> frames(const LayoutBuilder::Zones& zones) {
    std::map<int, Rect> out;
    for (const auto& [id, zone] : zones) {
        EXPECT_EQ(zone.id, id);
        out[id] = zone.frame;
    }
    return out;
}

ConfigZoneSet userLayout() {
    ConfigZoneSet set;
    set.id = "layout.0123abcd";
    set.name = "Mine";
    return set;
}

TEST(LayoutBuilder, gridEdgesLieOnDevicePixelsOfTheBackingScale) {
    auto grid = [](Rect visible, double scale, int rows, int columns, double gap, double inset) {
        return frames(LayoutBuilder::grid(screen(visible, scale), rows, columns, gap, inset));
    };
    EXPECT_EQ(grid(Rect{0, 0, 1440, 875}, 2, 2, 2, 0, 0),
              (std::map<int, Rect>{{1, Rect{0, 437.5, 720, 437.5}},
                                   {2, Rect{0, 0, 720, 437.5}},
                                   {3, Rect{720, 437.5, 720, 437.5}},
                                   {4, Rect{720, 0, 720, 437.5}}}));
    // 437.5 rounds away from zero to 438: the top row is 437 high, the bottom one 438.
    EXPECT_EQ(grid(Rect{0, 0, 1440, 875}, 1, 2, 2, 0, 0), (std::map<int, Rect>{{1, Rect{0, 438, 720, 437}},
                                                                               {2, Rect{0, 0, 720, 438}},
                                                                               {3, Rect{720, 438, 720, 437}},
                                                                               {4, Rect{720, 0, 720, 438}}}));
    // Gap and inset leave no space between zones: cell = (960 - 2 * 10) / 3; inner edges at
    // 20 + 313.33 -> 333.5 and 20 + 626.67 + 10 -> 656.5.
    EXPECT_EQ(grid(Rect{0, 0, 1000, 500}, 2, 1, 3, 10, 20),
              (std::map<int, Rect>{{1, Rect{20, 20, 313.5, 460}},
                                   {2, Rect{333.5, 20, 323, 460}},
                                   {3, Rect{656.5, 20, 323.5, 460}}}));
    EXPECT_EQ(grid(Rect{0, 0, 100, 100}, 2, 0, -2, 0, 0), (std::map<int, Rect>{{1, Rect{0, 0, 100, 100}}}));
}

TEST(LayoutBuilder, treeLayoutsAreRenumberedInReadingOrderAndSaySo) {
    sim::ScopedLogCapture capture;
    ConfigZoneSet set = userLayout();
    set.layoutTree = H(0.25, R(9), R(5));
    // A tree wins over split lists and explicit zones.
    set.xSplits = std::vector<double>{0.5};
    set.ySplits = std::vector<double>{};
    set.zones = std::vector<ConfigZone>{ConfigZone{40, "ignored", Rect{0, 0, 1, 1}, {}}};

    auto zones = frames(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{0, 50, 1000, 800})));
    EXPECT_EQ(zones, (std::map<int, Rect>{{1, Rect{0, 50, 250, 800}}, {2, Rect{250, 50, 750, 800}}}));
    EXPECT_EQ(capture.console().lines(),
              std::vector<std::string>{"[LayoutBuilder] normalized region IDs by position: [5: 2, 9: 1]"});

    // A single region keeps its id, without a line.
    capture.console().clear();
    set.layoutTree = R(7, "All");
    EXPECT_EQ(frames(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{0, 0, 800, 600}))),
              (std::map<int, Rect>{{7, Rect{0, 0, 800, 600}}}));
    EXPECT_TRUE(capture.console().lines().empty());
}

TEST(LayoutBuilder, splitListsBecomeAGridNumberedInReadingOrder) {
    sim::ScopedLogCapture capture;
    ConfigZoneSet set = userLayout();
    set.xSplits = std::vector<double>{0.5, 0.25};
    set.ySplits = std::vector<double>{0.5};
    EXPECT_EQ(frames(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{0, 0, 1000, 800}))),
              (std::map<int, Rect>{{1, Rect(0, 400, 250, 400)},
                                   {2, Rect(0, 0, 250, 400)},
                                   {3, Rect(250, 400, 375, 400)},
                                   {4, Rect(250, 0, 375, 400)},
                                   {5, Rect(625, 400, 375, 400)},
                                   {6, Rect(625, 0, 375, 400)}}));
}

TEST(LayoutBuilder, explicitZonesKeepTheirIdsAndScaleFromTheBottomLeft) {
    ConfigZoneSet set = userLayout();
    set.xSplits = std::vector<double>{0.5}; // one split list alone does not make a grid
    set.zones = std::vector<ConfigZone>{ConfigZone{10, "ignored", Rect{0, 0, 0.5, 1}, {}},
                                        ConfigZone{3, "ignored", Rect{0.5, 0.5, 0.5, 0.5}, {}},
                                        ConfigZone{10, "ignored", Rect{0, 0, 0.25, 0.5}, {}}};
    EXPECT_EQ(frames(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{100, 40, 1000, 600}))),
              (std::map<int, Rect>{{3, Rect{600, 340, 500, 300}}, {10, Rect{100, 40, 250, 300}}}));
}

TEST(LayoutBuilder, aRecordWithoutAUsableFormYieldsNoZones) {
    ConfigZoneSet set = userLayout();
    EXPECT_TRUE(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{0, 0, 100, 100})).empty());
    set.ySplits = std::vector<double>{0.5}; // one split list alone is no grid
    EXPECT_TRUE(LayoutBuilder::normalizedRegionIDs(set, screen(Rect{0, 0, 100, 100})).empty());
}

TEST(LayoutBuilder, idsBeyondTheZoneIdRangeAreLeftOutRatherThanWrapped) {
    // 4294967297 would wrap to 1 and overwrite the real zone 1.
    auto fromZones = LayoutBuilder::zones(
        std::vector<ConfigZone>{ConfigZone{1, "ignored", Rect{0, 0, 0.5, 1}, {}},
                                ConfigZone{4294967297, "ignored", Rect{0.5, 0, 0.5, 1}, {}}},
        Rect{0, 0, 100, 100});
    EXPECT_EQ(frames(fromZones), (std::map<int, Rect>{{1, Rect{0, 0, 50, 100}}}));

    auto fromTree = LayoutBuilder::zones(H(0.5, R(1), R(4294967297)), Rect{0, 0, 100, 100});
    EXPECT_EQ(frames(fromTree), (std::map<int, Rect>{{1, Rect{0, 0, 50, 100}}}));
}

} // namespace
} // namespace korvane
