// The prompts offered for newly connected displays: which display has one standing, which displays the
// user has dismissed for the rest of the run, and the reaction to displays coming and going.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace korvane {

class SceneStore;
class UnconfiguredDisplayToastController;
struct WMScene;

namespace platform {
class Platform;
struct ScreenInfo;
} // namespace platform

// Main thread only. Holds the registry and the dismissed set; what Apply and Set Up do is the owner's.
class UnconfiguredDisplayPrompts : public std::enable_shared_from_this<UnconfiguredDisplayPrompts> {
  public:
    // The user default that turns the prompts off; true when absent.
    static constexpr const char* kShowPromptDefaultsKey = "ShowUnconfiguredDisplayPrompt";

    // `sceneStore` answers the application's scene store, nothing when it cannot be had.
    UnconfiguredDisplayPrompts(platform::Platform& platform,
                               std::function<std::shared_ptr<SceneStore>()> sceneStore);
    ~UnconfiguredDisplayPrompts();
    UnconfiguredDisplayPrompts(const UnconfiguredDisplayPrompts&) = delete;
    UnconfiguredDisplayPrompts& operator=(const UnconfiguredDisplayPrompts&) = delete;

    // Set by the owner, holding it weakly. Each runs after the prompt has hidden itself; the registry
    // forgets the prompt after Apply has run and before Set Up runs.
    std::function<void(const WMScene& scene, const std::string& displayUUID)> onApply;
    std::function<void(const WMScene& scene, const std::string& displayUUID)> onSetUp;

    // Displays added and removed, as the display observer's notice lists them under "addedDisplayUUIDs"
    // and "removedDisplayUUIDs" (a missing key or a value that is not a list of text reads as none).
    // Removed displays lose their prompts. Then, when the option allows, a scene is active and the
    // display is connected and not dismissed, each added display gets a prompt, in ascending order of
    // UUID, on its own screen, with "Apply Layout" when the active scene names a layout for exactly that
    // display. A prompt standing for a display is hidden before its new one shows.
    void handleDisplaysChanged(const std::optional<nlohmann::json>& userInfo);
    bool showUnconfiguredDisplayPrompt() const;

    // The active scene is now `activeSceneID` (nothing when no scene is active): every prompt offered for
    // another scene is hidden and forgotten, as its buttons would act on a scene no longer in force.
    void activeSceneChanged(const std::optional<std::string>& activeSceneID);

    // The prompt's Dismiss: no prompt for the display again until the process ends.
    void dismissNewDisplayPrompt(const std::string& displayUUID);
    // Forgets the display's prompt without hiding it (it has hidden itself already).
    void remove(const std::string& displayUUID);

    // The prompt standing for the display; nullptr when there is none. A prompt whose countdown ended stays
    // registered, hidden, until its display is removed or prompted again.
    std::shared_ptr<UnconfiguredDisplayToastController> prompt(const std::string& displayUUID) const;
    std::size_t promptCount() const { return prompts_.size(); }
    bool isDismissed(const std::string& displayUUID) const { return dismissed_.count(displayUUID) > 0; }

  private:
    void showPrompt(const WMScene& scene, const std::string& displayUUID, const platform::ScreenInfo& screen);
    void close(const std::string& displayUUID);

    struct Standing {
        std::shared_ptr<UnconfiguredDisplayToastController> controller;
        std::string sceneID; // the scene it offers
    };

    platform::Platform& platform_;
    std::function<std::shared_ptr<SceneStore>()> sceneStore_;
    std::map<std::string, Standing> prompts_;
    std::set<std::string> dismissed_;
};

} // namespace korvane
