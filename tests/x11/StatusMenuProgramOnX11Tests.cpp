// The status item of the built program on a real X server with a system tray (trayer): its icon shows in
// the tray, a click on it opens the menu with its rows, and choosing "Quit Korvane" there ends the
// program as a quit should; the rows' keys act while the menu is open; and the icon's tooltip names the
// active scene. Without a tray, the corner button standing in for the icon keeps the windows pushed into
// zones clear of it, follows the main monitor as it changes, placing again a zone's window it comes over,
// takes no monitor away, stands on the main monitor where another holds the primary output, and comes
// and goes with the tray. Pictures of the open menus, of the tooltip and of the corner button are left
// under build/screenshots.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace korvane::x11::test {
namespace {

// A window of the program as the server shows it.
struct ShownWindow {
    xcb_window_t window = XCB_WINDOW_NONE;
    Rect root; // root coordinates, top-left origin
    bool isPopupMenu = false;
    bool isTooltip = false;
    bool isDock = false;
    bool isTopLevel = false; // a child of the root window
    bool overrideRedirect = false;
};

std::string listed(const std::vector<ShownWindow>& windows) {
    std::string text;
    for (const auto& w : windows)
        text += std::to_string(w.window) + " " + std::to_string(w.root.minX()) + "," +
                std::to_string(w.root.minY()) + " " + std::to_string(w.root.width()) + "x" +
                std::to_string(w.root.height()) + (w.isPopupMenu ? " menu" : "") +
                (w.isTopLevel ? " top" : "") + (w.overrideRedirect ? " or" : "") + "\n";
    return text;
}

// The program's viewable windows anywhere in the tree, read on a connection of the test's own.
class WindowsOfProcess {
  public:
    explicit WindowsOfProcess(const std::string& display) : conn_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(conn_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        pidAtom_ = atom("_NET_WM_PID");
        typeAtom_ = atom("_NET_WM_WINDOW_TYPE");
        popupAtom_ = atom("_NET_WM_WINDOW_TYPE_POPUP_MENU");
        dropdownAtom_ = atom("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU");
        tooltipAtom_ = atom("_NET_WM_WINDOW_TYPE_TOOLTIP");
        dockAtom_ = atom("_NET_WM_WINDOW_TYPE_DOCK");
    }
    ~WindowsOfProcess() { xcb_disconnect(conn_); }
    WindowsOfProcess(const WindowsOfProcess&) = delete;
    WindowsOfProcess& operator=(const WindowsOfProcess&) = delete;

    std::vector<ShownWindow> of(pid_t pid) {
        std::vector<ShownWindow> found;
        if (xcb_connection_has_error(conn_)) return found;
        walk(root_, pid, found);
        return found;
    }

  private:
    xcb_atom_t atom(const char* name) {
        auto* reply =
            xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }
    std::vector<std::uint32_t> words(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        std::vector<std::uint32_t> out;
        auto* reply =
            xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, window, property, type, 0, 64), nullptr);
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            out.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return out;
    }
    void walk(xcb_window_t window, pid_t pid, std::vector<ShownWindow>& found) {
        auto* tree = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr);
        if (!tree) return;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        for (int i = 0; i < count; ++i) {
            const xcb_window_t child = children[i];
            auto* attributes =
                xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, child), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            const bool overrideRedirect = attributes && attributes->override_redirect;
            std::free(attributes);
            if (!viewable) continue;
            const auto pids = words(child, pidAtom_, XCB_ATOM_CARDINAL);
            if (!pids.empty() && static_cast<pid_t>(pids.front()) == pid) {
                auto* geometry = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, child), nullptr);
                auto* place = xcb_translate_coordinates_reply(
                    conn_, xcb_translate_coordinates(conn_, child, root_, 0, 0), nullptr);
                if (geometry && place) {
                    ShownWindow shown;
                    shown.window = child;
                    shown.root =
                        Rect{static_cast<double>(place->dst_x), static_cast<double>(place->dst_y),
                             static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
                    // A menu is a top-level window past the window manager (Qt names no type for it on
                    // every version); the only other such window of the program is a tray icon's.
                    bool typedMenu = false;
                    for (auto type : words(child, typeAtom_, XCB_ATOM_ATOM)) {
                        if (type == popupAtom_ || type == dropdownAtom_) typedMenu = true;
                        if (type == tooltipAtom_) shown.isTooltip = true;
                        if (type == dockAtom_) shown.isDock = true;
                    }
                    shown.isTopLevel = window == root_;
                    shown.overrideRedirect = overrideRedirect;
                    shown.isPopupMenu = overrideRedirect && !shown.isTooltip &&
                                        (typedMenu || (shown.isTopLevel && geometry->height > 40));
                    found.push_back(shown);
                }
                std::free(geometry);
                std::free(place);
            }
            walk(child, pid, found);
        }
        std::free(tree);
    }

    xcb_connection_t* conn_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_atom_t pidAtom_ = XCB_ATOM_NONE, typeAtom_ = XCB_ATOM_NONE, popupAtom_ = XCB_ATOM_NONE,
               dropdownAtom_ = XCB_ATOM_NONE, tooltipAtom_ = XCB_ATOM_NONE, dockAtom_ = XCB_ATOM_NONE;
};

class StatusMenuProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The program's icon in the tray: a small window of its own, embedded in another window (the corner
    // button that stands in for a missing tray is a top-level window).
    std::optional<ShownWindow> trayIcon(pid_t korvane) {
        WindowsOfProcess windows(session->display());
        for (const auto& shown : windows.of(korvane))
            if (!shown.isPopupMenu && !shown.isTopLevel && shown.root.width() <= 64 &&
                shown.root.height() <= 64 && shown.root.width() >= 8)
                return shown;
        return std::nullopt;
    }
    std::optional<ShownWindow> menu(pid_t korvane) {
        WindowsOfProcess windows(session->display());
        for (const auto& shown : windows.of(korvane))
            if (shown.isPopupMenu) return shown;
        return std::nullopt;
    }
    std::optional<ShownWindow> tooltip(pid_t korvane) {
        WindowsOfProcess windows(session->display());
        for (const auto& shown : windows.of(korvane))
            if (shown.isTooltip) return shown;
        return std::nullopt;
    }
    // The button standing in for the icon where there is no tray: the program's one small dock window.
    std::optional<ShownWindow> cornerButton(pid_t korvane) {
        WindowsOfProcess windows(session->display());
        for (const auto& shown : windows.of(korvane))
            if (shown.isDock && shown.root.width() >= 8 && shown.root.width() <= 64 &&
                shown.root.height() >= 8 && shown.root.height() <= 64)
                return shown;
        return std::nullopt;
    }
    // A press and release of the left button where the pointer has been carried by hand.
    void clickByHand(Point at) {
        session->glidePointer(int(at.x), int(at.y), 20);
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
    }
    // Clicks the button by hand until its menu opens (clicks in the first moments after a change of the
    // displays are refused).
    std::optional<ShownWindow> openCornerMenu(pid_t korvane, const ShownWindow& corner) {
        std::optional<ShownWindow> opened;
        X11TestSession::waitFor(
            [&] {
                clickByHand(Point{corner.root.midX(), corner.root.midY()});
                return X11TestSession::waitFor([&] { return (opened = menu(korvane)).has_value(); },
                                               seconds(1));
            },
            seconds(15));
        return opened;
    }
    // Whether two frames (root coordinates) keep at least a pixel apart.
    static bool apart(const Rect& a, const Rect& b) {
        return !Rect(a.minX() - 1, a.minY() - 1, a.width() + 2, a.height() + 2).intersects(b);
    }
    // Clicks the icon until the menu shows with the keyboard, then presses the keys.
    bool pressInOpenMenu(pid_t korvane, std::vector<std::uint32_t> keysyms) {
        if (!openTrayMenu(korvane)) return false;
        press(std::move(keysyms));
        return true;
    }
};

