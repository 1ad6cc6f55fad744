// The parking frame, the parked-window test and the launch pass that brings parked windows back.
#include "core/Rescuer.h"

#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace WK = platform::WindowKey;

Rect fittedIntegralRect(const Rect& r, const Rect& v) {
    const double w = std::max(std::isfinite(r.width()) ? r.width() : 0.0, 1.0);
    const double h = std::max(std::isfinite(r.height()) ? r.height() : 0.0, 1.0);
    const double y0 = std::isfinite(r.minY()) ? r.minY() : v.midY();
    const double y = std::max(std::min(y0, v.maxY() - h), v.minY());
    const double x = v.minX() - w + 1;
    return Rect{x, y, w, h}.integral();
}

Rect parkingFrame(const Rect& r, const Rect& v, const std::vector<platform::ScreenInfo>& screens) {
    const Rect atOwnEdge = fittedIntegralRect(r, v);
    // Only screens across the window's height can show it; off the left-most of them it meets none of
    // the others, whatever lies between.
    double edge = v.minX();
    for (const auto& screen : screens) {
        const Rect& other = screen.visibleFrame;
        if (other.minY() < atOwnEdge.maxY() && other.maxY() > atOwnEdge.minY())
            edge = std::min(edge, other.minX());
    }
    if (edge == v.minX()) return atOwnEdge;
    return fittedIntegralRect(r, Rect{edge, v.minY(), v.maxX() - edge, v.height()});
}

namespace {

// How much of a parked window may still show on a screen, across one side: the point that parking leaves
// and the two that the edge test forgives, or what a window manager keeps on screen of a window that a
// client moves off it (a tenth, seen with openbox), whichever is more.
double sliver(double side) {
    return std::max(3.0, std::ceil(side / 10));
}

// Whether more than a sliver of the window shows on the visible frame: both across and along.
bool showsOn(const Rect& frame, const Rect& visible) {
    if (!frame.intersects(visible)) return false;
    const Rect part = frame.intersection(visible);
    return part.width() > sliver(frame.width()) && part.height() > sliver(frame.height());
}

} // namespace

bool isParkedOffscreen(const Rect& frame, const std::vector<platform::ScreenInfo>& screens) {
    if (frame.minX() < -40000 && frame.minY() < -40000) return true;
    // A window that shows on a screen is in use there, wherever its edges lie: with screens side by
    // side, a window against the right edge of the left one meets the next one's left edge as a window
    // parked there does.
    for (const auto& screen : screens)
        if (showsOn(frame, screen.visibleFrame)) return false;
    for (const auto& screen : screens) {
        const Rect& v = screen.visibleFrame;
        if (std::fabs(frame.maxX() - (v.minX() + 1)) <= 2 && frame.minX() < v.minX() - 10) return true;
    }
    return false;
}

bool isParkedOffscreen(const Rect& frame) {
    return isParkedOffscreen(frame, platform::Platform::current().screens().screens());
}

bool carriesParkingMark(const platform::WindowInfo& entry) {
    if (!entry.is_object()) return false;
    const auto mark = entry.find(platform::WindowKey::parked);
    return mark != entry.end() && mark->is_boolean() && mark->get<bool>();
}

bool carriesParkingMark(platform::Accessibility& accessibility, const platform::AXElement& window) {
    return axNumberAttribute(accessibility, window, platform::kParkedAttribute).value_or(false);
}

bool isParkedWindow(const platform::WindowInfo& entry, const Rect& frame,
                    const std::vector<platform::ScreenInfo>& screens) {
    return carriesParkingMark(entry) || isParkedOffscreen(frame, screens);
}

Rescuer::Rescuer(std::shared_ptr<AXUtil> axu) : axu(std::move(axu)) {}

void Rescuer::rescueParkedWindows() {
    platform::Platform& platform = axu->platform();
    // The live list, not the cache: the pass runs once and wants every window as it is now. Windows off
    // screen too: a restore parks the windows of every desktop, and those of a desktop not shown are off
    // screen, as minimised ones are.
    auto list = platform.windowServer().copyWindowInfo(platform::kExcludeDesktopElements);
    if (!list || list->empty()) return;
    if (!std::all_of(list->begin(), list->end(), [](const auto& e) { return e.is_object(); })) return;

    long moved = 0;
    for (const auto& entry : *list) {
        if (windowinfo::integerValue(entry, WK::layer) != 0) continue;
        if (windowinfo::stringValue(entry, WK::ownerName) == "WindowServer") continue;
        auto wid = windowinfo::windowNumber(entry);
        if (!wid) continue;
        auto found = axu->axAndFrame(*wid, true);
        if (!found) continue;
        if (!carriesParkingMark(entry) && !isParkedOffscreen(found->frame, platform.screens().screens()))
            continue;
        auto main = platform.screens().mainScreen();
        const Rect v = main ? main->visibleFrame : Rect{50, 50, 800, 600};
        // Read before the move, which takes the mark away: a window parked maximised is maximised again
        // once it is back, over the square it came back to.
        auto& accessibility = platform.accessibility();
        const bool maximized =
            axNumberAttribute(accessibility, found->element, platform::kParkedMaximizedAttribute)
                .value_or(false);
        axu->moveResize(found->element, Rect{v.minX() + 20, v.maxY() - 220, 200, 200});
        if (maximized) accessibility.setAttribute(found->element, platform::kMaximizedAttribute, true);
        ++moved;
    }
    if (moved > 0) Log::app.info("Rescued %ld windows from parking", moved);
}

void Rescuer::rescueInBackground(std::shared_ptr<AXUtil> axu) {
    auto rescuer = std::make_shared<Rescuer>(std::move(axu));
    platform::RunLoop& loop = rescuer->axu->platform().runLoop();
    loop.dispatchGlobal(platform::QueueQoS::Background, [rescuer, &loop]() mutable {
        rescuer->rescueParkedWindows();
        // The last reference goes back to the main thread, which alone releases the shared wrapper.
        loop.post([done = std::move(rescuer)] {});
    });
}

} // namespace korvane
