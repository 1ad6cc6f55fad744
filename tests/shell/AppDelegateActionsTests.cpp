// The status-bar actions and the callbacks of the settings model on the simulated desktop: when each
// action takes effect, the one subscription, the "Preferences" window made once and shown again, the
// hot-key table read, saved and reset through the application, the hot-key file's folder, failures to
// write the autostart entry or to show the hot-key file said in the window, and the global switcher on the
// display the user works on.
#include "LaunchFixture.h"

#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/HotkeyConfig.h"
#include "scenes/model/WMScene.h"
#include "ui/overlays/ToastHUDController.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SceneCardSwitcherController.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class AppDelegateActionsTest : public korvane::testing::LaunchTest {
  protected:
    void SetUp() override {
        LaunchTest::SetUp();
        markScenesConverted();
        addScreen("D1", Rect{0, 0, 1920, 1080});
    }
    // Requests to bring this program forward.
    std::size_t ownActivations() {
        std::size_t n = 0;
        for (const auto& call : desktop->workspace().activateCalls())
            if (call.pid == ::getpid() && (call.options & platform::kActivateIgnoringOtherApps)) ++n;
        return n;
    }
    // Every default action, push-left moved to control+J: a table that loads as it is stored.
    static HotkeyConfig customTable() {
        HotkeyConfig table = HotkeyConfig::defaults(kStamp);
        table.bindings[3] = {"push.left", "J", {"ctrl"}, true};
        return table;
    }
    static void store(const HotkeyConfig& table) { table.save(kStamp); }
    static constexpr Nanos kStamp = 1'780'000'000LL * kNanosPerSecond;
};

TEST_F(AppDelegateActionsTest, windowsAskedForInTheMenuOpen150msLaterAndQuitEndsAtOnce) {
    launch();
    auto& bus = *app->statusBarEventBus();

    bus.publish(StatusBarActionEvent::openSettings);
    desktop->loop().advance(milliseconds(149));
    EXPECT_FALSE(app->settingsWC());
    EXPECT_EQ(ownActivations(), 0u);
    desktop->loop().advance(milliseconds(1));
    ASSERT_TRUE(app->settingsWC());
    EXPECT_TRUE(app->settingsWC()->isWindowVisible());
    EXPECT_GE(ownActivations(), 1u);

    bus.publish(StatusBarActionEvent::quit);
    EXPECT_EQ(terminations, 1);

    // The application comes forward even when it is gone by the time the scene manager would open.
    const std::size_t before = ownActivations();
    bus.publish(StatusBarActionEvent::openSceneManager);
    app.reset();
    desktop->loop().advance(milliseconds(150));
    EXPECT_EQ(ownActivations(), before + 1);
}

TEST_F(AppDelegateActionsTest, subscribingToTheActionsAgainLeavesOneLiveSubscription) {
    launch();
    app->startStatusBarActionSubscription();
    app->startStatusBarActionSubscription();
    app->statusBarEventBus()->publish(StatusBarActionEvent::quit);
    EXPECT_EQ(terminations, 1);
}

TEST_F(AppDelegateActionsTest, theSecondOpeningOfThePreferencesReusesTheWindowAndReloadsItsModel) {
    launch();
    capture.console().clear();
    app->showSettingsWindow();
    const auto controller = app->settingsWC();
    QWidget* window = controller->window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle().toStdString(), "Preferences");
    EXPECT_EQ(window->size(), QSize(850, 600));
    EXPECT_TRUE(controller->viewModel->sdpEnabled);
    EXPECT_EQ(capture.console().lines(),
              (std::vector<std::string>{"[AppDelegate] About to show settings window",
                                        "[AppDelegate] Settings window shown, isVisible: true"}));

    window->close(); // the user closes it: it hides
    desktop->userDefaults().set(SettingsViewModel::kSDPEnabledKey, false);
    app->showSettingsWindow();
    EXPECT_EQ(app->settingsWC(), controller);
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(controller->viewModel->sdpEnabled);
    EXPECT_EQ(capture.console().count("[AppDelegate] Settings window shown, isVisible: true"), 2u);
}

