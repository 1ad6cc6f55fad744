// The one queue of window-activation requests: they run one at a time, in the order they arrive, each
// raced against its own time-out, so that two activations never overlap; each request supersedes the
// ones before it.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Cancellation.h"
#include "platform/Task.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace korvane {

namespace platform {
class Platform;
class RunLoop;
class SerialQueue;
} // namespace platform

// One request. The queue reads only the time-out, the operation and the completion; the rest
// identifies the request.
struct ActivationTask {
    pid_t pid = 0;
    platform::AXElement axWindow;
    std::string reason;
    double timeout = 0; // seconds, counted from the moment the request starts running
    // The work; the token is cancelled when the time-out passes first or the request is superseded. It
    // runs on the main thread.
    std::function<platform::Task<bool>(platform::CancellationToken)> operation;
    // Called exactly once, on the main thread, with the request's result.
    std::function<void(bool)> completion;
    // Cancelled by the queue once a later request is enqueued: the operation, which may watch its token,
    // is meant to give up; it still runs (at once, when it had not started yet) and is still completed.
    platform::CancellationSource supersession;
};

class ActivationQueue : public std::enable_shared_from_this<ActivationQueue> {
  public:
    // Requests time out no sooner than this.
    static constexpr double kMinimumTimeout = 0.05;

    explicit ActivationQueue(platform::Platform& platform);
    ActivationQueue(const ActivationQueue&) = delete;
    ActivationQueue& operator=(const ActivationQueue&) = delete;

    // The process-wide instance, made on first use for the platform in use (and made again should the
    // platform in use be another one than its own, as happens between tests).
    static std::shared_ptr<ActivationQueue> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<ActivationQueue> instance);

    platform::Platform& platform() const { return platform_; }

    // Main thread. Returns at once. The next request starts only after the previous one's completion was
    // called; the one before this request, running or waiting, and with it every earlier one, is
    // superseded: the user asked for another window since.
    void enqueue(ActivationTask task);
    // Main thread. The user turned to this program's own window that takes the keyboard (a switcher
    // opened): the request under way, and every one before it, is superseded as a later request would
    // supersede it, so that it takes neither the keyboard nor the view from that window.
    void supersede() { latest_.cancel(); }

  private:
    // On lockQueue only.
    void processNext();
    // Races the operation against the time-out on the main thread. When the time-out passes first the
    // result is false, but it is reported only once the operation has returned.
    platform::Task<bool> execute(const ActivationTask& task);
    static platform::Task<void> runRequest(std::weak_ptr<ActivationQueue> weak, ActivationTask task);

    platform::Platform& platform_;
    std::shared_ptr<platform::SerialQueue> lockQueue; // the only place pending and isRunning are touched
    std::deque<ActivationTask> pending;
    bool isRunning = false;
    // The latest request's supersession; main thread only.
    platform::CancellationSource latest_;
};

} // namespace korvane
