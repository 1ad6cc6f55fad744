// How long the scene editor takes on a real X server with two monitors from the request to the first
// pixels of both of its panels and to their complete frames, as the server records them, each panel's
// capture of its screen included; its first opening apart from the later ones. The floor, measured in the
// same run on the same clock, is two bare frameless windows, one of each monitor's size, shown and painted
// once: what mapping and drawing the editor's two windows costs at all. Each figure is given as a median
// and as its ratio to the floor's. A benchmark on the tests' fixture, run by scripts/benchmark and never by
// the test runner; its own private X server, window manager and xterms end with it.
#include "FirstFrameBenchmark.h"

#include "app/DisplayUtil.h"
#include "scenes/SceneStore.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include <chrono>
#include <memory>
#include <vector>

namespace korvane::x11::test {
namespace {

Opening floor; // ms

// Two bare windows, one over each monitor, shown together: the editor covers both.
void bareWindow(benchmark::State& state) {
    const Openings openings = bareWindows(state, {QRect(0, 0, 1920, 900), QRect(1920, 0, 1920, 1080)});
    floor = openings.medians();
    addRow("two bare monitor-sized windows", openings, {});
}

void requestToBothPanelsPainted(benchmark::State& state) {
    desk->grow(static_cast<int>(state.range(0)));
    if (!desk->app) {
        desk->app = AppDelegate::create(*desk->desktop);
        // A scene to edit, as a user has one: a layout of five zones on each display with an application
        // in two of them, so that both canvases show their cells, dividers and chips.
        WMScene scene;
        scene.id = desk->desktop->processInfo().makeUUID();
        scene.name = "Desk";
        for (const auto& screen : desk->desktop->screens().screens()) {
            const std::string display = DisplayUtil::displayUUID(screen);
            scene.layoutRefsByDisplay[display] = "builtin.daily";
            scene.windowHints[display] = {WindowHint{"xterm", 1, std::nullopt},
                                          WindowHint{"xterm", 3, std::nullopt}};
        }
        desk->app->sceneStore()->save(scene, ScreenContext::capture(desk->desktop->screens()));
    }
    // The first opening makes the panels' windows and touches their memory; later ones show them again.
    Openings all, first, later;
    std::vector<double> request; // the request itself: panels made, screens captured, windows mapped
    std::size_t panels = 0;
    for (auto _ : state) {
        Clock::time_point start;
        std::string error;
        const auto opening = timeOpening(
            [&] {
                start = Clock::now();
                desk->app->showSceneEditor(std::nullopt, std::nullopt);
                request.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            },
            [&] {
                std::vector<QWidget*> windows;
                for (const auto& [uuid, panel] : desk->app->sceneEditorOverlayController()->overlayPanels)
                    if (panel) windows.push_back(panel);
                panels = windows.size();
                return windows;
            },
            error);
        desk->app->sceneEditorOverlayController()->close();
        // What the program's event loop does after a close: the editor's views go, not during the next
        // opening.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!opening) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(opening->complete / 1000);
        all.add(*opening);
        (first.complete.empty() ? first : later).add(*opening);
        desk->idle(milliseconds(200));
    }
    setCounters(state, all, floor);
    if (!first.complete.empty()) {
        state.counters["first_opening_first_px_ms"] = first.firstPixels.front();
        state.counters["first_opening_complete_ms"] = first.complete.front();
    }
    state.counters["request_ms"] = median(request);
    state.counters["panels"] = static_cast<double>(panels);
    addRow("scene editor, first opening", first, floor);
    addRow("scene editor, later openings", later, floor);
}

// What each of the editor's panels takes before it shows, on a panel kept from the last time: the picture
// of one monitor's area dimmed into its backdrop, and its place over the monitor.
void captureOneMonitor(benchmark::State& state) {
    std::vector<double> ms;
    SceneEditorOverlayPanel panel(desk->desktop->screens());
    for (auto _ : state) {
        const auto start = Clock::now();
        panel.cover(Rect(0, 0, 1920, 1080));
        benchmark::DoNotOptimize(panel.backdrop().constBits());
        const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
    }
    state.counters["median_ms"] = median(ms);
}

void registerAll() {
    registerFirstFrame("bareWindow", bareWindow, 2);
    registerFirstFrame("captureOneMonitor", captureOneMonitor, 2);
    registerFirstFrame("requestToBothPanelsPainted", requestToBothPanelsPainted, 2);
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    return runFirstFrameBenchmarks(
        argc, argv, [](int i) { return "80x24+" + std::to_string(100 + i * 1900) + "+100"; }, registerAll);
}