TEST_F(AppDelegateActionsTest,
       startUpReadsTheStoredHotKeysAndTheSettingsSaveAndResetThemThroughTheApplication) {
    store(customTable());
    launch();
    EXPECT_EQ(app->hotkeyConfig(), customTable());

    app->showSettingsWindow();
    const auto& callbacks = app->settingsWC()->viewModel->callbacks();
    EXPECT_EQ(callbacks.loadHotkeyConfigHandler(), customTable());

    HotkeyConfig edited = customTable();
    edited.bindings.push_back({"focus.left", "H", {"ctrl"}, true});
    callbacks.updateHotkeyConfigHandler(edited);
    EXPECT_EQ(app->hotkeyConfig(), edited);
    EXPECT_EQ(HotkeyConfig::load(0).bindings, edited.bindings);

    const HotkeyConfig defaults = HotkeyConfig::defaults(desktop->loop().wallClock());
    EXPECT_EQ(callbacks.resetHotkeyConfigHandler(), defaults);
    EXPECT_EQ(app->hotkeyConfig(), defaults);
    EXPECT_EQ(HotkeyConfig::load(0), defaults);

    // With the application gone the reset still answers the defaults, but writes nothing.
    store(customTable());
    const auto model = app->settingsWC()->viewModel;
    desktop->loop().runUntilIdle(); // the rescue at launch holds the application until it has run
    app.reset();
    EXPECT_EQ(model->callbacks().resetHotkeyConfigHandler(), defaults);
    EXPECT_EQ(model->callbacks().loadHotkeyConfigHandler(), customTable());
    EXPECT_EQ(HotkeyConfig::load(0), customTable());
}

TEST_F(AppDelegateActionsTest, revealingTheHotKeyFileShowsTheFileItselfAndAFolderThatCannotBeHadIsLogged) {
    launch();
    app->revealHotkeyConfig();
    EXPECT_EQ(desktop->workspace().revealedFiles(),
              (std::vector<std::string>{(home / "hotkeys.json").string()}));
    EXPECT_TRUE(desktop->workspace().openedURLs().empty());

    write(home / "not-a-folder", "");
    desktop->process().setEnvironment("KORVANE_HOME", (home / "not-a-folder" / "Korvane").string());
    app->revealHotkeyConfig();
    EXPECT_TRUE(logged("[hotkey] Failed to open hotkey config: "));
    EXPECT_EQ(desktop->workspace().revealedFiles().size(), 1u);
}

// The autostart folder is a plain file: "Launch Korvane at login" clicked in the Preferences comes back
// unticked with the reason under it. With nothing on the desktop to show "hotkeys.json", "Open Config File"
// says so under its button.
TEST_F(AppDelegateActionsTest, anEntryThatCannotBeWrittenAndAFileNothingShowsAreSaidInThePreferences) {
    desktop->process().setEnvironment("HOME", (home / "user").string());
    write(home / "user/Library/LaunchAgents", "");
    launch();
    app->showSettingsWindow();
    QWidget* window = app->settingsWC()->window();
    auto shown = [&](const QString& text) {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->text() == text && label->isVisible()) return true;
        return false;
    };
    QCheckBox* box = nullptr;
    for (QCheckBox* candidate : window->findChildren<QCheckBox*>())
        if (candidate->text() == "Launch Korvane at login") box = candidate;
    ASSERT_TRUE(box);
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(shown("Korvane could not add its autostart entry: Not a directory."));
    EXPECT_TRUE(logged("[app] Failed to toggle launch-at-login: "));

    desktop->workspace().setRevealFailure("no file manager answers");
    app->settingsWC()->viewModel->setSelectedTab(SettingsTab::hotkeys);
    QApplication::processEvents();
    QPushButton* open = nullptr;
    for (QPushButton* candidate : window->findChildren<QPushButton*>())
        if (candidate->text() == "Open Config File") open = candidate;
    ASSERT_TRUE(open);
    open->click();
    desktop->loop().runUntilIdle();
    QApplication::processEvents();
    EXPECT_TRUE(shown("Could not open hotkeys.json: no file manager answers."));
}

