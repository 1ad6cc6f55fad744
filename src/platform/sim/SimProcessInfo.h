// The simulated process: arguments, environment and folders set by the test, and UUIDs that repeat
// from run to run.
#pragma once

#include "platform/ProcessInfo.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

namespace korvane::sim {

class SimProcessInfo final : public platform::ProcessInfo {
  public:
    SimProcessInfo();

    std::vector<std::string> arguments() override;
    // Only what the test set: the real environment never leaks in.
    std::optional<std::string> environment(const std::string& name) override;
    std::string currentDirectory() override;
    std::optional<std::string> bundleResourcesDirectory() override;
    // True unless a test says otherwise.
    bool looksForConfigInWorkingDirectory() override;
    std::string executablePath() override;
    // The test process's own: tests model the program's own windows as windows of an application
    // launched under it.
    pid_t processIdentifier() override;
    // The next scripted value when there is one, else the next of a sequence fixed by the seed.
    std::string makeUUID() override;
    // Nothing unless a test set one.
    std::optional<std::string> bundleIdentifier() override;

    // Test hooks.
    void setArguments(std::vector<std::string> arguments);
    void setEnvironment(const std::string& name, std::string value);
    void unsetEnvironment(const std::string& name);
    void setCurrentDirectory(std::string path);
    void setBundleResourcesDirectory(std::optional<std::string> path);
    void setLooksForConfigInWorkingDirectory(bool looks);
    void setExecutablePath(std::string path);
    // Restarts the generated sequence.
    void setUUIDSeed(std::uint64_t seed);
    void enqueueUUID(std::string uuid);
    void setBundleIdentifier(std::optional<std::string> bundleID);

  private:
    std::mutex mutex_;
    std::vector<std::string> arguments_;
    std::map<std::string, std::string> environment_;
    std::string currentDirectory_;
    std::optional<std::string> resources_;
    bool configInWorkingDirectory_ = true;
    std::string executablePath_;
    std::uint64_t uuidState_ = 0;
    std::deque<std::string> scriptedUUIDs_;
    std::optional<std::string> bundleID_;
};

} // namespace korvane::sim
