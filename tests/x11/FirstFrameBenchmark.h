// The harness of the first-frame benchmarks on a real X server: a private server with its window manager
// and xterms, the program's desktop over it, the server's clock of an opening (DamageClock) and the floor
// every figure is set against, and the rows each benchmark reports.
//
// An opening is timed from the request to two instants of the X server's own record of drawing into the
// opened windows: its first pixels (every window has had something drawn into it) and its complete frame
// (the last drawing before the windows stay quiet for kSettle). Qt's paint events are not the clock: a
// paint ends long before its pixels are flushed to the server, and a frame is often several paints.
#pragma once

#include "BenchmarkArguments.h"
#include "DamageClock.h"
#include "X11TestSession.h"

#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"
#include "shell/AppDelegate.h"
#include "support/TempFolder.h"
#include "ui/overlays/MemoryAtRest.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// How long the opened windows must stay quiet before their frame counts as complete. Within one opening
// the drawing comes in bursts separated by the main thread's work between two flushes: a long paint, a
// pass over the window list, the icon pump's next pair of icons, the window activated. The longest such
// gap seen is ~120 ms (the scene editor's first opening, with the machine's cores busy); a second leaves
// room for it to grow eightfold. Each benchmark reports its longest gap (max_gap_ms) against this. The
// figure reported is the last drawing's instant, not this wait, which only lengthens the run.
inline constexpr std::chrono::milliseconds kSettle{1000};
// An opening that has not settled within this failed.
inline constexpr Nanos kOpeningTimeout = milliseconds(10000);

struct Desk {
    // Hundreds of xterms, the window manager and the program's connections pass the 256 clients an X
    // server admits by default.
    explicit Desk()
        : session(std::make_unique<X11TestSession>(std::vector<std::string>{"-maxclients", "512"})) {}
    ~Desk() {
        app.reset();
        floorWindows.clear();
        platform::Platform::setCurrent(nullptr);
        desktop.reset();
        damage.reset();
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
    // Runs the loop for a while, as the program's would between two uses.
    void idle(Nanos duration) {
        desktop->runUntil([] { return false; }, duration);
    }

    std::unique_ptr<X11TestSession> session;
    std::unique_ptr<DamageClock> damage;
    std::unique_ptr<X11Desktop> desktop;
    std::shared_ptr<AppDelegate> app;
    std::vector<std::unique_ptr<QWidget>> floorWindows;
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

// One opening on the server's clock, in ms from its request.
struct Opening {
    double firstPixels = 0;
    double complete = 0;
    double covered = 0;    // share of the windows' area drawn, 0 to 1
    double longestGap = 0; // ms without drawing between two reports
};

// Has the clock watch every native window made while it lives, as it is made: before the program can map
// it, let alone draw into it.
class NewWindowWatch final : public QObject {
  public:
    NewWindowWatch() { qApp->installEventFilter(this); }
    ~NewWindowWatch() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::PlatformSurface &&
            static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceCreated)
            if (auto* window = qobject_cast<QWindow*>(object)) {
                // The window may still sit in the buffer of the program's connection; the clock's
                // request, on its own connection, must not reach the server before it does.
                if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>())
                    std::free(xcb_get_input_focus_reply(x11->connection(),
                                                        xcb_get_input_focus(x11->connection()), nullptr));
                desk->damage->add(static_cast<xcb_window_t>(window->winId()));
            }
        return false;
    }
};

