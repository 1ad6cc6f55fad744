// The simulated desktop's shared state changes: focus, stacking, activation, launching, closing, and the
// queued announcements of each. Every announcement goes through the loop, never inside the call that
// caused it, so tests see the same ordering a real event queue would give.
#include "platform/sim/SimModel.h"

#include "platform/sim/SimAXObserver.h"
#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace korvane::sim {

using platform::AXElement;

SimModel::SimModel(SimRunLoop& l, platform::NotificationCenter& n) : loop(l), notifications(n) {}

void SimModel::settleLocked() {
    if (!pendingFrameWrites.empty()) {
        const Nanos now = loop.now();
        std::vector<PendingFrameWrite> due;
        std::erase_if(pendingFrameWrites, [&](const PendingFrameWrite& p) {
            if (p.at > now) return false;
            due.push_back(p);
            return true;
        });
        std::sort(due.begin(), due.end(),
                  [](const auto& a, const auto& b) { return a.at != b.at ? a.at < b.at : a.seq < b.seq; });
        for (const auto& p : due)
            if (auto* w = windowLocked(p.token)) writeFrameLocked(*w, p.position, p.size, 0);
    }
    if (pendingActivations.empty()) return;
    const Nanos now = loop.now();
    std::vector<PendingActivation> due;
    for (auto it = pendingActivations.begin(); it != pendingActivations.end();) {
        if (it->at <= now) {
            due.push_back(*it);
            it = pendingActivations.erase(it);
        } else {
            ++it;
        }
    }
    std::sort(due.begin(), due.end(),
              [](const auto& a, const auto& b) { return a.at != b.at ? a.at < b.at : a.seq < b.seq; });
    for (const auto& p : due)
        makeFrontmostLocked(p.pid, p.options);
}

const SimDisplay* SimModel::mainDisplayLocked() const {
    for (const auto& d : displays)
        if (d.id == mainDisplay) return &d;
    return nullptr;
}

double SimModel::primaryHeightLocked() const {
    if (const auto* d = mainDisplayLocked()) return d->info.frame.maxY();
    return 0;
}

Rect SimModel::flipLocked(const Rect& r) const {
    return Rect{r.origin.x, primaryHeightLocked() - r.origin.y - r.size.height, r.size.width, r.size.height};
}

SimApp* SimModel::appLocked(pid_t pid) {
    auto it = apps.find(pid);
    return it == apps.end() ? nullptr : &it->second;
}

SimWindow* SimModel::windowLocked(std::uint64_t token) {
    auto it = windows.find(token);
    return it == windows.end() ? nullptr : &it->second;
}

SimWindow* SimModel::windowByNumberLocked(std::uint32_t number) {
    for (auto& [token, w] : windows)
        if (w.number == number) return &w;
    return nullptr;
}

SimWindow* SimModel::windowOfElementLocked(const AXElement& e) {
    if (e.kind != AXElement::Kind::window) return nullptr;
    auto* w = windowLocked(e.token);
    return w && w->pid == e.pid ? w : nullptr;
}

const SimWindow* SimModel::closedWindowOfElementLocked(const AXElement& e) const {
    if (e.kind != AXElement::Kind::window) return nullptr;
    auto it = closedWindows.find(e.token);
    return it != closedWindows.end() && it->second.pid == e.pid ? &it->second : nullptr;
}

SimChild* SimModel::childOfElementLocked(const AXElement& e) {
    if (e.kind != AXElement::Kind::other) return nullptr;
    auto it = children.find(e.token);
    if (it == children.end() || it->second.pid != e.pid) return nullptr;
    return &it->second;
}

SimWindow& SimModel::requireWindowLocked(std::uint32_t number) {
    if (auto* w = windowByNumberLocked(number)) return *w;
    throw std::invalid_argument("no simulated window has number " + std::to_string(number));
}

SimApp& SimModel::requireAppLocked(pid_t pid) {
    if (auto* a = appLocked(pid)) return *a;
    throw std::invalid_argument("no simulated application has pid " + std::to_string(pid));
}

AXElement SimModel::appElement(pid_t pid) {
    return AXElement{AXElement::Kind::application, pid, 0};
}

