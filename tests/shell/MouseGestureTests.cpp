// The mouse in the running application on the simulated desktop: control+option pick and drop (push, and
// swap with Shift, never of a window hidden beneath the one pressed on), scrolling a zone's stack, and
// plain drags snapped after the release. The displays are a primary with a second one straight above it
// and zones split top and bottom, so that a point flipped with the wrong height lands in the wrong zone or
// on the wrong display.
#include "LaunchFixture.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/DragSnapController.h"
#include "input/MouseEventTap.h"
#include "input/PickAndDropController.h"
#include "input/SDPController.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutMemoryStore.h"
#include "platform/Format.h"
#include "platform/HotKeys.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/SettingsWindowController.h"

#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korvane;
using platform::MouseEvent;
using T = platform::MouseEventType;

namespace korvane {
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << platform::describe(r);
}
} // namespace korvane

namespace {

constexpr std::uint64_t CO = platform::kEventFlagControl | platform::kEventFlagOption;
constexpr std::uint64_t SHIFT = platform::kEventFlagShift;

class MouseGestureTest : public korvane::testing::LaunchTest {
  protected:
    void SetUp() override {
        LaunchTest::SetUp();
        addScreen("LOW", Rect{0, 0, 1000, 800});
        addScreen("HIGH", Rect{0, 800, 1000, 600});
        markScenesConverted();
        launch();
        desktop->loop().advance(seconds(5));
        split("LOW", Rect{0, 0, 1000, 800});
        split("HIGH", Rect{0, 800, 1000, 600});
        editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    }
    void TearDown() override {
        MouseEventTap::setShared(nullptr);
        ToastHUDController::setShared(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LaunchTest::TearDown();
    }
    // Zone 1 the upper half, zone 2 the lower half.
    void split(const std::string& uuid, const Rect& area) {
        Layout layout;
        layout.screenId = uuid;
        const double h = area.height() / 2;
        layout.zones[1] = Zone{1, Rect{area.minX(), area.minY() + h, area.width(), h}, {}, 0};
        layout.zones[2] = Zone{2, Rect{area.minX(), area.minY(), area.width(), h}, {}, 0};
        app->multiState()->states[uuid] = std::make_shared<WMState>(layout);
    }
    WindowID openFocused(const Rect& frame, const std::string& title) {
        const WindowID wid = desktop->windows().open(editor, {.frame = frame, .title = title});
        desktop->workspace().bringToFront(editor);
        desktop->windows().focus(wid);
        desktop->loop().runUntilIdle();
        return wid;
    }
    Rect zoneFrame(const std::string& uuid, int zone) {
        return app->multiState()->states.at(uuid)->layout.zones.at(zone).frame;
    }
    std::vector<WindowID> stackOf(const std::string& uuid, int zone) {
        return app->multiState()->states.at(uuid)->layout.zones.at(zone).stack;
    }
    // Delivered through the tap as the user would make it; the moves it causes settle.
    void mouse(T type, Point topLeft, std::uint64_t flags, double scroll = 0) {
        desktop->hotKeys().mouse(MouseEvent{type, topLeft, flags, scroll});
        desktop->loop().runUntilIdle();
        desktop->loop().advance(milliseconds(200));
    }
    std::size_t passedOn() { return desktop->hotKeys().mousePassedOn().size(); }
    // A window opened in front, then picked up and dropped into the primary's upper zone.
    WindowID place(const std::string& title) {
        const WindowID w = openFocused(Rect{100, 50, 300, 300}, title);
        mouse(T::flagsChanged, {200, 600}, CO);
        mouse(T::leftMouseDown, {200, 600}, CO);
        mouse(T::leftMouseDragged, {500, 100}, CO);
        mouse(T::leftMouseUp, {500, 100}, CO);
        return w;
    }

    pid_t editor = 0;
};

} // namespace

TEST_F(MouseGestureTest, aPickedWindowDropsIntoTheUpperZoneOrOntoTheDisplayAboveAndTheGestureEndsIdle) {
    // Low in the primary's lower zone: top-left (100, 450, 300, 300).
    const WindowID notes = openFocused(Rect{100, 50, 300, 300}, "Notes");

    mouse(T::flagsChanged, {200, 500}, CO);
    mouse(T::leftMouseDown, {200, 500}, CO);
    ASSERT_TRUE(app->sdpController()->stateMachine().isPickAndDrop());
    const auto& context = app->sdpController()->pickAndDropController()->currentDragContext();
    ASSERT_TRUE(context && context->sourceZone);
    EXPECT_EQ(*context->sourceZone, (ZoneIdentifier{"LOW", 2}));
    EXPECT_TRUE(context->axElement.has_value()); // matched by position, both top-left
    mouse(T::leftMouseDragged, {500, 100}, CO);
    EXPECT_EQ(app->sdpController()->pickAndDropController()->currentHighlightZone(),
              (ZoneIdentifier{"LOW", 1}));
    EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 50, 300, 300)); // stays put during the drag
    mouse(T::leftMouseUp, {500, 100}, CO);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("LOW", 1));
    EXPECT_EQ(stackOf("LOW", 1), std::vector<WindowID>{notes});
    EXPECT_EQ(passedOn(), 1u); // only the modifier change reached the application
    // Both keys still held, yet idle: the next press goes to the window until the keys arm again.
    EXPECT_TRUE(app->sdpController()->stateMachine().isIdle());
    mouse(T::leftMouseDown, {500, 100}, CO);
    EXPECT_EQ(passedOn(), 2u);
    mouse(T::leftMouseUp, {500, 100}, CO);

    // Dragged up onto the display above: its lower zone.
    mouse(T::flagsChanged, {500, 100}, CO);
    mouse(T::leftMouseDown, {500, 100}, CO);
    mouse(T::leftMouseDragged, {500, -100}, CO);
    mouse(T::leftMouseUp, {500, -100}, CO);
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("HIGH", 2));
}

