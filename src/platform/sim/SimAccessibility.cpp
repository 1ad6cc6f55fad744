// Attribute reads, writes and actions of the simulated accessibility service. Every call first consumes
// a scripted answer for its element and name, if one is queued, then answers from the model.
#include "platform/sim/SimAccessibility.h"

#include "platform/sim/SimAXObserver.h"
#include "platform/sim/SimModel.h"
#include "platform/sim/SimRunLoop.h"

#include <cmath>
#include <stdexcept>

namespace korvane::sim {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using Kind = platform::AXElement::Kind;

namespace {

bool finite(double v) {
    return std::isfinite(v);
}

template <class T> const T* as(const AXValue& v) {
    return std::get_if<T>(&v);
}

} // namespace

SimAccessibility::SimAccessibility(SimModel& model) : model_(model) {}

AXElement SimAccessibility::applicationElement(pid_t pid) {
    return SimModel::appElement(pid);
}

AXElement SimAccessibility::systemWideElement() {
    return AXElement{Kind::systemWide, 0, 0};
}

AXElement SimAccessibility::focusedElementLocked(pid_t pid) {
    auto* app = model_.appLocked(pid);
    if (!app) return {};
    if (app->focusedElement && model_.childOfElementLocked(app->focusedElement)) return app->focusedElement;
    if (auto* w = model_.windowLocked(app->focusedWindow)) return SimModel::elementOf(*w);
    return {};
}

AXError SimAccessibility::copyAttribute(const AXElement& element, const std::string& attribute,
                                        AXValue& out) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    if (auto s = model_.takeScriptedLocked(element, attribute); s && *s != AXError::success) return *s;
    if (!model_.trusted) return AXError::apiDisabled;
    if (auto v = model_.scriptedValues.find(SimModel::key(element, attribute));
        v != model_.scriptedValues.end()) {
        out = std::move(v->second.front());
        v->second.pop_front();
        if (v->second.empty()) model_.scriptedValues.erase(v);
        return AXError::success;
    }
    switch (element.kind) {
    case Kind::systemWide:
        if (attribute == "AXRole") {
            out = std::string("AXSystemWide");
            return AXError::success;
        }
        if (attribute == "AXFocusedUIElement") {
            AXElement focused = model_.frontmost ? focusedElementLocked(model_.frontmost) : AXElement{};
            if (!focused) return AXError::noValue;
            out = focused;
            return AXError::success;
        }
        if (attribute == "AXFocusedApplication") {
            if (!model_.frontmost) return AXError::noValue;
            out = SimModel::appElement(model_.frontmost);
            return AXError::success;
        }
        return AXError::attributeUnsupported;
    case Kind::application:
        return readApplication(element.pid, attribute, out);
    case Kind::window:
        return readWindow(element, attribute, out);
    case Kind::other:
        return readChild(element, attribute, out);
    case Kind::none:
        break;
    }
    return AXError::illegalArgument;
}

AXError SimAccessibility::copyParameterizedAttribute(const AXElement& element, const std::string& attribute,
                                                     const AXValue& parameter, AXValue& out) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    if (auto s = model_.takeScriptedLocked(element, attribute); s && *s != AXError::success) return *s;
    if (!model_.trusted) return AXError::apiDisabled;
    if (element.kind == Kind::none) return AXError::illegalArgument;
    if (element.kind != Kind::window) return AXError::attributeUnsupported;
    auto* w = model_.windowOfElementLocked(element);
    if (!w) return AXError::invalidUIElement;
    if (attribute != platform::kGrantedSizeAttribute || !w->tellsGrantedSize)
        return AXError::attributeUnsupported;
    const auto* s = as<Size>(parameter);
    if (!s || !finite(s->width) || !finite(s->height) || s->width < 0 || s->height < 0)
        return AXError::illegalArgument;
    out = SimModel::acceptedSize(*w, *s);
    return AXError::success;
}

