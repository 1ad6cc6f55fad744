// Builds the simulated window list from the model on every fetch, so it always reflects the current
// stacking, the virtual clock (late window numbers) and the visibility of applications and windows.
#include "platform/sim/SimWindowServer.h"

#include "platform/sim/SimModel.h"

#include <iterator>

namespace korvane::sim {

using platform::WindowInfo;
namespace WK = platform::WindowKey;
namespace BK = platform::BoundsKey;

namespace {

bool keep(const WindowInfo& e, unsigned options, std::uint32_t relativeTo) {
    if (!e.is_object()) return !(options & platform::kIncludingWindow);
    if (options & platform::kIncludingWindow) {
        auto n = e.find(WK::number);
        return n != e.end() && n->is_number_integer() && n->get<std::int64_t>() == relativeTo;
    }
    if (options & platform::kOnScreenOnly) {
        auto on = e.find(WK::isOnscreen);
        if (on != e.end() && on->is_boolean() && !on->get<bool>()) return false;
    }
    if (options & platform::kExcludeDesktopElements) {
        auto layer = e.find(WK::layer);
        if (layer != e.end() && layer->is_number_integer() && layer->get<std::int64_t>() < 0) return false;
    }
    return true;
}

constexpr double kMenuBarHeight = 24;
constexpr double kDockHeight = 70;
constexpr pid_t kWindowServerPid = 90;
constexpr pid_t kDockPid = 91;
constexpr pid_t kDesktopPid = 92;
// Far above the numbers the simulated windows get, so that no lookup by number meets them.
constexpr std::int64_t kFirstSystemNumber = 9'000'000;

WindowInfo systemEntry(pid_t pid, const char* owner, int layer, const Rect& topLeft, std::int64_t number) {
    return {{WK::ownerPID, pid},
            {WK::ownerName, owner},
            {WK::layer, layer},
            {WK::bounds,
             {{BK::x, topLeft.origin.x},
              {BK::y, topLeft.origin.y},
              {BK::width, topLeft.size.width},
              {BK::height, topLeft.size.height}}},
            {WK::number, number},
            {WK::name, owner},
            {WK::alpha, 1.0},
            {WK::isOnscreen, true}};
}

} // namespace

SimWindowServer::SimWindowServer(SimModel& model) : model_(model) {}

std::optional<std::vector<WindowInfo>> SimWindowServer::copyWindowInfo(unsigned options,
                                                                       std::uint32_t relativeTo) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    ++model_.windowListFetches;
    if (!model_.windowListAvailable) return std::nullopt;

    std::vector<WindowInfo> all, back;
    if (model_.showsSystemEntries) {
        for (const auto& d : model_.displays) {
            const Rect frame = model_.flipLocked(d.info.frame);
            const std::int64_t number = kFirstSystemNumber + 10 * d.id;
            all.push_back(systemEntry(kWindowServerPid, "Window Server", kMenuBarLayer,
                                      Rect{frame.origin.x, frame.origin.y, frame.size.width, kMenuBarHeight},
                                      number + 1));
            if (d.id == model_.mainDisplay)
                all.push_back(systemEntry(
                    kDockPid, "Dock", kDockLayer,
                    Rect{frame.origin.x, frame.maxY() - kDockHeight, frame.size.width, kDockHeight},
                    number + 2));
            back.push_back(systemEntry(kDesktopPid, "Desktop", kDesktopLayer, frame, number));
        }
    }
    for (const auto& raw : model_.rawEntries)
        if (raw.atFront) all.push_back(raw.entry);
    for (auto token : model_.zOrder) {
        const SimWindow& w = model_.windows.at(token);
        if (!model_.numberVisibleLocked(w)) continue;
        const SimApp* app = model_.appLocked(w.pid);
        WindowInfo e = WindowInfo::object();
        e[WK::ownerPID] = w.pid;
        if (app && app->info.name) e[WK::ownerName] = *app->info.name;
        e[WK::layer] = w.layer;
        e[WK::bounds] = {{BK::x, w.frame.origin.x},
                         {BK::y, w.frame.origin.y},
                         {BK::width, w.frame.size.width},
                         {BK::height, w.frame.size.height}};
        e[WK::number] = w.number;
        if (w.titleInList) e[WK::name] = w.title;
        e[WK::alpha] = w.alpha;
        e[WK::isOnscreen] = w.onScreen && !w.minimized && !(app && app->info.isHidden) &&
                            !w.onDesktopNotShown(model_.shownDesktop);
        if (w.markedParked()) e[WK::parked] = true;
        all.push_back(std::move(e));
    }
    for (const auto& raw : model_.rawEntries)
        if (!raw.atFront) all.push_back(raw.entry);
    std::move(back.begin(), back.end(), std::back_inserter(all));

    std::vector<WindowInfo> out;
    for (auto& e : all)
        if (keep(e, options, relativeTo)) out.push_back(std::move(e));
    return out;
}

void SimWindowServer::setShowsSystemEntries(bool shows) {
    std::lock_guard lock(model_.mutex);
    model_.showsSystemEntries = shows;
}

bool SimWindowServer::preflightScreenCaptureAccess() {
    std::lock_guard lock(model_.mutex);
    return model_.screenCaptureGranted;
}

void SimWindowServer::setScreenCaptureGranted(bool granted) {
    std::lock_guard lock(model_.mutex);
    model_.screenCaptureGranted = granted;
}

void SimWindowServer::setAvailable(bool available) {
    std::lock_guard lock(model_.mutex);
    model_.windowListAvailable = available;
}

int SimWindowServer::addRawEntry(WindowInfo entry, bool atFront) {
    std::lock_guard lock(model_.mutex);
    const int id = model_.nextRawEntryID++;
    model_.rawEntries.push_back({id, std::move(entry), atFront});
    return id;
}

void SimWindowServer::removeRawEntry(int id) {
    std::lock_guard lock(model_.mutex);
    std::erase_if(model_.rawEntries, [&](const auto& r) { return r.id == id; });
}

std::size_t SimWindowServer::windowListFetchCount() const {
    std::lock_guard lock(model_.mutex);
    return model_.windowListFetches;
}

} // namespace korvane::sim
