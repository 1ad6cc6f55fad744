// The model behind the "Save Scene" window: the windows on screen now, each with its display and a zone
// of that display's layout, the user's choices over them and the applications added by hand, stored as
// a new scene. It reaches the application only through the callbacks and weak references it is given.
#pragma once

#include "platform/Geometry.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "scenes/model/NormalizedFrame.h"
#include "ui/scene_editor/ModelObservers.h"
#include "ui/scene_manager/ZoneList.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

struct ConfigZoneSet;
struct WMScene;
class LayoutTemplateResolver;
class SceneStore;
class WMController;

namespace platform {
class Platform;
}

// Main thread only. Made each time the window opens; loadWindows() runs once before it shows.
class SceneSaveViewModel {
  public:
    // One captured window.
    struct WindowEntry {
        std::string id; // fresh UUID per capture; the key of zoneAssignments
        WindowID windowID = 0;
        std::optional<std::string> bundleID;
        pid_t pid = 0; // the owning process
        std::string title;
        std::string appName;
        std::optional<platform::IconImage> icon; // the owning application's; not part of the equality
        Rect currentFrame;                       // window-list bounds: top-left global, y down
        NormalizedFrame normalizedFrame;
        std::string displayUUID;
        std::string displayName;
        std::int64_t zoneID = 1; // the zone found at capture time
        bool included = true;

        // The same window captured alike, whatever id each capture gave it.
        friend bool operator==(const WindowEntry& a, const WindowEntry& b);
    };

    // An application added to a zone by hand.
    struct ManualApp {
        std::string id; // fresh UUID
        std::string bundleID;
        std::string appName;
        std::optional<platform::IconImage> icon;

        friend bool operator==(const ManualApp&, const ManualApp&) = default;
    };

    using ZoneAssignments = std::map<std::string, std::int64_t>; // entry id -> zone id
    using ManualApps = std::map<std::int64_t, std::vector<ManualApp>>;

    SceneSaveViewModel(platform::Platform& platform, std::shared_ptr<SceneStore> store,
                       std::function<void(const WMScene&)> onSave, std::function<void()> onDismiss);

    // Edited by the window.
    std::string sceneName;
    std::vector<WindowEntry> windowEntries; // in entryPrecedes order after the capture
    // Overrides an entry's own zoneID. The window writes an entry's zone here when the user drops it.
    ZoneAssignments zoneAssignments;
    // A layout chosen in the window for the single display; nothing: each display's own layout.
    std::optional<std::string> layoutIDOverride;

    // True only while save() runs.
    bool isSaving() const { return isSaving_; }
    // Why the last save() wrote nothing, in words for the window; nothing once a save has begun again.
    const std::optional<std::string>& saveFailure() const { return saveFailure_; }
    // Told when isSaving() changes: the one change the model makes while its window waits on it. The
    // window's own edits and the operations it calls are redrawn by the window itself.
    ModelObservers<> savingChanged;
    // Never holds an empty list; within a zone no bundle identifier twice; in the order added.
    const ManualApps& manualApps() const { return manualApps_; }
    const std::shared_ptr<SceneStore>& store() const { return store_; }
    // The desktop the windows were captured on; the window's application picker lists its applications.
    platform::Platform& platform() const { return platform_; }

    // Set by the owner. The owner's callbacks hold it weakly and answer nothing once it is gone.
    std::function<void(const WMScene&)> onSave;
    std::function<void()> onDismiss;
    std::function<std::optional<std::string>(const std::string& displayUUID)> layoutIDForDisplay;
    std::function<std::optional<int>(WindowID, const std::string& displayUUID)> zoneIDForWindow;
    std::weak_ptr<const LayoutTemplateResolver> layoutTemplateResolver;
    // Gives each captured window the zone its frame lies in; the application leaves it empty, so the
    // capture-time zone is zoneIDForWindow's, else 1.
    std::weak_ptr<WMController> wmController;

    // Captures the on-screen windows of other processes on layer 0, parked ones left out, proposes
    // "Scene N" when no name is set yet (N one more than the scenes listed, raised past the names they
    // hold), and assigns zones. Without a readable window list nothing changes.
    void loadWindows();

    // The included entries lie on more than one display.
    bool hasMultipleDisplays() const;
    // The layout the window draws: the override's on a single display, else the layout of the primary
    // display; nothing when it cannot be resolved.
    std::optional<ConfigZoneSet> currentZoneSet() const;
    // Every included entry on a display whose layout resolves to zones gets the nearest of them; other
    // entries get no assignment and keep their own zoneID.
    void autoAssignZones();
    // Every included entry, on whatever display, against one zone list.
    ZoneAssignments nearestZoneAssignments(const std::vector<ZoneListEntry>& zones) const;
    // After layoutIDOverride changed: the override's zones on a single display, else autoAssignZones().
    void recomputeZoneAssignments();

    // Whether moveEntry() would take the entry to the zone: a zone of the layout its display is stored
    // with (see save()), as it stands once the entry is included. An id that names no entry is taken.
    bool canMoveEntry(const std::string& id, std::int64_t zoneID) const;
    // A window moved to a zone in the window, included if it was not: a zone its display's layout lacks
    // would be stored for a display that has no such zone, so it is refused and nothing changes. An
    // entry whose inclusion spreads the windows over another display takes the other entries' zones
    // from their own displays' layouts again. Returns whether the move was taken.
    bool moveEntry(const std::string& id, std::int64_t zoneID);

    void addManualApp(const std::string& bundleID, std::int64_t zoneID);
    void removeManualApp(const std::string& id, std::int64_t zoneID);

    // The first included entry's display, else the first entry's, else "". Layout fallbacks and
    // hand-added applications go to it.
    std::string primaryDisplayUUID() const;

    // Stores the scene under the trimmed name, then calls onSave; a name of white space does nothing. A
    // store that cannot take the scene keeps nothing of it: the failure is logged ("Failed to save
    // scene: …"), said in saveFailure() and onSave is not called. Hand-added applications go
    // to the primary display, those of a zone the drawn layout lacks (shown in no cell) nowhere.
    void save();

    // The window order: by display name, then lower on the screen (larger top-left y) first, then further
    // left first.
    static bool entryPrecedes(const WindowEntry& a, const WindowEntry& b);

  private:
    std::optional<ConfigZoneSet> resolveLayout(const std::optional<std::string>& id) const;
    // The layout save() stores for a display: the override on a single display, else the display's own.
    std::optional<ConfigZoneSet> storedLayout(const std::string& displayUUID, bool severalDisplays) const;
    // Whether the included entries, and this one, lie on more than one display.
    bool spreadWith(const WindowEntry& entry) const;
    WindowEntry captureEntry(const platform::WindowInfo& info, WindowID number, pid_t pid,
                             const std::string& owner, double flipHeight);
    void proposeName();

    platform::Platform& platform_;
    std::shared_ptr<SceneStore> store_;
    bool isSaving_ = false;
    std::optional<std::string> saveFailure_;
    ManualApps manualApps_;
};

} // namespace korvane
