// The simulated process's own facts, all settable by tests; UUIDs come from a seeded generator so that
// file names and log lines that contain them repeat exactly.
#include "platform/sim/SimProcessInfo.h"

#include <cstdio>
#include <unistd.h>

namespace korvane::sim {

namespace {
// splitmix64: tiny, and every seed gives a well-spread sequence.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
} // namespace

SimProcessInfo::SimProcessInfo()
    : arguments_{"/usr/bin/korvane"}, currentDirectory_("/"), executablePath_("/usr/bin/korvane") {}

std::vector<std::string> SimProcessInfo::arguments() {
    std::lock_guard lock(mutex_);
    return arguments_;
}

std::optional<std::string> SimProcessInfo::environment(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = environment_.find(name);
    if (it == environment_.end()) return std::nullopt;
    return it->second;
}

std::string SimProcessInfo::currentDirectory() {
    std::lock_guard lock(mutex_);
    return currentDirectory_;
}

std::optional<std::string> SimProcessInfo::bundleResourcesDirectory() {
    std::lock_guard lock(mutex_);
    return resources_;
}

bool SimProcessInfo::looksForConfigInWorkingDirectory() {
    std::lock_guard lock(mutex_);
    return configInWorkingDirectory_;
}

std::string SimProcessInfo::executablePath() {
    std::lock_guard lock(mutex_);
    return executablePath_;
}

std::string SimProcessInfo::makeUUID() {
    std::lock_guard lock(mutex_);
    if (!scriptedUUIDs_.empty()) {
        std::string next = std::move(scriptedUUIDs_.front());
        scriptedUUIDs_.pop_front();
        return next;
    }
    std::uint64_t hi = nextRandom(uuidState_);
    std::uint64_t lo = nextRandom(uuidState_);
    // Version 4 and the RFC variant, as a random UUID of the real desktop has.
    hi = (hi & ~0xF000ULL) | 0x4000ULL;
    lo = (lo & ~(0xC0ULL << 56)) | (0x80ULL << 56);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                  static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
    return buf;
}

void SimProcessInfo::setArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(mutex_);
    arguments_ = std::move(arguments);
}

void SimProcessInfo::setEnvironment(const std::string& name, std::string value) {
    std::lock_guard lock(mutex_);
    environment_[name] = std::move(value);
}

void SimProcessInfo::unsetEnvironment(const std::string& name) {
    std::lock_guard lock(mutex_);
    environment_.erase(name);
}

void SimProcessInfo::setCurrentDirectory(std::string path) {
    std::lock_guard lock(mutex_);
    currentDirectory_ = std::move(path);
}

void SimProcessInfo::setBundleResourcesDirectory(std::optional<std::string> path) {
    std::lock_guard lock(mutex_);
    resources_ = std::move(path);
}

void SimProcessInfo::setLooksForConfigInWorkingDirectory(bool looks) {
    std::lock_guard lock(mutex_);
    configInWorkingDirectory_ = looks;
}

void SimProcessInfo::setExecutablePath(std::string path) {
    std::lock_guard lock(mutex_);
    executablePath_ = std::move(path);
}

void SimProcessInfo::setUUIDSeed(std::uint64_t seed) {
    std::lock_guard lock(mutex_);
    uuidState_ = seed;
}

void SimProcessInfo::enqueueUUID(std::string uuid) {
    std::lock_guard lock(mutex_);
    scriptedUUIDs_.push_back(std::move(uuid));
}

pid_t SimProcessInfo::processIdentifier() {
    return ::getpid();
}

std::optional<std::string> SimProcessInfo::bundleIdentifier() {
    std::lock_guard lock(mutex_);
    return bundleID_;
}

void SimProcessInfo::setBundleIdentifier(std::optional<std::string> bundleID) {
    std::lock_guard lock(mutex_);
    bundleID_ = std::move(bundleID);
}

} // namespace korvane::sim
