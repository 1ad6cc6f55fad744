// The push hot keys' actions in the running application on one, two and three simulated displays: where
// the focused window ends, what its display's zones and the placement records hold afterwards, the
// toasts that show instead of a push and for how long, the menu refresh after each push, and the keys that
// push nothing while the program's own window has the focus or holds the keyboard.
#include "LaunchFixture.h"

#include "app/DisplayLayouts.h"
#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/HotkeyActions.h"
#include "input/HotkeyPushActions.h"
#include "layouts/ConfigZoneSet.h"
#include "platform/Format.h"
#include "tracking/MappingTransaction.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace korvane;

namespace korvane {
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << platform::describe(r);
}
} // namespace korvane

namespace {

class HotkeyPushTest : public korvane::testing::LaunchTest {
  protected:
    void TearDown() override {
        ToastHUDController::setShared(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LaunchTest::TearDown();
    }

    // Starts the application on the displays added so far and lets its start-up settle.
    void start() {
        markScenesConverted();
        launch();
        subscription =
            app->statusBarEventBus()->subscribeInvalidations([this](const StatusBarInvalidationEvent& e) {
                if (auto* r = std::get_if<StatusBarInvalidationEvent::RefreshRequested>(&e.value))
                    refreshes.push_back(r->source);
            });
        desktop->loop().advance(seconds(5));
        capture.log().clear();
    }
    // A window of another application that has the focus, at a bottom-left frame.
    WindowID openFocused(const Rect& frame, const std::string& title = "Notes") {
        if (!editor)
            editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        const WindowID wid = desktop->windows().open(editor, {.frame = frame, .title = title});
        desktop->workspace().bringToFront(editor);
        desktop->loop().runUntilIdle();
        return wid;
    }
    WMState& stateOf(const std::string& uuid) { return *app->multiState()->states.at(uuid); }
    Rect zoneFrame(const std::string& uuid, int zone) { return stateOf(uuid).layout.zones.at(zone).frame; }
    std::vector<WindowID> stackOf(const std::string& uuid, int zone) {
        return stateOf(uuid).layout.zones.at(zone).stack;
    }
    std::optional<int> recordedZone(const std::string& uuid, WindowID wid) {
        const auto& zoneOf = stateOf(uuid).zoneOf;
        return zoneOf.contains(wid) ? std::optional(zoneOf.at(wid)) : std::nullopt;
    }
    // Side-by-side zones with the given ids across the display, in place of the zones it has.
    void giveZones(const std::string& uuid, const Rect& area, const std::vector<int>& ids) {
        Layout layout;
        layout.screenId = uuid;
        const double w = area.width() / static_cast<double>(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i)
            layout.zones[ids[i]] =
                Zone{ids[i], Rect{area.minX() + w * i, area.minY(), w, area.height()}, {}, 0};
        app->multiState()->states[uuid] = std::make_shared<WMState>(layout);
    }
    // A layout of `count` columns applied to the display as a user would choose it.
    void applyColumns(const std::string& uuid, int count) {
        ConfigZoneSet set;
        set.id = "layout.columns." + std::to_string(count);
        set.name = "Columns";
        set.zones.emplace();
        for (int i = 0; i < count; ++i)
            set.zones->push_back(
                ConfigZone{i + 1, "", Rect{double(i) / count, 0, 1.0 / count, 1}, std::nullopt});
        app->displayLayouts().applyRegionSet(set, uuid, false);
    }
    // The contexts of the hot keys' placement transactions, oldest first, with where each was bound.
    std::vector<std::string> pushes() {
        std::vector<MappingIntent> intents;
        for (const auto& [id, intent] : app->mappingTransactions()->intents)
            if (intent.source == MappingIntentSource::hotkeyPush) intents.push_back(intent);
        std::sort(intents.begin(), intents.end(),
                  [](const MappingIntent& a, const MappingIntent& b) { return a.createdAt < b.createdAt; });
        std::vector<std::string> out;
        for (const auto& intent : intents)
            out.push_back(intent.note + "@" + intent.targetDisplayUUID + "/" +
                          std::to_string(intent.targetZoneID) +
                          (intent.stage == MappingIntentStage::committed ? "" : " (not committed)"));
        return out;
    }
    static QWidget* toastOn(const std::string& uuid) { return ToastHUDController::shared()->window(uuid); }
    static std::string toastText(const std::string& uuid) {
        QWidget* toast = toastOn(uuid);
        auto* label = toast ? toast->findChild<QLabel*>() : nullptr;
        return label && toast->isVisible() ? label->text().toStdString() : "";
    }
    // The push keys pressed one after another, as a user presses them: a key that started a push lets
    // it end (its frame checked 50 ms after the window manager, here at once, moved the window, and the
    // window brought forward, which pauses 30 ms) before the next.
    struct Keys {
        HotkeyPushTest& test;
        void handlePushRegionHotkey(int zone) {
            run([&](HotkeyPushActions& a) { a.handlePushRegionHotkey(zone); });
        }
        void handlePushLeftHotkey() {
            run([](HotkeyPushActions& a) { a.handlePushLeftHotkey(); });
        }
        void handlePushRightHotkey() {
            run([](HotkeyPushActions& a) { a.handlePushRightHotkey(); });
        }
        void handlePushDisplayHotkey(int direction) {
            run([&](HotkeyPushActions& a) { a.handlePushDisplayHotkey(direction); });
        }
        void run(const std::function<void(HotkeyPushActions&)>& key) {
            const auto intents = test.app->mappingTransactions()->intents.size();
            key(test.app->pushActions());
            if (test.app->mappingTransactions()->intents.size() > intents)
                test.desktop->loop().advance(milliseconds(50 + 30));
        }
    };
    Keys keys() { return Keys{*this}; }

    pid_t editor = 0;
    std::vector<std::string> refreshes;
    std::unique_ptr<StatusBarEventSubscription> subscription;
};

TEST_F(HotkeyPushTest, leftAndRightFollowTheZoneIdsOfOneAndAboveAndWrapAtEitherEnd) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    start();
    // Zone 0 lies on screen but never takes part; ids 1, 2 and 4 do, in that order.
    giveZones("D1", Rect{0, 0, 1800, 1000}, {0, 1, 2, 4});
    const WindowID notes = openFocused(Rect{1400, 100, 300, 300}); // in zone 4

