// Editing state of one layout tree: path navigation, edits that rebuild the tree from the changed node
// up to the root, divider moves that keep the other dividers in place, and change notification.
#include "layouts/LayoutTreeEditorModel.h"

#include "layouts/ConfigZoneSet.h"
#include "platform/Logger.h"

#include <algorithm>
#include <set>
#include <utility>

namespace korvane {

namespace {

constexpr std::size_t kMaxPathLength = 99;
constexpr int kMaxChainDepth = 99;
constexpr int kMaxHitTestSplits = 100;
constexpr double kMinRatio = 0.05;
constexpr double kMaxRatio = 0.95;

double clampRatio(double r) {
    return std::clamp(r, kMinRatio, kMaxRatio);
}

// Editor geometry: the left child lies on the side of the smaller coordinate on both axes.
std::pair<Rect, Rect> childRects(SplitAxis axis, double r, const Rect& rect) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    if (axis == SplitAxis::horizontal) return {Rect{x, y, r * w, h}, Rect{x + r * w, y, (1 - r) * w, h}};
    return {Rect{x, y, w, r * h}, Rect{x, y + r * h, w, (1 - r) * h}};
}

LayoutNode withChild(const LayoutSplit& parent, int which, LayoutNode child) {
    if (which == 0) return LayoutNode::split(parent.axis, parent.ratio, std::move(child), parent.right());
    return LayoutNode::split(parent.axis, parent.ratio, parent.left(), std::move(child));
}

std::string pathLengthError(const char* operation, std::size_t length) {
    return std::string("[LayoutTreeEditorModel] ERROR: ") + operation + " path length " +
           std::to_string(length) + " exceeds limit!";
}

} // namespace

// Shared with the tokens, so a token that outlives the model cancels nothing and a model that outlives
// its tokens has no dangling entries.
struct LayoutTreeEditorModel::Observers {
    std::map<std::uint64_t, Observer> entries;
    std::uint64_t nextID = 1;
};

namespace {

class EditorObserverToken final : public platform::ObserverToken {
  public:
    explicit EditorObserverToken(std::function<void()> remove) : remove_(std::move(remove)) {}
    ~EditorObserverToken() override { cancel(); }
    void cancel() override {
        if (!remove_) return;
        auto remove = std::move(remove_);
        remove_ = nullptr;
        remove();
    }

  private:
    std::function<void()> remove_;
};

} // namespace

LayoutTreeEditorModel::LayoutTreeEditorModel(LayoutNode root, std::string displayUUID, std::string id,
                                             std::string name)
    : root_(std::move(root)), displayUUID_(std::move(displayUUID)), id_(std::move(id)),
      name_(std::move(name)), observers_(std::make_shared<Observers>()) {}

void LayoutTreeEditorModel::setRoot(LayoutNode root) {
    if (root == root_) return;
    root_ = std::move(root);
    notify(Property::root);
}

void LayoutTreeEditorModel::setDisplayUUID(std::string displayUUID) {
    if (displayUUID == displayUUID_) return;
    displayUUID_ = std::move(displayUUID);
    notify(Property::displayUUID);
}

void LayoutTreeEditorModel::setId(std::string id) {
    if (id == id_) return;
    id_ = std::move(id);
    notify(Property::id);
}

void LayoutTreeEditorModel::setName(std::string name) {
    if (name == name_) return;
    name_ = std::move(name);
    notify(Property::name);
}

void LayoutTreeEditorModel::setSelectedNodePath(Path path) {
    if (path == selectedNodePath_) return;
    selectedNodePath_ = std::move(path);
    notify(Property::selectedNodePath);
}

std::unique_ptr<platform::ObserverToken> LayoutTreeEditorModel::subscribe(Observer observer) {
    const std::uint64_t key = observers_->nextID++;
    observers_->entries.emplace(key, std::move(observer));
    std::weak_ptr<Observers> weak = observers_;
    return std::make_unique<EditorObserverToken>([weak, key] {
        if (auto state = weak.lock()) state->entries.erase(key);
    });
}

