// The settings model reading the stored options, and the permission section opening the privacy panes.
#include "ui/settings/PermissionsSection.h"
#include "ui/settings/SettingsViewModel.h"

#include "input/HotkeyManager.h"
#include "input/SDPController.h"
#include "platform/HotKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;
using Model = SettingsViewModel;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    Model make() {
        return Model(*desktop, Model::Callbacks{.isLaunchAtLoginProvider = [this] { return atLogin; },
                                                .loadHotkeyConfigHandler = [this] { return hotkeys; }});
    }

    sim::ScopedSimDesktop desktop;
    bool atLogin = true;
    HotkeyConfig hotkeys = HotkeyConfig::defaults(0);
};

} // namespace

TEST_F(SettingsTest, absentOptionsReadAsTheirDefaultsAndStoredOnesAsStored) {
    Model fresh = make();
    EXPECT_TRUE(fresh.isLaunchAtLogin);
    EXPECT_TRUE(fresh.showUnconfiguredDisplayPrompt);
    EXPECT_TRUE(fresh.sdpEnabled);
    EXPECT_FALSE(fresh.sdpInvertScroll);
    EXPECT_FALSE(fresh.parkUnmanagedWindows);
    EXPECT_EQ(fresh.dragSnapBlacklist, (std::vector<std::string>{"org.telegram.desktop", "telegram-desktop",
                                                                 "ru.keepcoder.Telegram"}));
    EXPECT_EQ(fresh.hotkeyConfig, hotkeys);

    // key, stored value, how the model reads it back
    const std::vector<std::tuple<const char*, json, bool Model::*, bool>> rows = {
        {Model::kShowUnconfiguredDisplayPromptKey, false, &Model::showUnconfiguredDisplayPrompt, false},
        {Model::kSDPEnabledKey, false, &Model::sdpEnabled, false},
        {Model::kSDPEnabledKey, 1, &Model::sdpEnabled, true},
        {Model::kSDPInvertScrollKey, true, &Model::sdpInvertScroll, true},
        {Model::kParkUnmanagedWindowsKey, true, &Model::parkUnmanagedWindows, true},
        {Model::kShowUnconfiguredDisplayPromptKey, "yes please", &Model::showUnconfiguredDisplayPrompt,
         false},
    };
    for (const auto& [key, stored, field, expected] : rows) {
        desktop->defaults().set(key, stored);
        fresh.loadSettings();
        EXPECT_EQ(fresh.*field, expected) << key << " = " << stored.dump();
        desktop->defaults().remove(key);
    }

    // An empty exclusion list stays empty; a list with anything but text in it is no list.
    desktop->defaults().set(Model::kDragSnapBlacklistKey, json::array());
    fresh.loadSettings();
    EXPECT_TRUE(fresh.dragSnapBlacklist.empty());
    desktop->defaults().set(Model::kDragSnapBlacklistKey, json::array({"com.example.a", 3}));
    fresh.loadSettings();
    EXPECT_EQ(fresh.dragSnapBlacklist, Model::defaultDragSnapBlacklist());

    // The page shown stays; the hot-key table and start at login are asked of the owner again.
    fresh.selectedTab = SettingsTab::hotkeys;
    atLogin = false;
    hotkeys.bindings.pop_back();
    fresh.loadSettings();
    EXPECT_EQ(fresh.selectedTab, SettingsTab::hotkeys);
    EXPECT_FALSE(fresh.isLaunchAtLogin);
    EXPECT_EQ(fresh.hotkeyConfig, hotkeys);
}