// The carry takes the window the press lands on. A utility window of another application, or one of the
// program's own windows, lying over a window: a press on it starts no drag and the window beneath stays
// where it is; with nothing over it, the same press carries that window as ever.
TEST_F(MouseGestureTest, aCarryStartedOnAUtilityWindowOrOnKorvanesOwnWindowLeavesTheWindowBeneathIt) {
    desktop->process().setBundleIdentifier("korvane");
    const pid_t korvane = desktop->workspace().launch(
        {.bundleID = "korvane", .name = "Korvane", .pid = desktop->process().processIdentifier()});
    const pid_t tools = desktop->workspace().launch({.bundleID = "com.example.tools", .name = "Tools"});
    const WindowID notes = openFocused(Rect{100, 50, 300, 300}, "Notes"); // top-left (100, 450, 300, 300)
    // Pressed where the windows over it lie, carried into the upper zone and let go.
    auto carry = [&] {
        mouse(T::flagsChanged, {200, 550}, CO);
        mouse(T::leftMouseDown, {200, 550}, CO);
        const bool started = app->sdpController()->stateMachine().isPickAndDrop();
        mouse(T::leftMouseDragged, {500, 100}, CO);
        mouse(T::leftMouseUp, {500, 100}, CO);
        mouse(T::flagsChanged, {500, 100}, 0);
        return started;
    };
    struct Row {
        const char* name;
        pid_t owner;
        int layer;
    };
    for (const Row& row : {Row{"a utility window", tools, 3}, Row{"Korvane's own window", korvane, 0},
                           Row{"Korvane's own floating panel", korvane, 3}}) {
        SCOPED_TRACE(row.name);
        const Rect overFrame{150, 100, 200, 200};
        const WindowID over =
            desktop->windows().open(row.owner, {.frame = overFrame, .title = "Over", .layer = row.layer});
        desktop->loop().runUntilIdle();
        EXPECT_FALSE(carry());
        EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 50, 300, 300));
        EXPECT_EQ(desktop->windows().frame(over), overFrame);
        EXPECT_TRUE(stackOf("LOW", 1).empty());
        desktop->windows().close(over);
        desktop->loop().runUntilIdle();
    }

    EXPECT_TRUE(carry());
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("LOW", 1));
}

