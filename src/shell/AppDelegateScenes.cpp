// The scene actions: the "Save Scene" window and what follows a save, updating the active scene from what
// is on screen, the scene editor with its callbacks, the prompts for newly connected displays, and the
// card switcher's toggle.
#include "shell/AppDelegate.h"

#include "app/DisplayLayouts.h"
#include "app/DisplayRecords.h"
#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/StatusBarEventBus.h"
#include "core/Log.h"
#include "core/MultiDisplayState.h"
#include "core/OwnWindows.h"
#include "core/Rescuer.h"
#include "core/SceneName.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/Platform.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/scene_editor/SceneEditorOverlayController.h"
#include "ui/scene_editor/SceneEditorPanelPool.h"
#include "ui/scene_editor/SceneEditorViewModel.h"
#include "ui/scene_manager/SceneRestoreHUDController.h"
#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/scene_manager/SceneSaveWindowController.h"
#include "ui/scene_manager/UnconfiguredDisplayPrompts.h"
#include "ui/switchers/SceneCardSwitcherController.h"

#include <set>
#include <string>
#include <vector>

namespace korvane {

namespace {

namespace WK = platform::WindowKey;

constexpr double kToastDuration = 0.9;
// Start-up paints the status item and passes over the displays' windows within about half a second, with
// a hundred windows open; the editor's panels are prepared only after that, never in its way.
constexpr Nanos kSceneEditorPrepareDelay = kNanosPerSecond;

} // namespace

std::shared_ptr<SceneStore> AppDelegate::sceneStore() {
    try {
        return SceneStore::shared();
    } catch (const std::exception& e) {
        Log::sceneManager.error("Scene store unavailable: %s", e.what());
        return nullptr;
    }
}

void AppDelegate::showSceneToast(const std::string& message) {
    showToast(message, displayRecords_->resolveActiveDisplayUUID(std::nullopt), kToastDuration);
}

void AppDelegate::showSceneToast(const std::string& before, const std::string& sceneName,
                                 const std::string& after) {
    if (auto screen = toastScreen(displayRecords_->resolveActiveDisplayUUID(std::nullopt)))
        ToastHUDController::shared()->show(before, sceneName, after, *screen, kToastDuration);
}

// ---- The "Save Scene" window ----

void AppDelegate::showSaveSceneSheet() {
    if (saveSceneWindowController_) {
        saveSceneWindowController_->showWindow();
        activateApplication();
        return;
    }
    auto& screens = platform_.screens();
    auto screen = screens.mainScreen();
    if (!screen) {
        const auto all = screens.screens();
        if (all.empty()) {
            // Nothing to capture and nowhere to show the window.
            Log::sceneManager.error("Save Scene requested with no screen connected");
            return;
        }
        screen = all.front();
    }

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto model = std::make_shared<SceneSaveViewModel>(
        platform_, sceneStore(),
        [weak](const WMScene& scene) {
            if (auto self = weak.lock()) self->sceneSaveSheetDidSave(scene);
        },
        [] {});
    model->layoutIDForDisplay = [weak](const std::string& displayUUID) -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->sceneLayoutIDForDisplay(displayUUID) : std::nullopt;
    };
    model->zoneIDForWindow = [weak](WindowID window, const std::string& displayUUID) -> std::optional<int> {
        auto self = weak.lock();
        return self ? self->sceneZoneIDForWindow(window, displayUUID) : std::nullopt;
    };
    model->layoutTemplateResolver = layoutLibrary_;

    auto controller = std::make_shared<SceneSaveWindowController>(model, screens, screen->visibleFrame);
    model->onDismiss = [weakController = std::weak_ptr<SceneSaveWindowController>(controller)] {
        if (auto window = weakController.lock()) window->close();
    };
    // A window closed without saving is forgotten: the next request captures afresh. Dropped on a later
    // turn, as the model whose save closed the window may still be running.
    platform::RunLoop& loop = platform_.runLoop();
    controller->onClose = [weak, &loop, closing = std::weak_ptr<SceneSaveWindowController>(controller)] {
        loop.post([weak, closing] {
            auto self = weak.lock();
            auto window = closing.lock();
            if (self && window && self->saveSceneWindowController_ == window)
                self->saveSceneWindowController_.reset();
        });
    };
    model->loadWindows();

    saveSceneWindowController_ = controller;
    controller->showWindow();
    activateApplication();
}

