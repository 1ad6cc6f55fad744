// What new windows cost the built program as more applications run, on a private X server with openbox and
// xterms (each its own application). Three figures, each as a ratio measured in the same run:
// - start-up: from starting the program to the first pixels of its status item (the corner button that
//   stands in for the tray, read back from the screen), with 100 xterms beside the same with none;
// - a burst: 200 xterms opened within 5 s beside 100 running, and the program's main thread after the last
//   of them is listed: when it was last busy (ms after the last window; busy is 5 ms or more of 50), and
//   its processor time and wake-ups within 0.5 s and in the second after;
// - the global switcher's first opening after the burst, 3 s after the last window, from its keys to its
//   panel's first pixels on the server's clock (DAMAGE), beside an opening before the burst (not its very
//   first, which makes its window) and one 2 s after it, with the same windows.
// A benchmark on the tests' fixture, run by scripts/benchmark and never by the test runner;
// KORVANE_BENCHMARK_PROGRAM names another build of the program to measure (an earlier one, say).
#include "BenchmarkArguments.h"
#include "DamageClock.h"
#include "X11TestSession.h"

#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef KORVANE_BINARY
#error "KORVANE_BINARY must name the built program"
#endif

namespace korvane::x11::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRunning = 100;
constexpr int kBurst = 200;
constexpr auto kBurstSpan = std::chrono::seconds(5);
constexpr int kStarts = 5;
// The corner button: 30 × 26 at 8 px from the top right of the primary monitor; inside its outline it is
// filled with this colour.
constexpr int kStatusX = 1920 + 1920 - 1 - 30 - 8 + 3, kStatusY = 8 + 3;
constexpr std::uint32_t kStatusFill = 0xFAFAFC;
constexpr const char* kSwitcherTitle = "Global Switcher";

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The main thread of a process: its time on a processor (ns, from the scheduler) and its wake-ups.
struct MainThread {
    double cpuMs = 0;
    long long wakeups = 0;
};

MainThread mainThreadOf(pid_t pid) {
    const fs::path task = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid);
    MainThread out;
    std::istringstream schedstat(fileText(task / "schedstat"));
    double ns = 0;
    schedstat >> ns;
    out.cpuMs = ns / 1e6;
    const std::string status = fileText(task / "status");
    for (std::string_view name : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"})
        if (auto at = status.find(name); at != std::string::npos)
            out.wakeups += std::atoll(status.c_str() + at + name.size());
    return out;
}

// Maps of top-level windows, seen on a connection of the benchmark's own: when a window opens, to the
// moment the server maps it (or the window manager's frame around it).
class MapWatch {
  public:
    explicit MapWatch(const std::string& display) : conn_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(conn_)) throw std::runtime_error("no connection to " + display);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_aux_sync();
    }
    ~MapWatch() { xcb_disconnect(conn_); }

    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(conn_))
            std::free(e);
    }
    // Waits for a window titled `title` (itself or a child of the frame mapped) to be mapped; when.
    std::optional<Clock::time_point> mapped(const std::string& title, std::chrono::seconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            xcb_generic_event_t* e = xcb_poll_for_event(conn_);
            if (!e) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                continue;
            }
            const auto now = Clock::now();
            const bool map = (e->response_type & 0x7F) == XCB_MAP_NOTIFY;
            const xcb_window_t window = map ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
            std::free(e);
            if (map && titled(window, title, 2)) return now;
        }
        return std::nullopt;
    }

  private:
    void xcb_aux_sync() { std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr)); }
    bool titled(xcb_window_t window, const std::string& title, int depth) {
        auto* name = xcb_get_property_reply(
            conn_, xcb_get_property(conn_, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256), nullptr);
        const bool match = name && std::string(static_cast<const char*>(xcb_get_property_value(name)),
                                               xcb_get_property_value_length(name)) == title;
        std::free(name);
        if (match || depth == 0) return match;
        auto* tree = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr);
        bool found = false;
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i)
                found = titled(children[i], title, depth - 1);
        }
        std::free(tree);
        return found;
    }

    xcb_connection_t* conn_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

struct Bench {
    // Room for every xterm: the server's default of 256 clients is fewer than a busy desktop has.
    X11TestSession session{{"-maxclients", "1024"}};
    testing::TempFolder folder;
    std::vector<pid_t> xterms;
    double startupNoneMs = 0;

