// The switcher's list on the simulated desktop: which windows become tiles and under what title, the
// tiles of windowless applications, the order, the zones of the active display, the hints the user
// types, the warm snapshot, and the grid the tiles are laid out in.
#include "ui/switchers/SwitcherDataSource.h"

#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"
#include "ui/switchers/SwitcherGrid.h"
#include "ui/switchers/SwitcherHints.h"
#include "ui/switchers/SwitcherText.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class SwitcherDataSourceTest : public ::testing::Test {
  protected:
    SwitcherDataSourceTest() {
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .uuid = "D1"});
        desktop->windowServer().setShowsSystemEntries(false);
        desktop->process().setBundleIdentifier("com.korvane.app");
    }

    pid_t app(const std::string& name, std::optional<std::string> bundleID = std::nullopt,
              platform::ActivationPolicy policy = platform::ActivationPolicy::regular) {
        return desktop->workspace().launch({.bundleID = bundleID ? bundleID : "com.example." + name,
                                            .name = name,
                                            .activationPolicy = policy});
    }
    std::uint32_t window(pid_t pid, const std::string& title, Rect frame = Rect{100, 100, 800, 600}) {
        return desktop->windows().open(pid, {.frame = frame, .title = title});
    }
    std::vector<SwitcherItem> reload() {
        source.reload(Rect{0, 0, 1440, 900});
        return source.items;
    }
    std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (const auto& item : reload())
            out.push_back(item.title);
        return out;
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<MultiDisplayState> multiState = std::make_shared<MultiDisplayState>();
    std::shared_ptr<WMController> controller =
        std::make_shared<WMController>(multiState, std::make_shared<AXUtil>(*desktop));
    SwitcherDataSource source{*desktop, nullptr, controller};
};

std::vector<SwitcherItem> named(std::initializer_list<std::pair<const char*, const char*>> appAndTitle) {
    std::vector<SwitcherItem> items;
    for (const auto& [app, title] : appAndTitle) {
        SwitcherItem item;
        item.appName = app;
        item.windowTitle = title;
        item.title = std::string(app) + "[" + title + "]";
        items.push_back(item);
    }
    return items;
}

std::vector<std::string> hintsOf(std::vector<SwitcherItem> items) {
    SwitcherHints::assignHints(items);
    std::vector<std::string> out;
    for (const auto& item : items)
        out.push_back(item.hint.value_or("<none>"));
    return out;
}

} // namespace

TEST_F(SwitcherDataSourceTest, smallUntitledWindowsBrowserStripsAndOtherProgramsWindowsAreNoTiles) {
    const pid_t notes = app("Notes");
    window(notes, "", Rect{0, 0, 120, 80});    // 9,600 square points
    window(notes, "", Rect{0, 0, 400, 100});   // 40,000 and four times as wide as high
    window(notes, "", Rect{0, 300, 400, 250}); // stays
    window(notes, "Tiny", Rect{0, 0, 2, 300});
    desktop->windows().open(notes, {.frame = Rect{0, 0, 500, 500}, .title = "Invisible", .alpha = 0.0});
    desktop->windows().open(notes, {.frame = Rect{0, 0, 500, 500}, .title = "Panel", .layer = 3});
    window(notes, "Parked", Rect{-50000, -50000, 500, 500});
    // Parked where a window manager kept it in view: the mark tells.
    const auto marked = window(notes, "Parked in view", Rect{0, 300, 500, 400});
    desktop->accessibility().setAttribute(desktop->windows().element(marked), platform::kParkedAttribute,
                                          true);
    const pid_t chrome = app("Google Chrome", "com.google.Chrome");
    window(chrome, "Google Chrome", Rect{0, 800, 1200, 40}); // the strip along the top
    window(chrome, "Inbox", Rect{0, 700, 1200, 40});         // a title of its own
    window(app("Helper", std::nullopt, platform::ActivationPolicy::accessory), "Helper window");
    window(app("Korvane", "com.korvane.app"), "Global Switcher");

    EXPECT_EQ(titles(), (std::vector<std::string>{"Google Chrome[Inbox]", "Notes"}));
}

