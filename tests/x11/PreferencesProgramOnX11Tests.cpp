// The "Preferences" window of the built program on a real X server with a system tray, as a user meets
// it: "Preferences..." in the tray menu shows it (the same window each time), a shortcut recorded there
// with real key presses is written to "hotkeys.json", shows in words ("Ctrl+Alt+Left") and pushes the
// focused xterm at once while the key it replaced does nothing, the control+option gestures switched off
// there stay off after a restart, so a control+option drag no longer carries the xterm, "Open Config
// File" has the file manager show "hotkeys.json", or opens its folder where there is no file manager, and
// a running application chosen for the exclusion list shows its picture and name there. A recording
// ends, its keys held again at once, when the user clicks another window or another page, and a quit
// while it records ends as any other. U typed alone for a shortcut is refused, F5 alone taken; a key
// without a name is refused, leaving "hotkeys.json" as it was, as is Ctrl+Alt+F5, the X server's own key,
// while Ctrl+Alt+Insert recorded for the card switcher opens it; minimised, the window comes back with the
// keyboard from the menu; the window manager's close takes it away at once however soon after its opening it
// comes, and it opens again in the middle of the main screen after the monitors are rearranged; a Ctrl+Alt
// carry started on it carries no xterm beneath it. Under the toolkit's scaling the corner button, the global
// switcher and the Preferences lie on the monitors the server has, at their scaled size. "Launch Korvane at
// login" whose autostart entry cannot be written never shows ticked. Pictures of the real window are left
// under build/screenshots.
#include "IconPictures.h"
#include "PrivateSystemBus.h"
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Preferences";
// The desktop's generic application picture, in colours seen nowhere else on the screen.
constexpr Quadrants kGenericIcon{0x00FF00, 0xFF00FF, 0x00FFFF, 0xFFFF00};

class PreferencesProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The program's `run`-th start (the log goes on across restarts) has its keys and has restored the
    // active scene, whose layouts bring a window forward: a click before that may lose the focus to it.
    bool ready(std::size_t run = 1) {
        return X11TestSession::waitFor(
            [&] {
                return count("HotkeyManager: registering scene.save key=S") >= run &&
                       count("Scene Restore complete") >= run;
            },
            seconds(20));
    }
    // Korvane started beside a tray and its Preferences opened from the tray's menu into `window`
    // (nothing when it did not come); the program's pid.
    pid_t startWithPreferences(std::optional<xcb_window_t>& window) {
        startSession(true);
        startTray();
        const pid_t korvane = startKorvane();
        EXPECT_TRUE(ready()) << logText();
        window = openPreferences(korvane);
        return korvane;
    }
    // A click on the tray icon, then "Preferences..." chosen in its menu from the keyboard: the last row but
    // one. Answers the window once it shows with the keyboard.
    std::optional<xcb_window_t> openPreferences(pid_t korvane) {
        if (!openTrayMenu(korvane)) return std::nullopt;
        key(XK_Up);
        key(XK_Up);
        key(XK_Return);
        std::optional<xcb_window_t> window;
        if (!X11TestSession::waitFor([&] {
                return (window = session->viewableWindowTitled(kTitle)).has_value() &&
                       session->activeWindow() == *window;
            }))
            return std::nullopt;
        // Qt gives the keyboard to the window's first control once the window manager has activated it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return window;
    }
    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }
    void key(std::uint32_t keysym) {
        session->pressKeys({session->keycodeOf(keysym)});
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    void keys(std::vector<std::uint32_t> keysyms) {
        press(std::move(keysyms));
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    nlohmann::json storedFile(const char* name) {
        std::ifstream in(home() / name);
        return nlohmann::json::parse(in, nullptr, false);
    }
    std::optional<nlohmann::json> bindingOf(const std::string& action) {
        const auto table = storedFile("hotkeys.json");
        if (!table.is_object() || !table.contains("bindings")) return std::nullopt;
        for (const auto& binding : table["bindings"])
            if (binding.value("action", "") == action) return binding;
        return std::nullopt;
    }
    // The middle (root) of the red dot a recording row shows on its recorder; nothing while no row
    // records. Nothing else on the Shortcuts page is red.
    std::optional<Point> recordingDotAt(xcb_window_t window) {
        const Rect frame = session->frameOf(window);
        const auto pixels = session->rootPixels(frame);
        const int width = int(frame.width());
        std::optional<int> top, bottom, left, right;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const int r = int(pixels[i] >> 16 & 0xFF), g = int(pixels[i] >> 8 & 0xFF),
                      b = int(pixels[i] & 0xFF);
            if (r > 150 && r - g > 40 && r - b > 40) {
                const int x = int(frame.minX()) + int(i) % width, y = int(frame.minY()) + int(i) / width;
                if (!top) top = y;
                bottom = y;
                if (!left || x < *left) left = x;
                if (!right || x > *right) right = x;
            }
        }
        if (!top) return std::nullopt;
        return Point{double(*left + *right) / 2, double(*top + *bottom) / 2};
    }
    // From the window's first control, the Shortcuts page, then "Push Window Left" (past the cycling row and
    // the digit row's four modifiers) records: the height of its recorder's dot once it shows.
    std::optional<int> recordPushWindowLeft(xcb_window_t window) {
        key(XK_Down);
        for (int i = 0; i < 7; ++i)
            key(XK_Tab);
        key(XK_space);
        std::optional<int> dot;
        X11TestSession::waitFor([&] { return (dot = recordingDot(window)).has_value(); });
        return dot;
    }
    // Its height alone.
    std::optional<int> recordingDot(xcb_window_t window) {
        const auto dot = recordingDotAt(window);
        if (!dot) return std::nullopt;
        return int(dot->y);
    }
    // The sidebar's chosen row, drawn in the highlight colour, as a line across it (root); looked for
    // below the window manager's title bar.
    std::optional<Rect> chosenSidebarRow(xcb_window_t window) {
        const Rect frame = session->frameOf(window);
        const int x = int(frame.minX()) + 150;
        const auto column = session->rootPixels(Rect(x, frame.minY(), 1, frame.height()));
        std::optional<int> top, bottom;
        for (std::size_t y = 40; y < column.size(); ++y) {
            const int r = int(column[y] >> 16 & 0xFF), b = int(column[y] & 0xFF);
            if (b > 150 && b - r > 80) {
                if (!top) top = int(y);
                bottom = int(y);
            } else if (top) {
                break;
            }
        }
        if (!top) return std::nullopt;
        return Rect(x, frame.minY() + *top, 1, *bottom - *top + 1);
    }
    // Whether another client holds the key with these modifiers, as the program holds its own: the server
    // refuses it a grab of its own.
    bool heldElsewhere(std::uint32_t keysym, std::uint16_t modifiers) {
        const xcb_keycode_t key = session->keycodeOf(keysym);
        if (!session->grabKey(key, modifiers)) return true;
        session->ungrabKey(key, modifiers);
        return false;
    }
    std::string fileText(const char* name) {
        std::ifstream in(home() / name);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static constexpr std::uint16_t kControlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    // Where dark text begins in the right half of a picture of the window's frame, in a band 13 pixels
    // high around a row's middle: a recorder's text, which grows leftwards as it is right-aligned.
    static std::optional<int> textStart(const std::vector<std::uint32_t>& picture, const Rect& frame,
                                        int middle) {
        const int width = int(frame.width());
        std::optional<int> start;
        for (int y = middle - 6; y <= middle + 6; ++y)
            for (int x = int(frame.midX()); x < int(frame.maxX()); ++x) {
                const std::size_t i = std::size_t(y - int(frame.minY())) * std::size_t(width) +
                                      std::size_t(x - int(frame.minX()));
                if (i >= picture.size()) return start;
                const int r = int(picture[i] >> 16 & 0xFF), g = int(picture[i] >> 8 & 0xFF),
                          b = int(picture[i] & 0xFF);
                if (r * 299 + g * 587 + b * 114 < 100'000 && (!start || x < *start)) start = x;
            }
        return start;
    }
    void picture(xcb_window_t window, const std::string& name) {
        ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) ||
                    fs::is_directory(KORVANE_SCREENSHOT_DIR));
        EXPECT_TRUE(session->saveScreenshot(session->frameOf(window), ProgramOnX11Test::picture(name)));
    }
};

