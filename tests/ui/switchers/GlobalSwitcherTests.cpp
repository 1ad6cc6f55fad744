// The global switcher on Qt's offscreen platform over the simulated desktop, driven as a user drives it:
// keys sent to its panel, clicks on its tiles. What the user sees (which tiles are highlighted, what the
// search box says, whether the panel shows) and which window ends up with the focus.
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "ui/switchers/GlobalSwitcherView.h"
#include "ui/switchers/IconCache.h"
#include "ui/switchers/SwitcherItemView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

using namespace korvane;

namespace {

class GlobalSwitcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        display = desktop->screens().addDisplay(
            {.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}, .uuid = "D1"});
        desktop->windowServer().setShowsSystemEntries(false);
        desktop->process().setBundleIdentifier("com.korvane.app");
        desktop->loop().runUntilIdle();
    }
    void TearDown() override {
        switcher.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    platform::ScreenInfo screen() { return *desktop->screens().display(display); }
    std::shared_ptr<GlobalSwitcherWindowController>& make() {
        switcher =
            std::make_shared<GlobalSwitcherWindowController>(*desktop, screen(), nullptr, controller, ax);
        return switcher;
    }
    void show() {
        if (!switcher) make();
        switcher->show(screen());
    }
    pid_t app(const std::string& name) {
        return desktop->workspace().launch({.bundleID = "com.example." + name, .name = name});
    }
    std::uint32_t window(pid_t pid, const std::string& title, Rect frame = Rect{100, 100, 800, 600},
                         Nanos movesAfter = 0) {
        return desktop->windows().open(pid, {.frame = frame, .title = title, .movesAfter = movesAfter});
    }

    void press(int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(switcher->panel(), &event);
        lastPressUsed = event.isAccepted();
    }
    void type(const std::string& text) {
        for (char c : text)
            press(0, QString(QChar(c)));
    }
    // A key the desktop knows by its native number, typing `text` in the layout in use.
    void pressNative(std::uint32_t nativeKey, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, nativeKey, 0, 0, text);
        QCoreApplication::sendEvent(switcher->panel(), &event);
        lastPressUsed = event.isAccepted();
    }
    void click(SwitcherItemView* tile) {
        const QPointF at(tile->width() / 2.0, tile->height() / 2.0);
        QMouseEvent down(QEvent::MouseButtonPress, at, tile->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(tile, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, at, tile->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(tile, &up);
    }

    GlobalSwitcherView& view() { return *switcher->switcherView(); }
    std::vector<std::string> shownTitles() {
        std::vector<std::string> out;
        for (auto* tile : view().itemViews())
            out.push_back(tile->representedItem()->title);
        return out;
    }
    // The tiles highlighted, by title, and those dimmed.
    std::vector<std::string> highlighted() {
        std::vector<std::string> out;
        for (auto* tile : view().itemViews())
            if (tile->isSelected()) out.push_back(tile->representedItem()->title);
        return out;
    }
    std::vector<std::string> dimmed() {
        std::vector<std::string> out;
        for (auto* tile : view().itemViews())
            if (tile->isDimmed() && tile->alpha() == 0.3) out.push_back(tile->representedItem()->title);
        return out;
    }
    std::string selectedTitle() {
        const auto& items = switcher->dataSource.items;
        if (switcher->selectedIndex < 0 || switcher->selectedIndex >= static_cast<int>(items.size()))
            return "";
        return items[static_cast<std::size_t>(switcher->selectedIndex)].title;
    }
    // The window with the keyboard once every activation under way has had its time.
    std::optional<std::uint32_t> focusedAfterActivation() {
        desktop->loop().advance(seconds(3));
        const auto element = ax->focusedWindow();
        for (auto number : desktop->windows().frontToBack())
            if (element && desktop->windows().element(number) == *element) return number;
        return std::nullopt;
    }
    bool raised(std::uint32_t number) {
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == desktop->windows().element(number) && call.name == "AXRaise") return true;
        return false;
    }
    static void saveScreenshot(QWidget* widget, const std::string& name) {
        korvane::testing::saveScreenshot(*widget, name);
    }

    sim::ScopedSimDesktop desktop;
    int display = 0;
    std::shared_ptr<AXUtil> ax = std::make_shared<AXUtil>(*desktop);
    std::shared_ptr<MultiDisplayState> multiState = std::make_shared<MultiDisplayState>();
    std::shared_ptr<WMController> controller = std::make_shared<WMController>(multiState, ax);
    std::shared_ptr<GlobalSwitcherWindowController> switcher;
    bool lastPressUsed = false;
};

