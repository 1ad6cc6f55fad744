// The push keys of the built `korvane` on a real X server, pressed through XTest: the focused xterm goes
// into the zone on its right, into zone 1 of the other monitor and into zone 2 there, as the X server shows
// its frame; a window in no zone gets a toast on its own monitor that takes neither the focus nor a place
// among the windows Korvane knows, and goes after its 0.9 s; a full-screen or maximised xterm pushed leaves
// that state for the zone; a key pressed right after a push is served at once, however long the window
// manager takes to answer the push, and a window clicked meanwhile keeps the keyboard; a push the window
// manager carries out late joins its zone; with the window manager gone, a push gives its move up at once;
// Alt+Tab goes past windows that take no keyboard focus without a stall, and past one that asks for the
// keyboard and never takes it without raising it after a later press, and brings a window kept below in
// front as it gives it the keyboard; reaching a window on another desktop holds no key up, and a switcher
// opened meanwhile stays in view; while a switcher shows the push keys move neither it nor a window beneath
// it. A window that went leaves its zone for good, whatever window the server later gives its id; one that
// cannot shrink to its zone stays on the zone's monitor; a maximised window pushed to the other monitor is
// framed inside the zone there. A picture of the toast is left under build/screenshots.
#include "ProgramOnX11.h"

#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/WindowServer.h"

#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <thread>

namespace korvane::x11::test {
namespace {

// A panel along the top of the side monitor: its 300 reserved pixels are in no zone of it.
constexpr std::uint32_t kPanelHeight = 300;

// A client window that asks for WM_TAKE_FOCUS, with WM_HINTS that leave the keyboard to it (input false),
// and never takes the focus: it reads none of the window manager's messages. On a connection of its own,
// as the test's process; its class is "stubborn".
class StubbornWindow {
  public:
    StubbornWindow(const std::string& display, const Rect& root)
        : conn_(xcb_connect(display.c_str(), nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        window_ = xcb_generate_id(conn_);
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window_, screen->root, std::int16_t(root.minX()),
                          std::int16_t(root.minY()), std::uint16_t(root.width()),
                          std::uint16_t(root.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          0, nullptr);
        const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                            1, &pid);
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, 18,
                            "stubborn\0Stubborn\0");
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 8,
                            "Stubborn");
        const std::array<xcb_atom_t, 2> protocols{atom("WM_TAKE_FOCUS"), atom("WM_DELETE_WINDOW")};
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32,
                            std::uint32_t(protocols.size()), protocols.data());
        // flags InputHint, input false, then what the hints leave unset
        const std::array<std::uint32_t, 9> hints{1, 0, 0, 0, 0, 0, 0, 0, 0};
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                            std::uint32_t(hints.size()), hints.data());
        xcb_map_window(conn_, window_);
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    ~StubbornWindow() { xcb_disconnect(conn_); }

    xcb_window_t window() const { return window_; }

  private:
    xcb_atom_t atom(const char* name) { return internAtom(conn_, name); }

    xcb_connection_t* conn_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
};