TEST_F(MouseGestureTest, shiftAtTheReleaseSwapsWithinADisplayAndReleasingTheKeysCancels) {
    const WindowID upper = openFocused(Rect{100, 500, 300, 200}, "Upper");
    mouse(T::flagsChanged, {200, 200}, CO);
    mouse(T::leftMouseDown, {200, 200}, CO);
    mouse(T::leftMouseDragged, {200, 150}, CO);
    mouse(T::leftMouseUp, {200, 150}, CO);
    ASSERT_EQ(stackOf("LOW", 1), std::vector<WindowID>{upper});
    const WindowID lower = openFocused(Rect{100, 50, 300, 300}, "Lower");
    mouse(T::flagsChanged, {200, 150}, 0);
    mouse(T::flagsChanged, {200, 500}, CO);
    mouse(T::leftMouseDown, {200, 600}, CO);
    mouse(T::leftMouseDragged, {200, 700}, CO);
    mouse(T::leftMouseDragged, {200, 200}, CO);
    // Cancelled by letting go of option: nothing moves, the highlight goes.
    mouse(T::flagsChanged, {200, 200}, platform::kEventFlagControl);
    EXPECT_TRUE(app->sdpController()->stateMachine().isIdle());
    EXPECT_FALSE(app->sdpController()->pickAndDropController()->currentHighlightZone());
    EXPECT_EQ(desktop->windows().frame(lower), Rect(100, 50, 300, 300));

    mouse(T::flagsChanged, {200, 600}, CO);
    mouse(T::leftMouseDown, {200, 600}, CO);
    mouse(T::leftMouseDragged, {200, 200}, CO);
    mouse(T::leftMouseUp, {200, 200}, CO | SHIFT);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(desktop->windows().frame(lower), zoneFrame("LOW", 1));
    EXPECT_EQ(desktop->windows().frame(upper), zoneFrame("LOW", 2));
}

// Carried onto the display above, a window leaves its zone below: Shift at the release onto that emptied
// zone is a plain push that pulls nothing back across, and the memory written at the quit holds the
// window once, on the display it went to. Both displays have 50:50 here, left and right halves.
TEST_F(MouseGestureTest, aWindowCarriedToTheOtherDisplayLeavesItsZoneThereForShiftAndTheMemory) {
    for (const char* uuid : {"HIGH", "LOW"})
        app->displayLayouts().applyRegionSet(builtinSplit5050Layout(), std::string(uuid), false);
    auto carry = [&](Point from, Point to, std::uint64_t releaseFlags) {
        mouse(T::flagsChanged, from, CO);
        mouse(T::leftMouseDown, from, CO);
        mouse(T::leftMouseDragged, to, CO);
        mouse(T::leftMouseUp, to, releaseFlags);
        desktop->loop().advance(seconds(1));
    };
    const WindowID left = openFocused(Rect{100, 100, 300, 300}, "Left");
    carry({250, 550}, {250, 400}, CO);
    const WindowID right = openFocused(Rect{600, 100, 300, 300}, "Right");
    carry({750, 550}, {750, 400}, CO);
    ASSERT_EQ(desktop->windows().frame(left), zoneFrame("LOW", 1));
    ASSERT_EQ(desktop->windows().frame(right), zoneFrame("LOW", 2));

    carry({250, 400}, {250, -300}, CO); // up onto the display above
    ASSERT_EQ(desktop->windows().frame(left), zoneFrame("HIGH", 1));
    carry({750, 400}, {250, 400}, CO | SHIFT);
    EXPECT_EQ(desktop->windows().frame(right), zoneFrame("LOW", 1));
    EXPECT_EQ(desktop->windows().frame(left), zoneFrame("HIGH", 1));

    app->applicationWillTerminate();
    const auto memory = LayoutMemoryStore::fromJSON(nlohmann::json::parse(read(home / "layout-memory.json")));
    const RegionSlots one{{1, {"com.example.editor"}}};
    EXPECT_EQ(memory.regionToSlots("LOW", kBuiltinSplit5050ID), one);
    EXPECT_EQ(memory.regionToSlots("HIGH", kBuiltinSplit5050ID), one);
}

TEST_F(MouseGestureTest, aWindowThatCannotBeReadAtTheDropStaysAndTheToastShowsWhereTheCursorLetGo) {
    const WindowID notes = openFocused(Rect{100, 50, 300, 300}, "Notes");
    mouse(T::flagsChanged, {200, 500}, CO);
    mouse(T::leftMouseDown, {200, 500}, CO);
    mouse(T::leftMouseDragged, {500, -100}, CO); // onto the display above
    desktop->accessibility().scriptAXFailure(notes, "AXRole", {platform::AXError::cannotComplete});
    EXPECT_TRUE(app->sdpController()->handle(MouseEvent{T::leftMouseUp, {500, -100}, CO, 0}));
    desktop->loop().runUntilIdle();
    EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 50, 300, 300));
    QWidget* toast = ToastHUDController::shared()->window("HIGH");
    auto* label = toast ? toast->findChild<QLabel*>() : nullptr;
    ASSERT_TRUE(label && toast->isVisible());
    EXPECT_EQ(label->text().toStdString(), "Window unavailable");
    EXPECT_EQ(ToastHUDController::shared()->window("LOW"), nullptr);
}

