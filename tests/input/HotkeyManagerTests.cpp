// The hot-key manager on the simulated keyboard: what a table registers and in which order, which action
// each key runs, what is skipped and said, and the key and modifier names.
#include "input/HotkeyManager.h"

#include "input/HotkeyCenter.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace korvane;
using platform::kEventFlagCommand;
using platform::kEventFlagControl;
using platform::kEventFlagOption;
using platform::kEventFlagShift;
using platform::kHotKeyCommand;
using platform::kHotKeyControl;
using platform::kHotKeyOption;
using platform::kHotKeyShift;

namespace {

constexpr Nanos kNow = 1'780'000'000LL * kNanosPerSecond;
constexpr std::uint32_t kCtrlOpt = kHotKeyControl | kHotKeyOption;
constexpr std::uint32_t kCtrlShiftOpt = kCtrlOpt | kHotKeyShift;

class HotkeyManagerTest : public ::testing::Test {
  protected:
    sim::SimHotKeys& keys() { return desktop->hotKeys(); }
    void settle() { desktop->loop().runUntilIdle(); }

    // Every handler supplied, each recording its action in `ran`.
    HotkeyActionHandlers recording() {
        HotkeyActionHandlers h;
        h.pushRegion = [this](int zone) { ran.push_back("push.region." + std::to_string(zone)); };
        h.cycle = [this](int direction) { ran.push_back("cycle" + std::to_string(direction)); };
        auto named = [this](std::string name) { return [this, name] { ran.push_back(name); }; };
        h.globalSwitcher = named("globalSwitcher");
        h.sceneSave = named("sceneSave");
        h.sceneUpdate = named("sceneUpdate");
        h.sceneSwitcherToggle = named("sceneSwitcherToggle");
        h.pushLeft = named("pushLeft");
        h.pushRight = named("pushRight");
        h.pushDisplayPrev = named("pushDisplayPrev");
        h.pushDisplayNext = named("pushDisplayNext");
        h.focusLeft = named("focusLeft");
        h.focusRight = named("focusRight");
        return h;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> combinations() {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (const auto& r : keys().registered())
            out.emplace_back(r.keyCode, r.modifiers);
        return out;
    }
    HotkeyConfig table(std::vector<HotkeyConfig::HotkeyBinding> bindings) {
        HotkeyConfig config = HotkeyConfig::defaults(kNow);
        config.bindings = std::move(bindings);
        return config;
    }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<HotkeyCenter> center = std::make_shared<HotkeyCenter>(*desktop);
    HotkeyManager manager{center};
    std::vector<std::string> ran;
};

TEST_F(HotkeyManagerTest, theDefaultTableRegistersItsKeysInOrderAndASecondApplyKeepsTheKeysItHeldAlready) {
    manager.apply(HotkeyConfig::defaults(kNow), 4, recording());

    std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {{48, kHotKeyOption},
                                                                     {48, kHotKeyOption | kHotKeyShift}};
    for (std::uint32_t digit : {18, 19, 20, 21, 23, 22, 26, 28, 25})
        expected.emplace_back(digit, kCtrlOpt);
    for (std::uint32_t key : {12, 13, 6, 7}) // Q W Z X
        expected.emplace_back(key, kCtrlOpt);
    expected.emplace_back(12, kCtrlShiftOpt);
    expected.emplace_back(13, kCtrlShiftOpt);
    for (std::uint32_t key : {0, 8, 1}) // A C S
        expected.emplace_back(key, kCtrlOpt);
    EXPECT_EQ(combinations(), expected) << "digits 1-9 with 4 zones, nothing for scene.update";
    EXPECT_EQ(keys().registered().back().id.id, 20u);
    EXPECT_EQ(center->eventTapFallbackBindings().size(), 19u) << "all but control+option+A";
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyManager.apply: 13 bindings, enabled: 12"));
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyManager: registering focus.left key=Q keyCode=12 "
                                       "mods=[\"ctrl\", \"shift\", \"alt\"]"));
    EXPECT_FALSE(capture.log().contains("processing scene.update"));