TEST_F(PreferencesProgramOnX11Test, aShortcutRecordedInThePreferencesIsStoredAndPushesTheXtermAtOnce) {
    startSession(true);
    startTray();
    const xcb_window_t notes =
        xterm("Notes", "60x20+3400+100"); // in the primary monitor's right half, clear of the window
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();

    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    picture(*window, "preferences-korvane.png");
    EXPECT_EQ(openPreferences(korvane), window) << "the same window again";
    EXPECT_EQ(count("[AppDelegate] Settings window shown, isVisible: true"), 2u) << logText();

    // From the sidebar: the Shortcuts page, then the keyboard through the rows above "Push Window Left" (the
    // first row's recorder and clear part, the digit row's four modifiers) to its recorder, which records.
    key(XK_Down);
    for (int i = 0; i < 7; ++i)
        key(XK_Tab);
    key(XK_space);
    keys({XK_Control_L, XK_Alt_L, XK_p});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] == "p";
    })) << logText();
    EXPECT_EQ(*bindingOf("push.left"),
              (nlohmann::json{
                  {"action", "push.left"}, {"key", "p"}, {"modifiers", {"ctrl", "alt"}}, {"enabled", true}}));
    // Pictured once the row shows the new shortcut rather than the recording.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    picture(*window, "preferences-shortcut-recorded-korvane.png");

    // The xterm given the keyboard: control+option+Q, the key replaced, leaves it; control+option+P pushes it
    // into the primary's left half.
    const Rect before = session->frameOf(notes);
    session->click(int(before.midX()), int(before.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_q});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(session->frameOf(notes), before);
    keys({XK_Control_L, XK_Alt_L, XK_p});
    EXPECT_TRUE(comesToFill(notes, Rect(1920, 0, 960, 1080)))
        << platform::describe(session->frameOf(notes)) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, aRecordedShortcutShowsItsKeysInWordsJoinedByPlus) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();

    // The Shortcuts page as it first shows: "Ctrl+Alt+Q" for "Push Window Left".
    key(XK_Down);
    for (int i = 0; i < 7; ++i)
        key(XK_Tab);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    picture(*window, "preferences-shortcuts-korvane.png");
    const Rect frame = session->frameOf(*window);
    const auto idle = session->rootPixels(frame);
    ASSERT_FALSE(recordingDot(*window));

    // Its recorder records: the row shows the red dot, which tells where the row is.
    key(XK_space);
    std::optional<int> dot;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (dot = recordingDot(*window)).has_value(); }))
        << logText();
    keys({XK_Control_L, XK_Alt_L, XK_Left});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] == "left" && !recordingDot(*window);
    })) << logText();
    EXPECT_EQ((*bindingOf("push.left"))["modifiers"], (nlohmann::json{"ctrl", "alt"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    picture(*window, "preferences-shortcut-in-words-korvane.png");

    // "Ctrl+Alt+Q" became "Ctrl+Alt+Left": three characters more, so the right-aligned text begins at
    // least three narrow characters further left. A key drawn as the arrow "←" would leave it where it was.
    const auto before = textStart(idle, frame, *dot);
    const auto recorded = textStart(session->rootPixels(frame), frame, *dot);
    ASSERT_TRUE(before && recorded) << "no text on the row";
    EXPECT_GE(*before - *recorded, 15) << *before << " " << *recorded;

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, aCombinationKorvaneHoldsIsRecordedWhenTypedWithoutActing) {
    startSession(true);
    startTray();
    xterm("Notes", "60x20+3400+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();

    // Control+option+C opens the scene card switcher, and the program holds it: no other client gets it.
    auto heldElsewhere = [&] { return this->heldElsewhere(XK_c, kControlAlt); };
    EXPECT_TRUE(heldElsewhere());

    // "Push Window Left" records (the way there is that of the test above); while it does, the program
    // lets go of its keys, so the press reaches the window.
    key(XK_Down);
    for (int i = 0; i < 7; ++i)
        key(XK_Tab);
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !heldElsewhere(); })) << logText();
    picture(*window, "preferences-recording-korvane.png");
    keys({XK_Control_L, XK_Alt_L, XK_c});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] == "c";
    })) << logText();
    EXPECT_EQ(*bindingOf("push.left"),
              (nlohmann::json{
                  {"action", "push.left"}, {"key", "c"}, {"modifiers", {"ctrl", "alt"}}, {"enabled", true}}));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    picture(*window, "preferences-held-combination-recorded-korvane.png");
    // Had the press reached the card switcher, it would show by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_FALSE(session->viewableWindowTitled("Scene Switcher")) << logText();
    EXPECT_EQ(session->activeWindow(), *window);
    // The recording over, the program holds its keys again.
    EXPECT_TRUE(X11TestSession::waitFor(heldElsewhere)) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, aRecordingEndsOnAClickElsewhereOrAnotherPageAndTheKeysComeBackAtOnce) {
    startSession(true);
    startTray();
    const xcb_window_t notes = xterm("Notes", "60x20+3400+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();
    auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();

    // "Push Window Left" records (the way there is that of the tests above), then the user clicks the
    // xterm: the recording ends with the window's keyboard, and control+option+1 pushes the xterm into
    // zone 1, the primary's left half.
    key(XK_Down);
    for (int i = 0; i < 7; ++i)
        key(XK_Tab);
    key(XK_space);
    std::optional<Point> dot;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (dot = recordingDotAt(*window)).has_value(); }))
        << logText();
    // Where the recorder's text is, from the window's corner: to the right of the dot.
    const Point recorder{dot->x + 60 - session->frameOf(*window).minX(),
                         dot->y - session->frameOf(*window).minY()};
    ASSERT_FALSE(heldElsewhere(XK_1, kControlAlt)) << "the program lets go of its keys while it records";
    std::size_t resumed = count("Hot keys resumed");
    const Rect before = session->frameOf(notes);
    clickAt(int(before.midX()), int(before.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; })) << logText();
    // Asked only once the program has taken its keys again: the test's own grab, asking whether they are
    // free, would keep the program from taking one at that moment.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return heldElsewhere(XK_1, kControlAlt); })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_1});
    EXPECT_TRUE(comesToFill(notes, Rect(1920, 0, 960, 1080)))
        << platform::describe(session->frameOf(notes)) << logText();

    // Shown again, on the Shortcuts page as it was left: the recorder clicked records, then the user
    // clicks "General" and types control+option+G there. It is no shortcut: the table stays as it was,
    // and the keys are back, so control+option+2 pushes the xterm on into zone 2.
    window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const std::string table = fileText("hotkeys.json");
    resumed = count("Hot keys resumed");
    clickAt(int(session->frameOf(*window).minX() + recorder.x),
            int(session->frameOf(*window).minY() + recorder.y));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return recordingDot(*window).has_value(); })) << logText();
    // "General" is the row above "Shortcuts".
    const auto shortcuts = chosenSidebarRow(*window);
    ASSERT_TRUE(shortcuts);
    clickAt(int(shortcuts->minX()), int(shortcuts->minY() - shortcuts->height() / 2 - 1));
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto chosen = chosenSidebarRow(*window);
        return chosen && chosen->maxY() <= shortcuts->minY();
    })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_g});
    picture(*window, "preferences-general-after-recording-korvane.png");
    // On the xterm's left part, clear of the window shown over it.
    const Rect zone1 = session->frameOf(notes);
    clickAt(int(zone1.minX()) + 100, int(zone1.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; })) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return heldElsewhere(XK_2, kControlAlt); })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_2});
    EXPECT_TRUE(comesToFill(notes, Rect(2880, 0, 960, 1080)))
        << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_EQ(fileText("hotkeys.json"), table);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, aKeyThatTypesIsRefusedAloneWhileF5AloneBecomesAShortcut) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();

    // "Push Window Left" records and U alone is typed: refused, so the table stays as it was and every
    // program keeps its U.
    const std::string table = fileText("hotkeys.json");
    ASSERT_TRUE(recordPushWindowLeft(*window)) << logText();
    std::size_t resumed = count("Hot keys resumed");
    key(XK_u);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    picture(*window, "preferences-shortcut-refused-korvane.png");
    EXPECT_EQ(fileText("hotkeys.json"), table);
    EXPECT_FALSE(heldElsewhere(XK_u, 0)) << logText();

    // Recorded again, F5 alone, which types nothing, becomes the shortcut, and the program holds it.
    resumed = count("Hot keys resumed");
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return recordingDot(*window).has_value(); })) << logText();
    key(XK_F5);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] == "f5";
    })) << logText();
    EXPECT_EQ(*bindingOf("push.left"), (nlohmann::json{{"action", "push.left"},
                                                       {"key", "f5"},
                                                       {"modifiers", nlohmann::json::array()},
                                                       {"enabled", true}}));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return heldElsewhere(XK_F5, 0); })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Ctrl+Alt+F5 is the X server's: it switches terminals at the press and hands the program only the release.
