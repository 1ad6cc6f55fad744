// The layout tree: a region, or a two-way split of a rectangle into two subtrees, with the JSON form
// that every store holding a tree (user layouts, templates, scenes) shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane {

// "horizontal" cuts the width (left child on the left); "vertical" cuts the height (left child on top).
enum class SplitAxis { horizontal, vertical };

std::string_view toString(SplitAxis axis);
std::optional<SplitAxis> splitAxisFromString(std::string_view text);

enum class Direction { left, right, up, down };

class LayoutNode;

struct LayoutRegion {
    std::int64_t id = 0;
    std::optional<std::string> name;
};

// Children are shared and immutable, so copying a tree is cheap and a copy never sees later edits.
class LayoutSplit {
  public:
    SplitAxis axis = SplitAxis::horizontal;
    double ratio = 0.5; // the share of the left child

    const LayoutNode& left() const;
    const LayoutNode& right() const;

  private:
    friend class LayoutNode;
    std::shared_ptr<const LayoutNode> left_;
    std::shared_ptr<const LayoutNode> right_;
};

class LayoutNode {
  public:
    // Trees read from JSON may nest at most this many node levels; deeper input is refused as
    // corrupted so that a damaged or crafted file cannot exhaust the stack.
    static constexpr int kMaxDecodeDepth = 512;

    LayoutNode(); // region 0 without a name
    static LayoutNode region(std::int64_t id, std::optional<std::string> name = std::nullopt);
    static LayoutNode split(SplitAxis axis, double ratio, LayoutNode left, LayoutNode right);

    LayoutNode(const LayoutNode&) = default;
    LayoutNode(LayoutNode&&) noexcept = default;
    LayoutNode& operator=(const LayoutNode&) = default;
    LayoutNode& operator=(LayoutNode&&) noexcept = default;
    ~LayoutNode();

    bool isRegion() const { return std::holds_alternative<LayoutRegion>(value_); }
    bool isSplit() const { return std::holds_alternative<LayoutSplit>(value_); }
    // The payload of the case this node is, or null.
    const LayoutRegion* asRegion() const { return std::get_if<LayoutRegion>(&value_); }
    const LayoutSplit* asSplit() const { return std::get_if<LayoutSplit>(&value_); }

    // Region ids in leaf order, left subtree before right subtree.
    std::vector<std::int64_t> regionIDs() const;
    // 0 for a region; 1 + the deeper child's depth for a split.
    int depth() const;

    // Structural: case, then id and name, or axis, exact ratio, left and right.
    friend bool operator==(const LayoutNode& a, const LayoutNode& b);
    std::size_t hashValue() const;

  private:
    std::variant<LayoutRegion, LayoutSplit> value_;
};

inline const LayoutNode& LayoutSplit::left() const {
    return *left_;
}
inline const LayoutNode& LayoutSplit::right() const {
    return *right_;
}

// Writing a tree that nests more node levels than reading accepts: it could never be read back.
class LayoutTreeTooDeepError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// JSON form: {"type": "region", "id": 1, "name": "Top"} or
// {"type": "split", "axis": "vertical", "ratio": 0.6, "left": {...}, "right": {...}}.
// Reading throws DecodingError (core/DecodingError.h); writing a tree deeper than
// LayoutNode::kMaxDecodeDepth node levels throws LayoutTreeTooDeepError and builds nothing.
void to_json(nlohmann::json& j, const LayoutNode& node);
void to_json(nlohmann::ordered_json& j, const LayoutNode& node);
void from_json(const nlohmann::json& j, LayoutNode& node);
void from_json(const nlohmann::ordered_json& j, LayoutNode& node);

} // namespace korvane

template <> struct std::hash<korvane::LayoutNode> {
    std::size_t operator()(const korvane::LayoutNode& node) const { return node.hashValue(); }
};
