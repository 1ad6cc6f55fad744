// The zone state of one display: its zones, the windows attached to it and the zone of each placed window.
// Every change to a zone stack goes through the operations here; they run on the main thread only.
#pragma once

#include "core/WinRef.h"
#include "core/ZoneModel.h"

#include <map>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace korvane {

class WMState {
  public:
    struct AttachResult {
        std::optional<int> previousZone;
        std::optional<WindowID> newTop; // absent when the layout has no such zone
    };

    struct CycleResult {
        std::optional<WindowID> topBefore;
        std::optional<WindowID> topAfter;
    };

    // What attach(…, toZone) changes for one window: its record, its zone and place in that zone's
    // stack, and the active entries of that zone and of `toZone`.
    struct Place {
        std::optional<WinRef> ref;
        std::optional<int> zone;
        std::optional<std::size_t> index;
        std::map<int, int> actives;
    };

    explicit WMState(Layout layout);

    // Takes the new zones while windows keep their places: zones whose id survives keep their
    // stacks; windows of vanished zones lose their zone but stay in `wins`.
    void applyLayout(const Layout& newLayout);

    // Puts the window on top of the zone, taking it out of the zone it was in first. The mapping is
    // recorded even when the layout lacks the zone.
    AttachResult attach(const WinRef& ref, int toZone);

    std::optional<Zone> zone(int id) const;

    // False, and nothing changes, when the layout has no such zone, or when the zone does not hold a
    // window placed in another zone (a stray entry of it here is removed, its place kept).
    bool detach(WindowID wid, int fromZone);

    // Where the window stands before an attach of it to `toZone`.
    Place placeBefore(WindowID wid, int toZone) const;
    // Takes back that attach: the window returns to its zone and place (or to none), its record and the
    // active entries to what `before` holds. Nothing when the window is no longer mapped to `toZone`,
    // since something placed it anew after that attach; changes to the other windows stay.
    void takeBack(WindowID wid, int toZone, const Place& before);

    // Rebuilds every stack from `zoneOf`, taking windows in the given order.
    void updateZones(const std::vector<WindowID>& order);

    // Moves a placed window's place and record over to a new window number (the application replaced
    // its window). False when the old number has no zone. The new record takes `ax`, else the old
    // record's element, else `appElement` (the caller's element for the application of `pid`).
    bool replaceWindow(WindowID oldWid, WindowID newWid, pid_t pid, std::optional<platform::AXElement> ax,
                       std::optional<Rect> frame, const platform::AXElement& appElement);

    // Negative direction: backward; zero or more: forward.
    CycleResult cycle(int zone, int direction);

    Layout layout;
    std::map<WindowID, WinRef> wins;
    std::map<WindowID, int> zoneOf;
};

} // namespace korvane
