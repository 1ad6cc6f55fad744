// A window that a display's zone state has attached: its number, owner and the element used to act on it.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace korvane {

struct WinRef {
    WindowID wid = 0;
    pid_t pid = 0;
    platform::AXElement ax;
    std::optional<int> lastZone;
    std::optional<Rect> lastFrame; // bottom-left global coordinates

    // The element and the remembered place change over a window's life; the number does not.
    friend bool operator==(const WinRef& a, const WinRef& b) { return a.wid == b.wid; }
};

} // namespace korvane

template <> struct std::hash<korvane::WinRef> {
    std::size_t operator()(const korvane::WinRef& ref) const noexcept {
        return std::hash<korvane::WindowID>()(ref.wid);
    }
};
