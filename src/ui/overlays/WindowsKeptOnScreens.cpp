// Moving the program's windows off monitors that went. The screens' frames are compared in the window
// server's coordinates where the server shows the window, else in the toolkit's, where the windows are:
// those of the platform's global space move with the main screen.
#include "ui/overlays/WindowsKeptOnScreens.h"

#include "core/ScreenSpace.h"
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
    : screens_(screens), areas_(areasNow()), serverAreas_(serverAreasNow()) {
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

std::vector<Rect> WindowsKeptOnScreens::serverAreasNow() const {
    std::vector<Rect> areas;
    for (const auto& screen : screens_.screens())
        areas.push_back(nativeRect(screens_, screen.frame));
    return areas;
}

bool WindowsKeptOnScreens::keptByTheServer(QWidget& window, const std::vector<Rect>& before,
                                           const std::vector<Rect>& now) {
    const auto shown = screens_.windowFrame(static_cast<std::uint64_t>(window.winId()));
    if (!shown) return false;
    const auto main = screens_.mainScreen();
    if (!main) return true;
    const Rect frame = nativeRect(screens_, *shown);
    const auto holds = [&](const std::vector<Rect>& areas) {
        return std::any_of(areas.begin(), areas.end(),
                           [&](const Rect& area) { return area.contains(frame.center()); });
    };
    if (!holds(before) || holds(now)) return true;
    const Rect area = nativeRect(screens_, main->visibleFrame);
    const Size size{std::min(frame.width(), area.width()), std::min(frame.height(), area.height())};
    screens_.placeWindow(static_cast<std::uint64_t>(window.winId()),
                         bottomLeftRect(screens_, Rect{centredIn(area, size), size}));
    return true;
}

void WindowsKeptOnScreens::screensChanged() {
    std::vector<QRect> now = areasNow();
    if (now.empty()) return;
    const std::vector<QRect> before = std::exchange(areas_, now);
    const std::vector<Rect> serverBefore = std::exchange(serverAreas_, serverAreasNow());
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // A hidden window's place means something only where the program gave it one; else the window
        // manager or the toolkit chooses as it shows.
        if (!userPlaced(*window) || (!window->isVisible() && !window->testAttribute(Qt::WA_Moved))) continue;
        // One the server shows is judged and moved by where the server has it: as a screen goes, the
        // toolkit may already have moved the window onto another screen of its own, in pixels of that
        // screen, where it lies on none of the screens as they were.
        if (window->isVisible() && keptByTheServer(*window, serverBefore, serverAreas_)) continue;
        const QRect frame = window->frameGeometry();
        if (!anyContains(before, frame.center()) || anyContains(now, frame.center())) continue;
        const auto centred =
            centredOnMainScreen(screens_, Size{double(frame.width()), double(frame.height())});
        if (!centred) return;
        window->move(qtPoint(*centred));
    }
}

} // namespace korvane
