// Co-operative cancellation: a source that one party cancels and tokens that the cancelled work
// checks or subscribes to. Cancelling only tells the work to stop; it never ends it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace korvane::platform {

namespace detail {
struct CancellationState {
    std::mutex mutex;
    bool cancelled = false;
    std::uint64_t nextID = 1;
    std::vector<std::pair<std::uint64_t, std::function<void()>>> callbacks;
};
} // namespace detail

// Keeps a callback registered on a token; ending it (or resetting it) takes the callback off.
class CancellationRegistration {
  public:
    CancellationRegistration() = default;
    ~CancellationRegistration() { reset(); }
    CancellationRegistration(CancellationRegistration&& other) noexcept;
    CancellationRegistration& operator=(CancellationRegistration&& other) noexcept;
    CancellationRegistration(const CancellationRegistration&) = delete;
    CancellationRegistration& operator=(const CancellationRegistration&) = delete;

    void reset();

  private:
    friend class CancellationToken;
    CancellationRegistration(std::weak_ptr<detail::CancellationState> state, std::uint64_t id)
        : state_(std::move(state)), id_(id) {}

    std::weak_ptr<detail::CancellationState> state_;
    std::uint64_t id_ = 0;
};

class CancellationToken {
  public:
    // A token that is never cancelled.
    CancellationToken() = default;

    bool isCancelled() const;
    // Runs `callback` once, on the thread that cancels, when the token is cancelled; at once, on
    // this thread, when it already is. The callback must not block on the source.
    [[nodiscard]] CancellationRegistration onCancel(std::function<void()> callback) const;

  private:
    friend class CancellationSource;
    explicit CancellationToken(std::shared_ptr<detail::CancellationState> state) : state_(std::move(state)) {}

    std::shared_ptr<detail::CancellationState> state_;
};

class CancellationSource {
  public:
    CancellationSource() : state_(std::make_shared<detail::CancellationState>()) {}

    CancellationToken token() const { return CancellationToken(state_); }
    // Runs the registered callbacks in the order they were registered; cancelling twice is harmless.
    void cancel();
    bool isCancelled() const;

  private:
    std::shared_ptr<detail::CancellationState> state_;
};

} // namespace korvane::platform