TEST_F(SettingsTest, thePermissionButtonsOpenTheAccessibilityAndScreenRecordingPanes) {
    PermissionsSection section(desktop->workspace());
    EXPECT_TRUE(section.openAccessibilitySettings());
    EXPECT_TRUE(section.openScreenRecordingSettings());
    EXPECT_EQ(desktop->workspace().openedURLs(),
              (std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility",
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture"}));

    // A desktop without privacy panes gets no address the buttons would lead nowhere with.
    desktop->workspace().setHasPrivacyPanes(false);
    EXPECT_FALSE(section.openAccessibilitySettings());
    EXPECT_FALSE(section.openScreenRecordingSettings());
    EXPECT_EQ(desktop->workspace().openedURLs().size(), 2u);
}

namespace {

// The model over the simulated desktop with an owner that keeps what it is handed.
class SettingsModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        posts = std::make_shared<int>(0);
        observation = desktop->notificationCenter().addObserver(
            Model::kDragSnapBlacklistChanged, platform::NotificationCenter::Delivery::posting,
            [count = posts](const std::string&, const json&) { ++*count; });
        model = std::make_unique<Model>(
            *desktop, Model::Callbacks{
                          .loadHotkeyConfigHandler = [this] { return owned; },
                          .updateHotkeyConfigHandler =
                              [this](const HotkeyConfig& c) {
                                  owned = c;
                                  ++handedOver;
                              },
                          .resetHotkeyConfigHandler = [] { return HotkeyConfig::defaults(0); },
                          .suspendHotkeysHandler = [this] { return center->suspend(); },
                      });
        changes = model->observeChanges([this] { ++changeCount; });
    }
    std::optional<json> stored(const char* key) { return desktop->defaults().object(key); }
    const HotkeyBindingViewModel& row(const std::string& action) {
        for (const auto& r : model->hotkeyBindings)
            if (r.action == action) return r;
        throw std::runtime_error("no row " + action);
    }
    const HotkeyConfig::HotkeyBinding& binding(const std::string& action) {
        for (const auto& b : owned.bindings)
            if (b.action == action) return b;
        throw std::runtime_error("no binding " + action);
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<HotkeyCenter> center = std::make_shared<HotkeyCenter>(*desktop);
    HotkeyConfig owned = HotkeyConfig::defaults(0);
    int handedOver = 0;
    std::shared_ptr<int> posts;
    std::unique_ptr<platform::ObserverToken> observation;
    std::unique_ptr<Model> model;
    int changeCount = 0;
    std::unique_ptr<platform::ObserverToken> changes;
};

} // namespace

TEST_F(SettingsModelTest, theExclusionListIsWrittenWholeAndAnnouncedOnEveryChangeButNotOnAnIgnoredAdd) {
    ASSERT_EQ(model->dragSnapBlacklist, Model::defaultDragSnapBlacklist());

    // Nothing to add: no write, no announcement.
    model->addToDragSnapBlacklist("");
    model->addToDragSnapBlacklist("telegram-desktop");
    EXPECT_FALSE(stored(Model::kDragSnapBlacklistKey).has_value());
    EXPECT_EQ(*posts, 0);

    // Removing the default entries one by one stores what is left; the empty list stays empty.
    model->removeFromDragSnapBlacklist("ru.keepcoder.Telegram");
    EXPECT_EQ(stored(Model::kDragSnapBlacklistKey), json({"org.telegram.desktop", "telegram-desktop"}));
    model->removeFromDragSnapBlacklist("org.telegram.desktop");
    model->removeFromDragSnapBlacklist("telegram-desktop");
    EXPECT_EQ(stored(Model::kDragSnapBlacklistKey), json::array());
    EXPECT_EQ(*posts, 3);
    model->loadSettings();
    EXPECT_TRUE(model->dragSnapBlacklist.empty());

    model->addToDragSnapBlacklist("com.example.b");
    model->addToDragSnapBlacklist("com.example.a");
    model->addToDragSnapBlacklist("com.example.B"); // another identifier: case counts
    EXPECT_EQ(stored(Model::kDragSnapBlacklistKey),
              json({"com.example.b", "com.example.a", "com.example.B"}));
    EXPECT_EQ(*posts, 6);

    // Removing what is not listed still writes and announces.
    desktop->defaults().set(Model::kDragSnapBlacklistKey, json({"hand.edited"}));
    model->removeFromDragSnapBlacklist("com.example.absent");
    EXPECT_EQ(stored(Model::kDragSnapBlacklistKey),
              json({"com.example.b", "com.example.a", "com.example.B"}));
    EXPECT_EQ(*posts, 7);
}

TEST_F(SettingsModelTest, everyOptionIsWrittenEvenWhenItKeepsItsValueButObserversHearOnlyOfAChange) {
    using Setter = void (Model::*)(bool);
    // setter, key, the value it has on empty defaults
    const std::vector<std::tuple<Setter, const char*, bool>> rows = {
        {&Model::setShowUnconfiguredDisplayPrompt, Model::kShowUnconfiguredDisplayPromptKey, true},
        {&Model::setParkUnmanagedWindows, Model::kParkUnmanagedWindowsKey, false},
        {&Model::setSDPEnabled, Model::kSDPEnabledKey, true},
        {&Model::setSDPInvertScroll, Model::kSDPInvertScrollKey, false},
    };
    for (const auto& [setter, key, absent] : rows) {
        changeCount = 0;
        ((*model).*setter)(absent);
        EXPECT_EQ(stored(key), json(absent)) << key;
        EXPECT_EQ(changeCount, 0) << key;
        ((*model).*setter)(!absent);
        EXPECT_EQ(stored(key), json(!absent)) << key;
        EXPECT_EQ(changeCount, 1) << key;
        model->loadSettings();
        EXPECT_EQ(changeCount, 1) << key << ": reading back what was written changes nothing";
    }
}

TEST_F(SettingsModelTest, theSDPSwitchTurnsTheGestureControllerOffAndOnAtOnce) {
    auto controller = std::make_shared<SDPController>(*desktop, nullptr, nullptr);
    Model withController(*desktop, Model::Callbacks{.sdpController = [&] { return controller; }});
    withController.setSDPEnabled(false);
    EXPECT_FALSE(controller->isEnabled);
    withController.loadSettings(); // reading the options leaves the controller alone
    controller->isEnabled = true;
    withController.loadSettings();
    EXPECT_TRUE(controller->isEnabled);
    withController.setSDPEnabled(false);
    withController.setSDPEnabled(true);
    EXPECT_TRUE(controller->isEnabled);
}

TEST_F(SettingsModelTest, aRunningApplicationsNameIsLookedUpAgainOnlyOnceTheCacheIsFiveSecondsOld) {
    const pid_t chat = desktop->workspace().launch({.bundleID = "com.example.chat", .name = "Chat"});
    model->addToDragSnapBlacklist("com.example.chat");

    const auto info = model->cachedAppInfo("com.example.chat");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Chat");
    EXPECT_EQ(info->pid, chat);
    EXPECT_FALSE(model->cachedAppInfo("ru.keepcoder.Telegram")) << "listed but not running";

    // Started and listed within five seconds of the refresh: not known until the cache is older.
    desktop->workspace().launch({.bundleID = "com.example.notes", .name = "Notes"});
    model->addToDragSnapBlacklist("com.example.notes");
    desktop->loop().advance(seconds(5.0));
    EXPECT_FALSE(model->cachedAppInfo("com.example.notes"));
    desktop->loop().advance(milliseconds(1));
    EXPECT_TRUE(model->cachedAppInfo("com.example.notes"));

    // Without a name an application gets no entry.
    desktop->workspace().launch({.bundleID = "com.example.bare", .name = std::nullopt});
    model->addToDragSnapBlacklist("com.example.bare");
    model->refreshRunningAppsCache();
    EXPECT_FALSE(model->cachedAppInfo("com.example.bare"));
}

TEST_F(SettingsModelTest, theDefaultTableShowsTwelveRowsInThePagesOrderWithTheirTexts) {
    // action, title, text
    const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
        {"cycle.forward", "Stack Cycle Forward", "Alt+Tab"},
        {"push.region.dynamic", "Push Window to Zone (1-9)", "Ctrl+Alt+1-9"},
        {"push.left", "Push Window Left", "Ctrl+Alt+Q"},
        {"push.right", "Push Window Right", "Ctrl+Alt+W"},
        {"push.display.prev", "Move to Previous Display", "Ctrl+Alt+Z"},
        {"push.display.next", "Move to Next Display", "Ctrl+Alt+X"},
        {"focus.left", "Focus Zone Left", "Ctrl+Alt+Shift+Q"},
        {"focus.right", "Focus Zone Right", "Ctrl+Alt+Shift+W"},
        {"globalSwitcher.toggle", "Global Window Switcher", "Ctrl+Alt+A"},
        {"sceneSwitcher.toggle", "Scene Card Switcher", "Ctrl+Alt+C"},
        {"scene.save", "Add Scene", "Ctrl+Alt+S"},
        {"scene.update", "Update Active Scene", "Not Set"},
    };
    ASSERT_EQ(model->hotkeyBindings.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [action, title, text] = expected[i];
        EXPECT_EQ(model->hotkeyBindings[i].action, action) << i;
        EXPECT_EQ(model->hotkeyBindings[i].displayName, title) << i;
        EXPECT_EQ(Model::displayText(model->hotkeyBindings[i]), text) << action;
    }
    EXPECT_TRUE(row("push.region.dynamic").isDynamic);

    // Unknown actions after the page's own, by name and titled by it; older and scene-switch ones never.
    owned.bindings.push_back({"zeta.custom", "f5", {}, true});
    owned.bindings.push_back({"alpha.custom", "q", {"hyper"}, true});
    owned.bindings.push_back({"scene.switch.1", "1", {"ctrl"}, true});
    owned.bindings.push_back({"overlay.toggle", "o", {"ctrl"}, true});
    owned.bindings[2].modifiers = {"alt", "ctrl"};
    model->loadSettings();
    ASSERT_EQ(model->hotkeyBindings.size(), 14u);
    EXPECT_EQ(model->hotkeyBindings[12].displayName, "alpha.custom");
    EXPECT_EQ(Model::displayText(model->hotkeyBindings[12]), "Q") << "an unknown modifier shows nothing";
    EXPECT_EQ(Model::displayText(model->hotkeyBindings[13]), "F5");
    EXPECT_EQ(Model::displayText(row("push.region.dynamic")), "Ctrl+Alt+1-9") << "the desktop's order";
    owned.bindings[2].modifiers = {};
    model->loadSettings();
    EXPECT_EQ(Model::displayText(row("push.region.dynamic")), "1-9");
}

