// Window changes of the simulated desktop, made the way applications and users make them.
#include "platform/sim/SimWindows.h"

#include "platform/sim/SimModel.h"

#include <stdexcept>

namespace korvane::sim {

using platform::AXElement;

SimWindows::SimWindows(SimModel& model) : model_(model) {}

std::uint32_t SimWindows::open(pid_t pid, const SimWindowSpec& desc) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    return model_.openWindowLocked(pid, desc);
}

void SimWindows::close(std::uint32_t number) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    model_.removeWindowLocked(model_.requireWindowLocked(number).token, true);
}

std::uint32_t SimWindows::recreate(std::uint32_t number, std::optional<std::uint32_t> newNumber) {
    SimWindowSpec desc;
    pid_t pid;
    bool wasFocused, wasMain, wasFront;
    std::optional<int> desktop;
    {
        std::lock_guard lock(model_.mutex);
        const SimWindow& w = model_.requireWindowLocked(number);
        const SimApp& app = model_.requireAppLocked(w.pid);
        pid = w.pid;
        desc.frame = model_.flipLocked(w.frame);
        desc.title = w.title;
        desc.number = newNumber;
        desc.role = w.role;
        desc.subrole = w.subrole;
        desc.minimized = w.minimized;
        desc.fullscreen = w.fullscreen;
        desc.maximized = w.maximized;
        desc.layer = w.layer;
        desc.alpha = w.alpha;
        desc.onScreen = w.onScreen;
        desc.minSize = w.minSize;
        desc.maxSize = w.maxSize;
        desc.sizeIncrement = w.sizeIncrement;
        desc.tellsGrantedSize = w.tellsGrantedSize;
        desc.ignoresResize = w.ignoresResize;
        desc.ignoresMove = w.ignoresMove;
        desc.ignoresFocus = w.ignoresFocus;
        desc.movesAfter = w.movesAfter;
        desc.takesFocus = w.takesFocus;
        desc.document = w.document;
        desc.url = w.url;
        desc.numberAttribute = w.numberAttribute;
        desc.titleInList = w.titleInList;
        desc.numberOutlivesWindow = w.numberOutlivesWindow;
        desc.booleansAsNumbers = w.booleansAsNumbers;
        wasFocused = app.focusedWindow == w.token;
        wasMain = app.mainWindow == w.token;
        wasFront = !model_.zOrder.empty() && model_.zOrder.front() == w.token;
        desktop = w.desktop;
    }
    desc.focused = wasFocused;
    desc.main = wasMain;
    desc.front = wasFront;
    close(number);
    const std::uint32_t replacement = open(pid, desc);
    sendToDesktop(replacement, desktop);
    return replacement;
}

void SimWindows::renumber(std::uint32_t number, std::uint32_t newNumber) {
    std::lock_guard lock(model_.mutex);
    auto& w = model_.requireWindowLocked(number);
    if (newNumber != number && model_.windowByNumberLocked(newNumber))
        throw std::invalid_argument("window number " + std::to_string(newNumber) + " is in use");
    w.number = newNumber;
}

void SimWindows::setTitle(std::uint32_t number, const std::string& title) {
    std::lock_guard lock(model_.mutex);
    auto& w = model_.requireWindowLocked(number);
    if (w.title == title) return;
    w.title = title;
    model_.emitLocked(w.pid, SimModel::elementOf(w), "AXTitleChanged");
}

void SimWindows::setFrame(std::uint32_t number, const Rect& frame) {
    std::lock_guard lock(model_.mutex);
    auto& w = model_.requireWindowLocked(number);
    const Rect tl = model_.flipLocked(frame);
    const bool moved = tl.origin != w.frame.origin, resized = tl.size != w.frame.size;
    w.frame = tl;
    if (moved) model_.emitLocked(w.pid, SimModel::elementOf(w), "AXWindowMoved");
    if (resized) model_.emitLocked(w.pid, SimModel::elementOf(w), "AXWindowResized");
}

void SimWindows::setMinimized(std::uint32_t number, bool minimized) {
    std::lock_guard lock(model_.mutex);
    auto& w = model_.requireWindowLocked(number);
    if (w.minimized == minimized) return;
    w.minimized = minimized;
    model_.emitLocked(w.pid, SimModel::elementOf(w),
                      minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized");
}

void SimWindows::focus(std::uint32_t number) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    auto& w = model_.requireWindowLocked(number);
    auto& app = model_.requireAppLocked(w.pid);
    if (!w.takesFocus) {
        model_.raiseLocked(w.token);
        return;
    }
    model_.setFocusedWindowLocked(app, w.token);
    model_.setMainWindowLocked(app, w.token);
    model_.makeFrontmostLocked(w.pid, 0);
}

void SimWindows::raise(std::uint32_t number) {
    std::lock_guard lock(model_.mutex);
    model_.raiseLocked(model_.requireWindowLocked(number).token);
}

void SimWindows::sendToDesktop(std::uint32_t number, std::optional<int> desktop) {
    std::lock_guard lock(model_.mutex);
    model_.requireWindowLocked(number).desktop = desktop;
}

void SimWindows::showDesktop(int desktop) {
    std::lock_guard lock(model_.mutex);
    model_.shownDesktop = desktop;
}

int SimWindows::shownDesktop() const {
    std::lock_guard lock(model_.mutex);
    return model_.shownDesktop;
}

Rect SimWindows::frame(std::uint32_t number) const {
    std::lock_guard lock(model_.mutex);
    return model_.flipLocked(model_.requireWindowLocked(number).frame);
}

Rect SimWindows::frameTopLeft(std::uint32_t number) const {
    std::lock_guard lock(model_.mutex);
    return model_.requireWindowLocked(number).frame;
}

AXElement SimWindows::element(std::uint32_t number) const {
    std::lock_guard lock(model_.mutex);
    return SimModel::elementOf(model_.requireWindowLocked(number));
}

std::vector<std::uint32_t> SimWindows::frontToBack() const {
    std::lock_guard lock(model_.mutex);
    std::vector<std::uint32_t> out;
    for (auto token : model_.zOrder)
        out.push_back(model_.windows.at(token).number);
    return out;
}

AXElement SimWindows::addChildElement(const AXElement& parent, const SimChildSpec& desc) {
    std::lock_guard lock(model_.mutex);
    std::uint64_t window = 0;
    if (auto* w = model_.windowOfElementLocked(parent))
        window = w->token;
    else if (auto* c = model_.childOfElementLocked(parent))
        window = c->window;
    else
        throw std::invalid_argument(
            "the parent of a child element must be an open window or a child element");
    SimChild child{model_.nextToken++, parent.pid, window, parent, desc};
    const AXElement el{AXElement::Kind::other, parent.pid, child.token};
    model_.children.emplace(child.token, std::move(child));
    return el;
}

void SimWindows::setFocusedElement(pid_t pid, const AXElement& element) {
    std::lock_guard lock(model_.mutex);
    auto& app = model_.requireAppLocked(pid);
    if (element && !model_.childOfElementLocked(element) && !model_.windowOfElementLocked(element))
        throw std::invalid_argument("the focused element must be an open window or a child element");
    if (auto* w = model_.windowOfElementLocked(element)) {
        app.focusedElement = {};
        model_.setFocusedWindowLocked(app, w->token);
        return;
    }
    app.focusedElement = element;
}

} // namespace korvane::sim
