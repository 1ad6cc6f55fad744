// The stack operations of a display's zone state.
#include "core/WMState.h"

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

int lastIndex(const Zone& z) {
    return static_cast<int>(z.stack.size()) - 1;
}

// An `active` outside the stack (negative included) is never used to index: it becomes the top.
void clampActive(Zone& z) {
    if (z.stack.empty()) {
        z.active = 0;
    } else if (z.active < 0 || z.active > lastIndex(z)) {
        z.active = lastIndex(z);
    }
}

void removeAll(std::vector<WindowID>& stack, WindowID wid) {
    stack.erase(std::remove(stack.begin(), stack.end(), wid), stack.end());
}

} // namespace

WMState::WMState(Layout layout) : layout(std::move(layout)) {}

void WMState::applyLayout(const Layout& newLayout) {
    std::map<int, Zone> zones;
    for (const auto& [key, incoming] : newLayout.zones) {
        auto current = layout.zones.find(key);
        if (current == layout.zones.end()) {
            zones.emplace(key, incoming);
            continue;
        }
        Zone merged;
        merged.id = incoming.id;
        merged.frame = incoming.frame;
        merged.stack = current->second.stack;
        merged.active = current->second.active;
        clampActive(merged);
        zones.emplace(key, std::move(merged));
    }

    // A layout without zones says nothing about where windows belong, so the mapping is kept as is.
    if (!newLayout.zones.empty()) {
        std::erase_if(zoneOf, [&](const auto& entry) { return !newLayout.zones.contains(entry.second); });
        for (auto& [key, z] : zones) {
            std::erase_if(z.stack, [&, k = key](WindowID wid) {
                auto mapped = zoneOf.find(wid);
                return mapped == zoneOf.end() || mapped->second != k;
            });
            clampActive(z);
        }
    }

    layout.screenId = newLayout.screenId;
    layout.zones = std::move(zones);
    layout.gridSpec = newLayout.gridSpec;
}

WMState::AttachResult WMState::attach(const WinRef& ref, int toZone) {
    AttachResult result;
    wins.insert_or_assign(ref.wid, ref);

    if (auto previous = zoneOf.find(ref.wid); previous != zoneOf.end()) {
        int previousZone = previous->second;
        detach(ref.wid, previousZone);
        result.previousZone = previousZone;
    }
    zoneOf[ref.wid] = toZone;

    if (auto z = layout.zones.find(toZone); z != layout.zones.end()) {
        z->second.stack.push_back(ref.wid);
        z->second.active = lastIndex(z->second);
        result.newTop = ref.wid;
    }
    return result;
}

std::optional<Zone> WMState::zone(int id) const {
    auto z = layout.zones.find(id);
    if (z == layout.zones.end()) return std::nullopt;
    return z->second;
}

bool WMState::detach(WindowID wid, int fromZone) {
    auto z = layout.zones.find(fromZone);
    if (z == layout.zones.end()) return false;
    // A window placed in another zone keeps that place: dropping its mapping here would leave it in
    // that zone's stack with no zone of its own. Only a stray entry of it in this stack goes.
    auto mapped = zoneOf.find(wid);
    const bool placedElsewhere = mapped != zoneOf.end() && mapped->second != fromZone;
    auto& stack = z->second.stack;
    if (placedElsewhere && std::find(stack.begin(), stack.end(), wid) == stack.end()) return false;
    removeAll(stack, wid);
    // Entries removed below `active` do not shift it; only an index past the end is pulled back.
    clampActive(z->second);
    if (!placedElsewhere) zoneOf.erase(wid);
    return true;
}

WMState::Place WMState::placeBefore(WindowID wid, int toZone) const {
    Place place;
    if (auto ref = wins.find(wid); ref != wins.end()) place.ref = ref->second;
    if (auto mapped = zoneOf.find(wid); mapped != zoneOf.end()) place.zone = mapped->second;
    for (const int id : {toZone, place.zone.value_or(toZone)}) {
        auto z = layout.zones.find(id);
        if (z == layout.zones.end()) continue;
        place.actives[id] = z->second.active;
        if (place.zone && id == *place.zone) {
            const auto& stack = z->second.stack;
            if (auto at = std::find(stack.begin(), stack.end(), wid); at != stack.end())
                place.index = static_cast<std::size_t>(at - stack.begin());
        }
    }
    return place;
}