    // With 12 zones the letters A-C join the digits. Zones 10 and 12 come first in the table and take
    // control+option+A and C, so the switchers' own registrations of them are refused. Every combination
    // held before stays held under its registration, never let go in between (a press then would reach
    // the window in front); the one new combination, control+option+B, joins them.
    manager.apply(HotkeyConfig::defaults(kNow), 12, recording());
    std::vector<std::uint32_t> ids;
    for (const auto& r : keys().registered())
        ids.push_back(r.id.id);
    std::vector<std::uint32_t> kept(20);
    std::iota(kept.begin(), kept.end(), 1u);
    kept.push_back(21u);
    EXPECT_EQ(ids, kept);
    expected.emplace_back(11, kCtrlOpt); // B
    EXPECT_EQ(combinations(), expected);
    EXPECT_TRUE(capture.log().contains("[hotkey] XGrabKey failed key=0 mods=6144 status=-9878"));
    EXPECT_TRUE(capture.log().contains("[hotkey] XGrabKey failed key=8 mods=6144 status=-9878"));
    ran.clear();
    keys().press(0, kEventFlagControl | kEventFlagOption);
    settle();
    EXPECT_EQ(ran, (std::vector<std::string>{"push.region.10"})) << "the kept key runs its new action";
}

TEST_F(HotkeyManagerTest, eachDefaultKeyRunsItsOwnAction) {
    manager.apply(HotkeyConfig::defaults(kNow), 4, recording());
    const std::uint64_t co = kEventFlagControl | kEventFlagOption;
    struct Row {
        std::uint32_t key;
        std::uint64_t flags;
        const char* action;
    };
    const Row rows[] = {
        {48, kEventFlagOption, "cycle1"},
        {48, kEventFlagOption | kEventFlagShift, "cycle-1"},
        {26, co, "push.region.7"},
        {12, co, "pushLeft"},
        {13, co, "pushRight"},
        {6, co, "pushDisplayPrev"},
        {7, co, "pushDisplayNext"},
        {12, co | kEventFlagShift, "focusLeft"},
        {13, co | kEventFlagShift, "focusRight"},
        {0, co, "globalSwitcher"},
        {8, co, "sceneSwitcherToggle"},
        {1, co, "sceneSave"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.action);
        ran.clear();
        keys().press(row.key, row.flags);
        settle();
        EXPECT_EQ(ran, std::vector<std::string>{row.action});
    }
}

TEST_F(HotkeyManagerTest, obsoleteRetiredUnknownAndKeylessBindingsAreSkippedWithTheirLines) {
    manager.apply(table({{"scene.switch.3", "3", {"cmd"}, true},
                         {"layout.next", "N", {"ctrl"}, true},
                         {"foo", "F", {"ctrl"}, true},
                         {"scene.update", "", {}, true},
                         {"push.left", "digits", {"ctrl"}, true},
                         {"focus.right", "J", {"Ctrl", "hyper"}, true}}),
                  1, recording());
    EXPECT_EQ(combinations(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{38, kHotKeyControl}}));
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyManager: scene.switch.* is obsolete (removed in v2), "
                                       "skip scene.switch.3"));
    EXPECT_FALSE(capture.log().contains("unknown action layout.next"));
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyManager: unknown action foo"));
    EXPECT_TRUE(
        capture.log().contains("[hotkey] HotkeyManager: keyCode missing for key= action=scene.update"));
    EXPECT_TRUE(
        capture.log().contains("[hotkey] HotkeyManager: keyCode missing for key=digits action=push.left"));
}

