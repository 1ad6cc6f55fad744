// How long the scene editor takes on a real X server with two monitors from the request to the first
// pixels of both of its panels and to their complete frames, as the server records them, each panel's
// capture of its screen included: its first opening, openings soon after the last (which find the drawing
// buffers and pictures the panels kept) and openings after a rest (all of it let go, as the program does
// once the panels have been hidden a while). The floors, measured in the same run on the same clock, are
// two bare frameless windows, one of each monitor's size, shown and painted once, keeping their buffers
// from their last showing (for the openings soon after) or taking them from fresh memory (for the first
// opening and those after a rest): what mapping and drawing the editor's two windows costs at all. Each
// figure is given as a median and as its ratio to its floor's. A benchmark on the tests' fixture, run by
// scripts/benchmark and never by the test runner; its own private X server, window manager and xterms end
// with it.
//
// The editor's panels are made ahead, unmapped, once the program is idle after starting, as start-up has
// it; the memory they keep from then on is reported. The first opening draws in two steps: the chips'
// names and icons are looked up only 0.2 s after each canvas has loaded its scene, and the process keeps
// what it found. The first opening's frame is what it drew before the first canvas took the lookup's
// results, as the canvases' own models tell; the names and icons in place are a row of their own, with
// how long after that pause and after the results they were drawn.
#include "FirstFrameBenchmark.h"

#include "app/DisplayUtil.h"
#include "platform/NotificationCenter.h"
#include "scenes/SceneStore.h"
#include "ui/scene_editor/BundleInfoCache.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorViewModel.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"
#include "ui/scene_editor/SceneGeometryCanvasView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace korvane::x11::test {
namespace {

Opening keptFloor, freshFloor; // ms

// Two bare windows, one over each monitor, shown together: the editor covers both.
void bareWindow(benchmark::State& state, Buffers buffers) {
    const Openings openings =
        bareWindows(state, {QRect(0, 0, 1920, 900), QRect(1920, 0, 1920, 1080)}, buffers);
    (buffers == Buffers::kept ? keptFloor : freshFloor) = openings.medians();
    addRow(std::string("two bare monitor-sized windows, ") + (buffers == Buffers::kept ? "kept" : "fresh"),
           openings, {});
}

// When an opening's canvases loaded the scene, which starts the pause before the chips' lookup, and when
// the first of them took what the lookup found, as their models tell the observers they have. The views
// observed them first: what the instant of taking the results marks is drawn after it.
class ChipLookupWatch {
  public:
    // Right after the request: the editor's model and its panels exist.
    void start(SceneEditorOverlayController& controller) {
        controller_ = &controller;
        const auto& model = controller.viewModel;
        if (!model) return;
        if (!model->isLoading()) {
            // Loaded within the request: when is not known, only that the pause began before now.
            loaded();
            loadedAt.reset();
            return;
        }
        loading_ = model->subscribe([this, weak = std::weak_ptr<SceneEditorViewModel>(model)](
                                        SceneEditorViewModel::Property property) {
            auto model = weak.lock();
            // The panels' root views observed it first: their canvases have loaded the scene.
            if (model && property == SceneEditorViewModel::Property::isLoading && !model->isLoading() &&
                !loadedAt)
                loaded();
        });
    }
    void stop() {
        loading_.reset();
        canvases_.clear();
    }

    // Nothing for loadedAt when the canvases loaded within the request.
    std::optional<Clock::time_point> loadedAt, lookedUpAt;

  private:
    void loaded() {
        loadedAt = Clock::now();
        for (const auto& [uuid, panel] : controller_->overlayPanels)
            if (panel && panel->rootView() && panel->rootView()->canvas()) {
                SceneGeometryCanvasModel& model = panel->rootView()->canvas()->model();
                canvases_.push_back(model.subscribe([this, &model] { changed(model); }));
            }
    }
    // The lookup stores what it found before its canvas shows it.
    void changed(const SceneGeometryCanvasModel& model) {
        if (lookedUpAt) return;
        const auto cache = BundleInfoCache::shared();
        bool chips = false;
        for (const auto& [zone, apps] : model.zoneApps())
            for (const auto& app : apps) {
                if (!cache->contains(app.bundleID)) return;
                chips = true;
            }
        if (chips) lookedUpAt = Clock::now();
    }

