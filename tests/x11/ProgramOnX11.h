// The built `korvane` as a process of its own on a private X server, with a fresh support folder and its
// log in a file, as a user starts it: the fixture of the tests that drive the program itself.
#pragma once

#include "X11TestSession.h"

#include "app/DisplayUtil.h"
#include "input/HotkeyConfig.h"
#include "platform/Format.h"
#include "platform/sim/SimDesktop.h"
#include "platform/x11/X11Desktop.h"
#include "scenes/SceneStore.h"
#include "support/TempFolder.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#ifndef KORVANE_BINARY
#error "KORVANE_BINARY must name the built program"
#endif
#ifndef KORVANE_SCREENSHOT_DIR
#error "KORVANE_SCREENSHOT_DIR must name the folder of the tests' pictures"
#endif
#ifndef KORVANE_LSAN_SUPPRESSIONS
#error "KORVANE_LSAN_SUPPRESSIONS must name the leak suppressions of the program's tests"
#endif

namespace korvane::x11::test {

namespace fs = std::filesystem;

inline Nanos monotonic() {
    return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Without a system tray the program's corner button keeps a strip this high along the top of the main
// monitor free of windows, as a desktop panel does: the main monitor's zones divide what lies below it.
inline constexpr double kCornerStrip = 30;
inline const Rect kPrimaryWorkArea{kPrimaryRoot.minX(), kPrimaryRoot.minY() + kCornerStrip,
                                   kPrimaryRoot.width(), kPrimaryRoot.height() - kCornerStrip};
// Its halves: the main monitor's zones 1 and 2 in a layout of two halves side by side.
inline const Rect kPrimaryLeftHalf{kPrimaryWorkArea.minX(), kPrimaryWorkArea.minY(),
                                   kPrimaryWorkArea.width() / 2, kPrimaryWorkArea.height()};
inline const Rect kPrimaryRightHalf{kPrimaryWorkArea.midX(), kPrimaryWorkArea.minY(),
                                    kPrimaryWorkArea.width() / 2, kPrimaryWorkArea.height()};
// Where Ctrl+Alt+2 and Ctrl+Alt+X send a window of the main monitor, each monitor laid out in two halves:
// the main monitor's right half and the side monitor's left half.
inline const Rect kMainZone2 = kPrimaryRightHalf;
inline const Rect kSideZone1{kSecondaryRoot.minX(), kSecondaryRoot.minY(), kSecondaryRoot.width() / 2,
                             kSecondaryRoot.height()};
inline constexpr const char* kGlobalSwitcherTitle = "Global Switcher";

// Two monitors a user defined over one screen, one above the other: TOP, listed first, and MAIN below it,
// holding the screen's output, the primary one. Neither carries the primary mark, so the program takes
// TOP, the first listed, for its main monitor, while the output names MAIN.
inline constexpr const char* kTopName = "TOP";
inline constexpr const char* kMainName = "MAIN";
inline const Rect kTopRoot{0, 0, 1920, 1080};
inline const Rect kMainRoot{0, 1080, 1920, 1080};
// A wide main monitor with a smaller one on its right, both from the root's top.
inline constexpr const char* kWideMainName = "WIDE-MAIN";
inline constexpr const char* kRightName = "RIGHT";
inline const Rect kWideMainRoot{0, 0, 2560, 1440};
inline const Rect kRightRoot{2560, 0, 1920, 1080};
// A main monitor narrower than a window's least width under a scale of 1.5, the same one on its right.
inline const Rect kNarrowMainRoot{0, 0, 1024, 768};
inline const Rect kRightOfNarrowRoot{1024, 0, 1920, 1080};

// The viewable windows of one process anywhere in the tree (the tray icon sits inside the tray's window),
// with their place on the root, read on a connection of the test's own.
inline std::vector<std::pair<xcb_window_t, Rect>> windowsOfProcess(const std::string& display, pid_t pid) {
    std::vector<std::pair<xcb_window_t, Rect>> found;
    xcb_connection_t* conn = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(conn)) {
        xcb_disconnect(conn);
        return found;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    auto* atomReply = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, 11, "_NET_WM_PID"), nullptr);
    const xcb_atom_t pidAtom = atomReply ? atomReply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(atomReply);
    std::vector<xcb_window_t> pending{root};
    while (!pending.empty()) {
        const xcb_window_t window = pending.back();
        pending.pop_back();
        auto* tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, window), nullptr);
        if (!tree) continue;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t child = children[i];
            auto* attributes =
                xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, child), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
            if (!viewable) continue;
            pending.push_back(child);
            auto* property = xcb_get_property_reply(
                conn, xcb_get_property(conn, 0, child, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
            const bool ours =
                property && property->format == 32 && xcb_get_property_value_length(property) == 4 &&
                static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(property))) ==
                    pid;
            std::free(property);
            if (!ours) continue;
            auto* geometry = xcb_get_geometry_reply(conn, xcb_get_geometry(conn, child), nullptr);
            auto* place = xcb_translate_coordinates_reply(
                conn, xcb_translate_coordinates(conn, child, root, 0, 0), nullptr);
            if (geometry && place)
                found.push_back({child, Rect{double(place->dst_x), double(place->dst_y),
                                             double(geometry->width), double(geometry->height)}});
            std::free(geometry);
            std::free(place);
        }
        std::free(tree);
    }
    xcb_disconnect(conn);
    return found;
}

