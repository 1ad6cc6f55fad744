// The tray icon, the corner button that stands in for it, and the menu they pop up. The menu is not given
// to the tray as its context menu: the controller decides when it may open and rebuilds it each time.
#include "ui/switchers/TrayStatusItem.h"

#include "platform/Platform.h"
#include "ui/switchers/CornerButton.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QWidget>

namespace korvane {

namespace {

constexpr const char* kProgramName = "Korvane";

// Theme icons of the desktop standing for the menu's symbols; a missing one leaves the row without.
QIcon symbolIcon(const std::string& symbol) {
    if (symbol == "plus.rectangle.on.rectangle") return QIcon::fromTheme("list-add");
    if (symbol == "arrow.triangle.2.circlepath") return QIcon::fromTheme("view-refresh");
    if (symbol == "rectangle.3.group") return QIcon::fromTheme("view-grid");
    if (symbol == "gearshape") return QIcon::fromTheme("preferences-system");
    return {};
}

// A row's text as the menu is to show it: no "&" marks a key of the row (the toolkit's menus take the
// letter after one as the row's key while the menu is open), and no tab starts the shortcut column.
QString menuText(const std::string& title) {
    QString text = QString::fromStdString(title);
    text.replace('&', "&&");
    text.replace('\t', ' ');
    return text;
}

QKeySequence shortcutOf(const StatusMenuRow& row) {
    if (row.keyEquivalent.empty()) return {};
    int key = 0;
    const char c = row.keyEquivalent.front();
    if (c >= 'a' && c <= 'z')
        key = Qt::Key_A + (c - 'a');
    else if (c == ',')
        key = Qt::Key_Comma;
    else
        return {};
    // Command is the control key here, option the alt key.
    Qt::KeyboardModifiers modifiers;
    if (row.command) modifiers |= Qt::ControlModifier;
    if (row.option) modifiers |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

// A menu popped up from the tray belongs to no window, so the toolkit never matches its rows' shortcuts;
// while it is open it has the keyboard, and it matches them itself, as a menu's key equivalents act.
class StatusMenu final : public QMenu {
  public:
    StatusMenu() { setObjectName("KorvaneStatusMenu"); }

  protected:
    bool event(QEvent* event) override {
        // Claimed before the toolkit's own shortcut matching, so that it arrives as a key press here.
        if (event->type() == QEvent::ShortcutOverride && rowFor(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QMenu::event(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        QAction* row = rowFor(*event);
        if (!row) {
            QMenu::keyPressEvent(event);
            return;
        }
        // As a click on the row: the menu closes, then the row acts.
        close();
        row->trigger();
    }

  private:
    QAction* rowFor(const QKeyEvent& event) const {
        if (event.isAutoRepeat() || event.modifiers() == Qt::NoModifier) return nullptr;
        const QKeySequence pressed(
            QKeyCombination(event.modifiers() & ~Qt::KeypadModifier, static_cast<Qt::Key>(event.key())));
        for (QAction* action : actions())
            if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == pressed)
                return action;
        return nullptr;
    }
};

QPixmap drawIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = side / 22.0;
    const QRectF screen(2 * s, 4 * s, 18 * s, 14 * s);
    painter.setPen(QPen(QColor(40, 40, 46), 1.6 * s));
    painter.setBrush(QColor(236, 236, 240));
    painter.drawRoundedRect(screen, 2 * s, 2 * s);
    painter.setBrush(QColor(70, 130, 220));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4 * s, 6 * s, 7.5 * s, 10 * s), 1 * s, 1 * s);
    painter.setBrush(QColor(150, 150, 160));
    painter.drawRoundedRect(QRectF(12.5 * s, 6 * s, 5.5 * s, 4.5 * s), 1 * s, 1 * s);
    painter.drawRoundedRect(QRectF(12.5 * s, 11.5 * s, 5.5 * s, 4.5 * s), 1 * s, 1 * s);
    return pixmap;
}

} // namespace

TrayStatusItem::TrayStatusItem(platform::Platform& platform, Tray tray) : platform_(platform) {
    menu_ = new StatusMenu();
    menu_->setToolTipsVisible(false);
    switch (tray) {
    case Tray::none:
        showCornerButton(false);
        break;
    case Tray::other:
        showTrayIcon();
        break;
    case Tray::desktop:
        trayObserver_ = platform.notificationCenter().addObserver(
            platform::kSystemTrayDidChange, platform::NotificationCenter::Delivery::mainQueue,
            [this](const std::string&, const nlohmann::json&) { followDesktopTray(true); });
        followDesktopTray(false);
        break;
    }
}

TrayStatusItem::~TrayStatusItem() {
    trayObserver_.reset();
    if (!QCoreApplication::instance()) return;
    delete tray_;
    delete corner_.data();
    delete menu_.data();
}

std::shared_ptr<TrayStatusItem> TrayStatusItem::makeIfWidgets(platform::Platform& platform) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    // A tray the toolkit reaches that the desktop does not tell of (one over the session bus) keeps the
    // icon for the session, with no corner button beside it.
    const bool other = QSystemTrayIcon::isSystemTrayAvailable() && !platform.screens().hasSystemTray();
    return std::make_shared<TrayStatusItem>(platform, other ? Tray::other : Tray::desktop);
}

