// The status item on an X desktop: an icon in the system tray whose click pops the menu up, its title
// shown as the icon's tooltip (a tray icon has no room for text). While the desktop shows no system tray,
// a small button at the top right corner of the main screen takes its place (CornerButton), and goes
// again when a tray comes.
#pragma once

#include "ui/switchers/StatusBarController.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QSystemTrayIcon;

namespace korvane {

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

class CornerButton;

// Main thread only; needs a widget application.
class TrayStatusItem final : public StatusItemHost {
  public:
    // Where the icon goes.
    enum class Tray {
        none,    // the corner button for the session, whatever trays come
        desktop, // the desktop's tray while it shows one, else the corner button
        other,   // a tray the toolkit reaches that the desktop does not tell of, for the session
    };
    // The corner button is placed on the platform's screens.
    TrayStatusItem(platform::Platform& platform, Tray tray);
    ~TrayStatusItem() override;
    TrayStatusItem(const TrayStatusItem&) = delete;
    TrayStatusItem& operator=(const TrayStatusItem&) = delete;

    // The item where a widget application runs, following the desktop's tray; else nothing.
    static std::shared_ptr<TrayStatusItem> makeIfWidgets(platform::Platform& platform);

    // A left or right click on the item.
    std::function<void()> onClick;

    bool hasButton() const override { return true; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title, bool imageLeading) override;
    void popUpMenu(const std::vector<StatusMenuRow>& rows,
                   const std::function<void(StatusMenuAction)>& choose) override;
    void cancelMenuTracking() override;
    bool isMenuWindowVisible() const override;
    void beep() override;

    // The icon, drawn: a screen cut into three zones.
    static QIcon statusIcon();
    // The text the item shows on hovering: the title, else the program's name.
    QString toolTip() const;

    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The corner button while it shows in place of the tray icon; none otherwise.
    QWidget* cornerButton() const;
    // The menu, also while closed (its rows are those of the last opening).
    QMenu* menu() const { return menu_; }
    // Fills the menu with the rows without opening it.
    void buildMenu(const std::vector<StatusMenuRow>& rows,
                   const std::function<void(StatusMenuAction)>& choose);

  private:
    void clicked();
    void showTrayIcon();
    // The corner button while the desktop shows no tray, the tray icon once it shows one; with
    // `announce`, the corner button's strip coming or going is a change of the screens of its own.
    void followDesktopTray(bool announce);
    void showCornerButton(bool announce);

    platform::Platform& platform_;
    std::string title_;
    QSystemTrayIcon* tray_ = nullptr;
    QPointer<CornerButton> corner_;
    QPointer<QMenu> menu_;
    std::unique_ptr<platform::ObserverToken> trayObserver_;
};

} // namespace korvane
