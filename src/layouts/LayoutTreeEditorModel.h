// The observable editing state of one layout tree while the user reshapes it: selection, splits,
// divider moves, merges, renaming and renumbering, and the way back to a stored user layout.
#pragma once

#include "layouts/LayoutNode.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/Geometry.h"
#include "platform/NotificationCenter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct ConfigZoneSet;

// Its geometry puts a split's left child on the side of the smaller coordinate: on a canvas with y down, a
// vertical split's left child is the top part with `ratio` of the height, as in a stored tree. It edits
// whatever tree it is given; only exportedTree and toConfigZoneSet assume the root holds flipped vertical
// ratios (convertVerticalRatios, which translates both ways) and flip them back. The scene canvas gives it
// stored trees as they are and stores its root as it stands. Main thread only.
class LayoutTreeEditorModel {
  public:
    // From the root: 0 takes a split's left child, 1 its right child. Empty is the root.
    using Path = std::vector<int>;
    enum class Property { root, displayUUID, id, name, selectedNodePath };
    using Observer = std::function<void(Property changed)>;

    // `root` in the proportions the caller edits; see above for what the export assumes.
    LayoutTreeEditorModel(LayoutNode root, std::string displayUUID, std::string id, std::string name);
    LayoutTreeEditorModel(const LayoutTreeEditorModel&) = delete;
    LayoutTreeEditorModel& operator=(const LayoutTreeEditorModel&) = delete;

    // Setters notify only when the value really changes.
    const LayoutNode& root() const { return root_; }
    void setRoot(LayoutNode root);
    const std::string& displayUUID() const { return displayUUID_; }
    void setDisplayUUID(std::string displayUUID);
    const std::string& id() const { return id_; }
    void setId(std::string id);
    const std::string& name() const { return name_; }
    void setName(std::string name);
    const Path& selectedNodePath() const { return selectedNodePath_; }
    void setSelectedNodePath(Path path);

    // Observers are called synchronously after each effective change, until the token ends.
    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(Observer observer);

    // Queries.
    std::optional<LayoutNode> node(const Path& at) const;
    Rect bounds(const Path& at, const Rect& canvas) const;
    Path findNodePath(Point point, const Rect& canvas) const;
    std::optional<double> ratio(const Path& at) const;
    std::int64_t nextAvailableRegionID() const;

    // Edits: true when applied; false leaves everything as it was.
    bool splitRegion(const Path& at, SplitAxis axis, double ratio);
    bool setRatio(const Path& at, double ratio);
    bool moveDivider(const Path& at, double to, const Rect& canvas);
    bool merge(const Path& at);
    bool removeRegion(const Path& at);
    bool updateRegion(const Path& at, std::optional<std::int64_t> id, std::optional<std::string> name);
    bool replaceNode(const Path& at, LayoutNode node);
    bool updateParentChain(const Path& path, LayoutNode node, int depth);

    // Divider positions as fractions of the canvas, keyed by the path of their split.
    std::map<Path, double> collectDividerPositions(const Rect& canvas) const;
    LayoutNode applyDividerPositions(const LayoutNode& node, const Rect& rect, const Path& path,
                                     const std::map<Path, double>& positions, const Rect& canvas) const;

    // Export and checks.
    LayoutNode exportedTree() const;
    ConfigZoneSet toConfigZoneSet(const std::string& displayUUID, const std::string& id,
                                  const std::string& name) const;
    static LayoutNode convertVerticalRatios(const LayoutNode& tree);
    RegionIDMap normalizeRegionIDs();
    std::vector<std::string> validate() const;

  private:
    struct Observers;

    void notify(Property changed);

    LayoutNode root_;
    std::string displayUUID_;
    std::string id_;
    std::string name_;
    Path selectedNodePath_;
    std::shared_ptr<Observers> observers_;
};

} // namespace korvane
