// The one place where the platform's screens become display UUIDs, the system's identity of a display,
// and back: the display of a screen, of a rectangle or of the pointer, a display's name for the user,
// and the vertical flip of points. Stateless: every call reads the screen list of the moment.
#pragma once

#include "platform/Geometry.h"
#include "platform/Screens.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane::DisplayUtil {

// The screen's display UUID; for a screen whose backend knows none, its name, "-" and its display
// number. Never empty.
std::string displayUUID(const platform::ScreenInfo& screen);

// The display of the screen whose frame holds the rectangle's middle point (left and bottom edges
// included, right and top excluded), else the main screen's, else the first screen's; "" with no
// screen at all. Bottom-left global coordinates.
std::string displayUUID(platform::Screens& screens, const Rect& rect);

// The connected displays' UUIDs, each once, in ascending order of the text; none, with an error line,
// when no screen is connected.
std::vector<std::string> availableDisplayUUIDs(platform::Screens& screens);

// Whether the screen's display is among those listed (as `availableDisplayUUIDs` lists them).
bool isAmong(const platform::ScreenInfo& screen, const std::vector<std::string>& displayUUIDs);

// The first screen whose frame holds the pointer, else the main screen.
std::optional<platform::ScreenInfo> screenUnderMouse(platform::Screens& screens);

// The screen whose visible frame shares the largest area with the rectangle (the earlier one on a tie),
// else the one whose visible frame is nearest to the rectangle's middle point. Nothing only when there
// is no screen at all.
std::optional<platform::ScreenInfo> screen(platform::Screens& screens, const Rect& rect);

// The localized name of the connected display with this identifier or with the part of it before the
// first "#"; else "Display " and the identifier's first six characters.
std::string displayName(platform::Screens& screens, const std::string& identifier);

// Flips the vertical coordinate between the top-left system of the window server and accessibility
// and the bottom-left system of the screens; its own inverse.
Point flipPoint(platform::Screens& screens, const Point& point);

} // namespace korvane::DisplayUtil