    keys().handlePushRightHotkey();
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 1));
    EXPECT_TRUE(logged("[app] Push Right: zone 4 -> 1 (zones=[1, 2, 4])"));
    keys().handlePushLeftHotkey();
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 4));
    keys().handlePushLeftHotkey();
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));
    EXPECT_TRUE(logged("[app] Push Left: zone 4 -> 2 (zones=[1, 2, 4])"));

    EXPECT_EQ(recordedZone("D1", notes), 2);
    EXPECT_EQ(stackOf("D1", 2), std::vector<WindowID>{notes});
    EXPECT_TRUE(stackOf("D1", 1).empty());
    EXPECT_TRUE(stackOf("D1", 4).empty());
    EXPECT_EQ(pushes(), (std::vector<std::string>{"hotkey.push.right@D1/1", "hotkey.push.left@D1/4",
                                                  "hotkey.push.left@D1/2"}));
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Hotkeys.handlePushRightHotkey",
                                                   "AppDelegate+Hotkeys.handlePushLeftHotkey",
                                                   "AppDelegate+Hotkeys.handlePushLeftHotkey"}));
}

TEST_F(HotkeyPushTest, aWindowNoZoneKnowsIsAdoptedByItsMiddleOrElseToldItIsInNoZoneForNineTenthsOfASecond) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    start();
    giveZones("D1", Rect{0, 0, 1800, 900}, {1, 2, 3}); // a strip along the top is in no zone
    // Low on the display: were its frame flipped once more, its middle would fall on the strip.
    const WindowID notes = openFocused(Rect{650, 20, 400, 100}); // its middle in zone 2

    // Adopting writes the mapping and nothing else; the move is then the push's.
    EXPECT_EQ(
        app->hotkeyActions().adoptWindowByGeometry(desktop->windows().element(notes), stateOf("D1"), "D1"),
        2);
    EXPECT_EQ(recordedZone("D1", notes), 2);
    EXPECT_TRUE(stackOf("D1", 2).empty());
    EXPECT_EQ(desktop->windows().frame(notes), Rect(650, 20, 400, 100));
    EXPECT_TRUE(logged("[app] Geometric zone fallback: adopted window into zone 2"));
    keys().handlePushLeftHotkey();
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 1));
    EXPECT_EQ(stackOf("D1", 1), std::vector<WindowID>{notes});

    // Its middle on the strip: no zone holds it, nothing moves, a toast says so on its display.
    const WindowID strip = openFocused(Rect{700, 920, 400, 60}, "Strip");
    refreshes.clear();
    keys().handlePushRightHotkey();
    EXPECT_EQ(desktop->windows().frame(strip), Rect(700, 920, 400, 60));
    EXPECT_FALSE(recordedZone("D1", strip));
    EXPECT_TRUE(logged("[app] Push Right: window not in any zone"));
    EXPECT_EQ(toastText("D1"), "Window not in any zone");
    EXPECT_TRUE(refreshes.empty());
    desktop->loop().advance(milliseconds(899));
    EXPECT_EQ(toastText("D1"), "Window not in any zone");
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(toastOn("D1"), nullptr);
}