void AppDelegate::sceneSaveSheetDidSave(const WMScene& scene) {
    Log::sceneManager.info("Scene saved via hotkey: '%s'", scene.name);
    if (auto window = saveSceneWindowController_) window->close();
    saveSceneWindowController_.reset();
    if (auto store = sceneStore()) {
        try {
            store->setActiveScene(scene.id);
        } catch (const std::exception& e) {
            Log::sceneManager.error("Failed to set active scene: %s", e.what());
        }
    }
    activeSceneMayHaveChanged();
    showSceneToast("Saved: ", scene.name, "");
}

void AppDelegate::activeSceneMayHaveChanged() {
    // A prompt offers the scene that was active when its display came; another scene in force now would
    // have its "Apply Layout" lay out the display after a scene the user has left.
    unconfiguredDisplayPrompts_->activeSceneChanged(activeSceneID());
    // The status item's title (the tray icon's tooltip) names the active scene; only the menu is read
    // afresh at each opening.
    statusBarEventBus_->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, "AppDelegate.activeSceneMayHaveChanged"));
}

std::optional<std::string> AppDelegate::sceneLayoutIDForDisplay(const std::string& displayUUID) const {
    if (auto wb = displayWorkbenches_->workbenches.find(displayUUID);
        wb != displayWorkbenches_->workbenches.end())
        return wb->second.activeTemplateID;
    if (auto last = layoutSelection_->lastByDisplay.find(displayUUID);
        last != layoutSelection_->lastByDisplay.end())
        return last->second;
    return std::nullopt;
}

std::optional<int> AppDelegate::sceneZoneIDForWindow(WindowID window, const std::string& displayUUID) const {
    auto state = multiState_->states.find(displayUUID);
    if (state == multiState_->states.end() || !state->second) return std::nullopt;
    auto zone = state->second->zoneOf.find(window);
    if (zone == state->second->zoneOf.end()) return std::nullopt;
    return zone->second;
}

// ---- Updating the active scene ----

void AppDelegate::updateActiveScene() {
    auto store = sceneStore();
    auto active = store ? store->lookUpActiveScene(ScreenContext::capture(platform_.screens()))
                        : SceneStore::ActiveSceneLookup{};
    if (active.unreadableFile) {
        // Nothing to update from, and "no active scene" would be untrue: the record names one.
        Log::sceneManager.error("Active scene cannot be updated: %s %s", active.unreadableFile->string(),
                                active.reason);
        showSceneToast("Active scene cannot be read");
        return;
    }
    if (!active.scene) {
        showSceneToast("No active scene to update");
        return;
    }
    handleUpdateScene(*active.scene);
}

void AppDelegate::handleUpdateScene(const WMScene& activeScene) {
    auto store = sceneStore();
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    auto scene = store ? store->loadScene(activeScene.id, screens) : std::nullopt;
    if (!scene) {
        showSceneToast("Scene not found");
        return;
    }
    const int displays = captureSceneSnapshot(*scene);
    try {
        store->save(*scene, screens);
    } catch (const std::exception& e) {
        Log::sceneManager.error("Failed to update scene: %s", e.what());
        showSceneToast("Update failed");
        return;
    }
    Log::sceneManager.info("Updated scene '%s' with %ld display snapshots", scene->name, displays);
    showSceneToast("Updated: ", scene->name, " (" + std::to_string(displays) + " displays)");
    statusBarEventBus_->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, "AppDelegate+Scene.handleUpdateScene"));
}

