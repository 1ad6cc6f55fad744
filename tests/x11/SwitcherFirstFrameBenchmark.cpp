// How long the global switcher takes on a real X server from the toggle to its first painted frame, with
// 50 and 100 xterms: cold (the listing more than 1.2 s old, so rebuilt before showing) and warm (reopened
// at once). The floor, measured in the same run at the same size, is a bare full-screen frameless window
// of the same monitor shown and painted once: what mapping and drawing a window costs at all. Each figure
// is given as a median and as its ratio to the floor's. A benchmark on the tests' fixture, run by
// scripts/benchmark and never by the test runner; its own private X server, window manager and xterms
// end with it.
#include "FirstFrameBenchmark.h"

#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <chrono>
#include <map>
#include <memory>
#include <vector>

namespace korvane::x11::test {
namespace {

std::map<std::int64_t, double> floorMedians; // ms, by xterm count

void bareWindow(benchmark::State& state) {
    floorMedians[state.range(0)] = bareWindowMedian(state);
}

void toggleToFirstFrame(benchmark::State& state, bool warm) {
    desk->grow(static_cast<int>(state.range(0)));
    if (!desk->app) desk->app = AppDelegate::create(*desk->desktop);
    std::vector<double> ms;
    std::size_t tiles = 0;
    for (auto _ : state) {
        // Cold: the listing is older than 1.2 s; warm: the switcher was open a moment ago.
        if (warm && desk->app->globalSwitcherWC()) {
            desk->app->toggleGlobalSwitcherFromHotkey();
            desk->desktop->runUntil([] { return false; }, milliseconds(50));
            desk->app->toggleGlobalSwitcherFromHotkey();
        }
        desk->desktop->runUntil([] { return false; }, warm ? milliseconds(100) : milliseconds(1300));
        std::unique_ptr<PaintClock> clock;
        if (auto switcher = desk->app->globalSwitcherWC())
            clock = std::make_unique<PaintClock>(switcher->panel());
        const auto start = Clock::now();
        desk->app->toggleGlobalSwitcherFromHotkey();
        if (!clock) clock = std::make_unique<PaintClock>(desk->app->globalSwitcherWC()->panel());
        const auto end = desk->firstFrame(*clock);
        const double elapsed =
            std::chrono::duration<double, std::milli>(end.value_or(Clock::now()) - start).count();
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
        tiles = desk->app->globalSwitcherWC()->dataSource.items.size();
        desk->app->toggleGlobalSwitcherFromHotkey();
    }
    state.counters["median_ms"] = median(ms);
    state.counters["tiles"] = static_cast<double>(tiles);
    if (auto floor = floorMedians.find(state.range(0)); floor != floorMedians.end() && floor->second > 0)
        state.counters["x_bare_window"] = median(ms) / floor->second;
}

void registerAll() {
    for (int count : {50, 100}) {
        registerFirstFrame("bareWindow", bareWindow, count);
        registerFirstFrame(
            "toggleToFirstFrame/cold", [](benchmark::State& s) { toggleToFirstFrame(s, false); }, count);
        registerFirstFrame(
            "toggleToFirstFrame/warm", [](benchmark::State& s) { toggleToFirstFrame(s, true); }, count);
    }
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    return runFirstFrameBenchmarks(
        argc, argv,
        [](int i) {
            return "40x10+" + std::to_string(1940 + (i % 10) * 150) + "+" +
                   std::to_string(20 + (i / 10) * 90);
        },
        registerAll);
}
