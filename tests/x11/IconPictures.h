// Application pictures of four coloured quadrants, made for the program to show and found again in what
// the X server shows: the tests that check which picture an application gets, and that it is the same
// wherever it is shown.
#pragma once

#include "X11TestSession.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace korvane::x11::test {

// Each picture is four quadrants of colours seen nowhere else on the screen, so that it can be found in
// what the server shows; top left, top right, bottom left, bottom right, as 0xRRGGBB.
using Quadrants = std::array<std::uint32_t, 4>;

inline bool near(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift : {16, 8, 0})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

// A picture as the server shows it: where it stands, and the colours a little inside the middle of each
// quadrant, towards the centre (the picture at a common size; a tile's hint badge and a chip's remove
// badge cover corners).
struct FoundIcon {
    Rect bounds;
    std::vector<std::uint32_t> samples;
};

// The picture drawn at `side` pixels square in `area`: its top-left quadrant is a patch of that colour
// about half the side square (scaling blurs the edges between quadrants; other patches, such as the window
// manager's small copy of a window's icon in its title bar, are of other sizes), and the four samples
// taken from there hold the four colours.
inline std::optional<FoundIcon> findIcon(X11TestSession& session, const Rect& area, const Quadrants& colours,
                                         double side) {
    const std::vector<std::uint32_t> pixels = session.rootPixels(area);
    const int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
    if (pixels.size() != static_cast<std::size_t>(width) * height) return std::nullopt;
    const auto at = [&](int x, int y) { return pixels[std::size_t(y) * width + x]; };
    std::vector<bool> seen(pixels.size());
    for (int y0 = 0; y0 < height; ++y0)
        for (int x0 = 0; x0 < width; ++x0) {
            if (seen[std::size_t(y0) * width + x0] || !near(at(x0, y0), colours[0], 24)) continue;
            int left = x0, top = y0, right = x0, bottom = y0;
            std::vector<std::pair<int, int>> pending{{x0, y0}};
            seen[std::size_t(y0) * width + x0] = true;
            while (!pending.empty()) {
                const auto [x, y] = pending.back();
                pending.pop_back();
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                for (const auto& [nx, ny] : {std::pair{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    if (seen[std::size_t(ny) * width + nx] || !near(at(nx, ny), colours[0], 24)) continue;
                    seen[std::size_t(ny) * width + nx] = true;
                    pending.emplace_back(nx, ny);
                }
            }
            const double low = side / 2 - side / 8 - 2, high = side / 2 + 2;
            const int w = right - left + 1, h = bottom - top + 1;
            if (w < low || w > high || h < low || h > high) continue;
            FoundIcon found{Rect{area.minX() + left, area.minY() + top, side, side}, {}};
            bool whole = true;
            int quadrant = 0;
            for (double row : {0.375, 0.625})
                for (double column : {0.375, 0.625}) {
                    const int x = left + int(column * side), y = top + int(row * side);
                    const std::uint32_t colour = x < width && y < height ? at(x, y) : 0;
                    whole = whole && near(colour, colours[quadrant++], 60);
                    found.samples.push_back(colour);
                }
            if (whole) return found;
        }
    return std::nullopt;
}

// The picture, found in `area` once it is drawn at `side` pixels.
inline std::optional<FoundIcon> waitForIcon(X11TestSession& session, const Rect& area,
                                            const Quadrants& colours, double side) {
    std::optional<FoundIcon> found;
    X11TestSession::waitFor([&] { return (found = findIcon(session, area, colours, side)).has_value(); });
    return found;
}

// The same picture: each quadrant alike, within what scaling to another size blurs.
inline ::testing::AssertionResult samePicture(const std::optional<FoundIcon>& a,
                                              const std::optional<FoundIcon>& b) {
    if (!a || !b) return ::testing::AssertionFailure() << "a picture is missing";
    for (std::size_t i = 0; i < a->samples.size(); ++i)
        if (!near(a->samples[i], b->samples[i], 60))
            return ::testing::AssertionFailure()
                   << "quadrant " << i << ": " << std::hex << a->samples[i] << " against " << b->samples[i];
    return ::testing::AssertionSuccess();
}

// _NET_WM_ICON words of a 16 × 16 picture in the quadrants' colours, as a window carries its picture.
inline std::vector<std::uint32_t> netWMIcon(const Quadrants& colours) {
    std::vector<std::uint32_t> words{16, 16};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            words.push_back(0xFF000000u | colours[(y < 8 ? 0 : 2) + (x < 8 ? 0 : 1)]);
    return words;
}

// A 16 × 16 picture file in the quadrants' colours, in a format the program reads (XPM).
inline void writeQuadrantsXpm(const std::filesystem::path& path, const Quadrants& colours) {
    std::ofstream xpm(path);
    xpm << "/* XPM */\nstatic char *t[] = {\n\"16 16 4 1\",\n";
    const char keys[] = "abcd";
    for (int i = 0; i < 4; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X", colours[i]);
        xpm << "\"" << keys[i] << " c #" << hex << "\",\n";
    }
    for (int y = 0; y < 16; ++y)
        xpm << "\"" << std::string(8, keys[(y < 8 ? 0 : 2)]) << std::string(8, keys[(y < 8 ? 1 : 3)])
            << (y < 15 ? "\",\n" : "\"};\n");
}

} // namespace korvane::x11::test