TEST_F(AppDelegateActionsTest, theSwitcherHotKeyOpensOnTheScreenTheUserWorksOnAndMakesTheSwitcherOnce) {
    const int d2 = desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
    desktop->loop().runUntilIdle();
    launch();
    desktop->screens().setMouseLocation(Point{2500, 400});

    app->toggleGlobalSwitcherFromHotkey();
    const auto switcher = app->globalSwitcherWC();
    ASSERT_TRUE(switcher);
    EXPECT_EQ(switcher->screen().displayUUID, "D2");
    EXPECT_TRUE(switcher->isWindowVisible());

    // The next toggle closes it, the one after opens the same switcher where the user is then.
    desktop->screens().setMouseLocation(Point{100, 100});
    app->toggleGlobalSwitcherFromHotkey();
    EXPECT_FALSE(switcher->isWindowVisible());
    app->toggleGlobalSwitcherFromHotkey();
    EXPECT_EQ(app->globalSwitcherWC(), switcher);
    EXPECT_TRUE(switcher->isWindowVisible());
    EXPECT_EQ(switcher->screen().displayUUID, "D1");

    // Where the user is cannot be told and the display worked on last is gone: the main screen, else
    // the first one.
    desktop->screens().setMainDisplay(d2);
    desktop->loop().runUntilIdle();
    desktop->screens().setMouseLocation(Point{-5000, -5000});
    for (bool namesMain : {true, false}) {
        SCOPED_TRACE(namesMain);
        desktop->screens().setNamesMainScreen(namesMain);
        app->toggleGlobalSwitcherFromHotkey();
        ASSERT_FALSE(switcher->isWindowVisible());
        app->multiState()->activeDisplayUUID = "GONE";
        app->toggleGlobalSwitcherFromHotkey();
        EXPECT_TRUE(switcher->isWindowVisible());
        EXPECT_EQ(switcher->screen().displayUUID, "D2");
    }
}

TEST_F(AppDelegateActionsTest, aSwitcherReopenedRightAfterItsDisplayGotANewLayoutNumbersTheWindowsAfresh) {
    launchAndSettle();
    const pid_t editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    const WindowID notes =
        desktop->windows().open(editor, {.frame = Rect{960, 0, 960, 1080}, .title = "Notes"});
    desktop->workspace().bringToFront(editor);
    desktop->loop().runUntilIdle();
    app->multiState()->states.at("D1")->attach(WinRef{notes, editor, {}, std::nullopt, std::nullopt}, 2);
    auto zoneShown = [&]() -> std::optional<int> {
        for (const auto& item : app->globalSwitcherWC()->dataSource.items)
            if (item.windowID == notes) return item.zoneID;
        return -1; // no tile
    };
    app->toggleGlobalSwitcherFromHotkey();
    EXPECT_EQ(zoneShown(), 2);
    app->toggleGlobalSwitcherFromHotkey();

    // A scene restored from the cards lays the display out afresh: the window is in no zone now.
    WMScene scene;
    scene.id = desktop->process().makeUUID();
    scene.name = "Whole";
    scene.layoutRefsByDisplay = {{"D1", "builtin.fullscreen"}};
    app->sceneCardSwitcherController()->onRestoreScene(scene);
    ASSERT_EQ(app->multiState()->activeState()->layout.zones.size(), 1u);

    // Reopened at once, well inside the time a listing is kept for, its first frame already says so.
    app->toggleGlobalSwitcherFromHotkey();
    EXPECT_EQ(zoneShown(), std::nullopt);
}

TEST_F(AppDelegateActionsTest,
       aToastStandsOnTheNamedDisplaysScreenElseTheMainScreenAndNowhereWithoutAScreen) {
    const int side = desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
    desktop->loop().runUntilIdle();
    launch();
    auto toasts = std::make_shared<ToastHUDController>(*desktop);
    ToastHUDController::setShared(toasts);
    auto shownOn = [&](const std::string& uuid) {
        QWidget* toast = toasts->window(uuid);
        return toast && toast->isVisible();
    };

    app->showToast("Only one display", "D2", 0.5);
    EXPECT_TRUE(shownOn("D2"));
    // Centred on the side display's screen.
    EXPECT_LE(std::abs(toasts->window("D2")->geometry().center().x() * 2 + 1 - (2 * 1920 + 1440)), 1);
    app->showToast("Window not in any zone", "UNPLUGGED", 0.5);
    EXPECT_TRUE(shownOn("D1"));
    desktop->loop().advance(milliseconds(500));
    EXPECT_FALSE(shownOn("D1"));
    EXPECT_FALSE(shownOn("D2"));

    desktop->screens().removeDisplay(side);
    desktop->screens().removeDisplay(side - 1); // the main display, added first
    app->showToast("Window not in any zone", "", 0.5);
    EXPECT_FALSE(shownOn("D1"));
    ToastHUDController::setShared(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