TEST_F(SettingsModelTest, aKeyPressWhileRecordingBecomesTheBindingAndEndsTheRecording) {
    using platform::kEventFlagControl, platform::kEventFlagOption, platform::kEventFlagCapsLock,
        platform::kEventFlagCommand;
    struct Case {
        const char* what;
        RecordingKeyEvent press;
        std::string key;
        std::vector<std::string> modifiers;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"control+option+left",
         {123, kEventFlagControl | kEventFlagOption},
         "left",
         {"ctrl", "alt"},
         "Ctrl+Alt+Left"},
        {"caps lock is not a modifier",
         {35, kEventFlagControl | kEventFlagCapsLock},
         "p",
         {"ctrl"},
         "Ctrl+P"},
        {"the keypad's Enter", {76, kEventFlagControl}, "kp_enter", {"ctrl"}, "Ctrl+Keypad Enter"},
        {"Super held, as the desktop's own window keys are",
         {123, kEventFlagCommand},
         "left",
         {"cmd"},
         "Super+Left"},
        {"a function key by the hot keys' name", {122, kEventFlagControl}, "f1", {"ctrl"}, "Ctrl+F1"},
    };
    for (const auto& c : cases) {
        model->startRecording("push.left");
        EXPECT_TRUE(model->handleRecordingKeyEvent(c.press)) << c.what;
        EXPECT_FALSE(model->recordingAction) << c.what;
        EXPECT_EQ(binding("push.left"), (HotkeyConfig::HotkeyBinding{"push.left", c.key, c.modifiers, true}))
            << c.what;
        EXPECT_EQ(Model::displayText(row("push.left")), c.text) << c.what;
    }

    // Escape cancels: consumed, nothing handed over.
    const int before = handedOver;
    model->startRecording("push.left");
    EXPECT_TRUE(model->handleRecordingKeyEvent({Model::kEscapeKeyCode, 0}));
    EXPECT_FALSE(model->recordingAction);
    EXPECT_EQ(handedOver, before);
    EXPECT_EQ(binding("push.left").key, "f1");

    // Idle: not consumed, nothing changes.
    EXPECT_FALSE(model->handleRecordingKeyEvent({123, kEventFlagControl | kEventFlagOption}));
    EXPECT_EQ(handedOver, before);
}

