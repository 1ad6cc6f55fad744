// The fixture of the window control core's tests on a real X server: the backend's fixture plus the
// accessibility wrapper as the subsystems use it, zones cut from a monitor's visible frame, and the
// check that a frame landed in a zone as closely as a client's size increments allow.
#pragma once

#include "X11Fixture.h"

#include "core/AXUtil.h"
#include "core/WMState.h"
#include "platform/Format.h"
#include "platform/Screens.h"

#include <cmath>

namespace korvane::x11::test {

class CoreOnX11Test : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        if (desktop) ax = std::make_shared<AXUtil>(*desktop);
    }
    void TearDown() override {
        ax.reset(); // it refers to the desktop, which the base tears down
        X11Test::TearDown();
    }

    // The screen whose name is `name` as the desktop reports it now.
    platform::ScreenInfo screenNamed(const std::string& name) {
        for (const auto& s : desktop->screens().screens())
            if (s.localizedName == name) return s;
        ADD_FAILURE() << "no screen named " << name;
        return {};
    }

    std::shared_ptr<AXUtil> ax;
};

// Three zones of a visible frame (bottom-left): the left half at full height, the right half's top and
// bottom quarters. Between them a window meets the visible frame's bottom, its top, and both.
inline std::vector<Rect> zonesOf(const Rect& v) {
    const double half = std::floor(v.width() / 2), upper = std::floor(v.height() / 2);
    return {Rect{v.minX(), v.minY(), half, v.height()},
            Rect{v.minX() + half, v.minY() + v.height() - upper, v.width() - half, upper},
            Rect{v.minX() + half, v.minY(), v.width() - half, v.height() - upper}};
}

// A zone state for a screen with the three zones of its visible frame, numbered 1 to 3 in that order.
inline std::shared_ptr<WMState> zoneStateOf(const platform::ScreenInfo& screen) {
    Layout layout;
    layout.screenId = screen.displayUUID;
    const auto zones = zonesOf(screen.visibleFrame);
    for (int id = 1; id <= 3; ++id)
        layout.zones[id] = Zone{id, zones[static_cast<std::size_t>(id - 1)], {}, 0};
    return std::make_shared<WMState>(layout);
}

// Whether `actual` fills `zone` as far as the size increments let it: the left edge on the zone's,
// never larger, less than one cell smaller, and held to the edge that moveResize keeps (the bottom for
// a zone on the visible frame's bottom, else the top).
inline ::testing::AssertionResult fillsZone(const Rect& actual, const Rect& zone, const Rect& visible) {
    const bool anchorBottom = std::fabs(zone.minY() - visible.minY()) <= 1.0;
    const bool ok = actual.minX() == zone.minX() && withinCell(actual.size, zone.size) &&
                    (anchorBottom ? actual.minY() == zone.minY() : actual.maxY() == zone.maxY());
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "frame " << platform::describe(actual) << " does not fill zone " << platform::describe(zone)
           << (anchorBottom ? " at its bottom" : " at its top");
}

} // namespace korvane::x11::test
