// What Korvane costs while nothing happens, as it runs all day: the built program on a private X server
// with openbox and 20 xterms, left alone for a minute once it has started and settled. Reported: its
// processor time and share over that minute, how often its threads woke up (context switches), and its
// resident memory; beside them the same figures of one of the idle xterms over the same minute, the floor
// of a client that does nothing. Targets: no wake-ups, about 0 % processor, under 60 MB resident. A
// benchmark on the tests' fixture, run by scripts/benchmark and never by the test runner.
#include "BenchmarkArguments.h"
#include "X11TestSession.h"

#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
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

int idleSeconds = 60;
constexpr int kWindows = 20;

// What the kernel counts for a process, summed over its threads.
struct Usage {
    double cpuSeconds = 0;
    long long contextSwitches = 0; // voluntary and involuntary: each is a wake-up of a thread
    double residentMB = 0;
};

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

long long statusField(const std::string& status, std::string_view name) {
    const auto at = status.find(std::string(name) + ":");
    return at == std::string::npos ? 0 : std::atoll(status.c_str() + at + name.size() + 1);
}

Usage usageOf(pid_t pid) {
    Usage usage;
    const fs::path proc = "/proc/" + std::to_string(pid);
    // utime and stime are the 14th and 15th fields, after the parenthesised command name.
    const std::string stat = fileText(proc / "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    long long utime = 0, stime = 0;
    fields >> utime >> stime;
    usage.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(proc / "task", ec)) {
        const std::string status = fileText(task.path() / "status");
        usage.contextSwitches += statusField(status, "voluntary_ctxt_switches") +
                                 statusField(status, "nonvoluntary_ctxt_switches");
    }
    usage.residentMB = static_cast<double>(statusField(fileText(proc / "status"), "VmRSS")) / 1024.0;
    return usage;
}

bool logged(const fs::path& log, std::string_view line) {
    return fileText(log).find(line) != std::string::npos;
}

void idleProgram(benchmark::State& state) {
    for (auto _ : state) {
        X11TestSession session;
        testing::TempFolder folder;
        std::vector<pid_t> xterms;
        for (int i = 0; i < kWindows; ++i) {
            const std::string geometry = "60x15+" + std::to_string(40 + 90 * (i % 10) + (i < 10 ? 1920 : 0)) +
                                         "+" + std::to_string(40 + 30 * (i % 7));
            xterms.push_back(session.start(
                {"xterm", "-title", "Idle " + std::to_string(i + 1), "-geometry", geometry, "-e", "cat"}));
        }
        if (!X11TestSession::waitFor([&] { return session.clientList().size() >= kWindows; }, seconds(30))) {
            state.SkipWithError("the xterms did not come up");
            return;
        }
        const fs::path log = folder.path() / "korvane.log";
        const pid_t korvane = session.start(
            {KORVANE_BINARY}, {"KORVANE_HOME=" + (folder.path() / "home").string()}, log.string());
        // Settled: the services started, the first display pass and the launch restore of the first
        // scene are done, and a moment more for whatever they left behind.
        const bool settled = X11TestSession::waitFor(
            [&] {
                return logged(log, "[DisplayChange] handle end") && logged(log, "Scene Restore complete");
            },
            seconds(30));
        if (!settled) {
            state.SkipWithError(("korvane did not settle; see " + log.string()).c_str());
            ::kill(korvane, SIGTERM);
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));

        const Usage before = usageOf(korvane), floorBefore = usageOf(xterms.front());
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const Usage after = usageOf(korvane), floorAfter = usageOf(xterms.front());
        state.SetIterationTime(idleSeconds);

        const double cpu = after.cpuSeconds - before.cpuSeconds;
        const double wakeups = static_cast<double>(after.contextSwitches - before.contextSwitches);
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["cpu_percent"] = 100.0 * cpu / idleSeconds;
        state.counters["wakeups"] = wakeups;
        state.counters["wakeups_per_s"] = wakeups / idleSeconds;
        state.counters["rss_MB"] = after.residentMB;
        state.counters["xterm_cpu_ms"] = (floorAfter.cpuSeconds - floorBefore.cpuSeconds) * 1000.0;
        state.counters["xterm_wakeups"] =
            static_cast<double>(floorAfter.contextSwitches - floorBefore.contextSwitches);
        state.counters["xterm_rss_MB"] = floorAfter.residentMB;

        ::kill(korvane, SIGTERM);
        const auto status = session.waitForExit(korvane, seconds(10));
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
            state.SkipWithError(("korvane did not quit cleanly; see " + log.string()).c_str());
    }
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    const auto seconds = korvane::x11::test::benchmarkArguments(argc, argv, "idle-seconds", 60);
    if (!seconds) {
        std::cerr << "usage: " << argv[0] << " [--idle-seconds=N] [Google Benchmark flags]\n"
                  << "  --idle-seconds=N  how long the program is left alone (60 by default)\n";
        return 2;
    }
    korvane::x11::test::idleSeconds = *seconds;

    benchmark::RegisterBenchmark("idleProgram", korvane::x11::test::idleProgram)
        ->Arg(korvane::x11::test::kWindows)
        ->ArgName("windows")
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
