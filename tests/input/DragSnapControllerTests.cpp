// Which plain drags snap a window, on the simulated desktop: a window resized from an edge that moves its
// origin is not dragged, a window that closes before the release hands its snap to no other window, and an
// application on the exclusion list snaps without its window moving with the cursor, when the drag begins
// on its window.
// The display is 1440 × 900 with zone 1 its left half and zone 2 its right half.
#include "core/WMControllerFixture.h"
#include "input/DragSnapController.h"
#include "platform/Format.h"
#include "support/TurkishLocale.h"

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

class DragSnapTest : public korvane::testing::WMControllerTest {
  protected:
    void TearDown() override {
        snap.reset();
        WMControllerTest::TearDown();
    }
    void event(T type, Point topLeft) {
        snap->handle(MouseEvent{type, topLeft, 0, 0});
        // The snap runs a turn after the release; the move it starts settles.
        loop().runUntilIdle();
        loop().advance(milliseconds(200));
    }
    Rect zone(int id) { return stateA().layout.zones.at(id).frame; }

    std::shared_ptr<DragSnapController> snap =
        std::make_shared<DragSnapController>(*desktop, controller, multi);
};

} // namespace

TEST_F(DragSnapTest, aWindowWhoseSizeChangedDuringThePressIsResizedNotDraggedAndStaysAsItWasLeft) {
    // Frames bottom-left; the window starts in zone 2, the cursor on its left edge, and goes 200 points
    // left into zone 1. Between: the frame when the drag is judged; by the release: the frame then.
    const Rect start{800, 300, 400, 300};
    struct Row {
        const char* name;
        Rect judged, released;
        bool snaps;
    };
    const Row rows[] = {
        {"left edge drawn out: origin and width change", {600, 300, 600, 300}, {600, 300, 600, 300}, false},
        {"top edge drawn up: origin and height change", {800, 300, 400, 450}, {800, 300, 400, 450}, false},
        {"moved when judged, resized by the release", {600, 300, 400, 300}, {600, 300, 450, 300}, false},
        {"moved with the cursor", {600, 300, 400, 300}, {600, 300, 400, 300}, true},
    };
    for (const auto& row : rows) {
        const WindowID notes = openWindow(editor, start, {.title = "Notes"});
        windows().focus(notes);
        loop().runUntilIdle();
        event(T::leftMouseDragged, {800, 450});
        windows().setFrame(notes, row.judged);
        event(T::leftMouseDragged, {600, 450});
        EXPECT_EQ(std::holds_alternative<DragSnapController::Highlighting>(snap->state()),
                  row.judged.size == start.size)
            << row.name;
        windows().setFrame(notes, row.released);
        event(T::leftMouseUp, {600, 450});
        EXPECT_EQ(windows().frame(notes), row.snaps ? zone(1) : row.released) << row.name;
        windows().close(notes);
    }
}

// A maximised window fills its display. The window manager keeps it there while its title bar is dragged
// over that display, and puts it over the display the pointer takes it to (B, 1280 × 800, right of A): the
// size it takes there is that display's, not an edge drawn out, and the release over a zone of B snaps it
// into that zone. A window left where it was (a drag inside it), or one that does not fill B, snaps
// nothing.
TEST_F(DragSnapTest, aMaximisedWindowPutOverTheDisplayItIsDraggedOntoSnapsThere) {
    desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 800}, .uuid = std::string(kDisplayB)});
    const Rect zoneB1 = addState(kDisplayB, Rect{1440, 0, 1280, 800}, 2).zone(1)->frame;
    const Rect maximised{0, 0, 1440, 900};
    // Frames bottom-left: where the window is once the pointer is over B.
    struct Row {
        const char* name;
        Rect onB;
        bool snaps;
    };
    const Row rows[] = {
        {"put over B", {1440, 0, 1280, 800}, true},
        {"left on A", maximised, false},
        {"on B short of it", {1500, 100, 1000, 600}, false},
    };
    for (const auto& row : rows) {
        const WindowID notes = openWindow(editor, maximised, {.title = "Notes"});
        windows().focus(notes);
        loop().runUntilIdle();
        event(T::leftMouseDragged, {700, 10});
        event(T::leftMouseDragged, {800, 10});
        EXPECT_TRUE(std::holds_alternative<DragSnapController::Tracking>(snap->state())) << row.name;
        windows().setFrame(notes, row.onB);
        event(T::leftMouseDragged, {1700, 400});
        event(T::leftMouseUp, {1700, 400});
        EXPECT_EQ(windows().frame(notes), row.snaps ? zoneB1 : row.onB) << row.name;
        windows().close(notes);
    }
}

