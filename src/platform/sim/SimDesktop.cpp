// Assembles the simulated desktop's services around one model.
#include "platform/sim/SimDesktop.h"

#include "platform/sim/SimModel.h"

namespace korvane::sim {

SimDesktop::SimDesktop()
    : loop_(std::make_unique<SimRunLoop>()), defaults_(std::make_unique<SimUserDefaults>()),
      notifications_(std::make_unique<SimNotificationCenter>(*loop_)),
      folders_(std::make_unique<SimFolderWatcher>(*loop_)), process_(std::make_unique<SimProcessInfo>()),
      loginItems_(std::make_unique<SimLoginItems>(*process_)), hotKeys_(std::make_unique<SimHotKeys>(*loop_)),
      model_(std::make_shared<SimModel>(*loop_, *notifications_)),
      accessibility_(std::make_unique<SimAccessibility>(*model_)),
      windowServer_(std::make_unique<SimWindowServer>(*model_)),
      screens_(std::make_unique<SimScreens>(*model_)), workspace_(std::make_unique<SimWorkspace>(*model_)),
      windows_(std::make_unique<SimWindows>(*model_)) {}

SimDesktop::~SimDesktop() = default;

void SimDesktop::simulateWake() {
    std::lock_guard lock(model_->mutex);
    model_->postNotificationLocked(platform::kDidWake, nlohmann::json::object());
}

ScopedSimDesktop::ScopedSimDesktop()
    : previous_(platform::Platform::hasCurrent() ? &platform::Platform::current() : nullptr),
      desktop_(std::make_unique<SimDesktop>()) {
    platform::Platform::setCurrent(desktop_.get());
}

ScopedSimDesktop::~ScopedSimDesktop() {
    platform::Platform::setCurrent(previous_);
    desktop_.reset();
}

} // namespace korvane::sim
