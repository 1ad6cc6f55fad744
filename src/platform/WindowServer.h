// The window server's list of windows: one dictionary of loosely typed values per window, front to back.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

namespace korvane {
// The window server's number for a window; the identity of a window everywhere in the system.
using WindowID = std::uint32_t;
} // namespace korvane

namespace korvane::platform {

// Keys of a window-list entry. Values may be missing or of an unexpected type; readers check.
namespace WindowKey {
inline constexpr const char* ownerPID = "OwnerPID";   // integer
inline constexpr const char* ownerName = "OwnerName"; // text
inline constexpr const char* layer = "Layer";         // integer, 0 for application windows
inline constexpr const char* bounds = "Bounds";       // {"X","Y","Width","Height"}, top-left coordinates
inline constexpr const char* number = "Number";       // integer window number
inline constexpr const char* name = "Name";           // text, the window title when known
inline constexpr const char* alpha = "Alpha";         // number 0...1
inline constexpr const char* isOnscreen = "IsOnscreen";
inline constexpr const char* parked = "KorvaneParked"; // true while kParkedAttribute reads true; else absent
} // namespace WindowKey

// Keys of the bounds dictionary.
namespace BoundsKey {
inline constexpr const char* x = "X";
inline constexpr const char* y = "Y";
inline constexpr const char* width = "Width";
inline constexpr const char* height = "Height";
} // namespace BoundsKey

enum WindowListOption : unsigned {
    kOnScreenOnly = 1u << 0,
    kExcludeDesktopElements = 1u << 1,
    kIncludingWindow = 1u << 2, // only the window named by `relativeTo`
};

using WindowInfo = nlohmann::json;

class WindowServer {
  public:
    virtual ~WindowServer() = default;
    // Nothing when the server cannot answer. May be called from any thread.
    virtual std::optional<std::vector<WindowInfo>> copyWindowInfo(unsigned options,
                                                                  std::uint32_t relativeTo = 0) = 0;
    // The screen-recording grant: whether this process may read other applications' window titles from
    // the list. Only tests; never asks the user. May be called from any thread.
    virtual bool preflightScreenCaptureAccess() = 0;
};

} // namespace korvane::platform
