// Applies a saved scene to the displays connected now: checks each display's layout reference, records
// the scene as the active one, lets the application apply the layouts, sweeps the running windows into
// the zones the scene's hints name, asks for missing applications to be launched and, when the user
// wants it, parks the windows the scene does not place. Also restores the active scene shortly after
// launch and serves one newly connected display.
#pragma once

#include "core/ZoneModel.h"
#include "platform/Accessibility.h"
#include "platform/Cancellation.h"
#include "platform/Geometry.h"
#include "platform/Screens.h"
#include "platform/Task.h"
#include "platform/Time.h"
#include "platform/WindowServer.h"
#include "scenes/model/SceneDisplayResolution.h"
#include "scenes/model/WindowHint.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <tuple>
#include <vector>

namespace korvane {

class AXUtil;
class SceneStore;
struct WMScene;

namespace platform {
class Platform;
}

// What a restore did, for the restore heads-up display.
struct SceneRestoreResult {
    std::string sceneName{};
    int totalWindows = 0; // the displays considered
    int matchedCount = 0; // = appliedDisplays
    int movedCount = 0;   // = appliedDisplays
    int failedCount = 0;  // the unresolved displays; 1 when access was denied
    double duration = 0;  // seconds
    int totalDisplays = 0;
    int appliedDisplays = 0;
    std::vector<std::string> unresolvedDisplays{}; // ascending
    bool permissionDenied = false;
    int placedWindows = 0;
    int totalHints = 0;
    int parkedWindows = 0;
    // The launch restore found the active scene unreadable and restored nothing; `sceneName` is then
    // the name the manifest still lists for it, or empty.
    bool sceneUnreadable = false;
    // The scene's applications that were asked for and could not be started, ascending, each once.
    std::vector<std::string> unstartedApps{};
    // Hints left unplaced because the layout now on their display has no zone of their number, or
    // because the scene gives their connected display no layout (those count in totalHints too).
    int appsWithoutZone = 0;

    friend bool operator==(const SceneRestoreResult&, const SceneRestoreResult&) = default;
};

// Main thread only. One application-wide engine; its deferred work holds it weakly. It knows nothing of
// layouts, zone state or launching: it reaches them through the callbacks the application sets once.
// Logs under "sceneManager".
//
// Moves are asked of the window manager without waiting for them, all at once, and watched from tasks on
// the main run loop, so that keys, the pointer and drawing are served while a restore runs, however long
// the window manager takes. A sweep reports once every move it asked for has ended, counting only the
// windows that got where they were sent. One sweep at a time: a later one (a restore, or the sweep of a
// newly connected display) takes over, and the earlier one gives up the moves it still watched and
// reports nothing.
//
// Coordinates: window-list bounds are top-left global; every one of them is flipped to bottom-left
// global (the primary screen's top edge) before it is matched to a display or a zone, and zone frames
// and targets are bottom-left, as AXUtil::moveResize takes them. The one exception is the parked-window
// test, which is defined on the bounds as the window list gives them.
class SceneRestoreEngine : public std::enable_shared_from_this<SceneRestoreEngine> {
  public:
    // Turns a trimmed layout reference into a layout for the screen; nothing when it cannot.
    using LayoutResolver = std::function<std::optional<Layout>(const std::string& layoutRef,
                                                               const platform::ScreenInfo& screen)>;
    // The frame (bottom-left global) of a zone of the layout now applied on a display; nothing when the
    // display has no such zone.
    using ZoneFrameResolver =
        std::function<std::optional<Rect>(const std::string& displayUUID, std::int64_t zoneID)>;
    using WindowPlacedHandler = std::function<void(const std::string& displayUUID, WindowID wid, pid_t pid,
                                                   const platform::AXElement& window, std::int64_t zoneID)>;
    // Whether the application is on its way (brought forward or being started); false when it cannot
    // be started.
    using AppLaunchHandler = std::function<bool(const std::string& displayUUID, const WindowHint& hint)>;
    using WindowParkedHandler = std::function<void(WindowID wid)>;
    using SweepCompletedHandler = std::function<void(
        const std::set<WindowID>& placed, const std::set<std::string>& sceneBundleIDs,
        const std::map<pid_t, std::string>& bundleByPID, const std::set<std::string>& parkedBundleIDs)>;

