// A message bus of the test's own standing in for the system bus: a dbus-daemon on a socket in a temporary
// folder, named by DBUS_SYSTEM_BUS_ADDRESS while it lives, whose clients may own any name and send any
// signal. The test plays the login manager on it. Made with DBUS_SESSION_BUS_ADDRESS as the variable, it
// stands in for the session bus instead, where a stand-in file manager can serve.
#pragma once

#include "support/TempFolder.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::x11::test {

class PrivateSystemBus {
  public:
    // Throws std::runtime_error when the daemon does not come up.
    explicit PrivateSystemBus(const char* addressVariable = "DBUS_SYSTEM_BUS_ADDRESS");
    // Ends the file manager, puts the variable back as it was and ends the daemon.
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    const std::string& address() const { return address_; }

    // The login manager's sleep signal, sent on a connection that owns the login manager's name (taken on
    // first use). Needs the Qt application object; returns whether the bus took the signal.
    bool announceAsLoginManager(bool goingToSleep);
    // The same signal from a client that owns no name (dbus-send); whether the tool succeeded.
    bool announceAsStranger(bool goingToSleep);

    // A file manager of the test's own (a process) serving "org.freedesktop.FileManager1" on the bus;
    // returns once it does. endFileManager() ends it, leaving the name to nobody.
    bool serveAsFileManager();
    void endFileManager();
    // The URIs its "ShowItems" requests named, in order.
    std::vector<std::string> itemsShown() const;

  private:
    testing::TempFolder folder_;
    std::string variable_;
    pid_t fileManager_ = 0;
    std::string address_;
    std::optional<std::string> previousAddress_;
    pid_t daemon_ = 0;
    std::string loginManager_; // the name of the Qt connection that owns the login manager's name
};

} // namespace korvane::x11::test