class PushKeysOnX11Test : public ProgramOnX11Test {
  protected:
    // Control+option and the key.
    void press(std::uint32_t keysym) {
        session->pressKeys(
            {session->keycodeOf(XK_Control_L), session->keycodeOf(XK_Alt_L), session->keycodeOf(keysym)});
    }
    // Whether the window comes to fill the zone (root coordinates) as far as xterm's character cells let
    // it: its left edge on the zone's, its bottom edge on the zone's, and less than a cell smaller.
    bool comesToFill(xcb_window_t window, const Rect& zone) {
        return X11TestSession::waitFor([&] {
            const Rect frame = session->frameOf(window);
            return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() &&
                   withinCell(frame.size, zone.size);
        });
    }
    // xterm resizes in steps of one character cell (6 × 13 pixels with the server's fixed font).
    static bool withinCell(Size actual, Size asked) {
        return actual.width <= asked.width && actual.width > asked.width - 6 &&
               actual.height <= asked.height && actual.height > asked.height - 13;
    }
    // The active scene gives zone 1 of the main monitor (its left half) to these applications, by their
    // classes.
    void zoneOneHolds(const std::vector<std::string>& applications) {
        const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
        WMScene scene = sceneOverBothMonitors(session->display(), "77777777-8888-4999-8aaa-dddddddddddd",
                                              "Zone one", "builtin.split-50-50", "builtin.split-50-50");
        for (const auto& application : applications)
            scene.windowHints[primary].push_back(WindowHint{application, 1, std::nullopt});
        writeActiveScene(home(), scene);
    }
    // Korvane started where each program is an application of its own by its class (no desktop
    // entries), once its start-up restore has put the windows into their zones.
    pid_t startKorvaneWithoutEntries() {
        const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                            "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
        EXPECT_TRUE(waitForLine("Scene Restore complete")) << logText();
        return korvane;
    }
    // Of the windows given, the one in front.
    xcb_window_t inFrontOf(const std::set<xcb_window_t>& windows) {
        xcb_window_t front = XCB_WINDOW_NONE;
        for (xcb_window_t client : session->stackingOrder()) // bottom to top
            if (windows.contains(client)) front = client;
        return front;
    }
    // The window raised, as a pager does, and clicked until it has the keyboard: a click that comes while
    // Korvane still brings another window forward loses to it.
    bool raiseAndClick(xcb_window_t window) {
        return X11TestSession::waitFor([&] {
            session->raiseAlone(window);
            const Rect frame = session->frameOf(window);
            session->click(static_cast<int>(frame.midX()), static_cast<int>(frame.midY()));
            return X11TestSession::waitFor([&] { return session->activeWindow() == window; }, seconds(1));
        });
    }
    // Asks the window manager to maximise the client across only, as a pager does.
    void maximizeAcross(xcb_window_t window) {
        xcb_connection_t* conn = xcb_connect(session->display().c_str(), nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = internAtom(conn, "_NET_WM_STATE");
        message.data.data32[0] = 1; // add
        message.data.data32[1] = internAtom(conn, "_NET_WM_STATE_MAXIMIZED_HORZ");
        message.data.data32[3] = 2; // from a pager
        xcb_send_event(conn, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
        xcb_disconnect(conn);
    }
    bool holdsState(xcb_window_t window, const std::string& state) {
        const auto states = session->atomNames(window, "_NET_WM_STATE");
        return std::find(states.begin(), states.end(), state) != states.end();
    }
    // The layer the window server's list gives the window, as Korvane reads the list; ordinary windows
    // are on layer 0.
    std::optional<std::int64_t> layerOf(xcb_window_t window) {
        std::string error;
        auto desktop = X11Desktop::connect(session->display(), error);
        if (!desktop) return std::nullopt;
        if (auto list = desktop->windowServer().copyWindowInfo(platform::kOnScreenOnly, 0))
            for (const auto& entry : *list)
                if (windowinfo::windowNumber(entry) == window)
                    return windowinfo::integerValue(entry, platform::WindowKey::layer);
        return std::nullopt;
    }
};

TEST_F(PushKeysOnX11Test, thePushKeysMoveTheFocusedXtermAndAWindowInNoZoneGetsAToastOnItsMonitor) {
    startSession(true);
    session->createDock(Rect{0, 0, 1920, 20}, {0, 0, kPanelHeight, 0, 0, 0, 0, 0, 0, 1919, 0, 0});
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary monitor's left half
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();

    // Each monitor has the two halves of its free area as zones 1 and 2. The primary (root 1920, 0,
    // 1920 × 1080, less the corner button's strip): the zone on the xterm's right is its right half.
    press(XK_w);
    EXPECT_TRUE(comesToFill(notes, kPrimaryRightHalf)) << platform::describe(session->frameOf(notes));
    // The other monitor (root 0, 0, 1920 × 900, the panel's 300 pixels off its top): zone 1 there, then
    // zone 2 of that monitor.
    press(XK_x);
    EXPECT_TRUE(comesToFill(notes, Rect(0, kPanelHeight, 960, 900 - kPanelHeight)))
        << platform::describe(session->frameOf(notes));
    press(XK_2);
    EXPECT_TRUE(comesToFill(notes, Rect(960, kPanelHeight, 960, 900 - kPanelHeight)))
        << platform::describe(session->frameOf(notes));
    EXPECT_EQ(count("Push Right: zone 1 -> 2 (zones=[1, 2])"), 1u) << logText();
    EXPECT_EQ(count("Push R2 on "), 1u);

    // Each push brings the xterm forward once it has moved, unless the next push took the window over
    // first, or left that to the next push; the three are done before another window opens.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return count("_NET_ACTIVE_WINDOW request returned") + count("superseded by a later move") +
                   count("bringing forward left to a later move") >=
               3;
    })) << logText();

    // Beside the panel, its middle above the side monitor's zones.
    const xcb_window_t strip = activeXterm("Strip", "60x20+100+0");
    const Rect stripBefore = session->frameOf(strip);
    ASSERT_LT(stripBefore.midY(), kPanelHeight) << platform::describe(stripBefore);
    press(XK_w);
    std::optional<xcb_window_t> toast;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (toast = session->viewableWindowTitled("Korvane Toast")).has_value(); }, seconds(3)))
        << logText();
    const Rect frame = session->frameOf(*toast);
    // Centred on the side monitor, its top 40 pixels below the panel.
    EXPECT_EQ(frame.minY(), kPanelHeight + 40) << platform::describe(frame);
    EXPECT_LE(std::abs(frame.midX() - 960), 1) << platform::describe(frame);
    EXPECT_EQ(session->activeWindow(), strip);
    // A notification (the type the window manager reads first) above the other windows, on every desktop
    // as this window manager records it: by the desktop number, as it keeps no sticky state and drops the
    // one asked for when it takes the window on.
    EXPECT_EQ(session->atomNames(*toast, "_NET_WM_WINDOW_TYPE").at(0), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
    const auto states = session->atomNames(*toast, "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end())
        << platform::describeList(states);
    EXPECT_EQ(session->desktopOf(*toast), 0xFFFFFFFFu);
    EXPECT_NE(layerOf(*toast).value_or(0), 0) << "listed among the ordinary windows";
    EXPECT_TRUE(session->saveScreenshot(Rect(0, 0, 1920, 900), picture("toast-program-x11.png")));

    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Korvane Toast"); }, seconds(3)));
    EXPECT_EQ(session->frameOf(strip), stripBefore);
    EXPECT_EQ(session->activeWindow(), strip);
    EXPECT_TRUE(logged("Push Right: window not in any zone"));
    // Korvane never took the toast for a window of its own to track, adopt or place.
    EXPECT_FALSE(logged("wid=" + std::to_string(*toast))) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// An xterm grows in whole character cells, so the frame it takes in a zone is short of the zone's. Each
// push places it at that frame, on the zone's bottom, in one move: the server announces no frame on its
// way there (such as the zone's top before the window is brought down onto the bottom), and none after it
// (as it would were the window set again). The first push starts from where the xterm opened; each later
// one from the xterm made small again where it stood, its top edge kept, which is where the next zone's
// frame for it begins.
TEST_F(PushKeysOnX11Test, eachResizingPushMovesTheXtermOnceToWhereItsCellsLetItFill) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "80x24+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();

    const Size small = session->frameOf(notes).size;
    // Push right, then to zones 1, 2 and 1.
    const std::pair<std::uint32_t, Rect> pushes[] = {{XK_w, kPrimaryRightHalf},
                                                     {XK_1, kPrimaryLeftHalf},
                                                     {XK_2, kPrimaryRightHalf},
                                                     {XK_1, kPrimaryLeftHalf}};
    for (const auto& [key, zone] : pushes) {
        SCOPED_TRACE(platform::describe(zone));
        const Rect start(session->frameOf(notes).origin, small);
        session->requestFrame(notes, start);
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(notes) == start; }))
            << platform::describe(session->frameOf(notes));

        session->watchFrames(notes);
        const std::size_t commits = count("[MappingTX] commit id=");
        press(key);
        EXPECT_TRUE(comesToFill(notes, zone)) << platform::describe(session->frameOf(notes));
        // Logged once the move, the check after it and the activation have all returned.
        ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[MappingTX] commit id=") > commits; }))
            << logText();
        const Rect placed = session->frameOf(notes);
        ASSERT_LT(placed.height(), zone.height()) << "the cells fill the zone exactly; nothing to check";

        // A raise announces the frame it leaves unchanged; only changes of place or size count.
        Rect last = start;
        std::string changes;
        for (const Rect& f : session->framesShown())
            if (f != last) changes += (changes.empty() ? "" : " ") + platform::describe(last = f);
        EXPECT_EQ(changes, platform::describe(placed));
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A full-screen xterm and one maximised through _NET_WM_STATE, each pushed: the push takes it out of that
// state and into the zone, as a tiling window manager does with a window sent to a tile.
TEST_F(PushKeysOnX11Test, aFullScreenOrMaximisedXtermPushedLeavesThatStateForTheZone) {
    startSession(true);
    const pid_t fullPid = session->start(
        {"xterm", "-fullscreen", "-title", "Full", "-geometry", "60x20+2000+100", "-e", "cat"});
    std::optional<xcb_window_t> full;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (full = session->clientOf(fullPid)).has_value(); }));
    const Rect primary(1920, 0, 1920, 1080);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->frameOf(*full) == primary && session->activeWindow() == *full;
    })) << platform::describe(session->frameOf(*full));
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const auto holds = [&](xcb_window_t window, const std::string& part) {
        const auto states = session->atomNames(window, "_NET_WM_STATE");
        return std::any_of(states.begin(), states.end(),
                           [&](const std::string& state) { return state.find(part) != std::string::npos; });
    };

    press(XK_2);
    EXPECT_TRUE(comesToFill(*full, kPrimaryRightHalf)) << platform::describe(session->frameOf(*full));
    EXPECT_FALSE(holds(*full, "FULLSCREEN"));
    // The push ends by bringing its window forward: a key pressed for the next window before then may
    // still reach this one.
    ASSERT_TRUE(pushesEnd(1)) << logText();

    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    session->maximize(notes);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return holds(notes, "MAXIMIZED"); }));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(notes).width() == primary.width(); }))
        << platform::describe(session->frameOf(notes));
    press(XK_1);
    EXPECT_TRUE(comesToFill(notes, kPrimaryLeftHalf)) << platform::describe(session->frameOf(notes));
    EXPECT_FALSE(holds(notes, "MAXIMIZED"));
    // Each push ends, committed or found stale: the display pass that the push's probe starts may end
    // before a push that waits for the window to leave full screen.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return count("[MappingTX] commit") + count("[MappingTX] stale") >= 2;
    })) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The global switcher and the scene card switcher are Korvane's own windows and hold the keyboard while
