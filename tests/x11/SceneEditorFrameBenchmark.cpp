// How long the scene editor takes on a real X server with two monitors from the request to both of its
// panels painted, each panel's capture of its screen included. The floor, measured in the same run, is a
// bare frameless window of the primary monitor's size shown and painted once: what mapping and drawing one
// window costs at all. The figure is given as a median and as its ratio to the floor's. A benchmark on the
// tests' fixture, run by scripts/benchmark and never by the test runner; its own private X server, window
// manager and xterms end with it.
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

double floorMedian = 0; // ms

void bareWindow(benchmark::State& state) {
    floorMedian = bareWindowMedian(state);
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
    std::vector<double> ms;
    std::vector<double> opening; // the request itself: panels made, screens captured, windows mapped
    std::size_t panels = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        desk->app->showSceneEditor(std::nullopt, std::nullopt);
        opening.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        const auto editor = desk->app->sceneEditorOverlayController();
        std::vector<std::unique_ptr<PaintClock>> clocks;
        for (const auto& [uuid, panel] : editor->overlayPanels)
            if (panel) clocks.push_back(std::make_unique<PaintClock>(panel));
        panels = clocks.size();
        std::optional<Clock::time_point> end;
        desk->desktop->runUntil(
            [&] {
                end.reset();
                for (const auto& clock : clocks) {
                    const auto frame = clock->frameEnd();
                    if (!frame) return false;
                    end = end ? std::max(*end, *frame) : *frame;
                }
                return true;
            },
            seconds(10));
        const double elapsed =
            std::chrono::duration<double, std::milli>(end.value_or(Clock::now()) - start).count();
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
        editor->close();
        // What the program's event loop does after a close: the editor's views go, not during the next
        // opening.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        desk->desktop->runUntil([] { return false; }, milliseconds(200));
    }
    // The first opening makes the panels' windows and touches their memory; later ones show them again.
    state.counters["first_ms"] = ms.empty() ? 0 : ms.front();
    state.counters["median_ms"] = median(ms);
    state.counters["opening_ms"] = median(opening);
    state.counters["panels"] = static_cast<double>(panels);
    if (floorMedian > 0) {
        state.counters["x_bare_window"] = median(ms) / floorMedian;
        state.counters["first_x_bare_window"] = (ms.empty() ? 0 : ms.front()) / floorMedian;
    }
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
    if (floorMedian > 0) state.counters["x_bare_window"] = median(ms) / floorMedian;
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
