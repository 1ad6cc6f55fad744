// Renumbering the regions of large layouts in reading order, which every apply of a tree layout does:
// its cost has to grow as n log n, so that a crafted layout file cannot stall the main thread. A
// benchmark, not a test: run by scripts/benchmark.
#include "layouts/LayoutTreeModel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace korvane {
namespace {

// Columns [x0, x1) and rows [y0, y1) of a grid as a balanced tree, cutting the longer side in half,
// so that no branch comes near the depth guards; ids are taken from the back of `ids`.
LayoutNode balancedGrid(int x0, int x1, int y0, int y1, std::vector<std::int64_t>& ids) {
    if (x1 - x0 == 1 && y1 - y0 == 1) {
        const std::int64_t id = ids.back();
        ids.pop_back();
        return LayoutNode::region(id);
    }
    if (x1 - x0 >= y1 - y0) {
        const int mid = (x0 + x1) / 2;
        const double ratio = static_cast<double>(mid - x0) / (x1 - x0);
        LayoutNode left = balancedGrid(x0, mid, y0, y1, ids);
        return LayoutNode::split(SplitAxis::horizontal, ratio, std::move(left),
                                 balancedGrid(mid, x1, y0, y1, ids));
    }
    const int mid = (y0 + y1) / 2;
    const double ratio = static_cast<double>(mid - y0) / (y1 - y0);
    LayoutNode top = balancedGrid(x0, x1, y0, mid, ids);
    return LayoutNode::split(SplitAxis::vertical, ratio, std::move(top), balancedGrid(x0, x1, mid, y1, ids));
}

// A square grid of range(0) regions whose ids are shuffled, so that reading order differs from id order.
void renumberRegions(benchmark::State& state) {
    const auto count = static_cast<std::int64_t>(state.range(0));
    const int side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(count))));
    std::vector<std::int64_t> ids(static_cast<std::size_t>(count));
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), std::mt19937(20240611));
    const LayoutTreeModel layout(balancedGrid(0, side, 0, side, ids), "", "layout.benchmark", "Benchmark");

    for (auto _ : state) {
        LayoutTreeModel model = layout; // shares the tree; renumbering replaces the copy's root
        benchmark::DoNotOptimize(model.normalizedRegionIDMap(Rect{0, 0, 1, 1}));
    }
    state.SetComplexityN(count);
}

BENCHMARK(renumberRegions)
    ->Arg(1 << 10)
    ->Arg(1 << 12)
    ->Arg(1 << 14)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
