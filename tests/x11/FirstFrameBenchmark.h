// The harness of the first-frame benchmarks on a real X server: a private server with its window manager
// and xterms, the program's desktop over it, a clock of a window's first painted frame, and the floor every
// figure is set against.
#pragma once

#include "X11TestSession.h"

#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"
#include "shell/AppDelegate.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::x11::test {

using Clock = std::chrono::steady_clock;

// The paints of one window and its children: the first frame is the first burst of them, paints that
// follow each other within 2 ms.
class PaintClock final : public QObject {
  public:
    explicit PaintClock(QWidget* top) : top_(top) { qApp->installEventFilter(this); }
    ~PaintClock() override { qApp->removeEventFilter(this); }
    void reset() { last_.reset(); }
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
        if (!last_ || now - *last_ < std::chrono::milliseconds(2)) last_ = now;
        return false;
    }

  private:
    QWidget* top_;
    std::optional<Clock::time_point> last_;
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
            const std::string geometry = xtermGeometry(i);
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
    // Where the i-th xterm goes, as xterm's -geometry takes it.
    std::function<std::string(int)> xtermGeometry;
};

inline std::unique_ptr<Desk> desk;

inline double median(std::vector<double> v) {
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

// The floor: a bare frameless window of one monitor's size shown and painted once; its median in ms.
inline double bareWindowMedian(benchmark::State& state) {
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
    state.counters["median_ms"] = median(ms);
    return median(ms);
}

// A first-frame benchmark over that many xterms: each run times itself, 15 of them, in milliseconds.
template <class Body> void registerFirstFrame(const std::string& name, Body&& body, int xterms) {
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Body>(body))
        ->Arg(xterms)
        ->UseManualTime()
        ->Iterations(15)
        ->Unit(benchmark::kMillisecond);
}

// Runs the benchmarks registerAll() registers on a private X server with its window manager, its xterms
// placed by xtermGeometry, and the program's desktop over it; the exit status of a main().
inline int runFirstFrameBenchmarks(int argc, char** argv, std::function<std::string(int)> xtermGeometry,
                                   void (*registerAll)()) {
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
    desk->xtermGeometry = std::move(xtermGeometry);
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

} // namespace korvane::x11::test
