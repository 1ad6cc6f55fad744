// Giving displays their zones from layouts and keeping them in step: applying a layout to a display,
// the first state of a display, workbench templates, the layouts of a scene, the start-up restore,
// re-syncing a display with its recorded layout and its screen, and the active display; with the last
// used zone of each display, kept in step with the focused window.
#pragma once

#include "core/ZoneModel.h"
#include "layouts/ConfigZoneSet.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class AXUtil;
class DisplayRecords;
class LayoutMemory;
class LayoutTemplateResolver;
class MappingTransactionCoordinator;
class MultiDisplayState;
class WMController;
class WMState;
class ZoneMemberships;
struct DisplayWorkbench;
struct DisplayWorkbenchSet;
struct LayoutSelection;
struct SceneDisplayResolution;
struct WMScene;

namespace platform {
class Platform;
}

// Main thread only. Applying a layout gives the display a fresh state and raises its epoch, so placements
// opened against the old zones do not land; the windows of the old zones are written into the layout
// memory first, and the fresh zones take back the windows that the memory lists for them and that still
// lie in them. Rebuilding zones in place keeps the stacks and the epoch.
class DisplayLayouts {
  public:
    struct Dependencies {
        std::shared_ptr<MultiDisplayState> multiState;
        std::shared_ptr<WMController> controller;
        std::shared_ptr<AXUtil> ax;
        std::shared_ptr<const LayoutTemplateResolver> layouts;
        std::shared_ptr<DisplayRecords> displayRecords;
        std::shared_ptr<LayoutMemory> layoutMemory;
        std::shared_ptr<DisplayWorkbenchSet> displayWorkbenches;
        std::shared_ptr<LayoutSelection> layoutSelection;
        std::shared_ptr<MappingTransactionCoordinator> mappingTransactions;
        std::shared_ptr<ZoneMemberships> memberships;
    };

    DisplayLayouts(platform::Platform& platform, Dependencies dependencies);

    // Called whenever a display becomes the active one; empty ones do nothing.
    std::function<void()> wireControllerCallbacks;
    // Registers the hot-key bindings again after the active display changed.
    std::function<void()> registerHotkeys;
    // Makes the global switcher list afresh on its next showing once a display has become the active
    // one: its kept listing numbers the windows by the zones of the display active before.
    std::function<void()> dropSwitcherSnapshot;

    // Gives the display (the active one when none is named) a fresh state of the set's zones, holding
    // the windows the layout memory keeps for them, and raises its epoch; records the set as the
    // display's template and selection unless its id is transient. The active display is always
    // activated.
    void applyRegionSet(const ConfigZoneSet& set, const std::optional<std::string>& displayUUID,
                        bool activate);
    // Makes a state for a display that has none, from its workbench template, else its selection, else
    // "builtin.split-50-50"; a recorded choice that names a missing layout is kept, not overwritten.
    bool ensureState(const std::string& displayUUID);
    // Applies the workbench's template in the background; false when no layout has its id.
    bool applyTemplate(const DisplayWorkbench& workbench, const std::string& reason);
    void setActiveTemplate(const std::string& displayUUID, const std::string& templateID);
    // Each connected display gets the scene's layout, else its workbench template, else 50:50.
    void applyLayoutsFromScene(const WMScene& scene);
    // The same for one connected display alone: the others keep their states, stacks and epochs. Nothing
    // for a display that is not connected.
    void applyLayoutFromScene(const WMScene& scene, const std::string& displayUUID);
    // Gives every other connected display its remembered layout (applyRememberedLayout), then re-applies
    // the active display's workbench template (50:50 when it names a missing layout); false when the
    // active display has no workbench.
    bool restoreLayoutsAtStartup();
    // Applies the display's workbench template, else the layout its selection names, in the background;
    // a display whose records name no layout that exists keeps the state it has.
    void applyRememberedLayout(const std::string& displayUUID, const std::string& reason);

    // Gives every connected screen a zone state, in the screen list's order: a display that has one is
    // brought in step with its records, one with a workbench gets that template, any other the state
    // ensureState makes. A workbench whose template cannot be applied still leaves its display a state.
    void initializeAllDisplays();
    // Rebuilds the zones in place when zone 1 has left the display's screen; re-applies the recorded
    // layout when the state no longer matches it.
    void ensureDisplayLayoutSynced(const std::string& displayUUID);
    // False when the display is not connected, or when zone 1's centre is off its visible frame.
    bool validateRegionFrames(const std::string& displayUUID, const WMState& state);
    std::optional<int> expectedZoneCount(const std::string& layoutID, const std::string& displayUUID);
    // Carries the last used zone from the old active display over to the new one.
    bool setActiveDisplay(const std::string& displayUUID, bool registerHotkeys);
    bool reapplyActiveTemplate(const std::string& reason);

    // Records the zone of the window that the controller has just focused as the last used zone.
    void onWindowFocusSync(WindowID wid);
    // Lets the controller adopt the focused window, then records its zone as the last used zone.
    void updateLastUsedRegionFromFocus();

    // Start-up: the overall last used zone becomes the display's.
    void rememberLastUsedRegion(const std::string& displayUUID) {
        lastUsedRegionByDisplay_[displayUUID] = lastUsedRegion_;
    }

    int lastUsedRegion() const { return lastUsedRegion_; }
    const std::map<std::string, int>& lastUsedRegionByDisplay() const { return lastUsedRegionByDisplay_; }

  private:
    void applySceneLayout(const SceneDisplayResolution& resolved, const std::string& displayUUID);
    // The display's last used zone when it has one, else the smallest of `zones`, else 1.
    int defaultZone(const std::string& displayUUID, const std::map<int, Zone>& zones) const;
    // One row holding every zone, as the layouts record them.
    static Layout layoutOfZones(const std::string& displayUUID, std::map<int, Zone> zones);
    void saveSelection(const std::string& displayUUID, const std::string& layoutID);
    void activated(bool registerHotkeys);

    platform::Platform& platform_;
    Dependencies deps_;
    int lastUsedRegion_ = 1;
    std::map<std::string, int> lastUsedRegionByDisplay_;
};

} // namespace korvane
