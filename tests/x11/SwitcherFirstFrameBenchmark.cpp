// How long the global switcher takes on a real X server from the toggle to its first pixels and to its
// complete frame, as the server records them, with 10, 100 and 300 xterms: its first opening; openings
// soon after the last, cold (the listing more than 1.2 s old, so rebuilt before showing) and warm
// (reopened at once), which find the drawing buffer the panel kept; and cold openings after a rest, the
// buffer let go as the program does once the panel has been hidden a while. The floors, measured in the
// same run at the same size on the same clock, are a bare full-screen frameless window of the same
// monitor shown and painted once, keeping its buffer from its last showing (for the openings soon after)
// or taking it from fresh memory (for the first opening and those after a rest): what mapping and drawing
// a window costs at all. Each figure is given as a median and as its ratio to its floor's. A benchmark on
// the tests' fixture, run by scripts/benchmark and never by the test runner; its own private X server,
// window manager and xterms end with it.
#include "FirstFrameBenchmark.h"

#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane::x11::test {
namespace {

std::map<std::int64_t, Opening> keptFloors, freshFloors; // by xterm count

void bareWindow(benchmark::State& state, Buffers buffers) {
    const Openings openings = bareWindows(state, {QRect(1920, 0, 1920, 1080)}, buffers);
    (buffers == Buffers::kept ? keptFloors : freshFloors)[state.range(0)] = openings.medians();
    addRow(std::string("bare full-screen window, ") + (buffers == Buffers::kept ? "kept" : "fresh") + ", " +
               std::to_string(state.range(0)) + " xterms",
           openings, {});
}

enum class When { first, cold, warm, afterRest };

void toggleToFirstFrame(benchmark::State& state, When when) {
    desk->grow(static_cast<int>(state.range(0)));
    if (!desk->app) desk->app = AppDelegate::create(*desk->desktop);
    if (when == When::first && desk->app->globalSwitcherWC()) {
        state.SkipWithError("the switcher was opened before");
        return;
    }
    const auto toggle = [] { desk->app->toggleGlobalSwitcherFromHotkey(); };
    // Opened and closed once before: every opening soon after the last finds what the last kept.
    if ((when == When::cold || when == When::warm) && desk->app->globalSwitcherWC()) {
        toggle();
        desk->idle(milliseconds(300));
        toggle();
    }
    Openings openings;
    std::size_t tiles = 0;
    for (auto _ : state) {
        // Cold: the listing is older than 1.2 s; warm: the switcher was open a moment ago.
        if (when == When::warm) {
            toggle();
            desk->idle(milliseconds(50));
            toggle();
        }
        desk->idle(when == When::warm ? milliseconds(100) : milliseconds(1300));
        if (when == When::afterRest) rest();
        std::string error;
        const auto opening = timeOpening(
            toggle, [] { return std::vector<QWidget*>{desk->app->globalSwitcherWC()->panel()}; }, error);
        if (auto switcher = desk->app->globalSwitcherWC()) {
            tiles = switcher->dataSource.items.size();
            toggle();
        }
        if (!opening) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(opening->complete / 1000);
        openings.add(*opening);
    }
    const bool kept = when == When::cold || when == When::warm;
    auto& floors = kept ? keptFloors : freshFloors;
    const Opening floor = floors.count(state.range(0)) ? floors[state.range(0)] : Opening{};
    setCounters(state, openings, floor);
    state.counters["tiles"] = static_cast<double>(tiles);
    const char* name = when == When::first  ? "first opening"
                       : when == When::cold ? "cold, soon after"
                       : when == When::warm ? "warm, soon after"
                                            : "cold, after a rest";
    addRow(std::string("switcher ") + name + ", " + std::to_string(state.range(0)) + " xterms", openings,
           floor);
}

void registerAll() {
    for (int count : {10, 100, 300}) {
        registerFirstFrame(
            "bareWindow/kept", [](benchmark::State& s) { bareWindow(s, Buffers::kept); }, count);
        registerFirstFrame(
            "bareWindow/fresh", [](benchmark::State& s) { bareWindow(s, Buffers::fresh); }, count);
        if (count == 10)
            registerFirstFrame(
                "toggleToFirstFrame/first", [](benchmark::State& s) { toggleToFirstFrame(s, When::first); },
                count, 1);
        registerFirstFrame(
            "toggleToFirstFrame/cold", [](benchmark::State& s) { toggleToFirstFrame(s, When::cold); }, count);
        registerFirstFrame(
            "toggleToFirstFrame/warm", [](benchmark::State& s) { toggleToFirstFrame(s, When::warm); }, count);
        registerFirstFrame(
            "toggleToFirstFrame/afterRest",
            [](benchmark::State& s) { toggleToFirstFrame(s, When::afterRest); }, count);
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
