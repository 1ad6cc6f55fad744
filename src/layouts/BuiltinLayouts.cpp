// The built-in layouts and templates, and the lookup that also knows their former ids.
#include "layouts/BuiltinLayouts.h"

namespace korvane {

namespace {

ConfigZoneSet makeBuiltin(const char* id, const char* name, LayoutNode tree) {
    ConfigZoneSet set;
    set.id = id;
    set.name = name;
    set.version = "2.0";
    set.layoutTree = std::move(tree);
    return set;
}

LayoutTemplate templateOf(const ConfigZoneSet& set) {
    return LayoutTemplate{set.id, set.name, *set.layoutTree, *set.version, std::nullopt, std::nullopt};
}

LayoutNode leftRight(double ratio) {
    return LayoutNode::split(SplitAxis::horizontal, ratio, LayoutNode::region(1, "Left"),
                             LayoutNode::region(2, "Right"));
}

} // namespace

const ConfigZoneSet& builtinFullscreenLayout() {
    static const ConfigZoneSet set = makeBuiltin(kBuiltinFullscreenID, "Full", LayoutNode::region(1, "Full"));
    return set;
}

const ConfigZoneSet& builtinSplit6040Layout() {
    static const ConfigZoneSet set = makeBuiltin(kBuiltinSplit6040ID, "60:40", leftRight(0.6));
    return set;
}

const ConfigZoneSet& builtinSplit5050Layout() {
    static const ConfigZoneSet set = makeBuiltin(kBuiltinSplit5050ID, "50:50", leftRight(0.5));
    return set;
}

// A left quarter cut into an upper and a lower half; the rest cut 60:40 into a centre and a right part.
const ConfigZoneSet& builtinDailyLayout() {
    static const ConfigZoneSet set = makeBuiltin(
        kBuiltinDailyID, "Daily",
        LayoutNode::split(SplitAxis::horizontal, 0.25,
                          LayoutNode::split(SplitAxis::vertical, 0.5, LayoutNode::region(1, "Top Left"),
                                            LayoutNode::region(2, "Bottom Left")),
                          LayoutNode::split(SplitAxis::horizontal, 0.6, LayoutNode::region(3, "Center"),
                                            LayoutNode::region(4, "Right"))));
    return set;
}

const LayoutTemplate& builtinFullscreenTemplate() {
    static const LayoutTemplate t = templateOf(builtinFullscreenLayout());
    return t;
}

const LayoutTemplate& builtinSplit6040Template() {
    static const LayoutTemplate t = templateOf(builtinSplit6040Layout());
    return t;
}

const LayoutTemplate& builtinSplit5050Template() {
    static const LayoutTemplate t = templateOf(builtinSplit5050Layout());
    return t;
}

const std::vector<LayoutTemplate>& builtinLayoutTemplateList() {
    static const std::vector<LayoutTemplate> list = {builtinFullscreenTemplate(), builtinSplit6040Template(),
                                                     builtinSplit5050Template()};
    return list;
}

std::optional<ConfigZoneSet> legacyTemplateIDMap(std::string_view id) {
    if (id == kBuiltinFullscreenID) return builtinFullscreenLayout();
    if (id == kBuiltinSplit6040ID) return builtinSplit6040Layout();
    if (id == kBuiltinSplit5050ID) return builtinSplit5050Layout();
    if (id == kBuiltinDailyID) return builtinDailyLayout();
    // Ids of earlier versions.
    if (id == "builtin.grid.2x2") return builtinSplit5050Layout();
    if (id == "builtin.asym-2x1.left-60-40") return builtinSplit6040Layout();
    if (id == "user.new.1765176035") return builtinDailyLayout();
    return std::nullopt;
}

} // namespace korvane