TEST_F(SettingsModelTest, theProgramsKeysAreSuspendedFromTheStartOfARecordingToItsEnd) {
    model->startRecording("push.left");
    EXPECT_TRUE(center->isSuspended());
    model->startRecording("push.right");
    model->handleRecordingKeyEvent({8, platform::kEventFlagControl | platform::kEventFlagOption});
    EXPECT_FALSE(center->isSuspended()) << "one suspension for the recording, moved or not";

    model->startRecording("scene.save");
    model->handleRecordingKeyEvent({Model::kEscapeKeyCode, 0});
    EXPECT_FALSE(center->isSuspended());
    model->startRecording("scene.save");
    model->stopRecording();
    EXPECT_FALSE(center->isSuspended());
    // The recorder is on the Shortcuts page: another page ends the recording.
    model->setSelectedTab(SettingsTab::hotkeys);
    model->startRecording("scene.save");
    model->setSelectedTab(SettingsTab::general);
    EXPECT_FALSE(model->recordingAction);
    EXPECT_FALSE(center->isSuspended());
    model->startRecording("scene.save");
    model.reset();
    EXPECT_FALSE(center->isSuspended()) << "the window's model gone, the keys are back";
}

TEST_F(SettingsModelTest, deleteWhileRecordingClearsTheShortcutInsteadOfBindingTheDeleteKey) {
    using platform::kEventFlagControl, platform::kEventFlagOption;
    for (const std::uint16_t code : {Model::kDeleteKeyCode, Model::kForwardDeleteKeyCode}) {
        owned = HotkeyConfig::defaults(0);
        model->loadSettings();
        model->startRecording("push.left");
        EXPECT_TRUE(model->handleRecordingKeyEvent({code, 0})) << code;
        EXPECT_FALSE(model->recordingAction) << code;
        EXPECT_EQ(binding("push.left"), (HotkeyConfig::HotkeyBinding{"push.left", "", {}, false})) << code;
        EXPECT_EQ(Model::displayText(row("push.left")), "Not Set") << code;
    }
    // With modifiers Delete is a key like any other.
    model->startRecording("push.left");
    EXPECT_TRUE(
        model->handleRecordingKeyEvent({Model::kDeleteKeyCode, kEventFlagControl | kEventFlagOption}));
    EXPECT_EQ(binding("push.left"),
              (HotkeyConfig::HotkeyBinding{"push.left", "delete", {"ctrl", "alt"}, true}));
    EXPECT_EQ(Model::displayText(row("push.left")), "Ctrl+Alt+Backspace");
}