int AppDelegate::captureSceneSnapshot(WMScene& scene) {
    auto& screens = platform_.screens();

    WMScene::LayoutRefMap layoutRefs;
    std::set<std::string> connected;
    for (const auto& screen : screens.screens()) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        connected.insert(uuid);
        const std::optional<std::string> live = sceneLayoutIDForDisplay(uuid);
        std::optional<std::string> stored;
        if (auto own = scene.layoutRefsByDisplay.find(uuid); own != scene.layoutRefsByDisplay.end())
            stored = own->second;
        else if (auto fallback = scene.layoutRefsByDisplay.find(WMScene::kDefaultDisplayKey);
                 fallback != scene.layoutRefsByDisplay.end())
            stored = fallback->second;
        if (auto kept = sceneNameForDisplay(live))
            layoutRefs[uuid] = *kept;
        else if (auto keptStored = sceneNameForDisplay(stored))
            layoutRefs[uuid] = *keptStored;
    }

    WMScene::WindowHintMap hints;
    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    // Window-list bounds are top-left; the screens and the zones they are looked up in are bottom-left.
    const auto height = flipHeight(screens);
    if (list && height) {
        const auto connected = screens.screens();
        for (const auto& entry : *list) {
            if (!entry.is_object()) continue;
            if (windowinfo::integerValue(entry, WK::layer) != 0) continue;
            const auto owner = windowinfo::stringValue(entry, WK::ownerName);
            if (!owner || *owner == "WindowServer") continue;
            const auto number = windowinfo::windowNumber(entry);
            const auto pid = windowinfo::ownerPID(entry);
            if (!number || !pid || isOwnProcess(platform_, *pid)) continue;
            const auto app = platform_.workspace().runningApplication(*pid);
            if (!app || !app->bundleID) continue;

            const Rect frame = flipRect(windowinfo::boundsOrZero(entry), *height);
            // A parked window is in no zone, though the sliver the window manager keeps on screen lies in
            // one: recorded there, the next restore would bring it out of parking.
            if (isParkedWindow(entry, frame, connected)) continue;
            const std::string displayUUID = DisplayUtil::displayUUID(screens, frame);
            std::optional<int> zone = sceneZoneIDForWindow(*number, displayUUID);
            if (!zone) {
                const ZoneMatch match = controller_->zoneForFrame(frame, displayUUID);
                if (match.method == ZoneMatchMethod::none) continue;
                zone = match.zoneID;
            }
            hints[displayUUID].push_back(WindowHint{*app->bundleID, *zone, std::nullopt});
        }
    }

    // Only the connected displays are seen now: a display that is away (a laptop off its dock) keeps
    // the layout and the windows the scene holds for it, to have them when it comes back.
    const int snapshots = static_cast<int>(layoutRefs.size());
    const auto isAway = [&connected](const std::string& key) {
        return key != WMScene::kDefaultDisplayKey && !connected.count(key);
    };
    for (const auto& [key, ref] : scene.layoutRefsByDisplay)
        if (isAway(key)) layoutRefs.emplace(key, ref);
    for (auto& [key, list] : scene.windowHints)
        if (isAway(key)) hints.emplace(key, std::move(list));

    scene.layoutRefsByDisplay = std::move(layoutRefs);
    scene.windowHints = std::move(hints);
    scene.updatedAt = platform_.runLoop().wallClock();
    return snapshots;
}

// ---- The scene editor ----

void AppDelegate::showSceneEditor(const std::optional<std::string>& sceneID,
                                  const std::optional<std::string>& displayUUID) {
    if (sceneEditorOverlayController_ && sceneEditorOverlayController_->isAnyPanelVisible()) {
        sceneEditorOverlayController_->openScene(sceneID, displayUUID);
        Log::sceneManager.debug("Scene Editor reused existing overlay");
        return;
    }
    auto& screens = platform_.screens();
    const auto all = screens.screens();
    std::optional<platform::ScreenInfo> target;
    if (displayUUID)
        for (const auto& screen : all)
            if (!target && DisplayUtil::displayUUID(screen) == *displayUUID) target = screen;
    if (!target) target = screens.mainScreen();
    if (!target && !all.empty()) target = all.front();
    if (!target) {
        Log::sceneManager.error("Scene Editor requested with no screen connected");
        return;
    }
    const Nanos started = platform_.runLoop().now();

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    // A controller whose panels were all hidden by other means is replaced; it closes what it still holds.
    if (!sceneEditorPanels_) sceneEditorPanels_ = std::make_shared<SceneEditorPanelPool>(screens);
    auto controller = std::make_shared<SceneEditorOverlayController>(platform_, nullptr, sceneEditorPanels_);
    controller->onDidClose = [weak] {
        if (auto self = weak.lock()) self->sceneEditorDidClose();
    };
    controller->onSave = [weak] {
        if (auto self = weak.lock()) self->sceneEditorDidSave();
    };

    SceneEditorViewModel::Services services;
    services.store = sceneStore();
    services.layoutTemplateResolver = layoutLibrary_;
    services.onRestore = [weak](const WMScene& scene) {
        if (auto self = weak.lock()) self->restoreAndReport(scene);
    };
    platform::Platform& platform = platform_;
    services.availableDisplaysProvider = [weak, &platform] {
        std::vector<SceneEditorDisplay> displays;
        auto self = weak.lock();
        if (!self) return displays;
        for (const auto& uuid : self->availableDisplayUUIDs())
            displays.push_back({uuid, DisplayUtil::displayName(platform.screens(), uuid)});
        return displays;
    };
    services.onSaveAsUserLayout = userLayoutSaver();
    services.onSceneLayoutChanged = sceneLayoutListener();
    controller->viewModel = SceneEditorViewModel::open(platform_, std::move(services), sceneID, displayUUID,
                                                       DisplayUtil::displayUUID(*target));
    controller->coverScreens(all);
    for (const auto& screen : all) {
        const std::string uuid = DisplayUtil::displayUUID(screen);
        controller->addPanel(screen, uuid, DisplayUtil::displayName(screens, uuid));
    }
    controller->bringPanelsToFront();
    activateApplication();
    controller->openScene(sceneID, displayUUID);
    sceneEditorOverlayController_ = controller;
    Log::sceneManager.info("Scene Editor overlay shown in %ldms",
                           static_cast<long>((platform_.runLoop().now() - started) / 1000000));
}

