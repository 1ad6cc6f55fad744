// Placing a popup beside its control on the control's screen.
#include "ui/overlays/PopupPlacement.h"

#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"

#include <algorithm>
#include <optional>

namespace korvane {

namespace {

// The visible part of the screen holding the point, else of the main screen.
std::optional<QRect> areaAround(platform::Screens& screens, const QPoint& point) {
    for (const auto& screen : screens.screens())
        if (qtGlobalRect(screens, screen.frame).contains(point))
            return qtGlobalRect(screens, screen.visibleFrame);
    if (const auto main = screens.mainScreen()) return qtGlobalRect(screens, main->visibleFrame);
    return std::nullopt;
}

} // namespace

QRect popupFrame(platform::Screens& screens, const QRect& control, const QSize& size, int gap) {
    QRect frame(QPoint(control.center().x() - size.width() / 2, control.bottom() + 1 + gap), size);
    const auto area = areaAround(screens, control.center());
    if (!area) return frame;
    if (frame.bottom() > area->bottom()) {
        const int above = control.top() - gap - size.height();
        frame.moveTop(above >= area->top() ? above : area->bottom() + 1 - size.height());
    }
    frame.moveLeft(std::min(frame.left(), area->right() + 1 - size.width()));
    frame.moveLeft(std::max(frame.left(), area->left()));
    frame.moveTop(std::max(frame.top(), area->top()));
    return frame;
}

} // namespace korvane