TEST_F(SettingsModelTest, aKeyThatTypesKeepsCtrlAltOrSuperWhileOnlyAKeyThatTypesNothingStandsAlone) {
    // Recorded without Ctrl, Alt or Super, a key that types would be taken from every program: U for
    // "Update Active Scene", a Tab pressed to move on, Shift+1 (Shift still types "!"). Each is refused,
    // the table kept, with the reason under the row until the next recording.
    using platform::kEventFlagShift;
    const HotkeyConfig before = owned;
    // action, key press, the reason shown
    const std::vector<std::tuple<std::string, RecordingKeyEvent, std::string>> refused = {
        {"scene.update", {32, 0}, "U alone"},
        {"push.left", {48, 0}, "Tab alone"},
        {"push.left", {18, kEventFlagShift}, "Shift+1"},
    };
    for (const auto& [action, press, shown] : refused) {
        model->startRecording(action);
        EXPECT_TRUE(model->handleRecordingKeyEvent(press)) << shown;
        EXPECT_FALSE(model->recordingAction) << shown;
        EXPECT_EQ(model->refusedShortcut,
                  (ShortcutRefusal{action, shown + " would reach no program but Korvane: hold Ctrl, Alt or "
                                                   "Super with it"}));
    }
    EXPECT_EQ(owned, before);
    EXPECT_EQ(handedOver, 0);
    EXPECT_EQ(Model::displayText(row("scene.update")), "Not Set");

    // F5 types nothing: taken alone, and the reason of the last refusal goes.
    model->startRecording("scene.update");
    EXPECT_FALSE(model->refusedShortcut);
    model->handleRecordingKeyEvent({96, 0});
    EXPECT_EQ(binding("scene.update"), (HotkeyConfig::HotkeyBinding{"scene.update", "f5", {}, true}));
    EXPECT_EQ(Model::displayText(row("scene.update")), "F5");
}

