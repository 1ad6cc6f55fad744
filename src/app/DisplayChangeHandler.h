// Following display changes: the probes of the display-layout bus are debounced, held back while the
// arrangement is still settling, while the window server lists no window or while a menu is open, and
// then one pass brings every display's zone state, epoch and mapping in line with the screens as they
// are now.
#pragma once

#include "core/AXUtil.h"
#include "core/ZoneModel.h"
#include "platform/Cancellation.h"
#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "platform/Task.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class DisplayLayoutEventBus;
class DisplayLayoutEventSubscription;
class DisplayLayouts;
class DisplayObserver;
class DisplayRecords;
class LayoutTemplateResolver;
class MappingTransactionCoordinator;
class MultiDisplayState;
class WMState;
class WindowMappingRebuild;
struct DisplayLayoutProbeEvent;
struct DisplayWorkbenchSet;
struct LayoutSelection;

namespace platform {
class Platform;
}

// Main thread only, except scheduleDisplayChange. Owned through a shared_ptr: the probe handler and the
// timer hold it weakly and do nothing once it is gone. Its timer runs in the run loop's default mode
// only, so it never fires while a menu tracks the pointer.
class DisplayChangeHandler : public std::enable_shared_from_this<DisplayChangeHandler> {
  public:
    struct Dependencies {
        std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus;
        std::shared_ptr<DisplayObserver> displayObserver; // when the screens last changed
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
        std::shared_ptr<const DisplayWorkbenchSet> displayWorkbenches;
        std::shared_ptr<LayoutSelection> layoutSelection;
        std::shared_ptr<const LayoutTemplateResolver> layouts;
        std::shared_ptr<DisplayRecords> displayRecords;
        std::shared_ptr<DisplayLayouts> displayLayouts;
        std::shared_ptr<WindowMappingRebuild> mappingRebuild;
        std::shared_ptr<AXUtil> ax; // places windows again that a visible frame no longer holds
    };

    static std::shared_ptr<DisplayChangeHandler> create(platform::Platform& platform,
                                                        Dependencies dependencies);
    ~DisplayChangeHandler();
    DisplayChangeHandler(const DisplayChangeHandler&) = delete;
    DisplayChangeHandler& operator=(const DisplayChangeHandler&) = delete;

    // The status-bar menu lives above this layer. Whether it is open or one of its windows shows (unset:
    // closed), and closing it (unset: nothing to close).
    std::function<bool()> isMenuOpen;
    std::function<void()> forceCancelMenu;

    // Subscribes to the probes, ending an earlier subscription first.
    void startDisplayLayoutProbeSubscription();
    // Ends the subscription (shut-down); a pending pass still runs. Nothing when there is none.
    void stopDisplayLayoutProbeSubscription();
    bool isSubscribedToProbes() const { return displayLayoutProbeSubscription != nullptr; }
    // A probe that asks for it runs a pass at once, with no debounce or deferral; any other is scheduled.
    void handleDisplayLayoutProbe(const DisplayLayoutProbeEvent& probe);
    // Debounced request for a pass: the latest request within the debounce wins. Any thread.
    void scheduleDisplayChange(const std::string& reason);
    // One pass, now: snapshot, menu closed, every display given a state and reconciled with its screen,
    // when the screens changed the zones' windows that reach past a visible frame placed again, epochs
    // raised, stale intents expired and pruned, the active display, then the mapping rebuild.
    void handleDisplayChange(const std::string& reason);