void WMState::takeBack(WindowID wid, int toZone, const Place& before) {
    if (auto mapped = zoneOf.find(wid); mapped == zoneOf.end() || mapped->second != toZone) return;
    detach(wid, toZone);
    if (before.zone) {
        zoneOf[wid] = *before.zone;
        if (auto z = layout.zones.find(*before.zone); z != layout.zones.end() && before.index) {
            auto& stack = z->second.stack;
            removeAll(stack, wid);
            stack.insert(stack.begin() + static_cast<std::ptrdiff_t>(std::min(*before.index, stack.size())),
                         wid);
        }
    }
    for (const auto& [id, active] : before.actives)
        if (auto z = layout.zones.find(id); z != layout.zones.end()) {
            z->second.active = active;
            clampActive(z->second);
        }
    if (before.ref)
        wins.insert_or_assign(wid, *before.ref);
    else
        wins.erase(wid);
}

void WMState::updateZones(const std::vector<WindowID>& order) {
    for (auto& [key, z] : layout.zones) {
        z.stack.clear();
        z.active = 0;
    }
    for (WindowID wid : order) {
        auto mapped = zoneOf.find(wid);
        if (mapped == zoneOf.end()) continue;
        auto z = layout.zones.find(mapped->second);
        if (z == layout.zones.end()) continue;
        auto& stack = z->second.stack;
        if (std::find(stack.begin(), stack.end(), wid) != stack.end()) continue;
        stack.push_back(wid);
        z->second.active = lastIndex(z->second);
    }
}

bool WMState::replaceWindow(WindowID oldWid, WindowID newWid, pid_t pid,
                            std::optional<platform::AXElement> ax, std::optional<Rect> frame,
                            const platform::AXElement& appElement) {
    if (oldWid == newWid) return true;
    auto oldMapping = zoneOf.find(oldWid);
    if (oldMapping == zoneOf.end()) return false;
    const int zoneID = oldMapping->second;

    if (auto newMapping = zoneOf.find(newWid); newMapping != zoneOf.end()) {
        detach(newWid, newMapping->second);
    }
    zoneOf.erase(oldWid);
    zoneOf[newWid] = zoneID;

    if (auto z = layout.zones.find(zoneID); z != layout.zones.end()) {
        auto& stack = z->second.stack;
        auto first = std::find(stack.begin(), stack.end(), oldWid);
        std::optional<std::size_t> index;
        if (first != stack.end()) index = static_cast<std::size_t>(first - stack.begin());
        removeAll(stack, oldWid);
        removeAll(stack, newWid);
        if (index && *index <= stack.size()) {
            stack.insert(stack.begin() + static_cast<std::ptrdiff_t>(*index), newWid);
        } else {
            stack.push_back(newWid);
        }
        clampActive(z->second);
    }

    WinRef ref;
    ref.wid = newWid;
    ref.pid = pid;
    if (auto old = wins.find(oldWid); old != wins.end()) {
        ref.ax = ax ? *ax : old->second.ax;
        ref.lastZone = old->second.lastZone;
        ref.lastFrame = frame ? frame : old->second.lastFrame;
    } else {
        ref.ax = ax ? *ax : appElement;
        ref.lastZone = zoneID;
        ref.lastFrame = frame;
    }
    wins.erase(oldWid);
    wins.insert_or_assign(newWid, std::move(ref));
    return true;
}

WMState::CycleResult WMState::cycle(int zoneID, int direction) {
    auto found = layout.zones.find(zoneID);
    if (found == layout.zones.end() || found->second.stack.empty()) return {};
    Zone& z = found->second;
    if (z.stack.size() == 1) return {z.stack.front(), z.stack.front()};

    const int n = static_cast<int>(z.stack.size());
    const int c = (z.active >= 0 && z.active < n) ? z.active : n - 1;
    CycleResult result;
    result.topBefore = z.stack[static_cast<std::size_t>(c)];

    if (direction >= 0) {
        auto next = z.stack.begin() + (c + 1) % n;
        WindowID wid = *next;
        z.stack.erase(next);
        z.stack.push_back(wid);
        result.topAfter = wid;
    } else {
        WindowID wid = z.stack.back();
        z.stack.pop_back();
        z.stack.insert(z.stack.begin(), wid);
        result.topAfter = z.stack.back();
    }
    z.active = n - 1;
    return result;
}

} // namespace korvane
