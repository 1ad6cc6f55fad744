// Activation of another application by a script naming its bundle identifier, the last resort of the
// activation chains. Remembers, until the process ends, each application that refused the script's
// events, so that later attempts fail at once instead of asking the system again.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace korvane {

namespace platform {
class Platform;
}

// Used from the main thread; the script runs synchronously on the calling thread.
class AppleScriptActivator {
  public:
    explicit AppleScriptActivator(platform::Platform& platform);
    AppleScriptActivator(const AppleScriptActivator&) = delete;
    AppleScriptActivator& operator=(const AppleScriptActivator&) = delete;

    // The process-wide instance, made on first use for the platform in use (and made again should the
    // platform in use be another one than its own, as happens between tests).
    static std::shared_ptr<AppleScriptActivator> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<AppleScriptActivator> instance);

    platform::Platform& platform() const { return platform_; }

    // True when the script ran without an error, which does not mean the application came forward.
    // False at once, without a script or a log line, for a bundle whose events were refused.
    bool activate(const std::string& bundleID);
    bool runScript(const std::string& source, const std::string& tag,
                   const std::optional<std::string>& bundleID);
    void markDenied(const std::string& bundleID);
    bool isDenied(const std::string& bundleID);

    // The three-line activation script for a bundle identifier, taken verbatim.
    static std::string script(const std::string& bundleID);
    // Whether the identifier can stand inside the script's quotes without changing what the script
    // says: no double quote, no backslash, no control character.
    static bool canQuote(const std::string& bundleID);

  private:
    platform::Platform& platform_;
    std::mutex lock; // guards the two sets; never held while a script runs or while logging
    std::set<std::string> deniedBundles;
    std::set<std::string> deniedBundlesLogged;
};

} // namespace korvane
