// The one wrapper through which the system reaches other applications' windows: window numbers of
// elements, elements of window numbers, frames, focus lookups, checked moves, and a short-lived cache of
// the window server's on-screen list. Frames taken and given are bottom-left global coordinates.
#pragma once

#include "core/WinRef.h"
#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/Platform.h"
#include "platform/Task.h"
#include "platform/Time.h"
#include "platform/WindowServer.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace korvane {

// A window's element with its frame (bottom-left global coordinates).
struct ElementAndFrame {
    platform::AXElement element;
    Rect frame;
};

// A fetched window list, shared between the callers that the cache serves.
using WindowList = std::shared_ptr<const std::vector<platform::WindowInfo>>;

// Every operation may be called from any thread; none throws, each failure yields nothing and is logged.
class AXUtil {
  public:
    explicit AXUtil(platform::Platform& platform);
    AXUtil(const AXUtil&) = delete;
    AXUtil& operator=(const AXUtil&) = delete;

    // The process-wide instance, made on first use for the platform in use (and made again should the
    // platform in use be another one than its own, as happens between tests).
    static std::shared_ptr<AXUtil> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<AXUtil> instance);

    platform::Platform& platform() const { return platform_; }

    std::optional<WindowID> windowID(const platform::AXElement& element);
    std::optional<ElementAndFrame> axAndFrame(WindowID windowID, bool allowFallback = false);
    // A pid of 0 does exactly the lookup without one.
    std::optional<ElementAndFrame> axAndFrame(WindowID windowID, pid_t pid, bool allowFallback = false);
    std::optional<platform::AXElement> axElement(WindowID windowID, pid_t pid);
    std::optional<Rect> frame(const platform::AXElement& element);
    // False only for a window whose focus the accessibility interface says cannot be set (a clock, a
    // pair of eyes): it can be raised, never focused. A window that cannot be asked counts as taking it.
    bool takesKeyboardFocus(const platform::AXElement& window);
    std::optional<platform::AXElement> focusedWindow();
    std::optional<platform::AXElement> focusedWindowSystemWide();
    std::optional<std::string> stringAttribute(const std::string& attribute,
                                               const platform::AXElement& element);
    // Sets size, position and size again, raises, then reads the result back and corrects the vertical
    // position once (keeping a bottom-anchored window on the visible frame's bottom). The position is
    // that of grantedFrame where the window tells it, so that the correction has nothing left to do.
    // Returns that frame, where the window's own answer put it; nothing where it could not tell.
    std::optional<Rect> moveResize(const platform::AXElement& element, const Rect& target);
    // moveResize without holding the calling thread, and without its raise, which is the caller's to
    // decide once the move has ended, in two halves. The first asks for the frame at once
    // (Accessibility::requestFrame) and returns what the second needs. The second is a task on the main
    // run loop that waits on the loop's clock until the window manager has carried the request out (the
    // frame asked for shows, or the frame changed and held still for 40 ms where the window manager kept
    // it), the window can no longer be read, or 0.5 s passed with neither (a window manager that refuses
    // the move, or does not answer at all). Only once the window manager has answered is the window's
    // vertical position corrected, waited for in the same way. Once `overtaken` is cancelled (another move
    // of the window took over), or a later request asked another frame of the window (`replaced`, whoever
    // asked it: a push, a restore, a display change), the wait ends and nothing more is asked. The task
    // yields what moveResize returns.
    struct FrameRequest {
        std::optional<Rect> granted;
        Point position; // top-left global, as asked
        Size size;
        Rect visible;               // of the screen the target lies on
        double H = 0;               // the height flipping between the two coordinate systems
        std::optional<Rect> before; // top-left
        bool sent = false;
        // Cancelled by the window's next requestMoveResize: what this one asked is no longer wanted.
        platform::CancellationToken replaced;
        // Keeps `replaced` registered with the AXUtil while this request (or a copy) lives.
        std::shared_ptr<platform::CancellationSource> replacement;
    };
    FrameRequest requestMoveResize(const platform::AXElement& element, const Rect& target);
    platform::Task<std::optional<Rect>> awaitMoveResize(platform::AXElement element, Rect target,
                                                        FrameRequest request,
                                                        platform::CancellationToken overtaken = {});
    // The frame moveResize leaves the window at for the target when the window takes another size than
    // the target's (its own size steps and limits); nothing where the window cannot tell that size.
    std::optional<Rect> grantedFrame(const platform::AXElement& element, const Rect& target);
    // The on-screen list, served from the cache while it is younger than `cacheValidityInterval`.
    WindowList cachedWindowList();

    static constexpr double cacheValidityInterval = 0.2; // seconds

  private:
    // How a wait for the window manager to carry out a frame request ended.
    enum class FrameAnswer { carriedOut, notCarriedOut, unreadable };

    // The frame request of a move, the frame before it left out.
    FrameRequest planMove(const platform::AXElement& element, const Rect& target);
    // Where a window read back at `actual` (top-left) with `size` must move for its top to be the
    // target's, or its bottom the visible frame's for a target on that bottom; nothing when it is within
    // half a point of it.
    struct Correction {
        Point position; // top-left global
        double dy = 0;
        bool anchorBottom = false;
    };
    std::optional<Correction> correctedPosition(const FrameRequest& plan, const Rect& target,
                                                const Point& actual, const Size& size);
    // The correction's debug line, with the status of its request as it was sent.
    static void logCorrection(const Correction& correction, platform::AXError result);
    // Top-left global coordinates, as the accessibility interface gives them.
    std::optional<Rect> frameTopLeft(const platform::AXElement& element);
    // Polls the frame until it is `expected` (top-left), or, changed from `before`, has held still; ends
    // as not carried out once `overtaken` is cancelled.
    platform::Task<FrameAnswer> awaitFrame(platform::AXElement element, Rect expected,
                                           std::optional<Rect> before, platform::CancellationToken overtaken);

    struct Labels {
        const char* windows;
        const char* allWindows;
        const char* resolvedMessage;   // nullptr: not logged
        const char* unresolvedMessage; // nullptr: not logged
    };

    std::optional<ElementAndFrame> lookUpInApplication(WindowID windowID, pid_t pid, bool allowFallback,
                                                       const Labels& labels);
    std::optional<ElementAndFrame> matchWindow(const platform::AXElement& app, const std::string& attribute,
                                               pid_t pid, WindowID windowID, bool allowFallback,
                                               const char* label);
    std::optional<ElementAndFrame> axAndFrameViaFocusedWindow(pid_t pid, WindowID windowID,
                                                              bool allowFallback);
    std::optional<platform::AXElement> containingWindow(const platform::AXElement& element);

    // Up to three reads, sleeping between them while the application is busy or the service is starting.
    platform::AXError copyAttributeWithRetry(const platform::AXElement& element, const std::string& attribute,
                                             platform::AXValue& out);
    std::optional<platform::AXElement> elementAttribute(const platform::AXElement& element,
                                                        const std::string& attribute);

    platform::Platform& platform_;

    std::mutex cacheLock; // guards the two cache fields; held during the fetch
    WindowList windowListCache;
    std::optional<Nanos> windowListCacheTime; // monotonic clock of the platform's run loop

    // The latest requestMoveResize of each window whose request still lives; guarded by requestsLock.
    std::mutex requestsLock;
    std::unordered_map<platform::AXElement, std::weak_ptr<platform::CancellationSource>,
                       platform::AXElementHash>
        latestRequests;
};

// An attribute read as a number and given as a Boolean; nothing when the read fails, gives no value or
// gives something other than a number. Never logs.
std::optional<bool> axNumberAttribute(platform::Accessibility& accessibility,
                                      const platform::AXElement& element, const std::string& attribute);
// The same through the platform in use.
std::optional<bool> axNumberAttribute(const platform::AXElement& element, const std::string& attribute);

} // namespace korvane