// Finder with three windows, Safari and Slack: hints f1, f2, f3, sa, sl.
class TypedHintsTest : public GlobalSwitcherTest {
  protected:
    void SetUp() override {
        GlobalSwitcherTest::SetUp();
        const pid_t finder = app("Finder");
        finderB = window(finder, "b", Rect{0, 0, 600, 400});
        window(finder, "a", Rect{40, 40, 600, 400});
        window(finder, "c", Rect{80, 80, 600, 400});
        window(app("Safari"), "Start");
        slack = window(app("Slack"), "General");
        desktop->loop().runUntilIdle();
        show();
    }
    std::uint32_t finderB = 0;
    std::uint32_t slack = 0;
};

} // namespace

TEST_F(TypedHintsTest, aTypedPrefixSelectsItsFirstTileHighlightsAllItsTilesAndAUniqueHintFocusesThatWindow) {
    ASSERT_EQ(shownTitles(), (std::vector<std::string>{"Finder[a]", "Finder[b]", "Finder[c]", "Safari[Start]",
                                                       "Slack[General]"}));
    EXPECT_EQ(view().itemViews()[0]->badgeText(), "F1");
    EXPECT_EQ(view().searchText(), "");

    type("f");
    EXPECT_EQ(selectedTitle(), "Finder[a]");
    EXPECT_EQ(view().searchText(), "f");
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"Finder[a]", "Finder[b]", "Finder[c]"}));
    EXPECT_EQ(dimmed(), (std::vector<std::string>{"Safari[Start]", "Slack[General]"}));

    type("2");
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_FALSE(switcher->panel()->isVisible());
    EXPECT_TRUE(view().itemViews().empty());
    EXPECT_EQ(focusedAfterActivation(), finderB);
    // The choice is not undone by giving the focus back to Slack, which had it.
    EXPECT_FALSE(raised(slack));
}

TEST_F(TypedHintsTest, aCharacterThatStartsAnotherHintRestartsDeleteShortensAndOtherKeysPassOn) {
    type("f");
    type("s"); // "fs" begins no hint; "s" does
    EXPECT_EQ(view().searchText(), "s");
    EXPECT_EQ(selectedTitle(), "Safari[Start]");
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"Safari[Start]", "Slack[General]"}));

    press(Qt::Key_Backspace);
    EXPECT_TRUE(lastPressUsed);
    EXPECT_EQ(view().searchText(), "");
    EXPECT_EQ(selectedTitle(), "Safari[Start]");
    EXPECT_TRUE(dimmed().empty());

    // Neither extends nor starts a hint: the buffer empties and the key is passed on.
    type("s");
    press(0, "x");
    EXPECT_FALSE(lastPressUsed);
    EXPECT_EQ(view().searchText(), "");
    EXPECT_TRUE(highlighted().empty());
    press(0, "-");
    EXPECT_FALSE(lastPressUsed);

    // Upper case types the same hints; "sl" is unique and carries Slack out.
    press(0, "S", Qt::ShiftModifier);
    press(0, "L", Qt::ShiftModifier);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), slack);
}

// In a Russian layout the S key types "ы" and the L key "д": typed, they are the keys the hints name
// (as the shortcuts name them), unless what they type is a hint's own character.
TEST_F(TypedHintsTest, aKeyWhoseCharacterNoHintTakesIsReadAsTheLetterItCarries) {
    auto& keys = desktop->hotKeys();
    keys.nativeKeys[39] = 1;  // S
    keys.nativeKeys[46] = 37; // L
    pressNative(39, QString::fromUtf8("\u044B"));
    EXPECT_TRUE(lastPressUsed);
    EXPECT_EQ(view().searchText(), "s");
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"Safari[Start]", "Slack[General]"}));
    pressNative(46, QString::fromUtf8("\u0434"));
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), slack);
}