// Typed for "Push Window Left" it is refused with the reason under the row, the recording ends with the
// row's shortcut back and the program's keys held again, and "hotkeys.json" stays byte for byte.
TEST_F(PreferencesProgramOnX11Test, ctrlAltF5IsRefusedAsTheServersOwnKeyAndTheFileStaysAsItWas) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();
    const std::string table = fileText("hotkeys.json");
    const std::optional<int> row = recordPushWindowLeft(*window);
    ASSERT_TRUE(row) << logText();
    // Just below the row, where the next row's title shows until a reason comes between them.
    const Rect frame = session->frameOf(*window);
    const Rect below{frame.minX(), double(*row + 14), frame.width(), 18};
    const auto nextRow = session->rootPixels(below);

    const std::size_t resumed = count("Hot keys resumed");
    keys({XK_Control_L, XK_Alt_L, XK_F5});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    EXPECT_TRUE(waitForLine("[Settings] Refused for push.left: Ctrl+Alt+F5 is the X server's own key and "
                            "reaches no program: choose another combination"))
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixels(below) != nextRow; }));
    picture(*window, "preferences-server-key-refused-korvane.png");
    EXPECT_EQ(fileText("hotkeys.json"), table);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return heldElsewhere(XK_q, kControlAlt); })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test,
       ctrlAltInsertRecordedForTheCardSwitcherOpensItAndAnUnnamedKeyLeavesTheFile) {
    startSession(true);
    startTray();
    const xcb_window_t notes = xterm("Notes", "60x20+3400+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    ASSERT_NE(session->keycodeOf(XF86XK_AudioMute), 0) << "the keyboard has a key no shortcut names";

    // The Shortcuts page, then down past the rows above "Scene Card Switcher" (the digit row's four
    // modifiers, every other row its recorder and clear part) to its recorder, which records.
    key(XK_Down);
    for (int i = 0; i < 21; ++i)
        key(XK_Tab);
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return recordingDot(*window).has_value(); })) << logText();

    // Ctrl+Alt with the mute key, which has no name: refused, the file left byte for byte as it was.
    const std::string table = fileText("hotkeys.json");
    std::size_t resumed = count("Hot keys resumed");
    keys({XK_Control_L, XK_Alt_L, XF86XK_AudioMute});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    picture(*window, "preferences-unnamed-key-refused-korvane.png");
    EXPECT_EQ(fileText("hotkeys.json"), table);

    // Recorded again, Ctrl+Alt+Insert is stored under the key's name.
    resumed = count("Hot keys resumed");
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return recordingDot(*window).has_value(); })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_Insert});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("sceneSwitcher.toggle");
        return binding && (*binding)["key"] == "insert";
    })) << logText();
    EXPECT_EQ(*bindingOf("sceneSwitcher.toggle"), (nlohmann::json{{"action", "sceneSwitcher.toggle"},
                                                                  {"key", "insert"},
                                                                  {"modifiers", {"ctrl", "alt"}},
                                                                  {"enabled", true}}));

    // With the xterm in front and the keys held again, Ctrl+Alt+Insert opens the scene cards. Asked only
    // once the program has taken its keys again, as the test's own grab would keep it from taking one.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Hot keys resumed") > resumed; })) << logText();
    ASSERT_TRUE(focusByClick(notes)) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return heldElsewhere(XK_Insert, kControlAlt); })) << logText();
    keys({XK_Control_L, XK_Alt_L, XK_Insert});
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const auto cards = session->viewableWindowTitled("Scene Switcher");
        return cards && session->activeWindow() == *cards;
    })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Scaled twice, as a desktop sets it for a screen of high density: the program's windows are laid out in
