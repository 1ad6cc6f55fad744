// The prompt offered when a display is connected while a scene is active, on the simulated desktop with
// displays plugged in and out: which displays get one, with or without "Apply Layout", what Apply and
// Dismiss do, and prompts closing with their displays.
#include "LaunchFixture.h"

#include "app/DisplayWorkbenchSet.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "scenes/SceneStore.h"
#include "ui/scene_manager/UnconfiguredDisplayPrompts.h"
#include "ui/scene_manager/UnconfiguredDisplayToastController.h"
#include "ui/scene_manager/UnconfiguredDisplayToastPanel.h"
#include "ui/scene_manager/UnconfiguredDisplayToastView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

using namespace korvane;

namespace {

class AppDelegateDisplayPromptTest : public korvane::testing::LaunchTest {
  protected:
    void SetUp() override {
        LaunchTest::SetUp();
        markScenesConverted();
        addScreen("D1", Rect{0, 0, 1920, 1080});
    }
    void TearDown() override {
        if (app) app->applicationWillTerminate();
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LaunchTest::TearDown();
    }

    void activeScene(WMScene::LayoutRefMap refs) {
        WMScene scene;
        scene.id = desktop->process().makeUUID();
        scene.name = "Desk";
        scene.layoutRefsByDisplay = std::move(refs);
        auto store = SceneStore::shared();
        store->save(scene, ScreenContext::capture(desktop->screens()));
        store->setActiveScene(scene.id);
    }
    // Side by side to the right of the main display, each at its own place.
    int plug(const std::string& uuid) {
        const double x = uuid == "D3" ? 3360 : 1920;
        const int id = desktop->screens().addDisplay({.frame = Rect{x, 0, 1440, 900}, .uuid = uuid});
        desktop->loop().advance(seconds(2));
        return id;
    }
    void unplug(int id) {
        desktop->screens().removeDisplay(id);
        desktop->loop().advance(seconds(2));
    }
    UnconfiguredDisplayPrompts& prompts() { return app->unconfiguredDisplayPrompts(); }
    UnconfiguredDisplayToastPanel* panelFor(const std::string& uuid) {
        auto prompt = prompts().prompt(uuid);
        return prompt ? prompt->panel() : nullptr;
    }
    static int visiblePrompts() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == UnconfiguredDisplayToastPanel::kTitle) ++count;
        return count;
    }
};

} // namespace

TEST_F(AppDelegateDisplayPromptTest, aDisplayTheActiveSceneConfiguresIsOfferedItsLayoutAndApplyAppliesIt) {
    activeScene({{"D1", "builtin.split-50-50"}, {"D2", "builtin.fullscreen"}});
    launchAndSettle();
    EXPECT_EQ(visiblePrompts(), 0) << "the displays there at launch get no prompt";
    // A window the user keeps in D1's right half.
    app->multiState()->states.at("D1")->attach(WinRef{4242, 100, {}, std::nullopt, std::nullopt}, 2);

    plug("D2");
    UnconfiguredDisplayToastPanel* panel = panelFor("D2");
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->height(), 88);
    QPushButton* apply = panel->contentView()->button(UnconfiguredDisplayToastView::kApplyTitle);
    ASSERT_NE(apply, nullptr);

    apply->click();
    EXPECT_EQ(visiblePrompts(), 0);
    EXPECT_EQ(prompts().prompt("D2"), nullptr);
    EXPECT_TRUE(logged("[sceneManager] M3: applied Scene 'Desk' to newly connected display 'D2'"));
    EXPECT_EQ(app->displayWorkbenches()->workbenches.at("D2").activeTemplateID, "builtin.fullscreen");
    EXPECT_EQ(app->multiState()->states.at("D2")->layout.zones.size(), 1u);
    EXPECT_EQ(app->multiState()->states.at("D1")->layout.zones.at(2).stack, std::vector<WindowID>{4242})
        << "the other display keeps its zones' windows";
}

TEST_F(AppDelegateDisplayPromptTest, aDisplayTheSceneDoesNotNameGetsThePromptWithoutApply) {
    activeScene({{"D1", "builtin.split-50-50"}});
    launchAndSettle();
    plug("D2");
    UnconfiguredDisplayToastPanel* panel = panelFor("D2");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->height(), 80);
    EXPECT_EQ(panel->contentView()->button(UnconfiguredDisplayToastView::kApplyTitle), nullptr);
    EXPECT_NE(panel->contentView()->button(UnconfiguredDisplayToastView::kSetupTitle), nullptr);
}

TEST_F(AppDelegateDisplayPromptTest, withoutAnActiveSceneOrWithThePromptsTurnedOffNoPromptShows) {
    launchAndSettle();
    plug("D2");
    EXPECT_EQ(prompts().promptCount(), 0u);
    EXPECT_EQ(visiblePrompts(), 0);

    activeScene({{"D1", "builtin.split-50-50"}});
    desktop->userDefaults().set(UnconfiguredDisplayPrompts::kShowPromptDefaultsKey, false);
    plug("D3");
    EXPECT_EQ(visiblePrompts(), 0);
}

TEST_F(AppDelegateDisplayPromptTest, afterDismissAReconnectShowsNoPromptAndRemovingADisplayClosesItsPrompt) {
    activeScene({{"D1", "builtin.split-50-50"}});
    launchAndSettle();

    int d2 = plug("D2");
    ASSERT_NE(panelFor("D2"), nullptr);
    unplug(d2);
    EXPECT_EQ(prompts().prompt("D2"), nullptr);
    EXPECT_EQ(visiblePrompts(), 0);

    d2 = plug("D2");
    ASSERT_NE(panelFor("D2"), nullptr) << "closing with its display is not a dismissal";
    panelFor("D2")->contentView()->button(UnconfiguredDisplayToastView::kDismissTitle)->click();
    EXPECT_EQ(visiblePrompts(), 0);
    EXPECT_TRUE(prompts().isDismissed("D2"));
    unplug(d2);
    plug("D2");
    EXPECT_EQ(prompts().prompt("D2"), nullptr);
    EXPECT_EQ(visiblePrompts(), 0);
}

// A second notice naming a display that has a prompt used to replace the registered prompt without
// hiding it: its panel stayed up for good, and its buttons still acted.
TEST_F(AppDelegateDisplayPromptTest, aSecondPromptForTheSameDisplayLeavesExactlyOnePanel) {
    activeScene({{"D1", "builtin.split-50-50"}, {"D2", "builtin.fullscreen"}});
    launchAndSettle();
    plug("D2");
    const auto first = prompts().prompt("D2");
    ASSERT_NE(first, nullptr);

    app->handleDisplaysChangedForScenes(nlohmann::json{{"addedDisplayUUIDs", {"D2"}}});
    const auto second = prompts().prompt("D2");
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(first->panel(), nullptr);
    EXPECT_FALSE(first->isCountingDown());
    EXPECT_EQ(visiblePrompts(), 1);
}

TEST_F(AppDelegateDisplayPromptTest, aPromptThatTimedOutStaysRegisteredAndAReconnectPromptsAgain) {
    activeScene({{"D1", "builtin.split-50-50"}});
    launchAndSettle();
    const int d2 = plug("D2");
    desktop->loop().advance(seconds(11));
    EXPECT_EQ(visiblePrompts(), 0);
    EXPECT_NE(prompts().prompt("D2"), nullptr);
    unplug(d2);
    plug("D2");
    EXPECT_NE(panelFor("D2"), nullptr);
}
