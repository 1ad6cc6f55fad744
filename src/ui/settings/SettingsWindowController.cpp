// The settings window's controller.
#include "ui/settings/SettingsWindowController.h"

#include "ui/settings/SettingsViewModel.h"

#include <utility>

namespace korvane {

SettingsWindowController::SettingsWindowController(std::shared_ptr<SettingsViewModel> model)
    : viewModel(std::move(model)) {}

} // namespace korvane
