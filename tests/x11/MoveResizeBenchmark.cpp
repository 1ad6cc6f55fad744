// How long moving a window into a zone and reading its frame back takes on a real X server with a real
// window manager: one xterm, moved by the accessibility wrapper between zones of the two monitors. Each
// repetition times one move, so the aggregates are the median and the 95th percentile of single moves.
#include "X11TestSession.h"

#include "core/AXUtil.h"
#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::x11::test {
namespace {

struct Bench {
    std::unique_ptr<X11Desktop> desktop;
    std::shared_ptr<AXUtil> ax;
    platform::AXElement window;
    std::vector<Rect> targets;
    std::size_t next = 0;
};

Bench* gBench = nullptr;

double percentile95(const std::vector<double>& v) {
    if (v.empty()) return 0;
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

void moveResizeAndReadBack(benchmark::State& state) {
    Bench& b = *gBench;
    for (auto _ : state) {
        const Rect& target = b.targets[b.next++ % b.targets.size()];
        b.ax->moveResize(b.window, target);
        const auto frame = b.ax->frame(b.window);
        benchmark::DoNotOptimize(frame);
        // A move that did not arrive would time the wait limit, not the move.
        if (!frame || frame->minX() != target.minX()) {
            state.SkipWithError("the window did not reach its zone");
            break;
        }
    }
}

BENCHMARK(moveResizeAndReadBack)
    ->Iterations(1)
    ->Repetitions(200)
    ->ComputeStatistics("p95", percentile95)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The left half and the middle of the right half of each monitor's visible frame, ordered so that
// every move goes to the other monitor and changes the size.
std::vector<Rect> zoneTargets(platform::Screens& screens) {
    std::vector<Rect> left, right;
    for (const auto& s : screens.screens()) {
        const Rect& v = s.visibleFrame;
        const double half = std::floor(v.width() / 2);
        left.push_back(Rect{v.minX(), v.minY(), half, v.height()});
        right.push_back(Rect{v.minX() + half, v.minY() + std::floor(v.height() / 4), v.width() - half,
                             std::floor(v.height() / 2)});
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

int run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // The desktop keeps its defaults in the application-support folder: a fresh one, not the user's.
    char pattern[] = "/tmp/korvane-x11-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string home = pattern;
    ::setenv("KORVANE_HOME", home.c_str(), 1);

    int status = 0;
    try {
        X11TestSession session;
        Bench bench;
        std::string error;
        bench.desktop = X11Desktop::connect(session.display(), error);
        if (!bench.desktop) throw std::runtime_error(error);
        platform::Platform::setCurrent(bench.desktop.get());
        bench.ax = std::make_shared<AXUtil>(*bench.desktop);
        const auto x = session.startXterm("Benchmark", "60x20+2000+100");
        bench.window = platform::AXElement{platform::AXElement::Kind::window, x.pid, x.window};
        bench.targets = zoneTargets(bench.desktop->screens());
        // Let the window manager finish with the new window before timing starts.
        bench.ax->moveResize(bench.window, bench.targets.back());

        gBench = &bench;
        benchmark::RunSpecifiedBenchmarks();
        gBench = nullptr;

        bench.ax.reset();
        platform::Platform::setCurrent(nullptr);
        session.closeXterm(x);
        bench.desktop.reset();
    } catch (const std::exception& e) {
        if (platform::Platform::hasCurrent()) platform::Platform::setCurrent(nullptr);
        std::cerr << "benchmark: " << e.what() << "\n";
        status = 1;
    }
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    return korvane::x11::test::run(argc, argv);
}
