// The x11 benchmarks' command line: Google Benchmark's flags, the figures shown as a table (they are
// counters) unless a later --benchmark_counters_tabular says otherwise, and at most one option of the
// benchmark's own.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::x11::test {

// Initialises Google Benchmark with the arguments and takes `--<own>=N` out of what it leaves (no option
// when `own` is empty). The option's value, `fallback` when it is not given; nothing when an argument is
// unknown or the value is not above 0, for the caller to end with its usage.
inline std::optional<int> benchmarkArguments(int argc, char** argv, std::string_view own = {},
                                             int fallback = 1) {
    static char tabular[] = "--benchmark_counters_tabular=true";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, tabular);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    const std::string prefix = "--" + std::string(own) + "=";
    int value = fallback;
    std::size_t left = 1;
    for (std::size_t i = 1; i < static_cast<std::size_t>(count); ++i) {
        const std::string_view arg = args[i];
        if (!own.empty() && arg.starts_with(prefix))
            value = std::atoi(arg.substr(prefix.size()).data());
        else
            args[left++] = args[i];
    }
    if (benchmark::ReportUnrecognizedArguments(static_cast<int>(left), args.data()) || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace korvane::x11::test