    void grow(int count, std::optional<std::chrono::milliseconds> spacing = std::nullopt) {
        while (static_cast<int>(xterms.size()) < count) {
            const int i = static_cast<int>(xterms.size());
            // Beside each other on both monitors, never over the status item's corner.
            const int x = (i / 100 % 2 ? 0 : 1920) + 20 + (i % 10) * 150;
            const int y = 40 + (i / 10 % 10) * 80;
            xterms.push_back(
                session.start({"xterm", "-title", "xterm " + std::to_string(i), "-geometry",
                               "40x8+" + std::to_string(x) + "+" + std::to_string(y), "-e", "cat"}));
            if (spacing) std::this_thread::sleep_for(*spacing);
        }
    }
    bool listed(std::size_t count, Nanos timeout = seconds(120)) {
        return X11TestSession::waitFor([&] { return session.clientList().size() >= count; }, timeout);
    }
    fs::path log() const { return folder.path() / "korvane.log"; }
    pid_t startKorvane() {
        fs::remove_all(folder.path() / "home");
        fs::remove(log());
        const char* other = std::getenv("KORVANE_BENCHMARK_PROGRAM");
        return session.start({other ? other : KORVANE_BINARY},
                             {"KORVANE_HOME=" + (folder.path() / "home").string(),
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (folder.path() / "no-bus").string()},
                             log().string());
    }
    bool settled() {
        return X11TestSession::waitFor(
            [&] {
                const std::string text = fileText(log());
                return text.find("[DisplayChange] handle end") != std::string::npos &&
                       text.find("Scene Restore complete") != std::string::npos;
            },
            seconds(120));
    }
    bool quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        const auto status = session.waitForExit(korvane, seconds(20));
        return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    }
    // From the program's start to its status item's first pixels on the screen.
    std::optional<double> startupToStatusItem() {
        if (session.rootPixel(kStatusX, kStatusY) == kStatusFill) return std::nullopt;
        const auto start = Clock::now();
        const pid_t korvane = startKorvane();
        const bool shown = X11TestSession::waitFor(
            [&] { return session.rootPixel(kStatusX, kStatusY) == kStatusFill; }, seconds(60));
        const double ms = msSince(start);
        // Left to finish starting, so that it quits as it does after a day's work.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        quit(korvane);
        X11TestSession::waitFor([&] { return session.rootPixel(kStatusX, kStatusY) != kStatusFill; });
        if (!shown) return std::nullopt;
        return ms;
    }
    // From the switcher's keys to its panel's first pixels on the server's clock, once its panel is known
    // from an earlier opening (the panel is kept between openings), else to its mapping; closed again after.
    std::optional<double> openSwitcher() {
        MapWatch watch(session.display());
        std::unique_ptr<DamageClock> clock;
        if (panel) {
            clock = std::make_unique<DamageClock>(session.display());
            clock->watch({*panel});
        }
        std::vector<xcb_keycode_t> keys;
        for (std::uint32_t keysym : {XK_Control_L, XK_Alt_L, XK_a})
            keys.push_back(session.keycodeOf(keysym));
        watch.drain();
        const auto start = Clock::now();
        session.pressKeys(keys);
        std::optional<Clock::time_point> shown = watch.mapped(kSwitcherTitle, std::chrono::seconds(60));
        if (shown && clock) {
            std::optional<DamageClock::Frame> frame;
            X11TestSession::waitFor([&] { return (frame = clock->sofar()).has_value(); }, seconds(30));
            shown = frame ? std::optional(frame->firstPixels) : std::nullopt;
        }
        if (!panel) panel = session.viewableWindowTitled(kSwitcherTitle);
        session.pressKeys({session.keycodeOf(XK_Escape)});
        X11TestSession::waitFor([&] { return !session.viewableWindowTitled(kSwitcherTitle); }, seconds(30));
        if (!shown) return std::nullopt;
        return std::chrono::duration<double, std::milli>(*shown - start).count();
    }

    std::optional<xcb_window_t> panel;
};

std::unique_ptr<Bench> bench;

