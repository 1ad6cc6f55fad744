// The editor of one display of one saved scene, without its drawing: the display's layout as a tree being
// edited, the zones and dividers derived from it, each zone's applications and the Excluded list, the hint
// line, the template picker's state, and the display's link to the overlay (its bridge). The views draw
// what it holds and call its operations; the hooks a declarative view would attach are explicit calls here.
//
// The canvas never edits the scene it was given: every change it keeps goes into a freshly loaded copy of
// the scene file through the store, after which onSave lets the owner reload and hand over the new scene.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutNode.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/Geometry.h"
#include "scenes/model/WMScene.h"
#include "ui/scene_editor/ModelObservers.h"
#include "ui/scene_editor/SceneCanvasAppEntry.h"
#include "ui/scene_editor/SceneCanvasDrag.h"
#include "ui/scene_editor/SceneCanvasGeometry.h"
#include "ui/scene_editor/SceneEditorCanvasBridge.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace korvane {

class BundleInfoCache;
class LayoutTemplateResolver;
class LayoutTreeEditorModel;
class SceneStore;
struct ScreenContext;

namespace platform {
class Platform;
}

// Where a display's geometry comes from, derived on demand: no layout, a template it references, or the
// template copied into geometry of its own.
struct CanvasGeometrySource {
    struct None {};
    struct Template {
        std::string name;
        LayoutNode tree;
    };
    struct Inline {
        LayoutNode tree;
    };
    std::variant<None, Template, Inline> value;

    bool isNone() const { return std::holds_alternative<None>(value); }
    bool isTemplate() const { return std::holds_alternative<Template>(value); }
    bool isInline() const { return std::holds_alternative<Inline>(value); }
    // The tree of a template or of inline geometry.
    const LayoutNode* tree() const;
};

// Main thread only; the name and picture lookups alone run on a background queue, one at a time.
class SceneGeometryCanvasModel : public std::enable_shared_from_this<SceneGeometryCanvasModel> {
  public:
    using Path = SceneCanvasPath;
    using ZoneApps = std::map<std::int64_t, std::vector<SceneCanvasAppEntry>>;
    enum class TemplatePickMode { start, change };

    // Set by whoever builds the canvas, never changed by it; a reloaded scene comes in through setScene().
    struct Inputs {
        WMScene scene;
        std::string displayUUID; // the key of the display's layout reference and window hints
        std::string displayName;
        std::shared_ptr<SceneStore> store;
        // Without it no layout can be chosen.
        std::shared_ptr<const LayoutTemplateResolver> layoutTemplateResolver;
        std::function<void()> onSave; // after every successful write of the scene file by this canvas
        // The id a new user layout is stored under; nothing when it was not stored.
        std::function<std::optional<std::string>(const ConfigZoneSet&)> onSaveAsUserLayout;
        // After a write by which the scene file names a layout stored or chosen anew for the display.
        std::function<void(const std::string& sceneID, const std::string& displayUUID)> onSceneLayoutChanged;
        std::function<void(const WMScene&)> onRestoreScene;
        bool overlayMode = false; // on the overlay: wider divider bands
        std::function<void()> onDone;
        std::shared_ptr<SceneEditorCanvasBridge> canvasBridge; // nothing outside the overlay
        // The canvas of the editor's display of that UUID, when it has one: a chip dragged from it is taken
        // out of that canvas's lists and the scene file's hints alike. Nothing outside the overlay.
        std::function<std::shared_ptr<SceneGeometryCanvasModel>(const std::string& displayUUID)>
            canvasOfDisplay;
    };

    // Names and pictures found are kept in `cache`, the process's own when none is given.
    static std::shared_ptr<SceneGeometryCanvasModel> make(platform::Platform& platform, Inputs inputs,
                                                          std::shared_ptr<BundleInfoCache> cache = nullptr);
    ~SceneGeometryCanvasModel();
    SceneGeometryCanvasModel(const SceneGeometryCanvasModel&) = delete;
    SceneGeometryCanvasModel& operator=(const SceneGeometryCanvasModel&) = delete;

