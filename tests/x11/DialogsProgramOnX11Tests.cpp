// The dialogs of the built program on a real X server with openbox and no compositing manager, as a user
// meets them: the scene editor's "Save Scene Changes?" alert after a split, its application picker, and
// the scene manager's "Delete Scene?" alert from the bin of a hovered card. Each must show its own
// content on the screen by itself, without being moved: without a compositor a window the program never
// drew keeps whatever the screen showed there before (black over the editor's dimmed empty zones).
// The screen is read from the root in one piece: xwd, which puts its picture together window by window
// when windows have colormaps of their own (Qt's do), shows such a dialog black wherever it lies over
// another of the program's windows, and shows it drawn once it is moved off them.
// The editor's alert opens centred on the monitor whose panel asked, each monitor in turn.
// Pictures of each are left under build/screenshots.
#include "SceneEditorOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace korvane::x11::test {
namespace {

// Places on the primary monitor's editor panel: the "+" of the zone at its top left (from the panel's top
// left corner), and "Done" at the right end of the bar along its bottom while there are unsaved changes
// (from its bottom left corner).
const Point kFirstZoneAddInPanel{91, 24};
const Point kDoneInDirtyBar{1329, -46};

class DialogsProgramOnX11Test : public SceneEditorOnX11Test {
  protected:
    // Waits for the dialog titled `title` and then until the server shows it drawn: its content is not one
    // colour, much of it differs from what the screen showed there before (`before`, the whole primary
    // monitor), and its bottom band, where the buttons stand, holds at least `buttons` separate shapes
    // on its background. Leaves a picture of it under `name`. Returns the dialog, or nothing.
    std::optional<xcb_window_t> waitUntilDrawn(const std::string& title,
                                               const std::vector<std::uint32_t>& before, int buttons,
                                               const std::string& name) {
        std::optional<xcb_window_t> dialog;
        if (!X11TestSession::waitFor(
                [&] { return (dialog = session->viewableWindowTitled(title)).has_value(); }, seconds(10))) {
            ADD_FAILURE() << "no window titled " << title << "\n" << logText();
            return std::nullopt;
        }
        std::string verdict;
        const bool drawn = X11TestSession::waitFor(
            [&] {
                verdict = drawnVerdict(session->contentOf(*dialog), before, buttons);
                return verdict.empty();
            },
            seconds(10));
        EXPECT_TRUE(session->saveScreenshot(session->frameOf(*dialog), picture(name)));
        if (!drawn) {
            ADD_FAILURE() << title << " is not drawn: " << verdict;
            return std::nullopt;
        }
        return dialog;
    }

    // Empty when the content rectangle shows a drawn dialog; else what is missing.
    std::string drawnVerdict(const Rect& content, const std::vector<std::uint32_t>& before, int buttons) {
        const std::vector<std::uint32_t> now = session->rootPixels(content);
        if (now.empty() || before.size() != std::size_t(kPrimaryRoot.width() * kPrimaryRoot.height()))
            return "no pixels";
        const int width = static_cast<int>(content.width());
        const int height = static_cast<int>(content.height());
        std::map<std::uint32_t, int> counts;
        int changed = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t pixel = now[std::size_t(y * width + x)];
                ++counts[pixel];
                const int bx = static_cast<int>(content.minX() - kPrimaryRoot.minX()) + x;
                const int by = static_cast<int>(content.minY() - kPrimaryRoot.minY()) + y;
                if (pixel != before[std::size_t(by * int(kPrimaryRoot.width()) + bx)]) ++changed;
            }
        if (counts.size() < 2) return "one colour";
        // Never drawn, the window would keep all of it; a drawn dialog over a light window of the same
        // grey still changes a third of it.
        if (changed * 5 < width * height)
            return "mostly what lay there before (" + std::to_string(changed) + " of " +
                   std::to_string(width * height) + " pixels changed)";
        const std::uint32_t background =
            std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                return a.second < b.second;
            })->first;
        // Columns of the bottom band with anything but the background, in runs at least a button wide.
        constexpr int kBand = 44;
        constexpr int kButtonWidth = 30;
        int shapes = 0;
        int run = 0;
        for (int x = 0; x <= width; ++x) {
            bool marked = false;
            for (int y = std::max(0, height - kBand); x < width && y < height && !marked; ++y)
                marked = now[std::size_t(y * width + x)] != background;
            if (marked) {
                ++run;
                continue;
            }
            if (run >= kButtonWidth) ++shapes;
            run = 0;
        }
        if (shapes < buttons)
            return std::to_string(shapes) + " button shapes in the bottom band, " + std::to_string(buttons) +
                   " expected";
        return {};
    }
};

