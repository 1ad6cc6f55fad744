// Launch at login: the per-user entry that starts the application when the user logs in. The option is
// on exactly while the entry exists.
#pragma once

#include <filesystem>

namespace korvane {

namespace platform {
class Platform;
}

class LaunchAgent {
  public:
    explicit LaunchAgent(platform::Platform& platform);

    // Where the entry is kept (the platform decides: a launch-agent property list, an autostart entry).
    // Throws when the user's home cannot be found.
    std::filesystem::path plistURL() const;
    // Writes the entry naming the running program's path; replaces an older one. The running instance
    // is not affected. Throws the platform's error (a std::runtime_error) on failure.
    void install() const;
    // Removes the entry when present; nothing when absent. Throws on failure.
    void uninstall() const;

    static constexpr const char* kLabel = "com.korvane.launch";

  private:
    platform::Platform& platform_;
};

} // namespace korvane