// the toolkit's pixels, each twice the server's, on the monitors where the server has them. The corner
// button stands at the main monitor's top right inside the strip it keeps, which a zone's window stays
// below; the global switcher covers the monitor it opens on; the Preferences open on the main monitor.
TEST_F(PreferencesProgramOnX11Test, underTheToolkitsScalingTheProgramsWindowsLieOnTheMonitorsTheyBelongTo) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary's left half
    const pid_t korvane = startKorvane({"QT_SCALE_FACTOR=2"});
    ASSERT_TRUE(ready()) << logText();

    // 30 × 26 toolkit pixels, 8 in from the monitor's right edge and 2 below its top.
    std::optional<Rect> button;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (button = trayIcon(korvane)) && *button == Rect(kPrimaryRoot.maxX() - 16 - 60, 4, 60, 52);
    })) << (button ? platform::describe(*button) : "no button")
        << logText();
    ASSERT_TRUE(pushIntoPrimarysRightHalf(notes)) << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_GE(session->frameOf(notes).minY(), button->maxY()) << platform::describe(session->frameOf(notes));

    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const Rect frame = session->frameOf(*window);
    EXPECT_TRUE(kPrimaryRoot.intersection(frame) == frame) << platform::describe(frame);
    picture(*window, "preferences-scaled-x11.png");

    press({XK_Control_L, XK_Alt_L, XK_a});
    std::optional<xcb_window_t> switcher;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (switcher = session->viewableWindowTitled("Global Switcher")) &&
               session->activeWindow() == *switcher;
    })) << logText();
    EXPECT_EQ(session->frameOf(*switcher), kPrimaryRoot) << platform::describe(session->frameOf(*switcher));
    EXPECT_TRUE(
        session->saveScreenshot(kPrimaryRoot, ProgramOnX11Test::picture("global-switcher-scaled-x11.png")));
    press({XK_Escape});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Global Switcher"); }));

    // "Save Scene", taller than the scaled monitor, lies on it whole, its buttons within reach.
    std::optional<xcb_window_t> save;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        press({XK_Control_L, XK_Alt_L, XK_s});
        return X11TestSession::waitFor(
            [&] { return (save = session->viewableWindowTitled("Save Scene")).has_value(); }, seconds(3));
    })) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const Rect saveFrame = session->frameOf(*save);
        return kPrimaryRoot.intersection(saveFrame) == saveFrame;
    })) << platform::describe(session->frameOf(*save));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Under a scale that makes a main monitor no whole number of the toolkit's pixels wide, the Preferences,