AXError SimAccessibility::isAttributeSettable(const AXElement& element, const std::string& attribute,
                                              bool& settable) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    if (auto s = model_.takeScriptedLocked(element, attribute); s && *s != AXError::success) return *s;
    if (!model_.trusted) return AXError::apiDisabled;
    switch (element.kind) {
    case Kind::window: {
        auto* w = model_.windowOfElementLocked(element);
        if (!w) return AXError::invalidUIElement;
        if (attribute == "AXMain" || attribute == "AXFocused")
            settable = w->takesFocus;
        else
            settable =
                attribute == "AXPosition" || attribute == "AXSize" || attribute == "AXMinimized" ||
                attribute == platform::kParkedAttribute || attribute == platform::kParkedMaximizedAttribute ||
                attribute == platform::kMaximizedAttribute || attribute == platform::kOtherDesktopAttribute;
        return AXError::success;
    }
    case Kind::application:
        if (!model_.appLocked(element.pid)) return AXError::invalidUIElement;
        settable = attribute == "AXFrontmost";
        return AXError::success;
    case Kind::systemWide:
    case Kind::other:
        settable = false;
        return AXError::success;
    case Kind::none:
        break;
    }
    return AXError::illegalArgument;
}

AXError SimAccessibility::readApplication(pid_t pid, const std::string& attribute, AXValue& out) {
    auto* app = model_.appLocked(pid);
    if (!app) return AXError::invalidUIElement;
    auto windowValue = [&](std::uint64_t token) {
        auto* w = model_.windowLocked(token);
        if (!w) return AXError::noValue;
        out = SimModel::elementOf(*w);
        return AXError::success;
    };
    if (attribute == "AXRole") {
        out = std::string("AXApplication");
    } else if (attribute == "AXTitle") {
        if (!app->info.name) return AXError::noValue;
        out = *app->info.name;
    } else if (attribute == "AXWindows" || (attribute == "AXAllWindows" && app->exposesAllWindows)) {
        std::vector<AXElement> list;
        for (auto token : model_.windowsOfLocked(pid))
            list.push_back(SimModel::elementOf(model_.windows.at(token)));
        out = std::move(list);
    } else if (attribute == "AXFocusedWindow") {
        return windowValue(app->focusedWindow);
    } else if (attribute == "AXMainWindow") {
        return windowValue(app->mainWindow);
    } else if (attribute == "AXFrontmost") {
        out = model_.frontmost == pid;
    } else if (attribute == "AXHidden") {
        out = app->info.isHidden;
    } else if (attribute == "AXFocusedUIElement") {
        AXElement focused = focusedElementLocked(pid);
        if (!focused) return AXError::noValue;
        out = focused;
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

AXError SimAccessibility::readWindow(const AXElement& element, const std::string& attribute, AXValue& out) {
    auto* w = model_.windowOfElementLocked(element);
    if (!w) return readClosedWindow(element, attribute, out);
    auto* app = model_.appLocked(w->pid);
    auto number = [&](WindowNumberAttribute kind) {
        if (w->numberAttribute != kind) return AXError::attributeUnsupported;
        if (!model_.numberVisibleLocked(*w)) return AXError::noValue;
        out = static_cast<double>(w->number);
        return AXError::success;
    };
    auto text = [&](const std::optional<std::string>& v) {
        if (!v) return AXError::noValue;
        out = *v;
        return AXError::success;
    };
    auto boolean = [&](bool b) {
        if (w->booleansAsNumbers)
            out = b ? 1.0 : 0.0;
        else
            out = b;
    };
    if (attribute == "AXRole") {
        out = w->role;
    } else if (attribute == "AXSubrole") {
        return text(w->subrole);
    } else if (attribute == "AXTitle") {
        out = w->title;
    } else if (attribute == "AXPosition") {
        out = w->frame.origin;
    } else if (attribute == "AXSize") {
        out = w->frame.size;
    } else if (attribute == "AXMinimized") {
        boolean(w->minimized);
    } else if (attribute == "AXFullscreen") {
        boolean(w->fullscreen);
    } else if (attribute == platform::kMaximizedAttribute) {
        boolean(w->maximized);
    } else if (attribute == platform::kParkedMaximizedAttribute) {
        boolean(w->markedParked() && w->parkedMaximized);
    } else if (attribute == "AXMain") {
        boolean(app && app->mainWindow == w->token);
    } else if (attribute == "AXFocused") {
        boolean(app && app->focusedWindow == w->token);
    } else if (attribute == "AXWindowNumber") {
        return number(WindowNumberAttribute::standard);
    } else if (attribute == "_AXWindow") {
        return number(WindowNumberAttribute::privateOnly);
    } else if (attribute == "AXDocument") {
        return text(w->document);
    } else if (attribute == "AXURL") {
        return text(w->url);
    } else if (attribute == "AXParent") {
        out = SimModel::appElement(w->pid);
    } else if (attribute == platform::kParkedAttribute) {
        boolean(w->markedParked());
    } else if (attribute == platform::kOtherDesktopAttribute) {
        boolean(w->onDesktopNotShown(model_.shownDesktop));
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

AXError SimAccessibility::readClosedWindow(const AXElement& element, const std::string& attribute,
                                           AXValue& out) {
    const SimWindow* w = model_.closedWindowOfElementLocked(element);
    const bool numberAttribute =
        (attribute == "AXWindowNumber" && w && w->numberAttribute == WindowNumberAttribute::standard) ||
        (attribute == "_AXWindow" && w && w->numberAttribute == WindowNumberAttribute::privateOnly);
    if (!numberAttribute || !model_.numberVisibleLocked(*w)) return AXError::invalidUIElement;
    out = static_cast<double>(w->number);
    return AXError::success;
}

AXError SimAccessibility::readChild(const AXElement& element, const std::string& attribute, AXValue& out) {
    auto* c = model_.childOfElementLocked(element);
    if (!c) return AXError::invalidUIElement;
    auto* w = model_.windowLocked(c->window);
    if (attribute == "AXRole") {
        out = c->desc.role;
    } else if (attribute == "AXParent") {
        out = c->parent;
    } else if ((attribute == "AXWindow" && c->desc.exposesWindow) ||
               (attribute == "AXTopLevelUIElement" && c->desc.exposesTopLevel)) {
        if (!w) return AXError::noValue;
        out = SimModel::elementOf(*w);
    } else {
        return AXError::attributeUnsupported;
    }
    return AXError::success;
}

AXError SimAccessibility::setAttribute(const AXElement& element, const std::string& attribute,
                                       const AXValue& value) {
    // A write of the frame returns once the window manager has carried it out.
    if (attribute == "AXPosition" || attribute == "AXSize")
        if (const Nanos wait = moveDelay(element); wait > 0) model_.loop.sleepBlocking(wait);
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    return writeLocked(element, attribute, value, false);
}

AXError SimAccessibility::requestFrame(const AXElement& window, std::optional<Point> position,
                                       std::optional<Size> size) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    AXError result = AXError::success;
    const auto keep = [&](AXError e) {
        if (result == AXError::success) result = e;
    };
    // As the writes of a move: the size first, so that the position fits it, and again after the
    // position, which an application may have limited the size against.
    if (size) keep(writeLocked(window, "AXSize", *size, true));
    if (position) keep(writeLocked(window, "AXPosition", *position, true));
    if (size) keep(writeLocked(window, "AXSize", *size, true));
    return result;
}

Nanos SimAccessibility::moveDelay(const AXElement& element) {
    std::lock_guard lock(model_.mutex);
    const auto* w = element.kind == Kind::window ? model_.windowOfElementLocked(element) : nullptr;
    return w ? w->movesAfter : 0;
}

AXError SimAccessibility::writeLocked(const AXElement& element, const std::string& attribute,
                                      const AXValue& value, bool late) {
    AXError result;
    if (auto s = model_.takeScriptedLocked(element, attribute); s && *s != AXError::success) {
        result = *s;
    } else if (!model_.trusted) {
        result = AXError::apiDisabled;
    } else if (element.kind == Kind::window) {
        result = writeWindow(element, attribute, value, late);
    } else if (element.kind == Kind::application) {
        result = writeApplication(element.pid, attribute, value);
    } else if (element.kind == Kind::other) {
        result =
            model_.childOfElementLocked(element) ? AXError::attributeUnsupported : AXError::invalidUIElement;
    } else {
        result = AXError::illegalArgument;
    }
    model_.callLog.push_back({element, "set", attribute, value, result});
    return result;
}

AXError SimAccessibility::writeWindow(const AXElement& element, const std::string& attribute,
                                      const AXValue& value, bool late) {
    auto* w = model_.windowOfElementLocked(element);
    if (!w) return AXError::invalidUIElement;
    const AXElement el = SimModel::elementOf(*w);
    // Placed by the program, the window is no longer where it was parked, whatever came of the request;
    // nor maximised, as a window manager lets a maximised window be placed only once it leaves that state.
    if (attribute == "AXPosition" || attribute == "AXSize") {
        w->parkedAt.reset();
        w->maximized = false;
    }
    // A write that waited has been carried out by now; a request is, once its time has come.
    const Nanos delay = late ? w->movesAfter : 0;
    if (attribute == "AXPosition") {
        const auto* p = as<Point>(value);
        if (!p || !finite(p->x) || !finite(p->y)) return AXError::illegalArgument;
        model_.writeFrameLocked(*w, *p, std::nullopt, delay);
        return AXError::success;
    }
    if (attribute == "AXSize") {
        const auto* s = as<Size>(value);
        if (!s || !finite(s->width) || !finite(s->height) || s->width < 0 || s->height < 0)
            return AXError::illegalArgument;
        model_.writeFrameLocked(*w, std::nullopt, *s, delay);
        return AXError::success;
    }
    const auto* flag = as<bool>(value);
    if (attribute == platform::kParkedAttribute) {
        if (!flag) return AXError::illegalArgument;
        w->parkedAt = *flag ? std::optional(w->frame) : std::nullopt;
        w->parkedMaximized = false;
        return AXError::success;
    }
    if (attribute == platform::kParkedMaximizedAttribute) {
        if (!flag) return AXError::illegalArgument;
        if (!w->markedParked()) return AXError::cannotComplete;
        w->parkedMaximized = *flag;
        return AXError::success;
    }
    if (attribute == platform::kMaximizedAttribute) {
        if (!flag || !*flag) return AXError::illegalArgument;
        w->maximized = true;
        return AXError::success;
    }
    if (attribute == platform::kOtherDesktopAttribute) {
        if (!flag || *flag) return AXError::illegalArgument;
        if (w->onDesktopNotShown(model_.shownDesktop)) model_.shownDesktop = *w->desktop;
        return AXError::success;
    }
    if (attribute == "AXMinimized") {
        if (!flag) return AXError::illegalArgument;
        if (w->minimized == *flag) return AXError::success;
        w->minimized = *flag;
        model_.emitLocked(w->pid, el, *flag ? "AXWindowMiniaturized" : "AXWindowDeminiaturized");
        return AXError::success;
    }
    if (attribute == "AXMain" || attribute == "AXFocused") {
        if (!flag) return AXError::illegalArgument;
        auto* app = model_.appLocked(w->pid);
        if (!w->takesFocus) return AXError::cannotComplete;
        // Asking a window to give up main or focus status is accepted and has no effect, as in practice.
        if (!app || !*flag || w->ignoresFocus) return AXError::success;
        if (w->onDesktopNotShown(model_.shownDesktop)) model_.shownDesktop = *w->desktop;
        if (attribute == "AXMain")
            model_.setMainWindowLocked(*app, w->token);
        else
            model_.setFocusedWindowLocked(*app, w->token);
        return AXError::success;
    }
    return AXError::attributeUnsupported;
}

AXError SimAccessibility::writeApplication(pid_t pid, const std::string& attribute, const AXValue& value) {
    auto* app = model_.appLocked(pid);
    if (!app) return AXError::invalidUIElement;
    if (attribute != "AXFrontmost") return AXError::attributeUnsupported;
    const auto* flag = as<bool>(value);
    if (!flag) return AXError::illegalArgument;
    if (!*flag) return AXError::success;
    if (!app->axFrontmostOutcome.accepted) return AXError::cannotComplete;
    model_.requestActivationLocked(pid, 0, app->axFrontmostOutcome);
    return AXError::success;
}

AXError SimAccessibility::performAction(const AXElement& element, const std::string& action) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    AXError result = AXError::success;
    if (auto s = model_.takeScriptedLocked(element, action); s && *s != AXError::success) {
        result = *s;
    } else if (!model_.trusted) {
        result = AXError::apiDisabled;
    } else if (element.kind == Kind::window) {
        auto* w = model_.windowOfElementLocked(element);
        if (!w)
            result = AXError::invalidUIElement;
        else if (action != "AXRaise")
            result = AXError::actionUnsupported;
        else
            model_.raiseLocked(w->token);
    } else if (element.isNull() || element.kind == Kind::systemWide) {
        result = AXError::illegalArgument;
    } else {
        result = AXError::actionUnsupported;
    }
    model_.callLog.push_back({element, "action", action, std::monostate{}, result});
    return result;
}

AXError SimAccessibility::pidOf(const AXElement& element, pid_t& out) {
    std::lock_guard lock(model_.mutex);
    if (auto s = model_.takeScriptedLocked(element, kPidOfCall); s && *s != AXError::success) return *s;
    // The pid travels with the element, so it reads even after the window or application is gone.
    if (element.isNull() || element.kind == Kind::systemWide) return AXError::illegalArgument;
    out = element.pid;
    return AXError::success;
}

AXError SimAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    std::lock_guard lock(model_.mutex);
    if (element.isNull()) return AXError::illegalArgument;
    model_.messagingTimeouts.emplace_back(element, seconds);
    return AXError::success;
}

bool SimAccessibility::isProcessTrusted() {
    std::lock_guard lock(model_.mutex);
    return model_.trusted;
}

std::shared_ptr<platform::AXObserver>
SimAccessibility::createObserver(pid_t pid, platform::AXObserver::Callback callback, AXError& error) {
    std::lock_guard lock(model_.mutex);
    auto& scripted = model_.scriptedObserverFailures[pid];
    if (!scripted.empty()) {
        const AXError e = scripted.front();
        scripted.pop_front();
        if (e != AXError::success) {
            error = e;
            return nullptr;
        }
    }
    if (!model_.trusted) {
        error = AXError::apiDisabled;
        return nullptr;
    }
    auto observer = std::make_shared<SimAXObserver>(model_.weak_from_this(), pid, std::move(callback));
    model_.observers[pid].push_back(observer);
    error = AXError::success;
    return observer;
}

void SimAccessibility::scriptAXFailure(const AXElement& element, const std::string& name,
                                       std::vector<AXError> results) {
    std::lock_guard lock(model_.mutex);
    auto& queue = model_.scriptedAX[SimModel::key(element, name)];
    queue.insert(queue.end(), results.begin(), results.end());
}

void SimAccessibility::scriptAXValue(const AXElement& element, const std::string& attribute,
                                     std::vector<AXValue> values) {
    std::lock_guard lock(model_.mutex);
    auto& queue = model_.scriptedValues[SimModel::key(element, attribute)];
    queue.insert(queue.end(), std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()));
}

