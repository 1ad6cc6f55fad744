// The content of the permission window: the application's icon and "Access Required", a card with the
// Window Manager and Screen Recording rows, and the "Check Again" and "Quit & Relaunch" buttons. It reads
// the grants once, when it is built, and does not follow later changes: a new state shows when the
// manager makes a new window for its next showing.
#pragma once

#include <QWidget>

#include <functional>

namespace korvane {

namespace platform {
class Workspace;
}

class PermissionManager;
struct PermissionRow;

class PermissionView final : public QWidget {
  public:
    // The view's fixed size; the window settles around it.
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 500;

    // `terminate` asks the application to quit, as its menu's Quit does.
    PermissionView(PermissionManager& manager, platform::Workspace& workspace,
                   std::function<void()> terminate, QWidget* parent = nullptr);

  private:
    QWidget* makeRow(const PermissionRow& row);
    void openSettings(const PermissionRow& row);

    PermissionManager& manager_;
    platform::Workspace& workspace_;
    std::function<void()> terminate_;
};

} // namespace korvane
