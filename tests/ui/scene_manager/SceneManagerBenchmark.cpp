// What the scene manager costs with 10, 100 and 500 stored scenes, on the simulated desktop and Qt's
// offscreen platform: the background load of its reload, the main thread's part of that reload (capturing
// what the load takes along and applying its result), and the window from its making to its first painted
// frame with the loaded scenes. The main thread's parts are given beside their floors measured in the same
// run at the same count: the background load itself, and a bare window of the same size painted. The main
// thread's part must stay under one frame (16 ms) at 500 scenes and grow linearly. A benchmark, not a test:
// run by scripts/benchmark.
#include "layouts/BuiltinLayouts.h"
#include "platform/sim/SimDesktop.h"
#include "scenes/SceneStore.h"
#include "support/TempFolder.h"
#include "ui/scene_manager/SceneManagerPanelController.h"
#include "ui/scene_manager/SceneManagerViewModel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A support folder with `count` scenes over two displays, each naming a layout and a few windows.
struct Shelf {
    explicit Shelf(int count) {
        desktop->process().setEnvironment("KORVANE_HOME", folder.path().string());
        desktop->screens().addDisplay({.frame = Rect{0, 0, 2560, 1440}, .name = "Studio", .uuid = "D1"});
        desktop->screens().addDisplay({.frame = Rect{2560, 0, 1920, 1080}, .name = "Side", .uuid = "D2"});
        store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
        for (int i = 0; i < count; ++i) {
            WMScene scene;
            scene.id = desktop->process().makeUUID();
            scene.name = "Scene " + std::to_string(i + 1);
            scene.createdAt = scene.updatedAt = (1'700'000'000LL + i) * kNanosPerSecond;
            scene.layoutRefsByDisplay = {{"D1", kBuiltinDailyID}, {"D2", kBuiltinSplit5050ID}};
            scene.windowHints = {{"D1", {{"com.example.mail", 1, {}}, {"com.example.editor", 2, {}}}},
                                 {"D2", {{"com.example.chat", 1, {}}}}};
            if (i < 9) scene.hotkeySlot = i + 1;
            store->save(scene, ScreenContext::capture(desktop->screens()));
        }
    }
    SceneManagerViewModel::Services services() {
        SceneManagerViewModel::Services s;
        s.store = store;
        s.availableDisplaysProvider = [] {
            return std::vector<SceneManagerDisplay>{{"D1", "Studio"}, {"D2", "Side"}};
        };
        return s;
    }
    SceneManagerViewModel::Queues queues() {
        return {[this](std::function<void()> block) { background.push_back(std::move(block)); },
                [this](std::function<void()> block) { main.push_back(std::move(block)); }};
    }
    // Runs the held loads, timing them apart from the main thread's part that follows each.
    double runBackground() {
        double total = 0;
        while (!background.empty()) {
            auto block = std::move(background.front());
            background.pop_front();
            const auto start = Clock::now();
            block();
            total += since(start);
        }
        return total;
    }
    void runMain() {
        while (!main.empty()) {
            auto block = std::move(main.front());
            main.pop_front();
            block();
        }
    }

    sim::ScopedSimDesktop desktop;
    korvane::testing::TempFolder folder;
    std::shared_ptr<SceneStore> store;
    std::deque<std::function<void()>> background;
    std::deque<std::function<void()>> main;
};

std::map<std::int64_t, double> loadFloors;  // seconds per background load, by scene count
std::map<std::int64_t, double> frameFloors; // seconds per bare window painted, by scene count

void renderOnce(QWidget& window) {
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    window.render(&painter);
}

void backgroundLoad(benchmark::State& state) {
    Shelf shelf(static_cast<int>(state.range(0)));
    auto model = SceneManagerViewModel::make(*shelf.desktop, shelf.services(), shelf.queues());
    double total = 0;
    for (auto _ : state) {
        model->reload();
        const double load = shelf.runBackground();
        shelf.runMain();
        state.SetIterationTime(load);
        total += load;
    }
    loadFloors[state.range(0)] = total / static_cast<double>(state.iterations());
    state.counters["load_ms"] = 1000 * loadFloors[state.range(0)];
    state.SetComplexityN(state.range(0));
}

// The capture and the application of a reload, as a window already listing the scenes refreshes.
void reloadOnMainThread(benchmark::State& state) {
    Shelf shelf(static_cast<int>(state.range(0)));
    auto model = SceneManagerViewModel::make(*shelf.desktop, shelf.services(), shelf.queues());
    shelf.runBackground();
    shelf.runMain();
    double total = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        model->reload();
        double iteration = since(start);
        shelf.runBackground();
        start = Clock::now();
        shelf.runMain();
        iteration += since(start);
        state.SetIterationTime(iteration);
        total += iteration;
    }
    const double perReload = total / static_cast<double>(state.iterations());
    state.counters["main_ms"] = 1000 * perReload;
    if (auto floor = loadFloors.find(state.range(0)); floor != loadFloors.end())
        state.counters["x_background_load"] = perReload / floor->second;
    state.SetComplexityN(state.range(0));
}

void bareWindowFrame(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        QWidget window;
        window.resize(SceneManagerPanelController::kWidth, SceneManagerPanelController::kHeight);
        window.show();
        renderOnce(window);
        const double iteration = since(start);
        state.SetIterationTime(iteration);
        total += iteration;
    }
    frameFloors[state.range(0)] = total / static_cast<double>(state.iterations());
    state.SetComplexityN(state.range(0));
}

// From making the window to its first frame with the scenes listed; the background load in between runs
// untimed, as it would on its own queue.
void firstPaintedFrame(benchmark::State& state) {
    Shelf shelf(static_cast<int>(state.range(0)));
    double total = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        auto controller = std::make_unique<SceneManagerPanelController>(
            *shelf.desktop, SceneManagerViewModel::make(*shelf.desktop, shelf.services(), shelf.queues()));
        controller->show(std::nullopt, std::nullopt);
        double iteration = since(start);
        shelf.runBackground();
        start = Clock::now();
        shelf.runMain();
        QApplication::processEvents();
        renderOnce(*controller->window());
        iteration += since(start);
        state.SetIterationTime(iteration);
        total += iteration;
        controller.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const double perFrame = total / static_cast<double>(state.iterations());
    state.counters["main_ms"] = 1000 * perFrame;
    if (auto floor = frameFloors.find(state.range(0)); floor != frameFloors.end())
        state.counters["x_bare_window"] = perFrame / floor->second;
    state.SetComplexityN(state.range(0));
}

// 10, 100 and 500 scenes, each timed by the benchmark itself.
void sceneCounts(benchmark::internal::Benchmark* b) {
    b->Arg(10)->Arg(100)->Arg(500)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(backgroundLoad)->Apply(sceneCounts)->Complexity(benchmark::oN);
BENCHMARK(reloadOnMainThread)->Apply(sceneCounts)->Complexity(benchmark::oN);
BENCHMARK(bareWindowFrame)->Apply(sceneCounts);
BENCHMARK(firstPaintedFrame)->Apply(sceneCounts)->Complexity(benchmark::oN);

} // namespace
} // namespace korvane

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns at every raise of the window; the table is what is read.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) qputenv("QT_LOGGING_RULES", "*.warning=false");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