void LayoutTreeEditorModel::notify(Property changed) {
    // A copy, so that an observer may subscribe or cancel while being called; one cancelled by an
    // earlier observer of the same change is not called.
    std::shared_ptr<Observers> state = observers_;
    std::vector<std::pair<std::uint64_t, Observer>> current(state->entries.begin(), state->entries.end());
    for (auto& [key, observer] : current) {
        if (state->entries.count(key)) observer(changed);
    }
}

// ---- Queries ----

std::optional<LayoutNode> LayoutTreeEditorModel::node(const Path& at) const {
    if (at.size() > kMaxPathLength) {
        platform::printLine(pathLengthError("node(at:)", at.size()));
        return std::nullopt;
    }
    const LayoutNode* current = &root_;
    for (int step : at) {
        const LayoutSplit* s = current->asSplit();
        if (!s) return std::nullopt;
        current = step == 0 ? &s->left() : &s->right();
    }
    return *current;
}

Rect LayoutTreeEditorModel::bounds(const Path& at, const Rect& canvas) const {
    if (at.size() > kMaxPathLength) {
        platform::printLine(pathLengthError("bounds(at:)", at.size()));
        return canvas;
    }
    const LayoutNode* current = &root_;
    Rect rect = canvas;
    for (int step : at) {
        const LayoutSplit* s = current->asSplit();
        if (!s) return rect;
        auto [left, right] = childRects(s->axis, s->ratio, rect);
        if (step == 0) {
            current = &s->left();
            rect = left;
        } else {
            current = &s->right();
            rect = right;
        }
    }
    return rect;
}

LayoutTreeEditorModel::Path LayoutTreeEditorModel::findNodePath(Point point, const Rect& canvas) const {
    Path path;
    const LayoutNode* current = &root_;
    Rect rect = canvas;
    int descended = 0;
    while (const LayoutSplit* s = current->asSplit()) {
        if (descended >= kMaxHitTestSplits) {
            platform::printLine("[LayoutTreeEditorModel] ERROR: findNodePath exceeded 100 iterations!");
            return path;
        }
        auto [left, right] = childRects(s->axis, s->ratio, rect);
        if (left.contains(point)) {
            path.push_back(0);
            current = &s->left();
            rect = left;
        } else if (right.contains(point)) {
            path.push_back(1);
            current = &s->right();
            rect = right;
        } else {
            return path;
        }
        ++descended;
    }
    return path;
}

std::optional<double> LayoutTreeEditorModel::ratio(const Path& at) const {
    auto n = node(at);
    if (!n || !n->isSplit()) return std::nullopt;
    return n->asSplit()->ratio;
}

std::int64_t LayoutTreeEditorModel::nextAvailableRegionID() const {
    const std::vector<std::int64_t> ids = root_.regionIDs();
    const std::set<std::int64_t> used(ids.begin(), ids.end());
    std::int64_t candidate = 1;
    while (used.count(candidate))
        ++candidate;
    return candidate;
}

// ---- Edits ----

bool LayoutTreeEditorModel::splitRegion(const Path& at, SplitAxis axis, double ratio) {
    auto target = node(at);
    if (!target || !target->isRegion()) return false;
    const LayoutRegion& region = *target->asRegion();
    std::optional<std::string> leftName, rightName;
    if (region.name) {
        leftName = *region.name + "-L";
        rightName = *region.name + "-R";
    }
    LayoutNode replacement =
        LayoutNode::split(axis, ratio, LayoutNode::region(region.id, std::move(leftName)),
                          LayoutNode::region(nextAvailableRegionID(), std::move(rightName)));
    return replaceNode(at, std::move(replacement));
}

bool LayoutTreeEditorModel::setRatio(const Path& at, double ratio) {
    auto target = node(at);
    if (!target || !target->isSplit()) return false;
    const LayoutSplit& s = *target->asSplit();
    return replaceNode(at, LayoutNode::split(s.axis, clampRatio(ratio), s.left(), s.right()));
}