    // A window the sweep may hand to a hint. `frame` is the window-list bounds as read (top-left).
    struct PoolCandidate {
        pid_t pid = 0;
        WindowID wid = 0;
        std::string name;
        std::string ownerName;
        Rect frame;
        int score = 0;

        friend bool operator==(const PoolCandidate&, const PoolCandidate&) = default;
    };
    // Display UUID, then bundle identifier, to the candidates in window-list order (front to back).
    using Pool = std::map<std::string, std::map<std::string, std::vector<PoolCandidate>>>;

    // Every window of a known application in the window list, admitted to the pool or not; the parking
    // phase walks them. `frame` is the window-list bounds as read (top-left); `parked` whether the window
    // counts as parked already, by its frame or by the program's mark.
    struct WindowEntry {
        pid_t pid = 0;
        WindowID wid = 0;
        std::string displayUUID;
        std::string bundleID;
        Rect frame;
        bool parked = false;
    };

    struct SweepCounts {
        int placed = 0;
        int totalHints = 0;
        int parked = 0;
        std::set<std::string> unstartedApps;
        int appsWithoutZone = 0;

        friend bool operator==(const SweepCounts&, const SweepCounts&) = default;
    };

    using RestoreReport = std::function<void(const SceneRestoreResult&)>;
    using SweepReport = std::function<void(const SweepCounts&)>;

    static std::shared_ptr<SceneRestoreEngine> create(platform::Platform& platform,
                                                      std::shared_ptr<SceneStore> store,
                                                      std::shared_ptr<AXUtil> ax,
                                                      LayoutResolver layoutResolver);
    // Gives up the moves of a sweep still under way.
    ~SceneRestoreEngine();
    SceneRestoreEngine(const SceneRestoreEngine&) = delete;
    SceneRestoreEngine& operator=(const SceneRestoreEngine&) = delete;

    // Without accessibility trust: the denied result and nothing else. Otherwise every considered
    // display (the connected screens, else `screen`, else the main screen) whose reference is missing,
    // blank, a "scene-restore-" or "scene-apply-" placeholder or unknown to the resolver counts as
    // unresolved; the scene is recorded as active (a failed write is dropped), handed to onAfterRestore,
    // and the windows are swept. With no screen at all nothing is placed or parked. Returns once every move
    // is asked for; `reported` has the result once those moves have ended (at once when nothing moves or
    // access is denied), and never when a later sweep took over first.
    void restore(const WMScene& scene, RestoreReport reported = {},
                 const std::optional<platform::ScreenInfo>& screen = std::nullopt);
    // With an active scene, restores it from a one-shot timer 1.0 s later (nothing once the engine is
    // gone, nor while the moves of a restore asked for meanwhile are under way: that restore made its
    // scene the active one; no heads-up display); without one, says so. An active scene that cannot be read
    // is an error line naming its file, and at the same moment a result with `sceneUnreadable` for
    // onLaunchRestoreFailed: the user is told, where a missing scene would pass in silence.
    void restoreActiveSceneOnLaunch(const std::optional<platform::ScreenInfo>& screen = std::nullopt);
    // Sweeps the windows of one connected display into the scene's zones (parking that display's windows
    // included), without checking references, recording the scene or applying layouts: the caller has
    // applied the display's layout. Nothing without accessibility trust or for a display that is not
    // connected.
    void applyDisplay(const std::string& displayUUID, const WMScene& scene);

    // Which windows the parking that ends a sweep may move.
    enum class ParkingScope {
        everyDisplay,
        // Only those on the swept screens: the hints of the other displays were not served, so their
        // windows are no concern of this sweep.
        sweptScreens,
    };
    // Serves the hints of `screens` from the window list, asks for launches, then parks (when the user
    // wants it) and, once its moves have ended, reports through onSweepCompleted and `reported`. A window
    // whose middle lies in a zone that a hint of its application names serves that hint, whichever hint
    // comes first. A window counts as placed once the window manager has put it where it was sent, or
    // elsewhere within its zone, and as parked once it has put it where it was sent or where it keeps it
    // instead; one it has not answered, or not put in its zone, for kMoveAnswerLimit, one gone meanwhile
    // and one another move took over count for nothing. All zeros at once, and nothing else, when the
    // window list cannot be read.
    void sweepWindows(const std::vector<platform::ScreenInfo>& screens,
                      const SceneDisplayResolution& resolution,
                      ParkingScope parking = ParkingScope::everyDisplay, SweepReport reported = {});

