// What the program knows about its own process: arguments, environment, folders, fresh UUIDs.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::platform {

class ProcessInfo {
  public:
    virtual ~ProcessInfo() = default;
    virtual std::vector<std::string> arguments() = 0;
    virtual std::optional<std::string> environment(const std::string& name) = 0;
    virtual std::string currentDirectory() = 0;
    // The folder of resources installed with the program (share/korvane beside its prefix), if any.
    virtual std::optional<std::string> bundleResourcesDirectory() = 0;
    // Whether configuration files are also looked for under the working directory, in "Korvane/Config/",
    // where a program started from its source folder keeps them. Not where the installed resources
    // folder stands for them: a file in whatever folder the program is started from must not change it.
    virtual bool looksForConfigInWorkingDirectory() { return false; }
    virtual std::string executablePath() = 0;
    // This process's id: the owner of every window the program shows.
    virtual pid_t processIdentifier() = 0;
    // A new random UUID, upper-case 8-4-4-4-12.
    virtual std::string makeUUID() = 0;
    // The bundle identifier the workspace lists this program's own process under; nothing when the
    // workspace knows it by none.
    virtual std::optional<std::string> bundleIdentifier() { return std::nullopt; }
};

} // namespace korvane::platform