// they show. Ctrl+Alt+2 and Ctrl+Alt+X pressed then push nothing: the overlay keeps its frame, the xterm
// beneath it stays, and no zone takes the overlay in, so that Alt+Tab in the zones the keys point at
// afterwards goes between their xterms alone, without an error.
TEST_F(PushKeysOnX11Test, whileASwitcherShowsThePushKeysMoveNeitherItNorAWindowBeneathIt) {
    std::array<xcb_window_t, 4> zoned{};
    const pid_t korvane = startWithXtermsInPushZones(zoned);

    ASSERT_TRUE(focusInZone(zoned[0])) << logText();
    ASSERT_TRUE(openSwitcher()) << logText();
    const auto switcher = session->viewableWindowTitled(kGlobalSwitcherTitle);
    ASSERT_TRUE(switcher);
    expectPushKeysLeaveTheOverlay(*switcher, zoned, [&] {
        ProgramOnX11Test::press({XK_Escape});
        EXPECT_TRUE(
            X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kGlobalSwitcherTitle); }));
    });

    ASSERT_TRUE(focusInZone(zoned[0])) << logText();
    const auto cards = openCardSwitcher();
    ASSERT_TRUE(cards) << logText();
    expectPushKeysLeaveTheOverlay(*cards, zoned, [&] {
        ProgramOnX11Test::press({XK_Escape});
        EXPECT_TRUE(
            X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Scene Switcher"); }));
    });

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window manager killed under a running Korvane: its requests to move and raise a window go to
// nobody. The push gives the move up at once, as not possible without a window manager, instead of
// waiting out each request, and the xterm stays where it was.
TEST_F(PushKeysOnX11Test, aPushAfterTheWindowManagerDiedGivesTheMoveUpAtOnce) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering push.right key=W")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    press(XK_w);
    ASSERT_TRUE(comesToFill(notes, kPrimaryRightHalf)) << platform::describe(session->frameOf(notes));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[MappingTX] commit ") >= 1; })) << logText();

    session->killWindowManager();
    const Rect before = session->frameOf(notes);
    press(XK_q);
    // The frame is what a move asks the window manager for; answered "not possible", with no wait.
    EXPECT_TRUE(waitForLine("error [ax] moveResize request error=-25211 ")) << logText();
    EXPECT_EQ(session->frameOf(notes), before);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Zone 1 of the main monitor holds an xterm, xcalc, xclock, xeyes and xedit; the clock and the eyes take no
// keyboard focus. From the xterm, Alt+Tab and then Alt+Shift+Tab each give the keyboard to every window
// that takes it within five presses, and each press is answered at once: the window it goes to comes in
// front of the zone's others and, unless it takes no focus, has the keyboard.
TEST_F(PushKeysOnX11Test, altTabInEitherDirectionReachesEveryWindowOfTheZonePastOnesThatTakeNoFocus) {
    startSession(true);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), "77777777-8888-4999-8aaa-bbbbbbbbbbbb", "Tools",
                                          "builtin.split-50-50", "builtin.split-50-50");
    const std::vector<std::string> programs{"xcalc", "xclock", "xeyes", "xedit", "xterm"};
    for (const auto& program : programs)
        scene.windowHints[primary].push_back(WindowHint{program, 1, std::nullopt});
    writeActiveScene(home(), scene);
    // Opened in the right half; the xterm last, so that it has the keyboard. Only the xterm tells its
    // process, so each window is the client that its program adds to the list.
    std::map<std::string, xcb_window_t> window;
    for (const auto& program : programs) {
        const auto before = session->clientList();
        if (program == "xterm")
            session->start({"xterm", "-geometry", "60x20+3000+100", "-e", "cat"});
        else
            session->start({program, "-geometry", "+3000+200"});
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            for (xcb_window_t client : session->clientList())
                if (std::find(before.begin(), before.end(), client) == before.end()) window[program] = client;
            return window.contains(program);
        }));
    }
    const xcb_window_t xterm = window.at("xterm");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == xterm; }));
    // Without desktop entries each program is an application of its own by its class.
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    std::set<xcb_window_t> zone;
    for (const auto& entry : window) { // no structured binding: clang 14 lets no lambda capture one
        const xcb_window_t client = entry.second;
        EXPECT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << entry.first
            << " " << platform::describe(session->frameOf(client));
        zone.insert(client);
    }
    // The window manager may pass the keyboard around for a moment as the windows move into the zone.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == xterm; }))
        << session->activeWindow();

    const std::set<xcb_window_t> takesNoFocus{window.at("xclock"), window.at("xeyes")};
    auto inFront = [&] {
        xcb_window_t front = XCB_WINDOW_NONE;
        for (xcb_window_t client : session->stackingOrder()) // bottom to top
            if (zone.contains(client)) front = client;
        return front;
    };
    for (const std::vector<std::uint32_t>& keys :
         {std::vector<std::uint32_t>{XK_Alt_L, XK_Tab}, {XK_Alt_L, XK_Shift_L, XK_Tab}}) {
        std::set<xcb_window_t> reached;
        for (std::size_t press = 0; press < zone.size(); ++press) {
            const xcb_window_t before = inFront();
            const Nanos pressed = monotonic();
            ProgramOnX11Test::press(keys);
            xcb_window_t front = XCB_WINDOW_NONE;
            ASSERT_TRUE(X11TestSession::waitFor([&] {
                front = inFront();
                return front != before && (takesNoFocus.contains(front) || session->activeWindow() == front);
            })) << keys.size()
                << " " << press << "\n"
                << logText();
            // A window that takes the focus is activated in a tenth of a second; a slow machine is given
            // ten times as long, and a press held up by the last one's activation takes seconds.
            EXPECT_LT(monotonic() - pressed, seconds(2)) << keys.size() << " " << press;
            reached.insert(session->activeWindow());
        }
        EXPECT_EQ(reached, (std::set<xcb_window_t>{xterm, window.at("xcalc"), window.at("xedit")}))
            << keys.size() << "\n"
            << logText();
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Zone 1 of the main monitor holds two xterms and a window that asks for the keyboard (WM_TAKE_FOCUS) and
// never takes it, whose activation attempts outlast the 1.5 s between six Alt+Tab presses. Each press
// ends the attempts of the one before: once it has settled, the zone's window in front is the one with
// the keyboard, or the stubborn window it went to with the keyboard left where it was, and nothing comes
// in front of it until the next press. The keyboard reaches both xterms.
TEST_F(PushKeysOnX11Test, altTabPastAWindowThatNeverTakesTheFocusItAsksForLeavesTheKeyboardWindowInFront) {
    startSession(true);
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    WMScene scene = sceneOverBothMonitors(session->display(), "77777777-8888-4999-8aaa-cccccccccccc",
                                          "Stubborn", "builtin.split-50-50", "builtin.split-50-50");
    for (const char* application : {"stubborn", "xterm", "xterm"})
        scene.windowHints[primary].push_back(WindowHint{application, 1, std::nullopt});
    writeActiveScene(home(), scene);
    const StubbornWindow stubborn(session->display(), Rect(3000, 200, 400, 300));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(stubborn.window()); }));
    const xcb_window_t first = activeXterm("First", "60x20+3000+100");
    const xcb_window_t second = activeXterm("Second", "60x20+3100+150");
    // Without desktop entries each program is an application of its own by its class.
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "none").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const std::set<xcb_window_t> zone{stubborn.window(), first, second};
    for (xcb_window_t client : zone)
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    auto inFront = [&] {
        xcb_window_t front = XCB_WINDOW_NONE;
        for (xcb_window_t client : session->stackingOrder()) // bottom to top
            if (zone.contains(client)) front = client;
        return front;
    };

    // The restore's last activation is asked for, not waited for: the keyboard is with the terminal in
    // front before the first press.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const xcb_window_t keyboard = session->activeWindow();
        return (keyboard == first || keyboard == second) && keyboard == inFront();
    })) << logText();

    std::set<xcb_window_t> reached;
    auto next = std::chrono::steady_clock::now();
    for (int press = 0; press < 6; ++press) {
        std::this_thread::sleep_until(next);
        next += std::chrono::milliseconds(1500);
        const xcb_window_t frontBefore = inFront();
        const xcb_window_t keyboardBefore = session->activeWindow();
        const Nanos pressed = monotonic();
        ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
        xcb_window_t front = XCB_WINDOW_NONE;
        xcb_window_t keyboard = XCB_WINDOW_NONE;
        const auto settled = [&] {
            front = inFront();
            keyboard = session->activeWindow();
            return front != frontBefore &&
                   (front == keyboard || (front == stubborn.window() && keyboard == keyboardBefore));
        };
        ASSERT_TRUE(X11TestSession::waitFor(settled, seconds(15)))
            << press << " front " << front << " keyboard " << keyboard << " before " << frontBefore << "/"
            << keyboardBefore << "\n"
            << logText();
        // An xterm is activated in a tenth of a second once its press is served, which an attempt on the
        // stubborn window under way holds up by up to two seconds; a press that waits for all of the
        // attempts of the one before takes longer.
        EXPECT_LT(monotonic() - pressed, seconds(3)) << press;
        reached.insert(keyboard);
        std::this_thread::sleep_until(next);
        EXPECT_EQ(inFront(), front) << press;
        EXPECT_EQ(session->activeWindow(), keyboard) << press;
    }
    EXPECT_EQ(reached, (std::set<xcb_window_t>{first, second}));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Zone 1 of the main monitor holds an xterm with the keyboard and a window that asks for the keyboard and