// Requests an opening and times it: `request` opens, `windows` names the top-level widgets it shows. The
// clock watches every native window the program has before the request and every one it makes after,
// as it is made, so that no drawing escapes it however the request runs (some spin the event loop).
// Qt's windows have no background, so the server draws nothing of its own when it maps them: every
// report is the program's drawing. Nothing, and why in `error`, when a window was missing or the windows
// did not settle within kOpeningTimeout.
inline std::optional<Opening> timeOpening(const std::function<void()>& request,
                                          const std::function<std::vector<QWidget*>()>& windows,
                                          std::string& error) {
    std::vector<xcb_window_t> existing;
    for (QWindow* window : QGuiApplication::allWindows())
        if (window->handle()) existing.push_back(static_cast<xcb_window_t>(window->winId()));
    desk->damage->watch(existing);
    NewWindowWatch watchNew;
    const auto start = Clock::now();
    request();
    std::vector<xcb_window_t> ids;
    for (QWidget* widget : windows()) {
        if (!widget || !widget->internalWinId()) {
            error = "a window of the opening has no X window";
            desk->damage->stop();
            return std::nullopt;
        }
        ids.push_back(static_cast<xcb_window_t>(widget->internalWinId()));
    }
    if (ids.empty() || !desk->damage->count(ids)) {
        error = ids.empty() ? "the opening showed no window" : "a window of the opening was not watched";
        desk->damage->stop();
        return std::nullopt;
    }
    std::optional<DamageClock::Frame> frame;
    desk->desktop->runUntil([&] { return (frame = desk->damage->settled(kSettle)).has_value(); },
                            kOpeningTimeout);
    desk->damage->stop();
    if (!frame) {
        error = desk->damage->sofar() ? "the opening's windows did not stay quiet"
                                      : "a window of the opening showed no pixels";
        return std::nullopt;
    }
    const auto ms = [&](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    return Opening{ms(frame->firstPixels), ms(frame->complete), frame->covered,
                   std::chrono::duration<double, std::milli>(frame->longestGap).count()};
}

// The openings of one benchmark: its figures are medians.
struct Openings {
    std::vector<double> firstPixels, complete;
    double covered = 1;    // the least share drawn by any opening's complete frame
    double longestGap = 0; // the longest quiet spell within any opening, against kSettle

    void add(const Opening& o) {
        firstPixels.push_back(o.firstPixels);
        complete.push_back(o.complete);
        covered = std::min(covered, o.covered);
        longestGap = std::max(longestGap, o.longestGap);
    }
    Opening medians() const { return Opening{median(firstPixels), median(complete), covered, longestGap}; }
};

// The rows printed after the benchmarks, one per case: its first pixels and complete frame on the
// server's clock, each beside the floor of the same run.
struct Figure {
    double ms = 0, lowMs = 0, highMs = 0;
    double floorMs = 0; // none for a floor itself
};
struct Row {
    std::string name;
    Figure firstPixels, complete;
};
inline std::vector<Row> rows;
// Lines printed under the rows: what a row's figures leave out or take from elsewhere.
inline std::vector<std::string> notes;

inline void addRow(const std::string& name, const Openings& openings, const Opening& floor) {
    if (openings.complete.empty()) return;
    const auto figure = [](const std::vector<double>& ms, double floorMs) {
        const auto [low, high] = std::minmax_element(ms.begin(), ms.end());
        return Figure{median(ms), *low, *high, floorMs};
    };
    rows.push_back(Row{name, figure(openings.firstPixels, floor.firstPixels),
                       figure(openings.complete, floor.complete)});
}

// The counters of a benchmark's line: both instants, and their ratios to the floor when there is one.
inline void setCounters(benchmark::State& state, const Openings& openings, const Opening& floor) {
    const Opening m = openings.medians();
    state.counters["first_px_ms"] = m.firstPixels;
    state.counters["complete_ms"] = m.complete;
    state.counters["covered_pct"] = 100 * m.covered;
    state.counters["max_gap_ms"] = m.longestGap;
    if (floor.firstPixels > 0) state.counters["first_px_x_bare"] = m.firstPixels / floor.firstPixels;
    if (floor.complete > 0) state.counters["complete_x_bare"] = m.complete / floor.complete;
}

class FloorWindow final : public QWidget {
  public:
    FloorWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {}

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(26, 26, 30)); }
};

// What the windows of an opening hold when it starts: the drawing buffers and pictures they kept from
// an opening soon before, as the program keeps them for a while after a window hides; or nothing, as at
// the first opening and at one after the program has been at rest, every buffer taken from fresh memory.
enum class Buffers { kept, fresh };

// Lets the hidden windows go of what they keep, as the program's do once they have been hidden a while.
inline void rest() {
    releaseHiddenWindowsMemoryNow(*qApp);
}

