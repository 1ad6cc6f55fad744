// How long moving a window into a zone takes on a real X server with a real window manager, against what
// the server itself allows: a bare round trip, one raw _NET_MOVERESIZE_WINDOW read back without sleeping,
// the accessibility wrapper's moveResize read back, and a whole WMController::moveWindow without its
// designed settle. One xterm goes round the zones of both monitors (a low window made tall among the
// moves) among 10, 100 and 300 other windows. Prints the median and 95th percentile of single
// operations and their ratio to the raw move. A benchmark, not a test: nothing here fails on speed.
#include "CoreOnX11.h"

#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::x11::test {
namespace {

// The desktop as it is, except that blocking sleeps return at once: moveWindow without its settle.
class NoSleepLoop final : public platform::RunLoop {
  public:
    explicit NoSleepLoop(platform::RunLoop& inner) : inner_(inner) {}
    Nanos now() const override { return inner_.now(); }
    Nanos wallClock() const override { return inner_.wallClock(); }
    void post(std::function<void()> block) override { inner_.post(std::move(block)); }
    platform::WorkItemRef postAfter(Nanos delay, std::function<void()> block) override {
        return inner_.postAfter(delay, std::move(block));
    }
    platform::TimerRef scheduleTimer(Nanos interval, bool repeats, platform::RunLoopMode mode,
                                     std::function<void(platform::Timer&)> fire) override {
        return inner_.scheduleTimer(interval, repeats, mode, std::move(fire));
    }
    bool isMainThread() const override { return inner_.isMainThread(); }
    void sleepBlocking(Nanos) override {}
    void dispatchGlobal(platform::QueueQoS qos, std::function<void()> block) override {
        inner_.dispatchGlobal(qos, std::move(block));
    }
    std::shared_ptr<platform::SerialQueue> makeSerialQueue(const std::string& label) override {
        return inner_.makeSerialQueue(label);
    }
    platform::RunLoopMode currentMode() const override { return inner_.currentMode(); }

  private:
    platform::RunLoop& inner_;
};

class NoSleepPlatform final : public platform::Platform {
  public:
    explicit NoSleepPlatform(platform::Platform& inner) : inner_(inner), loop_(inner.runLoop()) {}
    platform::RunLoop& runLoop() override { return loop_; }
    platform::Accessibility& accessibility() override { return inner_.accessibility(); }
    platform::WindowServer& windowServer() override { return inner_.windowServer(); }
    platform::Screens& screens() override { return inner_.screens(); }
    platform::Workspace& workspace() override { return inner_.workspace(); }
    platform::UserDefaults& userDefaults() override { return inner_.userDefaults(); }
    platform::NotificationCenter& notificationCenter() override { return inner_.notificationCenter(); }
    platform::FolderWatcher& folderWatcher() override { return inner_.folderWatcher(); }
    platform::ProcessInfo& processInfo() override { return inner_.processInfo(); }
    platform::LoginItems& loginItems() override { return inner_.loginItems(); }

