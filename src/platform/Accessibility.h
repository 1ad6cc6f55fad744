// The accessibility interface through which the system reads and acts on other applications' windows.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

namespace korvane::platform {

// Result codes with their conventional values; behaviour is keyed on the names, never the numbers.
enum class AXError : std::int32_t {
    success = 0,
    failure = -25200,
    illegalArgument = -25201,
    invalidUIElement = -25202,
    cannotComplete = -25204,
    attributeUnsupported = -25205,
    actionUnsupported = -25206,
    notificationUnsupported = -25207,
    notImplemented = -25208,
    notificationAlreadyRegistered = -25209,
    notificationNotRegistered = -25210,
    apiDisabled = -25211,
    noValue = -25212,
};

inline int axErrorCode(AXError e) {
    return static_cast<int>(e);
}

// A handle to an accessibility element. Plain data, so it can cross threads; two handles compare
// equal when they denote the same element. The backend alone gives `token` its meaning.
struct AXElement {
    enum class Kind : std::uint8_t { none, application, window, systemWide, other };
    Kind kind = Kind::none;
    pid_t pid = 0;
    std::uint64_t token = 0;

    bool isNull() const { return kind == Kind::none; }
    explicit operator bool() const { return !isNull(); }
    friend bool operator==(const AXElement&, const AXElement&) = default;
};

struct AXElementHash {
    std::size_t operator()(const AXElement& e) const noexcept {
        return std::hash<std::uint64_t>()(e.token) ^ (static_cast<std::size_t>(e.pid) << 1) ^
               (static_cast<std::size_t>(e.kind) << 40);
    }
};

// The typed values an attribute can hold. Numbers are doubles; integers read through them exactly.
using AXValue =
    std::variant<std::monostate, bool, double, std::string, Point, Size, AXElement, std::vector<AXElement>>;

// A window attribute of this program's own, a Boolean: the mark it puts on a window it parks, so that
// the window counts as parked wherever the window manager let it stay. Set true, it holds the window's
// frame as it is then; it reads true while the window keeps that frame, and false once anybody moved or
// resized the window, once the program moved or resized it through this interface, or after it was set
// false. A window never marked reads false.
inline constexpr const char* kParkedAttribute = "KorvaneParked";

// A window attribute of this program's own, a Boolean that goes with the parking mark: written true on a
// window whose mark stands, the mark also holds that the window was maximised before it was parked (the
// window manager moves no maximised window, so parking takes that state away). Reads true while the mark
// stands and holds that; a new mark holds nothing of it.
inline constexpr const char* kParkedMaximizedAttribute = "KorvaneParkedMaximized";

// A window attribute of this program's own, a Boolean: true while the window manager keeps the window
// maximised (either way or both). Written true, the window manager is asked to maximise it, and the write
// returns once it is asked; it cannot be written false (placing a window takes the state away).
inline constexpr const char* kMaximizedAttribute = "KorvaneMaximized";

// A window attribute of this program's own that answers for a parameter: given a size (a Size, as
// "AXSize" is written), the size the window takes when asked for it, as its own size steps and limits
// make it (a terminal grows in whole character cells). Answered only where the backend can tell.
inline constexpr const char* kGrantedSizeAttribute = "KorvaneGrantedSize";

// A window attribute of this program's own, a Boolean: true while the window lies on one of the window
// manager's virtual desktops other than the one shown; false for a window on the desktop shown, on every
// desktop, or where the window manager keeps no desktops. Such a window is not minimised for being out of
// view ("AXMinimized" reads false unless the user minimised it). Written false, the window's desktop is
// shown, as a pager shows it; the write is a request that returns at once, never waiting for the desktop.
inline constexpr const char* kOtherDesktopAttribute = "KorvaneOnOtherDesktop";

// Observers deliver notifications ("AXWindowCreated", "AXUIElementDestroyed", "AXTitleChanged", ...)
// on the main run loop. Dropping the last reference stops delivery.
class AXObserver {
  public:
    using Callback = std::function<void(const AXElement& element, const std::string& notification)>;
    virtual ~AXObserver() = default;
    virtual AXError addNotification(const AXElement& element, const std::string& notification) = 0;
    virtual AXError removeNotification(const AXElement& element, const std::string& notification) = 0;
};

// May be called from any thread.
class Accessibility {
  public:
    virtual ~Accessibility() = default;

    virtual AXElement applicationElement(pid_t pid) = 0;
    virtual AXElement systemWideElement() = 0;

    // On success `out` holds the value (std::monostate when the attribute has none).
    virtual AXError copyAttribute(const AXElement& element, const std::string& attribute, AXValue& out) = 0;
    virtual AXError setAttribute(const AXElement& element, const std::string& attribute,
                                 const AXValue& value) = 0;
    // Asks for a window's position (top-left global) and size, either or both, as writes of "AXSize",
    // "AXPosition" and "AXSize" again would, but returns once the request is made, never waiting for it
    // to be carried out: where a window manager carries out moves, the frame read back shows the result
    // once it has. Errors as those writes answer them.
    virtual AXError requestFrame(const AXElement& window, std::optional<Point> position,
                                 std::optional<Size> size) = 0;
    // Whether a write of the attribute can take effect on the element. A window whose "AXFocused" (and
    // "AXMain") is not settable never takes the keyboard focus: it can be raised, not focused.
    virtual AXError isAttributeSettable(const AXElement& element, const std::string& attribute,
                                        bool& settable) = 0;
    // An attribute that answers for a parameter (kGrantedSizeAttribute); attributeUnsupported where the
    // element or the backend cannot answer it.
    virtual AXError copyParameterizedAttribute(const AXElement& element, const std::string& attribute,
                                               const AXValue& parameter, AXValue& out) = 0;
    virtual AXError performAction(const AXElement& element, const std::string& action) = 0;
    virtual AXError pidOf(const AXElement& element, pid_t& out) = 0;
    virtual AXError setMessagingTimeout(const AXElement& element, float seconds) = 0;

    virtual bool isProcessTrusted() = 0;

    // Creation can fail (nullptr with the error in `error`).
    virtual std::shared_ptr<AXObserver> createObserver(pid_t pid, AXObserver::Callback callback,
                                                       AXError& error) = 0;
};

} // namespace korvane::platform