    const Inputs& inputs() const { return inputs_; }

    // ---- State ----
    // Made by resetFromScene(); the tree in the stored proportions (see SceneCanvasTree.h).
    LayoutTreeEditorModel* treeEditor() const { return treeEditor_.get(); }
    // By zone id ascending, canvas coordinates.
    const std::vector<SceneCanvasZoneRect>& zoneFrames() const { return zoneFrames_; }
    const std::vector<SceneCanvasZoneFrame>& zoneFramesNormalized() const { return zoneFramesNormalized_; }
    const std::vector<SceneCanvasSplitLine>& splitLines() const { return splitLines_; }
    const std::optional<Path>& selectedPath() const { return selectedPath_; }
    const std::optional<Path>& hoverPath() const { return hoverPath_; }
    const std::optional<std::int64_t>& hoveredZoneID() const { return hoveredZoneID_; }
    const std::optional<SplitAxis>& splitPreviewMode() const { return splitPreviewMode_; }
    double splitPreviewRatio() const { return splitPreviewRatio_; }
    const std::optional<Point>& lastMouseLocation() const { return lastMouseLocation_; }
    const std::optional<std::string>& hintMessage() const { return hintMessage_; }
    std::int64_t hintToken() const { return hintToken_; }
    Size canvasSize() const { return canvasSize_; }
    bool isCanvasFocused() const { return isCanvasFocused_; }
    bool forceInlineEditing() const { return forceInlineEditing_; }
    bool isGeometryDirty() const { return isGeometryDirty_; }
    bool isWindowHintsDirty() const { return isWindowHintsDirty_; }
    // Width over height of the display's screen, as the view measured it when it was built.
    double cachedCanvasAspectRatio() const { return cachedCanvasAspectRatio_; }
    void setCachedCanvasAspectRatio(double ratio) { cachedCanvasAspectRatio_ = ratio; }
    const ZoneApps& zoneApps() const { return zoneApps_; }
    const std::vector<SceneCanvasAppEntry>& excludedApps() const { return excludedApps_; }
    const std::optional<std::int64_t>& dropTargetZoneID() const { return dropTargetZoneID_; }
    const std::optional<std::int64_t>& appPickerZoneID() const { return appPickerZoneID_; }
    const std::string& appPickerBundleID() const { return appPickerBundleID_; }
    bool showTemplatePicker() const { return showTemplatePicker_; }
    TemplatePickMode templatePickMode() const { return templatePickMode_; }
    const std::string& bundleResolveToken() const { return bundleResolveToken_; }

    // Told after each operation that may have changed the state.
    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(std::function<void()> observer) {
        return observers_.subscribe(std::move(observer));
    }

    // ---- Hooks of the view ----
    // The canvas shows: it takes the focus and reports to its bridge on the main queue, and loads the
    // display from the scene file.
    void appear();
    // The owner hands over the scene as it now reads it (also after another canvas wrote the scene file):
    // a different scene reports to the bridge again, and a changed reload signature loads the display anew.
    void setScene(WMScene scene);
    // The drawing area's size; the geometry follows it without announcing moved applications.
    void setCanvasSize(Size size);
    // Scene id, display, the display's layout reference ("-" for none) and its window hints as stored now
    // ("bundle:zone" joined by ","), joined by "|". Loading happens again whenever it changes.
    std::string reloadSignature() const;

    // ---- State and commands ----
    CanvasGeometrySource currentGeometrySource() const;
    // Shows the text until 2.0 s have passed without a newer hint.
    void showHint(std::string text);
    // Publishes the unsaved flag, the template's name and the layout actions on offer to the bridge.
    void syncBridge();
    // Takes the bridge's pending command (clearing it first) and runs it.
    void handleBridgeCommand();

