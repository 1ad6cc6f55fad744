// Prompts for newly connected displays: shown as displays arrive, closed as they leave.
#include "ui/scene_manager/UnconfiguredDisplayPrompts.h"

#include "app/DisplayUtil.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/scene_manager/UnconfiguredDisplayToastController.h"

#include <vector>

namespace korvane {

namespace {

// The display UUIDs under `key`; anything but a list of text reads as none.
std::set<std::string> displaySet(const std::optional<nlohmann::json>& userInfo, const char* key) {
    if (!userInfo || !userInfo->is_object()) return {};
    const auto it = userInfo->find(key);
    if (it == userInfo->end() || !it->is_array()) return {};
    std::set<std::string> uuids;
    for (const auto& entry : *it) {
        if (!entry.is_string()) return {};
        uuids.insert(entry.get<std::string>());
    }
    return uuids;
}

} // namespace

UnconfiguredDisplayPrompts::UnconfiguredDisplayPrompts(
    platform::Platform& platform, std::function<std::shared_ptr<SceneStore>()> sceneStore)
    : platform_(platform), sceneStore_(std::move(sceneStore)) {}

UnconfiguredDisplayPrompts::~UnconfiguredDisplayPrompts() = default;

bool UnconfiguredDisplayPrompts::showUnconfiguredDisplayPrompt() const {
    auto& defaults = platform_.userDefaults();
    if (!defaults.object(kShowPromptDefaultsKey)) return true;
    return defaults.boolValue(kShowPromptDefaultsKey).value_or(false);
}

void UnconfiguredDisplayPrompts::handleDisplaysChanged(const std::optional<nlohmann::json>& userInfo) {
    const auto added = displaySet(userInfo, "addedDisplayUUIDs");
    for (const auto& uuid : displaySet(userInfo, "removedDisplayUUIDs"))
        close(uuid);
    if (added.empty() || !showUnconfiguredDisplayPrompt()) return;

    auto store = sceneStore_ ? sceneStore_() : nullptr;
    if (!store) return;
    const ScreenContext context = ScreenContext::capture(platform_.screens());
    const auto active = store->loadActiveScene(context);
    if (!active) return;

    // A set: ascending order of the UUIDs, each once.
    for (const auto& uuid : added) {
        if (dismissed_.count(uuid)) continue;
        const platform::ScreenInfo* screen = nullptr;
        for (const auto& s : context.screens)
            if (DisplayUtil::displayUUID(s) == uuid) screen = &s;
        if (!screen) continue;
        showPrompt(*active, uuid, *screen);
    }
}

void UnconfiguredDisplayPrompts::showPrompt(const WMScene& scene, const std::string& displayUUID,
                                            const platform::ScreenInfo& screen) {
    // The prompt standing for the display goes first: replaced without hiding, its panel would stay for
    // good with buttons that still act.
    close(displayUUID);

    auto controller = std::make_shared<UnconfiguredDisplayToastController>(platform_);
    std::weak_ptr<UnconfiguredDisplayToastController> weakPrompt = controller;
    std::weak_ptr<UnconfiguredDisplayPrompts> weak = weak_from_this();

    UnconfiguredDisplayToastView::Content content;
    // Exactly this display: a layout the scene keeps for any display does not count.
    if (scene.layoutRefsByDisplay.count(displayUUID)) {
        content.sceneName = scene.name;
        content.onApply = [weakPrompt, weak, scene, displayUUID] {
            UnconfiguredDisplayToastController::dismissThen(weakPrompt, [weak, scene, displayUUID] {
                auto self = weak.lock();
                if (!self) return;
                if (auto apply = self->onApply) apply(scene, displayUUID);
                self->remove(displayUUID);
            });
        };
    }
    content.onSetup = [weakPrompt, weak, scene, displayUUID] {
        UnconfiguredDisplayToastController::dismissThen(weakPrompt, [weak, scene, displayUUID] {
            auto self = weak.lock();
            if (!self) return;
            self->remove(displayUUID);
            if (auto setUp = self->onSetUp) setUp(scene, displayUUID);
        });
    };
    content.onDismiss = [weakPrompt, weak, displayUUID] {
        UnconfiguredDisplayToastController::dismissThen(weakPrompt, [weak, displayUUID] {
            if (auto self = weak.lock()) self->dismissNewDisplayPrompt(displayUUID);
        });
    };
    controller->show(screen, std::move(content));
    prompts_[displayUUID] = Standing{std::move(controller), scene.id};
}

void UnconfiguredDisplayPrompts::activeSceneChanged(const std::optional<std::string>& activeSceneID) {
    std::vector<std::string> stale;
    for (const auto& [displayUUID, standing] : prompts_)
        if (standing.sceneID != activeSceneID) stale.push_back(displayUUID);
    for (const auto& displayUUID : stale)
        close(displayUUID);
}

void UnconfiguredDisplayPrompts::dismissNewDisplayPrompt(const std::string& displayUUID) {
    dismissed_.insert(displayUUID);
    remove(displayUUID);
}

void UnconfiguredDisplayPrompts::remove(const std::string& displayUUID) {
    prompts_.erase(displayUUID);
}

std::shared_ptr<UnconfiguredDisplayToastController>
UnconfiguredDisplayPrompts::prompt(const std::string& displayUUID) const {
    auto found = prompts_.find(displayUUID);
    return found == prompts_.end() ? nullptr : found->second.controller;
}

void UnconfiguredDisplayPrompts::close(const std::string& displayUUID) {
    auto found = prompts_.find(displayUUID);
    if (found == prompts_.end()) return;
    found->second.controller->dismiss();
    prompts_.erase(found);
}

} // namespace korvane
