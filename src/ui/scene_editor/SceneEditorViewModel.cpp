// The editor's shared model: background reloads guarded by their generation, and the choice of the scene
// and display to show.
#include "ui/scene_editor/SceneEditorViewModel.h"

#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

bool hasDisplay(const std::vector<SceneEditorDisplay>& displays, const std::string& uuid) {
    return std::any_of(displays.begin(), displays.end(),
                       [&](const SceneEditorDisplay& d) { return d.uuid == uuid; });
}

} // namespace

SceneEditorViewModel::SceneEditorViewModel(platform::Platform& platform, Services services)
    : platform_(platform), services_(std::move(services)) {}

std::shared_ptr<SceneEditorViewModel> SceneEditorViewModel::make(platform::Platform& platform,
                                                                 Services services) {
    return std::shared_ptr<SceneEditorViewModel>(new SceneEditorViewModel(platform, std::move(services)));
}

std::shared_ptr<SceneEditorViewModel> SceneEditorViewModel::open(
    platform::Platform& platform, Services services, const std::optional<std::string>& sceneID,
    const std::optional<std::string>& displayUUID, const std::string& targetDisplayUUID) {
    auto model = make(platform, std::move(services));
    model->reload();
    if (sceneID) model->selectScene(*sceneID);
    if (displayUUID && !displayUUID->empty())
        model->selectDisplay(*displayUUID);
    else if (model->selectedDisplayUUID_.empty())
        model->setSelectedDisplayUUID(targetDisplayUUID);
    return model;
}

const WMScene* SceneEditorViewModel::selectedScene() const {
    if (!selectedSceneID_) return nullptr;
    return WMScene::withID(scenes_, *selectedSceneID_);
}

std::vector<SceneEditorDisplay> SceneEditorViewModel::displays() const {
    if (!services_.availableDisplaysProvider) return {};
    return services_.availableDisplaysProvider();
}

void SceneEditorViewModel::reload() {
    const std::int64_t generation = ++reloadGeneration_;
    std::optional<std::string> capturedScene = selectedSceneID_;
    std::string capturedDisplay = selectedDisplayUUID_;
    std::vector<SceneEditorDisplay> displayList = displays();
    setIsLoading(true);

    // The screens decide where a scene's "default" entry goes as its files decode; they are read here, on
    // the main thread, like everything else the load takes along.
    ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::shared_ptr<SceneStore> store = services_.store;
    std::weak_ptr<SceneEditorViewModel> weak = weak_from_this();
    platform::RunLoop& loop = platform_.runLoop();
    loop.dispatchGlobal(platform::QueueQoS::UserInitiated, [&loop, weak, generation, store,
                                                            screens = std::move(screens),
                                                            capturedScene = std::move(capturedScene),
                                                            capturedDisplay = std::move(capturedDisplay),
                                                            displayList = std::move(displayList)]() mutable {
        Loaded loaded;
        if (store) {
            loaded.scenes = store->loadAllScenes(screens);
            if (auto state = store->readActiveState()) loaded.activeSceneID = state->activeSceneID;
        }
        loop.post([weak, generation, loaded = std::move(loaded), capturedScene = std::move(capturedScene),
                   capturedDisplay = std::move(capturedDisplay),
                   displayList = std::move(displayList)]() mutable {
            if (auto self = weak.lock())
                self->apply(generation, std::move(loaded), capturedScene, capturedDisplay, displayList);
        });
    });
}

