// Reading a stored file of many small objects, the form a damaged or hostile file takes most cheaply: a
// flat list of `{}` under a key no reader knows, 1, 4 and 16 MiB. Each size is given as a ratio to the
// floor measured in the same run at the same size, a plain parse of the same text, which no reader can
// avoid; the nesting limit has to cost next to nothing on top of it, at every size. A benchmark, not a
// test: run by scripts/benchmark.
#include "platform/StoredJSON.h"

#include "FlatJSONList.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>

namespace korvane {
namespace {

std::map<std::int64_t, double> floors; // seconds per plain parse, by size in MiB

template <class Read> double secondsPerRead(benchmark::State& state, const std::string& text, Read read) {
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(read(text));
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    return total / static_cast<double>(state.iterations());
}

void plainParse(benchmark::State& state) {
    const std::string text = test::flatJSONList(static_cast<std::size_t>(state.range(0)) << 20);
    floors[state.range(0)] =
        secondsPerRead(state, text, [](const std::string& t) { return nlohmann::json::parse(t).size(); });
}

void storedRead(benchmark::State& state) {
    const std::string text = test::flatJSONList(static_cast<std::size_t>(state.range(0)) << 20);
    const double seconds =
        secondsPerRead(state, text, [](const std::string& t) { return parseStoredJSON(t).size(); });
    if (auto floor = floors.find(state.range(0)); floor != floors.end())
        state.counters["x_plain_parse"] = seconds / floor->second;
}

BENCHMARK(plainParse)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(storedRead)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
