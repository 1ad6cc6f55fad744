// What the real process knows about itself: its command line, environment, folders and fresh UUIDs.
#pragma once

#include "platform/ProcessInfo.h"

#include <array>
#include <sys/types.h>

namespace korvane::x11 {

class X11ProcessInfo final : public platform::ProcessInfo {
  public:
    std::vector<std::string> arguments() override;
    std::optional<std::string> environment(const std::string& name) override;
    std::string currentDirectory() override;
    // "share/korvane" under the prefix of the executable's folder ("<prefix>/bin/korvane").
    std::optional<std::string> bundleResourcesDirectory() override;
    std::string executablePath() override;
    pid_t processIdentifier() override;
    // Random (version 4) from the kernel's random source.
    std::string makeUUID() override;
    // What the workspace names this process: kOwnBundleID.
    std::optional<std::string> bundleIdentifier() override;

    // Whether the process runs: it exists and has not exited. A process that exited stays visible until
    // its parent collects it, and launched applications are not our children.
    static bool isRunning(pid_t pid);

    // The random bytes as a UUID text; exposed for tests of its form.
    static std::string formatUUID(std::array<unsigned char, 16> bytes);
};

} // namespace korvane::x11