TEST_F(SwitcherDataSourceTest,
       smallUntitledWindowsOfAnApplicationWithAMainWindowAreAuxiliaryAndCopiesOneTile) {
    sim::ScopedLogCapture capture;
    desktop->defaults().set("GlobalSwitcherDebugDuplicates", true);
    const pid_t mail = app("Mail");
    window(mail, "", Rect{0, 0, 300, 200}); // 7.5 % of the main window
    window(mail, "Drafts", Rect{0, 0, 300, 200});
    window(mail, "Inbox", Rect{100, 100, 1000, 800});
    // The same window listed twice, a point apart: the frontmost stays.
    const pid_t term = app("Term");
    const std::uint32_t back = window(term, "shell", Rect{500, 100, 600, 400});
    const std::uint32_t front = window(term, "shell", Rect{501, 100, 600, 400});
    // Without bounds nothing can be a copy or auxiliary.
    desktop->windowServer().addRawEntry(
        {{"Number", 9001}, {"OwnerPID", term}, {"Layer", 0}, {"Name", "shell"}});
    desktop->windowServer().addRawEntry(
        {{"Number", 9002}, {"OwnerPID", term}, {"Layer", 0}, {"Name", "shell"}});

    const auto items = reload();
    std::vector<std::string> shown;
    for (const auto& item : items)
        shown.push_back(item.stableID);
    EXPECT_EQ(shown, (std::vector<std::string>{"w:" + std::to_string(items[0].windowID),
                                               "w:" + std::to_string(items[1].windowID), "w:9001", "w:9002",
                                               "w:" + std::to_string(front)}));
    EXPECT_EQ(items[0].title, "Mail[Drafts]");
    EXPECT_EQ(items[1].title, "Mail[Inbox]");
    EXPECT_NE(front, back);
    EXPECT_TRUE(capture.log().contains("GS dup-debug: kept=5 droppedAuxiliary=1 droppedSignature=1"));
}

TEST_F(SwitcherDataSourceTest, tilesAreSortedByApplicationThenTitleAndWindowlessApplicationsGetOneTile) {
    window(app("iTerm"), "b");
    const pid_t zoom = app("Zoom");
    window(zoom, "Meeting");
    window(zoom, "");
    window(app("iTerm2"), "  padded  ");
    const pid_t idle = app("Calculator", "com.example.calc");
    const pid_t anonymous = desktop->workspace().launch({.bundleID = "", .name = "Anon"});
    window(app("Untitled"), ""); // no title: the application's name stands in
    app("Daemon", std::nullopt, platform::ActivationPolicy::accessory);

    const auto items = reload();
    std::vector<std::string> shown;
    for (const auto& item : items)
        shown.push_back(item.title);
    // Upper case sorts before lower case: Zoom before iTerm.
    EXPECT_EQ(shown, (std::vector<std::string>{"Anon", "Calculator", "Untitled", "Zoom", "Zoom[Meeting]",
                                               "iTerm[b]", "iTerm2[padded]"}));
    EXPECT_EQ(items[0].stableID, "a:pid:" + std::to_string(anonymous) + "#" + std::to_string(anonymous));
    EXPECT_EQ(items[0].bundleID, "pid:" + std::to_string(anonymous));
    EXPECT_EQ(items[1].stableID, "a:com.example.calc#" + std::to_string(idle));
    EXPECT_EQ(items[1].kind, SwitcherItem::Kind::application);
    EXPECT_EQ(items[1].windowID, 0u);
    EXPECT_EQ(items[6].windowTitle, "  padded  ");
    // One region holding every tile, the frame it was given.
    ASSERT_EQ(source.regionDisplays.size(), 1u);
    EXPECT_EQ(source.regionDisplays[0].items, items);
    EXPECT_EQ(source.regionDisplays[0].frame, (Rect{0, 0, 1440, 900}));
}

TEST_F(SwitcherDataSourceTest, onlyTheActiveDisplaysZonesLabelTiles) {
    const pid_t term = app("Term");
    const std::uint32_t left = window(term, "left");
    const std::uint32_t right = window(term, "right");
    multiState->states["D1"] = std::make_shared<WMState>(Layout{});
    multiState->states["D1"]->zoneOf[left] = 2;
    multiState->states["D2"] = std::make_shared<WMState>(Layout{});
    multiState->states["D2"]->zoneOf[right] = 1;
    multiState->activeDisplayUUID = "D1";

    const auto items = reload();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].zoneID, 2);
    EXPECT_EQ(items[1].zoneID, std::nullopt);

    multiState->activeDisplayUUID = "";
    for (const auto& item : reload())
        EXPECT_EQ(item.zoneID, std::nullopt);
}

TEST_F(SwitcherDataSourceTest,
       aListingIsWarmForOnePointTwoSecondsAndAMissingWindowListStillListsApplications) {
    window(app("Term"), "one");
    EXPECT_FALSE(source.useWarmSnapshot()); // nothing listed yet
    const auto first = reload();
    window(app("Editor"), "two");

    desktop->loop().advance(milliseconds(1200));
    source.items.clear();
    EXPECT_TRUE(source.useWarmSnapshot());
    EXPECT_EQ(source.items, first);

    desktop->loop().advance(milliseconds(1));
    EXPECT_FALSE(source.useWarmSnapshot());

    desktop->windowServer().setAvailable(false);
    std::vector<std::string> kinds;
    for (const auto& item : reload())
        kinds.push_back(item.title + (item.kind == SwitcherItem::Kind::application ? " (app)" : ""));
    EXPECT_EQ(kinds, (std::vector<std::string>{"Editor (app)", "Term (app)"}));
}