// never takes it. Alt+Tab brings that window in front, its activation waiting in vain for the focus; a
// Ctrl+Alt+2 pressed at once is served at once: the xterm, which kept the keyboard, is in zone 2 within
// half a second of the press, and has the keyboard.
TEST_F(PushKeysOnX11Test, aPushPressedRightAfterAltTabOntoAWindowThatNeverTakesTheFocusIsServedAtOnce) {
    startSession(true);
    zoneOneHolds({"stubborn", "xterm"});
    const StubbornWindow stubborn(session->display(), Rect(3000, 200, 400, 300));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(stubborn.window()); }));
    const xcb_window_t notes = activeXterm("Notes", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    for (xcb_window_t client : {stubborn.window(), notes})
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; }));

    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return inFrontOf({stubborn.window(), notes}) == stubborn.window();
    })) << logText();
    const Nanos pressed = monotonic();
    press(XK_2);
    ASSERT_TRUE(comesToFill(notes, kPrimaryRightHalf)) << platform::describe(session->frameOf(notes));
    EXPECT_LT(monotonic() - pressed, milliseconds(500));
    EXPECT_EQ(session->activeWindow(), notes);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A zone of one xterm and one window that asks for the keyboard and never takes it: each Alt+Tab brings
// the other of the two to the front, and the xterm, in front or behind, keeps the keyboard.
TEST_F(PushKeysOnX11Test, altTabAlternatesBetweenAnXtermAndAWindowThatNeverTakesTheFocus) {
    startSession(true);
    zoneOneHolds({"stubborn", "xterm"});
    const StubbornWindow stubborn(session->display(), Rect(3000, 200, 400, 300));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(stubborn.window()); }));
    const xcb_window_t notes = activeXterm("Notes", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    const std::set<xcb_window_t> zone{stubborn.window(), notes};
    for (xcb_window_t client : zone)
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; }));

    for (int press = 0; press < 6; ++press) {
        const xcb_window_t before = inFrontOf(zone);
        ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
        ASSERT_TRUE(X11TestSession::waitFor([&] { return inFrontOf(zone) != before; }, seconds(5)))
            << press << "\n"
            << logText();
        EXPECT_EQ(session->activeWindow(), notes) << press;
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Zone 1 of the main monitor holds an xterm with the keyboard, a clock, which takes no keyboard focus, and
// a dialog of a fixed size; an xterm of another class lies in zone 1 of the side monitor. Each Alt+Tab
// brings another window of zone 1 to the front, and the keyboard never leaves zone 1: the clock in front
// leaves it where it was, and the next press goes on within zone 1.
TEST_F(PushKeysOnX11Test, altTabPastAClockBesideADialogKeepsTheKeyboardInTheZone) {
    startSession(true);
    const auto uuids = monitorsByName(session->display());
    WMScene scene = sceneOverBothMonitors(session->display(), "77777777-8888-4999-8aaa-eeeeeeeeeeee", "Clock",
                                          "builtin.split-50-50", "builtin.split-50-50");
    for (const char* application : {"xterm", "xclock", "dialog"})
        scene.windowHints[uuids.at(kPrimaryName)].push_back(WindowHint{application, 1, std::nullopt});
    scene.windowHints[uuids.at(kSecondaryName)].push_back(WindowHint{"other", 1, std::nullopt});
    writeActiveScene(home(), scene);
    const pid_t otherPid =
        session->start({"xterm", "-name", "other", "-geometry", "60x20+100+100", "-e", "cat"});
    std::optional<xcb_window_t> other;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (other = session->clientOf(otherPid)).has_value(); }));
    const xcb_window_t dialog = session->createDialog(Rect(3000, 300, 300, 200), "Dialog", true);
    session->setClass(dialog, "dialog", "Dialog");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(dialog); }));
    const auto before = session->clientList();
    session->start({"xclock", "-geometry", "+3000+200"});
    std::optional<xcb_window_t> clock;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        for (xcb_window_t client : session->clientList())
            if (std::find(before.begin(), before.end(), client) == before.end()) clock = client;
        return clock.has_value();
    }));
    const xcb_window_t notes = activeXterm("Notes", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    const std::set<xcb_window_t> zone{notes, *clock, dialog};
    for (xcb_window_t client : zone)
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return within(session->frameOf(*other), kSecondaryRoot); }));
    ASSERT_TRUE(raiseAndClick(notes));

    std::set<xcb_window_t> fronts;
    for (int press = 0; press < 6; ++press) {
        const xcb_window_t frontBefore = inFrontOf(zone);
        ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
        ASSERT_TRUE(X11TestSession::waitFor([&] { return inFrontOf(zone) != frontBefore; }, seconds(5)))
            << press << "\n"
            << logText();
        fronts.insert(inFrontOf(zone));
        // Watched for as long as the window manager takes to hand the keyboard on.
        const Nanos until = monotonic() + milliseconds(500);
        while (monotonic() < until) {
            const xcb_window_t keyboard = session->activeWindow();
            ASSERT_TRUE(keyboard == XCB_WINDOW_NONE || zone.contains(keyboard)) << press << "\n" << logText();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(zone.contains(session->activeWindow())) << press;
    }
    EXPECT_EQ(fronts, zone);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Three xterms, of the one application their desktop entry names: A and B pushed into zone 1 of the main
// monitor, C into zone 2. B is sent to a second desktop and Alt+Tab from A goes towards it. For 20 s the
// keyboard goes to no xterm but A, which had it, and B, which was asked for; then the user goes back to
// the first desktop, clicks C and pushes it into zone 1, where it keeps the keyboard in front of A. The
// application is not recorded as one needing the slow strategy.
TEST_F(PushKeysOnX11Test, anActivationThatDoesNotTakeGivesTheKeyboardToNoOtherWindowOfTheApplication) {
    startSession(true);
    session->setDesktopCount(2);
    const xcb_window_t a = xterm("A", "60x20+2000+100");
    const xcb_window_t b = xterm("B", "60x20+2100+150");
    const xcb_window_t c = xterm("C", "60x20+2200+200");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    std::size_t pushes = 0;
    for (const auto& [window, key] :
         {std::pair<xcb_window_t, std::uint32_t>{a, XK_1}, {b, XK_1}, {c, XK_2}}) {
        ASSERT_TRUE(raiseAndClick(window));
        press(key);
        ASSERT_TRUE(comesToFill(window, key == XK_1 ? kPrimaryLeftHalf : kPrimaryRightHalf)) << logText();
        // The push brings its window forward; a click elsewhere before it ends would lose to it.
        ASSERT_TRUE(pushesEnd(++pushes)) << logText();
    }
    ASSERT_TRUE(raiseAndClick(a));
    session->sendToDesktop(b, 1);

    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    ASSERT_TRUE(waitForLine("Cycle region=1 dir=1")) << logText();
    std::set<xcb_window_t> keyboard;
    const Nanos until = monotonic() + seconds(20);
    while (monotonic() < until) {
        keyboard.insert(session->activeWindow());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(keyboard.contains(c)) << logText();
    keyboard.erase(a);
    keyboard.erase(b);
    keyboard.erase(XCB_WINDOW_NONE);
    EXPECT_TRUE(keyboard.empty()) << logText();

    if (session->currentDesktop() != 0) session->showDesktop(0);
    ASSERT_TRUE(raiseAndClick(c));
    press(XK_1);
    ASSERT_TRUE(comesToFill(c, kPrimaryLeftHalf));
    ASSERT_TRUE(pushesEnd(++pushes)) << logText();
    const Nanos watched = monotonic() + seconds(3);
    while (monotonic() < watched) {
        ASSERT_EQ(session->activeWindow(), c) << logText();
        ASSERT_EQ(inFrontOf({a, c}), c);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(fs::exists(home() / "focus-whitelist-runtime.json"));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Two desktops. Zone 1 of the main monitor holds xterms A and B, and an xterm of another name lies in
// no zone; a calculator lies on the second desktop, and B is sent there. Alt+Tab from A brings B forward as
// a pager would: the second desktop shows and B has the keyboard. Back on the first desktop, the switcher's
// tile of the calculator, an application only on the second desktop, does the same for it. The keyboard
// goes to no third window on the way.
TEST_F(PushKeysOnX11Test, windowsOnADesktopNotShownAreBroughtForwardWithTheirDesktop) {
    startSession(true);
    session->setDesktopCount(2);
    zoneOneHolds({"xterm", "xterm"});
    const xcb_window_t a = xterm("A", "60x20+2000+100");
    const xcb_window_t b = xterm("B", "60x20+2100+150");
    const pid_t thirdPid =
        session->start({"xterm", "-name", "third", "-geometry", "60x20+3000+100", "-e", "cat"});
    std::optional<xcb_window_t> third, calc;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (third = session->clientOf(thirdPid)).has_value(); }));
    session->start({"xcalc", "-geometry", "+3000+500"});
    // xcalc does not name its process on its window; it is known by its title.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        calc = session->viewableWindowTitled("Calculator");
        return calc && session->isClient(*calc);
    }));
    session->sendToDesktop(*calc, 1);
    const pid_t korvane = startKorvaneWithoutEntries();
    for (xcb_window_t client : {a, b})
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(raiseAndClick(a));
    session->sendToDesktop(b, 1);

    std::set<xcb_window_t> keyboard;
    const auto comesForward = [&](xcb_window_t window) {
        return X11TestSession::waitFor([&] {
            keyboard.insert(session->activeWindow());
            return session->currentDesktop() == 1 && session->activeWindow() == window;
        });
    };
    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    EXPECT_TRUE(comesForward(b)) << logText();
    // The activation checks and may ask again; a desktop shown before it ends would be taken back.
    ASSERT_TRUE(waitForLine("[AsyncActivation:Cycle rid=1 dir=1] Completed successfully")) << logText();

    session->showDesktop(0);
    // The window manager shows the desktop before it has taken B, over A's place, off the screen: a click
    // on B then would bring B's desktop back.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("B"); }));
    ASSERT_TRUE(raiseAndClick(a)) << session->currentDesktop() << " " << session->activeWindow() << "\n"
                                  << logText();
    press(XK_a);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto panel = session->viewableWindowTitled("Global Switcher");
        return panel && session->activeWindow() == *panel;
    })) << logText();
    // The calculator's name against the terminals': "xc".
    ProgramOnX11Test::press({XK_x});
    ProgramOnX11Test::press({XK_c});
    EXPECT_TRUE(comesForward(*calc)) << logText();
    EXPECT_FALSE(keyboard.contains(*third));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Two desktops. Zone 1 of the main monitor holds xterms A and B, B on the second desktop, each writing