TEST_F(DialogsProgramOnX11Test, theEditorsSaveAlertAndApplicationPickerShowTheirContentWhenTheyOpen) {
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();

    ASSERT_TRUE(clickEditGridUntil(*manager, [&] {
        return session->viewableWindowTitled(kEditorTitle).has_value();
    })) << logText();
    ASSERT_TRUE(focusPanel(kPrimaryWorkArea)) << "active window " << session->activeWindow();

    // A split: "v" and a click in the middle of the left zone.
    ASSERT_TRUE(splitAtMiddle(kPrimaryLeftHalf, XK_v));

    // The application picker from the "+" of the left zone, over the dimmed panel.
    std::vector<std::uint32_t> before = session->rootPixels(kPrimaryRoot);
    ASSERT_TRUE(clickUntilShown(static_cast<int>(kPrimaryWorkArea.minX() + kFirstZoneAddInPanel.x),
                                static_cast<int>(kPrimaryWorkArea.minY() + kFirstZoneAddInPanel.y),
                                "Choose Application"))
        << logText();
    // It has no buttons: its few rows leave the bottom of its list empty.
    ASSERT_TRUE(waitUntilDrawn("Choose Application", before, 0, "dialog-choose-application-x11.png"));
    press({XK_Escape});
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Choose Application"); }));

    // "Done" with the split unsaved asks first: "Save", "Discard" and "Cancel".
    before = session->rootPixels(kPrimaryRoot);
    ASSERT_TRUE(clickUntilShown(static_cast<int>(kPrimaryWorkArea.minX() + kDoneInDirtyBar.x),
                                static_cast<int>(kPrimaryWorkArea.maxY() + kDoneInDirtyBar.y),
                                "Save Scene Changes?"))
        << logText();
    ASSERT_TRUE(waitUntilDrawn("Save Scene Changes?", before, 3, "dialog-save-scene-changes-x11.png"));

    // Escape is "Cancel": the editor stays open with its change.
    press({XK_Escape});
    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Save Scene Changes?"); }));
    EXPECT_TRUE(session->viewableWindowTitled(kEditorTitle));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(DialogsProgramOnX11Test, theSaveAlertOpensCentredOnTheMonitorOfThePanelThatAsks) {
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();
    ASSERT_TRUE(clickEditGridUntil(*manager, [&] {
        return session->viewableWindowTitled(kEditorTitle).has_value();
    })) << logText();

    // On each monitor in turn (its visible frame, which its panel covers): a split in its left zone, then
    // Escape asks over that monitor's panel; Escape again is "Cancel".
    for (const Rect& monitor : {kPrimaryWorkArea, kSecondaryRoot}) {
        SCOPED_TRACE(platform::describe(monitor));
        ASSERT_TRUE(focusPanel(monitor)) << "active window " << session->activeWindow();
        ASSERT_TRUE(
            splitAtMiddle(Rect{monitor.minX(), monitor.minY(), monitor.width() / 2, monitor.height()}, XK_v));
        press({XK_Escape});
        std::optional<xcb_window_t> alert;
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return (alert = session->viewableWindowTitled("Save Scene Changes?")).has_value();
        })) << logText();
        const Rect frame = session->frameOf(*alert);
        EXPECT_TRUE(frame.intersection(monitor) == frame) << platform::describe(frame);
        EXPECT_LT(std::abs(frame.midX() - monitor.midX()), 40) << platform::describe(frame);
        EXPECT_LT(std::abs(frame.midY() - monitor.midY()), 40) << platform::describe(frame);
        press({XK_Escape});
        ASSERT_TRUE(
            X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Save Scene Changes?"); }));
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(DialogsProgramOnX11Test, theManagersDeleteAlertShowsItsContentWhenItOpens) {
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();

    // The pointer onto the first card, then onto the bin that its panel shows, and a click there.
    std::vector<std::uint32_t> before;
    ASSERT_TRUE(openDeleteAlert(*manager, [&] { before = session->rootPixels(kPrimaryRoot); })) << logText();
    // "Delete" and "Cancel".
    ASSERT_TRUE(waitUntilDrawn("Delete Scene?", before, 2, "dialog-delete-scene-x11.png"));

    // Escape is "Cancel": the scene stays.
    press({XK_Escape});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Delete Scene?"); }));
    EXPECT_EQ(activeSceneFile().value("name", ""), "My Workspace");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