void SimAccessibility::scriptAXFailure(std::uint32_t windowNumber, const std::string& name,
                                       std::vector<AXError> results) {
    AXElement element;
    {
        std::lock_guard lock(model_.mutex);
        element = SimModel::elementOf(model_.requireWindowLocked(windowNumber));
    }
    scriptAXFailure(element, name, std::move(results));
}

std::vector<AXCall> SimAccessibility::axCallLog() const {
    std::lock_guard lock(model_.mutex);
    return model_.callLog;
}

void SimAccessibility::clearAXCallLog() {
    std::lock_guard lock(model_.mutex);
    model_.callLog.clear();
}

std::vector<std::pair<AXElement, float>> SimAccessibility::messagingTimeouts() const {
    std::lock_guard lock(model_.mutex);
    return model_.messagingTimeouts;
}

void SimAccessibility::setProcessTrusted(bool trusted) {
    std::lock_guard lock(model_.mutex);
    model_.trusted = trusted;
}

void SimAccessibility::scriptObserverCreationFailure(pid_t pid, std::vector<AXError> errors) {
    std::lock_guard lock(model_.mutex);
    auto& queue = model_.scriptedObserverFailures[pid];
    queue.insert(queue.end(), errors.begin(), errors.end());
}

std::size_t SimAccessibility::liveObserverCount(pid_t pid) const {
    std::lock_guard lock(model_.mutex);
    auto it = model_.observers.find(pid);
    if (it == model_.observers.end()) return 0;
    std::size_t n = 0;
    for (const auto& w : it->second)
        n += w.expired() ? 0 : 1;
    return n;
}

void SimAccessibility::setExposesAllWindows(pid_t pid, bool exposes) {
    std::lock_guard lock(model_.mutex);
    model_.requireAppLocked(pid).exposesAllWindows = exposes;
}

void SimAccessibility::setAXFrontmostOutcome(pid_t pid, ActivationOutcome outcome) {
    std::lock_guard lock(model_.mutex);
    model_.requireAppLocked(pid).axFrontmostOutcome = outcome;
}

} // namespace korvane::sim