TEST_F(SettingsModelTest, keysTheXKeyboardNamesAreRecordedAndHeldWhileAKeyWithoutANameIsRefused) {
    using platform::kEventFlagControl, platform::kEventFlagOption;
    const std::uint64_t ctrlAlt = kEventFlagControl | kEventFlagOption;

    // Ctrl+Alt+Insert for the card switcher: stored under the key's name, and held once the table is in
    // force, so that pressing it opens the cards.
    model->startRecording("sceneSwitcher.toggle");
    EXPECT_TRUE(model->handleRecordingKeyEvent({114, ctrlAlt}));
    EXPECT_EQ(binding("sceneSwitcher.toggle"),
              (HotkeyConfig::HotkeyBinding{"sceneSwitcher.toggle", "insert", {"ctrl", "alt"}, true}));
    EXPECT_EQ(Model::displayText(row("sceneSwitcher.toggle")), "Ctrl+Alt+Insert");
    int opened = 0;
    HotkeyActionHandlers handlers;
    handlers.sceneSwitcherToggle = [&] { ++opened; };
    HotkeyManager(center).apply(owned, 1, handlers);
    desktop->hotKeys().press(114, ctrlAlt);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(opened, 1);

    // Pause types nothing: it may stand alone.
    model->startRecording("scene.update");
    model->handleRecordingKeyEvent({133, 0});
    EXPECT_FALSE(model->refusedShortcut);
    EXPECT_EQ(binding("scene.update"), (HotkeyConfig::HotkeyBinding{"scene.update", "pause", {}, true}));
    EXPECT_EQ(Model::displayText(row("scene.update")), "Pause");

    // A key without a name (the ISO layout's extra key, forward Delete), with Ctrl+Alt or alone: nothing
    // could hold it, so it is refused with that reason and the row keeps its shortcut.
    const HotkeyConfig before = owned;
    const int handed = handedOver;
    for (const RecordingKeyEvent& press :
         {RecordingKeyEvent{10, ctrlAlt}, RecordingKeyEvent{Model::kForwardDeleteKeyCode, ctrlAlt},
          RecordingKeyEvent{10, 0}}) {
        model->startRecording("sceneSwitcher.toggle");
        EXPECT_TRUE(model->handleRecordingKeyEvent(press)) << press.keyCode;
        EXPECT_EQ(model->refusedShortcut,
                  (ShortcutRefusal{"sceneSwitcher.toggle", "Korvane has no name for this key, so it cannot "
                                                           "keep it as a shortcut: choose another key"}))
            << press.keyCode;
    }
    EXPECT_EQ(owned, before);
    EXPECT_EQ(handedOver, handed);
    EXPECT_EQ(Model::displayText(row("sceneSwitcher.toggle")), "Ctrl+Alt+Insert");
}

TEST_F(SettingsModelTest, theDigitKeysKeepCtrlAltOrSuper) {
    // Without one every digit typed in any program would be taken: the last is not given up, under any of
    // its names; Shift and a name that is no modifier do not count as one.
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{}, std::vector<std::string>{"hyper"}, std::vector<std::string>{"shift"}}) {
        model->updateBinding("push.region.dynamic", "digits", refused);
        EXPECT_EQ(binding("push.region.dynamic").modifiers, (std::vector<std::string>{"ctrl", "alt"}));
    }
    EXPECT_EQ(model->refusedShortcut->action, "push.region.dynamic");
    EXPECT_EQ(handedOver, 0);
    model->updateBinding("push.region.dynamic", "digits", {"option"});
    EXPECT_EQ(binding("push.region.dynamic").modifiers, (std::vector<std::string>{"option"}));
    EXPECT_EQ(Model::displayText(row("push.region.dynamic")), "Alt+1-9");
    EXPECT_EQ(handedOver, 1);
}