TEST_F(StatusMenuProgramOnX11Test, theTrayIconOpensTheMenuWithItsRowsAndQuitEndsTheProgramCleanly) {
    startSession(true);
    startTray();
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();

    std::optional<ShownWindow> icon;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (icon = trayIcon(korvane)).has_value(); })) << logText();
    EXPECT_LE(icon->root.maxY(), 32.0);

    // Clicks in the first moments after a change of the displays are refused; the start is one.
    std::optional<ShownWindow> opened;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] {
            session->click(static_cast<int>(icon->root.midX()), static_cast<int>(icon->root.midY()));
            return X11TestSession::waitFor([&] { return (opened = menu(korvane)).has_value(); }, seconds(1));
        },
        seconds(15)))
        << listed(WindowsOfProcess(session->display()).of(korvane)) << logText();
    ASSERT_TRUE(waitForLine("[StatusBar] Menu opened: ")) << logText();
    const std::string text = logText();
    const auto from = text.find("[StatusBar] Menu opened: ");
    const std::string rows = text.substr(from, text.find('\n', from) - from);
    // The first row names the active scene ("My Workspace" when the first start made one, its writing
    // direction kept to itself) or says there is none; the update row follows it.
    EXPECT_TRUE(
        rows.find("Menu opened: Scene: \u2068My Workspace\u2069 | - | Save Current Scene... | Update "
                  "\"\u2068My Workspace\u2069\" | - |") != std::string::npos ||
        rows.find("Menu opened: No active scene | - | Save Current Scene... | Update Active Scene | - |") !=
            std::string::npos)
        << rows;
    EXPECT_NE(rows.find("| - | Scene Manager... | Preferences... | - | Quit Korvane"), std::string::npos)
        << rows;
    // Mapped before it is drawn: the picture waits for the menu's light background.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixel(static_cast<int>(opened->root.midX()),
                                  static_cast<int>(opened->root.maxY() - 3)) != 0x000000;
    }));
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(
        Rect{opened->root.minX() - 20, 0, opened->root.width() + 40, opened->root.maxY() + 20},
        picture("status-menu-korvane.png")));

    // "Quit Korvane" is the last row. The program quits as on SIGTERM: what it remembers is written.
    fs::remove(home() / "layout-memory.json");
    session->click(static_cast<int>(opened->root.midX()), static_cast<int>(opened->root.maxY() - 12));
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

// Control+comma, control+M and control+Q, as the rows show them, each pressed with the menu open.
TEST_F(StatusMenuProgramOnX11Test, theMenusKeysActWhileItIsOpen) {
    startSession(true);
    startTray();
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();

    ASSERT_TRUE(pressInOpenMenu(korvane, {XK_Control_L, XK_comma})) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled("Preferences").has_value();
    })) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !menu(korvane); }));

    ASSERT_TRUE(pressInOpenMenu(korvane, {XK_Control_L, XK_m})) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled("Scene Manager").has_value();
    })) << logText();

    ASSERT_TRUE(pressInOpenMenu(korvane, {XK_Control_L, XK_q})) << logText();
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(StatusMenuProgramOnX11Test, theIconsTooltipNamesTheActiveSceneRestoredAtTheStart) {
    startSession(true);
    startTray();
    WMScene scene;
    scene.id = "55555555-6666-4777-8888-999999999999";
    // Far longer than the program's name, so the tooltip's width tells the two apart.
    scene.name = "Quarterly Planning Board of the Whole Team";
    writeActiveScene(home(), scene);
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    std::optional<ShownWindow> found;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (found = trayIcon(korvane)).has_value(); }))
        << logText();
    const Rect icon = found->root;

    // With nothing else happening after the start, the pointer comes to rest on the icon until its tooltip
    // shows, and leaves it again, until the tooltip is the scene's name: the program's name alone would be
    // a third as wide. (Here a tray icon's tooltip shows again only for a pointer that left it sideways.)
    const int awayX = int(icon.midX()) - 400, awayY = int(icon.maxY()) + 200;
    session->glidePointer(awayX, awayY, 10);
    std::optional<ShownWindow> shown;
    std::vector<int> widths; // of the tooltips seen
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] {
            session->glidePointer(int(icon.midX()), int(icon.midY()), 10);
            const bool named = X11TestSession::waitFor(
                [&] {
                    if (!(shown = tooltip(korvane))) return false;
                    if (widths.empty() || widths.back() != int(shown->root.width()))
                        widths.push_back(int(shown->root.width()));
                    return shown->root.width() >= 200;
                },
                seconds(2));
            if (!named) session->glidePointer(awayX, awayY, 10);
            return named;
        },
        seconds(20)))
        << "tooltips seen " << ::testing::PrintToString(widths) << " wide" << logText();
    if (shown) {
        EXPECT_TRUE(session->saveScreenshot(
            Rect{shown->root.minX() - 20, 0, shown->root.width() + 40, shown->root.maxY() + 20},
            picture("status-item-tooltip-korvane.png")));
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window manager's close button of an xterm that Korvane pushed into the main monitor's top right
// zone lies in the corner where the button stands; the button's strip keeps the zone, and with it the
// xterm's title bar, below the button, so a click there closes the xterm rather than opening the menu.
TEST_F(StatusMenuProgramOnX11Test, withoutATrayTheCornerButtonKeepsTheTopRightZonesCloseButtonClearOfItself) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary's left half
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    std::optional<ShownWindow> corner;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (corner = cornerButton(korvane)).has_value(); }))
        << logText();

    ASSERT_TRUE(pushIntoPrimarysRightHalf(notes)) << platform::describe(session->frameOf(notes)) << logText();
    const Rect frame = session->frameOf(notes);
    corner = cornerButton(korvane);
    ASSERT_TRUE(corner);
    // Not even an edge in common: the button grown by a pixel all round still misses the frame.
    const Rect& button = corner->root;
    EXPECT_FALSE(
        Rect(button.minX() - 1, button.minY() - 1, button.width() + 2, button.height() + 2).intersects(frame))
        << "button " << platform::describe(corner->root) << " xterm " << platform::describe(frame);
    EXPECT_TRUE(session->saveScreenshot(Rect{kPrimaryRoot.maxX() - 300, 0, 300, 80},
                                        picture("status-corner-button-x11.png")));

    clickByHand(closeButtonOf(notes));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->isClient(notes); }))
        << platform::describe(frame) << logText();
    EXPECT_FALSE(logged("[StatusBar] Menu opened:")) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The main monitor shrinks and moves down: the button comes onto it again, and its menu opens there.