// frame and title bar with them, lie whole on it, not a column onto the monitor beside it: on a wide one
// at their own size, on one narrower than their least width (1024 is 682⅔ of the toolkit's pixels)
// shrunk to it.
TEST_F(PreferencesProgramOnX11Test, underAFractionalScaleThePreferencesLieWholeOnTheMainMonitor) {
    for (const bool narrow : {false, true}) {
        SCOPED_TRACE(narrow ? "narrow main" : "wide main");
        if (narrow)
            startNarrowMainSession();
        else
            startWideMainSession();
        const Rect& main = narrow ? kNarrowMainRoot : kWideMainRoot;
        openXterm();
        const pid_t korvane = startKorvane({"QT_SCALE_FACTOR=1.5"});
        ASSERT_TRUE(ready(narrow ? 2 : 1)) << logText();
        const auto window = openPreferences(korvane);
        ASSERT_TRUE(window) << logText();
        EXPECT_TRUE(X11TestSession::waitFor([&] {
            const Rect frame = session->frameOf(*window);
            return main.intersection(frame) == frame;
        })) << platform::describe(session->frameOf(*window));
        picture(*window, narrow ? "preferences-narrow-fractional-scale-x11.png"
                                : "preferences-fractional-scale-x11.png");

        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
}

TEST_F(PreferencesProgramOnX11Test, minimisedThePreferencesComeBackWithTheKeyboardWhenAskedForAgain) {
    // No tray and no task bar: the corner button's menu is the one way back to the window, and the button
    // is a window of the program that shows.
    startSession(true);
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();

    // Minimised as a task bar does it, then "Preferences..." again: the same window shows, restored, with
    // the keyboard (there is no task bar to bring it back by).
    session->iconify(*window);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return minimised(*window); })) << logText();
    ASSERT_FALSE(session->viewableWindowTitled(kTitle));
    EXPECT_EQ(openPreferences(korvane), window) << logText();
    EXPECT_FALSE(minimised(*window));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window manager's close, as its title bar's button sends it, comes to the window as any other request
// of the desktop: the window goes at once, however soon after its opening the user clicks.
TEST_F(PreferencesProgramOnX11Test, thePreferencesCloseAtTheWindowManagersFirstRequestEveryTime) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();

    for (int opening = 0; opening < 10; ++opening) {
        if (opening > 0) {
            window = openPreferences(korvane);
            ASSERT_TRUE(window) << "opening " << opening << "\n" << logText();
        }
        // From half a second to two after the window showed (openPreferences waits 300 ms past that).
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + 1500 * opening / 9));
        EXPECT_TRUE(goesAtTheFirstClose(*window, kTitle))
            << "opening " << opening << " still shows a second after the request";
        ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kTitle); }))
            << logText();
    }

    // Shown again, it takes the keyboard: Down in the sidebar chooses the Shortcuts page below "General".
    window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const auto general = chosenSidebarRow(*window);
    ASSERT_TRUE(general);
    key(XK_Down);
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const auto chosen = chosenSidebarRow(*window);
        return chosen && chosen->minY() >= general->maxY();
    })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window lives as long as the program: after the monitors are rearranged so that the side monitor is
