// Display identity and screen lookups over simulated screens: edges, ties, nearest screens, names.
#include "app/DisplayUtil.h"
#include "platform/Format.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class DisplayUtilTest : public ::testing::Test {
  protected:
    // Left 0…1000 and right 1000…2000, both 800 high; the left one is the main screen.
    void sideBySide() {
        left = desktop->screens().addDisplay({.frame = Rect{0, 0, 1000, 800}, .name = "Left", .uuid = "L"});
        right = desktop->screens().addDisplay({.frame = Rect{1000, 0, 1000, 800},
                                               .visibleFrame = Rect{1000, 0, 1000, 780},
                                               .name = "Right",
                                               .uuid = "R"});
    }
    platform::Screens& screens() { return desktop->screens(); }
    std::string screenUUID(const Rect& rect) {
        auto s = DisplayUtil::screen(screens(), rect);
        return s ? s->displayUUID : "none";
    }

    sim::ScopedSimDesktop desktop;
    int left = 0;
    int right = 0;
};

TEST(DisplayUtil, screenWithoutUUIDIsNamedByNameAndNumber) {
    platform::ScreenInfo screen;
    EXPECT_EQ(DisplayUtil::displayUUID(screen), "-0");
    screen.displayNumber = 7;
    screen.localizedName = "Studio";
    EXPECT_EQ(DisplayUtil::displayUUID(screen), "Studio-7");
    screen.displayUUID = "37D8832A-2D66-02CA-B9F7-8F30A301B230";
    EXPECT_EQ(DisplayUtil::displayUUID(screen), "37D8832A-2D66-02CA-B9F7-8F30A301B230");
}

TEST_F(DisplayUtilTest, rectanglesBelongByTheirMiddleOrByLargestShareThenNearestElseToTheMainScreen) {
    EXPECT_EQ(DisplayUtil::displayUUID(screens(), Rect{0, 0, 10, 10}), "");
    EXPECT_EQ(screenUUID(Rect{0, 0, 10, 10}), "none");
    EXPECT_FALSE(DisplayUtil::screenUnderMouse(screens()));
    sideBySide();
    struct Row {
        Rect rect;
        const char* byMiddle;
        const char* byShare;
    };
    const Row rows[] = {
        {Rect{900, 100, 200, 100}, "R", "L"}, // middle on the right screen's left edge; equal shares: earlier
        {Rect{100, 100, 200, 100}, "L", "L"}, // well inside the left one
        {Rect{800, 100, 300, 100}, "L", "L"}, // larger share on the left
        {Rect{950, 100, 300, 100}, "R", "R"}, // larger share on the right
        {Rect{1800, 700, 400, 200}, "L", "R"}, // middle on the far corner: on no screen, so the main one
        {Rect{1200, 780, 100, 50}, "L", "R"},  // touches the right visible frame only along its top edge
        {Rect{2100, 300, 100, 100}, "L", "R"}, // beyond the right edge: nearest
        {Rect{950, -200, 100, 100}, "L", "L"}, // below the shared edge: equally near both, the earlier
        {Rect{-500, 0, 100, 100}, "L", "L"},   // off every screen
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DisplayUtil::displayUUID(screens(), row.rect), row.byMiddle)
            << platform::describe(row.rect);
        EXPECT_EQ(screenUUID(row.rect), row.byShare) << platform::describe(row.rect);
    }
    desktop->screens().setMouseLocation({1500, 400});
    EXPECT_EQ(DisplayUtil::screenUnderMouse(screens())->displayUUID, "R");
    desktop->screens().setMouseLocation({1000, 800}); // the top edge belongs to no screen
    EXPECT_EQ(DisplayUtil::screenUnderMouse(screens())->displayUUID, "L");
    desktop->screens().setMainDisplay(right);
    EXPECT_EQ(DisplayUtil::displayUUID(screens(), Rect{-500, 0, 100, 100}), "R");
}

TEST_F(DisplayUtilTest, displayNamesComeFromConnectedScreensElseTheIdentifier) {
    sideBySide();
    const std::pair<const char*, const char*> rows[] = {
        {"R", "Right"},
        {"R#2", "Right"},
        {"r", "Display r"}, // case-sensitive
        {"ABCDEF123456", "Display ABCDEF"},
        {"ÉÉÉÉÉÉÉ-3", "Display ÉÉÉÉÉÉ"}, // characters, not bytes
        {"", "Display "},
    };
    for (const auto& [identifier, expected] : rows)
        EXPECT_EQ(DisplayUtil::displayName(screens(), identifier), expected) << identifier;
}

TEST_F(DisplayUtilTest, flipIsItsOwnInverse) {
    EXPECT_EQ(DisplayUtil::flipPoint(screens(), {5, 30}), (Point{5, -30}));
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "M"});
    // A taller screen beside the main one does not move the origin of either system.
    desktop->screens().addDisplay({.frame = Rect{1920, -200, 1080, 1920}, .uuid = "P"});
    const Point flipped = DisplayUtil::flipPoint(screens(), {40, 0});
    EXPECT_EQ(flipped, (Point{40, 1080}));
    EXPECT_EQ(DisplayUtil::flipPoint(screens(), flipped), (Point{40, 0}));
}

} // namespace