TEST_F(StatusMenuProgramOnX11Test, theCornerButtonFollowsTheMainMonitorAndItsMenuOpensThere) {
    startSession(true);
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return cornerButton(korvane).has_value(); })) << logText();

    const Rect primary{1920, 180, 1600, 900};
    // The main monitor is the first listed: both are set again in their order.
    session->deleteMonitor(kSecondaryName);
    session->deleteMonitor(kPrimaryName);
    session->setMonitor(kPrimaryName, primary, true);
    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    std::optional<ShownWindow> corner;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        corner = cornerButton(korvane);
        return corner && primary.intersection(corner->root) == corner->root;
    })) << (corner ? platform::describe(corner->root) : "no button")
        << logText();

    const auto opened = openCornerMenu(korvane, *corner);
    EXPECT_TRUE(opened) << logText();
    if (opened) press({XK_Escape});

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The main monitor below another: a top strip is measured from the desktop's top edge, so one kept there
// would take the whole monitor above. The window manager keeps that monitor whole (a window maximised on
// it stays there), the zones still leave the button's strip free, and the menu opens below the button.
TEST_F(StatusMenuProgramOnX11Test, withTheMainMonitorBelowAnotherTheCornerButtonTakesNoMonitorAway) {
    startSession(true);
    const Rect lower{1920, 540, 1920, 540}, upper{1920, 0, 1920, 540};
    session->deleteMonitor(kSecondaryName);
    session->deleteMonitor(kPrimaryName);
    session->setMonitor(kPrimaryName, lower, true);
    session->setMonitor(kSecondaryName, upper, false);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+600");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    std::optional<ShownWindow> corner;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        corner = cornerButton(korvane);
        return corner && lower.intersection(corner->root) == corner->root;
    })) << (corner ? platform::describe(corner->root) : "no button")
        << logText();

    // Into the main monitor's top right zone, below the strip.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        press({XK_Control_L, XK_Alt_L, XK_2});
        return X11TestSession::waitFor([&] { return session->frameOf(notes).maxX() == lower.maxX(); },
                                       seconds(3));
    })) << platform::describe(session->frameOf(notes))
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return apart(corner->root, session->frameOf(notes)); }))
        << "button " << platform::describe(corner->root) << " xterm "
        << platform::describe(session->frameOf(notes));

    const xcb_window_t wide = xterm("Wide", "60x20+2000+100");
    session->maximize(wide);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(wide) == upper; }))
        << platform::describe(session->frameOf(wide));

    const auto opened = openCornerMenu(korvane, *corner);
    ASSERT_TRUE(opened) << logText();
    EXPECT_GE(opened->root.minY(), corner->root.maxY()) << platform::describe(opened->root);
    EXPECT_TRUE(within(opened->root, lower)) << platform::describe(opened->root);
    // Mapped before it is drawn: the picture waits for the menu's light background.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixel(int(opened->root.midX()), int(opened->root.maxY() - 3)) != 0x000000;
    }));
    EXPECT_TRUE(session->saveScreenshot(Rect{lower.maxX() - 400, lower.minY(), 400, 240},
                                        picture("status-corner-menu-x11.png")));
    press({XK_Escape});

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The main monitor unplugged: the button and its strip move onto the side monitor, over the xterm in that
// monitor's top right zone, which is placed again in its zone, below the strip.
TEST_F(StatusMenuProgramOnX11Test, aZoneWindowThatTheMovingStripWouldCoverIsPlacedAgainBelowIt) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+1100+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return cornerButton(korvane).has_value(); })) << logText();
    const Rect sideRightHalf{960, 0, 960, kSecondaryRoot.height()};
    const std::size_t commits = count("[MappingTX] commit");
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        press({XK_Control_L, XK_Alt_L, XK_2});
        return X11TestSession::waitFor([&] { return comesToFill(notes, sideRightHalf); }, seconds(3));
    })) << platform::describe(session->frameOf(notes))
        << logText();
    // The push ends once its frame has been checked and the xterm taken into the zone.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[MappingTX] commit") > commits; })) << logText();

    session->deleteMonitor(kSecondaryName);
    session->deleteMonitor(kPrimaryName);
    session->setMonitor(kSecondaryName, kSecondaryRoot, true);
    std::optional<ShownWindow> corner;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        corner = cornerButton(korvane);
        return corner && kSecondaryRoot.intersection(corner->root) == corner->root;
    })) << (corner ? platform::describe(corner->root) : "no button")
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return apart(corner->root, session->frameOf(notes)); }))
        << "button " << platform::describe(corner->root) << " xterm "
        << platform::describe(session->frameOf(notes)) << logText();
    // Moved and resized in steps of its own: the frame is judged once the xterm has settled.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return within(session->frameOf(notes), sideRightHalf); }))
        << platform::describe(session->frameOf(notes));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// TOP over MAIN, MAIN holding the primary output: the button stands in the strip it keeps along the top