TEST_F(MouseGestureTest, scrollingOverAZoneCyclesItsStackOneStepPerWheelEvent) {
    const WindowID a = place("A");
    const WindowID b = place("B");
    ASSERT_EQ(stackOf("LOW", 1), (std::vector<WindowID>{a, b}));
    mouse(T::flagsChanged, {500, 100}, CO);
    const std::size_t before = passedOn();
    mouse(T::scrollWheel, {500, 100}, CO, 0.1); // not past the threshold: swallowed, nothing cycles
    EXPECT_EQ(stackOf("LOW", 1), (std::vector<WindowID>{a, b}));
    mouse(T::scrollWheel, {500, 100}, CO, 1.0);
    EXPECT_EQ(stackOf("LOW", 1), (std::vector<WindowID>{b, a}));
    EXPECT_EQ(passedOn(), before);
    EXPECT_TRUE(app->sdpController()->stateMachine().isArmed());
}

TEST_F(MouseGestureTest, aPlainDragOfAWindowHighlightsTheZoneAndSnapsOneTurnAfterTheRelease) {
    const WindowID notes = openFocused(Rect{100, 50, 300, 300}, "Notes");
    auto& snap = *app->dragSnapController();
    std::vector<std::string> probes; // each as its source and the display it names
    auto subscription = app->displayLayoutEventBus()->subscribe([&](const DisplayLayoutProbeEvent& probe) {
        probes.push_back(probe.source + " " + probe.preferredDisplayUUID.value_or("nil"));
    });

    // A drag that moves no window (selecting text) never snaps.
    mouse(T::leftMouseDragged, {200, 500}, 0);
    mouse(T::leftMouseDragged, {600, 100}, 0);
    EXPECT_TRUE(std::holds_alternative<DragSnapController::Skipping>(snap.state()));
    mouse(T::leftMouseUp, {600, 100}, 0);
    EXPECT_EQ(desktop->windows().frame(notes), Rect(100, 50, 300, 300));

    // The window manager moves the window with the cursor.
    mouse(T::leftMouseDragged, {200, 460}, 0);
    desktop->windows().setFrame(notes, Rect{400, 450, 300, 300});
    mouse(T::leftMouseDragged, {500, 100}, 0);
    ASSERT_TRUE(std::holds_alternative<DragSnapController::Highlighting>(snap.state()));
    // Off every display and back: the drag is judged again as it comes back.
    mouse(T::leftMouseDragged, {1300, 100}, 0);
    ASSERT_TRUE(std::holds_alternative<DragSnapController::Tracking>(snap.state()));
    desktop->windows().setFrame(notes, Rect{300, 450, 300, 300});
    mouse(T::leftMouseDragged, {500, 100}, 0);
    const auto* h = std::get_if<DragSnapController::Highlighting>(&snap.state());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->zoneID, 1);
    EXPECT_EQ(h->displayUUID, "LOW");
    snap.handle(MouseEvent{T::leftMouseUp, {500, 100}, 0, 0});
    EXPECT_EQ(desktop->windows().frame(notes), Rect(300, 450, 300, 300)); // not yet
    desktop->loop().runUntilIdle();
    desktop->loop().advance(milliseconds(200));
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("LOW", 1));
    // The displays are examined once, as the snap is about to happen, not as the drag begins.
    EXPECT_EQ(probes, std::vector<std::string>{"DragSnapController.onBeforeSnap LOW"});

    // With control and option held a drag is the gestures', never a snap.
    mouse(T::leftMouseDragged, {200, 460}, CO);
    EXPECT_TRUE(std::holds_alternative<DragSnapController::Idle>(snap.state()));
}

// One of the program's own windows (Preferences, say) dragged by its title bar and let go over a zone
// stays where the window manager left it: it is never snapped, nor taken into the zone.
TEST_F(MouseGestureTest, aWindowOfKorvaneItselfDraggedByItsTitleBarIsNotSnapped) {
    desktop->process().setBundleIdentifier("korvane");
    const pid_t korvane = desktop->workspace().launch(
        {.bundleID = "korvane", .name = "Korvane", .pid = desktop->process().processIdentifier()});
    const WindowID preferences =
        desktop->windows().open(korvane, {.frame = Rect{100, 50, 300, 300}, .title = "Preferences"});
    desktop->workspace().bringToFront(korvane);
    desktop->windows().focus(preferences);
    desktop->loop().runUntilIdle();

    mouse(T::leftMouseDragged, {200, 460}, 0);
    desktop->windows().setFrame(preferences, Rect{400, 450, 300, 300});
    mouse(T::leftMouseDragged, {500, 100}, 0);
    mouse(T::leftMouseUp, {500, 100}, 0);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(desktop->windows().frame(preferences), Rect(400, 450, 300, 300));
    EXPECT_TRUE(stackOf("LOW", 1).empty());
}

