// What Korvane costs while nothing happens, as it runs all day: the built program on a private X server
// with openbox and 20 xterms, left alone for a minute once it has started and settled. Reported: its
// processor time and share over that minute, how often its threads woke up (context switches, thread by
// thread, a thread that ended during the minute with what it did before it ended), and its resident memory
// at rest; then its resident memory after each of three rounds in which every window it shows is opened
// and closed once (the global switcher, the scene card switcher, "Save Scene", "Preferences", the scene
// manager and the scene editor from it): soon after the round, while the hidden windows keep their
// buffers for an opening soon after, and at rest again a minute after the round, against the 45 MB the
// program is to stay under; beside them the same figures of one of the idle xterms over the same minute,
// the floor of a client that does nothing. Targets: no wake-ups, about 0 % processor, under 45 MB resident
// at rest, no growth from round to round. A benchmark on the tests' fixture, run by scripts/benchmark and
// never by the test runner.
#include "BenchmarkArguments.h"
#include "SceneEditorOnX11.h"

#include "ui/overlays/MemoryAtRest.h"

#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>

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

constexpr double kBoundMB = 45;
constexpr int kRounds = 3;

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

double processorSeconds(pid_t pid) {
    // utime and stime are the 14th and 15th fields, after the parenthesised command name; the kernel
    // keeps in them what ended threads used.
    const std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    long long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double residentMB(pid_t pid) {
    return static_cast<double>(statusField(fileText("/proc/" + std::to_string(pid) + "/status"), "VmRSS")) /
           1024.0;
}

// Each thread's wake-ups (voluntary and involuntary context switches) over a span. The kernel keeps them
// per thread and drops a thread's record as it ends, so the threads are read every few milliseconds: a
// thread that ends counts what it had done at its last reading, one that starts counts from nothing.
class WakeUpCounter {
  public:
    explicit WakeUpCounter(pid_t pid) : task_("/proc/" + std::to_string(pid) + "/task") { read(true); }
    void read(bool atStart = false) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(task_, ec)) {
            const std::string status = fileText(entry.path() / "status");
            if (status.empty()) continue; // ended since the folder was listed
            const long long switches = statusField(status, "voluntary_ctxt_switches") +
                                       statusField(status, "nonvoluntary_ctxt_switches");
            Thread& thread = threads_[entry.path().filename().string()];
            if (thread.name.empty()) {
                const auto at = status.find("Name:\t");
                thread.name = status.substr(at + 6, status.find('\n', at) - at - 6);
                thread.first = atStart ? switches : 0;
            }
            thread.last = switches;
        }
    }
    long long total() const {
        long long sum = 0;
        for (const auto& [id, thread] : threads_)
            sum += thread.last - thread.first;
        return sum;
    }
    // "name:count" for each thread that woke up, the busiest first.
    std::string perThread() const {
        std::vector<std::pair<long long, std::string>> woke;
        for (const auto& [id, thread] : threads_)
            if (thread.last > thread.first) woke.emplace_back(thread.last - thread.first, thread.name);
        std::sort(woke.rbegin(), woke.rend());
        std::string text;
        for (const auto& [count, name] : woke)
            text += (text.empty() ? "" : " ") + name + ":" + std::to_string(count);
        return text.empty() ? "none" : text;
    }

  private:
    struct Thread {
        std::string name;
        long long first = 0, last = 0;
    };
    fs::path task_;
    std::map<std::string, Thread> threads_;
};

// The test fixture's ways to the program's windows, as a user takes them.
class Desktop : public SceneEditorOnX11Test {
  public:
    void TestBody() override {}
    using ProgramOnX11Test::count;
    using ProgramOnX11Test::log;
    using ProgramOnX11Test::logged;
    using ProgramOnX11Test::session;
    using ProgramOnX11Test::startKorvane;
    using ProgramOnX11Test::startSession;

    // Each window opened and closed once; which one did not open or close, else empty.
    std::string openAndCloseEach(pid_t korvane) {
        // A pair, not a structured binding: clang 14 does not let a lambda capture a binding.
        for (const auto& opening : std::vector<std::pair<std::vector<std::uint32_t>, std::string>>{
                 {{XK_Control_L, XK_Alt_L, XK_a}, "Global Switcher"},
                 {{XK_Control_L, XK_Alt_L, XK_c}, "Scene Switcher"},
                 {{XK_Control_L, XK_Alt_L, XK_s}, "Save Scene"}}) {
            if (!comesAndGoes(
                    opening.second, [&] { press(opening.first); }, [&] { press({XK_Escape}); }))
                return opening.second;
        }
        // "Preferences..." is the status menu's last row but one, "Scene Manager..." the third from the
        // bottom; closed by the window manager's close button.
        if (!comesAndGoes(
                "Preferences", [&] { chooseFromMenu(korvane, 2); }, [&] { closeByHand("Preferences"); }))
            return "Preferences";
        std::optional<xcb_window_t> manager;
        if (!comesAndGoes(
                kManagerTitle,
                [&] {
                    chooseFromMenu(korvane, 3);
                    X11TestSession::waitFor(
                        [&] { return (manager = session->viewableWindowTitled(kManagerTitle)).has_value(); },
                        seconds(5));
                },
                [&] {
                    if (manager) {
                        const bool opened = clickEditGridUntil(*manager, [&] {
                            return session->viewableWindowTitled(kEditorTitle).has_value();
                        });
                        if (opened)
                            X11TestSession::waitFor(
                                [&] {
                                    press({XK_Escape});
                                    return X11TestSession::waitFor(
                                        [&] { return !session->viewableWindowTitled(kEditorTitle); },
                                        seconds(3));
                                },
                                seconds(15));
                    }
                    closeByHand(kManagerTitle);
                }))
            return kManagerTitle;
        return {};
    }

