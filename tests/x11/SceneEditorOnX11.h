// The way a user takes to the scene editor in the built program on the real X server: a monitor plugged in
// gets a prompt whose "Set Up Display" opens the scene manager; the monitor goes again, so that what
// follows meets the session's two monitors; "Edit Grid" in the manager opens the editor.
#pragma once

#include "ProgramOnX11.h"
#include "platform/Format.h"

#include <X11/keysym.h>

#include <algorithm>
#include <functional>

namespace korvane::x11::test {

class SceneEditorOnX11Test : public ProgramOnX11Test {
  protected:
    static constexpr const char* kManagerTitle = "Scene Manager";
    static constexpr const char* kEditorTitle = "Scene Editor";
    static constexpr const char* kPickerTitle = "Choose Application";

    // Korvane started over the two monitors and an xterm, and once its services and displays are up, its
    // scene manager opened from a plugged monitor's prompt into `manager` (nothing when a step did not
    // come); the program's pid. `beforeStart` runs once the server is up, before the program starts.
    pid_t startWithManager(std::optional<xcb_window_t>& manager,
                           const std::function<void()>& beforeStart = {}) {
        startSession(true);
        if (beforeStart) beforeStart();
        return startKorvaneWithManager(manager);
    }
    // As startWithManager, in the session already started (where the scene to edit was written).
    pid_t startKorvaneWithManager(std::optional<xcb_window_t>& manager) {
        openXterm();
        const pid_t korvane = startKorvane();
        EXPECT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
        EXPECT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
        manager = openManagerFromPrompt();
        return korvane;
    }
    // The scene manager window, or nothing when a step of the way did not come.
    std::optional<xcb_window_t> openManagerFromPrompt() {
        session->setMonitor("EXTRA-E", Rect{0, 900, 1920, 180}, false);
        std::optional<xcb_window_t> prompt;
        if (!X11TestSession::waitFor(
                [&] {
                    return (prompt = session->viewableWindowTitled("Korvane Display Prompt")).has_value();
                },
                seconds(10)))
            return std::nullopt;
        // "Set Up Display", the first of its two buttons, stands 70 pixels in and 44 down from its corner.
        const Rect promptFrame = session->frameOf(*prompt);
        session->click(static_cast<int>(promptFrame.minX() + 70), static_cast<int>(promptFrame.minY() + 44));
        std::optional<xcb_window_t> manager;
        if (!X11TestSession::waitFor(
                [&] { return (manager = session->viewableWindowTitled(kManagerTitle)).has_value(); },
                seconds(10)))
            return std::nullopt;
        const std::size_t changes = count("[DisplayChange] handle end");
        session->deleteMonitor("EXTRA-E");
        if (!X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
            return std::nullopt;
        return manager;
    }

    // "Edit Grid" clicked in the 720 × 520 manager window until `opened` holds. The button stands under
    // the layout of the selected scene, a row lower for each display the manager lists: two, or three
    // while it still lists the monitor that went, or one while a monitor unplugged is not yet back in its
    // list; so the clicks take these places in turn.
    // Under a toolkit scale every length of the window is `scale` times as many of the server's pixels;
    // a window shrunk to a small screen keeps the button where it was, its content scrolling.
    bool clickEditGridUntil(xcb_window_t manager, const std::function<bool()>& opened, double scale = 1) {
        const Point kEditGridInManager{60 * scale, 433 * scale};
        const double kDisplayRowHeight = 28 * scale;
        constexpr int kRowsBeyondTwo[] = {0, 1, -1};
        int attempt = 0;
        return X11TestSession::waitFor(
            [&] {
                const Rect content = session->contentOf(manager);
                const double rows = kRowsBeyondTwo[attempt++ % 3] * kDisplayRowHeight;
                session->click(static_cast<int>(content.minX() + kEditGridInManager.x),
                               static_cast<int>(content.minY() + kEditGridInManager.y + rows));
                return X11TestSession::waitFor(opened, seconds(3));
            },
            seconds(20));
    }

    // The pointer onto the first scene card of the 720 × 520 manager window, then onto the bin that its
    // panel shows on the card's trailing edge below the pencil, and a click there, until "Delete Scene?"
    // shows. `beforeClick` runs each time just before the click. Whether the alert showed.
    bool openDeleteAlert(xcb_window_t manager, const std::function<void()>& beforeClick = {}) {
        const Point kFirstCard{64, 70}, kCardBin{116, 81};
        const Rect content = session->contentOf(manager);
        return X11TestSession::waitFor(
            [&] {
                session->glidePointer(static_cast<int>(content.minX() + kFirstCard.x),
                                      static_cast<int>(content.minY() + kFirstCard.y), 20);
                if (beforeClick) beforeClick();
                clickAt(static_cast<int>(content.minX() + kCardBin.x),
                        static_cast<int>(content.minY() + kCardBin.y));
                return X11TestSession::waitFor(
                    [&] { return session->viewableWindowTitled("Delete Scene?").has_value(); }, seconds(3));
            },
            seconds(20));
    }

    // Whether "Save Scene Changes?" comes, as the editor asks about what is unsaved; `alert` holds it.
    bool saveAlertShows() {
        return X11TestSession::waitFor(
            [&] { return (alert = session->viewableWindowTitled("Save Scene Changes?")).has_value(); },
            seconds(5));
    }
    // The middles of the alert's buttons, left to right: the runs of its row of buttons, 28 pixels above
    // its bottom, that differ from the alert's face at the row's start.
    std::vector<Point> alertButtons() {
        const Rect frame = session->frameOf(*alert);
        const Rect row{frame.minX(), frame.maxY() - 28, frame.width(), 1};
        const std::vector<std::uint32_t> pixels = session->rootPixels(row);
        std::vector<Point> buttons;
        if (pixels.size() < 8) return buttons;
        const std::uint32_t face = pixels[4];
        std::size_t start = 0, gap = 0;
        bool inButton = false;
        for (std::size_t i = 4; i < pixels.size(); ++i) {
            if (pixels[i] != face) {
                if (!inButton) start = i;
                inButton = true;
                gap = 0;
            } else if (inButton && ++gap >= 4) {
                inButton = false;
                if (i - gap - start > 30)
                    buttons.push_back({row.minX() + double(start + i - gap) / 2, row.minY()});
            }
        }
        return buttons;
    }
    // The alert's button (`index`, left to right, of `count`) clicked, again should the alert not yet take
    // it, until the alert has gone and `closed` holds.
    bool answerAlert(std::size_t index, std::size_t count, const std::function<bool()>& closed) {
        return X11TestSession::waitFor(
            [&] {
                if (!session->viewableWindowTitled("Save Scene Changes?")) return closed();
                const std::vector<Point> buttons = alertButtons();
                if (buttons.size() != count) return false;
                clickAt(static_cast<int>(buttons[index].x), static_cast<int>(buttons[index].y));
                return X11TestSession::waitFor(
                    [&] { return !session->viewableWindowTitled("Save Scene Changes?") && closed(); },
                    seconds(2));
            },
            seconds(15));
    }

    // A click on a monitor's panel (over the monitor's visible frame, given) where only its bar's legend
    // is, until the panel has the keyboard.
    bool focusPanel(const Rect& monitor) {
        const Point legend{monitor.minX() + 640, monitor.maxY() - 46};
        return X11TestSession::waitFor(
            [&] {
                if (session->frameOf(session->activeWindow()) == monitor) return true;
                clickAt(static_cast<int>(legend.x), static_cast<int>(legend.y));
                return X11TestSession::waitFor(
                    [&] { return session->frameOf(session->activeWindow()) == monitor; }, seconds(1));
            },
            seconds(10));
    }
    // The middle of the first zone's "+", the blue plate beside its title at the top left of a panel.
    std::optional<Point> addButton(const Rect& panel, double scale = 1) {
        const int width = static_cast<int>(320 * scale);
        const Rect titleRow{panel.minX(), panel.minY(), double(width), 64 * scale};
        const std::vector<std::uint32_t> pixels = session->rootPixels(titleRow);
        double sumX = 0, sumY = 0, blue = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            if ((pixels[i] & 0xFF) > 150 && (pixels[i] >> 16 & 0xFF) < 110) {
                sumX += double(i % std::size_t(width));
                sumY += double(i / std::size_t(width));
                ++blue;
            }
        if (blue < 100 * scale * scale) return std::nullopt;
        return Point{titleRow.minX() + sumX / blue, titleRow.minY() + sumY / blue};
    }
    // The "+" clicked opens the application picker, where "xterm" typed and Return put the xterm into
    // that zone. Whether the picker came and went.
    bool addXtermAt(const Point& add) {
        clickAt(static_cast<int>(add.x), static_cast<int>(add.y));
        if (!X11TestSession::waitFor([&] { return session->viewableWindowTitled(kPickerTitle).has_value(); }))
            return false;
        for (std::uint32_t key : {XK_x, XK_t, XK_e, XK_r, XK_m})
            press({key});
        press({XK_Return});
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPickerTitle); });
    }
    // Where "h" (or "v") with the pointer in the middle of a zone shows the split's line: across it at half
    // height (or down it at half width).
    static Rect previewLineAtMiddle(const Rect& zone, std::uint32_t keysym) {
        return keysym == XK_v ? Rect{zone.midX() - 1, zone.minY() + 100, 3, zone.height() - 200}
                              : Rect{zone.minX() + 100, zone.midY() - 1, zone.width() - 200, 3};
    }
    // "h" (or "v") with the pointer carried to the middle of a zone shows the split's line there; a key
    // typed while the editor still loads its scene is not taken, so it is typed again until the line
    // shows. Whether it showed; `otherwise` says what the test sees instead when it did not.
    bool previewAtMiddle(const Rect& zone, std::uint32_t keysym,
                         const std::function<std::string()>& otherwise) {
        session->glidePointer(static_cast<int>(zone.midX()), static_cast<int>(zone.midY()), 10);
        if (X11TestSession::waitFor(
                [&] {
                    press({keysym});
                    return X11TestSession::waitFor(
                        [&] { return previewLine(previewLineAtMiddle(zone, keysym)); }, seconds(5));
                },
                seconds(20)))
            return true;
        ADD_FAILURE() << "no split preview under the pointer at " << platform::describe(zone) << otherwise();
        return false;
    }
    // "h" (or "v") and a click in the middle of a zone split it there; the line goes once the split is made.
    // The window manager sees a click first and hands it on after, while keys typed meanwhile go straight
    // to the panel, so nothing is typed before the line has gone. Whether the line came and went.
    bool splitAtMiddle(const Rect& zone, std::uint32_t keysym) {
        if (!previewAtMiddle(zone, keysym, [&] {
                return "; the window at " + platform::describe(session->frameOf(session->activeWindow())) +
                       " has the keyboard\n" + logText();
            }))
            return false;
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
        return X11TestSession::waitFor([&] { return !previewLine(previewLineAtMiddle(zone, keysym)); });
    }
    // The split preview's orange.
    static bool previewOrange(std::uint32_t p) {
        return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) > 100 && (p >> 8 & 0xFF) < 170 && (p & 0xFF) < 60;
    }
    // Whether most of the strip is the split preview's orange.
    bool previewLine(const Rect& strip) {
        const std::vector<std::uint32_t> pixels = session->rootPixels(strip);
        return std::size_t(std::count_if(pixels.begin(), pixels.end(), previewOrange)) * 2 > pixels.size();
    }
    // A window that shows once a place is clicked: clicked again until it does, as a user clicks again a
    // button that did not answer. Whether it showed.
    bool clickUntilShown(int x, int y, const std::string& title) {
        return X11TestSession::waitFor(
            [&] {
                clickAt(x, y);
                return X11TestSession::waitFor(
                    [&] { return session->viewableWindowTitled(title).has_value(); }, seconds(3));
            },
            seconds(20));
    }

    std::optional<xcb_window_t> alert; // "Save Scene Changes?" once it shows
};

} // namespace korvane::x11::test