AXElement SimModel::elementOf(const SimWindow& w) {
    return AXElement{AXElement::Kind::window, w.pid, w.token};
}

bool SimModel::numberVisibleLocked(const SimWindow& w) const {
    return !w.numberAppearsAt || loop.now() >= *w.numberAppearsAt;
}

std::vector<std::uint64_t> SimModel::windowsOfLocked(pid_t pid) const {
    std::vector<std::uint64_t> out;
    for (auto token : zOrder) {
        auto it = windows.find(token);
        if (it != windows.end() && it->second.pid == pid) out.push_back(token);
    }
    return out;
}

void SimModel::raiseLocked(std::uint64_t token) {
    auto it = std::find(zOrder.begin(), zOrder.end(), token);
    if (it == zOrder.end()) return;
    zOrder.erase(it);
    zOrder.insert(zOrder.begin(), token);
}

void SimModel::setFocusedWindowLocked(SimApp& app, std::uint64_t token) {
    if (app.focusedWindow == token) return;
    app.focusedWindow = token;
    if (auto* w = windowLocked(token)) emitLocked(w->pid, elementOf(*w), "AXFocusedWindowChanged");
}

void SimModel::setMainWindowLocked(SimApp& app, std::uint64_t token) {
    if (app.mainWindow == token) return;
    app.mainWindow = token;
    if (auto* w = windowLocked(token)) emitLocked(w->pid, elementOf(*w), "AXMainWindowChanged");
}

void SimModel::makeFrontmostLocked(pid_t pid, unsigned options) {
    auto* app = appLocked(pid);
    if (!app) return;
    if (app->info.isHidden) app->info.isHidden = false;

    // Bringing every window forward keeps their order among themselves; otherwise only the window that
    // has the application's focus comes forward, as a click on the application would do.
    auto mine = windowsOfLocked(pid);
    if (options & platform::kActivateAllWindows) {
        for (auto it = mine.rbegin(); it != mine.rend(); ++it)
            raiseLocked(*it);
    } else {
        std::uint64_t token = app->focusedWindow ? app->focusedWindow : app->mainWindow;
        if (!token && !mine.empty()) token = mine.front();
        if (token) raiseLocked(token);
    }

    // Nothing of the application can take the keyboard: its windows come forward, the focus stays.
    if (!mine.empty() &&
        std::none_of(mine.begin(), mine.end(), [&](std::uint64_t t) { return windows.at(t).takesFocus; }))
        return;
    if (frontmost != pid) {
        frontmost = pid;
        postNotificationLocked(platform::kDidActivateApplication, appUserInfoLocked(pid));
    }
}

void SimModel::requestActivationLocked(pid_t pid, unsigned options, const ActivationOutcome& outcome) {
    if (!outcome.takesEffectAfter) return;
    const Nanos delay = *outcome.takesEffectAfter;
    if (delay <= 0) {
        makeFrontmostLocked(pid, options);
        return;
    }
    pendingActivations.push_back({loop.now() + delay, nextActivationSeq++, pid, options});
    // Readers settle lazily against the clock; this item makes sure the change (and its announcement)
    // also happens when nobody looks.
    std::weak_ptr<SimModel> weak = weak_from_this();
    loop.postAfter(delay, [weak] {
        if (auto self = weak.lock()) {
            std::lock_guard lock(self->mutex);
            self->settleLocked();
        }
    });
}

Size SimModel::acceptedSize(const SimWindow& w, Size s) {
    const double minW = w.minSize ? w.minSize->width : 0, minH = w.minSize ? w.minSize->height : 0;
    if (w.maxSize) {
        s.width = std::min(s.width, w.maxSize->width);
        s.height = std::min(s.height, w.maxSize->height);
    }
    if (w.sizeIncrement) {
        if (w.sizeIncrement->width > 0 && s.width > minW)
            s.width = minW + std::floor((s.width - minW) / w.sizeIncrement->width) * w.sizeIncrement->width;
        if (w.sizeIncrement->height > 0 && s.height > minH)
            s.height =
                minH + std::floor((s.height - minH) / w.sizeIncrement->height) * w.sizeIncrement->height;
    }
    s.width = std::max(s.width, minW);
    s.height = std::max(s.height, minH);
    return s;
}