TEST_F(SettingsModelTest, aClearedShortcutStaysInTheTableDisabledUntilAKeyIsRecordedForItAgain) {
    model->clearBinding("scene.save");
    EXPECT_EQ(binding("scene.save"), (HotkeyConfig::HotkeyBinding{"scene.save", "", {}, false}));
    EXPECT_EQ(owned.bindings.size(), HotkeyConfig::defaults(0).bindings.size());
    model->updateBinding("scene.save", "s", {"cmd"});
    EXPECT_EQ(binding("scene.save"), (HotkeyConfig::HotkeyBinding{"scene.save", "s", {"cmd"}, true}));

    // An action the table lacks changes nothing.
    const HotkeyConfig before = owned;
    const int handed = handedOver;
    model->clearBinding("no.such.action");
    model->updateBinding("no.such.action", "k", {});
    EXPECT_EQ(owned, before);
    EXPECT_EQ(handedOver, handed);

    // Reset takes the owner's defaults; a recording under way goes on.
    model->startRecording("push.right");
    model->resetHotkeys();
    EXPECT_EQ(model->hotkeyConfig, HotkeyConfig::defaults(0));
    EXPECT_EQ(Model::displayText(row("scene.save")), "Ctrl+Alt+S");
    EXPECT_EQ(model->recordingAction, "push.right");
}

TEST_F(SettingsModelTest, aCombinationRecordedOverOneAnotherProgramHoldsIsSaidToBeHeldByItUnderItsRow) {
    // The owner of the running program: it registers every table it is handed, and says what it cannot
    // hold.
    HotkeyManager manager(center);
    HotkeyActionHandlers handlers;
    handlers.pushRegion = [](int) {};
    handlers.cycle = [](int) {};
    handlers.pushLeft = [] {};
    handlers.pushRight = [] {};
    auto& keys = desktop->hotKeys();
    keys.holdByAnotherClient(48, platform::kHotKeyOption); // Alt+Tab, the window manager's
    keys.holdByAnotherClient(16, platform::kHotKeyControl | platform::kHotKeyOption); // Ctrl+Alt+Y
    manager.apply(owned, 4, handlers);
    Model held(*desktop, Model::Callbacks{
                             .loadHotkeyConfigHandler = [this] { return owned; },
                             .updateHotkeyConfigHandler =
                                 [&](const HotkeyConfig& c) {
                                     owned = c;
                                     manager.apply(owned, 4, handlers);
                                 },
                             .suspendHotkeysHandler = [this] { return center->suspend(); },
                             .unheldBindingsProvider = [&] { return manager.unheldBindings(); },
                         });
    ASSERT_EQ(held.unheldShortcuts.count("cycle.forward"), 1u) << "said as the settings load";
    EXPECT_TRUE(held.unheldShortcuts["cycle.forward"].starts_with("Held by another program"));
    EXPECT_EQ(held.unheldShortcuts.size(), 1u);

    // Ctrl+Alt+Y recorded for "Push Window Left": stored, and said to be held elsewhere once the
    // recording is over and the keys are held again.
    const std::uint64_t ctrlAlt = platform::kEventFlagControl | platform::kEventFlagOption;
    held.startRecording("push.left");
    EXPECT_TRUE(held.handleRecordingKeyEvent({16, ctrlAlt}));
    EXPECT_EQ(binding("push.left"), (HotkeyConfig::HotkeyBinding{"push.left", "y", {"ctrl", "alt"}, true}));
    ASSERT_EQ(held.unheldShortcuts.count("push.left"), 1u);
    EXPECT_EQ(held.unheldShortcuts["push.left"],
              "Held by another program, so Korvane cannot act on it: record another combination");
    // Another combination recorded over it: the line goes.
    held.startRecording("push.left");
    EXPECT_TRUE(held.handleRecordingKeyEvent({35, ctrlAlt}));
    EXPECT_EQ(held.unheldShortcuts.count("push.left"), 0u);

    // The digit row's modifiers toggled onto combinations another program holds: its keys are named.
    keys.holdByAnotherClient(19, platform::kHotKeyControl | platform::kHotKeyShift); // Ctrl+Shift+2
    held.updateBinding("push.region.dynamic", "digits", {"ctrl", "shift"});
    ASSERT_EQ(held.unheldShortcuts.count("push.region.dynamic"), 1u);
    EXPECT_EQ(
        held.unheldShortcuts["push.region.dynamic"],
        "Held by another program (Ctrl+Shift+2), so Korvane cannot act on it: record another combination "
        "or choose other modifiers");
}
