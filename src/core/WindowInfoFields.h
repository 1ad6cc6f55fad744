// Typed reads of window-list entries, whose values are loosely typed: any key may be missing or hold
// something else, and an integer may arrive as a whole floating-point number.
#pragma once

#include "core/WinRef.h"
#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane::windowinfo {

std::optional<std::int64_t> integerValue(const platform::WindowInfo& entry, const char* key);
std::optional<std::string> stringValue(const platform::WindowInfo& entry, const char* key);
// The owner's process id; nothing when absent or out of range.
std::optional<pid_t> ownerPID(const platform::WindowInfo& entry);
// The window number, truncated to 32 bits as the window server's numbers are.
std::optional<WindowID> windowNumber(const platform::WindowInfo& entry);
// The bounds dictionary as a rectangle (top-left global); nothing unless all four numbers are there.
std::optional<Rect> bounds(const platform::WindowInfo& entry);
// The bounds as the window list gives them, a missing or non-numeric value counting 0; missing bounds
// give the empty rectangle at the origin.
Rect boundsOrZero(const platform::WindowInfo& entry);

} // namespace korvane::windowinfo