// what it is typed into a record of its own. Alt+Tab from A and at once Ctrl+Alt+A: the switcher shows
// within 0.1 s of its key, with the keyboard, and stays in view with it whichever desktop shows, the
// activation on its way taking neither the keyboard nor the view from it, until Escape. Alt+Tab from A
// again: the second desktop shows with B having the keyboard within half a second, as a user starts
// typing, and what is typed then reaches B alone.
TEST_F(PushKeysOnX11Test,
       reachingAWindowOnAnotherDesktopHoldsNoKeyUpAndTheSwitcherOpenedMeanwhileStaysInView) {
    startSession(true);
    session->setDesktopCount(2);
    zoneOneHolds({"xterm", "xterm"});
    const fs::path recordA = folder.path() / "a.keys", recordB = folder.path() / "b.keys";
    const xcb_window_t a = recordingXterm("A", "60x20+2000+100", recordA);
    const xcb_window_t b = recordingXterm("B", "60x20+2100+150", recordB);
    const pid_t korvane = startKorvaneWithoutEntries();
    for (xcb_window_t client : {a, b})
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(raiseAndClick(a));
    // The switcher's first opening builds it; the openings timed here show what was built.
    ASSERT_TRUE(openSwitcher()) << logText();
    ProgramOnX11Test::press({XK_Escape});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return !session->viewableWindowTitled(kGlobalSwitcherTitle) && session->activeWindow() == a;
    })) << logText();
    session->sendToDesktop(b, 1);

    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    const Nanos asked = monotonic();
    ProgramOnX11Test::press({XK_Control_L, XK_Alt_L, XK_a});
    std::optional<xcb_window_t> panel;
    const auto switcherHasTheKeyboard = [&] {
        panel = session->viewableWindowTitled(kGlobalSwitcherTitle);
        return panel && session->activeWindow() == *panel;
    };
    ASSERT_TRUE(X11TestSession::waitFor(switcherHasTheKeyboard)) << logText();
    EXPECT_LT(monotonic() - asked, milliseconds(100)) << logText();
    // Longer than the crossing took when it held the program up.
    const Nanos watched = monotonic() + milliseconds(1500);
    while (monotonic() < watched) {
        ASSERT_TRUE(switcherHasTheKeyboard()) << "desktop " << session->currentDesktop() << "\n" << logText();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ProgramOnX11Test::press({XK_Escape});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kGlobalSwitcherTitle); }))
        << logText();

    session->showDesktop(0);
    // B, over A's place, off the screen first: a click on it would bring its desktop back.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("B"); }));
    ASSERT_TRUE(raiseAndClick(a)) << logText();
    const Nanos pressed = monotonic();
    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->currentDesktop() == 1 && session->activeWindow() == b;
    })) << logText();
    EXPECT_LT(monotonic() - pressed, milliseconds(500)) << logText();
    for (const std::uint32_t letter : {XK_t, XK_y, XK_p, XK_e, XK_d})
        ProgramOnX11Test::press({letter});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(recordB) == "typed"; })) << contents(recordB);
    EXPECT_EQ(contents(recordA), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Two desktops. Zone 1 of the main monitor holds an xterm with the keyboard and a clock, which takes no
// keyboard focus, on the second desktop. Alt+Tab brings the clock forward as a pager would: its desktop
// shows, and stays shown, the keyboard not being taken back to the xterm on the desktop left.
TEST_F(PushKeysOnX11Test, altTabOntoAClockOnAnotherDesktopShowsItsDesktop) {
    startSession(true);
    session->setDesktopCount(2);
    zoneOneHolds({"xterm", "xclock"});
    const auto before = session->clientList();
    session->start({"xclock", "-geometry", "+3000+200"});
    std::optional<xcb_window_t> clock;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        for (xcb_window_t client : session->clientList())
            if (std::find(before.begin(), before.end(), client) == before.end()) clock = client;
        return clock.has_value();
    }));
    const xcb_window_t notes = activeXterm("Notes", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    for (xcb_window_t client : {notes, *clock})
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(raiseAndClick(notes));
    session->sendToDesktop(*clock, 1);

    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->currentDesktop() == 1; })) << logText();
    ASSERT_TRUE(waitForLine("Raised a window that takes no keyboard focus with its desktop")) << logText();
    // As long as the window manager takes to hand the keyboard on, and more.
    const Nanos watched = monotonic() + seconds(1);
    while (monotonic() < watched) {
        ASSERT_EQ(session->currentDesktop(), 1u) << logText();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(session->activeWindow(), notes);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Zone 1 of the main monitor holds three xterms, the keyboard with the first; the last is kept below the
// others. Each Alt+Tab gives the keyboard to another of them, and the window with the keyboard is the
// one in front of the zone: the one kept below comes out from behind the others as it gets it.
TEST_F(PushKeysOnX11Test, altTabOntoAWindowKeptBelowBringsItInFrontWithTheKeyboard) {
    startSession(true);
    zoneOneHolds({"xterm", "xterm", "xterm"});
    const xcb_window_t below = activeXterm("Below", "60x20+3000+300");
    session->keepBelow(below);
    const xcb_window_t second = activeXterm("Second", "60x20+3100+150");
    const xcb_window_t first = activeXterm("First", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    const std::set<xcb_window_t> zone{first, second, below};
    for (xcb_window_t client : zone)
        ASSERT_TRUE(X11TestSession::waitFor([&] {
            return within(session->frameOf(client), kPrimaryLeftHalf);
        })) << platform::describe(session->frameOf(client));
    ASSERT_TRUE(raiseAndClick(first));

    std::set<xcb_window_t> reached;
    for (std::size_t press = 0; press < zone.size(); ++press) {
        const xcb_window_t keyboardBefore = session->activeWindow();
        ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
        xcb_window_t keyboard = XCB_WINDOW_NONE, front = XCB_WINDOW_NONE;
        EXPECT_TRUE(X11TestSession::waitFor(
            [&] {
                keyboard = session->activeWindow();
                front = inFrontOf(zone);
                return keyboard != keyboardBefore && zone.contains(keyboard) && front == keyboard;
            },
            seconds(10)))
            << press << " keyboard " << keyboard << " front " << front << " below " << below << "\n"
            << logText();
        reached.insert(keyboard);
    }
    EXPECT_TRUE(reached.contains(below));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Ctrl+Alt+A pressed right after a push is served at once, however long the window manager takes to
// answer the push: after a push of a maximised xterm the global switcher shows within half a second (its
// first opening, which builds it, comes before); and with the window manager stopped, so that the push is
// never answered, the switcher is asked to show within half a second of its key and shows once the window
// manager goes on.
TEST_F(PushKeysOnX11Test, theSwitcherKeyPressedRightAfterAPushIsServedAtOnce) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering push.right key=W")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const auto switcherShows = [&] {
        return X11TestSession::waitFor(
            [&] { return session->viewableWindowTitled("Global Switcher").has_value(); }, seconds(10));
    };
    const auto closeSwitcher = [&] {
        ProgramOnX11Test::press({XK_Escape});
        return X11TestSession::waitFor([&] {
            return !session->viewableWindowTitled("Global Switcher") && session->activeWindow() == notes;
        });
    };
    ProgramOnX11Test::press({XK_Control_L, XK_Alt_L, XK_a});
    ASSERT_TRUE(switcherShows()) << logText();
    ASSERT_TRUE(closeSwitcher()) << logText();

    session->maximize(notes);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->frameOf(notes).width() == kPrimaryRoot.width();
    })) << platform::describe(session->frameOf(notes));
    press(XK_1);
    Nanos asked = monotonic();
    ProgramOnX11Test::press({XK_Control_L, XK_Alt_L, XK_a});
    ASSERT_TRUE(switcherShows()) << logText();
    EXPECT_LT(monotonic() - asked, milliseconds(500));
    ASSERT_TRUE(closeSwitcher()) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return count("[MappingTX] commit") + count("[MappingTX] move failed") >= 1;
    })) << logText();

    session->pauseWindowManager(true);
    const std::size_t shown = count("Showing Global Switcher");
    press(XK_2);
    asked = monotonic();
    ProgramOnX11Test::press({XK_Control_L, XK_Alt_L, XK_a});
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return count("Showing Global Switcher") > shown; }, seconds(10)))
        << logText();
    EXPECT_LT(monotonic() - asked, milliseconds(500));
    session->pauseWindowManager(false);
    EXPECT_TRUE(switcherShows()) << logText();
    EXPECT_TRUE(closeSwitcher()) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// With the window manager stopped for half a second, Ctrl+Alt+2 pushes the xterm with the keyboard and