// the main screen, the next opening comes to the middle of that monitor, as the scene manager does.
TEST_F(PreferencesProgramOnX11Test, thePreferencesOpenCentredOnTheMainScreenAsItIsAtEachOpening) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();
    auto centredOn = [&](const Rect& monitor) {
        const Rect frame = session->frameOf(*window);
        // The title bar makes the frame taller above than below the content.
        return within(frame, monitor) && std::abs(frame.midX() - monitor.midX()) <= 10 &&
               std::abs(frame.midY() - monitor.midY()) <= 40;
    };
    EXPECT_TRUE(centredOn(kPrimaryRoot)) << platform::describe(session->frameOf(*window));
    ASSERT_TRUE(goesAtTheFirstClose(*window, kTitle)) << logText();

    // The primary output's monitor is now the side one; both set again in that order. A stand-in covers
    // the main monitor meanwhile, so that the window's place lies on a monitor throughout, as it does when
    // a user rearranges the monitors in one step.
    const std::size_t changes = count("[DisplayChange] handle end");
    session->setMonitor("STAND-IN", kPrimaryRoot, false);
    session->deleteMonitor(kSecondaryName);
    session->deleteMonitor(kPrimaryName);
    session->setMonitor(kSecondaryName, kSecondaryRoot, true);
    session->setMonitor(kPrimaryName, kPrimaryRoot, false);
    session->deleteMonitor("STAND-IN");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
        << logText();

    // The toolkit may give the window a native window of its own anew once its monitor has changed.
    window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    EXPECT_TRUE(centredOn(kSecondaryRoot)) << platform::describe(session->frameOf(*window)) << logText();
    picture(*window, "preferences-on-the-new-main-screen-korvane.png");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, aQuitWhileAShortcutRecordsEndsWithStatusZeroAndItsFilesSaved) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();
    key(XK_Down);
    for (int i = 0; i < 7; ++i)
        key(XK_Tab);
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return recordingDot(*window).has_value(); })) << logText();

    // The layout memory is written only at a quit.
    fs::remove(home() / "layout-memory.json");
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

TEST_F(PreferencesProgramOnX11Test, theGesturesSwitchedOffInThePreferencesStayOffAfterARestart) {
    startSession(true);
    startTray();
    const xcb_window_t notes = xterm("Notes", "60x20+2000+100");
    const xcb_window_t other = xterm("Other", "60x20+3400+700");
    pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();

    auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    // From the sidebar on the General page: start at login, the two scene options, "Open Scene Manager",
    // then the gestures' switch.
    for (int i = 0; i < 5; ++i)
        key(XK_Tab);
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return storedFile("user-defaults.json").value("SDPEnabled", true) == false;
    })) << logText();

    ::kill(korvane, SIGTERM);
    ASSERT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    korvane = startKorvane();
    ASSERT_TRUE(ready(2)) << logText();
    // A control+option press on the xterm in the back, a drag to the other half and the release: no gesture
    // takes the press, so nothing carries the xterm there. (The press goes on to the xterm; this window
    // manager focuses only on a press without modifiers, so the focus says nothing of it.)
    const Rect behind = session->frameOf(notes);
    session->click(int(session->frameOf(other).midX()), int(session->frameOf(other).midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == other; })) << logText();
    const xcb_keycode_t control = session->keycodeOf(XK_Control_L), alt = session->keycodeOf(XK_Alt_L);
    session->fakeInput(XCB_KEY_PRESS, control);
    session->fakeInput(XCB_KEY_PRESS, alt);
    pause();
    session->movePointer(int(behind.midX()), int(behind.midY()));
    pause();
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    pause();
    for (int step = 1; step <= 12; ++step) {
        session->movePointer(int(behind.midX() + (3300 - behind.midX()) * step / 12), int(behind.midY()));
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    session->fakeInput(XCB_KEY_RELEASE, alt);
    session->fakeInput(XCB_KEY_RELEASE, control);
    // A drop would have filled the right half within this time (it does with the gestures on).
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(session->frameOf(notes), behind) << platform::describe(session->frameOf(notes)) << logText();

    // The page shows the switch off.
    window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    picture(*window, "preferences-sdp-off-korvane.png");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// "Launch Korvane at login" where the autostart entry cannot be written (a file where its folder belongs):
// the box never shows ticked, at the first click nor at the next, while the reason stands under it.
TEST_F(PreferencesProgramOnX11Test, aLaunchAtLoginThatCannotBeWrittenNeverShowsTheBoxTicked) {
    startSession(true);
    startTray();
    const fs::path config = folder.path() / "config";
    fs::create_directories(config);
    const pid_t korvane = startKorvane({"XDG_CONFIG_HOME=" + config.string()});
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const Rect content = session->contentOf(*window);
    const auto shown = [&] { return session->rootPixels(content); };
    // From the sidebar to the box; the box as shown unticked, with the keyboard.
    key(XK_Tab);
    pause();
    const auto unticked = shown();
    // A switch that takes: where the picture changes first from the top is the box's tick.
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return fs::exists(config / "autostart"); })) << logText();
    std::vector<std::uint32_t> ticked;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (ticked = shown()) != unticked; }));
    std::size_t first = 0;
    while (ticked[first] == unticked[first])
        ++first;
    // The tick's rows: the box is some 14 high, the caption that changes with it lies below the box's row.
    const std::size_t width = std::size_t(content.width()), top = first / width - 2, rows = 12;
    std::size_t left = width, right = 0;
    for (std::size_t y = top; y < top + rows; ++y)
        for (std::size_t x = 0; x < width; ++x)
            if (ticked[y * width + x] != unticked[y * width + x])
                left = std::min(left, x), right = std::max(right, x);
    ASSERT_LT(right - left, 30u) << "more than a tick changed";
    const auto boxPixels = [&](const std::vector<std::uint32_t>& all) {
        std::vector<std::uint32_t> box;
        for (std::size_t y = top; y < top + rows; ++y)
            for (std::size_t x = left; x <= right; ++x)
                box.push_back(all[y * width + x]);
        return box;
    };
    const auto tick = boxPixels(ticked), noTick = boxPixels(unticked);
    ASSERT_NE(tick, noTick);
    key(XK_space);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return boxPixels(shown()) == noTick; }));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Launch-at-login toggled enabled=false") == 1; }));

    // Now the entry cannot be written: each click fails, and the box stays as it was.
    fs::remove_all(config / "autostart");
    std::ofstream(config / "autostart") << "not a folder";
    for (std::size_t click = 1; click <= 2; ++click) {
        key(XK_space);
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return count("Failed to toggle launch-at-login") == click;
        })) << logText();
        EXPECT_FALSE(X11TestSession::waitFor([&] { return boxPixels(shown()) != noTick; }, seconds(1)))
            << "ticked at click " << click;
    }
    picture(*window, "preferences-launch-at-login-failed-korvane.png");
}