    // ---- Layout choice ----
    // Rebuilds the whole editing state from the stored scene; pending name lookups are dropped.
    void resetFromScene();
    // True when the geometry may be edited, after copying a template into geometry of its own if need be.
    bool ensureEditableGeometry();
    // Copies the display's template into editable geometry ("Template copied to editable geometry").
    void customizeLayout();
    void openTemplatePicker(TemplatePickMode mode);
    void dismissTemplatePicker();
    // The layouts the picker offers: the resolver's built-in and user layouts, none without a resolver.
    std::vector<ConfigZoneSet> templatePickerTemplates() const;
    // Writes the layout's id as the display's reference into the freshly loaded scene file at once.
    void applyTemplate(const ConfigZoneSet& layout);

    // ---- Zones and dividers ----
    void refreshGeometry(bool announceMovedApps);
    // The region id at the path; nothing for a split or no node.
    std::optional<std::int64_t> zoneID(const Path& atPath) const;
    void handleMouseMove(Point at, const Rect& canvas);
    // Moves the divider of the split at `path` to the snapped ratio, every other divider staying where it
    // is on the canvas; a template is copied into editable geometry first.
    void dragDivider(const Path& path, double ratio);

    // ---- Splitting and merging ----
    // A key typed while the canvas has the focus, repeats included, as the characters it typed (Escape is
    // U+001B, Delete U+007F, Backspace U+0008); whether the canvas used it.
    bool handleKeyDown(const std::string& characters);
    // The hovered, else the selected, else the first zone gets a split line along `axis` that follows
    // the pointer until a click places it.
    void startSplitPreview(SplitAxis axis);
    // A click on the canvas: places the previewed split in the zone under the point.
    void confirmSplit(Point at, const Rect& canvas);
    // Splits the zone when a split is previewed, else selects it.
    void handleZoneTap(std::int64_t zoneID);
    // Merges the hovered or selected zone with its sibling; whether the key is taken.
    bool mergeHoveredOrSelectedZone();
    // The pointer left the canvas.
    void clearHover();

    // ---- Zone applications ----
    // The zones' applications and the Excluded list from the display's stored window hints; names and
    // pictures not yet known are looked up from 0.2 s later, one application at a time.
    void rebuildZoneApps();
    // Applications of zones that no longer exist go to the end of Excluded; announced, that is an unsaved
    // change with a hint.
    void reconcileZoneApps(bool announce);
    // A zone's chips as drawn: its applications, and a "Drop here" chip at the end while a drag hovers
    // it. The chip is never stored.
    std::vector<SceneCanvasAppEntry> displayedApps(std::int64_t zoneID) const;
    // The chip goes to the end of Excluded.
    void removeApp(const SceneCanvasAppEntry& entry, std::int64_t zoneID);
    // A picked or typed application id, trimmed; a blank one adds nothing.
    void addApp(const std::string& bundleID, std::int64_t zoneID);
    // A drag entered or left a zone; leaving clears only the zone's own mark.
    void setDropTarget(std::int64_t zoneID, bool isTargeted);
    // A zone's application picker opened or closed; closing leaves another zone's picker open.
    void setAppPickerPresented(std::int64_t zoneID, bool presented);
    void setAppPickerBundleID(std::string bundleID);
    // The cached name and picture, else the fallback name without a picture.
    BundleResolvedInfo cachedBundleInfo(const std::string& bundleID) const;
    // Looks up the ids the cache lacks, one after another, under `token` (the current one when none is
    // given); a reload in between drops them.
    void resolveMissingBundleInfo(const std::vector<std::string>& bundleIDs,
                                  const std::optional<std::string>& token = std::nullopt);