TEST_F(HotkeyPushTest, pushToANumberedZoneMovesEvenFromThatZoneAndRefusesAZoneTheDisplayLacks) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    start();
    applyColumns("D1", 4);
    const WindowID notes = openFocused(Rect{100, 100, 300, 300});

    keys().handlePushRegionHotkey(3);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 3));
    EXPECT_TRUE(logged("[app] Push R3 on D1 (pendingTarget=none)"));
    keys().handlePushRegionHotkey(3); // pushed again, not skipped
    EXPECT_EQ(stackOf("D1", 3), std::vector<WindowID>{notes});

    capture.log().clear();
    keys().handlePushRegionHotkey(7);
    EXPECT_TRUE(logged("[app] Push R7: region not exists on D1"));
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 3));
    EXPECT_EQ(pushes(), (std::vector<std::string>{"hotkey.push.R3@D1/3", "hotkey.push.R3@D1/3"}));
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Hotkeys.handlePushRegionHotkey",
                                                   "AppDelegate+Hotkeys.handlePushRegionHotkey"}));
}

TEST_F(HotkeyPushTest,
       withoutAFocusedWindowEveryPushSaysSoAndWithOneDisplayTheDisplayPushesSayThereIsNoOther) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    start();
    keys().handlePushRegionHotkey(2);
    keys().handlePushLeftHotkey();
    keys().handlePushRightHotkey();
    keys().handlePushDisplayHotkey(+1);
    for (const char* line : {"[app] Push R2: no focused window", "[app] Push Left: no focused window",
                             "[app] Push Right: no focused window", "[app] Push Display: no focused window"})
        EXPECT_TRUE(logged(line)) << line;

    const WindowID notes = openFocused(Rect{100, 100, 300, 300});
    for (int direction : {-1, +1}) {
        capture.log().clear();
        keys().handlePushDisplayHotkey(direction);
        EXPECT_EQ(toastText("D1"), "Only one display") << direction;
        EXPECT_TRUE(logged("[app] Push Display: only one display available"));
    }
    EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 100, 300, 300));
    EXPECT_TRUE(pushes().empty());
    EXPECT_TRUE(refreshes.empty());
}