    SceneEditorOverlayController* controller_ = nullptr;
    std::unique_ptr<platform::ObserverToken> loading_;
    std::vector<std::unique_ptr<platform::ObserverToken>> canvases_;
};

// The process's resident memory, from the kernel's record.
double residentMB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
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
        // What start-up does once the program is idle: the editor's panels made ahead, unmapped. Their
        // memory stays resident from then on, as a closed editor's does.
        const double before = residentMB();
        desk->app->prepareSceneEditorWhenIdle();
        desk->idle(milliseconds(2000));
        state.counters["prepared_resident_mb"] = residentMB() - before;
    }
    // The first opening maps the panels made ahead for the first time, its canvases draw the scene's
    // views for the first time and its chips' names are looked up; later openings show all of it again,
    // every other one after a rest.
    Openings first, firstNames, soonAfter, afterRest;
    std::vector<double> request; // the request itself: panels made, screens captured, windows mapped
    std::size_t panels = 0;
    // ms from the end of the first opening's pause (when known), and from the lookup's results, to its
    // names and icons drawn.
    std::optional<double> namesAfterPause, namesAfterResults;
    for (auto _ : state) {
        const bool firstOpening = first.complete.empty();
        const bool rested = !firstOpening && soonAfter.complete.size() > afterRest.complete.size();
        if (rested) rest();
        Clock::time_point start;
        std::string error;
        ChipLookupWatch lookup;
        const auto opening = timeOpening(
            [&] {
                start = Clock::now();
                desk->app->showSceneEditor(std::nullopt, std::nullopt);
                request.push_back(msBetween(start, Clock::now()));
                lookup.start(*desk->app->sceneEditorOverlayController());
            },
            [&] {
                std::vector<QWidget*> windows;
                for (const auto& [uuid, panel] : desk->app->sceneEditorOverlayController()->overlayPanels)
                    if (panel) windows.push_back(panel);
                panels = windows.size();
                return windows;
            },
            error);
        lookup.stop();
        desk->app->sceneEditorOverlayController()->close();
        // What the program's event loop does after a close: the editor's views go, not during the next
        // opening.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!opening) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(opening->complete / 1000);
        if (!firstOpening) {
            (rested ? afterRest : soonAfter).add(*opening);
        } else if (!lookup.lookedUpAt) {
            // Nothing to look up (the process knew every chip already): the opening is one step.
            first.add(*opening);
        } else {
            // The opening's own frame: what it drew before the first canvas took the lookup's results.
            const auto own = desk->damage->before(*lookup.lookedUpAt);
            if (!own) {
                state.SkipWithError("the first opening drew nothing before its chips' lookup came");
                return;
            }
            const Opening frame{msBetween(start, own->firstPixels), msBetween(start, own->complete),
                                own->covered,
                                std::chrono::duration<double, std::milli>(own->longestGap).count()};
            first.add(frame);
            // The names and icons in place: when the results came, and the last drawing of all, which is
            // that instant when they changed nothing drawn (the names the lookup found are those shown).
            const double results = msBetween(start, *lookup.lookedUpAt);
            const double drawn = std::max(opening->complete, results);
            firstNames.add(Opening{results, drawn, opening->covered, opening->longestGap});
            namesAfterResults = drawn - results;
            if (lookup.loadedAt) namesAfterPause = drawn - msBetween(start, *lookup.loadedAt) - 200;
        }
        desk->idle(milliseconds(200));
    }
    setCounters(state, soonAfter, keptFloor);
    if (!first.complete.empty()) {
        state.counters["first_opening_first_px_ms"] = first.firstPixels.front();
        state.counters["first_opening_complete_ms"] = first.complete.front();
    }
    if (!firstNames.complete.empty()) state.counters["first_opening_names_ms"] = firstNames.complete.front();
    if (namesAfterResults) state.counters["names_after_results_ms"] = *namesAfterResults;
    if (namesAfterPause) state.counters["names_after_pause_ms"] = *namesAfterPause;
    state.counters["request_ms"] = median(request);
    state.counters["panels"] = static_cast<double>(panels);
    addRow("scene editor, first opening", first, freshFloor);
    // From the request, beside no floor: the lookup waits 0.2 s on purpose.
    addRow("scene editor, first opening's names, icons", firstNames, {});
    if (namesAfterResults) {
        char pause[128] = "";
        if (namesAfterPause)
            std::snprintf(pause, sizeof pause,
                          "%.1f ms after the 0.2 s pause ended (its start seen up to a millisecond late), ",
                          *namesAfterPause);
        char note[384];
        std::snprintf(
            note, sizeof note,
            "the first opening's names and icons: the first column is when the lookup's results were "
            "taken; drawn %s%.1f ms after the results",
            pause, *namesAfterResults);
        notes.push_back(note);
    }
    addRow("scene editor, soon after the last", soonAfter, keptFloor);
    addRow("scene editor, after a rest", afterRest, freshFloor);
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
    registerFirstFrame(
        "bareWindow/kept", [](benchmark::State& s) { bareWindow(s, Buffers::kept); }, 2);
    registerFirstFrame(
        "bareWindow/fresh", [](benchmark::State& s) { bareWindow(s, Buffers::fresh); }, 2);
    registerFirstFrame("captureOneMonitor", captureOneMonitor, 2);
    // The first opening, then ten soon after the last and ten after a rest, in turn.
    registerFirstFrame("requestToBothPanelsPainted", requestToBothPanelsPainted, 2, 21);
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    return runFirstFrameBenchmarks(
        argc, argv, [](int i) { return "80x24+" + std::to_string(100 + i * 1900) + "+100"; }, registerAll);
}
