// The settings model reading the stored options, and the permission section opening the privacy panes.
#include "ui/settings/PermissionsSection.h"
#include "ui/settings/SettingsViewModel.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;
using Model = SettingsViewModel;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    Model make() {
        return Model(desktop->defaults(),
                     Model::Callbacks{.isLaunchAtLoginProvider = [this] { return atLogin; },
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
    EXPECT_EQ(fresh.dragSnapBlacklist, std::vector<std::string>{"ru.keepcoder.Telegram"});
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
    section.openAccessibilitySettings();
    section.openScreenRecordingSettings();
    EXPECT_EQ(desktop->workspace().openedURLs(),
              (std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility",
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture"}));
}