// Resident memory of a process, in kB.
inline long residentKB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Whether the frame lies within the monitor (both root coordinates).
inline bool within(const Rect& frame, const Rect& monitor) {
    return frame.minX() >= monitor.minX() && frame.minY() >= monitor.minY() &&
           frame.maxX() <= monitor.maxX() && frame.maxY() <= monitor.maxY();
}

// The display UUID of each monitor by its name, as the program names them.
inline std::map<std::string, std::string> monitorsByName(const std::string& display) {
    std::string error;
    auto desktop = X11Desktop::connect(display, error);
    EXPECT_TRUE(desktop) << error;
    std::map<std::string, std::string> uuids;
    if (desktop)
        for (const auto& screen : desktop->screens().screens())
            uuids[screen.localizedName] = DisplayUtil::displayUUID(screen);
    return uuids;
}

// A scene laying out the session's main and side monitors, by their display UUIDs on `display`.
inline WMScene sceneOverBothMonitors(const std::string& display, const std::string& id,
                                     const std::string& name, const std::string& mainLayout,
                                     const std::string& sideLayout) {
    const auto uuids = monitorsByName(display);
    EXPECT_EQ(uuids.size(), 2u);
    WMScene scene;
    scene.id = id;
    scene.name = name;
    scene.layoutRefsByDisplay = {{uuids.at(kPrimaryName), mainLayout},
                                 {uuids.at(kSecondaryName), sideLayout}};
    return scene;
}

// The scene, written into the support folder `home` as the program writes it, and recorded as the active one.
inline void writeActiveScene(const fs::path& home, const WMScene& scene) {
    sim::ScopedSimDesktop writer;
    writer->process().setEnvironment("KORVANE_HOME", home.string());
    SceneStore store(*writer, ScreenContext{});
    store.save(scene, ScreenContext{});
    store.setActiveScene(scene.id);
}