TEST_F(HotkeyPushTest,
       onTwoDisplaysTheNextDisplayIsTheNextUUIDNotTheNextScreenAndTheToastGoesToTheWindowsDisplay) {
    // The main display's UUID sorts after the side display's.
    addScreen("B-MAIN", Rect{0, 0, 1800, 1000});
    addScreen("A-SIDE", Rect{1800, 0, 1200, 800});
    start();
    const WindowID notes = openFocused(Rect{100, 100, 300, 300});

    keys().handlePushDisplayHotkey(+1); // wraps from the last UUID to the first
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("A-SIDE", 1));
    EXPECT_EQ(recordedZone("A-SIDE", notes), 1);
    EXPECT_EQ(stackOf("A-SIDE", 1), std::vector<WindowID>{notes});
    EXPECT_TRUE(logged("[app] Push Display next: B-MAIN -> A-SIDE"));
    keys().handlePushRightHotkey();
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("A-SIDE", 2));
    keys().handlePushDisplayHotkey(+1);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("B-MAIN", 1));
    EXPECT_EQ(pushes(),
              (std::vector<std::string>{"hotkey.push.display.next@A-SIDE/1", "hotkey.push.right@A-SIDE/2",
                                        "hotkey.push.display.next@B-MAIN/1"}));
    EXPECT_EQ(refreshes.back(), "AppDelegate+Hotkeys.handlePushDisplayHotkey");

    // A window in no zone of the side display: the toast stands there, not on the main display.
    giveZones("A-SIDE", Rect{1800, 0, 600, 800}, {1});
    const WindowID strip = openFocused(Rect{2600, 300, 200, 200}, "Strip");
    keys().handlePushLeftHotkey();
    EXPECT_EQ(toastText("A-SIDE"), "Window not in any zone");
    EXPECT_EQ(toastOn("B-MAIN"), nullptr);
    EXPECT_EQ(desktop->windows().frame(strip), Rect(2600, 300, 200, 200));
    desktop->loop().advance(milliseconds(900));
    EXPECT_EQ(toastOn("A-SIDE"), nullptr);
}

TEST_F(HotkeyPushTest, onThreeDisplaysNextFromTheLastWrapsToTheFirstPreviousFromTheFirstToTheLast) {
    addScreen("B", Rect{0, 0, 1800, 1000});
    addScreen("C", Rect{1800, 0, 1200, 800});
    addScreen("A", Rect{-1200, 0, 1200, 800});
    start();

    const WindowID notes = openFocused(Rect{2000, 100, 300, 300}); // on C
    keys().handlePushDisplayHotkey(+1);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("A", 1));
    keys().handlePushDisplayHotkey(-1);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("C", 1));
    keys().handlePushDisplayHotkey(-1);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("B", 1));
    EXPECT_TRUE(logged("[app] Push Display prev: C -> B"));

    // A display whose zones start above 1 cannot take a display push.
    giveZones("C", Rect{1800, 0, 1200, 800}, {2, 3});
    capture.log().clear();
    keys().handlePushDisplayHotkey(+1);
    EXPECT_TRUE(logged("[app] Push Display: target display has no zone 1"));
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("B", 1));
    EXPECT_EQ(pushes(),
              (std::vector<std::string>{"hotkey.push.display.next@A/1", "hotkey.push.display.prev@C/1",
                                        "hotkey.push.display.prev@B/1"}));
}

TEST_F(HotkeyPushTest, theDefaultPushKeysEachPushTheFocusedWindowOncePerPress) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    addScreen("D2", Rect{1800, 0, 1200, 800});
    start();
    const WindowID notes = openFocused(Rect{100, 100, 300, 300});
    constexpr std::uint64_t ctrlOpt = platform::kEventFlagControl | platform::kEventFlagOption;
    auto press = [&](std::uint32_t keyCode) {
        desktop->hotKeys().press(keyCode, ctrlOpt);
        desktop->loop().advance(seconds(3)); // the activation each push starts runs to its end
    };

    press(13); // W: the zone after its own
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));
    press(18); // 1
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 1));
    press(7); // X: the next display
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D2", 1));
    press(6); // Z: the one before, round to the first
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 1));
    press(12); // Q: the zone before its own, round to the last
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));
    EXPECT_EQ(pushes(), (std::vector<std::string>{"hotkey.push.right@D1/2", "hotkey.push.R1@D1/1",
                                                  "hotkey.push.display.next@D2/1",
                                                  "hotkey.push.display.prev@D1/1", "hotkey.push.left@D1/2"}));
}

