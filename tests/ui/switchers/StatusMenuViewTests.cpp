// The status item's menu on Qt's offscreen platform: its rows with their shortcuts, a choice reaching the
// bus once the menu has closed, the active scene's name shown as typed and giving no row a key, the title
// as the item's tooltip, and pictures of the menu and of the corner button under build/screenshots.
#include "ui/switchers/TrayStatusItem.h"

#include "app/DisplayObserver.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "support/TextAsShown.h"
#include "ui/switchers/StatusBarController.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>

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
        EXPECT_EQ(
            texts.join("|").toStdString(),
            "Scene: \u2068Desk\u2069 (off)|-|Save Current Scene... Ctrl+Alt+S|Update \"\u2068Desk\u2069\"|-|"
            "Scene Manager... "
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

// Names holding "&", a tab and a right-to-left override: each row shows the name as typed, in its text
// column, the words around it in their places; no row takes from the name a key (the letter the toolkit's
// menus act on when it is typed with the menu open: "P" of "& Play" made a "p" update the scene).
TEST(StatusMenuView, theActiveScenesNameShowsAsTypedAndGivesNoRowAKey) {
    sim::ScopedSimDesktop desktop;
    auto item = std::make_shared<TrayStatusItem>(*desktop, TrayStatusItem::Tray::none);
    auto status = StatusBarController::create(*desktop, std::make_shared<DisplayObserver>(*desktop), item);
    std::string name;
    status->scenesProvider = [&] { return std::vector<StatusBarController::SceneEntry>{{"A", name}}; };
    status->activeSceneIDProvider = [] { return std::optional<std::string>("A"); };
    item->onClick = [weak = std::weak_ptr<StatusBarController>(status)] {
        if (auto self = weak.lock()) self->statusItemClicked();
    };

    for (const std::string typed : {"Work & Play && Fun", "Work\tPlay", "\u202EThis"}) {
        SCOPED_TRACE(typed);
        name = typed;
        QTimer::singleShot(0, [&] {
            QMenu* menu = item->menu();
            const QList<QAction*> rows = menu->actions();
            ASSERT_EQ(rows.size(), 9);
            // A tab shows as a space.
            std::string shown = typed;
            std::replace(shown.begin(), shown.end(), '\t', ' ');
            EXPECT_EQ(korvane::testing::menuRowAsShown(rows[0]->text()), "Scene: " + shown);
            EXPECT_EQ(korvane::testing::menuRowAsShown(rows[3]->text()), "Update \"" + shown + "\"");
            EXPECT_TRUE(korvane::testing::readsOnLeftToRightFrom(rows[3]->text(), rows[3]->text().size() - 1))
                << "the closing quote after the name";
            for (QAction* row : rows)
                EXPECT_TRUE(QKeySequence::mnemonic(row->text()).isEmpty()) << row->text().toStdString();
            if (typed.find('&') != std::string::npos)
                saveScreenshot(*menu, "status-menu-name-with-ampersands.png");
            menu->close();
        });
        click(item->cornerButton(), QPoint(10, 10));
    }
}
