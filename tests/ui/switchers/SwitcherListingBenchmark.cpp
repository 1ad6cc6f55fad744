// What opening the switcher costs before anything is drawn, on the simulated desktop: the snapshot of
// the applications and the window list through the pipeline, the hints and the grid layout, for 10, 100
// and 1,000 windows (five to an application). Each is given as a ratio to the floor measured in the same
// run at the same count: reading the window list alone, which no listing can avoid. The cost must grow
// linearly with the windows. A benchmark, not a test: run by scripts/benchmark.
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "platform/sim/SimDesktop.h"
#include "ui/switchers/SwitcherDataSource.h"
#include "ui/switchers/SwitcherGrid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

namespace korvane {
namespace {

struct Desk {
    explicit Desk(int windows) {
        desktop->screens().addDisplay({.frame = Rect{0, 0, 2560, 1440}, .uuid = "D1"});
        desktop->windowServer().setShowsSystemEntries(false);
        pid_t pid = 0;
        for (int i = 0; i < windows; ++i) {
            if (i % 5 == 0)
                pid = desktop->workspace().launch({.bundleID = "com.example.app" + std::to_string(i / 5),
                                                   .name = "App " + std::to_string(i / 5)});
            desktop->windows().open(pid, {.frame = Rect{double(i % 40) * 20, double(i % 30) * 20, 900, 700},
                                          .title = "Document " + std::to_string(i)});
        }
        desktop->loop().runUntilIdle();
    }
    sim::ScopedSimDesktop desktop;
    std::shared_ptr<WMController> controller = std::make_shared<WMController>(
        std::make_shared<MultiDisplayState>(), std::make_shared<AXUtil>(*desktop));
    SwitcherDataSource source{*desktop, nullptr, controller};
};

std::map<std::int64_t, double> floors; // seconds per read of the list, by window count

double secondsPerIteration(benchmark::State& state, double total) {
    return total / static_cast<double>(state.iterations());
}

void windowListRead(benchmark::State& state) {
    Desk desk(static_cast<int>(state.range(0)));
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(desk.desktop->windowServer().copyWindowInfo(
            platform::kOnScreenOnly | platform::kExcludeDesktopElements));
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    floors[state.range(0)] = secondsPerIteration(state, total);
    state.SetComplexityN(state.range(0));
}

void listingHintsAndGrid(benchmark::State& state) {
    Desk desk(static_cast<int>(state.range(0)));
    const Size area{2560, 1440};
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        desk.source.reload(Rect{0, 0, area.width, area.height});
        const int count = static_cast<int>(desk.source.items.size());
        const GridMetrics metrics = switchergrid::gridMetrics(count, area);
        for (int i = 0; i < count; ++i)
            benchmark::DoNotOptimize(switchergrid::tileFrame(metrics, i));
        benchmark::DoNotOptimize(switchergrid::contentSize(metrics, area));
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["tiles"] = static_cast<double>(desk.source.items.size());
    if (auto floor = floors.find(state.range(0)); floor != floors.end())
        state.counters["x_list_read"] = secondsPerIteration(state, total) / floor->second;
    state.SetComplexityN(state.range(0));
}

BENCHMARK(windowListRead)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
BENCHMARK(listingHintsAndGrid)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
