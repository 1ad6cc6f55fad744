// Taking a topology snapshot and writing its digest.
#include "app/DisplayTopologySnapshot.h"

#include "app/DisplayUtil.h"
#include "platform/Screens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace korvane {

namespace {

// std::llround rounds halves away from zero, as the digest wants: 0.5 -> 1, -0.5 -> -1.
std::string rectText(const Rect& r) {
    return "x:" + std::to_string(std::llround(r.origin.x)) +
           ",y:" + std::to_string(std::llround(r.origin.y)) +
           ",w:" + std::to_string(std::llround(r.size.width)) +
           ",h:" + std::to_string(std::llround(r.size.height));
}

} // namespace

DisplayTopologySnapshot DisplayTopologySnapshot::capture(platform::Screens& screens) {
    std::optional<std::string> mainUUID;
    if (auto main = screens.mainScreen()) mainUUID = DisplayUtil::displayUUID(*main);
    DisplayTopologySnapshot snapshot;
    for (const auto& screen : screens.screens()) {
        Entry entry;
        entry.displayUUID = DisplayUtil::displayUUID(screen);
        entry.frame = screen.frame;
        entry.visibleFrame = screen.visibleFrame;
        entry.isMain = mainUUID && *mainUUID == entry.displayUUID;
        entry.backingScaleFactor = screen.backingScale;
        snapshot.entries.push_back(std::move(entry));
    }
    std::stable_sort(snapshot.entries.begin(), snapshot.entries.end(), [](const Entry& a, const Entry& b) {
        if (a.displayUUID != b.displayUUID) return a.displayUUID < b.displayUUID;
        return a.frame.minX() < b.frame.minX();
    });
    snapshot.digest = digestOf(snapshot.entries);
    return snapshot;
}

std::string DisplayTopologySnapshot::digestOf(const std::vector<Entry>& entries) {
    std::string digest;
    for (const auto& e : entries) {
        char scale[64];
        std::snprintf(scale, sizeof scale, "%.2f", e.backingScaleFactor);
        if (!digest.empty()) digest += ';';
        digest += e.displayUUID + "|" + rectText(e.frame) + "|" + rectText(e.visibleFrame) +
                  "|main:" + (e.isMain ? "1" : "0") + "|scale:" + scale;
    }
    return digest;
}

} // namespace korvane