void SceneEditorViewModel::apply(std::int64_t generation, Loaded loaded,
                                 const std::optional<std::string>& capturedScene,
                                 const std::string& capturedDisplay,
                                 const std::vector<SceneEditorDisplay>& displayList) {
    // A newer reload is under way and applies its own result.
    if (generation != reloadGeneration_) return;

    scenes_ = std::move(loaded.scenes);
    observers_.notify(Property::scenes);
    if (activeSceneID_ != loaded.activeSceneID) {
        activeSceneID_ = std::move(loaded.activeSceneID);
        observers_.notify(Property::activeSceneID);
    }

    const std::optional<std::string> wanted = requestedSceneID_ ? requestedSceneID_ : capturedScene;
    const WMScene* selected = wanted ? WMScene::withID(scenes_, *wanted) : nullptr;
    if (!selected && !scenes_.empty()) selected = &scenes_.front();
    setSelectedSceneID(selected ? std::optional(selected->id) : std::nullopt);

    const std::string fallback = displayList.empty() ? WMScene::kDefaultDisplayKey : displayList.front().uuid;
    if (requestedDisplayUUID_ && hasDisplay(displayList, *requestedDisplayUUID_))
        setSelectedDisplayUUID(*requestedDisplayUUID_);
    else if (selected)
        setSelectedDisplayUUID(
            preferredDisplayUUID(*selected, displayList, capturedDisplay).value_or(fallback));
    else if (!capturedDisplay.empty() && hasDisplay(displayList, capturedDisplay))
        setSelectedDisplayUUID(capturedDisplay);
    else
        setSelectedDisplayUUID(fallback);

    requestedSceneID_.reset();
    requestedDisplayUUID_.reset();
    setIsLoading(false);
}

void SceneEditorViewModel::selectScene(const std::string& id) {
    if (selectedSceneID_ == id) return;
    requestedSceneID_ = id;
    // A display asked for with an earlier scene is not this scene's.
    requestedDisplayUUID_.reset();
    std::weak_ptr<SceneEditorViewModel> weak = weak_from_this();
    platform_.runLoop().post([weak, id] {
        auto self = weak.lock();
        if (!self) return;
        self->setSelectedSceneID(id);
        const WMScene* scene = WMScene::withID(self->scenes_, id);
        if (!scene) return;
        const std::vector<SceneEditorDisplay> displayList = self->displays();
        if (self->requestedDisplayUUID_ && hasDisplay(displayList, *self->requestedDisplayUUID_)) {
            self->setSelectedDisplayUUID(*self->requestedDisplayUUID_);
            return;
        }
        if (auto preferred = preferredDisplayUUID(*scene, displayList, self->selectedDisplayUUID_))
            self->setSelectedDisplayUUID(*preferred);
    });
}

void SceneEditorViewModel::selectDisplay(const std::string& uuid) {
    requestedDisplayUUID_ = uuid;
    setSelectedDisplayUUID(uuid);
}

std::optional<std::string> SceneEditorViewModel::preferredDisplayUUID(
    const WMScene& scene, const std::vector<SceneEditorDisplay>& displays, const std::string& current) {
    if (displays.empty()) return std::nullopt;
    if (!current.empty() && scene.configuresDisplay(current) && hasDisplay(displays, current)) return current;
    for (const auto& display : displays)
        if (display.uuid != WMScene::kDefaultDisplayKey && scene.configuresDisplay(display.uuid))
            return display.uuid;
    if (!current.empty() && hasDisplay(displays, current)) return current;
    return displays.front().uuid;
}

void SceneEditorViewModel::setCanvas(const std::string& displayUUID,
                                     const std::shared_ptr<SceneGeometryCanvasModel>& canvas) {
    canvases_[displayUUID] = canvas;
}

std::shared_ptr<SceneGeometryCanvasModel> SceneEditorViewModel::canvas(const std::string& displayUUID) const {
    const auto found = canvases_.find(displayUUID);
    return found == canvases_.end() ? nullptr : found->second.lock();
}

void SceneEditorViewModel::setSelectedSceneID(std::optional<std::string> id) {
    if (selectedSceneID_ == id) return;
    selectedSceneID_ = std::move(id);
    observers_.notify(Property::selectedSceneID);
}

void SceneEditorViewModel::setSelectedDisplayUUID(std::string uuid) {
    if (selectedDisplayUUID_ == uuid) return;
    selectedDisplayUUID_ = std::move(uuid);
    observers_.notify(Property::selectedDisplayUUID);
}

void SceneEditorViewModel::setIsLoading(bool loading) {
    if (isLoading_ == loading) return;
    isLoading_ = loading;
    observers_.notify(Property::isLoading);
}

} // namespace korvane
