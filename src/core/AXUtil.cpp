// Window lookups, frames, focus lookups and checked moves through the accessibility interface and the
// window server's list, converting between top-left and bottom-left global coordinates.
#include "core/AXUtil.h"

#include "core/Log.h"
#include "core/ScreenSpace.h"
#include "core/WindowInfoFields.h"
#include "platform/Format.h"
#include "platform/ProcessWide.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;
using platform::WindowInfo;
namespace WK = platform::WindowKey;
using windowinfo::integerValue;
using windowinfo::stringValue;

namespace {

// Titles come from other applications and may be padded with any white space or line break.
std::string normalizedTitle(std::string_view s) {
    std::string out = trimmingWhitespaceAndNewlines(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// An accessibility number as a window number, truncated to 32 bits as the window server's numbers are.
std::optional<WindowID> windowNumberOf(const AXValue& v) {
    const double* d = std::get_if<double>(&v);
    if (!d || !std::isfinite(*d) || std::fabs(*d) >= 9.0e18) return std::nullopt;
    return static_cast<WindowID>(static_cast<std::int64_t>(*d));
}

std::optional<AXElement> elementOf(const AXValue& v) {
    const AXElement* e = std::get_if<AXElement>(&v);
    if (!e || e->isNull()) return std::nullopt;
    return *e;
}

platform::ProcessWide<AXUtil> gShared;

// The screen a window moved to the target lands on: the one whose visible frame holds the target's
// centre, else the main screen.
std::optional<platform::ScreenInfo> screenOf(platform::Screens& screens, const Rect& target) {
    for (const auto& s : screens.screens())
        if (s.visibleFrame.contains(target.center())) return s;
    return screens.mainScreen();
}

// A window moved to a target on the bottom of the visible frame is kept there whatever height it takes.
bool anchorsBottom(const Rect& target, const Rect& visible) {
    return std::fabs(target.minY() - visible.minY()) <= 1.0;
}

// Where a window of `size` goes for the target: on the target's left edge, and on the visible frame's
// bottom or under the target's top. A window that cannot shrink to the target (its minimum size) stays on
// the target's monitor all the same: it reaches no further past an edge of the visible frame than the
// target does (none past it for a zone, which then has the window end on its edge there), and where it is
// larger than the visible frame itself, its left and top edges win, where its title bar and the title
// bar's buttons are.
Rect placedFrame(const Rect& target, Size size, const Rect& visible) {
    double x = target.minX();
    double y = anchorsBottom(target, visible) ? visible.minY() : target.maxY() - size.height;
    if (visible.width() > 0 && visible.height() > 0) {
        x = std::min(x, std::max(visible.maxX(), target.maxX()) - size.width);
        x = std::max(x, std::min(visible.minX(), target.minX()));
        y = std::max(y, std::min(visible.minY(), target.minY()));
        y = std::min(y, std::max(visible.maxY(), target.maxY()) - size.height);
    }
    return Rect{x, y, size.width, size.height};
}

// How often a move asked without waiting reads the frame back, how long a frame that changed must hold
// still to count as where the window manager put it, and how long a window manager has to answer at
// all: as long as a write that waits gives it.
constexpr Nanos kFramePollInterval = milliseconds(5);
constexpr Nanos kFrameHeldStill = milliseconds(40);
constexpr Nanos kFrameAnswerLimit = milliseconds(500);

// Whether two frames differ by more than a point on any side: a target of fractional points lands on
// whole pixels.
bool apart(const Rect& a, const Rect& b) {
    return std::fabs(a.minX() - b.minX()) > 1.0 || std::fabs(a.minY() - b.minY()) > 1.0 ||
           std::fabs(a.width() - b.width()) > 1.0 || std::fabs(a.height() - b.height()) > 1.0;
}

} // namespace

AXUtil::AXUtil(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<AXUtil> AXUtil::shared() {
    return gShared.get([](platform::Platform& p) { return std::make_shared<AXUtil>(p); });
}

void AXUtil::setShared(std::shared_ptr<AXUtil> instance) {
    gShared.set(std::move(instance));
}

WindowList AXUtil::cachedWindowList() {
    std::lock_guard lock(cacheLock);
    if (windowListCache && windowListCacheTime) {
        // A clock that went backwards says nothing about the list's age: fetch again.
        const Nanos age = platform_.runLoop().now() - *windowListCacheTime;
        if (age >= 0 && age < seconds(cacheValidityInterval)) return windowListCache;
    }
    WindowList fetched;
    {
        auto interval = Log::signposts.beginInterval("_NET_CLIENT_LIST_STACKING");
        auto list = platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly |
                                                            platform::kExcludeDesktopElements);
        bool allDictionaries = list.has_value();
        if (list)
            for (const auto& e : *list)
                allDictionaries = allDictionaries && e.is_object();
        if (allDictionaries) fetched = std::make_shared<const std::vector<WindowInfo>>(std::move(*list));
    }
    windowListCache = fetched;
    windowListCacheTime = platform_.runLoop().now();
    return fetched;
}

std::optional<WindowID> AXUtil::windowID(const AXElement& element) {
    auto interval = Log::signposts.beginInterval("AXWindowId");
    auto& ax = platform_.accessibility();

    AXValue value;
    if (ax.copyAttribute(element, "AXWindowNumber", value) == AXError::success)
        if (auto n = windowNumberOf(value)) return n;
    value = std::monostate{};
    if (ax.copyAttribute(element, "_AXWindow", value) == AXError::success)
        if (auto n = windowNumberOf(value)) return n;

    // No number attribute: match the element's frame against the window list.
    pid_t pid = 0;
    if (ax.pidOf(element, pid) != AXError::success || pid == 0) return std::nullopt;
    auto frame = this->frame(element);
    if (!frame) return std::nullopt;
    auto list = cachedWindowList();
    if (!list) return std::nullopt;
    const auto H = flipHeight(platform_.screens());

    std::vector<std::string> hints;
    for (const char* attribute : {"AXTitle", "AXDocument", "AXURL"})
        if (auto text = stringAttribute(attribute, element)) {
            auto hint = normalizedTitle(*text);
            if (!hint.empty()) hints.push_back(std::move(hint));
        }

    struct Candidate {
        WindowID number;
        std::optional<std::string> name;
    };
    std::vector<Candidate> candidates;
    for (const auto& entry : *list) {
        if (windowinfo::ownerPID(entry) != pid || integerValue(entry, WK::layer) != 0) continue;
        auto bounds = windowinfo::bounds(entry);
        auto number = windowinfo::windowNumber(entry);
        if (!bounds || !number) continue;
        const Rect converted = H ? flipRect(*bounds, *H) : *bounds;
        if (std::fabs(converted.minX() - frame->minX()) <= 20 &&
            std::fabs(converted.minY() - frame->minY()) <= 20 &&
            std::fabs(converted.width() - frame->width()) <= 20 &&
            std::fabs(converted.height() - frame->height()) <= 20)
            candidates.push_back({*number, stringValue(entry, WK::name)});
    }

    if (candidates.empty()) return std::nullopt;
    if (candidates.size() == 1 || hints.empty()) return candidates.front().number;
    for (const auto& c : candidates) {
        if (!c.name) continue;
        auto name = normalizedTitle(*c.name);
        if (name.empty()) continue;
        for (const auto& hint : hints)
            if (name == hint) return c.number;
    }
    return candidates.front().number;
}

std::optional<ElementAndFrame> AXUtil::axAndFrame(WindowID windowID, bool allowFallback) {
    auto list = platform_.windowServer().copyWindowInfo(platform::kIncludingWindow, windowID);
    const WindowInfo* entry = list && !list->empty() ? &list->front() : nullptr;
    std::optional<std::string> owner = entry ? stringValue(*entry, WK::ownerName) : std::nullopt;
    std::optional<pid_t> pid = entry ? windowinfo::ownerPID(*entry) : std::nullopt;
    if (!owner || *owner == "WindowServer" || !pid) {
        Log::ax.debug("axAndFrame: no _NET_CLIENT_LIST_STACKING entry for wid=%u", windowID);
        return std::nullopt;
    }
    static const Labels labels{"AXWindows", "AXAllWindows", "axAndFrame: resolved via AXAllWindows pid=%d",
                               "axAndFrame: unable to acquire AX window for wid=%u pid=%d"};
    return lookUpInApplication(windowID, *pid, allowFallback, labels);
}

std::optional<ElementAndFrame> AXUtil::axAndFrame(WindowID windowID, pid_t pid, bool allowFallback) {
    if (pid == 0) return axAndFrame(windowID, allowFallback);
    static const Labels labels{"AXWindows(pid)", "AXAllWindows(pid)",
                               "axAndFrame: resolved via AXAllWindows pid=%d (pid supplied)",
                               "axAndFrame: unable to acquire AX window for wid=%u pid=%d (pid supplied)"};
    return lookUpInApplication(windowID, pid, allowFallback, labels);
}

std::optional<AXElement> AXUtil::axElement(WindowID windowID, pid_t pid) {
    if (pid == 0) return std::nullopt;
    static const Labels labels{"AXWindows(pid)", "AXAllWindows(pid)", nullptr, nullptr};
    if (auto found = lookUpInApplication(windowID, pid, false, labels)) return found->element;
    return std::nullopt;
}

std::optional<ElementAndFrame> AXUtil::lookUpInApplication(WindowID windowID, pid_t pid, bool allowFallback,
                                                           const Labels& labels) {
    const AXElement app = platform_.accessibility().applicationElement(pid);
    if (auto found = matchWindow(app, "AXWindows", pid, windowID, allowFallback, labels.windows))
        return found;
    if (auto found = matchWindow(app, "AXAllWindows", pid, windowID, allowFallback, labels.allWindows)) {
        if (labels.resolvedMessage) Log::ax.debug(labels.resolvedMessage, pid);
        return found;
    }
    if (auto found = axAndFrameViaFocusedWindow(pid, windowID, allowFallback)) return found;
    if (labels.unresolvedMessage) Log::ax.error(labels.unresolvedMessage, windowID, pid);
    return std::nullopt;
}

std::optional<ElementAndFrame> AXUtil::matchWindow(const AXElement& app, const std::string& attribute,
                                                   pid_t pid, WindowID windowID, bool allowFallback,
                                                   const char* label) {
    AXValue value;
    const AXError status = platform_.accessibility().copyAttribute(app, attribute, value);
    if (status != AXError::success) {
        Log::ax.debug("axAndFrame: %s failed status=%d pid=%d", label, platform::axErrorCode(status), pid);
        return std::nullopt;
    }
    const auto* windows = std::get_if<std::vector<AXElement>>(&value);
    if (!windows || windows->empty()) {
        Log::ax.debug("axAndFrame: %s returned empty list pid=%d", label, pid);
        return std::nullopt;
    }

    std::optional<ElementAndFrame> numberless;
    for (const auto& window : *windows) {
        auto frame = this->frame(window);
        if (!frame) continue;
        if (auto number = this->windowID(window)) {
            if (*number == windowID) return ElementAndFrame{window, *frame};
            continue;
        }
        if (allowFallback && !numberless) numberless = ElementAndFrame{window, *frame};
    }
    if (!allowFallback) return std::nullopt;
    if (numberless) {
        Log::ax.debug("axAndFrame: %s fallback using window without AXWindowNumber pid=%d", label, pid);
        return numberless;
    }
    // Deliberately any window of the application: callers that allow the fallback prefer acting on some
    // window of the right application to acting on none.
    for (const auto& window : *windows)
        if (auto frame = this->frame(window)) {
            Log::ax.debug("axAndFrame: %s fallback using first window pid=%d", label, pid);
            return ElementAndFrame{window, *frame};
        }
    return std::nullopt;
}

std::optional<ElementAndFrame> AXUtil::axAndFrameViaFocusedWindow(pid_t pid, WindowID windowID,
                                                                  bool allowFallback) {
    const AXElement app = platform_.accessibility().applicationElement(pid);
    struct Source {
        const char* attribute;
        const char* message;
    };
    static constexpr std::array<Source, 2> sources = {{
        {"AXFocusedWindow", "axAndFrameViaFocusedWindow: using focused window pid=%d wid=%s"},
        {"AXMainWindow", "axAndFrameViaFocusedWindow: using main window pid=%d wid=%s"},
    }};
    for (const auto& source : sources) {
        auto window = elementAttribute(app, source.attribute);
        if (!window) continue;
        auto frame = this->frame(*window);
        if (!frame) continue;
        auto number = this->windowID(*window);
        if (!number || (*number != windowID && !allowFallback)) continue;
        Log::ax.debug(source.message, pid, std::to_string(*number));
        return ElementAndFrame{*window, *frame};
    }
    Log::ax.debug("axAndFrameViaFocusedWindow: no usable window pid=%d targetWid=%u", pid, windowID);
    return std::nullopt;
}

std::optional<Rect> AXUtil::frame(const AXElement& element) {
    auto& ax = platform_.accessibility();
    AXValue position, size;
    if (ax.copyAttribute(element, "AXPosition", position) != AXError::success) return std::nullopt;
    if (ax.copyAttribute(element, "AXSize", size) != AXError::success) return std::nullopt;
    const auto* p = std::get_if<Point>(&position);
    const auto* s = std::get_if<Size>(&size);
    if (!p || !s) return std::nullopt;
    const Rect topLeft{*p, *s};
    if (auto H = flipHeight(platform_.screens())) return flipRect(topLeft, *H);
    return topLeft;
}

AXError AXUtil::copyAttributeWithRetry(const AXElement& element, const std::string& attribute, AXValue& out) {
    auto& ax = platform_.accessibility();
    AXError last = AXError::success;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        out = std::monostate{};
        const AXError status = ax.copyAttribute(element, attribute, out);
        if (status == AXError::success) return status;
        last = status;
        if (status == AXError::cannotComplete)
            platform_.runLoop().sleepBlocking(milliseconds(10 * attempt));
        else if (status == AXError::apiDisabled && ax.isProcessTrusted())
            platform_.runLoop().sleepBlocking(milliseconds(15 * attempt));
        else
            break;
    }
    return last;
}

std::optional<AXElement> AXUtil::elementAttribute(const AXElement& element, const std::string& attribute) {
    AXValue value;
    if (platform_.accessibility().copyAttribute(element, attribute, value) != AXError::success)
        return std::nullopt;
    return elementOf(value);
}

bool AXUtil::takesKeyboardFocus(const AXElement& window) {
    bool settable = true;
    if (platform_.accessibility().isAttributeSettable(window, "AXFocused", settable) != AXError::success)
        return true;
    return settable;
}

std::optional<AXElement> AXUtil::focusedWindow() {
    auto front = platform_.workspace().frontmostApplication();
    if (!front) {
        Log::ax.debug("focusedWindow: no frontmost app");
        return std::nullopt;
    }
    auto& ax = platform_.accessibility();
    const AXElement app = ax.applicationElement(front->pid);
    ax.setMessagingTimeout(app, 1.0f);
    AXValue value;
    const AXError status = copyAttributeWithRetry(app, "AXFocusedWindow", value);
    if (status == AXError::success)
        if (auto window = elementOf(value)) return window;
    Log::ax.debug("focusedWindow: failed status=%d trusted=%{bool}d app pid=%d bundle=%s",
                  platform::axErrorCode(status), ax.isProcessTrusted(), front->pid,
                  front->bundleID.value_or("-"));
    return std::nullopt;
}

std::optional<AXElement> AXUtil::focusedWindowSystemWide() {
    auto& ax = platform_.accessibility();
    AXValue value;
    const AXError status = copyAttributeWithRetry(ax.systemWideElement(), "AXFocusedUIElement", value);
    if (status == AXError::success)
        if (auto focused = elementOf(value)) {
            auto window = containingWindow(*focused);
            Log::ax.debug("focusedWindowSystemWide: %s", window ? "found window" : "no window");
            return window;
        }
    Log::ax.debug("focusedWindowSystemWide: failed status=%d trusted=%{bool}d", platform::axErrorCode(status),
                  ax.isProcessTrusted());
    return std::nullopt;
}

std::optional<AXElement> AXUtil::containingWindow(const AXElement& element) {
    AXElement current = element;
    for (int examined = 0; examined < 6; ++examined) {
        if (stringAttribute("AXRole", current) == "AXWindow") return current;
        if (auto window = elementAttribute(current, "AXWindow")) return window;
        if (auto top = elementAttribute(current, "AXTopLevelUIElement")) {
            current = *top;
            continue;
        }
        auto parent = elementAttribute(current, "AXParent");
        if (!parent) return std::nullopt;
        current = *parent;
    }
    return std::nullopt;
}

std::optional<std::string> AXUtil::stringAttribute(const std::string& attribute, const AXElement& element) {
    AXValue value;
    if (platform_.accessibility().copyAttribute(element, attribute, value) != AXError::success)
        return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::nullopt;
}

AXUtil::FrameRequest AXUtil::planMove(const AXElement& element, const Rect& target) {
    auto& screens = platform_.screens();
    const auto chosen = screenOf(screens, target);
    FrameRequest plan;
    plan.visible = chosen ? chosen->visibleFrame : Rect{};
    plan.H = primaryScreenHeight(screens).value_or(chosen ? chosen->frame.maxY() : 0);
    // A window that tells the frame it will take (a terminal's cells short of the zone) goes straight to
    // where the correction below would bring it; put at the target's top first, it would be seen to jump.
    plan.granted = grantedFrame(element, target);
    const Rect& destination = plan.granted ? *plan.granted : target;
    plan.position = Point{destination.minX(), plan.H - destination.maxY()};
    plan.size = target.size;
    return plan;
}

std::optional<AXUtil::Correction> AXUtil::correctedPosition(const FrameRequest& plan, const Rect& target,
                                                            const Point& actual, const Size& size) {
    // An application that refuses the requested height keeps its top where it was put; a window meant to
    // sit on the bottom of the visible frame must then move down so that its bottom edge does. One that
    // refuses to shrink to the target keeps its top on the monitor, and is moved back from the monitor's
    // side edge it reaches past.
    const bool anchorBottom = anchorsBottom(target, plan.visible);
    const Rect placed = placedFrame(target, size, plan.visible);
    const double dy = (plan.H - placed.maxY()) - actual.y;
    const bool pastSide = plan.visible.width() > 0 &&
                          (actual.x < std::min(plan.visible.minX(), target.minX()) - 0.5 ||
                           actual.x + size.width > std::max(plan.visible.maxX(), target.maxX()) + 0.5);
    const double dx = pastSide ? placed.minX() - actual.x : 0.0;
    Log::ax.debug("[diag] moveResize verify: target=%s actual-size=%s dy=%s", platform::describe(target),
                  platform::describe(size), platform::format("%.1f", dy));
    if (std::fabs(dy) <= 0.5 && std::fabs(dx) <= 0.5) return std::nullopt;
    if (std::fabs(dx) > 0.5) Log::ax.debug("AX x corrected by %s", platform::format("%.2f", dx));
    return Correction{Point{actual.x + dx, actual.y + dy}, dy, anchorBottom};
}

void AXUtil::logCorrection(const Correction& correction, AXError result) {
    Log::ax.debug("AX y corrected by %s anchorBottom=%{bool}d r=%d", platform::format("%.2f", correction.dy),
                  correction.anchorBottom, platform::axErrorCode(result));
}

std::optional<Rect> AXUtil::frameTopLeft(const AXElement& element) {
    auto& ax = platform_.accessibility();
    AXValue position, size;
    if (ax.copyAttribute(element, "AXPosition", position) != AXError::success ||
        ax.copyAttribute(element, "AXSize", size) != AXError::success)
        return std::nullopt;
    const auto* p = std::get_if<Point>(&position);
    const auto* s = std::get_if<Size>(&size);
    if (!p || !s) return std::nullopt;
    return Rect{*p, *s};
}

std::optional<Rect> AXUtil::moveResize(const AXElement& element, const Rect& target) {
    auto& ax = platform_.accessibility();
    const FrameRequest plan = planMove(element, target);
    // Size first so that the position fits the new size, and again after the move because an application
    // may have limited the size against the screen edge it was on.
    const AXError size1 = ax.setAttribute(element, "AXSize", plan.size);
    const AXError pos = ax.setAttribute(element, "AXPosition", plan.position);
    const AXError size2 = ax.setAttribute(element, "AXSize", plan.size);
    ax.performAction(element, "AXRaise");
    if (size1 != AXError::success || pos != AXError::success || size2 != AXError::success)
        Log::ax.error("moveResize errors size1=%d pos=%d size2=%d target=%s", platform::axErrorCode(size1),
                      platform::axErrorCode(pos), platform::axErrorCode(size2), platform::describe(target));

    const auto actual = frameTopLeft(element);
    if (!actual) return plan.granted;
    if (const auto corrected = correctedPosition(plan, target, actual->origin, actual->size))
        logCorrection(*corrected, ax.setAttribute(element, "AXPosition", corrected->position));
    return plan.granted;
}

platform::Task<AXUtil::FrameAnswer> AXUtil::awaitFrame(AXElement element, Rect expected,
                                                       std::optional<Rect> before,
                                                       platform::CancellationToken overtaken) {
    auto& loop = platform_.runLoop();
    const Nanos start = loop.now();
    std::optional<Rect> last = before;
    Nanos lastChange = start;
    for (;;) {
        const auto now = frameTopLeft(element);
        if (!now) co_return FrameAnswer::unreadable;
        if (!apart(*now, expected)) co_return FrameAnswer::carriedOut;
        const Nanos t = loop.now();
        if (!last || apart(*now, *last)) {
            last = now;
            lastChange = t;
        } else if (before && apart(*now, *before) && t - lastChange >= kFrameHeldStill) {
            // Kept elsewhere than asked (on its monitor, say): that is the window manager's answer too.
            co_return FrameAnswer::carriedOut;
        }
        if (t - start >= kFrameAnswerLimit || overtaken.isCancelled()) co_return FrameAnswer::notCarriedOut;
        if (co_await platform::sleepFor(loop, kFramePollInterval, overtaken))
            co_return FrameAnswer::notCarriedOut;
    }
}

AXUtil::FrameRequest AXUtil::requestMoveResize(const AXElement& element, const Rect& target) {
    FrameRequest request = planMove(element, target);
    request.before = frameTopLeft(element);
    request.replacement = std::make_shared<platform::CancellationSource>();
    request.replaced = request.replacement->token();
    {
        std::lock_guard lock(requestsLock);
        std::erase_if(latestRequests, [](const auto& entry) { return entry.second.expired(); });
        auto& latest = latestRequests[element];
        if (auto previous = latest.lock()) previous->cancel();
        latest = request.replacement;
    }
    const AXError result = platform_.accessibility().requestFrame(element, request.position, request.size);
    request.sent = result == AXError::success;
    if (!request.sent)
        Log::ax.error("moveResize request error=%d target=%s", platform::axErrorCode(result),
                      platform::describe(target));
    return request;
}

platform::Task<std::optional<Rect>> AXUtil::awaitMoveResize(AXElement element, Rect target,
                                                            FrameRequest request,
                                                            platform::CancellationToken overtaken) {
    if (!request.sent) co_return request.granted;
    auto& ax = platform_.accessibility();
    // Either ends the wait: the caller's move was overtaken, or the window was asked for another frame.
    platform::CancellationSource ended;
    const auto endWith = [ended]() mutable { ended.cancel(); };
    const platform::CancellationRegistration byCaller = overtaken.onCancel(endWith);
    const platform::CancellationRegistration byRequest = request.replaced.onCancel(endWith);
    overtaken = ended.token();
    const Rect asked{request.position, request.granted ? request.granted->size : request.size};
    // A window manager that does not answer (stopped, or refusing to move the window) would not answer
    // a correction either: asking it would only wait again.
    if (co_await awaitFrame(element, asked, request.before, overtaken) != FrameAnswer::carriedOut ||
        overtaken.isCancelled())
        co_return request.granted;

    const auto actual = frameTopLeft(element);
    if (!actual) co_return request.granted;
    if (const auto corrected = correctedPosition(request, target, actual->origin, actual->size)) {
        const AXError r = ax.requestFrame(element, corrected->position, std::nullopt);
        logCorrection(*corrected, r);
        if (r == AXError::success) {
            // Named: a braced temporary inside a co_await is destroyed twice by some compilers.
            const Rect correctedFrame{corrected->position, actual->size};
            co_await awaitFrame(element, correctedFrame, actual, overtaken);
        }
    }
    co_return request.granted;
}

std::optional<Rect> AXUtil::grantedFrame(const AXElement& element, const Rect& target) {
    AXValue granted;
    if (platform_.accessibility().copyParameterizedAttribute(element, platform::kGrantedSizeAttribute,
                                                             Size{target.width(), target.height()},
                                                             granted) != AXError::success)
        return std::nullopt;
    const auto* s = std::get_if<Size>(&granted);
    if (!s) return std::nullopt;
    // Where moveResize leaves a window of that size.
    const auto screen = screenOf(platform_.screens(), target);
    return placedFrame(target, *s, screen ? screen->visibleFrame : Rect{});
}

std::optional<bool> axNumberAttribute(platform::Accessibility& accessibility, const AXElement& element,
                                      const std::string& attribute) {
    AXValue value;
    if (accessibility.copyAttribute(element, attribute, value) != AXError::success) return std::nullopt;
    if (const auto* b = std::get_if<bool>(&value)) return *b;
    if (const auto* d = std::get_if<double>(&value)) return *d != 0;
    return std::nullopt;
}

std::optional<bool> axNumberAttribute(const AXElement& element, const std::string& attribute) {
    return axNumberAttribute(platform::Platform::current().accessibility(), element, attribute);
}

} // namespace korvane