TEST_F(DragSnapTest, aWindowClosedBeforeTheReleaseMovesNoOtherWindowWhileTheDraggedOneStillSnaps) {
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    const Rect draftFrame{100, 100, 300, 300}; // in zone 1, under the release
    struct Row {
        const char* name;
        bool draftOfViewer;  // else the editor's own
        bool numbersUnknown; // the windows are known by their process and title only
        bool notesCloses;
    };
    const Row rows[] = {
        {"the focus goes to another window of the same application", false, false, true},
        {"another application's window lies under the cursor", true, false, true},
        {"numbers unknown: the same application's other window", false, true, true},
        {"numbers unknown: the dragged window itself", false, true, false},
    };
    for (const auto& row : rows) {
        sim::SimWindowSpec spec{.title = "Draft"};
        if (row.numbersUnknown) spec.numberAppearsAt = loop().now() + seconds(3600);
        const WindowID draft = openWindow(row.draftOfViewer ? viewer : editor, draftFrame, spec);
        spec.title = "Notes";
        const WindowID notes = openWindow(editor, {800, 300, 400, 300}, spec);
        windows().focus(notes);
        loop().runUntilIdle();

        event(T::leftMouseDragged, {1000, 310});
        windows().setFrame(notes, {200, 300, 400, 300}); // carried by its title bar
        event(T::leftMouseDragged, {250, 650});
        ASSERT_TRUE(std::holds_alternative<DragSnapController::Highlighting>(snap->state())) << row.name;
        desktop->screens().setMouseLocation({250, 250});
        if (row.notesCloses) windows().close(notes);
        event(T::leftMouseUp, {250, 650});

        EXPECT_EQ(windows().frame(draft), draftFrame) << row.name;
        if (!row.notesCloses) {
            EXPECT_EQ(windows().frame(notes), zone(1)) << row.name;
            windows().close(notes);
        }
        windows().close(draft);
    }
}

TEST_F(DragSnapTest,
       anApplicationOnTheExclusionListSnapsWithoutItsWindowMovingTelegramByDefaultAsX11NamesIt) {
    using nlohmann::json;
    struct Row {
        const char* bundleID;
        std::optional<json> stored; // nothing: the key is absent
        bool snaps;
        bool turkish = false; // under a Turkish locale, where the C library keeps "I" as it is
    };
    const Row rows[] = {
        {"org.telegram.desktop", std::nullopt, true}, // the id of Telegram's desktop entry
        {"telegram-desktop", std::nullopt, true},     // its WM_CLASS instance, without an entry
        {"ru.keepcoder.Telegram", std::nullopt, true},
        {"com.example.chat", std::nullopt, false},
        {"com.example.chat", json({"Com.Example.Chat"}), true}, // listed by hand in another case
        {"org.example.irc", json({"ORG.EXAMPLE.IRC"}), true, true},
        {"telegram-desktop", json({"com.example.chat"}), false}, // the user's list replaced the default
    };
    for (const auto& row : rows) {
        std::optional<korvane::testing::ScopedTurkishLocale> turkish;
        if (row.turkish) turkish.emplace();
        if (row.stored)
            desktop->defaults().set(DragSnapController::kBlacklistKey, *row.stored);
        else
            desktop->defaults().remove(DragSnapController::kBlacklistKey);
        desktop->notifications().post(DragSnapController::kBlacklistChanged);
        const pid_t app = ws().launch({.bundleID = row.bundleID, .name = "Chat"});
        const Rect start{800, 300, 400, 300}; // in zone 2
        const WindowID chat = openWindow(app, start, {.title = "Chat"});
        windows().focus(chat);
        loop().runUntilIdle();
        ASSERT_EQ(frontPid(), app) << row.bundleID;

        // A drag inside the window, which stays where it is, from zone 2 into zone 1.
        event(T::leftMouseDragged, {1000, 450});
        event(T::leftMouseDragged, {250, 450});
        event(T::leftMouseUp, {250, 450});
        EXPECT_EQ(windows().frame(chat), row.snaps ? zone(1) : start) << row.bundleID << " " << row.snaps;
        ws().quit(app);
        loop().runUntilIdle();
    }
}