// another xterm is clicked before the window manager goes on: the push moves its xterm into the zone, and
// the clicked xterm keeps the keyboard.
TEST_F(PushKeysOnX11Test, anXtermClickedWhileAPushWaitsForTheWindowManagerKeepsTheKeyboard) {
    startSession(true);
    const xcb_window_t clicked = activeXterm("Clicked", "60x20+2100+500");
    const xcb_window_t pushed = activeXterm("Pushed", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == pushed; }));

    session->pauseWindowManager(true);
    press(XK_2);
    ASSERT_TRUE(waitForLine("Push R2 on ")) << logText();
    const Rect frame = session->frameOf(clicked);
    session->click(static_cast<int>(frame.midX()), static_cast<int>(frame.midY()));
    // The stall is what the user waits through here, not a condition to wait for.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session->pauseWindowManager(false);

    EXPECT_TRUE(comesToFill(pushed, kPrimaryRightHalf)) << platform::describe(session->frameOf(pushed));
    // The push has ended once it has brought its xterm forward, or left that.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return count("AutoPush rid=2: _NET_ACTIVE_WINDOW request returned") +
                   count("AutoPush rid=2: the keyboard went") >
               0;
    })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == clicked; }))
        << session->activeWindow() << logText();
    // Nothing takes it back once the push has ended.
    EXPECT_FALSE(X11TestSession::waitFor([&] { return session->activeWindow() != clicked; }, seconds(2)))
        << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// With the window manager stopped until Ctrl+Alt+2 has been judged refused, the window manager carries
