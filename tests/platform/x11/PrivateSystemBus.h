// A message bus of the test's own standing in for the system bus: a dbus-daemon on a socket in a temporary
// folder, named by DBUS_SYSTEM_BUS_ADDRESS while it lives, whose clients may own any name and send any
// signal. The test plays the login manager on it.
#pragma once

#include "support/TempFolder.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane::x11::test {

class PrivateSystemBus {
  public:
    // Throws std::runtime_error when the daemon does not come up.
    PrivateSystemBus();
    // Puts DBUS_SYSTEM_BUS_ADDRESS back as it was and ends the daemon.
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    const std::string& address() const { return address_; }

    // The login manager's sleep signal, sent on a connection that owns the login manager's name (taken on
    // first use). Needs the Qt application object; returns whether the bus took the signal.
    bool announceAsLoginManager(bool goingToSleep);
    // The same signal from a client that owns no name (dbus-send); whether the tool succeeded.
    bool announceAsStranger(bool goingToSleep);

  private:
    testing::TempFolder folder_;
    std::string address_;
    std::optional<std::string> previousAddress_;
    pid_t daemon_ = 0;
    std::string loginManager_; // the name of the Qt connection that owns the login manager's name
};

} // namespace korvane::x11::test