    // +10 for a title that is not the owner's name, +5 when the shorter side is 260 or more, +3 for an
    // area of 200000 or more.
    static int poolScore(const std::string& name, const std::string& ownerName, const Rect& frame);
    // The best candidate of the application: from the hint's display, else from the other displays in
    // ascending UUID order. It leaves the pool, so no window is handed out twice.
    static std::optional<PoolCandidate> takeNextCandidate(const std::string& bundleID,
                                                          const std::string& displayUUID, Pool& pool);
    // Highest score first; equal scores keep window-list order.
    static void sortCandidatesByScore(std::vector<PoolCandidate>& candidates);
    // A process of the application, the smallest process id first.
    static std::optional<pid_t> pidForBundleID(const std::string& bundleID,
                                               const std::map<pid_t, std::string>& bundleByPID);

    LayoutResolver layoutResolver;
    // The application applies the scene's layouts here, once per restore, before the sweep.
    std::function<void(const WMScene&)> onAfterRestore;
    // Unset: the sweep places nothing and asks for no launch; the parking phase still runs.
    ZoneFrameResolver zoneFrameResolver;
    // Every window the sweep placed whose number is known.
    WindowPlacedHandler onWindowPlaced;
    // At most once per zone of a display and sweep, for a hint no window was found for.
    AppLaunchHandler onAppLaunchNeeded;
    // Every window the parking phase moved off screen or found parked there; the application takes it
    // out of its zone, where nothing of it shows.
    WindowParkedHandler onWindowParked;
    // Once at the end of every sweep that could read the window list, after every move.
    SweepCompletedHandler onSweepCompleted;
    // The launch restore could not read the active scene; the application reports it.
    std::function<void(const SceneRestoreResult&)> onLaunchRestoreFailed;

    static constexpr double kLaunchRestoreDelay = 1.0; // seconds
    // Between un-minimising a window and moving it: the window must be back before it can be moved.
    static constexpr Nanos kUnminimizePause = milliseconds(30);
    // How long a move that the window manager has not answered within AXUtil's own wait (a window manager
    // stopped or busy) is still watched for before it counts as not carried out: as long as a window
    // started for the restore is awaited. Looked at every kLateMovePollInterval meanwhile.
    static constexpr Nanos kMoveAnswerLimit = milliseconds(8000);
    static constexpr Nanos kLateMovePollInterval = milliseconds(50);
    // The user default that turns parking on (off when absent).
    static constexpr const char* kParkUnmanagedWindowsKey = "ParkUnmanagedWindowsOnRestore";

  private:
    // What one sweep works on, from the window list read to its report; nothing of it outlives the sweep.
    struct SweepState {
        std::map<pid_t, std::string> bundleByPID;
        Pool pool;
        std::vector<WindowEntry> entries;
        std::set<WindowID> placed;
        std::set<std::string> sceneBundleIDs;
        std::map<std::string, std::set<std::int64_t>> requestedZones;
        // Windows kept for a hint of the zone they lie in, out of the pool: display UUID, zone id and
        // bundle identifier to the windows, best first. `stayingWids` holds every one of them.
        std::map<std::tuple<std::string, std::int64_t, std::string>, std::deque<PoolCandidate>> staying;
        std::set<WindowID> stayingWids;
        std::set<std::string> unstartedApps;
        int placedCount = 0;
        int totalHints = 0;
        int zoneResolverMisses = 0;
        // The displays whose windows parking may move; every display when empty.
        std::set<std::string> parkingDisplays;
        // The flip of window-list bounds to bottom-left; nothing without any screen.
        std::optional<double> flipHeight;
        int parkedCount = 0;
        std::set<std::string> parkedBundleIDs;
        // Whether parking is on for this sweep (the summary line is written only then).
        bool parking = false;
        // A restore's sweep, over every display (not that of one newly connected display).
        bool ofRestore = false;
        // Moves asked for whose end has not been seen; the sweep reports once none is left and every
        // move has been asked for.
        int movesUnderWay = 0;
        bool allAsked = false;
        // Cancelled when a later sweep takes over, or the engine goes.
        platform::CancellationSource givenUp;
        SweepReport reported;