TEST_F(HotkeyManagerTest, anAbsentHandlerLeavesItsActionUnregisteredAndTwoBindingsOfOneActionBothRunIt) {
    HotkeyActionHandlers handlers = recording();
    handlers.globalSwitcher = nullptr;
    handlers.sceneSave = nullptr;
    manager.apply(table({{"globalSwitcher.toggle", "A", {"ctrl", "alt"}, true},
                         {"scene.save", "S", {"ctrl", "alt"}, true},
                         {"push.left", "Q", {"ctrl", "alt"}, true},
                         {"push.left", "j", {"control", "OPTION"}, true}}),
                  1, handlers);
    EXPECT_TRUE(
        capture.log().contains("[hotkey] HotkeyManager: global switcher handler missing, skip registration"));
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyManager: scene save handler missing, skip"));
    EXPECT_EQ(combinations(),
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{12, kCtrlOpt}, {38, kCtrlOpt}}));

    keys().press(12, kEventFlagControl | kEventFlagOption);
    keys().press(38, kEventFlagControl | kEventFlagOption);
    settle();
    EXPECT_EQ(ran, (std::vector<std::string>{"pushLeft", "pushLeft"}));
}

TEST_F(HotkeyManagerTest, modifierNamesInAnyCaseAddTheirBitAndOthersNothing) {
    struct Row {
        std::vector<std::string> names;
        std::uint32_t mask;
    };
    const Row rows[] = {
        {{}, 0},
        {{"Ctrl"}, 0x1000},
        {{"CONTROL", "alt"}, 0x1800},
        {{"Option", "shift"}, 0x0A00},
        {{"cmd", "Command", "hyper", ""}, 0x0100},
        {{"ctrl", "alt", "shift", "cmd"}, 0x1B00},
    };
    for (const Row& row : rows)
        EXPECT_EQ(HotkeyManager::parseModifiers(row.names), row.mask) << ::testing::PrintToString(row.names);
}

TEST_F(HotkeyManagerTest, keyNamesInAnyCaseGiveTheirANSIKeyCodes) {
    const std::pair<const char*, std::optional<std::uint16_t>> rows[] = {
        {"a", 0},
        {"Q", 12},
        {"z", 6},
        {"1", 18},
        {"0", 29},
        {"F5", 96},
        {"f12", 111},
        {"TAB", 48},
        {"left_bracket", 33},
        {"]", 30},
        {"period", 47},
        {"\\", 42},
        {"Enter", 36},
        {"backspace", 51},
        {"up", 126},
        {"f13", 105},
        {"F24", 131},
        {"Insert", 114},
        {"prior", 116},
        {"KP_1", 83},
        {"kp_enter", 76},
        {"pause", 133},
        {"", std::nullopt},
        {"digits", std::nullopt},
        {"f25", std::nullopt},
        {"f01", std::nullopt},
        {"page_up", std::nullopt},
        {"aa", std::nullopt},
    };
    for (const auto& [name, code] : rows)
        EXPECT_EQ(HotkeyManager::keyCode(name), code) << name;
}

} // namespace

TEST_F(HotkeyManagerTest, theBindingsNotHeldAreNamedByTheirActionsTheZoneKeysByTheirFamily) {
    keys().holdByAnotherClient(48, kHotKeyOption); // Alt+Tab, as window managers bind it
    keys().holdByAnotherClient(20, kCtrlOpt);      // Ctrl+Alt+3
    keys().mapKeyboard({8});                       // no key types C
    settle();
    // Zone 10 takes Ctrl+Alt+A first: the global switcher's is this program's duplicate, not another's.
    manager.apply(HotkeyConfig::defaults(kNow), 12, recording());
    const auto unheld = manager.unheldBindings();
    ASSERT_EQ(unheld.size(), 4u);
    EXPECT_EQ(unheld[0].action, "cycle.forward");
    EXPECT_EQ(unheld[0].status, platform::kEventHotKeyExistsErr);
    EXPECT_EQ(unheld[1].action, "push.region.dynamic");
    EXPECT_EQ(unheld[1].keyCode, 20u);
    EXPECT_EQ(unheld[1].modifiers, kCtrlOpt);
    EXPECT_EQ(unheld[2].action, "push.region.dynamic") << "zone 12, on C";
    EXPECT_EQ(unheld[2].keyCode, 8u);
    EXPECT_EQ(unheld[2].status, platform::kEventHotKeyInvalidErr);
    EXPECT_EQ(unheld[3].action, "sceneSwitcher.toggle");
    EXPECT_EQ(unheld[3].status, platform::kEventHotKeyInvalidErr);
}