// The floor: bare frameless windows at these places of the root (one monitor's size each) shown together
// and painted once, on the same clock as the program's openings, with their buffers kept from the last
// showing or taken afresh; their openings, ms.
inline Openings bareWindows(benchmark::State& state, const std::vector<QRect>& places, Buffers buffers) {
    desk->grow(static_cast<int>(state.range(0)));
    while (desk->floorWindows.size() < places.size())
        desk->floorWindows.push_back(std::make_unique<FloorWindow>());
    std::vector<QWidget*> windows;
    for (std::size_t i = 0; i < places.size(); ++i) {
        desk->floorWindows[i]->setGeometry(places[i]);
        windows.push_back(desk->floorWindows[i].get());
    }
    if (buffers == Buffers::kept) {
        // Shown once before: every opening timed finds the buffers of the last.
        for (QWidget* w : windows)
            w->show();
        desk->idle(milliseconds(300));
        for (QWidget* w : windows)
            w->hide();
        desk->idle(milliseconds(100));
    } else {
        rest();
    }
    Openings openings;
    for (auto _ : state) {
        std::string error;
        const auto opening = timeOpening(
            [&] {
                for (QWidget* w : windows)
                    w->show();
            },
            [&] { return windows; }, error);
        for (QWidget* w : windows)
            w->hide();
        if (!opening) {
            state.SkipWithError(error.c_str());
            return {};
        }
        state.SetIterationTime(opening->complete / 1000);
        openings.add(*opening);
        desk->idle(milliseconds(100));
        if (buffers == Buffers::fresh) rest();
    }
    setCounters(state, openings, {});
    return openings;
}

// A first-frame benchmark over that many xterms: each run times itself, 15 of them unless said, in
// milliseconds (the complete frame).
template <class Body>
void registerFirstFrame(const std::string& name, Body&& body, int xterms, int iterations = 15) {
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Body>(body))
        ->Arg(xterms)
        ->UseManualTime()
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond);
}

inline void printRows() {
    if (rows.empty()) return;
    const auto figure = [](const Figure& f) {
        char text[64];
        int n = std::snprintf(text, sizeof text, "  %7.1f (%.1f-%.1f)", f.ms, f.lowMs, f.highMs);
        if (f.floorMs > 0)
            std::snprintf(text + n, sizeof text - n, "%*.2fx", std::max(1, 32 - n), f.ms / f.floorMs);
        return std::string(text);
    };
    std::printf(
        "\nOn the X server's clock, from the request: median and (range) of the openings in ms, and the "
        "median's ratio to the bare windows' of this run\n");
    std::printf("  %-44s%4s%-40s%s\n", "", "", "first pixels", "complete frame");
    for (const Row& row : rows) {
        char first[48];
        std::snprintf(first, sizeof first, "%-40s", figure(row.firstPixels).c_str());
        std::printf("  %-44s%s%s\n", row.name.c_str(), first, figure(row.complete).c_str());
    }
    for (const std::string& note : notes)
        std::printf("  %s\n", note.c_str());
    std::fflush(stdout);
}

// Runs the benchmarks registerAll() registers on a private X server with its window manager, its xterms
// placed by xtermGeometry, and the program's desktop over it; the exit status of a main().
inline int runFirstFrameBenchmarks(int argc, char** argv, std::function<std::string(int)> xtermGeometry,
                                   void (*registerAll)()) {
    if (!benchmarkArguments(argc, argv)) return 2;

    // The session keeps the environment it found for the server and the window manager; the desktop's
    // own folders are pointed elsewhere after it.
    try {
        desk = std::make_unique<Desk>();
        desk->damage = std::make_unique<DamageClock>(desk->session->display());
    } catch (const std::exception& e) {
        std::cerr << "no private X server: " << e.what() << "\n";
        desk.reset();
        return 1;
    }
    desk->xtermGeometry = std::move(xtermGeometry);
    korvane::testing::TempFolder folder;
    ::setenv("XDG_DATA_HOME", (folder.path() / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder.path() / "no-data").c_str(), 1);
    ::setenv("KORVANE_HOME", (folder.path() / "support").c_str(), 1);
    desk->session->useForWidgets();
    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        // The memory the program keeps at rest is the one it has: the openings start from there.
        releaseMemoryAtRest(application);
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
            printRows();
        }
        desk->app.reset();
        desk->floorWindows.clear();
        korvane::platform::Platform::setCurrent(nullptr);
        desk->desktop.reset();
    }
    desk.reset();
    return status;
}

} // namespace korvane::x11::test
