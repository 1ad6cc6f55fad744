// A private X server for the backend's tests: Xvfb on a free display with two monitors, openbox with a
// quiet configuration, xterms as sample windows, XTest for input, and a connection of the test's own
// to check what the server says independently of the backend.
#pragma once

#include "platform/Geometry.h"
#include "platform/Time.h"
#include "support/TempFolder.h"

#include <xcb/xcb.h>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::x11::test {

// The monitors every session starts with: the primary on the right, a shorter one on its left.
inline constexpr const char* kPrimaryName = "PRIMARY-A";
inline constexpr const char* kSecondaryName = "SIDE-B";
inline const Rect kPrimaryRoot{1920, 0, 1920, 1080};
inline const Rect kSecondaryRoot{0, 0, 1920, 900};

// A child process of the test, ended with the test process should that crash (parent-death signal): the
// command with DISPLAY set to `display` (unset when empty) and `environment` ("NAME=value", replacing the
// test's own of that name), its output appended to the file `log`, and `keepFd` left open for it.
pid_t spawnChild(std::vector<std::string> argv, const std::string& display, const std::string& log,
                 int keepFd = -1, const std::vector<std::string>& environment = {});
// The atom of that name on a connection of the test's own (a client the test plays itself); None when the
// server does not answer.
xcb_atom_t internAtom(xcb_connection_t* conn, const char* name);
// Asks the child to end (unless `terminate` is false) and waits for it, killing it when it has not ended
// within the time-out. Returns its status. A pid of 0 is no process.
int endChild(pid_t pid, Nanos timeout, bool terminate = true);

class X11TestSession {
  public:
    // Throws std::runtime_error with the reason when the server or the window manager do not come up.
    // `serverOptions` are added to the server's command line (to turn an extension off, say). Without
    // `windowManager` the server starts bare, until startWindowManager().
    explicit X11TestSession(const std::vector<std::string>& serverOptions = {}, bool windowManager = true);
    // Clients first, the window manager next, the server last, each by its pid under a time-out.
    ~X11TestSession();
    X11TestSession(const X11TestSession&) = delete;
    X11TestSession& operator=(const X11TestSession&) = delete;

    const std::string& display() const { return display_; }
    // Sets what a widget application of this process needs to show on the session's server: the server,
    // Qt's X11 platform, and no session bus — Qt's accessibility bridge would otherwise have libdbus start
    // one, forking from a process whose other threads may hold the sanitizer's allocator lock, and the
    // child that never gets to exec would hold the application for ever.
    void useForWidgets() const;
    pid_t serverPid() const { return xvfb_; }

