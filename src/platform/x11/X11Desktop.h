// The real desktop: the platform services over an X server (xcb, EWMH, RandR) with Qt's event loop as
// the main run loop.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvane::x11 {

class X11Desktop final : public platform::Platform {
  public:
    // Opens a connection of its own to the X server named `displayName` (empty: $DISPLAY). Runs on the
    // thread of the Qt application object, which it makes (a QCoreApplication) when there is none yet.
    // Nothing, with the reason in `error`, when the server cannot be reached or lacks what is needed.
    // Should the connection break later, the desktop posts platform::kDesktopConnectionLost once. Each
    // wake of the computer from sleep, as the login manager announces it on the system bus, is posted as
    // platform::kDidWake.
    //
    // With `Claim::exclusive`, as the program runs, the desktop takes its screen's manager selection as soon
    // as it has a connection, before any of its services exists, and fails with "Korvane already runs on
    // display ..." while another process holds it; it keeps the selection until it is destroyed or the
    // process ends. Tests that look at the server beside a running program connect `shared`.
    enum class Claim { shared, exclusive };
    static std::unique_ptr<X11Desktop> connect(const std::string& displayName, std::string& error,
                                               Claim claim = Claim::shared);
    // Whether connect() would find the server and what it needs, asked without any Qt application
    // object: a program makes its widget application only once it knows the server is there, since
    // Qt cannot start its own X11 platform without one. The reason in `error` when not.
    static bool probe(const std::string& displayName, std::string& error);
    ~X11Desktop() override;

    platform::RunLoop& runLoop() override;
    platform::Accessibility& accessibility() override;
    platform::WindowServer& windowServer() override;
    platform::Screens& screens() override;
    platform::Workspace& workspace() override;
    platform::UserDefaults& userDefaults() override;
    platform::NotificationCenter& notificationCenter() override;
    platform::FolderWatcher& folderWatcher() override;
    platform::ProcessInfo& processInfo() override;
    platform::LoginItems& loginItems() override;
    platform::HotKeys& hotKeys() override;

    // The program is quitting: no write waits for the window manager from now on, and one waiting ends
    // at once (X11Accessibility::endWaits). Safe in a signal handler.
    void endWaits() noexcept;

    // Runs the main loop until `done` holds or `timeout` has passed; whether `done` held.
    bool runUntil(const std::function<bool()>& done, Nanos timeout);

    // The bytes the desktop's connection has sent to the server and read from it so far, the events
    // read along with the replies included, and how many times the whole desktop was read: what an
    // operation costs, whatever the machine's load.
    struct Traffic {
        std::uint64_t sent = 0;
        std::uint64_t received = 0;
        std::uint64_t desktopReads = 0;
    };
    Traffic traffic() const;

    struct Impl;

  private:
    explicit X11Desktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace korvane::x11
