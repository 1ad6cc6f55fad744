// Turns the platform's notice of changed screen parameters into the application's own notification
// "Korvane.ScreenParametersChanged", which names the displays added and removed since the previous one,
// and remembers when the last change was handled, so that others can wait for the screens to settle.
#pragma once

#include "platform/Time.h"

#include <limits>
#include <memory>
#include <set>
#include <string>

namespace korvane {

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Confined to the main thread. One process-wide instance, created on first use for the platform in use;
// tests replace it with setShared().
class DisplayObserver : public std::enable_shared_from_this<DisplayObserver> {
  public:
    // Posted with no object; user info {"addedDisplayUUIDs": [...], "removedDisplayUUIDs": [...]}, both
    // always present, either possibly empty, in no defined order.
    static constexpr const char* screenParametersChangedNotification = "Korvane.ScreenParametersChanged";
    // Before the first change; far enough back that subtracting it from a clock reading cannot overflow.
    static constexpr Nanos kDistantPast = std::numeric_limits<Nanos>::min() / 4;

    explicit DisplayObserver(platform::Platform& platform);
    ~DisplayObserver();
    DisplayObserver(const DisplayObserver&) = delete;
    DisplayObserver& operator=(const DisplayObserver&) = delete;

    static std::shared_ptr<DisplayObserver> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<DisplayObserver> instance);

    // Records the present displays, follows the platform's changes from now on and posts once, with both
    // lists empty. Later calls do nothing.
    void start();
    // Diffs the displays against those last seen, prints the "[Display] parameters changed by=" line and
    // posts the notification synchronously, also when no display came or went.
    void handleScreenParametersChange(const std::string& reason);

    bool isStarted() const { return isStarted_; }
    const std::set<std::string>& knownDisplayUUIDs() const { return knownDisplayUUIDs_; }
    // When the last change was handled, on the run loop's monotonic clock; kDistantPast before any.
    Nanos lastChangeAt() const { return lastChangeAt_; }

  private:
    std::set<std::string> currentDisplayUUIDs();

    platform::Platform& platform_;
    bool isStarted_ = false;
    std::set<std::string> knownDisplayUUIDs_;
    Nanos lastChangeAt_ = kDistantPast;
    std::unique_ptr<platform::ObserverToken> screenObserver_; // kept for the observer's whole life
};

} // namespace korvane
