// The status item's menu on Qt's offscreen platform: its rows with their shortcuts, a choice reaching the
// bus once the menu has closed, the title as the item's tooltip, and pictures of the menu and of the corner
// button under build/screenshots.
#include "ui/switchers/TrayStatusItem.h"

#include "app/DisplayObserver.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "ui/switchers/StatusBarController.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

using namespace korvane;
using korvane::testing::saveScreenshot;

namespace {

void click(QWidget* widget, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
}

} // namespace

TEST(StatusMenuView, theMenuShowsTheRowsWithTheirShortcutsAndAChoiceReachesTheBusAfterItCloses) {
    sim::ScopedSimDesktop desktop;
    auto item = std::make_shared<TrayStatusItem>(*desktop, TrayStatusItem::Tray::none);
    auto status = StatusBarController::create(*desktop, std::make_shared<DisplayObserver>(*desktop), item);
    auto bus = StatusBarEventBus::create(*desktop);
    status->bind(bus);
    status->scenesProvider = [] { return std::vector<StatusBarController::SceneEntry>{{"A", "Desk"}}; };
    status->activeSceneIDProvider = [] { return std::optional<std::string>("A"); };
    std::vector<StatusBarActionEvent> published;
    auto subscription =
        bus->subscribeActions([&](StatusBarActionEvent action) { published.push_back(action); });

    item->onClick = [weak = std::weak_ptr<StatusBarController>(status)] {
        if (auto self = weak.lock()) self->statusItemClicked();
    };
    ASSERT_NE(item->cornerButton(), nullptr);
    EXPECT_TRUE(item->cornerButton()->isVisible());
    saveScreenshot(*item->cornerButton(), "status-item-corner-button.png");

    // Opened by a click on the item; the menu is grabbed and a row chosen while it tracks.
    bool shown = false;
    QTimer::singleShot(0, [&] {
        QMenu* menu = item->menu();
        shown = menu->isVisible();
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator()
                          ? "-"
                          : action->text() + (action->isEnabled() ? "" : " (off)") +
                                (action->shortcut().isEmpty() ? "" : " " + action->shortcut().toString()));
        EXPECT_EQ(texts.join("|").toStdString(),
                  "Scene: Desk (off)|-|Save Current Scene... Ctrl+Alt+S|Update \"Desk\"|-|Scene Manager... "
                  "Ctrl+M|Preferences... Ctrl+,|-|Quit Korvane Ctrl+Q");
        EXPECT_TRUE(status->isMenuWindowVisible());
        saveScreenshot(*menu, "status-menu.png");
        menu->actions()[2]->trigger();
        menu->close();
    });
    click(item->cornerButton(), QPoint(10, 10));
    EXPECT_TRUE(shown);
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_FALSE(status->isMenuWindowVisible());
    EXPECT_TRUE(published.empty());
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(published, (std::vector<StatusBarActionEvent>{StatusBarActionEvent::saveScene}));
    // The title is the item's tooltip.
    status->refreshIfNeeded();
    EXPECT_EQ(item->toolTip().toStdString(), "Korvane");
    bus->publish(
        StatusBarInvalidationEvent::refreshRequested(StatusBarInvalidationReason::externalStateChanged, "t"));
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(item->toolTip().toStdString(), "Desk");
}
