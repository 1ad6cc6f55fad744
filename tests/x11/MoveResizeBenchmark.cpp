// How long moving a window into a zone takes on a real X server with a real window manager, against what
// the server itself allows: a bare round trip, one raw _NET_MOVERESIZE_WINDOW read back without sleeping,
// the accessibility wrapper's moveResize read back, and a WMController::moveWindow until the window shows in
// the zone, without its designed settle. One xterm goes round the zones of both monitors (a low window made
// tall among the moves) among 10, 100 and 300 other windows, in front of them as a pushed window is. Single
// operations are timed one by one, as a user's pushes come one by one: their median and 95th percentile,
// those of the moves into a tall zone from a low one, the moves that missed their zone, and each move's ratio
// to the raw move at the same window count in the same run, the floor no window manager client can beat. A
// benchmark on the tests' fixture, run by scripts/benchmark and never by the test runner: nothing here
// fails on speed.
#include "BenchmarkArguments.h"
#include "CoreOnX11.h"

#include "core/MultiDisplayState.h"
#include "core/WMController.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string_view>
#include <tuple>

namespace korvane::x11::test {
namespace {

using namespace platform;

// The desktop as it is, except that blocking sleeps return at once.
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
    void enterEventTracking() override { inner.enterEventTracking(); }
    void leaveEventTracking() override { inner.leaveEventTracking(); }
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
    HotKeys& hotKeys() override { return inner.hotKeys(); }
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

// The tests' fixture driven by hand: one private X server, window manager and xterm for the whole run,
// shared by every benchmark and ended with the run, the other windows with it.
class Desk final : public X11Test {
  public:
    // The server, the xterm and the zones it goes round; nullptr with the reason when they do not come up.
    static Desk* open(std::string& error) {
        try {
            SetUpTestSuite();
        } catch (const std::exception& e) {
            error = std::string("the X server did not come up: ") + e.what();
            return nullptr;
        }
        auto desk = std::make_unique<Desk>();
        desk->SetUp();
        if (!::testing::Test::HasFailure()) desk->prepare(error);
        if (::testing::Test::HasFailure() && error.empty()) error = "the desktop did not come up";
        if (!error.empty()) {
            close(std::move(desk));
            return nullptr;
        }
        return desk.release();
    }
    static void close(std::unique_ptr<Desk> desk) {
        if (desk) desk->release();
        desk.reset();
        TearDownTestSuite();
    }

    // `count` light clients besides the xterm, placed by the window manager and all managed before the
    // timing, and the xterm in front of them and focused again, as the window a user pushes is (moved
    // from under a pile of windows, a window uncovers none of them and costs the server less); whether
    // they all showed and the xterm came in front.
    bool withOthers(std::size_t count) {
        auto& s = session();
        while (others_.size() > count) {
            s.destroyWindow(others_.back());
            others_.pop_back();
        }
        while (others_.size() < count)
            others_.push_back(
                s.createWindow(Rect{100, 100, 200, 100}, "Other window " + std::to_string(others_.size())));
        const bool shown = runUntil([&] { return s.clientList().size() == count + 1; }, seconds(60));
        desktop->accessibility().performAction(element_, "AXRaise");
        const bool inFront = runUntil(
            [&] { return s.activeWindow() == xterm_.window && s.stackingOrder().back() == xterm_.window; },
            seconds(10));
        idle(milliseconds(200));
        return shown && inFront;
    }
    // The main loop runs between moves, as it does between a user's pushes.
    void idle(Nanos duration) {
        runUntil([] { return false; }, duration);
    }

    const std::vector<Target>& targets() const { return targets_; }
    Rect frame() { return session().frameOf(xterm_.window); }

    void roundTrip() { session().sync(); }
    void rawMove(const Target& t) {
        session().requestFrame(xterm_.window, t.root);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!(session().frameOf(xterm_.window) == t.root) && std::chrono::steady_clock::now() < deadline) {
        }
    }
    void wrapperMove(const Target& t) {
        ax_->moveResize(element_, t.zone);
        ax_->frame(element_);
    }
    // Until the window shows in the zone; the check after the settle ends outside the timing, in
    // endControllerMove().
    void controllerMove(const Target& t) {
        moveEnded_ = false;
        controller_->moveWindow(element_, xterm_.window, xterm_.pid, t.zoneID, t.displayUUID, "Benchmark",
                                MoveActivation::leaveFocus, [this](MoveOutcome) { moveEnded_ = true; });
        runUntil([&] { return frame() == t.root; }, seconds(1));
    }
    void endControllerMove() {
        runUntil([&] { return moveEnded_; }, seconds(5));
    }

  private:
    void TestBody() override {}

    void prepare(std::string& error) {
        // The desktop's own time-outs, not the ones the tests allow a loaded machine.
        desktop->accessibility().setMessagingTimeout(desktop->accessibility().systemWideElement(), 0);
        noSleep_ = std::make_unique<NoSleepPlatform>(*desktop);
        ax_ = std::make_shared<AXUtil>(*noSleep_);
        auto multi = std::make_shared<MultiDisplayState>();
        controller_ = std::make_shared<WMController>(multi, ax_);
        xterm_ = xterm("Benchmark", "60x8+2600+900");
        element_ = elementOf(xterm_);

        // The right half's bottom and top quarter and the left half of each monitor, ordered so that each
        // monitor's low zone is followed by its tall one and every other move changes monitor.
        const auto screens = desktop->screens().screens();
        if (screens.size() < 2) {
            error = "the server shows fewer than two monitors";
            return;
        }
        for (const auto& s : screens)
            multi->states[s.displayUUID] = zoneStateOf(s);
        const std::tuple<std::size_t, int, bool> order[] = {{0, 3, false}, {0, 1, true}, {1, 2, false},
                                                            {1, 3, false}, {1, 1, true}, {0, 2, false}};
        for (const auto& [screen, zoneID, tall] : order) {
            const auto& s = screens[screen];
            targets_.push_back({zonesOf(s.visibleFrame)[static_cast<std::size_t>(zoneID - 1)],
                                s.displayUUID,
                                zoneID,
                                tall,
                                {}});
        }
        // The frames the window gets in each zone, for the raw moves to ask for.
        for (int pass = 0; pass < 2; ++pass)
            for (auto& t : targets_) {
                ax_->moveResize(element_, t.zone);
                t.root = frame();
            }
    }