// the push out late: the xterm joins zone 2 as it lands there, and Alt+Tab from the xterm that was in
// zone 2 reaches it.
TEST_F(PushKeysOnX11Test, anXtermTheWindowManagerMovesLateJoinsTheZoneAndAltTabThereReachesIt) {
    startSession(true);
    const xcb_window_t late = activeXterm("Late", "60x20+2000+100");
    const xcb_window_t stay = activeXterm("Stay", "60x20+2600+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(pushIntoPrimarysRightHalf(stay)) << logText();
    ASSERT_TRUE(pushesEnd(1)) << logText();
    ASSERT_TRUE(focusByClick(late));

    session->pauseWindowManager(true);
    press(XK_2);
    const bool judged = waitForLine("AutoPush rid=2: window left outside R2");
    session->pauseWindowManager(false);
    ASSERT_TRUE(judged) << logText();
    EXPECT_TRUE(comesToFill(late, kPrimaryRightHalf)) << platform::describe(session->frameOf(late));
    EXPECT_TRUE(waitForLine("AutoPush rid=2: window reached R2 late")) << logText();

    ASSERT_TRUE(raiseAndClick(stay));
    ProgramOnX11Test::press({XK_Alt_L, XK_Tab});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == late; }))
        << session->activeWindow() << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A client of the test's own on a connection of its own, whose one window, of the test's process and of
// class "owned", takes the first id the server handed the connection (known before the window is made).
class OwnClient {
  public:
    explicit OwnClient(const std::string& display)
        : conn_(xcb_connect(display.c_str(), nullptr)), id_(xcb_generate_id(conn_)) {}
    ~OwnClient() { end(); }
    OwnClient(const OwnClient&) = delete;
    OwnClient& operator=(const OwnClient&) = delete;

    xcb_window_t id() const { return id_; }
    // Mapped where it asks to be (its position and size given as the user's), no smaller than `minimum`
    // when given.
    void open(const Rect& root, const std::string& title, std::optional<Size> minimum = std::nullopt) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, id_, screen->root, std::int16_t(root.minX()),
                          std::int16_t(root.minY()), std::uint16_t(root.width()),
                          std::uint16_t(root.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          0, nullptr);
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, id_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            std::uint32_t(title.size()), title.data());
        const char className[] = "owned\0Owned";
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, id_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof className, className);
        const auto pid = static_cast<std::uint32_t>(::getpid());
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, id_, internAtom(conn_, "_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
        // WM_NORMAL_HINTS: USPosition | USSize, then the place and size; PMinSize and the minimum.
        std::array<std::uint32_t, 18> hints{};
        hints[0] = 1 | 2;
        hints[1] = std::uint32_t(root.minX());
        hints[2] = std::uint32_t(root.minY());
        hints[3] = std::uint32_t(root.width());
        hints[4] = std::uint32_t(root.height());
        if (minimum) {
            hints[0] |= 16;
            hints[5] = std::uint32_t(minimum->width);
            hints[6] = std::uint32_t(minimum->height);
        }
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, id_, XCB_ATOM_WM_NORMAL_HINTS,
                            XCB_ATOM_WM_SIZE_HINTS, 32, std::uint32_t(hints.size()), hints.data());
        xcb_map_window(conn_, id_);
        xcb_flush(conn_);
    }
    // The client goes, and its window with it.
    void end() {
        if (conn_) xcb_disconnect(conn_);
        conn_ = nullptr;
    }

  private:
    xcb_connection_t* conn_;
    xcb_window_t id_;
};