TEST_F(MouseGestureTest,
       withoutAFocusedWindowTheSnapFindsTheWindowUnderTheCursorByItsPositionAboveThePrimary) {
    // On the upper display's lower zone: top-left (100, -250, 300, 200).
    const WindowID notes = openFocused(Rect{100, 850, 300, 200}, "Notes");
    auto& snap = *app->dragSnapController();
    mouse(T::leftMouseDragged, {200, -200}, 0);
    desktop->windows().setFrame(notes, Rect{500, 1150, 300, 200}); // carried into the upper zone
    mouse(T::leftMouseDragged, {600, -400}, 0);
    ASSERT_TRUE(std::holds_alternative<DragSnapController::Highlighting>(snap.state()));

    // Neither the focused application nor its windows answer once the snap begins; only the window list
    // and the windows' positions do.
    desktop->screens().setMouseLocation({600, 1200});
    auto& ax = desktop->accessibility();
    snap.onBeforeSnap = [&, before = snap.onBeforeSnap](const std::string& uuid) {
        before(uuid);
        const auto app = ax.applicationElement(editor);
        ax.scriptAXFailure(ax.systemWideElement(), "AXFocusedApplication",
                           {platform::AXError::cannotComplete});
        ax.scriptAXFailure(app, "AXFocusedWindow", {platform::AXError::cannotComplete});
        ax.scriptAXFailure(app, "AXWindows", {platform::AXError::cannotComplete});
    };
    snap.handle(MouseEvent{T::leftMouseUp, {600, -400}, 0, 0});
    desktop->loop().runUntilIdle();
    desktop->loop().advance(milliseconds(200));
    EXPECT_TRUE(logged("DragSnap: snap via position-matched window"));
    EXPECT_EQ(desktop->windows().frame(notes), zoneFrame("HIGH", 1));
}

TEST_F(MouseGestureTest, anApplicationAddedToTheExclusionListInThePreferencesCountsAsAWindowDragAtOnce) {
    openFocused(Rect{100, 50, 300, 300}, "Notes");
    auto& snap = *app->dragSnapController();
    app->showSettingsWindow();
    SettingsViewModel& settings = *app->settingsWC()->viewModel;

    settings.addToDragSnapBlacklist("com.example.editor");
    // The window does not move with the cursor (the application moves it itself), yet the drag snaps.
    mouse(T::leftMouseDragged, {200, 500}, 0);
    mouse(T::leftMouseDragged, {500, 100}, 0);
    EXPECT_TRUE(std::holds_alternative<DragSnapController::Highlighting>(snap.state()));
    mouse(T::leftMouseUp, {500, 100}, 0);

    settings.removeFromDragSnapBlacklist("com.example.editor");
    mouse(T::leftMouseDragged, {200, 500}, 0);
    mouse(T::leftMouseDragged, {500, 100}, 0);
    EXPECT_TRUE(std::holds_alternative<DragSnapController::Skipping>(snap.state()));
    mouse(T::leftMouseUp, {500, 100}, 0);
    app->settingsWC()->window()->close();
}

TEST_F(MouseGestureTest, withInvertScrollOnInThePreferencesAWheelNotchCyclesTheOtherWay) {
    place("A");
    place("B");
    place("C");
    mouse(T::flagsChanged, {500, 100}, CO);
    const auto start = stackOf("LOW", 1);
    mouse(T::scrollWheel, {500, 100}, CO, -1.0);
    const auto down = stackOf("LOW", 1);
    ASSERT_NE(down, start);
    mouse(T::scrollWheel, {500, 100}, CO, 1.0);
    ASSERT_EQ(stackOf("LOW", 1), start);

    app->showSettingsWindow();
    app->settingsWC()->viewModel->setSDPInvertScroll(true);
    mouse(T::scrollWheel, {500, 100}, CO, 1.0);
    EXPECT_EQ(stackOf("LOW", 1), down) << "up now does what down did";
    app->settingsWC()->viewModel->setSDPInvertScroll(false);
    mouse(T::scrollWheel, {500, 100}, CO, 1.0);
    EXPECT_EQ(stackOf("LOW", 1), start);
    app->settingsWC()->window()->close();
}
