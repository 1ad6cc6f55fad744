// The "Preferences" window and its controller, which holds the settings model the window's pages show.
#pragma once

#include <memory>

class QWidget;

namespace korvane {

class PermissionManager;
class SettingsView;
class SettingsViewModel;

namespace platform {
class Platform;
}

// Main thread only, in a program with a Qt widget application. The application makes it with its model
// on the first request to show the settings and keeps it: closing the window only hides it, and the next
// request shows the same window again.
class SettingsWindowController {
  public:
    static constexpr const char* kTitle = "Preferences";
    static constexpr int kWidth = 850;
    static constexpr int kHeight = 600;

    // Makes the window: titled, closable and resizable but not minimisable, its content 850 by 600,
    // centred on the main screen, at the normal level; not shown yet. Its permission rows follow
    // `permissionManager`, the shared one when none is given.
    SettingsWindowController(platform::Platform& platform, std::shared_ptr<SettingsViewModel> viewModel,
                             std::shared_ptr<PermissionManager> permissionManager = nullptr);
    ~SettingsWindowController();
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    // Shows the window, restored when minimised, in front of the others and gives it the keyboard; a window
    // not shown yet or closed opens centred on the main screen as it is now.
    void showWindow();
    bool isWindowVisible() const;
    // The top-level window; nothing once the application has quit.
    QWidget* window() const;
    // The window's content; nothing once the application has quit.
    SettingsView* view() const;

    std::shared_ptr<SettingsViewModel> viewModel;

  private:
    struct Window;
    void centreOnMainScreen();

    platform::Platform& platform_;
    std::unique_ptr<Window> window_;
};

} // namespace korvane
