// The scene manager's model: the background reload guarded by its generation, the choice of scene and
// display to show, and the actions that write scene files.
#include "ui/scene_manager/SceneManagerViewModel.h"

#include "core/Log.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/scene_editor/SceneUserLayout.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace korvane {

namespace {

bool hasDisplay(const std::vector<SceneManagerDisplay>& displays, const std::string& uuid) {
    return std::any_of(displays.begin(), displays.end(),
                       [&](const SceneManagerDisplay& d) { return d.uuid == uuid; });
}

} // namespace

SceneManagerViewModel::Queues SceneManagerViewModel::Queues::of(platform::RunLoop& loop) {
    return Queues{
        [&loop](std::function<void()> block) {
            loop.dispatchGlobal(platform::QueueQoS::UserInitiated, std::move(block));
        },
        [&loop](std::function<void()> block) { loop.post(std::move(block)); },
    };
}

SceneManagerViewModel::SceneManagerViewModel(platform::Platform& platform, Services services, Queues queues)
    : platform_(platform), services_(std::move(services)), queues_(std::move(queues)) {}

std::shared_ptr<SceneManagerViewModel> SceneManagerViewModel::make(platform::Platform& platform,
                                                                   Services services) {
    return make(platform, std::move(services), Queues::of(platform.runLoop()));
}

std::shared_ptr<SceneManagerViewModel> SceneManagerViewModel::make(platform::Platform& platform,
                                                                   Services services, Queues queues) {
    std::shared_ptr<SceneManagerViewModel> model(
        new SceneManagerViewModel(platform, std::move(services), std::move(queues)));
    model->reload();
    return model;
}

std::vector<SceneManagerDisplay> SceneManagerViewModel::availableDisplays() const {
    if (!services_.availableDisplaysProvider) return {};
    return services_.availableDisplaysProvider();
}

const WMScene* SceneManagerViewModel::selectedScene() const {
    if (!selectedSceneID_) return nullptr;
    return WMScene::withID(scenes_, *selectedSceneID_);
}

bool SceneManagerViewModel::isDisplayConfigured(const std::string& displayUUID) const {
    const WMScene* scene = selectedScene();
    return scene && scene->configuresDisplay(displayUUID);
}

std::optional<LayoutNode> SceneManagerViewModel::selectedDisplayLayout() const {
    const WMScene* scene = selectedScene();
    if (!scene || !services_.layoutTemplateResolver) return std::nullopt;
    const std::optional<std::string> ref = scene->layoutRef(selectedDisplayUUID_);
    if (!ref) return std::nullopt;
    const std::optional<ConfigZoneSet> set = services_.layoutTemplateResolver->regionSet(*ref);
    if (!set) return std::nullopt;
    return services_.layoutTemplateResolver->layoutTree(*set);
}

std::string SceneManagerViewModel::preferredDisplay(const WMScene& scene,
                                                    const std::vector<SceneManagerDisplay>& displays,
                                                    const std::string& current) {
    if (displays.empty()) return "";
    if (!current.empty() && hasDisplay(displays, current) && scene.configuresDisplay(current)) return current;
    for (const auto& display : displays)
        if (scene.configuresDisplay(display.uuid)) return display.uuid;
    return displays.front().uuid;
}

SceneManagerViewModel::Captured SceneManagerViewModel::capture() const {
    return Captured{selectedSceneID_, selectedDisplayUUID_, availableDisplays()};
}

SceneManagerViewModel::Loaded SceneManagerViewModel::load(SceneStore* store, const ScreenContext& screens) {
    Loaded loaded;
    if (!store) return loaded;
    loaded.scenes = store->loadAllScenes(screens);
    // An unreadable record means no active scene, silently.
    if (auto state = store->readActiveState()) loaded.activeSceneID = state->activeSceneID;
    return loaded;
}

