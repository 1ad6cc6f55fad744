// Short builders of layout trees and readable failure output for the layout tests.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Format.h"
#include "platform/Geometry.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace korvane {

inline LayoutNode R(std::int64_t id, std::optional<std::string> name = std::nullopt) {
    return LayoutNode::region(id, std::move(name));
}
inline LayoutNode H(double ratio, LayoutNode l, LayoutNode r) {
    return LayoutNode::split(SplitAxis::horizontal, ratio, std::move(l), std::move(r));
}
inline LayoutNode V(double ratio, LayoutNode l, LayoutNode r) {
    return LayoutNode::split(SplitAxis::vertical, ratio, std::move(l), std::move(r));
}

inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << platform::describe(r);
}
inline void PrintTo(const LayoutNode& n, std::ostream* os) {
    *os << nlohmann::ordered_json(n).dump();
}

} // namespace korvane
