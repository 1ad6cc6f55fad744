// Launch at login through the platform's login entries.
#include "app/LaunchAgent.h"

#include "platform/Platform.h"

namespace korvane {

LaunchAgent::LaunchAgent(platform::Platform& platform) : platform_(platform) {}

std::filesystem::path LaunchAgent::plistURL() const {
    return platform_.loginItems().location(kLabel);
}

void LaunchAgent::install() const {
    // The path at the time of writing: a program moved later keeps the old path until reinstalled.
    platform_.loginItems().install(platform::LoginItem{kLabel, platform_.processInfo().executablePath()});
}

void LaunchAgent::uninstall() const {
    platform_.loginItems().uninstall(kLabel);
}

} // namespace korvane