// The program's own windows take the focus too (Preferences, an overlay's panel over a whole display);
// whatever stands beneath one, no key pushes it, cycles it or takes it into a zone.
TEST_F(HotkeyPushTest, aFocusedWindowOfKorvaneItselfIsNeitherPushedNorCycledNorTakenIntoAZone) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    addScreen("D2", Rect{1800, 0, 1200, 800});
    desktop->process().setBundleIdentifier("korvane");
    const pid_t korvane = desktop->workspace().launch(
        {.bundleID = "korvane", .name = "Korvane", .pid = desktop->process().processIdentifier()});
    start();
    const WindowID notes = openFocused(Rect{1000, 100, 300, 300});
    constexpr std::uint64_t ctrlOpt = platform::kEventFlagControl | platform::kEventFlagOption;
    auto press = [&](std::uint32_t keyCode, std::uint64_t flags) {
        desktop->hotKeys().press(keyCode, flags);
        desktop->loop().advance(seconds(3));
    };
    press(19, ctrlOpt); // 2
    ASSERT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));

    const Rect whole{0, 0, 1800, 1000};
    const WindowID panel = desktop->windows().open(korvane, {.frame = whole, .title = "Global Switcher"});
    desktop->workspace().bringToFront(korvane);
    desktop->loop().runUntilIdle();
    for (std::uint32_t key : {19u, 18u, 13u, 12u, 7u, 6u}) // 2, 1, W, Q, X, Z
        press(key, ctrlOpt);
    press(48, platform::kEventFlagOption); // Alt+Tab

    EXPECT_EQ(desktop->windows().frame(panel), whole);
    for (const char* display : {"D1", "D2"}) {
        EXPECT_FALSE(recordedZone(display, panel)) << display;
        for (const auto& [id, zone] : stateOf(display).layout.zones)
            EXPECT_EQ(std::count(zone.stack.begin(), zone.stack.end(), panel), 0) << display << " " << id;
    }
    EXPECT_EQ(pushes(), std::vector<std::string>{"hotkey.push.R2@D1/2"});
    EXPECT_TRUE(logged("[app] Push R2: the focused window is Korvane's own; nothing pushed"));
    EXPECT_TRUE(logged("[app] Push Display: the focused window is Korvane's own; nothing pushed"));
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));
}

// While the global switcher holds the keyboard the keys are typed at it, whichever window has the
// focus beneath it: a push moves nothing there, and once the switcher has closed the same key pushes.
TEST_F(HotkeyPushTest, whileTheGlobalSwitcherHoldsTheKeyboardAPushMovesNoWindowBeneathIt) {
    addScreen("D1", Rect{0, 0, 1800, 1000});
    addScreen("D2", Rect{1800, 0, 1200, 800});
    start();
    const WindowID notes = openFocused(Rect{100, 100, 300, 300});
    auto press = [&](std::uint32_t keyCode) {
        desktop->hotKeys().press(keyCode, platform::kEventFlagControl | platform::kEventFlagOption);
        desktop->loop().advance(seconds(3));
    };

    app->toggleGlobalSwitcherFromHotkey();
    ASSERT_TRUE(app->globalSwitcherWC() && app->globalSwitcherWC()->isWindowVisible());
    press(19); // 2
    press(7);  // X
    EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 100, 300, 300));
    EXPECT_TRUE(pushes().empty());
    EXPECT_TRUE(logged("[app] Push R2: Korvane's own window holds the keyboard; nothing pushed"));

    app->toggleGlobalSwitcherFromHotkey();
    ASSERT_FALSE(app->globalSwitcherWC()->isWindowVisible());
    press(19);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("D1", 2));
    EXPECT_EQ(pushes(), std::vector<std::string>{"hotkey.push.R2@D1/2"});
}

} // namespace