// A window of a client of the test's own pushed into zone 2 over an xterm; the client goes, and a client
// let in after it is handed the same id for a window of its own (the server gives a departed client's ids
// to the next one), of the same process. Ctrl+Alt+Shift+W from the left zone then brings the xterm of zone
// 2 forward: the window that went left its zone, and the one given its id is another, in no zone.
TEST_F(PushKeysOnX11Test, aWindowThatWentLeavesItsZoneWhicheverWindowTheServerGivesItsIdLater) {
    startSession(true);
    const xcb_window_t left = activeXterm("Left", "60x20+2000+100"); // in the primary's left half
    const xcb_window_t stay = activeXterm("Stay", "60x20+2600+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(pushIntoPrimarysRightHalf(stay)) << logText();
    ASSERT_TRUE(pushesEnd(1)) << logText();

    auto closing = std::make_unique<OwnClient>(session->display());
    const xcb_window_t gone = closing->id();
    closing->open(Rect{2000, 600, 400, 300}, "Closing");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(gone); }));
    ASSERT_TRUE(focusByClick(gone));
    ASSERT_TRUE(pushIntoPrimarysRightHalf(gone)) << logText();
    ASSERT_TRUE(pushesEnd(2)) << logText();
    closing->end();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->isClient(gone); }));

    // Clients let in one after another, each kept, until one is handed the id.
    std::vector<std::unique_ptr<OwnClient>> clients;
    while (clients.size() < 64 && (clients.empty() || clients.back()->id() != gone))
        clients.push_back(std::make_unique<OwnClient>(session->display()));
    ASSERT_EQ(clients.back()->id(), gone);
    clients.back()->open(Rect{2000, 600, 400, 300}, "Later");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(gone); }));
    // A user's next key comes later than the moment in which the program takes in a window's end: here
    // the key waits for the program's word that the zone let go of the window.
    EXPECT_TRUE(waitForLine("[Tracker] Ended window wid=" + std::to_string(gone) + " left zone 2"))
        << logText();

    ASSERT_TRUE(focusByClick(left));
    ProgramOnX11Test::press({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_w});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == stay; }))
        << session->activeWindow() << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A client that cannot be made smaller than 1500 × 1000, larger than every zone, pushed into each zone of
// both monitors in turn: its frame stays on the zone's monitor, never past its edges nor onto the other
// monitor, on the zone's left edge where it fits there and on the zone's right edge, the monitor's, where
// it does not; on the side monitor, shorter than the window, with its title bar on the monitor's top.
TEST_F(PushKeysOnX11Test, aWindowThatCannotShrinkToItsZoneIsKeptOnTheZonesMonitor) {
    startSession(true);
    OwnClient big(session->display());
    big.open(Rect{2000, 40, 1500, 1000}, "Big", Size{1500, 1000});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(big.id()); }));
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(focusByClick(big.id()));

    const Rect sideZone2{960, 0, 960, 900};
    const std::tuple<std::uint32_t, Rect, Rect> pushes[] = {{XK_1, kPrimaryRoot, kPrimaryLeftHalf},
                                                            {XK_2, kPrimaryRoot, kPrimaryRightHalf},
                                                            {XK_x, kSecondaryRoot, kSideZone1},
                                                            {XK_2, kSecondaryRoot, sideZone2}};
    std::size_t pushed = 0;
    for (const auto& push : pushes) {
        // Named, not bound: clang 14 does not let the lambda below capture a structured binding.
        const std::uint32_t key = std::get<0>(push);
        const Rect monitor = std::get<1>(push), zone = std::get<2>(push);
        SCOPED_TRACE(platform::describe(zone));
        press(key);
        const auto onTheMonitor = [&] {
            const Rect f = session->frameOf(big.id());
            const bool across = f.minX() >= monitor.minX() && f.maxX() <= monitor.maxX() &&
                                (f.minX() == zone.minX() || f.maxX() == zone.maxX());
            const bool down =
                f.minY() >= monitor.minY() && (f.maxY() <= monitor.maxY() || f.height() > monitor.height());
            return across && down && f.width() >= 1500 && f.height() >= 1000;
        };
        EXPECT_TRUE(X11TestSession::waitFor(onTheMonitor))
            << platform::describe(session->frameOf(big.id())) << logText();
        ASSERT_TRUE(pushesEnd(++pushed)) << logText();
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A window that takes any size, maximised on the main monitor and pushed to the other one, which has no
// corner strip: out of that state its frame, title bar included, is zone 1 there, no taller and no
// higher up, as the window manager frames it once no longer maximised. Maximised across only and pushed
// into zone 2 there, it comes out exactly that zone's width.
TEST_F(PushKeysOnX11Test, aMaximisedWindowPushedToTheOtherMonitorIsFramedInsideTheZoneThere) {
    startSession(true);
    OwnClient plain(session->display());
    plain.open(Rect{2000, 100, 600, 400}, "Plain");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(plain.id()); }));
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(focusByClick(plain.id()));

    session->maximize(plain.id());
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return holdsState(plain.id(), "_NET_WM_STATE_MAXIMIZED_VERT") &&
               session->frameOf(plain.id()).width() == kPrimaryRoot.width();
    })) << platform::describe(session->frameOf(plain.id()));
    // Judged once the push has ended: the frame the window is left at, and every frame it was given on
    // its way there that the user saw on that monitor.
    session->watchFrames(plain.id());
    press(XK_x);
    ASSERT_TRUE(pushesEnd(1)) << logText();
    EXPECT_EQ(session->frameOf(plain.id()), kSideZone1) << platform::describe(session->frameOf(plain.id()));
    for (const Rect& shown : session->framesShown()) {
        if (shown.minX() < kPrimaryRoot.minX()) {
            EXPECT_TRUE(within(shown, kSideZone1)) << platform::describe(shown);
        }
    }
    EXPECT_FALSE(holdsState(plain.id(), "_NET_WM_STATE_MAXIMIZED_VERT"));

    maximizeAcross(plain.id());
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return holdsState(plain.id(), "_NET_WM_STATE_MAXIMIZED_HORZ") &&
               session->frameOf(plain.id()).width() == kSecondaryRoot.width();
    })) << platform::describe(session->frameOf(plain.id()));
    const Rect sideZone2{960, 0, 960, 900};
    press(XK_2);
    ASSERT_TRUE(pushesEnd(2)) << logText();
    EXPECT_EQ(session->frameOf(plain.id()), sideZone2) << platform::describe(session->frameOf(plain.id()));
    EXPECT_FALSE(holdsState(plain.id(), "_NET_WM_STATE_MAXIMIZED_HORZ"));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
