// The threads behind the global and serial queues.
#include "platform/x11/X11Queues.h"

#include <exception>
#include <future>

namespace korvane::x11 {

ThreadPool::ThreadPool(unsigned threads) {
    if (threads == 0) threads = 1;
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() {
    stop();
}

void ThreadPool::async(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        blocks_.push_back(std::move(block));
    }
    wake_.notify_one();
}

void ThreadPool::stop() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && threads_.empty()) return;
        stopping_ = true;
        dropped.swap(blocks_);
    }
    wake_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
}

void ThreadPool::work() {
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !blocks_.empty(); });
            if (stopping_) return;
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        block();
    }
}

struct X11SerialQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> blocks;
    bool closing = false;
    bool stopped = false;
    bool running = false;

    // Whether the block was taken: none is once the queue has stopped.
    bool push(std::function<void()>& block) {
        {
            std::lock_guard lock(mutex);
            if (stopped) return false;
            blocks.push_back(std::move(block));
        }
        wake.notify_one();
        return true;
    }

    void run() {
        for (;;) {
            std::function<void()> block;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return closing || !blocks.empty(); });
                if (blocks.empty()) return; // closing, and nothing left to do
                block = std::move(blocks.front());
                blocks.pop_front();
                running = true;
            }
            block();
            // What the block holds goes before the queue counts as idle: it may be what keeps the
            // desktop's objects in use.
            block = nullptr;
            {
                std::lock_guard lock(mutex);
                running = false;
            }
            idle.notify_all();
        }
    }
};

X11SerialQueue::X11SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_] { state->run(); });
}

X11SerialQueue::~X11SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->closing = true;
    }
    state_->wake.notify_all();
    // A block that drops the last reference to its own queue cannot wait for itself: its thread then
    // finishes the remaining blocks on its own, holding the state it shares.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void X11SerialQueue::async(std::function<void()> block) {
    state_->push(block);
}

void X11SerialQueue::stop() {
    std::deque<std::function<void()>> dropped;
    {
        std::unique_lock lock(state_->mutex);
        state_->stopped = true;
        dropped.swap(state_->blocks);
        state_->idle.wait(lock, [&] { return !state_->running; });
    }
    // Released outside the lock: a dropped block may hold the last reference to this very queue.
}

void X11SerialQueue::sync(const std::function<void()>& block) {
    if (std::this_thread::get_id() == thread_.get_id()) {
        block();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    std::function<void()> wrapped = [&] {
        try {
            block();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    };
    if (state_->push(wrapped)) finished.get();
}

} // namespace korvane::x11
