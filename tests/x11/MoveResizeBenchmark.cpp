// How long moving a window into a zone takes on a real X server with a real window manager, against what
// the server itself allows: a bare round trip, one raw _NET_MOVERESIZE_WINDOW read back without sleeping,
// the accessibility wrapper's moveResize read back, and a whole WMController::moveWindow without its
// designed settle. One xterm goes round the zones of both monitors (a low window made tall among the
// moves) among 10, 100 and 300 other windows. Prints the median and 95th percentile of single
// operations and their ratio to the raw move. A benchmark on the tests' fixture, run by hand and never by
// the test runner: nothing here fails on speed.
#include "CoreOnX11.h"

#include "core/MultiDisplayState.h"
#include "core/WMController.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <tuple>

namespace korvane::x11::test {
namespace {

int moves = 198; // per operation and window count, from the command line

using namespace platform;

// The desktop as it is, except that blocking sleeps return at once: moveWindow without its settle.
struct NoSleepLoop final : RunLoop {
    explicit NoSleepLoop(RunLoop& loop) : inner(loop) {}
    Nanos now() const override { return inner.now(); }
    Nanos wallClock() const override { return inner.wallClock(); }
    void post(std::function<void()> block) override { inner.post(std::move(block)); }
    WorkItemRef postAfter(Nanos delay, std::function<void()> block) override {
        return inner.postAfter(delay, std::move(block));
    }
    TimerRef scheduleTimer(Nanos interval, bool repeats, RunLoopMode mode,
                           std::function<void(Timer&)> fire) override {
        return inner.scheduleTimer(interval, repeats, mode, std::move(fire));
    }
    bool isMainThread() const override { return inner.isMainThread(); }
    void sleepBlocking(Nanos) override {}
    void dispatchGlobal(QueueQoS qos, std::function<void()> block) override {
        inner.dispatchGlobal(qos, std::move(block));
    }
    std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label) override {
        return inner.makeSerialQueue(label);
    }
    RunLoopMode currentMode() const override { return inner.currentMode(); }
    RunLoop& inner;
};

struct NoSleepPlatform final : Platform {
    explicit NoSleepPlatform(Platform& platform) : inner(platform), loop(platform.runLoop()) {}
    RunLoop& runLoop() override { return loop; }
    Accessibility& accessibility() override { return inner.accessibility(); }
    WindowServer& windowServer() override { return inner.windowServer(); }
    Screens& screens() override { return inner.screens(); }
    Workspace& workspace() override { return inner.workspace(); }
    UserDefaults& userDefaults() override { return inner.userDefaults(); }
    NotificationCenter& notificationCenter() override { return inner.notificationCenter(); }
    FolderWatcher& folderWatcher() override { return inner.folderWatcher(); }
    ProcessInfo& processInfo() override { return inner.processInfo(); }
    LoginItems& loginItems() override { return inner.loginItems(); }
    Platform& inner;
    NoSleepLoop loop;
};

struct Target {
    Rect zone; // bottom-left
    std::string displayUUID;
    int zoneID = 0;
    bool lowMadeTall = false; // reached from a low, short zone
    Rect root;                // the frame the window got there, root coordinates
};

// Milliseconds of single operations, those into a tall zone from a low one also apart, and the misses.
struct Samples {
    std::vector<double> all, lowMadeTall;
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

// The session ends the xterm and the other windows with itself.
using MoveResizeBenchmark = X11Test;

TEST_F(MoveResizeBenchmark, movesIntoZonesAgainstWhatTheServerAllows) {
    // The desktop's own time-outs, not the ones the tests allow a loaded machine.
    desktop->accessibility().setMessagingTimeout(desktop->accessibility().systemWideElement(), 0);
    auto& session = X11Test::session();
    NoSleepPlatform noSleep(*desktop);
    auto ax = std::make_shared<AXUtil>(noSleep);
    auto multi = std::make_shared<MultiDisplayState>();
    auto controller = std::make_shared<WMController>(multi, ax);
    const auto x = xterm("Benchmark", "60x8+2600+900");
    const AXElement element = elementOf(x);

    // The right half's bottom and top quarter and the left half of each monitor, ordered so that each
    // monitor's low zone is followed by its tall one and every other move changes monitor.
    const auto screens = desktop->screens().screens();
    ASSERT_GE(screens.size(), 2u);
    for (const auto& s : screens)
        multi->states[s.displayUUID] = zoneStateOf(s);
    const std::tuple<std::size_t, int, bool> order[] = {{0, 3, false}, {0, 1, true}, {1, 2, false},
                                                        {1, 3, false}, {1, 1, true}, {0, 2, false}};
    std::vector<Target> targets;
    for (const auto& [screen, zoneID, tall] : order) {
        const auto& s = screens[screen];
        targets.push_back(
            {zonesOf(s.visibleFrame)[static_cast<std::size_t>(zoneID - 1)], s.displayUUID, zoneID, tall, {}});
    }
    // The frames the window gets in each zone, for the raw moves to ask for.
    for (int pass = 0; pass < 2; ++pass)
        for (auto& t : targets) {
            ax->moveResize(element, t.zone);
            t.root = session.frameOf(x.window);
        }

    // One move to every target in turn, each timed; the main loop runs between them, as it does between
    // a user's pushes.
    auto cycle = [&](Samples& samples, const std::function<void(const Target&)>& move) {
        for (const auto& t : targets) {
            const double ms = timed([&] { move(t); });
            samples.all.push_back(ms);
            if (t.lowMadeTall) samples.lowMadeTall.push_back(ms);
            if (!(session.frameOf(x.window) == t.root)) ++samples.failed;
            runUntil([] { return false; }, milliseconds(1));
        }
    };

    std::printf("%8s  %-38s %9s %9s %9s %9s %12s %9s\n", "windows", "operation", "median ms", "p95 ms",
                "/raw", "p95/raw", "tall median", "/raw");
    std::vector<xcb_window_t> others;
    for (std::size_t count : {10, 100, 300}) {
        // Light clients placed by the window manager, under the xterm; all managed before the timing.
        while (others.size() < count)
            others.push_back(session.createWindow(Rect{100, 100, 200, 100},
                                                  "Other window " + std::to_string(others.size())));
        ASSERT_TRUE(runUntil([&] { return session.clientList().size() == count + 1; }, seconds(60)))
            << "the other windows did not show";
        runUntil([] { return false; }, milliseconds(200));

        Samples trip, raw, wrapper, moved;
        for (int round = 0; round < std::max(1, moves / static_cast<int>(targets.size())); ++round) {
            for (std::size_t i = 0; i < targets.size(); ++i)
                trip.all.push_back(timed([&] { session.sync(); }));
            cycle(raw, [&](const Target& t) {
                session.requestFrame(x.window, t.root);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                while (!(session.frameOf(x.window) == t.root) &&
                       std::chrono::steady_clock::now() < deadline) {
                }
            });
            cycle(wrapper, [&](const Target& t) {
                ax->moveResize(element, t.zone);
                ax->frame(element);
            });
            cycle(moved, [&](const Target& t) {
                controller->moveWindow(element, x.window, x.pid, t.zoneID, t.displayUUID, "Benchmark",
                                       MoveActivation::leaveFocus);
            });
        }
        const double rawMedian = percentile(raw.all, 0.5), rawP95 = percentile(raw.all, 0.95),
                     rawTall = percentile(raw.lowMadeTall, 0.5);
        for (const auto& [name, s] : {std::pair<const char*, const Samples&>{"bare round trip", trip},
                                      {"raw _NET_MOVERESIZE_WINDOW + read-back", raw},
                                      {"moveResize + read-back", wrapper},
                                      {"WMController::moveWindow, no settle", moved}}) {
            const double median = percentile(s.all, 0.5), p95 = percentile(s.all, 0.95),
                         tall = percentile(s.lowMadeTall, 0.5);
            std::printf("%8zu  %-38s %9.3f %9.3f %9.2f %9.2f", count, name, median, p95, median / rawMedian,
                        p95 / rawP95);
            s.lowMadeTall.empty() ? std::printf("\n") : std::printf(" %12.3f %9.2f\n", tall, tall / rawTall);
            if (s.failed) std::printf("%8s  (%d moves did not reach their zone)\n", "", s.failed);
        }
        std::fflush(stdout);
    }
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    GTEST_FLAG_SET(brief, true); // the table, and a test's lines only when it fails
    ::testing::InitGoogleTest(&argc, argv);
    auto& moves = korvane::x11::test::moves;
    if (argc > 1) moves = std::atoi(argv[1]);
    if (moves <= 0) {
        std::cerr << "usage: " << argv[0] << " [moves per operation and window count, default 198]\n";
        return 2;
    }
    return RUN_ALL_TESTS();
}