void SceneManagerViewModel::reload() {
    const std::int64_t generation = ++reloadGeneration_;
    observers_.notify(Property::reloadGeneration);
    Captured captured = capture();
    const bool wasEmpty = scenes_.empty();
    if (wasEmpty) setIsLoading(true);

    // The screens decide where a scene's "default" entry goes as its file decodes; like everything else
    // the load takes along, they are read here, on the main thread.
    ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::shared_ptr<SceneStore> store = services_.store;
    std::weak_ptr<SceneManagerViewModel> weak = weak_from_this();
    auto post = queues_.main;
    queues_.background([weak, generation, wasEmpty, store, post, screens = std::move(screens),
                        captured = std::move(captured)]() mutable {
        Loaded loaded = load(store.get(), screens);
        post([weak, generation, wasEmpty, loaded = std::move(loaded),
              captured = std::move(captured)]() mutable {
            auto self = weak.lock();
            // A newer reload is under way and applies its own result.
            if (!self || generation != self->reloadGeneration_) return;
            self->apply(std::move(loaded), captured);
            self->requestedSceneID_.reset();
            self->requestedDisplayUUID_.reset();
            if (wasEmpty) self->setIsLoading(false);
        });
    });
}

void SceneManagerViewModel::reloadNow() {
    const Captured captured = capture();
    apply(load(services_.store.get(), ScreenContext::capture(platform_.screens())), captured);
}

void SceneManagerViewModel::apply(Loaded loaded, const Captured& captured) {
    scenes_ = std::move(loaded.scenes);
    observers_.notify(Property::scenes);
    if (activeSceneID_ != loaded.activeSceneID) {
        activeSceneID_ = std::move(loaded.activeSceneID);
        observers_.notify(Property::activeSceneID);
    }

    // What was chosen since the reload started wins over what it captured, as long as it is still there.
    const WMScene* requested = requestedSceneID_ ? WMScene::withID(scenes_, *requestedSceneID_) : nullptr;
    const WMScene* selected = requested;
    // Until a scene is chosen here the window shows the active one, whose card is marked, so that "Edit
    // Grid" edits the scene the user sees chosen.
    if (!selected && !sceneChosen_ && activeSceneID_) selected = WMScene::withID(scenes_, *activeSceneID_);
    if (!selected && captured.sceneID) selected = WMScene::withID(scenes_, *captured.sceneID);
    if (!selected && !scenes_.empty()) selected = &scenes_.front();
    setSelectedSceneID(selected ? std::optional(selected->id) : std::nullopt);

    const bool displayRequestHolds = requestedDisplayUUID_ && (!requestedSceneID_ || requested) &&
                                     hasDisplay(captured.displays, *requestedDisplayUUID_);
    if (selected && displayRequestHolds)
        setSelectedDisplayUUID(*requestedDisplayUUID_);
    else if (selected)
        setSelectedDisplayUUID(preferredDisplay(*selected, captured.displays, captured.displayUUID));
    else
        setSelectedDisplayUUID(captured.displays.empty() ? std::string() : captured.displays.front().uuid);
}

void SceneManagerViewModel::selectScene(const std::optional<std::string>& id) {
    sceneChosen_ = true;
    requestedSceneID_ = id;
    // A display asked for with another scene is not this scene's.
    requestedDisplayUUID_.reset();
    setSelectedSceneID(id);
    const WMScene* scene = selectedScene();
    if (!scene) return;
    setSelectedDisplayUUID(preferredDisplay(*scene, availableDisplays(), selectedDisplayUUID_));
}

bool SceneManagerViewModel::selectDisplay(const std::string& uuid) {
    if (!hasDisplay(availableDisplays(), uuid)) return false;
    requestedDisplayUUID_ = uuid;
    setSelectedDisplayUUID(uuid);
    return true;
}

void SceneManagerViewModel::setRenaming(bool renaming) {
    if (isRenaming_ == renaming) return;
    isRenaming_ = renaming;
    observers_.notify(Property::isRenaming);
}

void SceneManagerViewModel::setShowingPresetPicker(bool showing) {
    if (showingPresetPicker_ == showing) return;
    showingPresetPicker_ = showing;
    observers_.notify(Property::showingPresetPicker);
}

void SceneManagerViewModel::createEmptyScene() {
    if (!services_.store) return;
    WMScene scene;
    scene.id = platform_.processInfo().makeUUID();
    // Numbered by the count alone: a name already taken is taken again.
    scene.name = "Scene " + std::to_string(scenes_.size() + 1);
    scene.createdAt = scene.updatedAt = platform_.runLoop().wallClock();
    scene.restoreMode = RestoreMode::layoutOnly;
    try {
        services_.store->save(scene, ScreenContext::capture(platform_.screens()));
    } catch (const std::exception& e) {
        Log::sceneManager.error("createEmptyScene failed: %s", e.what());
        return;
    }
    reloadNow();
    selectScene(scene.id);
}

