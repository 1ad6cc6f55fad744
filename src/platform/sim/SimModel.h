// The one in-memory desktop behind the simulated services: displays, applications, windows and the
// scripted answers, guarded by one mutex, plus the helpers that announce changes through the loop.
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/sim/SimTypes.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <tuple>
#include <vector>

namespace korvane::sim {

class SimRunLoop;
class SimAXObserver;

struct SimDisplay {
    int id = 0;
    platform::ScreenInfo info;
};

struct SimApp {
    platform::RunningApplication info;
    std::optional<std::string> url;
    std::uint64_t focusedWindow = 0; // window tokens, 0 for none
    std::uint64_t mainWindow = 0;
    platform::AXElement focusedElement; // a child element that has the keyboard focus, if any
    bool exposesAllWindows = false;
    ActivationOutcome activateOutcome;
    ActivationOutcome axFrontmostOutcome;
};

struct SimWindow {
    std::uint64_t token = 0;
    pid_t pid = 0;
    std::uint32_t number = 0;
    Rect frame; // top-left global coordinates, as the window server keeps it
    std::string title;
    std::string role;
    std::optional<std::string> subrole;
    bool minimized = false;
    bool fullscreen = false;
    bool maximized = false;
    int layer = 0;
    double alpha = 1;
    bool onScreen = true;
    std::optional<Size> minSize, maxSize, sizeIncrement;
    bool tellsGrantedSize = false;
    bool ignoresResize = false, ignoresMove = false, ignoresFocus = false;
    Nanos movesAfter = 0;
    bool takesFocus = true;
    std::optional<std::string> document, url;
    WindowNumberAttribute numberAttribute = WindowNumberAttribute::standard;
    std::optional<Nanos> numberAppearsAt;
    bool titleInList = true;
    bool numberOutlivesWindow = true;
    bool booleansAsNumbers = false;
    std::optional<Rect> parkedAt;   // the frame the parking mark was set at
    bool parkedMaximized = false;   // the mark holds that the window was maximised
    std::optional<int> desktop = 0; // the window manager's desktop it lies on; none: every desktop

    bool markedParked() const { return parkedAt && *parkedAt == frame; }
    bool onDesktopNotShown(int shown) const { return desktop && *desktop != shown; }
};

struct SimChild {
    std::uint64_t token = 0;
    pid_t pid = 0;
    std::uint64_t window = 0;
    platform::AXElement parent;
    SimChildSpec desc;
};

struct PendingActivation {
    Nanos at = 0;
    std::uint64_t seq = 0;
    pid_t pid = 0;
    unsigned options = 0;
};

// A write of "AXPosition" or "AXSize" that the window manager carries out later.
struct PendingFrameWrite {
    Nanos at = 0;
    std::uint64_t seq = 0;
    std::uint64_t token = 0;
    std::optional<Point> position;
    std::optional<Size> size;
};

struct RawWindowEntry {
    int id = 0;
    nlohmann::json entry;
    bool atFront = true;
};

class SimModel : public std::enable_shared_from_this<SimModel> {
  public:
    SimModel(SimRunLoop& loop, platform::NotificationCenter& notifications);

    SimRunLoop& loop;
    platform::NotificationCenter& notifications;
    mutable std::mutex mutex;

    // Everything below is guarded by `mutex`.

    std::vector<SimDisplay> displays; // insertion order
    int mainDisplay = 0;
    bool namesMainDisplay = true; // false: mainScreen() answers nothing all the same
    int nextDisplayID = 1;
    std::uint32_t nextDisplayNumber = 1;
    Point mouse;
    std::optional<Rect> keyWindowFrame; // the program's own focused window, bottom-left global

    std::vector<pid_t> appOrder; // launch order
    std::map<pid_t, SimApp> apps;
    std::map<std::string, SimAppSpec> installed;
    pid_t nextPid = 1000;
    pid_t frontmost = 0;
    std::vector<PendingActivation> pendingActivations;
    std::uint64_t nextActivationSeq = 1;
    std::vector<PendingFrameWrite> pendingFrameWrites;
    std::uint64_t nextFrameWriteSeq = 1;

    int shownDesktop = 0; // the window manager's desktop on screen

    std::map<std::uint64_t, SimWindow> windows;
    // Closed windows whose elements still answer their number, as they were when they closed.
    std::map<std::uint64_t, SimWindow> closedWindows;
    std::vector<std::uint64_t> zOrder; // front to back
    std::map<std::uint64_t, SimChild> children;
    std::uint64_t nextToken = 1;
    std::uint32_t nextWindowNumber = 100;