void TrayStatusItem::showTrayIcon() {
    if (tray_) return;
    // Once shown, the toolkit puts the icon into every tray that comes, and takes it out of one that goes.
    tray_ = new QSystemTrayIcon(statusIcon());
    QObject::connect(tray_, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) clicked();
    });
    tray_->setToolTip(toolTip());
    tray_->show();
}

void TrayStatusItem::followDesktopTray(bool announce) {
    if (platform_.screens().hasSystemTray()) {
        showTrayIcon();
        if (!corner_ || corner_->isHidden()) return;
        // The menu opened from the button closes with it. The button is kept, hidden, for a tray that
        // goes again: this may run while its click is still being handled.
        cancelMenuTracking();
        corner_->disappear();
        return;
    }
    showCornerButton(announce);
}

void TrayStatusItem::showCornerButton(bool announce) {
    if (!corner_) {
        corner_ =
            new CornerButton(platform_.screens(), platform_.notificationCenter(), [this] { clicked(); });
        corner_->setToolTip(toolTip());
    }
    if (corner_->isHidden()) corner_->appear(announce);
}

QWidget* TrayStatusItem::cornerButton() const {
    return corner_ && !corner_->isHidden() ? corner_.data() : nullptr;
}

QIcon TrayStatusItem::statusIcon() {
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64})
        icon.addPixmap(drawIcon(side));
    return icon;
}

QString TrayStatusItem::toolTip() const {
    return title_.empty() ? QString(kProgramName) : QString::fromStdString(title_);
}

void TrayStatusItem::setTitle(const std::string& title, bool) {
    title_ = title;
    if (tray_) tray_->setToolTip(toolTip());
    if (corner_) corner_->setToolTip(toolTip());
}

void TrayStatusItem::clicked() {
    if (onClick) onClick();
}

void TrayStatusItem::buildMenu(const std::vector<StatusMenuRow>& rows,
                               const std::function<void(StatusMenuAction)>& choose) {
    menu_->clear();
    for (const auto& row : rows) {
        if (row.isSeparator) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(symbolIcon(row.symbol), menuText(row.title));
        action->setEnabled(row.enabled);
        action->setShortcut(shortcutOf(row));
        action->setShortcutVisibleInContextMenu(true);
        if (row.action)
            QObject::connect(action, &QAction::triggered, menu_, [choose, chosen = *row.action] {
                if (choose) choose(chosen);
            });
    }
}

void TrayStatusItem::popUpMenu(const std::vector<StatusMenuRow>& rows,
                               const std::function<void(StatusMenuAction)>& choose) {
    buildMenu(rows, choose);
    QPointer<QMenu> menu = menu_;
    QPoint at = QCursor::pos();
    if (const QWidget* corner = cornerButton()) {
        // Right below the button, flush with its right edge, so that it covers none of the button: at the
        // pointer it lay over the button's lower half wherever the desktop's work area did not push it
        // down.
        const QRect button(corner->mapToGlobal(QPoint(0, 0)), corner->size());
        at = QPoint(button.right() + 1 - menu->sizeHint().width(), button.bottom() + 1);
    }
    menu->exec(at);
}

void TrayStatusItem::cancelMenuTracking() {
    if (menu_ && menu_->isVisible()) menu_->close();
}

bool TrayStatusItem::isMenuWindowVisible() const {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu*>(widget) && widget->isVisible()) return true;
    return false;
}

void TrayStatusItem::beep() {
    QApplication::beep();
}

} // namespace korvane
