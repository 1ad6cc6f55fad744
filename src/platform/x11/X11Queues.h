// Background queues of the real run loop: a pool of threads for the global queues and one thread per
// serial queue.
#pragma once

#include "platform/RunLoop.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvane::x11 {

// Blocks run on any of a few threads, in no promised order. Stopping drops what has not started and
// waits for what is running.
class ThreadPool {
  public:
    explicit ThreadPool(unsigned threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void async(std::function<void()> block);
    void stop();

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Blocks run one after another on the queue's own thread. The thread lives as long as the queue,
// and finishes the blocks already submitted when the queue is released.
class X11SerialQueue final : public platform::SerialQueue {
  public:
    explicit X11SerialQueue(std::string label);
    ~X11SerialQueue() override;

    // For the run loop's end: a queue can outlive the loop in whoever holds it, while its blocks reach
    // the desktop the loop belongs to. Drops what has not started, waits for a running block to end
    // (never call it from the queue's own thread) and drops every block submitted later.
    void stop();

    const std::string& label() const override { return label_; }
    void async(std::function<void()> block) override;
    // Runs inline when called from the queue's own thread, so that a block may sync onto its queue.
    void sync(const std::function<void()>& block) override;

    struct State;

  private:
    std::string label_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace korvane::x11
