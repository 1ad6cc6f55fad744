// Zone computation, validation, grid trees and reading-order renumbering of layout trees.
#include "layouts/LayoutTreeModel.h"

#include "layouts/ConfigZoneSet.h"
#include "platform/Format.h"
#include "platform/Logger.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <set>

namespace korvane {

namespace {

// Nodes below this depth are not placed; a sane layout never comes near it.
constexpr int kMaxWalkDepth = 99;
constexpr int kMaxValidDepth = 50;
// Renumbering reaches every node a stored tree can hold: a region it left out would keep its old id
// beside the new 1…n, and the tree would be saved with two regions of one id.
constexpr int kMaxRenumberDepth = LayoutNode::kMaxDecodeDepth - 1;

// The two children's rectangles; y grows upwards, so a vertical split's left (top) part sits above.
std::pair<Rect, Rect> childRects(const LayoutSplit& s, const Rect& rect) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    const double r = s.ratio;
    if (s.axis == SplitAxis::horizontal) return {Rect{x, y, r * w, h}, Rect{x + r * w, y, (1 - r) * w, h}};
    return {Rect{x, y + (1 - r) * h, w, r * h}, Rect{x, y, w, (1 - r) * h}};
}

// The rectangles of the regions down to kMaxRenumberDepth, walked without recursion in leaf order, so
// that a later region with the same id wins as in zones().
RegionFrames renumberableFrames(const LayoutNode& root, const Rect& in) {
    RegionFrames frames;
    struct Visit {
        const LayoutNode* node;
        Rect rect;
        int depth;
    };
    std::vector<Visit> pending{{&root, in, 0}};
    while (!pending.empty()) {
        const Visit v = pending.back();
        pending.pop_back();
        if (v.depth > kMaxRenumberDepth) continue;
        if (auto* r = v.node->asRegion()) {
            frames[r->id] = v.rect;
            continue;
        }
        const LayoutSplit& s = *v.node->asSplit();
        const auto [left, right] = childRects(s, v.rect);
        pending.push_back({&s.right(), right, v.depth + 1});
        pending.push_back({&s.left(), left, v.depth + 1});
    }
    return frames;
}

} // namespace

LayoutTreeModel::LayoutTreeModel(LayoutNode root, std::string displayUUID, std::string id, std::string name)
    : root(std::move(root)), displayUUID(std::move(displayUUID)), id(std::move(id)), name(std::move(name)) {}

RegionFrames LayoutTreeModel::zones(const Rect& in) const {
    RegionFrames frames;
    computeZones(root, frames, 0, in);
    return frames;
}

void LayoutTreeModel::computeZones(const LayoutNode& node, RegionFrames& into, int depth,
                                   const Rect& rect) const {
    if (depth > kMaxWalkDepth) {
        platform::printLine(
            "[LayoutTreeModel] ERROR: computeZones exceeded max depth 100, possible infinite recursion!");
        return;
    }
    if (auto* r = node.asRegion()) {
        into[r->id] = rect; // a later region with the same id wins
        return;
    }
    const LayoutSplit& s = *node.asSplit();
    const auto [left, right] = childRects(s, rect);
    computeZones(s.left(), into, depth + 1, left);
    computeZones(s.right(), into, depth + 1, right);
}

std::vector<std::string> LayoutTreeModel::validate() const {
    const int depth = root.depth();
    if (depth > kMaxValidDepth) {
        return {"Tree depth " + std::to_string(depth) + " exceeds safe limit (50)"};
    }
    const std::vector<std::int64_t> ids = root.regionIDs();
    if (ids.empty()) return {"Layout must contain at least one region"};

    std::vector<std::string> problems;
    if (std::set<std::int64_t>(ids.begin(), ids.end()).size() != ids.size()) {
        problems.push_back("Duplicate region IDs detected: " + platform::describeList(ids));
    }
    validateRatios(root, problems, 0);
    return problems;
}

void LayoutTreeModel::validateRatios(const LayoutNode& node, std::vector<std::string>& problems,
                                     int depth) const {
    if (depth > kMaxWalkDepth) {
        problems.push_back("validateRatios exceeded max depth 100");
        return;
    }
    const LayoutSplit* s = node.asSplit();
    if (!s) return;
    if (!(s->ratio > 0 && s->ratio < 1)) {
        problems.push_back("Split ratio " + platform::describe(s->ratio) + " must be in range (0, 1)");
    }
    validateRatios(s->left(), problems, depth + 1);
    validateRatios(s->right(), problems, depth + 1);
}

ConfigZoneSet LayoutTreeModel::toConfigZoneSet(const std::string& displayUUID, const std::string& id,
                                               const std::string& name) const {
    ConfigZoneSet set;
    set.id = id;
    // The same trimming as the application's save, so an editor export and a saved layout agree.
    std::string trimmed = trimmingWhitespaceAndNewlines(displayUUID);
    if (!trimmed.empty()) set.displayUUID = std::move(trimmed);
    set.name = name;
    set.version = "2.0";
    set.layoutTree = root;
    return set;
}

RegionIDMap LayoutTreeModel::normalizedRegionIDMap(const Rect& in) {
    const RegionFrames frames = renumberableFrames(root, in);
    if (frames.size() < 2) return {};

    const double tolerance = 0.005 * std::min(in.width(), in.height());
    std::vector<std::pair<std::int64_t, Rect>> pairs(frames.begin(), frames.end());
    sortInReadingOrder(pairs, tolerance);

    RegionIDMap map;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        map[pairs[k].first] = static_cast<std::int64_t>(k) + 1;
    }
    root = remapIDs(root, map, 0);
    return map;
}