bool LayoutTreeEditorModel::moveDivider(const Path& at, double to, const Rect& canvas) {
    const double r = clampRatio(to);
    auto target = node(at);
    if (!target || !target->isSplit()) return false;
    const SplitAxis axis = target->asSplit()->axis;

    std::map<Path, double> positions = collectDividerPositions(canvas);
    const Rect b = bounds(at, canvas);
    if (axis == SplitAxis::vertical) {
        positions[at] = (b.origin.y + r * b.size.height) / std::max(canvas.size.height, 1.0);
    } else {
        positions[at] = (b.origin.x + r * b.size.width) / std::max(canvas.size.width, 1.0);
    }
    setRoot(applyDividerPositions(root_, canvas, {}, positions, canvas));
    return true;
}

bool LayoutTreeEditorModel::merge(const Path& at) {
    auto target = node(at);
    if (!target || !target->isSplit()) return false;
    const std::vector<std::int64_t> ids = target->regionIDs();
    return replaceNode(at, LayoutNode::region(*std::min_element(ids.begin(), ids.end())));
}

bool LayoutTreeEditorModel::removeRegion(const Path& at) {
    return merge(at);
}

bool LayoutTreeEditorModel::updateRegion(const Path& at, std::optional<std::int64_t> id,
                                         std::optional<std::string> name) {
    auto target = node(at);
    if (!target || !target->isRegion()) return false;
    return replaceNode(at, LayoutNode::region(id.value_or(target->asRegion()->id), std::move(name)));
}

// A path step other than 0 or 1 names no child: node(at:) reads it as the right child, but an edit
// through it would replace nothing and still report success, so such edits fail instead.
bool LayoutTreeEditorModel::replaceNode(const Path& at, LayoutNode node) {
    if (at.size() > kMaxPathLength) {
        platform::printLine(pathLengthError("replaceNode", at.size()));
        return false;
    }
    if (at.empty()) {
        setRoot(std::move(node));
        return true;
    }
    const int which = at.back();
    if (which != 0 && which != 1) return false;
    const Path parentPath(at.begin(), at.end() - 1);
    auto parent = this->node(parentPath);
    if (!parent || !parent->isSplit()) return false;
    return updateParentChain(parentPath, withChild(*parent->asSplit(), which, std::move(node)), 0);
}

bool LayoutTreeEditorModel::updateParentChain(const Path& path, LayoutNode node, int depth) {
    // Walks up iteratively; `depth` counts the levels already climbed by the caller.
    Path current = path;
    for (;; ++depth) {
        if (depth > kMaxChainDepth) {
            platform::printLine("[LayoutTreeEditorModel] ERROR: updateParentChain exceeded max depth 100!");
            return false;
        }
        if (current.empty()) {
            setRoot(std::move(node));
            return true;
        }
        const int which = current.back();
        if (which != 0 && which != 1) return false;
        current.pop_back();
        auto parent = this->node(current);
        if (!parent || !parent->isSplit()) return false;
        node = withChild(*parent->asSplit(), which, std::move(node));
    }
}

// ---- Divider moves ----

namespace {

// Dividers below the deepest path an edit can name are left where their splits put them, which keeps
// the walk as shallow as the paths are short.
void collectPositions(const LayoutNode& node, const Rect& rect, LayoutTreeEditorModel::Path& path,
                      const Rect& canvas, std::map<LayoutTreeEditorModel::Path, double>& into) {
    const LayoutSplit* s = node.asSplit();
    if (!s || path.size() > kMaxPathLength) return;
    auto [left, right] = childRects(s->axis, s->ratio, rect);
    into[path] = s->axis == SplitAxis::vertical ? left.maxY() / std::max(canvas.size.height, 1.0)
                                                : left.maxX() / std::max(canvas.size.width, 1.0);
    path.push_back(0);
    collectPositions(s->left(), left, path, canvas, into);
    path.back() = 1;
    collectPositions(s->right(), right, path, canvas, into);
    path.pop_back();
}

} // namespace