void SimModel::setPositionLocked(SimWindow& w, const Point& position) {
    if (w.ignoresMove || w.frame.origin == position) return;
    w.frame.origin = position;
    emitLocked(w.pid, elementOf(w), "AXWindowMoved");
}

void SimModel::setSizeLocked(SimWindow& w, const Size& size) {
    if (w.ignoresResize) return;
    const Size accepted = acceptedSize(w, size);
    if (accepted == w.frame.size) return;
    w.frame.size = accepted;
    emitLocked(w.pid, elementOf(w), "AXWindowResized");
}

void SimModel::writeFrameLocked(SimWindow& w, std::optional<Point> position, std::optional<Size> size,
                                Nanos delay) {
    if (delay <= 0) {
        if (position) setPositionLocked(w, *position);
        if (size) setSizeLocked(w, *size);
        return;
    }
    pendingFrameWrites.push_back({loop.now() + delay, nextFrameWriteSeq++, w.token, position, size});
    // As for a late activation: the change also happens, announced, when nobody looks.
    std::weak_ptr<SimModel> weak = weak_from_this();
    loop.postAfter(delay, [weak] {
        if (auto self = weak.lock()) {
            std::lock_guard lock(self->mutex);
            self->settleLocked();
        }
    });
}

void SimModel::hideLocked(pid_t pid, bool hidden) {
    auto& app = requireAppLocked(pid);
    app.info.isHidden = hidden;
    // A hidden application cannot stay in front; no other one takes its place on its own.
    if (hidden && frontmost == pid) frontmost = 0;
}

pid_t SimModel::launchLocked(SimAppSpec desc) {
    pid_t pid;
    if (desc.pid) {
        if (apps.count(*desc.pid))
            throw std::invalid_argument("pid " + std::to_string(*desc.pid) + " is running");
        pid = *desc.pid;
    } else {
        while (apps.count(nextPid))
            ++nextPid;
        pid = nextPid++;
    }
    SimApp app;
    app.info.pid = pid;
    app.info.bundleID = desc.bundleID;
    app.info.name = desc.name;
    app.info.activationPolicy = desc.activationPolicy;
    app.info.isHidden = desc.hidden;
    app.url = desc.url;
    if (!app.url && desc.bundleID) app.url = "file:///usr/share/applications/" + *desc.bundleID + ".desktop";
    apps.emplace(pid, std::move(app));
    appOrder.push_back(pid);
    if (desc.bundleID && !installed.count(*desc.bundleID)) {
        SimAppSpec kept = desc;
        kept.pid.reset();
        kept.activate = false;
        kept.url = apps.at(pid).url;
        installed.emplace(*desc.bundleID, std::move(kept));
    }
    postNotificationLocked(platform::kDidLaunchApplication, appUserInfoLocked(pid));
    if (desc.activate) makeFrontmostLocked(pid, 0);
    return pid;
}

