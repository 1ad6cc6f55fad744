// The status item and its menu: it publishes the user's menu actions on the status-bar event bus and
// follows the bus's invalidations of what it shows. It performs none of the actions itself.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Time.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class DisplayObserver;
class StatusBarEventBus;
class StatusBarEventSubscription;
enum class StatusBarActionEvent;

namespace platform {
class Platform;
}

// The actions of the menu's rows.
enum class StatusMenuAction { saveScene, updateActiveScene, openLayoutManager, openSettings, quit };

// One row of the menu; a separator has no title and no action.
struct StatusMenuRow {
    bool isSeparator = false;
    std::string title;
    std::optional<StatusMenuAction> action;
    std::string keyEquivalent; // "" when none
    bool command = false;      // modifiers of the key equivalent
    bool option = false;
    std::string symbol; // the symbol image's name; "" when none
    bool enabled = false;

    friend bool operator==(const StatusMenuRow&, const StatusMenuRow&) = default;
};

// The item on screen, as the controller drives it: the icon's button, its title and the menu it pops up.
// Main thread only.
class StatusItemHost {
  public:
    virtual ~StatusItemHost() = default;
    // Whether the item has a button to show a title on.
    virtual bool hasButton() const = 0;
    virtual std::string title() const = 0;
    // The title beside the icon; `imageLeading` false shows the icon alone.
    virtual void setTitle(const std::string& title, bool imageLeading) = 0;
    // Pops the menu up at the pointer and returns once its tracking has ended; a chosen row's action is
    // handed to `choose` while the menu is still tracking.
    virtual void popUpMenu(const std::vector<StatusMenuRow>& rows,
                           const std::function<void(StatusMenuAction)>& choose) = 0;
    // Ends the tracking of a menu that is open; nothing otherwise.
    virtual void cancelMenuTracking() = 0;
    // Whether one of this program's menu windows is on screen.
    virtual bool isMenuWindowVisible() const = 0;
    virtual void beep() = 0;
};

// Main thread only. Owned through a shared_ptr: the bus's handler and the deferred refreshes hold it weakly.
class StatusBarController : public std::enable_shared_from_this<StatusBarController> {
  public:
    // A saved scene as the menu lists it.
    struct SceneEntry {
        std::string id;
        std::string name;
    };

    // The item on screen is `host` (none: no button, no menu shown); the display observer's last change
    // holds refreshes and clicks back for a moment.
    static std::shared_ptr<StatusBarController> create(platform::Platform& platform,
                                                       std::shared_ptr<DisplayObserver> displayObserver,
                                                       std::shared_ptr<StatusItemHost> host);
    // On the platform in use, with the process-wide display observer and no item on screen.
    static std::shared_ptr<StatusBarController> create();
    ~StatusBarController();
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // Keeps the bus and follows its invalidations, ending the subscription of an earlier bind. A change
    // of the displays cancels an open menu first; every invalidation marks what the item shows as stale
    // and refreshes it a moment later, once the displays have settled and the menu is closed.
    void bind(const std::shared_ptr<StatusBarEventBus>& eventBus);
    // Ends the menu's tracking when the menu is open or a menu window shows; otherwise does nothing. The
    // refresh refused meanwhile is owed for when the menu has closed.
    void forceCancelMenu();
    // Whether one of this program's menu windows is on screen.
    bool isMenuWindowVisible() const;

    // The user clicked the item: the menu is rebuilt and tracked until it closes; refused with a beep
    // within 1.5 s of a change of the displays.
    void statusItemClicked();
    // The menu's rows as they stand after the last rebuild.
    std::vector<StatusMenuRow> menuRows() const;
    // A row's action: published on the bus a moment later, once the menu has closed.
    void perform(StatusMenuAction action);

    // Unset providers count as no scenes and no active scene.
    std::function<std::vector<SceneEntry>()> scenesProvider;
    std::function<std::optional<std::string>()> activeSceneIDProvider;
    // Quits the program at once when Quit is chosen with no bus bound.
    std::function<void()> terminate;

    // True while the menu is being tracked.
    bool isMenuOpen = false;
    // A refresh was refused while the menu was open and is owed.
    bool needsRefreshAfterClose() const { return needsRefreshAfterClose_; }
    // An invalidation arrived and what the item shows is not refreshed yet.
    bool isDirty() const { return isDirty_; }
    // The title last written to the item; nothing before the first write.
    const std::optional<std::string>& lastRenderedSceneTitle() const { return lastRenderedSceneTitle_; }

    // Least spacing of two title writes.
    static constexpr Nanos kMinTitleUpdateInterval = 200'000'000;

    // The item on screen; none where no widgets show.
    const std::shared_ptr<StatusItemHost>& host() const { return host_; }

    // Runs a pending refresh now (what its timer does).
    void refreshIfNeeded();

  private:
    StatusBarController(platform::Platform& platform, std::shared_ptr<DisplayObserver> displayObserver,
                        std::shared_ptr<StatusItemHost> host);
    void markDirty();
    void reloadCaches();
    void updateTitle();
    void schedulePerformRefresh(Nanos delay);
    bool withinDisplayChangeWindow() const;
    std::optional<std::string> activeSceneName() const;
    void publishActionDeferred(StatusBarActionEvent action, Nanos delay);

    platform::Platform& platform_;
    std::shared_ptr<DisplayObserver> displayObserver_;
    std::shared_ptr<StatusItemHost> host_;
    std::shared_ptr<StatusBarEventBus> eventBus_;
    std::unique_ptr<StatusBarEventSubscription> invalidationSubscription_;
    std::vector<SceneEntry> cachedScenes_;
    std::optional<std::string> cachedActiveSceneID_;
    bool isBuilding_ = false;
    bool needsRefreshAfterClose_ = false;
    bool isDirty_ = false;
    std::optional<std::string> lastRenderedSceneTitle_;
    std::optional<Nanos> lastTitleUpdateAt_; // none: the distant past
    platform::TimerRef performRefreshTimer_;
};

} // namespace korvane