TEST_F(GlobalSwitcherTest, aHintInTheLayoutInUseIsTypedAsItsCharacterBeforeTheLetterTheKeyCarries) {
    // Hints "те" and "f": the key F types "а" in a Russian layout, and the key carrying Т types "т".
    window(app("\u0422\u0435\u0440\u043C\u0438\u043D\u0430\u043B"), "one");
    window(app("\u0422\u0435\u043A\u0441\u0442"), "two");
    const std::uint32_t files = window(app("Files"), "Home");
    desktop->loop().runUntilIdle();
    show();
    auto& keys = desktop->hotKeys();
    keys.nativeKeys[57] = 45; // N, typing "т"
    keys.nativeKeys[41] = 3;  // F, typing "а"
    pressNative(57, QString::fromUtf8("\u0442"));
    EXPECT_TRUE(lastPressUsed);
    EXPECT_EQ(view().searchText(), "\u0442") << "the Cyrillic hint, as typed";
    // "та" begins no hint and "а" none either: read as F, the key starts Files' hint and carries it out.
    pressNative(41, QString::fromUtf8("\u0430"));
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), files);
}

// A hint that begins longer ones (mail before mailm, t1 before t10 to t12) selects its tile and waits for
// the next key, so that every hint can be typed; a picture of the waiting switcher is left.
TEST_F(GlobalSwitcherTest, aHintThatBeginsLongerOnesSelectsAndWaitsAndTwoExactMatchesOnlySelect) {
    const std::uint32_t mail = window(app("Mail"), "Inbox");
    const std::uint32_t mailMate = window(app("MailMate"), "Drafts");
    const std::uint32_t abx = window(app("ab"), "x");
    window(app("ab"), "y");
    window(app("ab1x"), "z");
    const pid_t term = app("Term");
    std::vector<std::uint32_t> terms;
    for (int i = 1; i <= 12; ++i)
        terms.push_back(window(term, (i < 10 ? "0" : "") + std::to_string(i)));
    desktop->loop().runUntilIdle();
    show();

    // The first "ab" window and the application ab1x share the hint "ab1".
    type("ab1");
    EXPECT_TRUE(switcher->isWindowVisible());
    EXPECT_EQ(selectedTitle(), "ab[x]");
    press(Qt::Key_Right);
    EXPECT_EQ(selectedTitle(), "ab[y]");
    press(Qt::Key_Left);
    press(Qt::Key_Return);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), abx);

    show();
    type("t1");
    EXPECT_TRUE(switcher->isWindowVisible());
    EXPECT_EQ(selectedTitle(), "Term[01]");
    EXPECT_EQ(view().searchText(), "t1");
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"Term[01]", "Term[10]", "Term[11]", "Term[12]"}));
    desktop->loop().advance(seconds(1)); // every icon in
    saveScreenshot(switcher->panel(), "global-switcher-hint-waiting.png");
    type("2");
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), terms[11]);

    struct Row {
        const char* typed;
        bool thenReturn;
        std::uint32_t focused;
    };
    for (const Row& row :
         {Row{"t1", true, terms[0]}, Row{"mail", true, mail}, Row{"mailm", false, mailMate}}) {
        SCOPED_TRACE(row.typed);
        show();
        type(row.typed);
        EXPECT_EQ(switcher->isWindowVisible(), row.thenReturn);
        if (row.thenReturn) press(Qt::Key_Return);
        EXPECT_FALSE(switcher->isWindowVisible());
        EXPECT_EQ(focusedAfterActivation(), row.focused);
    }
}

TEST_F(GlobalSwitcherTest, escapeAndReturnWithoutASelectionGiveTheFocusBackToTheWindowThatHadIt) {
    const std::uint32_t editor = window(app("Editor"), "notes.txt");
    const std::uint32_t term = window(app("Term"), "shell");
    desktop->windows().focus(editor);
    desktop->loop().runUntilIdle();

    show();
    desktop->windows().focus(term); // the switcher took the keyboard from it
    press(Qt::Key_Escape);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_TRUE(raised(editor));
    EXPECT_EQ(focusedAfterActivation(), editor);

    show();
    desktop->windows().focus(term);
    press(Qt::Key_Return);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), editor);
}