  private:
    bool comesAndGoes(const std::string& title, const std::function<void()>& open,
                      const std::function<void()>& close) {
        if (!X11TestSession::waitFor(
                [&] {
                    open();
                    return X11TestSession::waitFor(
                        [&] { return session->viewableWindowTitled(title).has_value(); }, seconds(5));
                },
                seconds(30)))
            return false;
        return X11TestSession::waitFor(
            [&] {
                close();
                return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(title); },
                                               seconds(3));
            },
            seconds(30));
    }
    void chooseFromMenu(pid_t korvane, int rowsFromBottom) {
        if (!openTrayMenu(korvane)) return;
        X11TestSession::waitFor([] { return false; }, milliseconds(300));
        for (int i = 0; i < rowsFromBottom; ++i)
            session->pressKeys({session->keycodeOf(XK_Up)});
        session->pressKeys({session->keycodeOf(XK_Return)});
    }
    void closeByHand(const std::string& title) {
        if (const auto window = session->viewableWindowTitled(title)) {
            const Point button = closeButtonOf(*window);
            clickAt(static_cast<int>(button.x), static_cast<int>(button.y));
        }
    }
};

void idleProgram(benchmark::State& state) {
    for (auto _ : state) {
        Desktop desktop;
        desktop.startSession(true);
        X11TestSession& session = *desktop.session;
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
        const pid_t korvane = desktop.startKorvane();
        const std::string log = desktop.log().string();
        // Settled: the services started, the first display pass and the launch restore of the first
        // scene are done, the editor's panels made, and a moment more for whatever they left behind.
        const bool settled = X11TestSession::waitFor(
            [&] {
                return desktop.logged("[DisplayChange] handle end") &&
                       desktop.logged("Scene Restore complete") &&
                       desktop.logged("Scene Editor panels prepared");
            },
            seconds(30));
        if (!settled) {
            state.SkipWithError(("korvane did not settle; see " + log).c_str());
            ::kill(korvane, SIGTERM);
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));

        const double cpuBefore = processorSeconds(korvane), floorCpuBefore = processorSeconds(xterms.front());
        WakeUpCounter wakeups(korvane), floorWakeups(xterms.front());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(idleSeconds);
        while (std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            wakeups.read();
        }
        floorWakeups.read();
        const double cpu = processorSeconds(korvane) - cpuBefore;
        const double atRest = residentMB(korvane);
        state.SetIterationTime(idleSeconds);

        // After a round the program is left alone as at rest: the idle span, and never less than the time
        // its hidden windows keep their buffers, with some to spare.
        const auto rest =
            std::max(std::chrono::seconds(idleSeconds), kKeptWhileHidden + std::chrono::seconds(10));
        std::vector<double> soonAfterRounds, afterRounds;
        for (int round = 0; round < kRounds; ++round) {
            const std::string failed = desktop.openAndCloseEach(korvane);
            if (!failed.empty()) {
                state.SkipWithError(("\"" + failed + "\" did not open or close; see " + log).c_str());
                break;
            }
            soonAfterRounds.push_back(residentMB(korvane));
            std::this_thread::sleep_for(rest);
            afterRounds.push_back(residentMB(korvane));
        }

        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["cpu_percent"] = 100.0 * cpu / idleSeconds;
        state.counters["wakeups"] = static_cast<double>(wakeups.total());
        state.counters["wakeups_per_s"] = static_cast<double>(wakeups.total()) / idleSeconds;
        state.counters["rss_MB"] = atRest;
        for (std::size_t i = 0; i < afterRounds.size(); ++i) {
            state.counters["rss_round" + std::to_string(i + 1) + "_soon_MB"] = soonAfterRounds[i];
            state.counters["rss_round" + std::to_string(i + 1) + "_MB"] = afterRounds[i];
        }
        state.counters["xterm_cpu_ms"] = (processorSeconds(xterms.front()) - floorCpuBefore) * 1000.0;
        state.counters["xterm_wakeups"] = static_cast<double>(floorWakeups.total());
        state.counters["xterm_rss_MB"] = residentMB(xterms.front());
        std::printf("wake-ups by thread over the minute: %s\n", wakeups.perThread().c_str());
        const double largest = std::max(
            atRest, afterRounds.empty() ? 0 : *std::max_element(afterRounds.begin(), afterRounds.end()));
        std::printf("resident at rest %.1f MB; soon after each round of opening and closing every window",
                    atRest);
        for (double mb : soonAfterRounds)
            std::printf(" %.1f", mb);
        std::printf(" MB; at rest %lld s after each", static_cast<long long>(rest.count()));
        for (double mb : afterRounds)
            std::printf(" %.1f", mb);
        std::printf(" MB: %s the %.0f MB bound\n", largest <= kBoundMB ? "within" : "OVER", kBoundMB);

        ::kill(korvane, SIGTERM);
        const auto status = session.waitForExit(korvane, seconds(10));
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
            state.SkipWithError(("korvane did not quit cleanly; see " + log).c_str());
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