  private:
    platform::Platform& inner_;
    NoSleepLoop loop_;
};

struct Target {
    Rect zone; // bottom-left
    std::string displayUUID;
    int zoneID = 0;
    bool lowMadeTall = false; // reached from a low, short zone
    Rect root;                // the frame the window got there, root coordinates
};

struct Samples {
    std::vector<double> all, lowMadeTall; // milliseconds
    int failed = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

double timed(const std::function<void()>& operation) {
    const auto start = std::chrono::steady_clock::now();
    operation();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

class Bench {
  public:
    Bench(X11TestSession& session, X11Desktop& desktop)
        : session_(session), desktop_(desktop), noSleep_(desktop), ax_(std::make_shared<AXUtil>(noSleep_)),
          multi_(std::make_shared<MultiDisplayState>()),
          controller_(std::make_shared<WMController>(multi_, ax_)) {
        xterm_ = session_.startXterm("Benchmark", "60x8+2600+900");
        element_ = platform::AXElement{platform::AXElement::Kind::window, xterm_.pid, xterm_.window};
        makeTargets();
    }
    ~Bench() {
        for (auto w : others_)
            session_.destroyWindow(w);
        session_.closeXterm(xterm_);
    }

    void run(const std::vector<int>& counts, int moves) {
        std::printf("%8s  %-38s %9s %9s %9s %9s %12s %9s\n", "windows", "operation", "median ms", "p95 ms",
                    "/raw", "p95/raw", "tall median", "/raw");
        for (int count : counts) {
            setOtherWindows(count);
            Samples trip, raw, wrapper, controller;
            for (int round = 0; round < std::max(1, moves / static_cast<int>(targets_.size())); ++round) {
                for (std::size_t i = 0; i < targets_.size(); ++i)
                    trip.all.push_back(timed([&] { session_.sync(); }));
                cycle(raw, [&](const Target& t) {
                    session_.requestFrame(xterm_.window, t.root);
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                    while (!(session_.frameOf(xterm_.window) == t.root) &&
                           std::chrono::steady_clock::now() < deadline) {
                    }
                });
                cycle(wrapper, [&](const Target& t) {
                    ax_->moveResize(element_, t.zone);
                    ax_->frame(element_);
                });
                cycle(controller, [&](const Target& t) {
                    controller_->moveWindow(element_, xterm_.window, xterm_.pid, t.zoneID, t.displayUUID,
                                            "Benchmark", MoveActivation::leaveFocus);
                });
            }
            const double rawMedian = percentile(raw.all, 0.5), rawP95 = percentile(raw.all, 0.95),
                         rawTall = percentile(raw.lowMadeTall, 0.5);
            auto print = [&](const char* name, const Samples& s) {
                const double median = percentile(s.all, 0.5), p95 = percentile(s.all, 0.95);
                const double tall = percentile(s.lowMadeTall, 0.5);
                std::printf("%8d  %-38s %9.3f %9.3f %9.2f %9.2f", count, name, median, p95,
                            median / rawMedian, p95 / rawP95);
                if (s.lowMadeTall.empty())
                    std::printf("\n");
                else
                    std::printf(" %12.3f %9.2f\n", tall, tall / rawTall);
                if (s.failed) std::printf("%8s  (%d moves did not reach their zone)\n", "", s.failed);
            };
            print("bare round trip", trip);
            print("raw _NET_MOVERESIZE_WINDOW + read-back", raw);
            print("moveResize + read-back", wrapper);
            print("WMController::moveWindow, no settle", controller);
            std::fflush(stdout);
        }
    }

  private:
    // The right half's bottom and top quarter and the left half of each monitor, ordered so that each
    // monitor's low zone is followed by its tall one and every other move changes monitor.
    void makeTargets() {
        std::vector<platform::ScreenInfo> screens = desktop_.screens().screens();
        if (screens.size() < 2) throw std::runtime_error("the session has fewer than two monitors");
        for (const auto& s : screens)
            multi_->states[s.displayUUID] = zoneStateOf(s);
        auto target = [&](const platform::ScreenInfo& s, int zoneID, bool lowMadeTall) {
            return Target{zonesOf(s.visibleFrame)[static_cast<std::size_t>(zoneID - 1)],
                          s.displayUUID,
                          zoneID,
                          lowMadeTall,
                          {}};
        };
        targets_ = {target(screens[0], 3, false), target(screens[0], 1, true), target(screens[1], 2, false),
                    target(screens[1], 3, false), target(screens[1], 1, true), target(screens[0], 2, false)};
        // The frames the window gets in each zone, for the raw moves to ask for.
        for (int pass = 0; pass < 2; ++pass)
            for (auto& t : targets_) {
                ax_->moveResize(element_, t.zone);
                t.root = session_.frameOf(xterm_.window);
            }
    }

    // One move to every target in turn, each timed; the main loop runs between them, as it does between
    // a user's pushes.
    void cycle(Samples& samples, const std::function<void(const Target&)>& move) {
        for (const auto& t : targets_) {
            const double ms = timed([&] { move(t); });
            samples.all.push_back(ms);
            if (t.lowMadeTall) samples.lowMadeTall.push_back(ms);
            if (!(session_.frameOf(xterm_.window) == t.root)) ++samples.failed;
            desktop_.runUntil([] { return false; }, milliseconds(1));
        }
    }

    // Light clients placed by the window manager, under the xterm; waits until they are all managed.
    void setOtherWindows(int count) {
        while (static_cast<int>(others_.size()) > count) {
            session_.destroyWindow(others_.back());
            others_.pop_back();
        }
        while (static_cast<int>(others_.size()) < count)
            others_.push_back(session_.createWindow(Rect{100, 100, 200, 100},
                                                    "Other window " + std::to_string(others_.size())));
        const auto managed = [&] { return session_.clientList().size() == others_.size() + 1; };
        if (!desktop_.runUntil(managed, seconds(60)))
            throw std::runtime_error("the other windows did not show");
        desktop_.runUntil([] { return false; }, milliseconds(200));
    }

    X11TestSession& session_;
    X11Desktop& desktop_;
    NoSleepPlatform noSleep_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<MultiDisplayState> multi_;
    std::shared_ptr<WMController> controller_;
    X11TestSession::Xterm xterm_;
    platform::AXElement element_;
    std::vector<Target> targets_;
    std::vector<xcb_window_t> others_;
};

int run(int argc, char** argv) {
    const int moves = argc > 1 ? std::atoi(argv[1]) : 198;
    if (moves <= 0) {
        std::cerr << "usage: " << argv[0] << " [moves per operation and window count, default 198]\n";
        return 2;
    }
    // The desktop keeps its defaults in the application-support folder: a fresh one, not the user's.
    char pattern[] = "/tmp/korvane-x11-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string home = pattern;
    ::setenv("KORVANE_HOME", home.c_str(), 1);

    int status = 0;
    try {
        X11TestSession session;
        std::string error;
        auto desktop = X11Desktop::connect(session.display(), error);
        if (!desktop) throw std::runtime_error(error);
        platform::Platform::setCurrent(desktop.get());
        {
            Bench bench(session, *desktop);
            bench.run({10, 100, 300}, moves);
        }
        platform::Platform::setCurrent(nullptr);
    } catch (const std::exception& e) {
        if (platform::Platform::hasCurrent()) platform::Platform::setCurrent(nullptr);
        std::cerr << "benchmark: " << e.what() << "\n";
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    return korvane::x11::test::run(argc, argv);
}
