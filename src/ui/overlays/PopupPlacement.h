// Where the program's popups open beside the control that opens them: wholly on the control's screen.
#pragma once

#include <QRect>
#include <QSize>

namespace korvane {

namespace platform {
class Screens;
}

// The frame (the toolkit's global coordinates) of a popup of `size` opened from a control whose frame is
// `control` (the same coordinates): centred on it, `gap` pixels below it where the visible part of the
// control's screen has room, else as far above it, else moved up just enough to end at that area's
// bottom; and moved sideways into the area. The control's screen is the one holding the control's middle,
// else the main screen; without either the popup opens below the control as it is. A popup larger than
// the area keeps its top left corner in it.
QRect popupFrame(platform::Screens& screens, const QRect& control, const QSize& size, int gap);

} // namespace korvane
