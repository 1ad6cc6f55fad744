// The simulated desktop for the scene editor's models, with its background queue held so that a test
// decides when each background load or lookup runs; a scene store in a fresh support folder, the layout
// library as the resolver, and helpers to store scenes.
#pragma once

#include "layouts/LayoutLibrary.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneStore.h"
#include "support/SimDesktopWithLoop.h"
#include "support/SupportFolderFixture.h"
#include "ui/scene_editor/BundleInfoCache.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane::testing {

// The simulated run loop, except that blocks for the global queues wait in a list until the test runs them.
class HeldBackgroundLoop final : public ForwardingRunLoop {
  public:
    using ForwardingRunLoop::ForwardingRunLoop;

    void dispatchGlobal(platform::QueueQoS, std::function<void()> block) override {
        held_.push_back(std::move(block));
    }

    std::size_t heldCount() const { return held_.size(); }
    // Runs the held block at `index` (in dispatch order) and then what it posted to the main queue.
    void runHeld(std::size_t index = 0) {
        std::function<void()> block = std::move(held_.at(index));
        held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(index));
        block();
        loop_.runUntilIdle();
    }
    // Everything due now, background blocks included, until nothing is left.
    void settle() {
        loop_.runUntilIdle();
        while (!held_.empty())
            runHeld();
    }

  private:
    std::deque<std::function<void()>> held_;
};

using HeldBackgroundPlatform = SimDesktopWithLoop<HeldBackgroundLoop>;

class SceneEditorTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
    }

    ScreenContext screens() { return ScreenContext::capture(desktop->screens()); }
    // The sim's id of the display.
    int addDisplay(const std::string& uuid, const Rect& frame = Rect{0, 0, 1000, 600}) {
        return desktop->screens().addDisplay({.frame = frame, .name = uuid, .uuid = uuid});
    }

    // A stored scene of that name; its id is returned.
    std::string storeScene(const std::string& name, WMScene::LayoutRefMap refs = {},
                           WMScene::WindowHintMap hints = {}) {
        WMScene scene;
        scene.id = desktop->process().makeUUID();
        scene.name = name;
        scene.createdAt = scene.updatedAt = 1'700'000'000LL * kNanosPerSecond;
        scene.layoutRefsByDisplay = WMScene::sanitizedLayoutRefs(refs);
        scene.windowHints = WMScene::sanitizedWindowHints(hints);
        store->save(scene, screens());
        return scene.id;
    }
    WMScene storedScene(const std::string& id) { return store->loadScene(id, screens()).value(); }
    nlohmann::json sceneFile(const std::string& id) {
        return nlohmann::json::parse(read(scenes() / SceneStore::sceneFileName(id)));
    }

    // A canvas for the display of a stored scene, as the overlay builds it, with the layout library as its
    // resolver and the saves it reports counted.
    SceneGeometryCanvasModel::Inputs canvasInputs(const std::string& sceneID, const std::string& display) {
        SceneGeometryCanvasModel::Inputs inputs;
        inputs.scene = storedScene(sceneID);
        inputs.displayUUID = display;
        inputs.displayName = display;
        inputs.store = store;
        inputs.layoutTemplateResolver = library;
        inputs.onSave = [this] { ++saves; };
        inputs.overlayMode = true;
        return inputs;
    }
    // Shown on a 1000 x 600 drawing area, everything due run.
    std::shared_ptr<SceneGeometryCanvasModel> showCanvas(SceneGeometryCanvasModel::Inputs inputs,
                                                         Size size = Size{1000, 600}) {
        auto canvas = SceneGeometryCanvasModel::make(platform, std::move(inputs), cache);
        canvas->appear();
        canvas->setCanvasSize(size);
        loop.settle();
        return canvas;
    }
    // Due blocks and posted events, a few rounds over: a view's refresh posts more of both.
    void settle() {
        for (int i = 0; i < 4; ++i) {
            loop.settle();
            QCoreApplication::processEvents();
        }
    }

    sim::ScopedLogCapture logs;
    HeldBackgroundPlatform platform{desktop.get()};
    HeldBackgroundLoop& loop = platform.runLoop();
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::shared_ptr<BundleInfoCache> cache = std::make_shared<BundleInfoCache>();
    int saves = 0; // onSave calls of the canvases made by canvasInputs
};

} // namespace korvane::testing