// of TOP, the main monitor, at the start and once MAIN has been unplugged and plugged again.
TEST_F(StatusMenuProgramOnX11Test, theCornerButtonStandsInItsStripOnTheMainMonitorNotOnThePrimaryOutputs) {
    startStackedSession();
    xterm("Notes", "60x20+100+1200");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const Rect strip{kTopRoot.minX(), kTopRoot.minY(), kTopRoot.width(), kCornerStrip};
    std::optional<ShownWindow> corner;
    const auto inStrip = [&] {
        corner = cornerButton(korvane);
        return corner && within(corner->root, strip);
    };
    EXPECT_TRUE(X11TestSession::waitFor(inStrip))
        << (corner ? platform::describe(corner->root) : "no button") << logText();

    ASSERT_NO_FATAL_FAILURE(unplugAndReplug(kMainName, kMainRoot));
    EXPECT_TRUE(X11TestSession::waitFor(inStrip))
        << (corner ? platform::describe(corner->root) : "no button") << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The tray quits while the program runs: the corner button comes in its place; a tray started again takes
// the icon back and the button goes.
TEST_F(StatusMenuProgramOnX11Test, theCornerButtonStandsInForTheIconWhileTheTrayIsGone) {
    startSession(true);
    const pid_t tray = startTray();
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return trayIcon(korvane).has_value(); })) << logText();
    EXPECT_FALSE(cornerButton(korvane));

    session->stop(tray);
    std::optional<ShownWindow> corner;
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        corner = cornerButton(korvane);
        return corner && within(corner->root, kPrimaryRoot);
    })) << listed(WindowsOfProcess(session->display()).of(korvane))
        << logText();

    startTray();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return trayIcon(korvane) && !cornerButton(korvane); }))
        << listed(WindowsOfProcess(session->display()).of(korvane)) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