    bool trusted = true;
    std::map<std::tuple<int, pid_t, std::uint64_t, std::string>, std::deque<platform::AXError>> scriptedAX;
    std::map<std::tuple<int, pid_t, std::uint64_t, std::string>, std::deque<platform::AXValue>>
        scriptedValues;
    std::vector<AXCall> callLog;
    std::vector<std::pair<platform::AXElement, float>> messagingTimeouts;
    std::map<pid_t, std::vector<std::weak_ptr<SimAXObserver>>> observers;
    std::map<pid_t, std::deque<platform::AXError>> scriptedObserverFailures;

    bool windowListAvailable = true;
    bool screenCaptureGranted = true;
    bool hasPrivacyPanes = true;
    bool compositing = false;
    std::optional<std::uint32_t> pictureColour;
    bool showsSystemEntries = true;
    std::vector<RawWindowEntry> rawEntries;
    int nextRawEntryID = 1;
    std::size_t windowListFetches = 0;

    // Helpers; the caller holds `mutex`.

    // Applies the activations and frame writes whose instant has come, in time order. Every public
    // operation calls it first, so a delayed effect is seen as soon as the clock has passed it, even
    // inside a blocking sleep.
    void settleLocked();

    double primaryHeightLocked() const;
    Rect flipLocked(const Rect& r) const; // bottom-left <-> top-left, the same formula both ways
    const SimDisplay* mainDisplayLocked() const;

    SimApp* appLocked(pid_t pid);
    SimWindow* windowLocked(std::uint64_t token);
    SimWindow* windowByNumberLocked(std::uint32_t number);
    SimWindow* windowOfElementLocked(const platform::AXElement& element);
    const SimWindow* closedWindowOfElementLocked(const platform::AXElement& element) const;
    SimChild* childOfElementLocked(const platform::AXElement& element);
    SimWindow& requireWindowLocked(std::uint32_t number); // throws std::invalid_argument
    SimApp& requireAppLocked(pid_t pid);

    static platform::AXElement appElement(pid_t pid);
    static platform::AXElement elementOf(const SimWindow& w);
    bool numberVisibleLocked(const SimWindow& w) const;

    // The application's windows, front to back.
    std::vector<std::uint64_t> windowsOfLocked(pid_t pid) const;

    void raiseLocked(std::uint64_t token);
    void setFocusedWindowLocked(SimApp& app, std::uint64_t token);
    void setMainWindowLocked(SimApp& app, std::uint64_t token);
    void makeFrontmostLocked(pid_t pid, unsigned options);
    // Takes effect now, later or never, as `outcome` says.
    void requestActivationLocked(pid_t pid, unsigned options, const ActivationOutcome& outcome);
    // The size the window's application accepts for `size`: no more than its maximum, snapped down to
    // whole increments above its base (the minimum size), and no less than its minimum.
    static Size acceptedSize(const SimWindow& w, Size size);
    // A position (top-left) or size written to the window, as its application takes it, announced.
    void setPositionLocked(SimWindow& w, const Point& position);
    void setSizeLocked(SimWindow& w, const Size& size);
    // Carries the write out `delay` from now (at once for 0).
    void writeFrameLocked(SimWindow& w, std::optional<Point> position, std::optional<Size> size, Nanos delay);
    void hideLocked(pid_t pid, bool hidden);
    pid_t launchLocked(SimAppSpec desc);
    // Opens a window of the running application as SimWindows::open does; its number.
    std::uint32_t openWindowLocked(pid_t pid, const SimWindowSpec& desc);
    void removeWindowLocked(std::uint64_t token, bool announce);

    // Queues `name` for every live observer of `pid` registered on `target` or on the application.
    void emitLocked(pid_t pid, const platform::AXElement& target, const std::string& name);
    void postNotificationLocked(const std::string& name, nlohmann::json userInfo);
    nlohmann::json appUserInfoLocked(pid_t pid) const;

    // The next scripted answer for this element and name, if one is queued.
    std::optional<platform::AXError> takeScriptedLocked(const platform::AXElement& element,
                                                        const std::string& name);
    static std::tuple<int, pid_t, std::uint64_t, std::string> key(const platform::AXElement& e,
                                                                  const std::string& name);
};

} // namespace korvane::sim