void startup(benchmark::State& state) {
    const int windows = static_cast<int>(state.range(0));
    bench->grow(windows);
    if (!bench->listed(static_cast<std::size_t>(windows))) {
        state.SkipWithError("the xterms did not come up");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < kStarts; ++i) {
            auto one = bench->startupToStatusItem();
            if (!one) {
                state.SkipWithError("the status item did not show");
                return;
            }
            ms.push_back(*one);
        }
        state.SetIterationTime(median(ms) / 1000);
    }
    state.counters["median_ms"] = median(ms);
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
    if (windows == 0) bench->startupNoneMs = median(ms);
    if (windows > 0 && bench->startupNoneMs > 0)
        state.counters["x_no_windows"] = median(ms) / bench->startupNoneMs;
}

void burst(benchmark::State& state) {
    bench->grow(kRunning);
    if (!bench->listed(kRunning)) {
        state.SkipWithError("the xterms did not come up");
        return;
    }
    const pid_t korvane = bench->startKorvane();
    if (!bench->settled()) {
        state.SkipWithError(("korvane did not settle; see " + bench->log().string()).c_str());
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    for (auto _ : state) {
        // The switcher's very first opening makes its window; the one compared is the next.
        bench->openSwitcher();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const auto before = bench->openSwitcher();
        std::this_thread::sleep_for(std::chrono::seconds(2));

        const auto start = Clock::now();
        const std::size_t total = bench->xterms.size() + kBurst;
        bench->grow(static_cast<int>(total),
                    std::chrono::duration_cast<std::chrono::milliseconds>(kBurstSpan) / kBurst);
        const double spawnMs = msSince(start);
        if (!bench->listed(total)) {
            state.SkipWithError("the burst's xterms did not come up");
            return;
        }
        const auto last = Clock::now();
        const MainThread atLast = mainThreadOf(korvane);
        // Sampled every 50 ms for 3 s: the main thread is busy in a sample where it ran 5 ms or more.
        std::vector<MainThread> samples{atLast};
        double lastBusyMs = 0;
        for (int i = 1; i <= 60; ++i) {
            std::this_thread::sleep_until(last + std::chrono::milliseconds(50 * i));
            samples.push_back(mainThreadOf(korvane));
            if (samples[i].cpuMs - samples[i - 1].cpuMs >= 5) lastBusyMs = 50.0 * i;
        }
        const auto at = [&](int ms) { return samples[static_cast<std::size_t>(ms / 50)]; };
        state.SetIterationTime(lastBusyMs / 1000);
        state.counters["spawn_s"] = spawnMs / 1000;
        state.counters["listed_s"] = std::chrono::duration<double>(last - start).count();
        state.counters["busy_until_ms"] = lastBusyMs;
        state.counters["cpu_ms_0.5s"] = at(500).cpuMs - atLast.cpuMs;
        state.counters["wakeups_0.5s"] = static_cast<double>(at(500).wakeups - atLast.wakeups);
        state.counters["cpu_ms_0.5-1.5s"] = at(1500).cpuMs - at(500).cpuMs;
        state.counters["wakeups_0.5-1.5s"] = static_cast<double>(at(1500).wakeups - at(500).wakeups);

        const auto after = bench->openSwitcher();
        // With the same windows, long after: what the number of windows alone costs an opening.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const auto later = bench->openSwitcher();
        if (before && after && later) {
            state.counters["switcher_before_ms"] = *before;
            state.counters["switcher_after_ms"] = *after;
            state.counters["switcher_later_ms"] = *later;
            state.counters["x_switcher_before"] = *after / *before;
            state.counters["x_switcher_later"] = *after / *later;
        } else {
            state.SkipWithError("the switcher did not open");
        }
    }
    if (!bench->quit(korvane))
        state.SkipWithError(("korvane did not quit cleanly; see " + bench->log().string()).c_str());
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    if (!benchmarkArguments(argc, argv)) return 2;
    try {
        bench = std::make_unique<Bench>();
    } catch (const std::exception& e) {
        std::cerr << "no private X server: " << e.what() << "\n";
        return 1;
    }
    benchmark::RegisterBenchmark("startupToStatusItem", startup)
        ->Arg(0)
        ->Arg(kRunning)
        ->ArgName("windows")
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("newWindows", burst)
        ->Args({kRunning, kBurst})
        ->ArgNames({"running", "opened"})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench.reset();
    return 0;
}
