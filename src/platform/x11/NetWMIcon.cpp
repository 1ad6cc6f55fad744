// Reading _NET_WM_ICON defensively: the value comes from another client, and a length that lies must
// neither read past the value nor make a huge picture.
#include "platform/x11/NetWMIcon.h"

#include <algorithm>

namespace korvane::x11 {

namespace {

constexpr std::uint32_t kLargestSide = 1024;

} // namespace

std::optional<platform::IconImage> pickNetWMIcon(const std::vector<std::uint32_t>& words, int wanted) {
    std::size_t bestAt = 0;
    std::uint32_t bestWidth = 0, bestHeight = 0;
    std::size_t at = 0;
    while (words.size() - at >= 2) {
        const std::uint32_t width = words[at], height = words[at + 1];
        if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide) break;
        const std::size_t count = static_cast<std::size_t>(width) * height;
        if (words.size() - at - 2 < count) break;
        const std::uint32_t side = std::max(width, height), bestSide = std::max(bestWidth, bestHeight);
        const auto want = static_cast<std::uint32_t>(wanted);
        const bool better = bestSide == 0 || (side >= want && (bestSide < want || side < bestSide)) ||
                            (side < want && bestSide < want && side > bestSide);
        if (better) bestAt = at, bestWidth = width, bestHeight = height;
        at += 2 + count;
    }
    if (bestWidth == 0) return std::nullopt;
    platform::IconImage image;
    image.width = static_cast<int>(bestWidth);
    image.height = static_cast<int>(bestHeight);
    const auto first = words.begin() + static_cast<std::ptrdiff_t>(bestAt + 2);
    image.argb.assign(first, first + static_cast<std::ptrdiff_t>(bestWidth) * bestHeight);
    return image;
}

} // namespace korvane::x11
