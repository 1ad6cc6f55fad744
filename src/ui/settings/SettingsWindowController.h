// The "Preferences" window's controller, holding the settings model its pages show.
#pragma once

#include <memory>

namespace korvane {

class SettingsViewModel;

// Main thread only. The application makes it with its model on the first request to show the settings
// and keeps it.
class SettingsWindowController {
  public:
    explicit SettingsWindowController(std::shared_ptr<SettingsViewModel> viewModel);

    std::shared_ptr<SettingsViewModel> viewModel;
};

} // namespace korvane
