// How long the global switcher takes on a real X server from the toggle to its first pixels and to its
// complete frame, as the server records them, with 10, 100 and 300 xterms: cold (the listing more than 1.2 s
// old, so rebuilt before showing) and warm (reopened at once). The floor, measured in the same run at the
// same size on the same clock, is a bare full-screen frameless window of the same monitor shown and
// painted once: what mapping and drawing a window costs at all. Each figure is given as a median and as
// its ratio to the floor's. A benchmark on the tests' fixture, run by scripts/benchmark and never by the
// test runner; its own private X server, window manager and xterms end with it.
#include "FirstFrameBenchmark.h"

#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane::x11::test {
namespace {

std::map<std::int64_t, Opening> floors; // by xterm count

void bareWindow(benchmark::State& state) {
    const Openings openings = bareWindows(state, {QRect(1920, 0, 1920, 1080)});
    floors[state.range(0)] = openings.medians();
    addRow("bare full-screen window, " + std::to_string(state.range(0)) + " xterms", openings, {});
}

void toggleToFirstFrame(benchmark::State& state, bool warm) {
    desk->grow(static_cast<int>(state.range(0)));
    if (!desk->app) desk->app = AppDelegate::create(*desk->desktop);
    Openings openings;
    std::size_t tiles = 0;
    for (auto _ : state) {
        // Cold: the listing is older than 1.2 s; warm: the switcher was open a moment ago.
        if (warm && desk->app->globalSwitcherWC()) {
            desk->app->toggleGlobalSwitcherFromHotkey();
            desk->idle(milliseconds(50));
            desk->app->toggleGlobalSwitcherFromHotkey();
        }
        desk->idle(warm ? milliseconds(100) : milliseconds(1300));
        std::string error;
        const auto opening =
            timeOpening([] { desk->app->toggleGlobalSwitcherFromHotkey(); },
                        [] { return std::vector<QWidget*>{desk->app->globalSwitcherWC()->panel()}; }, error);
        if (auto switcher = desk->app->globalSwitcherWC()) {
            tiles = switcher->dataSource.items.size();
            desk->app->toggleGlobalSwitcherFromHotkey();
        }
        if (!opening) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(opening->complete / 1000);
        openings.add(*opening);
    }
    const Opening floor = floors.count(state.range(0)) ? floors[state.range(0)] : Opening{};
    setCounters(state, openings, floor);
    state.counters["tiles"] = static_cast<double>(tiles);
    addRow(std::string("switcher ") + (warm ? "warm" : "cold") + ", " + std::to_string(state.range(0)) +
               " xterms",
           openings, floor);
}

void registerAll() {
    for (int count : {10, 100, 300}) {
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
        // Ten to a row, eleven rows on the monitor; from the 111th on they lie over the first ones again.
        [](int i) {
            return "40x10+" + std::to_string(1940 + (i % 10) * 150) + "+" +
                   std::to_string(20 + ((i / 10) % 11) * 90);
        },
        registerAll);
}
