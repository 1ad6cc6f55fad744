// Window-list entries are dictionaries with the keys the subsystems read; what a window lacks (a pid, a
// title) is left out rather than made up.
#include "platform/x11/X11WindowServer.h"

#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11ClientSnapshot.h"
#include "platform/x11/X11Query.h"
#include "platform/x11/X11Screens.h"

#include <algorithm>

namespace korvane::x11 {

using namespace platform;

namespace {

int layerOf(const ClientWindow& c) {
    switch (c.kind) {
    case WindowKind::normal:
    case WindowKind::dialog:
        return c.above ? kFloatingLayer : 0;
    case WindowKind::floating:
        return kFloatingLayer;
    case WindowKind::dock:
        return kDockLayer;
    case WindowKind::notification:
        return kNotificationLayer;
    case WindowKind::desktop:
        return kDesktopLayer;
    }
    return 0;
}

} // namespace

std::optional<std::vector<WindowInfo>> X11WindowServer::copyWindowInfo(unsigned options,
                                                                       std::uint32_t relativeTo) {
    accessibility_.applyPendingSizes();
    const Coordinates coordinates = screens_.coordinates();
    const auto snapshot = snapshot_.read();
    if (!snapshot) return std::nullopt;
    std::vector<const ClientWindow*> clients;
    if (options & kIncludingWindow) {
        // Only the named window, whatever the other options say.
        if (const auto* c = snapshot->find(relativeTo)) clients.push_back(c);
    } else {
        clients.reserve(snapshot->clients.size());
        for (const auto& c : snapshot->clients)
            clients.push_back(&c);
    }
    std::vector<WindowInfo> out;
    out.reserve(clients.size());
    for (const ClientWindow* client : clients) {
        const ClientWindow& c = *client;
        if (!c.exists) continue;
        const bool onScreen = c.viewable && !c.minimized();
        if (!(options & kIncludingWindow)) {
            if ((options & kOnScreenOnly) && !onScreen) continue;
            if ((options & kExcludeDesktopElements) && c.kind == WindowKind::desktop) continue;
        }
        const Rect bounds = coordinates.topLeft(c.frameRoot());
        WindowInfo entry = nlohmann::json::object();
        if (c.pid > 0) entry[WindowKey::ownerPID] = c.pid;
        if (!c.className.empty()) entry[WindowKey::ownerName] = c.className;
        entry[WindowKey::layer] = layerOf(c);
        entry[WindowKey::bounds] = {{BoundsKey::x, bounds.origin.x},
                                    {BoundsKey::y, bounds.origin.y},
                                    {BoundsKey::width, bounds.size.width},
                                    {BoundsKey::height, bounds.size.height}};
        entry[WindowKey::number] = c.window;
        if (c.title) entry[WindowKey::name] = *c.title;
        entry[WindowKey::alpha] = 1.0;
        entry[WindowKey::isOnscreen] = onScreen;
        if (c.markedParked()) entry[WindowKey::parked] = true;
        out.push_back(std::move(entry));
    }
    return out;
}

} // namespace korvane::x11
