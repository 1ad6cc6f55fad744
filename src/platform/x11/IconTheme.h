// Finding an application's picture by the icon name its desktop entry gives, as icon themes lay them
// out: <data folder>/icons/<theme>/<N>x<N>/<context>/<name>.png, then the pixmaps folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane::x11 {

class IconTheme {
  public:
    // An absolute path is taken as it is when the file exists. A name is looked for in the "hicolor"
    // theme first, then in every other theme in name order, each at the size nearest 128 pixels (the
    // smallest at least that large, else the largest), then as <name>.png or <name>.xpm in the data
    // folders' "pixmaps". Only the formats every Qt build reads (PNG, XPM) count; a scalable picture is
    // passed over. Any thread; reads the file system on every call.
    static std::optional<std::string> find(const std::string& name,
                                           const std::vector<std::string>& dataFolders);
};

} // namespace korvane::x11