TEST_F(GlobalSwitcherTest, withNothingToListOnlyEscapeIsUsedAndItStillGivesTheFocusBack) {
    // The window of a background helper has the keyboard; nothing on the desktop makes a tile.
    const pid_t helper =
        desktop->workspace().launch({.bundleID = "com.example.helper",
                                     .name = "Helper",
                                     .activationPolicy = platform::ActivationPolicy::accessory});
    const std::uint32_t panel = window(helper, "Inspector");
    desktop->windows().focus(panel);
    desktop->loop().runUntilIdle();

    show();
    EXPECT_TRUE(view().isEmptyLabelVisible());
    EXPECT_TRUE(view().itemViews().empty());
    saveScreenshot(switcher->panel(), "global-switcher-empty.png");
    for (int key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down}) {
        press(key);
        EXPECT_FALSE(lastPressUsed) << key;
    }
    EXPECT_TRUE(switcher->isWindowVisible());
    press(Qt::Key_Escape);
    EXPECT_TRUE(lastPressUsed);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_TRUE(raised(panel));
}

TEST_F(GlobalSwitcherTest, tabAndTheArrowsMoveTheSelectionAroundTheGrid) {
    // A narrow screen: seven tiles in three columns.
    desktop->screens().setDisplayFrame(display, Rect{0, 0, 640, 900});
    for (const char* name : {"A", "B", "C", "D", "E", "F", "G"})
        window(app(name), "w");
    desktop->loop().runUntilIdle();
    show();
    ASSERT_EQ(view().currentGridColumns(), 3);

    press(Qt::Key_Tab);
    EXPECT_EQ(switcher->selectedIndex, 0);
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"A[w]"}));
    press(Qt::Key_Backtab, {}, Qt::ShiftModifier);
    EXPECT_EQ(switcher->selectedIndex, 6);
    press(Qt::Key_Right);
    EXPECT_EQ(switcher->selectedIndex, 0);

    switcher->selectedIndex = 5;
    press(Qt::Key_Down);
    EXPECT_EQ(switcher->selectedIndex, 1);
    press(Qt::Key_Up);
    EXPECT_EQ(switcher->selectedIndex, 5);
    EXPECT_EQ(highlighted(), (std::vector<std::string>{"F[w]"}));

    switcher->hide();
    show();
    press(Qt::Key_Left);
    EXPECT_EQ(switcher->selectedIndex, 6);
}

TEST_F(GlobalSwitcherTest, aClickedTileIsChosenEvenWhileAnotherIsSelected) {
    window(app("Alpha"), "one");
    const std::uint32_t beta = window(app("Beta"), "two");
    window(app("Gamma"), "three");
    desktop->loop().runUntilIdle();
    show();
    press(Qt::Key_Tab);
    EXPECT_EQ(selectedTitle(), "Alpha[one]");

    click(view().itemViews()[1]);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), beta);
}

TEST_F(GlobalSwitcherTest,
       anApplicationTileBringsItForwardAndAnUnreachableWindowIsReportedWithoutReturningFocus) {
    sim::ScopedLogCapture capture;
    const pid_t idle = app("Calculator");
    const pid_t ghost = app("Ghost");
    const std::uint32_t term = window(app("Term"), "shell");
    // A listed window the accessibility interface does not know.
    desktop->windowServer().addRawEntry(
        {{"Number", 4242},
         {"OwnerPID", ghost},
         {"Layer", 0},
         {"Name", "phantom"},
         {"Bounds", {{"X", 10}, {"Y", 10}, {"Width", 500}, {"Height", 400}}}});
    desktop->loop().runUntilIdle();
    show();
    ASSERT_EQ(shownTitles(), (std::vector<std::string>{"Calculator", "Ghost[phantom]", "Term[shell]"}));

    type("c");
    EXPECT_FALSE(switcher->isWindowVisible());
    const auto calls = desktop->workspace().activateCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().pid, idle);
    EXPECT_FALSE(raised(term));

    show();
    type("g");
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_TRUE(capture.log().contains("AX unavailable wid=4242 pid=" + std::to_string(ghost)));
    EXPECT_FALSE(raised(term));
}