// The window is Korvane's own: a control+option carry started on it where it lies over an xterm carries
// nothing, neither the window nor the xterm beneath it.
TEST_F(PreferencesProgramOnX11Test, aCarryStartedOnTheWindowLeavesTheXtermBeneathItWhereItIs) {
    startSession(true);
    startTray();
    const xcb_window_t notes = xterm("Notes", "150x60+1930+40");
    const pid_t korvane = startKorvane({}, "debug");
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const Rect standing = session->frameOf(notes), shown = session->frameOf(*window);
    const Rect over = standing.intersection(shown);
    ASSERT_TRUE(over.width() > 20 && over.height() > 20)
        << platform::describe(standing) << " " << platform::describe(shown);

    EXPECT_TRUE(carryWithControlAndAlt({over.midX(), over.midY()}, {3300, 500})) << logText();
    EXPECT_EQ(session->frameOf(notes), standing) << platform::describe(session->frameOf(notes));
    EXPECT_EQ(session->frameOf(*window), shown);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test, openConfigFileShowsTheKeyTableInTheFileManagerElseOpensItsFolder) {
    // A session bus with a file manager on it, and an xdg-open that notes what it is asked to open.
    PrivateSystemBus bus("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(bus.serveAsFileManager());
    fs::create_directories(folder.path() / "bin");
    std::ofstream(folder.path() / "bin/xdg-open")
        << "#!/bin/sh\necho \"$1\" >> '" << (folder.path() / "opened").string() << "'\n";
    fs::permissions(folder.path() / "bin/xdg-open", fs::perms::owner_all);
    auto opened = [&] {
        std::ifstream in(folder.path() / "opened");
        std::string line, last;
        while (std::getline(in, line))
            last = line;
        return last;
    };
    startSession(true);
    startTray();
    const pid_t korvane =
        startKorvane({"DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
                      "PATH=" + (folder.path() / "bin").string() + ":" + std::string(std::getenv("PATH"))});
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();

    // The Shortcuts page from the sidebar; backwards from there, its last button.
    key(XK_Down);
    keys({XK_Shift_L, XK_Tab});
    key(XK_space);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !bus.itemsShown().empty(); })) << logText();
    EXPECT_EQ(bus.itemsShown(), std::vector<std::string>{"file://" + (home() / "hotkeys.json").string()});
    picture(*window, "preferences-shortcuts-korvane.png");

    // With the file manager gone the same button opens the folder.
    bus.endFileManager();
    key(XK_space);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return opened() == "file://" + home().string(); }))
        << logText();
    EXPECT_EQ(bus.itemsShown().size(), 1u);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(PreferencesProgramOnX11Test,
       aRunningXlogoAddedToTheExclusionListShowsItsNameAndTheDesktopsGenericPicture) {
    // The desktop's data for the program holds one picture, the generic application's, in colours seen
    // nowhere else. xlogo has no picture of its own (no window icon, no desktop entry): it is given that one,
    // as on a switcher tile.
    const fs::path data = folder.path() / "data";
    fs::create_directories(data / "icons/hicolor/16x16/mimetypes");
    writeQuadrantsXpm(data / "icons/hicolor/16x16/mimetypes/application-x-executable.xpm", kGenericIcon);
    startSession(true);
    startTray();
    // It names no process on its window: it is found by its title.
    session->start({"xlogo", "-geometry", "200x200+3400+600"});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->viewableWindowTitled("xlogo").has_value(); }));
    const pid_t korvane = startKorvane(
        {"XDG_DATA_HOME=" + data.string(), "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();

    // From the sidebar on the General page, past the options and the three listed identifiers' remove
    // buttons, to "Add Application...": the picker, whose search field takes the keyboard.
    for (int i = 0; i < 10; ++i)
        key(XK_Tab);
    key(XK_space);
    std::optional<xcb_window_t> picker;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (picker = session->viewableWindowTitled("Choose Application")).has_value() &&
               session->activeWindow() == *picker;
    })) << logText();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (std::uint32_t letter : {XK_x, XK_l, XK_o, XK_g, XK_o})
        key(letter);
    key(XK_Return);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Choose Application"); }))
        << logText();

    // The row shows the picture at 20 pixels, and beside it the name in the text's colour (an application
    // not known to run shows a dashed outline and its identifier in grey).
    const Rect frame = session->frameOf(*window);
    const auto icon = waitForIcon(*session, frame, kGenericIcon, 20);
    picture(*window, "preferences-exclusion-list-korvane.png");
    ASSERT_TRUE(icon) << logText();
    const auto pixels = session->rootPixels(frame);
    int dark = 0;
    for (int y = int(icon->bounds.minY()); y < int(icon->bounds.maxY()); ++y)
        for (int x = int(icon->bounds.maxX()) + 2; x < int(icon->bounds.maxX()) + 80; ++x) {
            const std::uint32_t p = pixels[std::size_t(y - int(frame.minY())) * std::size_t(frame.width()) +
                                           std::size_t(x - int(frame.minX()))];
            if (int(p >> 16 & 0xFF) * 299 + int(p >> 8 & 0xFF) * 587 + int(p & 0xFF) * 114 < 60'000) ++dark;
        }
    EXPECT_GT(dark, 20) << "no name in the text's colour beside the picture";

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// On a French keyboard the "1 &" key types "&", which a US keyboard types on its 7. Recorded with Super for
// "Push Window Left", the shortcut is stored as the key pressed, 1, and acts on that key, not on "7 è".
TEST_F(PreferencesProgramOnX11Test, aShortcutRecordedOnAFrenchKeyboardIsTheKeyPressedAndActsOnIt) {
    startSession(true);
    startTray();
    ASSERT_TRUE(session->run({"setxkbmap", "fr"}));
    const xcb_window_t notes = xterm("Notes", "60x20+3400+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(ready()) << logText();
    const auto window = openPreferences(korvane);
    ASSERT_TRUE(window) << logText();
    const xcb_keycode_t super = session->keycodeOf(XK_Super_L);
    const xcb_keycode_t oneAmpersand = session->keycodeOf(XK_ampersand),
                        sevenEgrave = session->keycodeOf(XK_egrave);
    ASSERT_EQ(session->keycodeOf(XK_1), oneAmpersand) << "the layout types 1 with Shift on the \"1 &\" key";

    ASSERT_TRUE(recordPushWindowLeft(*window)) << logText();
    session->pressKeys({super, oneAmpersand});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] != "Q";
    })) << logText();
    EXPECT_EQ(
        *bindingOf("push.left"),
        (nlohmann::json{{"action", "push.left"}, {"key", "1"}, {"modifiers", {"cmd"}}, {"enabled", true}}));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !recordingDot(*window); }));
    picture(*window, "preferences-shortcut-recorded-french-korvane.png");

    // The xterm given the keyboard: Super+"7 è" leaves it; Super+"1 &" pushes it into the primary's left
    // half.
    const Rect before = session->frameOf(notes);
    session->click(int(before.midX()), int(before.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; })) << logText();
    session->pressKeys({super, sevenEgrave});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(session->frameOf(notes), before);
    session->pressKeys({super, oneAmpersand});
    EXPECT_TRUE(comesToFill(notes, Rect(1920, 0, 960, 1080)))
        << platform::describe(session->frameOf(notes)) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Another program holds Ctrl+Alt+Y. Recorded for "Push Window Left", the combination reaches the
