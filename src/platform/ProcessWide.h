// Holder of a process-wide single instance that belongs to the platform in use: created on first use,
// replaceable by tests, and made anew when a different platform becomes current (each test's
// simulated desktop gets fresh instances even if it happens to reuse a freed one's address).
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace korvane::platform {

template <class T> class ProcessWide {
  public:
    // The instance for the current platform, made with `make` when there is none yet.
    std::shared_ptr<T> get(const std::function<std::shared_ptr<T>(Platform&)>& make) {
        std::lock_guard lock(mutex_);
        std::uint64_t generation = Platform::currentGeneration();
        if (!instance_ || generation_ != generation) {
            instance_ = make(Platform::current());
            generation_ = generation;
        }
        return instance_;
    }
    // Replaces the instance for the current platform; nullptr makes the next get() create one.
    void set(std::shared_ptr<T> instance) {
        std::lock_guard lock(mutex_);
        instance_ = std::move(instance);
        generation_ = Platform::currentGeneration();
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<T> instance_;
    std::uint64_t generation_ = 0;
};

} // namespace korvane::platform