TEST_F(GlobalSwitcherTest, aWindowWithoutAZoneMostlyOffScreenIsCentredBeforeItIsFocusedAndOneInAZoneIsNot) {
    const pid_t pid = app("Term");
    // 12.5 % on screen; its window manager takes its time over a move, which the choice does not wait for.
    const std::uint32_t away = window(pid, "away", Rect{1340, 100, 800, 400}, milliseconds(300));
    const std::uint32_t zoned = window(pid, "zoned", Rect{1340, 500, 800, 400});
    multiState->states["D1"] = std::make_shared<WMState>(Layout{});
    multiState->states["D1"]->zoneOf[zoned] = 2;
    multiState->activeDisplayUUID = "D1";
    desktop->loop().runUntilIdle();

    show();
    const Nanos chosen = desktop->loop().now();
    type("t1");
    EXPECT_EQ(desktop->loop().now(), chosen);
    EXPECT_FALSE(switcher->isWindowVisible());
    EXPECT_EQ(focusedAfterActivation(), away);
    EXPECT_EQ(desktop->windows().frame(away), (Rect{320, 237.5, 800, 400}.integral()));

    show();
    type("t2");
    EXPECT_EQ(focusedAfterActivation(), zoned);
    EXPECT_EQ(desktop->windows().frame(zoned), (Rect{1340, 500, 800, 400}));

    EXPECT_TRUE(switcher->isOffscreen(Rect{-50000, -50000, 10, 10}, Rect{0, 0, 1440, 875}));
    EXPECT_FALSE(switcher->isOffscreen(Rect{100, 100, 800, 600}, Rect{0, 0, 1440, 875}));
    // Its right edge where the display to its right begins, a window on this one is where it should be.
    desktop->screens().addDisplay({.frame = Rect{1440, 0, 1920, 1080}, .uuid = "D2"});
    EXPECT_FALSE(switcher->isOffscreen(Rect{720, 0, 720, 875}, Rect{0, 0, 1440, 875}));
}

TEST_F(GlobalSwitcherTest, aWarmOpeningShowsTheCachedTilesAndTheFreshOnesOneTurnLaterAColdOneListsFirst) {
    window(app("Term"), "one");
    desktop->loop().runUntilIdle();
    show();
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"Term[one]"}));
    switcher->hide();

    window(app("Editor"), "two");
    desktop->loop().advance(milliseconds(1000));
    show();
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"Term[one]"}));
    desktop->loop().runUntilIdle();
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"Editor[two]", "Term[one]"}));
    switcher->hide();

    window(app("Viewer"), "three");
    desktop->loop().advance(milliseconds(1300));
    show();
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"Editor[two]", "Term[one]", "Viewer[three]"}));
}

TEST_F(GlobalSwitcherTest, thePanelCoversItsScreenAboveOtherWindowsAndIsPictured) {
    const int side = desktop->screens().addDisplay(
        {.frame = Rect{1440, 100, 1280, 800}, .visibleFrame = Rect{1440, 100, 1280, 770}, .uuid = "D2"});
    const pid_t finder = app("Finder");
    window(finder, "Documents");
    window(finder, "Downloads — 24 items, 3 selected, with a long title that wraps");
    window(app("Safari"), "Korvane — zone window manager");
    window(app("Slack"), "general");
    const std::uint32_t term = window(app("Terminal"), "~/src/korvane");
    window(app("Mail"), "Inbox (12)");
    app("Calculator");
    multiState->states["D1"] = std::make_shared<WMState>(Layout{});
    multiState->states["D1"]->zoneOf[term] = 1;
    multiState->activeDisplayUUID = "D1";
    desktop->loop().runUntilIdle();

    make();
    switcher->show(*desktop->screens().display(side));
    QWidget* panel = switcher->panel();
    // The side display's top edge lies 100 points below the main display's.
    EXPECT_EQ(panel->geometry(), QRect(1440, 0, 1280, 800));
    for (Qt::WindowType flag : {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint})
        EXPECT_TRUE(panel->windowFlags().testFlag(flag)) << flag;
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowTitle(), "Global Switcher");
    desktop->loop().advance(seconds(1)); // every icon in
    for (auto* tile : view().itemViews())
        EXPECT_TRUE(tile->hasIcon()) << tile->representedItem()->title;
    type("f");
    for (auto* tile : view().itemViews()) {
        const bool zoned = tile->representedItem()->title == "Terminal[~/src/korvane]";
        EXPECT_EQ(tile->zoneText(), zoned ? "z1" : "");
    }
    saveScreenshot(panel, "global-switcher.png");

    switcher->hide();
    desktop->windowServer().setAvailable(false);
    desktop->workspace().quit(finder);
    desktop->loop().advance(seconds(2));
    switcher->show(*desktop->screens().display(side));
    EXPECT_EQ(shownTitles(), (std::vector<std::string>{"Calculator", "Mail", "Safari", "Slack", "Terminal"}));
    saveScreenshot(panel, "global-switcher-applications-only.png");
}