    // Gives each connected display without a state one, and repairs those whose zones drifted off
    // their screen.
    void reconcileDisplayStates(const std::string& reason, bool topologyChanged);
    // Drifted: no zones, or zone bounds more than the tolerance off the visible frame on some edge.
    bool displayStateDrifted(const WMState& state, const platform::ScreenInfo& screen) const;
    // Rebuilds the zones from the display's template (its workbench's, else its selection's), else
    // rebases them onto the visible frame; stacks and mappings stay. Whether it was repaired.
    bool resyncDisplayState(const std::string& displayUUID, WMState& state,
                            const platform::ScreenInfo& screen, const std::string& reason);
    // The state's zones scaled from their bounds onto the visible frame, ids, stacks and grid kept;
    // nothing without zones or when either rectangle is 1 point or less across.
    std::optional<Layout> rebasedLayout(const WMState& state, const std::string& displayUUID,
                                        const Rect& visibleFrame) const;
    // The connected displays' UUIDs, each once, in plain text order.
    std::vector<std::string> availableDisplayUUIDs() const;

    // Moving a layout to a newly active display is not done on a display change; nothing turns it on.
    static constexpr bool autoApplyLayoutOnDisplayChange = false;
    static constexpr Nanos displayChangeDebounce = milliseconds(250);
    static constexpr Nanos kSettleWindow = milliseconds(600);
    static constexpr Nanos kMinimumSettleWait = milliseconds(50);
    static constexpr Nanos kEmptyWindowListWait = milliseconds(350);
    // How long an empty window list may hold a pass back. A window server that has just woken or rearranged
    // its displays reports no windows only for a moment; a desktop that really has none would otherwise
    // never have its zones follow its screens, and would wake the program every 0.35 s for ever.
    static constexpr Nanos kEmptyWindowListPatience = milliseconds(3000);
    static constexpr Nanos kOpenMenuWait = milliseconds(300);
    static constexpr double kIntentPruneAge = 20.0;   // seconds
    static constexpr double kDriftTolerance = 6.0;    // points
    static constexpr double kMinimumRebaseSize = 1.0; // points

    // The digest of the last snapshot that counted as a topology change; empty before the first pass.
    const std::string& lastDisplayTopologyDigest() const { return lastDisplayTopologyDigest_; }

  private:
    DisplayChangeHandler(platform::Platform& platform, Dependencies dependencies);

    void armDisplayChangeTimer(const std::string& reason, Nanos interval);
    // Takes the reason by value: re-arming drops the timer whose callback holds the caller's copy.
    void fireOrDeferDisplayChange(std::string reason);
    void rearm(const std::string& reason, Nanos interval);
    void finishDisplayChange(const std::string& reason, Nanos startedAt, double initMs, double reconcileMs);
    // The windows of every display's zones that reach past its visible frame into the screen (under a
    // panel or strip that came or moved over them) go back into their zones, which leave it free. The
    // moves are asked at once and watched without waiting for them; once they have all ended, the windows
    // are raised each zone's bottom to top, so that it keeps its top. A later pass gives up the watch.
    void placeWindowsPastVisibleFrames(const std::string& reason);
    struct PlacedAgain {
        platform::AXElement window;
        Rect target;
        AXUtil::FrameRequest request;
    };
    // One pass's moves, shared by the tasks that watch them.
    struct PlacingAgain {
        std::vector<PlacedAgain> moves;
        std::size_t underWay = 0;
        platform::CancellationToken givenUp;
    };
    // Watches one move; the last to end raises them all.
    static platform::Task<void> awaitPlacedAgain(std::shared_ptr<AXUtil> ax,
                                                 std::shared_ptr<PlacingAgain> pass, std::size_t index);
    std::string modeName() const;

    platform::Platform& platform_;
    Dependencies deps_;
    std::unique_ptr<DisplayLayoutEventSubscription> displayLayoutProbeSubscription;
    // The pending debounce or deferral; at most one is armed. After a pass it holds the spent timer.
    platform::TimerRef displayChangeTimer;
    std::string lastDisplayTopologyDigest_;
    // When the pending pass first found the window list empty; cleared by every pass.
    std::optional<Nanos> emptyWindowListSince_;
    // The watch of the windows the latest pass placed again; cancelled by the next pass and at the end.
    platform::CancellationSource placingAgain_;
};

} // namespace korvane