        Rect bottomLeft(const Rect& windowListBounds) const;
    };

    // One window a sweep moves: into a hint's target, or off to its parking frame.
    struct SweepMove {
        enum class Kind { placement, parking };
        Kind kind = Kind::placement;
        platform::AXElement window;
        Rect target;
        std::string bundleID;
        std::optional<WindowID> wid;
        // Un-minimised for the move: it is asked for once the window is back.
        bool unminimized = false;
        // Parking: maximised before the move, which takes that state away.
        bool maximized = false;
    };
    // How the watch of a move ended.
    // `outsideZone`: a placement the window manager answered with a frame that does not lie in the zone.
    enum class MoveEnd { arrived, unanswered, outsideZone, gone, givenUp };

    SceneRestoreEngine(platform::Platform& platform, std::shared_ptr<SceneStore> store,
                       std::shared_ptr<AXUtil> ax, LayoutResolver layoutResolver);

    // The pool and the window entries from the window list; false when the list cannot be read.
    bool buildPool(SweepState& sweep);
    // Before any hint is served: each hint of the served displays keeps for itself the best window of
    // its application whose middle lies in the hint's zone, so no earlier hint takes it elsewhere.
    void keepWindowsInTheirZones(const std::vector<platform::ScreenInfo>& screens,
                                 const SceneDisplayResolution& resolution, SweepState& sweep);
    // The window kept for the hint, else the pool's next candidate.
    std::optional<PoolCandidate> nextCandidate(const WindowHint& hint, const std::string& displayUUID,
                                               SweepState& sweep);
    void serveDisplay(const platform::ScreenInfo& screen, const SceneDisplayResolution& resolution,
                      SweepState& sweep);
    void serveHint(const WindowHint& hint, const platform::ScreenInfo& screen, const std::string& displayUUID,
                   SweepState& sweep);
    // The application's first accessibility window that no hint placed yet; false when there is none.
    bool placeFromAllWindows(const WindowHint& hint, const Rect& target, const std::string& displayUUID,
                             std::optional<WindowID> poolWid, SweepState& sweep);
    void placeWindow(const platform::AXElement& window, const Rect& target, const WindowHint& hint,
                     const std::string& displayUUID, std::optional<WindowID> poolWid, SweepState& sweep);
    // Asks for the parking moves when the option is on; the report follows once every move has ended.
    void parkUnplacedWindows(SweepState& sweep);
    // Starts watching the move, which is asked for at once unless the window was un-minimised for it.
    void startMove(const std::shared_ptr<SweepState>& sweep, SweepMove move);
    // Asks for the move, waits for the window manager to carry it out (AXUtil's own wait), and, while it
    // has not answered, looks again for kMoveAnswerLimit.
    static platform::Task<void> runMove(std::weak_ptr<SceneRestoreEngine> weak, std::shared_ptr<AXUtil> ax,
                                        std::shared_ptr<SweepState> sweep, SweepMove move);
    // Counts (and, parked, marks) the window as its move ended; the sweep reports after its last move.
    void moveEnded(SweepState& sweep, const SweepMove& move, MoveEnd end);
    // Reports the sweep once every move has been asked for and has ended: the summary line when parking
    // is on, onSweepCompleted, then `reported`.
    void finishSweepIfDone(const std::shared_ptr<SweepState>& sweep);

    platform::Platform& platform_;
    std::shared_ptr<SceneStore> store_;
    std::shared_ptr<AXUtil> ax_;
    // The sweep whose moves are under way; nothing between sweeps.
    std::shared_ptr<SweepState> sweep_;
};

} // namespace korvane