void SceneManagerViewModel::renameSelectedScene(const std::string& newName) {
    if (!selectedSceneID_ || !services_.store) return;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> scene = services_.store->loadScene(*selectedSceneID_, screens);
    if (!scene) return;
    const std::string trimmed = trimmingWhitespaceAndNewlines(newName);
    // Nothing to call it: the row stays open for another try.
    if (trimmed.empty()) return;
    scene->name = trimmed;
    scene->updatedAt = platform_.runLoop().wallClock();
    try {
        services_.store->save(*scene, screens);
        reloadNow();
    } catch (const std::exception& e) {
        Log::sceneManager.error("renameSelectedScene failed: %s", e.what());
    }
    setRenaming(false);
}

void SceneManagerViewModel::deleteSelectedScene() {
    if (!selectedSceneID_ || !services_.store) return;
    const std::string deleted = *selectedSceneID_;
    try {
        services_.store->deleteScene(deleted, ScreenContext::capture(platform_.screens()));
    } catch (const std::exception& e) {
        Log::sceneManager.error("deleteSelectedScene failed: %s", e.what());
        return;
    }
    reloadNow();
    if (auto deletedHandler = services_.onSceneDeleted) deletedHandler(deleted);
}

void SceneManagerViewModel::bindPreset(const ConfigZoneSet& preset) {
    if (!selectedSceneID_ || !services_.store) return;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> scene = services_.store->loadScene(*selectedSceneID_, screens);
    if (!scene) return;
    if (selectedDisplayUUID_.empty() || !preset.layoutTree) return;

    std::string layoutID = preset.id;
    if (services_.onSaveAsUserLayout) {
        const ConfigZoneSet zoneSet = sceneUserLayout(*scene, selectedDisplayUUID_, *preset.layoutTree,
                                                      services_.layoutTemplateResolver.get(),
                                                      *services_.store, screens, platform_.processInfo());
        const std::optional<std::string> stored = services_.onSaveAsUserLayout(zoneSet);
        if (!stored) {
            // Naming a layout that was never written would leave the display with a missing layout, or
            // with the old geometry under a reused id.
            Log::sceneManager.error("bindPreset failed: %s",
                                    "the layout " + zoneSet.id + " could not be stored");
            setShowingPresetPicker(false);
            return;
        }
        layoutID = *stored;
    }

    const std::string display = selectedDisplayUUID_;
    scene->layoutRefsByDisplay[display] = layoutID;
    scene->layoutRefsByDisplay = WMScene::sanitizedLayoutRefs(scene->layoutRefsByDisplay);
    scene->updatedAt = platform_.runLoop().wallClock();
    bool saved = false;
    try {
        services_.store->save(*scene, screens);
        saved = true;
        reloadNow();
    } catch (const std::exception& e) {
        Log::sceneManager.error("bindPreset failed: %s", e.what());
    }
    if (saved && services_.onSceneLayoutChanged) services_.onSceneLayoutChanged(scene->id, display);
    setShowingPresetPicker(false);
}

void SceneManagerViewModel::openEditor() {
    if (!selectedSceneID_) return;
    std::string display = selectedDisplayUUID_;
    if (display.empty()) {
        const auto displays = availableDisplays();
        if (!displays.empty()) display = displays.front().uuid;
    }
    if (services_.onOpenEditor) services_.onOpenEditor(*selectedSceneID_, display);
}

void SceneManagerViewModel::setSelectedSceneID(std::optional<std::string> id) {
    if (selectedSceneID_ == id) return;
    selectedSceneID_ = std::move(id);
    observers_.notify(Property::selectedSceneID);
}

void SceneManagerViewModel::setSelectedDisplayUUID(std::string uuid) {
    if (selectedDisplayUUID_ == uuid) return;
    selectedDisplayUUID_ = std::move(uuid);
    observers_.notify(Property::selectedDisplayUUID);
}

void SceneManagerViewModel::setIsLoading(bool loading) {
    if (isLoading_ == loading) return;
    isLoading_ = loading;
    observers_.notify(Property::isLoading);
}

} // namespace korvane
