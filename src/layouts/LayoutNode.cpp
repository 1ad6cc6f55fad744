// Layout tree values: construction, traversal without recursion, structural equality and the JSON form.
#include "layouts/LayoutNode.h"

#include "core/DecodingError.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace korvane {

std::string_view toString(SplitAxis axis) {
    return axis == SplitAxis::horizontal ? "horizontal" : "vertical";
}

std::optional<SplitAxis> splitAxisFromString(std::string_view text) {
    if (text == "horizontal") return SplitAxis::horizontal;
    if (text == "vertical") return SplitAxis::vertical;
    return std::nullopt;
}

LayoutNode::LayoutNode() : value_(LayoutRegion{}) {}

LayoutNode LayoutNode::region(std::int64_t id, std::optional<std::string> name) {
    LayoutNode node;
    node.value_ = LayoutRegion{id, std::move(name)};
    return node;
}

LayoutNode LayoutNode::split(SplitAxis axis, double ratio, LayoutNode left, LayoutNode right) {
    LayoutSplit s;
    s.axis = axis;
    s.ratio = ratio;
    s.left_ = std::make_shared<const LayoutNode>(std::move(left));
    s.right_ = std::make_shared<const LayoutNode>(std::move(right));
    LayoutNode node;
    node.value_ = std::move(s);
    return node;
}

// Tearing down a long chain of splits one destructor inside the other could exhaust the stack (grid
// trees grow one level per split value), so the children this node alone owns are released from a
// work list instead. A child is only taken apart when this is its last owner: its object was made
// non-const by make_shared, and nobody else can reach it any more.
LayoutNode::~LayoutNode() {
    auto* s = std::get_if<LayoutSplit>(&value_);
    // A split moved from has nothing left to free; building trees bottom up leaves one per split.
    if (!s || (!s->left_ && !s->right_)) return;
    std::vector<std::shared_ptr<const LayoutNode>> pending;
    pending.push_back(std::move(s->left_));
    pending.push_back(std::move(s->right_));
    while (!pending.empty()) {
        std::shared_ptr<const LayoutNode> node = std::move(pending.back());
        pending.pop_back();
        if (node && node.use_count() == 1) {
            auto& owned = const_cast<LayoutNode&>(*node);
            if (auto* cs = std::get_if<LayoutSplit>(&owned.value_)) {
                pending.push_back(std::move(cs->left_));
                pending.push_back(std::move(cs->right_));
            }
        }
    }
}

std::vector<std::int64_t> LayoutNode::regionIDs() const {
    std::vector<std::int64_t> ids;
    std::vector<const LayoutNode*> stack{this};
    while (!stack.empty()) {
        const LayoutNode* node = stack.back();
        stack.pop_back();
        if (auto* r = node->asRegion()) {
            ids.push_back(r->id);
        } else if (auto* s = node->asSplit()) {
            stack.push_back(s->right_.get());
            stack.push_back(s->left_.get());
        }
    }
    return ids;
}

int LayoutNode::depth() const {
    int deepest = 0;
    std::vector<std::pair<const LayoutNode*, int>> stack{{this, 0}};
    while (!stack.empty()) {
        auto [node, level] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, level);
        if (auto* s = node->asSplit()) {
            stack.emplace_back(s->left_.get(), level + 1);
            stack.emplace_back(s->right_.get(), level + 1);
        }
    }
    return deepest;
}

bool operator==(const LayoutNode& a, const LayoutNode& b) {
    std::vector<std::pair<const LayoutNode*, const LayoutNode*>> stack{{&a, &b}};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        const LayoutRegion* rx = x->asRegion();
        const LayoutRegion* ry = y->asRegion();
        if (rx || ry) {
            if (!rx || !ry || rx->id != ry->id || rx->name != ry->name) return false;
            continue;
        }
        const LayoutSplit* sx = x->asSplit();
        const LayoutSplit* sy = y->asSplit();
        if (sx->axis != sy->axis || !(sx->ratio == sy->ratio)) return false;
        stack.emplace_back(&sx->right(), &sy->right());
        stack.emplace_back(&sx->left(), &sy->left());
    }
    return true;
}

namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

std::size_t LayoutNode::hashValue() const {
    std::size_t seed = 0;
    std::vector<const LayoutNode*> stack{this};
    while (!stack.empty()) {
        const LayoutNode* node = stack.back();
        stack.pop_back();
        if (auto* r = node->asRegion()) {
            combine(seed, 1);
            combine(seed, std::hash<std::int64_t>{}(r->id));
            combine(seed, r->name ? std::hash<std::string>{}(*r->name) : 0x5bd1e995u);
            combine(seed, r->name.has_value());
        } else if (auto* s = node->asSplit()) {
            combine(seed, 2);
            combine(seed, static_cast<std::size_t>(s->axis));
            // -0.0 == 0.0, so both must hash alike.
            double ratio = s->ratio == 0 ? 0.0 : s->ratio;
            combine(seed, std::hash<double>{}(ratio));
            stack.push_back(&s->right());
            stack.push_back(&s->left());
        }
    }
    return seed;
}