    // Processes on the session's display, ended at teardown unless stopped before.
    pid_t start(const std::vector<std::string>& argv);
    // The same with `environment` ("NAME=value", replacing the session's own of that name) and the
    // process's output in `log`.
    pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                const std::string& log);
    void stop(pid_t pid);
    // Waits up to `timeout` for a started process to end by itself; its wait status, or nothing while
    // it still runs.
    std::optional<int> waitForExit(pid_t pid, Nanos timeout);
    // Starts openbox on a session made without a window manager; returns once it manages windows.
    void startWindowManager();
    // Kills the server at once, as a crash would, and reaps it; clients are left to find out.
    void killServer();
    // Kills the window manager at once, as a crash would, and reaps it: its check window goes with it,
    // the clients stay on the server, unmanaged.
    void killWindowManager();
    // Starts another openbox that takes over from the running one, as `openbox --replace` does: the one
    // replaced gives its windows back and ends. Returns once the new one manages windows.
    void replaceWindowManager();
    // Stops the window manager (SIGSTOP), as one that no longer answers, or lets it go on (SIGCONT); the
    // session lets it go on before it ends it.
    void pauseWindowManager(bool paused);
    // Runs a tool to its end; whether it exited with 0.
    bool run(const std::vector<std::string>& argv);
    void setMonitor(const std::string& name, const Rect& root, bool withOutput);
    void deleteMonitor(const std::string& name);

    struct Xterm {
        pid_t pid = 0;
        xcb_window_t window = XCB_WINDOW_NONE;
    };
    // Ends the process and waits until its window has left the client list.
    void closeXterm(const Xterm& xterm);

    // What the server says, read on the test's own connection.
    std::vector<xcb_window_t> clientList();
    xcb_window_t activeWindow();
    // _NET_CLIENT_LIST_STACKING, bottom to top.
    std::vector<xcb_window_t> stackingOrder();
    bool isClient(xcb_window_t window);
    std::optional<xcb_window_t> clientOf(pid_t pid);
    // The process a client names as its own (_NET_WM_PID), if it names one.
    std::optional<pid_t> pidOf(xcb_window_t window);
    Rect frameOf(xcb_window_t window); // root coordinates, with the frame extents
    // The window's own area in root coordinates, without the window manager's frame.
    Rect contentOf(xcb_window_t window);
    int wmState(xcb_window_t window);
    // A viewable window anywhere in the tree whose title (_NET_WM_NAME, else WM_NAME) is `title`.
    std::optional<xcb_window_t> viewableWindowTitled(const std::string& title);
    // The names of the atoms a window's property of type ATOM lists (_NET_WM_STATE, _NET_WM_WINDOW_TYPE).
    std::vector<std::string> atomNames(xcb_window_t window, const char* property);
    // The window's _NET_WM_STRUT_PARTIAL, empty when it has none.
    std::vector<std::uint32_t> strutOf(xcb_window_t window);
    // Whether the window has the property, of whatever type.
    bool hasProperty(xcb_window_t window, const char* property);
    // The desktop a window is on (_NET_WM_DESKTOP; 0xFFFFFFFF for all of them), nothing when unset.
    std::optional<std::uint32_t> desktopOf(xcb_window_t window);
    // The colour the screen shows at a point of the root window, as 0xRRGGBB.
    std::uint32_t rootPixel(int rootX, int rootY);
    // What the screen shows in a part of the root window, row by row, each 0xRRGGBB; empty when the
    // server cannot give it (a part beyond the screen).
    std::vector<std::uint32_t> rootPixels(const Rect& root);
    // What the server shows of a part of the root window (root coordinates), as a PNG file.
    bool saveScreenshot(const Rect& root, const std::string& path);
    // One round trip on the test's own connection.
    void sync();

    // Changes as another client would make them.
    void setTitle(xcb_window_t window, const std::string& title);
    void setClass(xcb_window_t window, const std::string& instance, const std::string& className);
    // _NET_WM_ICON as a client sets it: width, height and pixels, picture after picture.
    void setIcon(xcb_window_t window, const std::vector<std::uint32_t>& words);
    // A plain top-level window, mapped; a dock is one with a strut.
    xcb_window_t createWindow(const Rect& root, const std::string& title);
    xcb_window_t createDock(const Rect& root, const std::array<std::uint32_t, 12>& strut);
    // A dock's new strut (_NET_WM_STRUT_PARTIAL), as the server holds it when this returns.
    void setStrut(xcb_window_t dock, const std::array<std::uint32_t, 12>& strut);
    // A dialog of this process (its type says so, and its pid); one `fixedSize` at its size, as its size
    // hints' minimum and maximum say.
    xcb_window_t createDialog(const Rect& root, const std::string& title, bool fixedSize = false);
    // The desktops as a pager changes them: how many there are, which one shows, and which one a
    // client is on.
    void setDesktopCount(std::uint32_t count);
    void showDesktop(std::uint32_t desktop);
    void sendToDesktop(xcb_window_t window, std::uint32_t desktop);
    std::uint32_t currentDesktop();
    // A top-level window of that _NET_WM_WINDOW_TYPE ("_NET_WM_WINDOW_TYPE_UTILITY", ...) and title, of the
    // test's process, mapped: where the window manager puts it is its own choice.
    xcb_window_t createTypedWindow(const Rect& root, const std::string& title, const char* type);
    // Asks the window manager for a frame (root coordinates, with the frame extents), as a pager does.
    void requestFrame(xcb_window_t window, const Rect& frame);
    // Asks the window manager to maximise a client, as a pager does.
    void maximize(xcb_window_t window);
    // Asks the window manager to keep a client below the others, as a pager does; returns once it does.
    void keepBelow(xcb_window_t window);
    // Asks the window manager to raise a client without focusing it, as a pager does.
    void raiseAlone(xcb_window_t window);
    // Asks the window manager to minimise a client, as a task bar or a title bar's button does.
    void iconify(xcb_window_t window);
    // Asks the window manager to close a client, as a title bar's close button or a task bar does: the
    // window manager passes it on to the client as WM_DELETE_WINDOW.
    void requestClose(xcb_window_t window);
    // Counts the window manager's rewrites of the stacking order from now on, on a connection of its
    // own; stackingRewrites() returns those announced since the last call.
    void watchStacking();
    int stackingRewrites();
    // The frames the window manager gives the client's top-level frame window from now on, as the
    // server announces them; framesShown() returns those announced since the last call.
    void watchFrames(xcb_window_t client);
    std::vector<Rect> framesShown();
    void destroyWindow(xcb_window_t window);
    // Maps or unmaps a window straight on the server, as its client does (a client unmapped leaves the
    // window manager's care, and comes back in a new frame when mapped again).
    void setMapped(xcb_window_t window, bool mapped);
    // Moves, or maps or unmaps, the window manager's frame around a client straight on the server, as a
    // window manager does while the user drags a window or when it hides one: the client hears nothing of it.
    void moveFrameAlone(xcb_window_t client, Point rootTopLeft);
    void setFrameMapped(xcb_window_t client, bool mapped);
    void setEdid(const std::vector<std::uint8_t>& edid);
    // XTest input. movePointer() sets the pointer at a place in one jump (a warp for the listeners: one
    // motion at most); a user's hand is movePointerBy() and glidePointer().
    void movePointer(int rootX, int rootY);
    // One relative motion, as a mouse reports it.
    void movePointerBy(int dx, int dy);
    // The pointer carried from where it is to a place of the root in `steps` relative motions, each
    // taken in by the server before the next, as a hand moves a mouse.
    void glidePointer(int rootX, int rootY, int steps = 30);
    // Where the pointer is on the root.
    Point pointer();
    void click(int rootX, int rootY);
    // One key or button going down or up (XCB_KEY_PRESS, XCB_BUTTON_RELEASE, ...), for input held
    // across several steps.
    void fakeInput(std::uint8_t type, std::uint8_t detail);
    // Keys pressed as a user would: each goes down in order, all stay down for `hold`, and they come up
    // in the reverse order.
    void pressKeys(const std::vector<xcb_keycode_t>& keys, Nanos hold = 0);
    // The first key that types the keysym on the keyboard as it is mapped now; 0 when none does.
    xcb_keycode_t keycodeOf(std::uint32_t keysym);
    // A passive grab of the key with these modifiers on the root, as another client takes one; whether
    // the server gave it. Kept until ungrabKey() or the end of the session.
    bool grabKey(xcb_keycode_t key, std::uint16_t modifiers);
    void ungrabKey(xcb_keycode_t key, std::uint16_t modifiers);

    // Polls `condition` until it holds or `timeout` passes; whether it held. The default leaves room for a
    // two-core machine busy with a build beside the tests: what a test waits for comes, only later.
    static bool waitFor(const std::function<bool()>& condition, Nanos timeout = seconds(20));

  private:
    // A client message to the window manager about the window, as other clients send them: on the root,
    // the five words of data given.
    void askWindowManager(xcb_window_t window, const char* type, const std::array<std::uint32_t, 5>& data);
    xcb_window_t mappedWindow(const Rect& root, const std::function<void(xcb_window_t)>& describe);
    void setProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, std::uint8_t format,
                     std::uint32_t count, const void* data);
    xcb_atom_t atom(const char* name);
    // The client's ancestor right below the root.
    xcb_window_t frameWindowOf(xcb_window_t client);
    void changeFrameAlone(xcb_window_t client, const std::function<void(xcb_window_t)>& change);
    std::string titleOf(xcb_window_t window);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    void stopAll();
    bool waitUntilManaging();

    testing::TempFolder folder_;
    std::string display_;
    pid_t xvfb_ = 0;
    pid_t openbox_ = 0;
    std::vector<pid_t> clients_;
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_window_t watched_ = XCB_WINDOW_NONE;
    xcb_connection_t* stackingConn_ = nullptr;
    std::map<std::string, xcb_atom_t> atoms_;
};

// The session's window manager stopped for as long as it lives.
class WindowManagerStopped {
  public:
    explicit WindowManagerStopped(X11TestSession& session) : session_(session) {
        session_.pauseWindowManager(true);
    }
    ~WindowManagerStopped() { session_.pauseWindowManager(false); }
    WindowManagerStopped(const WindowManagerStopped&) = delete;
    WindowManagerStopped& operator=(const WindowManagerStopped&) = delete;

  private:
    X11TestSession& session_;
};

} // namespace korvane::x11::test
