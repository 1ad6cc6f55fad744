// The simulated window list: what each option leaves in, the front-to-back order, the entries a test
// injects as they are, and fetches that fail.
#include "SimDesktopFixture.h"

namespace korvane::sim {
namespace {

namespace WK = platform::WindowKey;
using Numbers = std::vector<std::uint32_t>;

struct SimWindowServerTest : SimDesktopTest {};

TEST_F(SimWindowServerTest, optionsLeaveOutWhatIsNotShownAndTheListRunsFrontToBack) {
    auto shown = open({.frame = Rect{0, 0, 300, 300}, .title = "Shown"});
    auto minimized = open({.frame = Rect{0, 0, 300, 300}, .minimized = true});
    auto flagged = open({.frame = Rect{0, 0, 300, 300}, .onScreen = false});
    auto desktop = open({.frame = Rect{0, 0, 300, 300}, .layer = -2147483623, .titleInList = false});
    pid_t hiddenApp = ws().launch({.bundleID = "com.example.hidden", .name = "Hidden", .hidden = true});
    auto ofHidden = windows().open(hiddenApp, {.frame = Rect{0, 0, 300, 300}});
    struct Row {
        const char* name;
        unsigned options;
        std::uint32_t relativeTo;
        Numbers expected;
    };
    const Row rows[] = {
        {"everything", 0, 0, {ofHidden, desktop, flagged, minimized, shown}},
        {"on screen", platform::kOnScreenOnly, 0, {desktop, shown}},
        {"on screen, no desktop", platform::kOnScreenOnly | platform::kExcludeDesktopElements, 0, {shown}},
        {"one minimized window", platform::kIncludingWindow, minimized, {minimized}},
        {"one window of a hidden app", platform::kIncludingWindow, ofHidden, {ofHidden}},
        {"an unknown window", platform::kIncludingWindow, 99999, {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(listed(r.options, r.relativeTo), r.expected) << r.name;

    windows().focus(shown);
    ax().performAction(el(flagged), "AXRaise");
    EXPECT_EQ(listed(0), (Numbers{flagged, shown, ofHidden, desktop, minimized}));

    auto list = *desk->windowServer().copyWindowInfo(0);
    EXPECT_FALSE(list[3].contains(WK::name));
    EXPECT_EQ(list[1][WK::name], "Shown");
    EXPECT_EQ(list[1][WK::ownerName], "Editor");
    EXPECT_EQ(list[1][WK::ownerPID], editor);
    EXPECT_EQ(list[1][WK::layer], 0);
}

TEST_F(SimWindowServerTest, injectedEntriesComeAsTheyAreAndFetchesCanFail) {
    auto w = open();
    const std::size_t before = desk->windowServer().windowListFetchCount();
    desk->windowServer().setAvailable(false);
    EXPECT_FALSE(desk->windowServer().copyWindowInfo(platform::kOnScreenOnly).has_value());
    desk->windowServer().setAvailable(true);

    nlohmann::json menuBar = {
        {WK::ownerName, "WindowServer"}, {WK::ownerPID, 88},      {WK::layer, 24}, {WK::number, 5},
        {WK::isOnscreen, true},          {WK::bounds, {{"X", 0}}}};
    nlohmann::json noBounds = {{WK::ownerPID, editor}, {WK::layer, 0}, {WK::number, 6}};
    nlohmann::json wrongType = {{WK::ownerPID, "editor"}, {WK::layer, 0}, {WK::number, "7"}};
    desk->windowServer().addRawEntry(menuBar);
    int back = desk->windowServer().addRawEntry(noBounds, false);
    desk->windowServer().addRawEntry(wrongType, false);
    auto list =
        desk->windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    ASSERT_TRUE(list && list->size() == 4u);
    EXPECT_EQ((*list)[0], menuBar);
    EXPECT_EQ((*list)[1][WK::number], w);
    EXPECT_EQ((*list)[2], noBounds);
    EXPECT_EQ((*list)[3], wrongType);

    desk->windowServer().removeRawEntry(back);
    EXPECT_EQ(desk->windowServer().copyWindowInfo(0)->size(), 3u);
    EXPECT_EQ(desk->windowServer().windowListFetchCount(), before + 3) << "the failed fetch counts too";
}

} // namespace
} // namespace korvane::sim
