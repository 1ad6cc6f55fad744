// The desktop services as one object: the real backend or the simulation, chosen once by main()
// or by a test, and handed to the subsystems.
#pragma once

#include "platform/Accessibility.h"
#include "platform/FolderWatcher.h"
#include "platform/HotKeys.h"
#include "platform/LoginItems.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessInfo.h"
#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <cstdint>

namespace korvane::platform {

// Posted once on the notification centre, on the main thread, when the connection to the window
// server breaks for good: from then on no event arrives and window lists answer nothing. The program
// is expected to save what it remembers, as on quit, and exit with a failure status.
inline constexpr const char* kDesktopConnectionLost = "platform.desktopConnectionLost";

class Platform {
  public:
    virtual ~Platform() = default;

    virtual RunLoop& runLoop() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual WindowServer& windowServer() = 0;
    virtual Screens& screens() = 0;
    virtual Workspace& workspace() = 0;
    virtual UserDefaults& userDefaults() = 0;
    virtual NotificationCenter& notificationCenter() = 0;
    virtual FolderWatcher& folderWatcher() = 0;
    virtual ProcessInfo& processInfo() = 0;
    virtual LoginItems& loginItems() = 0;
    virtual HotKeys& hotKeys() = 0;

    // The platform in use. main() and test fixtures set it; subsystem code that must reach it
    // without being handed it (process-wide single instances) reads it here.
    static Platform& current();
    static bool hasCurrent();
    static void setCurrent(Platform* platform);
    // Changes with every setCurrent(), so holders of per-platform instances can tell a new platform
    // from an old one that happens to live at the same address.
    static std::uint64_t currentGeneration();
};

} // namespace korvane::platform
