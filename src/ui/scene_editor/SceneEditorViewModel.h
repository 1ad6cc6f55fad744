// The one model that every panel of an open scene editor shares: the saved scenes and the active one, the
// scene being edited and the display whose panel is in front, and the services the canvases need. Scenes
// load off the main thread; a generation number drops a load that a newer one has overtaken.
#pragma once

#include "scenes/model/WMScene.h"
#include "ui/scene_editor/ModelObservers.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct ConfigZoneSet;
class LayoutTemplateResolver;
class SceneGeometryCanvasModel;
class SceneStore;

namespace platform {
class Platform;
}

// A connected display as the editor lists it.
struct SceneEditorDisplay {
    std::string uuid;
    std::string name;

    friend bool operator==(const SceneEditorDisplay&, const SceneEditorDisplay&) = default;
};

// Main thread only, except the load that reload() starts, which touches only the store and its files.
class SceneEditorViewModel : public std::enable_shared_from_this<SceneEditorViewModel> {
  public:
    enum class Property { scenes, activeSceneID, selectedSceneID, selectedDisplayUUID, isLoading };

    // What the opener hands over. The callbacks hold the application weakly: once it is gone, onRestore
    // does nothing, the provider lists no display and onSaveAsUserLayout answers the layout's own id.
    struct Services {
        std::shared_ptr<SceneStore> store;
        // Held strongly; nothing means no layout can be chosen on any canvas.
        std::shared_ptr<const LayoutTemplateResolver> layoutTemplateResolver;
        std::function<void(const WMScene&)> onRestore;
        // The connected displays, ascending by UUID.
        std::function<std::vector<SceneEditorDisplay>()> availableDisplaysProvider;
        // Stores edited geometry as a user layout: the id to reference it by, nothing when it was not stored.
        std::function<std::optional<std::string>(const ConfigZoneSet&)> onSaveAsUserLayout;
        // Told once the scene file names a layout stored or chosen anew for the display.
        std::function<void(const std::string& sceneID, const std::string& displayUUID)> onSceneLayoutChanged;
    };

    // No scenes, nothing active or selected, no display, loading.
    static std::shared_ptr<SceneEditorViewModel> make(platform::Platform& platform, Services services);
    // The model as the editor opens on it: made, reloading, with the requested scene selected and the
    // requested display, else the display of the screen the editor opens on. The request holds whichever
    // of the reload and the selection completes first.
    static std::shared_ptr<SceneEditorViewModel> open(platform::Platform& platform, Services services,
                                                      const std::optional<std::string>& sceneID,
                                                      const std::optional<std::string>& displayUUID,
                                                      const std::string& targetDisplayUUID);

    const std::vector<WMScene>& scenes() const { return scenes_; }
    const std::optional<std::string>& activeSceneID() const { return activeSceneID_; }
    const std::optional<std::string>& selectedSceneID() const { return selectedSceneID_; }
    // "default" when no display is known.
    const std::string& selectedDisplayUUID() const { return selectedDisplayUUID_; }
    bool isLoading() const { return isLoading_; }
    std::int64_t reloadGeneration() const { return reloadGeneration_; }

    const std::shared_ptr<SceneStore>& store() const { return services_.store; }
    const std::shared_ptr<const LayoutTemplateResolver>& layoutTemplateResolver() const {
        return services_.layoutTemplateResolver;
    }
    const Services& services() const { return services_; }

    // The scene of selectedSceneID among the loaded scenes; null when none is selected or none matches.
    const WMScene* selectedScene() const;

    // Reads the scenes and the active-scene record on a background queue and applies them here, keeping
    // the selection when its scene is still there. Only the newest reload's result is applied.
    void reload();
    // Selects the scene on the main queue, with the display best suited to it; the next reload applied
    // selects it too.
    void selectScene(const std::string& id);
    // Brings the display's panel to the front at once, and keeps it for the next reload applied or scene
    // selected while it is connected.
    void selectDisplay(const std::string& uuid);

    // The display to show for a scene: the current one when the scene configures it, else the first listed
    // display the scene configures by name, else the current one when it is connected, else the first one;
    // nothing without displays. A scene's "default" key configures no display of its own.
    static std::optional<std::string> preferredDisplayUUID(const WMScene& scene,
                                                           const std::vector<SceneEditorDisplay>& displays,
                                                           const std::string& current);

    // The canvas each panel shows for its display, held weakly: a chip dragged from one display's canvas
    // onto another's leaves the first as it joins the second.
    void setCanvas(const std::string& displayUUID, const std::shared_ptr<SceneGeometryCanvasModel>& canvas);
    // Nothing when the display's canvas is gone or was never made.
    std::shared_ptr<SceneGeometryCanvasModel> canvas(const std::string& displayUUID) const;

    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(std::function<void(Property)> observer) {
        return observers_.subscribe(std::move(observer));
    }

  private:
    struct Loaded {
        std::vector<WMScene> scenes;
        std::optional<std::string> activeSceneID;
    };

    SceneEditorViewModel(platform::Platform& platform, Services services);

    std::vector<SceneEditorDisplay> displays() const;
    void apply(std::int64_t generation, Loaded loaded, const std::optional<std::string>& capturedScene,
               const std::string& capturedDisplay, const std::vector<SceneEditorDisplay>& displays);
    void setSelectedSceneID(std::optional<std::string> id);
    void setSelectedDisplayUUID(std::string uuid);
    void setIsLoading(bool loading);

    platform::Platform& platform_;
    Services services_;
    std::vector<WMScene> scenes_;
    std::optional<std::string> activeSceneID_;
    std::optional<std::string> selectedSceneID_;
    std::string selectedDisplayUUID_;
    bool isLoading_ = true;
    std::int64_t reloadGeneration_ = 0;
    // What the opener asked for, honoured over the selection a running reload captured before it.
    std::optional<std::string> requestedSceneID_;
    std::optional<std::string> requestedDisplayUUID_;
    std::map<std::string, std::weak_ptr<SceneGeometryCanvasModel>> canvases_;
    ModelObservers<Property> observers_;
};

} // namespace korvane
