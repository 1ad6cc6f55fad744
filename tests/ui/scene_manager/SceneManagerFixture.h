// The scene manager's model on the simulated desktop, with its background loads and their results held in
// queues the test runs step by step; a scene store in a fresh support folder, the layout library as the
// resolver and as the store of user layouts, and the connected displays the test lists.
#pragma once

#include "layouts/LayoutLibrary.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneStore.h"
#include "support/SupportFolderFixture.h"
#include "ui/scene_manager/SceneManagerViewModel.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane::testing {

class SceneManagerTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
    }

    ScreenContext screens() { return ScreenContext::capture(desktop->screens()); }

    // A stored scene of that name; its id is returned.
    std::string storeScene(const std::string& name, WMScene::LayoutRefMap refs = {},
                           std::optional<int> slot = std::nullopt) {
        WMScene scene;
        scene.id = desktop->process().makeUUID();
        scene.name = name;
        scene.createdAt = scene.updatedAt = 1'700'000'000LL * kNanosPerSecond;
        scene.layoutRefsByDisplay = WMScene::sanitizedLayoutRefs(refs);
        scene.hotkeySlot = slot;
        store->save(scene, screens());
        return scene.id;
    }
    WMScene storedScene(const std::string& id) { return store->loadScene(id, screens()).value(); }

    SceneManagerViewModel::Services services() {
        SceneManagerViewModel::Services s;
        s.store = store;
        s.layoutTemplateResolver = library;
        s.onOpenEditor = [this](const std::string& scene, const std::string& display) {
            editorOpened.push_back({scene, display});
        };
        s.availableDisplaysProvider = [this] { return displays; };
        s.onSaveAsUserLayout = [this](const ConfigZoneSet& set) { return library->storeUserLayout(set); };
        return s;
    }
    SceneManagerViewModel::Queues queues() {
        return {[this](std::function<void()> block) { background.push_back(std::move(block)); },
                [this](std::function<void()> block) { main.push_back(std::move(block)); }};
    }
    // Made as the window makes it: its first reload held.
    std::shared_ptr<SceneManagerViewModel> makeModel() {
        return SceneManagerViewModel::make(*desktop, services(), queues());
    }
    // Runs the held load at `index` (in the order they started), then what it handed to the main queue.
    void runLoad(std::size_t index = 0) {
        auto block = std::move(background.at(index));
        background.erase(background.begin() + static_cast<std::ptrdiff_t>(index));
        block();
        while (!main.empty()) {
            auto next = std::move(main.front());
            main.pop_front();
            next();
        }
    }
    void settle() {
        while (!background.empty())
            runLoad();
    }
    // A model whose first load has been applied.
    std::shared_ptr<SceneManagerViewModel> openModel() {
        auto model = makeModel();
        settle();
        return model;
    }
    static std::vector<std::string> names(const SceneManagerViewModel& model) {
        std::vector<std::string> out;
        for (const auto& scene : model.scenes())
            out.push_back(scene.name);
        return out;
    }

    sim::ScopedLogCapture logs;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::vector<SceneManagerDisplay> displays{{"DISPLAY-A", "Left"}, {"DISPLAY-B", "Right"}};
    std::deque<std::function<void()>> background;
    std::deque<std::function<void()>> main;
    std::vector<std::pair<std::string, std::string>> editorOpened;
};

} // namespace korvane::testing