    // ---- Dragging applications ----
    struct AppLocation {
        std::optional<std::int64_t> zoneID; // nothing: the Excluded list
        std::size_t index = 0;
    };
    // The text a chip of a zone or of the Excluded list carries while dragged.
    std::string dragPayload(const SceneCanvasAppEntry& entry, std::int64_t zoneID) const;
    std::string dragPayloadForExcluded(const SceneCanvasAppEntry& entry) const;
    // The first chip with that id: zones by ascending id, each from the front, then Excluded.
    std::optional<std::pair<SceneCanvasAppEntry, AppLocation>> locateApp(const std::string& appID) const;
    // That chip taken out of its zone's list or the Excluded list; nothing when there is none.
    std::optional<SceneCanvasAppEntry> takeChip(const std::string& appID);
    // A drag text dropped on a zone, at `index` or at the end; a chip of another display is moved in the
    // scene file at once. Whether the drop was taken.
    bool dropApp(const std::string& text, std::int64_t zoneID, std::optional<std::size_t> index);
    bool dropAppOnExcluded(const std::string& text);
    // The drop of a zone cell or of the Excluded strip: the first dropped text, the drop mark cleared.
    bool dropTextsOnZone(const std::vector<std::string>& texts, std::int64_t zoneID,
                         std::optional<std::size_t> index = std::nullopt);
    bool dropTextsOnExcluded(const std::vector<std::string>& texts);
    // Whether the zone would take the drag text, as far as the zone decides: a chip of another display
    // is refused where moveAcrossDisplays refuses the zone; any other text is taken.
    bool zoneTakesDrop(const std::string& text, std::int64_t zoneID) const;
    // Moves the dragged application's hint from the source display to this one (to none when
    // `toExcluded`) in the scene file: the hint the dragged chip was made from, where the source canvas
    // is known; the chip leaves the source canvas and joins the end of the zone here. A canvas with
    // unsaved edits keeps them, the others load the file again. A zone that no restore could put the
    // application in is refused with a hint saying why, both canvases and the file left as they were:
    // one on a display the scene gives no layout (its "Zone 1" stands for none), or one the display's
    // stored layout lacks (split off and not yet saved).
    bool moveAcrossDisplays(const SceneCanvasDragPayload& payload, std::int64_t zoneID, bool toExcluded);

    // ---- Saving ----
    // Writes this display's edits into the scene file as stored now: edited geometry as a user layout
    // named after the scene and the zones' applications as the display's window hints; nothing else of
    // the file changes. Afterwards the canvas numbers its zones as the stored layout does. True when
    // there was nothing to save or the write succeeded; a failure keeps the edits unsaved.
    bool saveChanges();
    // saveChanges() with its outcome in the hint line ("Saved", "Save failed").
    void saveAndReport();
    // Saves unsaved edits first, then hands the scene as stored to `restore`; nothing is applied when
    // the save fails.
    void applyScene(const std::function<void(const WMScene&)>& restore);
    // Zone by zone in reading order (the top row first, left to right within 1.0 pt), each zone's
    // applications in their order; Excluded gives none.
    std::vector<WindowHint> windowHintsFromZoneApps() const;

  private:
    // The previewed split applied at `path`, the preview and selection then cleared; false (with its
    // hint) when the tree refuses it.
    bool splitPreviewedAt(const Path& path);
    // After a save that numbered the zones anew: the canvas shows the tree as stored and its chips and
    // zone marks under the stored zones' numbers.
    void adoptStoredNumbering(const LayoutNode& storedTree, const RegionIDMap& renumbered, ZoneApps zoneApps);

    struct PendingBundles {
        std::vector<std::string> bundleIDs;
        std::size_t next = 0;
    };
    using ResolvedBundles = std::map<std::string, BundleResolvedInfo>;

    SceneGeometryCanvasModel(platform::Platform& platform, Inputs inputs,
                             std::shared_ptr<BundleInfoCache> cache);

    // The name and tree of the layout `scene` names for this display; nothing when it names none that the
    // resolver knows.
    std::optional<std::pair<std::string, LayoutNode>> referencedLayout(const WMScene& scene) const;
    // The tree the canvas loads for this display from `scene`: its layout's, else one zone.
    LayoutNode loadedTree(const WMScene& scene) const;
    // Why a chip of another display may not go into the zone of `stored` as restored on `screens` (see
    // moveAcrossDisplays); nothing when it may.
    std::optional<std::string> refusalOfMoveInto(const WMScene& stored, std::int64_t zoneID,
                                                 const ScreenContext& screens) const;

