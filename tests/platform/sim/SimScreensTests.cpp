// The simulated screens: the main display comes first and changes are announced through the loop.
#include "SimDesktopFixture.h"

namespace korvane::sim {
namespace {

struct SimScreensTest : SimDesktopTest {};

TEST_F(SimScreensTest, theMainDisplayComesFirstAndChangesAreAnnouncedThroughTheLoop) {
    std::vector<nlohmann::json> infos;
    auto tokens = watch({platform::kScreenParametersDidChange}, infos);
    int right = desk->screens().addDisplay({.frame = Rect{1440, 0, 1920, 1080}, .uuid = "RIGHT"});
    desk->screens().setMainDisplay(right);
    EXPECT_TRUE(infos.empty()) << "never inside the hook";
    loop().runUntilIdle();
    EXPECT_EQ(infos.size(), 2u);

    auto list = desk->screens().screens();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].displayUUID, "RIGHT");
    EXPECT_EQ(desk->screens().mainScreen()->displayUUID, "RIGHT");
    EXPECT_NE(list[0].displayNumber, list[1].displayNumber);
    desk->screens().removeDisplay(right);
    EXPECT_EQ(desk->screens().mainScreen()->frame, (Rect{0, 0, 1440, 900}));
}

} // namespace
} // namespace korvane::sim