// Rebuilt bottom up with explicit stacks: a split is made once both its children are, which they are
// in leaf order, left then right.
LayoutNode LayoutTreeModel::remapIDs(const LayoutNode& node, const RegionIDMap& map, int depth) const {
    struct Visit {
        const LayoutNode* node;
        int depth;
        bool childrenBuilt;
    };
    std::vector<Visit> pending{{&node, depth, false}};
    std::vector<LayoutNode> built;
    while (!pending.empty()) {
        const Visit v = pending.back();
        pending.pop_back();
        if (v.depth > kMaxRenumberDepth) {
            platform::printLine("[LayoutTreeModel] ERROR: remapIDs exceeded max depth " +
                                std::to_string(kMaxRenumberDepth + 1) + "!");
            built.push_back(*v.node);
            continue;
        }
        if (auto* r = v.node->asRegion()) {
            auto it = map.find(r->id);
            built.push_back(it == map.end() ? *v.node : LayoutNode::region(it->second, r->name));
            continue;
        }
        const LayoutSplit& s = *v.node->asSplit();
        if (!v.childrenBuilt) {
            pending.push_back({v.node, v.depth, true});
            pending.push_back({&s.right(), v.depth + 1, false});
            pending.push_back({&s.left(), v.depth + 1, false});
            continue;
        }
        LayoutNode right = std::move(built.back());
        built.pop_back();
        LayoutNode left = std::move(built.back());
        built.pop_back();
        built.push_back(LayoutNode::split(s.axis, s.ratio, std::move(left), std::move(right)));
    }
    return std::move(built.back());
}

// Built from the last row and the last column backwards, so that long split lists from a damaged file
// cost no stack.
LayoutNode LayoutTreeModel::gridTree(const std::vector<double>& columns, const std::vector<double>& rows,
                                     std::int64_t startID) {
    const auto columnCount = static_cast<std::int64_t>(columns.size());
    auto rowTree = [&](std::int64_t firstID) {
        LayoutNode tail = LayoutNode::region(firstID + columnCount);
        for (std::int64_t i = columnCount - 1; i >= 0; --i) {
            tail = LayoutNode::split(SplitAxis::horizontal, columns[static_cast<std::size_t>(i)],
                                     LayoutNode::region(firstID + i), std::move(tail));
        }
        return tail;
    };
    // Each row takes one id per column plus one, whichever of its regions are used.
    const std::int64_t rowStride = columnCount + 1;
    const auto rowCount = static_cast<std::int64_t>(rows.size());
    LayoutNode tail = rowTree(startID + rowCount * rowStride);
    for (std::int64_t k = rowCount - 1; k >= 0; --k) {
        tail = LayoutNode::split(SplitAxis::vertical, rows[static_cast<std::size_t>(k)],
                                 rowTree(startID + k * rowStride), std::move(tail));
    }
    return tail;
}

bool regionPositionPrecedes(const std::pair<std::int64_t, Rect>& a, const std::pair<std::int64_t, Rect>& b,
                            double tolerance) {
    const Rect& fa = a.second;
    const Rect& fb = b.second;
    const double dx = std::abs(fa.minX() - fb.minX());
    if (dx > tolerance && fa.minX() < fb.minX()) return true;
    if (dx <= tolerance && std::abs(fa.midY() - fb.midY()) > tolerance && fa.maxY() > fb.maxY()) return true;
    return fa == fb && a.first < b.first;
}

namespace {

using RegionPosition = std::pair<std::int64_t, Rect>;

// Long enough that a layout of ordinary size is one run, short enough that the quadratic insertion sort
// stays cheap within it.
constexpr std::size_t kInsertionRun = 32;

template <class Precedes>
void insertionSort(std::vector<RegionPosition>& pairs, std::size_t begin, std::size_t end,
                   Precedes precedes) {
    for (std::size_t i = begin + 1; i < end; ++i) {
        RegionPosition current = std::move(pairs[i]);
        std::size_t j = i;
        while (j > begin && precedes(current, pairs[j - 1])) {
            pairs[j] = std::move(pairs[j - 1]);
            --j;
        }
        pairs[j] = std::move(current);
    }
}

} // namespace

// Runs sorted by insertion, then merged pairwise bottom up. A merge takes from the right run only when
// its element strictly precedes the left one, which keeps the sort stable; neither step relies on the
// relation being consistent, so its blur near the tolerance costs order, never termination or bounds.
void sortInReadingOrder(std::vector<std::pair<std::int64_t, Rect>>& pairs, double tolerance) {
    auto precedes = [tolerance](const RegionPosition& a, const RegionPosition& b) {
        return regionPositionPrecedes(a, b, tolerance);
    };
    const std::size_t n = pairs.size();
    for (std::size_t begin = 0; begin < n; begin += kInsertionRun)
        insertionSort(pairs, begin, std::min(begin + kInsertionRun, n), precedes);
    if (n <= kInsertionRun) return;

    std::vector<RegionPosition> merged(n);
    for (std::size_t width = kInsertionRun; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                merged[k++] = precedes(pairs[j], pairs[i]) ? std::move(pairs[j++]) : std::move(pairs[i++]);
            while (i < mid)
                merged[k++] = std::move(pairs[i++]);
            while (j < hi)
                merged[k++] = std::move(pairs[j++]);
        }
        pairs.swap(merged);
    }
}

std::string describeRegionIDMap(const RegionIDMap& map) {
    if (map.empty()) return "[:]";
    std::string text = "[";
    bool first = true;
    for (const auto& [from, to] : map) {
        if (!first) text += ", ";
        first = false;
        text += std::to_string(from) + ": " + std::to_string(to);
    }
    return text + "]";
}

} // namespace korvane