    void runReloadTask();
    struct StoredHints {
        std::vector<WindowHint> hints;
        bool own = true; // false: another display's, shown while this display keeps none
    };
    // The display's window hints in the scene as stored now (the given copy when the file cannot be
    // read).
    StoredHints storedWindowHints() const;
    // What the scene file holds for a chip of this canvas about to go to another display.
    struct StoredHintOfChip {
        enum class Kind { index, none, notMovable } kind = Kind::none;
        std::size_t index = 0; // into the display's stored hints, for Kind::index
    };
    StoredHintOfChip storedHintOfChip(const std::string& appID) const;
    // The chip taken out of this canvas's lists after its hint went to another display; nothing when it
    // is gone already.
    std::optional<SceneCanvasAppEntry> takeChipMovedAway(const std::string& appID);
    // After a write that changed this display's hints and the same in the lists: with unsaved edits the
    // canvas takes the file as it reads now for the one it loaded, so that the owner's reload keeps the
    // edits; without, it loads the file again as after any write.
    void keepEditsOverStoredHints();
    void resolveNextBundle(const std::string& token, const std::shared_ptr<PendingBundles>& pending,
                           const std::shared_ptr<ResolvedBundles>& results);
    void applyResolvedBundleInfo(const ResolvedBundles& results);
    // Runs `work` on the main queue later, while this canvas still exists.
    void postToSelf(std::function<void(SceneGeometryCanvasModel&)> work);
    void postSyncBridge();
    void setForceInlineEditing(bool value);
    void setGeometryDirty(bool value);
    void setWindowHintsDirty(bool value);
    void changed() const { observers_.notify(); }

    platform::Platform& platform_;
    Inputs inputs_;
    std::shared_ptr<BundleInfoCache> cache_;
    std::unique_ptr<platform::ObserverToken> bridgeObservation_;
    bool hasAppeared_ = false;
    std::string loadedSignature_;

    std::unique_ptr<LayoutTreeEditorModel> treeEditor_;
    std::vector<SceneCanvasZoneRect> zoneFrames_;
    std::vector<SceneCanvasZoneFrame> zoneFramesNormalized_;
    std::vector<SceneCanvasSplitLine> splitLines_;
    std::optional<Path> selectedPath_;
    std::optional<Path> hoverPath_;
    std::optional<std::int64_t> hoveredZoneID_;
    std::optional<SplitAxis> splitPreviewMode_;
    double splitPreviewRatio_ = 0.5;
    std::optional<Point> lastMouseLocation_;
    std::optional<std::string> hintMessage_;
    std::int64_t hintToken_ = 0;
    Size canvasSize_;
    bool isCanvasFocused_ = false;
    bool forceInlineEditing_ = false;
    bool isGeometryDirty_ = false;
    bool isWindowHintsDirty_ = false;
    double cachedCanvasAspectRatio_ = 1.6;
    ZoneApps zoneApps_;
    std::vector<SceneCanvasAppEntry> excludedApps_;
    // The chip made from each of the window hints the canvas last loaded or wrote, in the file's order:
    // which stored hint a chip stands for, whatever edits moved it since. A chip added since, or one whose
    // hint a save dropped, stands for none.
    std::vector<std::string> storedHintChips_;
    bool storedHintsAreOwn_ = true;
    std::optional<std::int64_t> dropTargetZoneID_;
    std::optional<std::int64_t> appPickerZoneID_;
    std::string appPickerBundleID_;
    bool showTemplatePicker_ = false;
    TemplatePickMode templatePickMode_ = TemplatePickMode::start;
    std::string bundleResolveToken_;

    ModelObservers<> observers_;
};

} // namespace korvane
