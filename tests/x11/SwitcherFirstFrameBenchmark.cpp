// How long the global switcher takes on a real X server from the toggle to its first painted frame, with
// 50 and 100 xterms: cold (the listing more than 1.2 s old, so rebuilt before showing) and warm (reopened
// at once). The floor, measured in the same run at the same size, is a bare full-screen frameless window
// of the same monitor shown and painted once: what mapping and drawing a window costs at all. Each figure
// is given as a median and as its ratio to the floor's. A benchmark on the tests' fixture, run by
// scripts/benchmark and never by the test runner; its own private X server, window manager and xterms
// end with it.
#include "X11TestSession.h"

#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"
#include "shell/AppDelegate.h"
#include "support/TempFolder.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

namespace korvane::x11::test {
namespace {

using Clock = std::chrono::steady_clock;

// The paints of one window and its children: the first frame is the first burst of them, paints that
// follow each other within 2 ms.
class PaintClock final : public QObject {
  public:
    explicit PaintClock(QWidget* top) : top_(top) { qApp->installEventFilter(this); }
    ~PaintClock() override { qApp->removeEventFilter(this); }
    void reset() { first_.reset(), last_.reset(); }
    std::optional<Clock::time_point> frameEnd() const {
        if (!last_ || Clock::now() - *last_ < std::chrono::milliseconds(20)) return std::nullopt;
        return last_;
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || widget->window() != top_) return false;
        const auto now = Clock::now();
        if (!first_) first_ = now;
        if (!last_ || now - *last_ < std::chrono::milliseconds(2)) last_ = now;
        return false;
    }

  private:
    QWidget* top_;
    std::optional<Clock::time_point> first_, last_;
};

struct Desk {
    explicit Desk() : session(std::make_unique<X11TestSession>()) {}
    ~Desk() {
        app.reset();
        floorWindow.reset();
        platform::Platform::setCurrent(nullptr);
        desktop.reset();
        for (const auto& x : xterms)
            session->stop(x);
        session.reset();
    }
    void grow(int count) {
        while (static_cast<int>(xterms.size()) < count) {
            const int i = static_cast<int>(xterms.size());
            const std::string geometry =
                "40x10+" + std::to_string(1940 + (i % 10) * 150) + "+" + std::to_string(20 + (i / 10) * 90);
            xterms.push_back(session->start(
                {"xterm", "-title", "xterm " + std::to_string(i), "-geometry", geometry, "-e", "cat"}));
        }
        desktop->runUntil([&] { return desktop->workspace().runningApplications().size() >= xterms.size(); },
                          seconds(60));
        desktop->runUntil([] { return false; }, milliseconds(500));
    }
    // Runs the loop until the window's first frame is painted; that instant.
    std::optional<Clock::time_point> firstFrame(PaintClock& clock) {
        std::optional<Clock::time_point> end;
        desktop->runUntil([&] { return (end = clock.frameEnd()).has_value(); }, seconds(10));
        return end;
    }

    std::unique_ptr<X11TestSession> session;
    std::unique_ptr<X11Desktop> desktop;
    std::shared_ptr<AppDelegate> app;
    std::unique_ptr<QWidget> floorWindow;
    std::vector<pid_t> xterms;
};

std::unique_ptr<Desk> desk;
std::map<std::int64_t, double> floorMedians; // ms, by xterm count

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class FloorWindow final : public QWidget {
  public:
    FloorWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {}

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(26, 26, 30)); }
};

void bareWindow(benchmark::State& state) {
    desk->grow(static_cast<int>(state.range(0)));
    if (!desk->floorWindow) desk->floorWindow = std::make_unique<FloorWindow>();
    QWidget* window = desk->floorWindow.get();
    window->setGeometry(1920, 0, 1920, 1080);
    PaintClock clock(window);
    std::vector<double> ms;
    for (auto _ : state) {
        clock.reset();
        const auto start = Clock::now();
        window->show();
        const auto end = desk->firstFrame(clock);
        const double elapsed =
            std::chrono::duration<double, std::milli>(end.value_or(Clock::now()) - start).count();
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
        window->hide();
        desk->desktop->runUntil([] { return false; }, milliseconds(100));
    }
    floorMedians[state.range(0)] = median(ms);
    state.counters["median_ms"] = median(ms);
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
        benchmark::RegisterBenchmark("bareWindow", bareWindow)
            ->Arg(count)
            ->UseManualTime()
            ->Iterations(15)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("toggleToFirstFrame/cold",
                                     [](benchmark::State& s) { toggleToFirstFrame(s, false); })
            ->Arg(count)
            ->UseManualTime()
            ->Iterations(15)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("toggleToFirstFrame/warm",
                                     [](benchmark::State& s) { toggleToFirstFrame(s, true); })
            ->Arg(count)
            ->UseManualTime()
            ->Iterations(15)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    std::vector<char*> args(argv, argv + argc);
    char tabular[] = "--benchmark_counters_tabular=true";
    args.insert(args.begin() + 1, tabular);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    // The session keeps the environment it found for the server and the window manager; the desktop's
    // own folders are pointed elsewhere after it.
    try {
        desk = std::make_unique<Desk>();
    } catch (const std::exception& e) {
        std::cerr << "no private X server: " << e.what() << "\n";
        return 1;
    }
    korvane::testing::TempFolder folder;
    ::setenv("XDG_DATA_HOME", (folder.path() / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder.path() / "no-data").c_str(), 1);
    ::setenv("KORVANE_HOME", (folder.path() / "support").c_str(), 1);
    ::setenv("DISPLAY", desk->session->display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        std::string error;
        desk->desktop = korvane::x11::X11Desktop::connect(desk->session->display(), error);
        if (!desk->desktop) {
            std::cerr << error << "\n";
            status = 1;
        } else {
            korvane::platform::Platform::setCurrent(desk->desktop.get());
            registerAll();
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
        desk->app.reset();
        desk->floorWindow.reset();
        korvane::platform::Platform::setCurrent(nullptr);
        desk->desktop.reset();
    }
    desk.reset();
    return status;
}
