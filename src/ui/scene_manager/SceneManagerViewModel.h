// The model behind the "Scene Manager" window: the saved scenes, the active, selected scene and display,
// and the window's actions (create, rename and delete a scene, bind a preset to a display, open the
// editor). Scenes load off the main thread; a generation number drops a load a newer one has overtaken.
#pragma once

#include "layouts/LayoutNode.h"
#include "scenes/model/WMScene.h"
#include "ui/scene_editor/ModelObservers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct ConfigZoneSet;
class LayoutTemplateResolver;
class SceneStore;

namespace platform {
class Platform;
class RunLoop;
} // namespace platform

// A connected display as the window lists it.
struct SceneManagerDisplay {
    std::string uuid;
    std::string name;

    friend bool operator==(const SceneManagerDisplay&, const SceneManagerDisplay&) = default;
};

// Main thread only, except the load that reload() hands to its background queue, which touches only the
// store and what was captured for it.
class SceneManagerViewModel : public std::enable_shared_from_this<SceneManagerViewModel> {
  public:
    enum class Property {
        scenes,
        activeSceneID,
        selectedSceneID,
        selectedDisplayUUID,
        isLoading,
        isRenaming,
        reloadGeneration,
        showingPresetPicker,
    };

    // Where the two halves of a background reload run: the load, and the application of its result.
    struct Queues {
        std::function<void(std::function<void()>)> background;
        std::function<void(std::function<void()>)> main;

        // The run loop's user-initiated global queue and its main queue.
        static Queues of(platform::RunLoop& loop);
    };

    // What the opener hands over. The callbacks hold the application weakly: once it is gone the provider
    // lists no display, onSaveAsUserLayout answers the layout's own id and the others do nothing.
    struct Services {
        std::shared_ptr<SceneStore> store;
        std::shared_ptr<const LayoutTemplateResolver> layoutTemplateResolver;
        // Held for the application; nothing in the window restores.
        std::function<void(const WMScene&)> onRestore;
        std::function<void(const std::string& sceneID, const std::string& displayUUID)> onOpenEditor;
        // The connected displays, in the application's order.
        std::function<std::vector<SceneManagerDisplay>()> availableDisplaysProvider;
        // Stores a zone set as a user layout: the id it is found under, nothing when no file was written.
        std::function<std::optional<std::string>(const ConfigZoneSet&)> onSaveAsUserLayout;
        // Told once the scene file names the layout just bound for the display.
        std::function<void(const std::string& sceneID, const std::string& displayUUID)> onSceneLayoutChanged;
        // Told after a scene's file is removed, the active-scene record cleared with it when it named
        // the scene: what still offers that scene elsewhere is to go.
        std::function<void(const std::string& sceneID)> onSceneDeleted;
    };

    // Empty, nothing selected, loading; then a reload starts.
    static std::shared_ptr<SceneManagerViewModel> make(platform::Platform& platform, Services services);
    static std::shared_ptr<SceneManagerViewModel> make(platform::Platform& platform, Services services,
                                                       Queues queues);

    const std::vector<WMScene>& scenes() const { return scenes_; }
    const std::optional<std::string>& activeSceneID() const { return activeSceneID_; }
    const std::optional<std::string>& selectedSceneID() const { return selectedSceneID_; }
    // Empty when no display is selected.
    const std::string& selectedDisplayUUID() const { return selectedDisplayUUID_; }
    bool isLoading() const { return isLoading_; }
    bool isRenaming() const { return isRenaming_; }
    bool showingPresetPicker() const { return showingPresetPicker_; }
    std::int64_t reloadGeneration() const { return reloadGeneration_; }
    const Services& services() const { return services_; }

    // The connected displays as the provider lists them now.
    std::vector<SceneManagerDisplay> availableDisplays() const;
    // The loaded scene of selectedSceneID; null when none is selected or none matches.
    const WMScene* selectedScene() const;
    // Whether the selected scene has a layout reference or window hints under exactly this key.
    bool isDisplayConfigured(const std::string& displayUUID) const;
    // The tree the selected scene gives the selected display, as the resolver finds its layout.
    std::optional<LayoutNode> selectedDisplayLayout() const;

    // The display to show for a scene: the current one when connected and configured, else the first
    // listed one the scene configures, else the first listed; empty without displays.
    static std::string preferredDisplay(const WMScene& scene,
                                        const std::vector<SceneManagerDisplay>& displays,
                                        const std::string& current);

    // Loads the scenes and the active-scene record in the background and applies them on the main queue
    // unless a newer reload started meanwhile. Shows the loading state only while no scene is listed.
    // Until a scene is chosen in the window the active scene is selected; a chosen one is kept while it
    // is stored; else the first scene.
    void reload();
    // The same load, here and now; the generation and the loading state stay as they are.
    void reloadNow();

    // Selects the scene, and the display best suited to it when it is listed. The choice outlives a reload
    // already under way: its result keeps the scene while it is still stored.
    void selectScene(const std::optional<std::string>& id);
    // Selects a connected display (false, nothing changed, for any other); kept like a selected scene
    // while it stays connected.
    bool selectDisplay(const std::string& uuid);

    void setRenaming(bool renaming);
    void setShowingPresetPicker(bool showing);

    // The window's actions; failures are logged, never returned.
    void createEmptyScene();
    void renameSelectedScene(const std::string& newName);
    void deleteSelectedScene();
    void bindPreset(const ConfigZoneSet& preset);
    void openEditor();

    [[nodiscard]] std::unique_ptr<platform::ObserverToken> subscribe(std::function<void(Property)> observer) {
        return observers_.subscribe(std::move(observer));
    }

  private:
    struct Loaded {
        std::vector<WMScene> scenes;
        std::optional<std::string> activeSceneID;
    };
    struct Captured {
        std::optional<std::string> sceneID;
        std::string displayUUID;
        std::vector<SceneManagerDisplay> displays;
    };

    SceneManagerViewModel(platform::Platform& platform, Services services, Queues queues);

    Captured capture() const;
    static Loaded load(SceneStore* store, const ScreenContext& screens);
    void apply(Loaded loaded, const Captured& captured);
    void setSelectedSceneID(std::optional<std::string> id);
    void setSelectedDisplayUUID(std::string uuid);
    void setIsLoading(bool loading);

    platform::Platform& platform_;
    Services services_;
    Queues queues_;
    std::vector<WMScene> scenes_;
    std::optional<std::string> activeSceneID_;
    std::optional<std::string> selectedSceneID_;
    std::string selectedDisplayUUID_;
    bool isLoading_ = true;
    bool isRenaming_ = false;
    bool showingPresetPicker_ = false;
    std::int64_t reloadGeneration_ = 0;
    // Whether a scene was chosen in the window, by a click or by its opener.
    bool sceneChosen_ = false;
    // Chosen since the last applied load: they win over what a reload captured before they were made.
    std::optional<std::string> requestedSceneID_;
    std::optional<std::string> requestedDisplayUUID_;
    ModelObservers<Property> observers_;
};

} // namespace korvane
