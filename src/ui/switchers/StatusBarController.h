// The status item and its menu: it publishes the user's menu actions on the status-bar event bus and
// follows the bus's invalidations of what it shows. It performs none of the actions itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class StatusBarEventBus;
class StatusBarEventSubscription;

// Main thread only. Owned through a shared_ptr: the bus's handler holds it weakly.
class StatusBarController : public std::enable_shared_from_this<StatusBarController> {
  public:
    // A saved scene as the menu lists it.
    struct SceneEntry {
        std::string id;
        std::string name;
    };

    static std::shared_ptr<StatusBarController> create();
    ~StatusBarController();
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // Keeps the bus and follows its invalidations, ending the subscription of an earlier bind. A change
    // of the displays cancels an open menu first; every invalidation marks what the menu shows as stale.
    void bind(const std::shared_ptr<StatusBarEventBus>& eventBus);
    // Ends the menu's tracking when the menu is open or a menu window shows; otherwise does nothing. The
    // refresh refused meanwhile is owed for when the menu has closed.
    void forceCancelMenu();
    // Whether one of this program's menu windows is on screen. The program shows none outside the menu
    // it tracks itself.
    bool isMenuWindowVisible() const;

    // Unset providers count as no scenes and no active scene.
    std::function<std::vector<SceneEntry>()> scenesProvider;
    std::function<std::optional<std::string>()> activeSceneIDProvider;

    // True while the menu is being tracked.
    bool isMenuOpen = false;
    // A refresh was refused while the menu was open and is owed.
    bool needsRefreshAfterClose() const { return needsRefreshAfterClose_; }
    // An invalidation arrived and what the item shows is not refreshed yet.
    bool isDirty() const { return isDirty_; }

  private:
    StatusBarController() = default;
    void markDirty();

    std::shared_ptr<StatusBarEventBus> eventBus_;
    std::unique_ptr<StatusBarEventSubscription> invalidationSubscription_;
    bool needsRefreshAfterClose_ = false;
    bool isDirty_ = false;
};

} // namespace korvane
