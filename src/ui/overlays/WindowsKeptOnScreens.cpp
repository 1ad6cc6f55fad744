// Moving the program's windows off monitors that went. The screens' frames are compared in the toolkit's
// coordinates, where the windows are: those of the platform's global space move with the main screen.
#include "ui/overlays/WindowsKeptOnScreens.h"

#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

bool anyContains(const std::vector<QRect>& areas, const QPoint& point) {
    return std::any_of(areas.begin(), areas.end(), [&](const QRect& area) { return area.contains(point); });
}

// A window the user places and moves, with the window manager's title bar; frameless ones belong to
// owners that place them.
bool userPlaced(const QWidget& window) {
    const Qt::WindowType type = window.windowType();
    return (type == Qt::Window || type == Qt::Dialog) &&
           !window.windowFlags().testFlag(Qt::FramelessWindowHint);
}

} // namespace

WindowsKeptOnScreens::WindowsKeptOnScreens(platform::Screens& screens,
                                           platform::NotificationCenter& notifications)
    : screens_(screens), areas_(areasNow()) {
    observer_ = notifications.addObserver(
        platform::kScreenParametersDidChange, platform::NotificationCenter::Delivery::mainQueue,
        [this](const std::string&, const nlohmann::json&) { screensChanged(); });
}

WindowsKeptOnScreens::~WindowsKeptOnScreens() = default;

std::vector<QRect> WindowsKeptOnScreens::areasNow() const {
    std::vector<QRect> areas;
    for (const auto& screen : screens_.screens())
        areas.push_back(qtGlobalRect(screens_, screen.frame));
    return areas;
}

void WindowsKeptOnScreens::screensChanged() {
    std::vector<QRect> now = areasNow();
    if (now.empty()) return;
    const std::vector<QRect> before = std::exchange(areas_, now);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // A hidden window's place means something only where the program gave it one; else the window
        // manager or the toolkit chooses as it shows.
        if (!userPlaced(*window) || (!window->isVisible() && !window->testAttribute(Qt::WA_Moved))) continue;
        const QRect frame = window->frameGeometry();
        if (!anyContains(before, frame.center()) || anyContains(now, frame.center())) continue;
        const auto centred =
            centredOnMainScreen(screens_, Size{double(frame.width()), double(frame.height())});
        if (!centred) return;
        window->move(qtPoint(*centred));
    }
}

} // namespace korvane
