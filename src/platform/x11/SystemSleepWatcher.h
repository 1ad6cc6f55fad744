// Following the computer's sleep on Linux: the login manager announces it on the system bus with its
// "PrepareForSleep" signal, true before the sleep and false after the wake, and each wake becomes the
// workspace's did-wake notification.
#pragma once

#include <memory>
#include <string>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class SleepSignalReceiver;

// Made and destroyed on the thread of the Qt application object, where the signals are delivered. Listens
// on a bus connection of its own, to the login manager's name only: the same signal sent by any other
// client of the bus announces nothing.
class SystemSleepWatcher {
  public:
    // Connects to the system bus that $DBUS_SYSTEM_BUS_ADDRESS names, else to the standard one. Without a
    // bus (a container, a build machine) it says so once in the log and announces nothing, ever.
    explicit SystemSleepWatcher(platform::NotificationCenter& notifications);
    ~SystemSleepWatcher();
    SystemSleepWatcher(const SystemSleepWatcher&) = delete;
    SystemSleepWatcher& operator=(const SystemSleepWatcher&) = delete;

    // Whether wakes will be announced.
    bool isListening() const { return receiver_ != nullptr; }

    static constexpr const char* kService = "org.freedesktop.login1";
    static constexpr const char* kPath = "/org/freedesktop/login1";
    static constexpr const char* kInterface = "org.freedesktop.login1.Manager";
    static constexpr const char* kSignal = "PrepareForSleep";

  private:
    std::string connectionName_;
    std::unique_ptr<SleepSignalReceiver> receiver_;
};

} // namespace korvane::x11
