// A window's _NET_WM_ICON: any number of pictures, each its width, its height and that many 32-bit
// ARGB pixels, set by the client as it likes.
#pragma once

#include "platform/Workspace.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace korvane::x11 {

// The picture nearest `wanted` pixels (the smallest at least that large, else the largest); a picture
// whose size is zero, larger than 1024 on a side, or longer than what is left of the value ends the
// reading there. Nothing when no whole picture precedes that.
std::optional<platform::IconImage> pickNetWMIcon(const std::vector<std::uint32_t>& words, int wanted);

} // namespace korvane::x11
