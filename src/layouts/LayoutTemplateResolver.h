// What the scene windows ask of the application about layouts: a layout by id, the tree of a
// layout, and the list offered in layout pickers.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutNode.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

class LayoutTemplateResolver {
  public:
    virtual ~LayoutTemplateResolver() = default;

    // Built-in layouts first (older built-in ids mapped to the current ones), then the user layouts.
    virtual std::optional<ConfigZoneSet> regionSet(const std::string& id) const = 0;
    // The layout's tree, else a grid from its split lists, else one region; nothing otherwise.
    virtual std::optional<LayoutNode> layoutTree(const ConfigZoneSet& set) const = 0;
    // The four built-in layouts followed by the user layouts, each id once.
    virtual std::vector<ConfigZoneSet> builtinLayoutTemplates() const = 0;
};

} // namespace korvane