// recording, which holds the keyboard, and is stored; the row then says under it that another program
// holds it: a line of text more on the window's left, where the rows' titles and such lines are.
TEST_F(PreferencesProgramOnX11Test, aCombinationAnotherProgramHoldsIsSaidToBeHeldUnderItsRowOnceRecorded) {
    std::optional<xcb_window_t> window;
    const pid_t korvane = startWithPreferences(window);
    ASSERT_TRUE(window) << logText();
    const xcb_keycode_t y = session->keycodeOf(XK_y);
    ASSERT_TRUE(session->grabKey(y, kControlAlt));
    // Pixels of text on the left half of the window, the grey of a note's as well as the black of a title.
    auto leftText = [&] {
        const Rect frame = session->frameOf(*window);
        const auto pixels =
            session->rootPixels(Rect(frame.minX(), frame.minY(), frame.width() / 2, frame.height()));
        return std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) {
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            return r * 299 + g * 587 + b * 114 < 180'000;
        });
    };

    ASSERT_TRUE(recordPushWindowLeft(*window)) << logText();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto recording = leftText();
    keys({XK_Control_L, XK_Alt_L, XK_y});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto binding = bindingOf("push.left");
        return binding && (*binding)["key"] == "y" && !recordingDot(*window);
    })) << logText();
    EXPECT_TRUE(waitForLine("[Settings] Not held: push.left: Held by another program")) << logText();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    picture(*window, "preferences-held-by-another-program-korvane.png");
    EXPECT_GT(leftText(), recording + 150) << "no line of text came under the row";
    EXPECT_FALSE(logged("Hotkey event-tap fallback fired")) << logText();

    session->ungrabKey(y, kControlAlt);
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