void AppDelegate::prepareSceneEditorWhenIdle() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    (void)platform_.runLoop().postAfter(kSceneEditorPrepareDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (!self->sceneEditorPanels_)
            self->sceneEditorPanels_ = std::make_shared<SceneEditorPanelPool>(self->platform_.screens());
        self->sceneEditorPanels_->makeAheadWhenIdle(self->platform_, [weak] {
            auto app = weak.lock();
            return app ? app->runningSceneApplications() : std::vector<std::string>{};
        });
    });
}

std::vector<std::string> AppDelegate::runningSceneApplications() {
    std::set<std::string> running;
    for (const auto& app : platform_.workspace().runningApplications())
        if (app.bundleID) running.insert(*app.bundleID);
    std::set<std::string> shown;
    if (auto store = sceneStore())
        for (const auto& scene : store->loadAllScenes(ScreenContext::capture(platform_.screens())))
            for (const auto& [display, hints] : scene.windowHints)
                for (const auto& hint : hints)
                    if (running.count(hint.bundleID)) shown.insert(hint.bundleID);
    return {shown.begin(), shown.end()};
}

void AppDelegate::restoreAndReport(const WMScene& scene, const char* refreshSource) {
    // The card tells what became of the windows, so it comes once their moves have ended; the scene is
    // the active one at once.
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    sceneRestoreEngine()->restore(scene, [weak](const SceneRestoreResult& result) {
        auto self = weak.lock();
        if (!self) return;
        SceneRestoreHUDController::shared()->show(result, std::nullopt,
                                                  self->sceneRestoreServices_->awaitsLaunchedWindows());
    });
    activeSceneMayHaveChanged();
    if (refreshSource)
        statusBarEventBus_->publish(StatusBarInvalidationEvent::refreshRequested(
            StatusBarInvalidationReason::externalStateChanged, refreshSource));
}

void AppDelegate::sceneEditorDidSave() {
    reloadOpenSceneManager();
}

void AppDelegate::sceneEditorDidClose() {
    // Dropped on a later turn: the editor's own close handling is still on the stack.
    if (auto closing = std::move(sceneEditorOverlayController_)) platform_.runLoop().post([closing] {});
    reloadOpenSceneManager();
}

// ---- The card switcher ----

void AppDelegate::toggleSceneCardSwitcher() {
    if (!sceneCardSwitcherController_) return;
    if (sceneCardSwitcherController_->isVisible())
        sceneCardSwitcherController_->hide();
    else
        sceneCardSwitcherController_->show();
}

// ---- Newly connected displays ----

void AppDelegate::handleDisplaysChangedForScenes(const std::optional<nlohmann::json>& userInfo) {
    unconfiguredDisplayPrompts_->handleDisplaysChanged(userInfo);
}

void AppDelegate::applySceneToNewDisplay(const WMScene& scene, const std::string& displayUUID) {
    // That display alone: applying a layout empties its stacks, and the sweep serves only this display.
    displayLayouts_->applyLayoutFromScene(scene, displayUUID);
    sceneRestoreEngine()->applyDisplay(displayUUID, scene);
    Log::sceneManager.info("M3: applied Scene '%s' to newly connected display '%s'", scene.name, displayUUID);
}

void AppDelegate::setUpSceneForNewDisplay(const WMScene& scene, const std::string& displayUUID) {
    showSceneManager(scene.id, displayUUID);
}

void AppDelegate::sceneLayoutChanged(const std::string& sceneID, const std::string& displayUUID) {
    // The active scene's layouts are what its displays show: a display left on the layout it had would
    // refuse pushes into the zones the user now sees in the scene, and the next "Update" would record
    // that old layout over the user's choice. Another scene's layout waits for its restore.
    if (activeSceneID() != sceneID) return;
    auto store = sceneStore();
    const auto scene =
        store ? store->loadScene(sceneID, ScreenContext::capture(platform_.screens())) : std::nullopt;
    if (!scene) return;
    // That display alone, as a restore gives it its layout: its zones take back the windows that the
    // layout memory lists for them and that lie in them; the other displays keep their stacks.
    displayLayouts_->applyLayoutFromScene(*scene, displayUUID);
}

} // namespace korvane