std::map<LayoutTreeEditorModel::Path, double>
LayoutTreeEditorModel::collectDividerPositions(const Rect& canvas) const {
    std::map<Path, double> positions;
    Path path;
    collectPositions(root_, canvas, path, canvas, positions);
    return positions;
}

LayoutNode LayoutTreeEditorModel::applyDividerPositions(const LayoutNode& node, const Rect& rect,
                                                        const Path& path,
                                                        const std::map<Path, double>& positions,
                                                        const Rect& canvas) const {
    const LayoutSplit* s = node.asSplit();
    // collectPositions records nothing deeper, so such a subtree keeps its ratios as it is.
    if (!s || path.size() > kMaxPathLength) return node;
    double r = s->ratio;
    if (auto it = positions.find(path); it != positions.end()) {
        const bool vertical = s->axis == SplitAxis::vertical;
        const double extent = vertical ? canvas.size.height : canvas.size.width;
        const double start = vertical ? rect.origin.y : rect.origin.x;
        const double length = vertical ? rect.size.height : rect.size.width;
        r = clampRatio((it->second * extent - start) / std::max(length, 1.0));
    }
    auto [left, right] = childRects(s->axis, r, rect);
    Path childPath = path;
    childPath.push_back(0);
    LayoutNode newLeft = applyDividerPositions(s->left(), left, childPath, positions, canvas);
    childPath.back() = 1;
    LayoutNode newRight = applyDividerPositions(s->right(), right, childPath, positions, canvas);
    return LayoutNode::split(s->axis, r, std::move(newLeft), std::move(newRight));
}

// ---- Export and checks ----

LayoutNode LayoutTreeEditorModel::exportedTree() const {
    return convertVerticalRatios(root_);
}

ConfigZoneSet LayoutTreeEditorModel::toConfigZoneSet(const std::string& displayUUID, const std::string& id,
                                                     const std::string& name) const {
    return LayoutTreeModel(exportedTree(), displayUUID_, id_, name_).toConfigZoneSet(displayUUID, id, name);
}

// Without recursion: a tree built from long split lists of a damaged file can be far deeper than the
// stack would allow. Children are converted before their split, left before right.
LayoutNode LayoutTreeEditorModel::convertVerticalRatios(const LayoutNode& tree) {
    struct Step {
        const LayoutNode* node;
        bool childrenDone;
    };
    std::vector<Step> pending{{&tree, false}};
    std::vector<LayoutNode> converted;
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        const LayoutSplit* s = step.node->asSplit();
        if (!s) {
            converted.push_back(*step.node);
        } else if (!step.childrenDone) {
            pending.push_back({step.node, true});
            pending.push_back({&s->right(), false});
            pending.push_back({&s->left(), false});
        } else {
            LayoutNode right = std::move(converted.back());
            converted.pop_back();
            LayoutNode left = std::move(converted.back());
            converted.pop_back();
            const double r = s->axis == SplitAxis::vertical ? 1 - s->ratio : s->ratio;
            converted.push_back(LayoutNode::split(s->axis, clampRatio(r), std::move(left), std::move(right)));
        }
    }
    return std::move(converted.back());
}

RegionIDMap LayoutTreeEditorModel::normalizeRegionIDs() {
    LayoutTreeModel model(root_, displayUUID_, id_, name_);
    RegionIDMap map = model.normalizedRegionIDMap(Rect{0, 0, 1, 1});
    if (!map.empty()) {
        setRoot(std::move(model.root));
        platform::printLine("[LayoutTreeEditorModel] normalized region IDs by position: " +
                            describeRegionIDMap(map));
    }
    return map;
}

std::vector<std::string> LayoutTreeEditorModel::validate() const {
    return LayoutTreeModel(root_, displayUUID_, id_, name_).validate();
}

} // namespace korvane
