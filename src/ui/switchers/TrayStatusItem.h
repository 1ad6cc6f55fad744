// The status item on an X desktop: an icon in the system tray whose click pops the menu up, its title
// shown as the icon's tooltip (a tray icon has no room for text). Where the desktop has no system tray
// as the program starts, a small button at the top right corner of the main screen takes its place
// (CornerButton).
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
class Platform;
}

// Main thread only; needs a widget application.
class TrayStatusItem final : public StatusItemHost {
  public:
    // `useTray` false forces the corner button (what a desktop without a tray gets), placed on the
    // platform's screens.
    TrayStatusItem(platform::Platform& platform, bool useTray);
    ~TrayStatusItem() override;
    TrayStatusItem(const TrayStatusItem&) = delete;
    TrayStatusItem& operator=(const TrayStatusItem&) = delete;

    // The item where a widget application runs, in the tray when the desktop has one; else nothing.
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
    QWidget* cornerButton() const { return corner_; }
    // The menu, also while closed (its rows are those of the last opening).
    QMenu* menu() const { return menu_; }
    // Fills the menu with the rows without opening it.
    void buildMenu(const std::vector<StatusMenuRow>& rows,
                   const std::function<void(StatusMenuAction)>& choose);

  private:
    void clicked();

    std::string title_;
    QSystemTrayIcon* tray_ = nullptr;
    QPointer<QWidget> corner_;
    QPointer<QMenu> menu_;
};

} // namespace korvane