// The listed application's window has the keyboard, yet a drag begun elsewhere is no drag of it: with the
// pointer on the desktop or on another application's window (whose press the simulated desktop does not
// turn into a change of focus), the listed window stays where it is.
TEST_F(DragSnapTest, aDragCountsForTheListedApplicationOnlyWhenItBeginsOnItsWindow) {
    const pid_t chat = ws().launch({.bundleID = "org.telegram.desktop", .name = "Chat"});
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    const Rect chatFrame{800, 300, 400, 300};  // in zone 2; top-left (800, 300) to (1200, 600)
    const Rect photoFrame{900, 650, 300, 200}; // in zone 2 above it; top-left (900, 50) to (1200, 250)
    const WindowID photo = openWindow(viewer, photoFrame, {.title = "Photo"});
    struct Row {
        const char* name;
        Point begin; // top-left
        bool snaps;
    };
    const Row rows[] = {
        {"on the empty desktop", {1300, 450}, false},
        {"on another application's window", {1000, 150}, false},
        {"on the listed window itself", {1000, 450}, true},
    };
    for (const auto& row : rows) {
        const WindowID window = openWindow(chat, chatFrame, {.title = "Chat"});
        windows().focus(window);
        loop().runUntilIdle();
        ASSERT_EQ(frontPid(), chat) << row.name;

        event(T::leftMouseDragged, row.begin);
        event(T::leftMouseDragged, {250, 450});
        event(T::leftMouseUp, {250, 450});
        EXPECT_EQ(windows().frame(window), row.snaps ? zone(1) : chatFrame) << row.name;
        EXPECT_EQ(windows().frame(photo), photoFrame) << row.name;
        windows().close(window);
    }
}

// Escape during a title-bar move: the window manager puts the window back where the move began while the
// pointer stays over the other zone. That drag snaps nothing, whenever the window went back: seen while
// the zone is lit, or only as the button comes up. A window the hand carries back, or one held at its
// place for a moment (an edge's resistance) and carried on, still snaps.
TEST_F(DragSnapTest, aWindowTheWindowManagerPutsBackWhereItsDragBeganSnapsNothing) {
    const Rect start{800, 300, 400, 300}; // in zone 2
    const Rect carried{200, 300, 400, 300};
    struct Row {
        const char* name;
        std::vector<Rect> whileLit; // the frames the window takes, one check apart
        bool putBackAtRelease;
        Point release; // top-left
        Rect ends;
    };
    const Row rows[] = {
        {"put back, seen while lit", {carried, start}, false, {250, 650}, start},
        {"put back as the button comes up", {carried}, true, {250, 650}, start},
        {"carried back by the hand", {carried, start}, false, {1000, 310}, zone(2)},
        {"held at its place, then carried on", {start, carried}, false, {250, 650}, zone(1)},
    };
    for (const auto& row : rows) {
        const WindowID notes = openWindow(editor, start, {.title = "Notes"});
        windows().focus(notes);
        loop().runUntilIdle();
        event(T::leftMouseDragged, {1000, 310}); // on its title bar
        windows().setFrame(notes, carried);
        event(T::leftMouseDragged, {400, 310}); // over zone 1
        ASSERT_TRUE(std::holds_alternative<DragSnapController::Highlighting>(snap->state())) << row.name;
        for (const Rect& frame : row.whileLit) {
            windows().setFrame(notes, frame);
            loop().advance(DragSnapController::kCancelCheckInterval);
        }
        event(T::leftMouseDragged, row.release);
        if (row.putBackAtRelease) windows().setFrame(notes, start);
        event(T::leftMouseUp, row.release);
        EXPECT_EQ(windows().frame(notes), row.ends) << row.name;
        windows().close(notes);
    }
}