TEST(SwitcherHintsTest, applicationsGetTheirShortestUniquePrefixAndWindowsOfOneApplicationAreNumbered) {
    EXPECT_EQ(hintsOf(named({{"Safari", ""}, {"Slack", ""}})), (std::vector<std::string>{"sa", "sl"}));
    EXPECT_EQ(hintsOf(named({{"Finder", "a"}, {"Finder", "b"}, {"Finder", "c"}})),
              (std::vector<std::string>{"f1", "f2", "f3"}));
    // A key that begins another keeps itself whole.
    EXPECT_EQ(hintsOf(named({{"Mail", ""}, {"MailMate", ""}})), (std::vector<std::string>{"mail", "mailm"}));
    // Names equal once lower-cased and trimmed are one application; an empty name is "?".
    EXPECT_EQ(hintsOf(named({{"Term", "1"}, {" term\t", "2"}, {"  ", ""}, {"Écrit", ""}, {"émail", ""}})),
              (std::vector<std::string>{"t1", "t2", "?", "éc", "ém"}));
}

TEST(SwitcherHintsTest, hintsMatchExactlyOrByPrefixInListOrder) {
    std::vector<SwitcherItem> items = named({{"ab", "x"}, {"ab", "y"}, {"ab1x", ""}});
    SwitcherHints::assignHints(items);
    EXPECT_EQ(*items[2].hint, "ab1");
    // A numbered hint equal to another application's: two exact matches.
    EXPECT_EQ(SwitcherHints::exactMatches(items, "ab1"), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(SwitcherHints::prefixMatches(items, "ab"), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_TRUE(SwitcherHints::prefixMatches(items, "b").empty());
    for (char32_t c : {U'a', U'Z', U'7', U';', U'é', U'ж'})
        EXPECT_TRUE(SwitcherHints::isHintCharacter(c)) << static_cast<unsigned>(c);
    for (char32_t c : {U' ', U'-', U'.', U'\t'})
        EXPECT_FALSE(SwitcherHints::isHintCharacter(c)) << static_cast<unsigned>(c);
}

// What the switcher does with typed keys: lower-case them, keep the hint characters, match the hints.
TEST(SwitcherHintsTest, hintsOfNamesBeginningWithZAreTypedInEitherCase) {
    std::vector<SwitcherItem> items = named({{"Zed", ""}, {"zoom", ""}});
    SwitcherHints::assignHints(items);
    EXPECT_EQ(*items[0].hint, "ze");
    EXPECT_EQ(*items[1].hint, "zo");
    for (const char* typed : {"ZO", "zo"}) {
        SCOPED_TRACE(typed);
        const std::u32string keys = switchertext::lowercased(switchertext::scalars(typed));
        for (char32_t c : keys)
            EXPECT_TRUE(SwitcherHints::isHintCharacter(c)) << static_cast<unsigned>(c);
        EXPECT_EQ(SwitcherHints::exactMatches(items, switchertext::utf8(keys)),
                  (std::vector<std::size_t>{1}));
    }
}

TEST(SwitcherGridTest, tilesKeepTheirSizeWhileTheyFitAndShrinkToNoLowerThan148Points) {
    struct Row {
        int count;
        Size area;
        int columns, rows;
        double width, height, gap, left;
    };
    for (const Row& row : {Row{20, {1440, 900}, 7, 3, 150, 164, 22, 129},
                           Row{60, {1440, 900}, 7, 9, 81.72, 148, 11.99, 398.03},
                           Row{1, {800, 600}, 1, 1, 150, 164, 22, 325}}) {
        const GridMetrics m = switchergrid::gridMetrics(row.count, row.area);
        EXPECT_EQ(m.columns, row.columns) << row.count;
        EXPECT_EQ(m.rows, row.rows) << row.count;
        EXPECT_NEAR(m.tileWidth, row.width, 0.01) << row.count;
        EXPECT_NEAR(m.tileHeight, row.height, 0.01) << row.count;
        EXPECT_NEAR(m.gap, row.gap, 0.01) << row.count;
        EXPECT_NEAR(m.leftOffset, row.left, 0.01) << row.count;
    }
    const GridMetrics twenty = switchergrid::gridMetrics(20, {1440, 900});
    EXPECT_EQ(switchergrid::tileFrame(twenty, 8), (Rect{301, 286, 150, 164}));
    // Sixty tiles do not fit the height: the content is taller and scrolls.
    const GridMetrics sixty = switchergrid::gridMetrics(60, {1440, 900});
    EXPECT_GT(switchergrid::contentSize(sixty, {1440, 900}).height, 900);
    EXPECT_EQ(switchergrid::contentSize(switchergrid::gridMetrics(1, {800, 600}), {800, 600}),
              (Size{800, 600}));
}