// ---- JSON ----

namespace {

template <class J> void encode(J& j, const LayoutNode& node) {
    j = J::object();
    if (auto* r = node.asRegion()) {
        j["type"] = "region";
        j["id"] = r->id;
        if (r->name) j["name"] = *r->name;
        return;
    }
    const LayoutSplit& s = *node.asSplit();
    j["type"] = "split";
    j["axis"] = std::string(toString(s.axis));
    j["ratio"] = s.ratio;
    J left;
    encode(left, s.left());
    j["left"] = std::move(left);
    J right;
    encode(right, s.right());
    j["right"] = std::move(right);
}

// Refused up front, so that encoding never recurses deeper than reading would, and a file is never
// written that its own reader would skip.
template <class J> void encodeReadable(J& j, const LayoutNode& node) {
    const int levels = node.depth() + 1;
    if (levels > LayoutNode::kMaxDecodeDepth)
        throw LayoutTreeTooDeepError("The layout tree nests " + std::to_string(levels) + " levels; at most " +
                                     std::to_string(LayoutNode::kMaxDecodeDepth) + " can be read back");
    encode(j, node);
}

template <class J> const J& requiredValue(const J& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null())
        throw DecodingError(DecodingError::Kind::keyNotFound, key,
                            std::string("No value associated with key \"") + key + "\"");
    return *it;
}

[[noreturn]] void mismatch(const char* key, const char* expected) {
    throw DecodingError(DecodingError::Kind::typeMismatch, key,
                        std::string("Expected ") + expected + " for key \"" + key + "\"");
}

template <class J> std::string requiredString(const J& object, const char* key) {
    const J& v = requiredValue(object, key);
    if (!v.is_string()) mismatch(key, "a string");
    return v.template get<std::string>();
}

template <class J> std::int64_t requiredInteger(const J& object, const char* key) {
    const J& v = requiredValue(object, key);
    if (v.is_number_unsigned()) {
        auto u = v.template get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw DecodingError(DecodingError::Kind::dataCorrupted, key,
                                std::string("Number for key \"") + key + "\" does not fit a 64-bit integer");
        return static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) return v.template get<std::int64_t>();
    if (v.is_number_float()) {
        // A whole number written with a decimal point is still that number; a fraction is not an id.
        double d = v.template get<double>();
        if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<std::int64_t>(d);
        throw DecodingError(DecodingError::Kind::dataCorrupted, key,
                            std::string("Number for key \"") + key + "\" is not a whole 64-bit integer");
    }
    mismatch(key, "an integer");
}

template <class J> double requiredNumber(const J& object, const char* key) {
    const J& v = requiredValue(object, key);
    if (!v.is_number()) mismatch(key, "a number");
    return v.template get<double>();
}

template <class J> LayoutNode decode(const J& j, int level) {
    if (level > LayoutNode::kMaxDecodeDepth)
        throw DecodingError(DecodingError::Kind::dataCorrupted, "",
                            "LayoutNode nesting exceeds " + std::to_string(LayoutNode::kMaxDecodeDepth) +
                                " levels");
    if (!j.is_object())
        throw DecodingError(DecodingError::Kind::typeMismatch, "", "Expected a LayoutNode object");

    std::string type = requiredString(j, "type");
    if (type == "region") {
        std::int64_t id = requiredInteger(j, "id");
        std::optional<std::string> name;
        auto it = j.find("name");
        if (it != j.end() && !it->is_null()) {
            if (!it->is_string()) mismatch("name", "a string");
            name = it->template get<std::string>();
        }
        return LayoutNode::region(id, std::move(name));
    }
    if (type == "split") {
        std::string axisText = requiredString(j, "axis");
        std::optional<SplitAxis> axis = splitAxisFromString(axisText);
        if (!axis)
            throw DecodingError(DecodingError::Kind::dataCorrupted, "axis",
                                "Unknown SplitAxis value: " + axisText);
        double ratio = requiredNumber(j, "ratio");
        LayoutNode left = decode(requiredValue(j, "left"), level + 1);
        LayoutNode right = decode(requiredValue(j, "right"), level + 1);
        return LayoutNode::split(*axis, ratio, std::move(left), std::move(right));
    }
    throw DecodingError(DecodingError::Kind::dataCorrupted, "type", "Unknown LayoutNode type: " + type);
}

} // namespace

void to_json(nlohmann::json& j, const LayoutNode& node) {
    encodeReadable(j, node);
}
void to_json(nlohmann::ordered_json& j, const LayoutNode& node) {
    encodeReadable(j, node);
}
void from_json(const nlohmann::json& j, LayoutNode& node) {
    node = decode(j, 1);
}
void from_json(const nlohmann::ordered_json& j, LayoutNode& node) {
    node = decode(j, 1);
}

} // namespace korvane