std::uint32_t SimModel::openWindowLocked(pid_t pid, const SimWindowSpec& desc) {
    auto& app = requireAppLocked(pid);
    std::uint32_t number;
    if (desc.number) {
        if (windowByNumberLocked(*desc.number))
            throw std::invalid_argument("window number " + std::to_string(*desc.number) + " is in use");
        number = *desc.number;
    } else {
        while (windowByNumberLocked(nextWindowNumber))
            ++nextWindowNumber;
        number = nextWindowNumber++;
    }

    SimWindow w;
    w.token = nextToken++;
    w.pid = pid;
    w.number = number;
    w.frame = flipLocked(desc.frame);
    w.title = desc.title;
    w.role = desc.role;
    w.subrole = desc.subrole;
    w.minimized = desc.minimized;
    w.fullscreen = desc.fullscreen;
    w.maximized = desc.maximized;
    w.layer = desc.layer;
    w.alpha = desc.alpha;
    w.onScreen = desc.onScreen;
    w.minSize = desc.minSize;
    w.maxSize = desc.maxSize;
    w.sizeIncrement = desc.sizeIncrement;
    w.tellsGrantedSize = desc.tellsGrantedSize;
    w.ignoresResize = desc.ignoresResize;
    w.ignoresMove = desc.ignoresMove;
    w.ignoresFocus = desc.ignoresFocus;
    w.movesAfter = desc.movesAfter;
    w.takesFocus = desc.takesFocus;
    w.document = desc.document;
    w.url = desc.url;
    w.numberAttribute = desc.numberAttribute;
    w.numberAppearsAt = desc.numberAppearsAt;
    w.titleInList = desc.titleInList;
    w.numberOutlivesWindow = desc.numberOutlivesWindow;
    w.booleansAsNumbers = desc.booleansAsNumbers;
    const std::uint64_t token = w.token;
    const AXElement el = elementOf(w);
    windows.emplace(token, std::move(w));
    if (desc.front)
        zOrder.insert(zOrder.begin(), token);
    else
        zOrder.push_back(token);

    emitLocked(pid, el, "AXWindowCreated");
    if (desc.focused && desc.takesFocus) setFocusedWindowLocked(app, token);
    if (desc.main && desc.takesFocus) setMainWindowLocked(app, token);
    return number;
}

void SimModel::removeWindowLocked(std::uint64_t token, bool announce) {
    auto* w = windowLocked(token);
    if (!w) return;
    const pid_t pid = w->pid;
    if (announce) emitLocked(pid, elementOf(*w), "AXUIElementDestroyed");

    if (w->numberOutlivesWindow) closedWindows.emplace(token, *w);
    std::erase(zOrder, token);
    std::erase_if(children, [&](const auto& kv) { return kv.second.window == token; });
    windows.erase(token);

    auto* app = appLocked(pid);
    if (!app) return;
    if (app->focusedElement && !childOfElementLocked(app->focusedElement)) app->focusedElement = {};
    // The application hands its focus to its front-most remaining window, as applications do.
    std::uint64_t next = 0;
    for (auto t : windowsOfLocked(pid)) {
        if (!windows.at(t).minimized && windows.at(t).takesFocus) {
            next = t;
            break;
        }
    }
    if (app->focusedWindow == token) {
        app->focusedWindow = 0;
        if (announce)
            setFocusedWindowLocked(*app, next);
        else
            app->focusedWindow = next;
    }
    if (app->mainWindow == token) {
        app->mainWindow = 0;
        if (announce)
            setMainWindowLocked(*app, next);
        else
            app->mainWindow = next;
    }
}

void SimModel::emitLocked(pid_t pid, const AXElement& target, const std::string& name) {
    auto it = observers.find(pid);
    if (it == observers.end()) return;
    const AXElement app = appElement(pid);
    auto& list = it->second;
    std::erase_if(list, [](const auto& w) { return w.expired(); });
    for (const auto& weak : list) {
        auto o = weak.lock();
        if (!o || !(o->isRegisteredLocked(target, name) || o->isRegisteredLocked(app, name))) continue;
        loop.post([weak, target, name] {
            if (auto obs = weak.lock()) obs->deliver(target, name);
        });
    }
}

void SimModel::postNotificationLocked(const std::string& name, nlohmann::json userInfo) {
    platform::NotificationCenter* center = &notifications;
    loop.post([center, name, info = std::move(userInfo)] { center->post(name, info); });
}

nlohmann::json SimModel::appUserInfoLocked(pid_t pid) const {
    auto it = apps.find(pid);
    if (it == apps.end()) return {{"pid", pid}};
    return platform::applicationUserInfo(it->second.info);
}

std::tuple<int, pid_t, std::uint64_t, std::string> SimModel::key(const AXElement& e,
                                                                 const std::string& name) {
    return {static_cast<int>(e.kind), e.pid, e.token, name};
}

std::optional<platform::AXError> SimModel::takeScriptedLocked(const AXElement& e, const std::string& name) {
    auto it = scriptedAX.find(key(e, name));
    if (it == scriptedAX.end() || it->second.empty()) return std::nullopt;
    auto result = it->second.front();
    it->second.pop_front();
    if (it->second.empty()) scriptedAX.erase(it);
    return result;
}

} // namespace korvane::sim