    // What refers to the desktop goes before the fixture ends it and the xterm.
    void release() {
        controller_.reset();
        ax_.reset();
        noSleep_.reset();
        TearDown();
    }

    std::unique_ptr<NoSleepPlatform> noSleep_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<WMController> controller_;
    bool moveEnded_ = true;
    X11TestSession::Xterm xterm_;
    AXElement element_;
    std::vector<Target> targets_;
    std::vector<xcb_window_t> others_;
};

std::unique_ptr<Desk> desk;
std::string deskError; // why the desk did not come up, once tried

// The desk, brought up by the first benchmark that runs, so that listing or filtering out all of them
// starts no server.
Desk* theDesk() {
    if (!desk && deskError.empty()) desk.reset(Desk::open(deskError));
    return desk.get();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

// Times one operation for the benchmark's clock; its milliseconds.
template <typename Operation> double timed(benchmark::State& state, Operation&& operation) {
    const auto start = std::chrono::steady_clock::now();
    operation();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    return elapsed.count() * 1000;
}

// The desk with range(0) other windows, or nullptr with the benchmark skipped.
Desk* deskFor(benchmark::State& state) {
    Desk* d = theDesk();
    if (!d) {
        state.SkipWithError(deskError.c_str());
        return nullptr;
    }
    if (!d->withOthers(static_cast<std::size_t>(state.range(0)))) {
        state.SkipWithError("the other windows did not show, or the xterm did not come in front of them");
        return nullptr;
    }
    return d;
}

void bareRoundTrip(benchmark::State& state) {
    Desk* d = deskFor(state);
    if (!d) return;
    std::vector<double> all;
    for (auto _ : state)
        all.push_back(timed(state, [&] { d->roundTrip(); }));
    state.counters["median_ms"] = percentile(all, 0.5);
    state.counters["p95_ms"] = percentile(all, 0.95);
}

// The raw move's median and 95th percentile per window count, the floor of the other moves.
struct Floor {
    double median = 0, p95 = 0;
};
std::map<std::int64_t, Floor> rawFloors;

enum class Move { raw, wrapper, controller };

// One move to every target in turn, each timed and checked; the main loop runs between them.
void moves(benchmark::State& state, Move move) {
    Desk* d = deskFor(state);
    if (!d) return;
    std::vector<double> all, lowMadeTall;
    int missed = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const Target& t = d->targets()[next++ % d->targets().size()];
        const double ms = timed(state, [&] {
            switch (move) {
            case Move::raw:
                d->rawMove(t);
                break;
            case Move::wrapper:
                d->wrapperMove(t);
                break;
            case Move::controller:
                d->controllerMove(t);
                break;
            }
        });
        if (move == Move::controller) d->endControllerMove();
        all.push_back(ms);
        if (t.lowMadeTall) lowMadeTall.push_back(ms);
        if (!(d->frame() == t.root)) ++missed;
        d->idle(milliseconds(1));
    }
    const Floor figures{percentile(all, 0.5), percentile(all, 0.95)};
    state.counters["median_ms"] = figures.median;
    state.counters["p95_ms"] = figures.p95;
    state.counters["tall_med_ms"] = percentile(lowMadeTall, 0.5);
    state.counters["tall_p95_ms"] = percentile(lowMadeTall, 0.95);
    state.counters["misses"] = missed;
    if (move == Move::raw) rawFloors[state.range(0)] = figures;
    // Without the raw move at this count in this run (filtered out) there is nothing to compare with.
    if (const auto floor = rawFloors.find(state.range(0)); floor != rawFloors.end()) {
        state.counters["median/raw"] = figures.median / floor->second.median;
        state.counters["p95/raw"] = figures.p95 / floor->second.p95;
    }
}

// Window count first, so that the windows only grow and the raw move's floor is known before the moves
// compared with it.
void registerAll(int count) {
    for (const std::int64_t windows : {10, 100, 300}) {
        const std::pair<const char*, std::function<void(benchmark::State&)>> operations[] = {
            {"bareRoundTrip", bareRoundTrip},
            {"rawMoveResizeWindow", [](benchmark::State& s) { moves(s, Move::raw); }},
            {"moveResize", [](benchmark::State& s) { moves(s, Move::wrapper); }},
            {"moveWindowNoSettle", [](benchmark::State& s) { moves(s, Move::controller); }}};
        for (const auto& [name, run] : operations)
            benchmark::RegisterBenchmark(name, run)
                ->Arg(windows)
                ->ArgName("windows")
                ->Iterations(count)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
    }
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    // Single operations timed per operation and window count.
    const auto moves = korvane::x11::test::benchmarkArguments(argc, argv, "moves", 198);
    if (!moves) {
        std::cerr << "usage: " << argv[0] << " [--moves=N] [Google Benchmark flags]\n"
                  << "  --moves=N  single operations timed per operation and window count (198 by default)\n";
        return 2;
    }

    korvane::x11::test::registerAll(*moves);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    korvane::x11::test::Desk::close(std::move(korvane::x11::test::desk));
    return korvane::x11::test::deskError.empty() ? 0 : 1;
}