class ProgramOnX11Test : public ::testing::Test {
  protected:
    void startSession(bool windowManager) {
        session = std::make_unique<X11TestSession>(std::vector<std::string>{}, windowManager);
    }
    // A server whose screen holds TOP over MAIN, the window manager started over them.
    void startStackedSession() {
        // The screen must hold both from the start: it cannot grow.
        session =
            std::make_unique<X11TestSession>(std::vector<std::string>{"-screen", "0", "3840x2160x24"}, false);
        session->deleteMonitor(kSecondaryName);
        session->deleteMonitor(kPrimaryName);
        session->setMonitor(kTopName, kTopRoot, false);
        session->setMonitor(kMainName, kMainRoot, true);
        session->startWindowManager();
    }
    // A server whose screen holds WIDE-MAIN (the primary) with RIGHT beside it, the window manager started
    // over them.
    void startWideMainSession() { startMainBesideSession("4480x1440x24", kWideMainRoot, kRightRoot); }
    // The same with a main of 1024 × 768.
    void startNarrowMainSession() {
        startMainBesideSession("2944x1080x24", kNarrowMainRoot, kRightOfNarrowRoot);
    }
    void startMainBesideSession(const std::string& screen, const Rect& main, const Rect& right) {
        session = std::make_unique<X11TestSession>(std::vector<std::string>{"-screen", "0", screen}, false);
        session->deleteMonitor(kSecondaryName);
        session->deleteMonitor(kPrimaryName);
        session->setMonitor(kWideMainName, main, true);
        session->setMonitor(kRightName, right, false);
        session->startWindowManager();
    }
    // The active scene "Halves", laying out the main monitor and the one beside it of such a session in
    // two halves side by side.
    void writeHalvesScene() {
        const auto uuids = monitorsByName(session->display());
        WMScene scene;
        scene.id = "77777777-8888-4999-aaaa-bbbbbbbbbbbb";
        scene.name = "Halves";
        scene.layoutRefsByDisplay = {{uuids.at(kWideMainName), "builtin.split-50-50"},
                                     {uuids.at(kRightName), "builtin.split-50-50"}};
        writeActiveScene(home(), scene);
    }
    // The monitor holding the output unplugged and plugged again, each change handled by the program before
    // the next. In the stacked session MAIN comes after TOP in the list once more; unplugged, the server
    // lists the output's own monitor, over the whole screen, first.
    void unplugAndReplug(const std::string& name, const Rect& root) {
        for (const bool plug : {false, true}) {
            const std::size_t changes = count("[DisplayChange] handle end");
            if (plug)
                session->setMonitor(name, root, true);
            else
                session->deleteMonitor(name);
            ASSERT_TRUE(X11TestSession::waitFor([&] {
                return count("[DisplayChange] handle end") > changes;
            })) << logText();
        }
    }
    // A window on the desktop: with none at all the display pass waits for one to appear.
    void openXterm() {
        const pid_t pid = session->start({"xterm", "-geometry", "60x20+2000+100", "-e", "cat"});
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session->clientOf(pid).has_value(); }));
    }

    // An xterm that runs `cat`, once the window manager has taken it in.
    xcb_window_t xterm(const std::string& title, const std::string& geometry) {
        const pid_t pid = session->start({"xterm", "-title", title, "-geometry", geometry, "-e", "cat"});
        std::optional<xcb_window_t> window;
        EXPECT_TRUE(X11TestSession::waitFor([&] { return (window = session->clientOf(pid)).has_value(); }));
        return window.value_or(XCB_WINDOW_NONE);
    }
    // An xterm whose program writes every key it gets, as it gets it, into the file `record`; returned
    // once that program listens.
    xcb_window_t recordingXterm(const std::string& title, const std::string& geometry,
                                const fs::path& record) {
        const pid_t pid = session->start({"xterm", "-title", title, "-geometry", geometry, "-e", "sh", "-c",
                                          "stty -icanon; exec cat > \"$0\"", record.string()});
        std::optional<xcb_window_t> window;
        EXPECT_TRUE(X11TestSession::waitFor(
            [&] { return fs::exists(record) && (window = session->clientOf(pid)).has_value(); }));
        return window.value_or(XCB_WINDOW_NONE);
    }
    static std::string contents(const fs::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // An xterm as above that has taken the keyboard, as a new window does.
    xcb_window_t activeXterm(const std::string& title, const std::string& geometry) {
        const xcb_window_t window = xterm(title, geometry);
        EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == window; }));
        return window;
    }
    // Whether the window comes to fill the zone (root coordinates) as far as xterm's character cells
    // (6 × 13 pixels) let it: its left and bottom edges on the zone's, and less than a cell smaller.
    bool comesToFill(xcb_window_t window, const Rect& zone) {
        return X11TestSession::waitFor([&] {
            const Rect frame = session->frameOf(window);
            return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() &&
                   frame.width() <= zone.width() && frame.width() > zone.width() - 6 &&
                   frame.height() <= zone.height() && frame.height() > zone.height() - 13;
        });
    }
    // Ctrl+Alt+2 until the window comes into zone 2, the primary monitor's right half, up to its bottom
    // right corner: pressed again should a press go astray on a busy machine (a second one leaves the
    // window where it is).
    bool pushIntoPrimarysRightHalf(xcb_window_t window) {
        return X11TestSession::waitFor([&] {
            press({XK_Control_L, XK_Alt_L, XK_2});
            return X11TestSession::waitFor(
                [&] {
                    const Rect frame = session->frameOf(window);
                    return frame.maxX() == kPrimaryRoot.maxX() && frame.maxY() == kPrimaryRoot.maxY();
                },
                seconds(3));
        });
    }
    // A place taken by the pointer as a hand takes it, then a press and release there.
    void clickAt(int x, int y) {
        session->glidePointer(x, y, 10);
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
    }
    // The window manager's close button of a window: the title bar's last, as far in from the frame's
    // right edge as the title bar is high, halved (root coordinates).
    Point closeButtonOf(xcb_window_t window) {
        const Rect frame = session->frameOf(window);
        const Rect content = session->contentOf(window);
        const double titleBar = content.minY() - frame.minY();
        return Point{content.maxX() - titleBar / 2, frame.minY() + titleBar / 2};
    }
    // Whether the window manager holds the window minimised: iconic, and hidden as the desktop's task
    // lists read it.
    bool minimised(xcb_window_t window) {
        const auto states = session->atomNames(window, "_NET_WM_STATE");
        return session->wmState(window) == 3 &&
               std::find(states.begin(), states.end(), "_NET_WM_STATE_HIDDEN") != states.end();
    }
    bool focusByClick(xcb_window_t window) {
        const Rect frame = session->frameOf(window);
        session->click(static_cast<int>(frame.midX()), static_cast<int>(frame.midY()));
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    }
    // Whether the program's pushes of windows into zones come to number `pushes`, each ended: the window
    // moved, brought forward with the keyboard and recorded in its zone.
    bool pushesEnd(std::size_t pushes) {
        return X11TestSession::waitFor([&] { return count("[MappingTX] commit") >= pushes; });
    }
    // The window manager's close, as a title bar's button sends it: whether the window titled `title` has
    // gone within a second.
    bool goesAtTheFirstClose(xcb_window_t window, const std::string& title) {
        session->requestClose(window);
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(title); }, seconds(1));
    }
    // The keys held down together in this order, then let go.
    void press(std::vector<std::uint32_t> keysyms) {
        std::vector<xcb_keycode_t> keys;
        for (auto keysym : keysyms)
            keys.push_back(session->keycodeOf(keysym));
        session->pressKeys(keys);
    }
    // Ctrl+Alt+C: the scene card switcher's panel once it shows with the keyboard, else nothing.
    std::optional<xcb_window_t> openCardSwitcher() {
        press({XK_Control_L, XK_Alt_L, XK_c});
        std::optional<xcb_window_t> panel;
        if (!X11TestSession::waitFor([&] {
                panel = session->viewableWindowTitled("Scene Switcher");
                return panel && session->activeWindow() == *panel;
            }))
            return std::nullopt;
        return panel;
    }
    // Ctrl+Alt+C, then the digit of a card once the scene card switcher holds the keyboard, as a user
    // restores a scene. Whether the switcher came.
    bool restoreFromCardSwitcher(std::uint32_t digit = XK_1) {
        if (!openCardSwitcher()) return false;
        press({digit});
        return true;
    }
    // Ctrl+Alt+A, then the global switcher on screen with the keyboard.
    bool openSwitcher() {
        press({XK_Control_L, XK_Alt_L, XK_a});
        return X11TestSession::waitFor([&] {
            const auto panel = session->viewableWindowTitled(kGlobalSwitcherTitle);
            return panel && session->activeWindow() == *panel;
        });
    }

    // A control+option carry as a hand makes it, the program logging at debug level: Ctrl and Alt held
    // until the gesture is armed, the left button pressed at `from` (root) until the press is judged, the
    // pointer carried to `to` in small relative steps, then the button and the keys let go until the
    // gesture is over: a window the carry dropped has been moved by then. Whether each step was taken.
    bool carryWithControlAndAlt(Point from, Point to) {
        const xcb_keycode_t control = session->keycodeOf(XK_Control_L), alt = session->keycodeOf(XK_Alt_L);
        session->glidePointer(int(from.x), int(from.y), 20);
        const std::size_t armed = count("[SDP] armed at"), judged = count("[SDP] leftMouseDown: "),
                          ended = count("[SDP] returned to idle from");
        session->fakeInput(XCB_KEY_PRESS, control);
        session->fakeInput(XCB_KEY_PRESS, alt);
        bool taken = X11TestSession::waitFor([&] { return count("[SDP] armed at") > armed; });
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        taken = X11TestSession::waitFor([&] { return count("[SDP] leftMouseDown: ") > judged; }) && taken;
        session->glidePointer(int(to.x), int(to.y), 40);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
        session->fakeInput(XCB_KEY_RELEASE, alt);
        session->fakeInput(XCB_KEY_RELEASE, control);
        return X11TestSession::waitFor([&] { return count("[SDP] returned to idle from") > ended; }) && taken;
    }

    // Korvane started beside an xterm, then two xterms pushed into zone 2 of the main monitor and two into
    // zone 1 of the side monitor, each by its key while it had the keyboard: the zones that Ctrl+Alt+2
    // and Ctrl+Alt+X send a window of the main monitor to. The program's pid.
    pid_t startWithXtermsInPushZones(std::array<xcb_window_t, 4>& xterms) {
        startSession(true);
        openXterm();
        const pid_t korvane = startKorvane();
        EXPECT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
        EXPECT_TRUE(waitForLine("Scene Restore complete")) << logText();
        for (std::size_t i = 0; i < xterms.size(); ++i) {
            const bool main = i < 2;
            const std::string at = main ? "+2000+" : "+100+";
            xterms[i] =
                xterm("Zoned " + std::to_string(i), "40x8" + at + std::to_string(100 + 200 * (i % 2)));
            EXPECT_TRUE(focusByClick(xterms[i])) << i;
            const std::size_t pushes = count("[MappingTX] commit");
            press({XK_Control_L, XK_Alt_L, std::uint32_t(main ? XK_2 : XK_1)});
            EXPECT_TRUE(comesToFill(xterms[i], main ? kMainZone2 : kSideZone1)) << i;
            EXPECT_TRUE(pushesEnd(pushes + 1)) << i;
        }
        return korvane;
    }
    // The xterm raised above the others of its zone, which share its frame, and clicked, again should an
    // activation the program is still making take the keyboard back: whether it has the keyboard then.
    bool focusInZone(xcb_window_t window) {
        return X11TestSession::waitFor(
            [&] {
                session->raiseAlone(window);
                const Rect frame = session->frameOf(window);
                session->click(static_cast<int>(frame.midX()), static_cast<int>(frame.midY()));
                return X11TestSession::waitFor([&] { return session->activeWindow() == window; }, seconds(2));
            },
            seconds(20));
    }
    // Ctrl+Alt+2 and Ctrl+Alt+X pressed while one of Korvane's overlays shows on the main monitor with the
    // keyboard: the overlay keeps its frame and no window beneath it moves. `close` closes the overlay. In
    // each zone the keys would have sent a window to (see startWithXtermsInPushZones()), Alt+Tab then goes
    // between the zone's two xterms only, and nothing the program logs meanwhile is an error.
    void expectPushKeysLeaveTheOverlay(xcb_window_t overlay, const std::array<xcb_window_t, 4>& zoned,
                                       const std::function<void()>& close) {
        const Rect frame = session->frameOf(overlay);
        session->watchFrames(overlay);
        const std::size_t errors = errorLines().size();
        std::vector<Rect> zonedFrames;
        for (xcb_window_t window : zoned)
            zonedFrames.push_back(session->frameOf(window));
        for (const auto& step :
             {std::pair<std::uint32_t, const char*>{XK_2, "Push R2"}, {XK_x, "Push Display"}}) {
            const std::uint32_t key = step.first;
            const char* line = step.second;
            const std::size_t before = count(line);
            press({XK_Control_L, XK_Alt_L, key});
            EXPECT_TRUE(X11TestSession::waitFor([&] { return count(line) > before; })) << line << logText();
        }
        close();

        for (std::size_t first : {0u, 2u}) {
            const xcb_window_t one = zoned[first], other = zoned[first + 1];
            if (session->activeWindow() != one) {
                EXPECT_TRUE(focusInZone(one)) << first;
            }
            for (xcb_window_t next : {other, one}) {
                // Each press once the last one's activation has ended: one still asking would take the
                // keyboard back from a window clicked meanwhile.
                const auto cyclesEnded = [&] {
                    return count("dir=1] Completed successfully") + count("dir=1] Failed after");
                };
                const std::size_t ended = cyclesEnded();
                press({XK_Alt_L, XK_Tab});
                EXPECT_TRUE(X11TestSession::waitFor([&] {
                    return session->activeWindow() == next && cyclesEnded() > ended;
                })) << first
                    << " active " << session->activeWindow() << "\n"
                    << logText();
            }
        }
        for (const Rect& shown : session->framesShown())
            EXPECT_EQ(shown, frame) << platform::describe(shown);
        for (std::size_t i = 0; i < zoned.size(); ++i)
            EXPECT_EQ(session->frameOf(zoned[i]), zonedFrames[i]) << i;
        const auto lines = errorLines();
        for (std::size_t i = errors; i < lines.size(); ++i)
            ADD_FAILURE() << lines[i];
    }
    pid_t startTray() {
        // Along the top right of the screen, as a panel would hold it.
        const pid_t tray =
            session->start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                            "160", "--height", "32", "--SetDockType", "true", "--expand", "false"});
        EXPECT_TRUE(
            X11TestSession::waitFor([&] { return session->viewableWindowTitled("panel").has_value(); }));
        return tray;
    }
    // The program's icon in the tray: a small window of its own.
    std::optional<Rect> trayIcon(pid_t korvane) {
        for (const auto& [window, root] : windowsOfProcess(session->display(), korvane))
            if (root.width() >= 8 && root.width() <= 64 && root.height() <= 64 && root.minY() <= 32)
                return root;
        return std::nullopt;
    }
    // Whether a client holds the keyboard (an open menu does): read by trying to take it.
    bool keyboardGrabbed() {
        xcb_connection_t* conn = xcb_connect(session->display().c_str(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        auto* reply = xcb_grab_keyboard_reply(
            conn,
            xcb_grab_keyboard(conn, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool taken = !reply || reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        std::free(reply);
        xcb_disconnect(conn); // lets go of a grab it took
        return taken;
    }
    // Clicks the program's icon in the tray until its menu opens, then waits for the menu to show and
    // hold the keyboard: keys typed before then go to the window that has it.
    bool openTrayMenu(pid_t korvane) {
        std::optional<Rect> icon;
        if (!X11TestSession::waitFor([&] { return (icon = trayIcon(korvane)).has_value(); })) return false;
        const std::size_t menus = count("[StatusBar] Menu opened:");
        const std::size_t shown = windowsOfProcess(session->display(), korvane).size();
        // Clicks in the first moments after a change of the displays are refused; the start is one.
        // The keyboard is tried only once the menu shows: taken for a moment while the menu takes it, it
        // would be refused to the menu.
        return X11TestSession::waitFor(
                   [&] {
                       session->click(int(icon->midX()), int(icon->midY()));
                       return X11TestSession::waitFor(
                           [&] { return count("[StatusBar] Menu opened:") > menus; }, seconds(1));
                   },
                   seconds(15)) &&
               X11TestSession::waitFor(
                   [&] { return windowsOfProcess(session->display(), korvane).size() > shown; }) &&
               X11TestSession::waitFor([&] { return keyboardGrabbed(); });
    }

    // The program is pointed at a session bus that is not there: left to find one, the toolkit's bus
    // library forks a helper to start one, and under the address sanitizer a fork made while another
    // thread allocates can hang the child, and with it the program's start.
    // `extra` adds to or overrides the environment ("NAME=value").
    pid_t startKorvane(const std::vector<std::string>& extra = {}, const std::string& logLevel = "info") {
        return session->start({KORVANE_BINARY}, korvaneEnvironment(extra, logLevel), log().string());
    }
    std::vector<std::string> korvaneEnvironment(const std::vector<std::string>& extra = {},
                                                const std::string& logLevel = "info") const {
        std::vector<std::string> environment{
            "KORVANE_HOME=" + home().string(), "KORVANE_LOG_LEVEL=" + logLevel,
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (folder.path() / "no-bus").string(),
            std::string("LSAN_OPTIONS=suppressions=") + KORVANE_LSAN_SUPPRESSIONS};
        environment.insert(environment.end(), extra.begin(), extra.end());
        return environment;
    }
    fs::path home() const { return folder.path() / "support"; }
    fs::path log() const { return folder.path() / "korvane.log"; }
    std::string logText() const {
        std::ifstream in(log());
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // The default table with control+option+U bound to updating the active scene, which has no key of
    // its own by default.
    void bindUpdateKey() {
        HotkeyConfig config = HotkeyConfig::defaults(0);
        for (auto& binding : config.bindings)
            if (binding.action == "scene.update") binding = {"scene.update", "U", {"ctrl", "alt"}, true};
        fs::create_directories(home());
        std::ofstream(home() / HotkeyConfig::kFileName) << config.toJSON().dump();
    }
    bool logged(const std::string& line) const { return logText().find(line) != std::string::npos; }
    // The lines of the log at error level or above: each tells the user that something failed.
    std::vector<std::string> errorLines() const {
        std::vector<std::string> found;
        std::istringstream lines(logText());
        for (std::string line; std::getline(lines, line);)
            if (line.find(" error [") != std::string::npos || line.find(" fault [") != std::string::npos)
                found.push_back(line);
        return found;
    }
    // How many lines of the log hold `text`.
    std::size_t count(const std::string& text) const {
        std::istringstream lines(logText());
        std::size_t n = 0;
        for (std::string line; std::getline(lines, line);)
            if (line.find(text) != std::string::npos) ++n;
        return n;
    }
    bool waitForLine(const std::string& line, Nanos timeout = seconds(20)) {
        return X11TestSession::waitFor([&] { return logged(line); }, timeout);
    }
    nlohmann::json activeSceneFile() const {
        std::ifstream active(home() / "scenes/active-scene.json");
        const auto id = nlohmann::json::parse(active)["activeSceneID"].get<std::string>();
        std::ifstream scene(home() / ("scenes/scene-" + id + ".json"));
        return nlohmann::json::parse(scene);
    }
    // Where a picture of that name goes, its folder made.
    static std::string picture(const std::string& name) {
        fs::create_directories(KORVANE_SCREENSHOT_DIR);
        return std::string(KORVANE_SCREENSHOT_DIR) + "/" + name;
    }
    // The display UUIDs of the server's monitors, as the program names them.
    std::vector<std::string> monitorUUIDs() {
        std::string error;
        auto desktop = X11Desktop::connect(session->display(), error);
        EXPECT_TRUE(desktop) << error;
        std::vector<std::string> uuids;
        if (desktop)
            for (const auto& screen : desktop->screens().screens())
                uuids.push_back(DisplayUtil::displayUUID(screen));
        return uuids;
    }
    static std::string describe(std::optional<int> status) {
        if (!status) return "still running";
        if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
        if (WIFSIGNALED(*status)) return "signal " + std::to_string(WTERMSIG(*status));
        return "status " + std::to_string(*status);
    }

    std::unique_ptr<X11TestSession> session;
    korvane::testing::TempFolder folder;
};

} // namespace korvane::x11::test
