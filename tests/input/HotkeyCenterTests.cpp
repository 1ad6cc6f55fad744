// The hot-key center on the simulated keyboard: what it holds on the system and what the tap recognises,
// which road a press takes to its action and how often the action runs, the zone-number family, and what
// is left after everything is unregistered.
#include "input/HotkeyCenter.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;
using platform::kEventFlagCapsLock;
using platform::kEventFlagCommand;
using platform::kEventFlagControl;
using platform::kEventFlagOption;
using platform::kEventFlagShift;
using platform::kHotKeyControl;
using platform::kHotKeyOption;
using platform::kHotKeyShift;

namespace {

constexpr std::uint32_t kQ = 12, kW = 13, kA = 0, kTab = 48;
constexpr std::uint32_t kControlOption = kHotKeyControl | kHotKeyOption;
constexpr std::uint64_t kControlOptionFlags = kEventFlagControl | kEventFlagOption;

class HotkeyCenterTest : public ::testing::Test {
  protected:
    sim::SimHotKeys& keys() { return desktop->hotKeys(); }
    void settle() { desktop->loop().runUntilIdle(); }
    // A closure counting its runs under `name`.
    HotkeyCenter::Handler counter(const std::string& name) {
        return [this, name] { ++runs[name]; };
    }
    std::vector<std::uint32_t> registeredIDs() {
        std::vector<std::uint32_t> ids;
        for (const auto& r : keys().registered())
            ids.push_back(r.id.id);
        return ids;
    }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<HotkeyCenter> center = std::make_shared<HotkeyCenter>(*desktop);
    std::map<std::string, int> runs;
};

TEST_F(HotkeyCenterTest,
       aRegistrationHoldsItsCombinationUnderTheSignatureAndTheNextIDAndTheTapLearnsItWithAModifier) {
    EXPECT_TRUE(center->registerHotkey(kQ, kControlOption, counter("push"), "push.left"));
    EXPECT_TRUE(center->registerHotkey(kA, kControlOption, counter("switcher"), "globalSwitcher.toggle"));
    EXPECT_TRUE(center->registerHotkey(kW, 0, counter("bare")));
    EXPECT_TRUE(center->registerHotkey(kTab, kHotKeyOption, counter("cycle")));

    const auto registered = keys().registered();
    ASSERT_EQ(registered.size(), 4u);
    EXPECT_EQ(registeredIDs(), (std::vector<std::uint32_t>{1, 2, 3, 4}));
    for (const auto& r : registered)
        EXPECT_EQ(r.id.signature, 0x564E5451u) << "VNTQ";
    EXPECT_EQ(registered[0].keyCode, kQ);
    EXPECT_EQ(registered[0].modifiers, kControlOption);

    // A (key code 0) and a bare key have no tap binding; an unnamed one goes by its key and mask.
    const auto& bindings = center->eventTapFallbackBindings();
    ASSERT_EQ(bindings.size(), 2u);
    EXPECT_EQ(bindings[0].keyCode, kQ);
    EXPECT_EQ(bindings[0].requiredFlags, kControlOptionFlags);
    EXPECT_EQ(bindings[0].name, "push.left");
    EXPECT_EQ(bindings[1].requiredFlags, kEventFlagOption);
    EXPECT_EQ(bindings[1].name, "key=48 mods=2048");
    EXPECT_TRUE(center->hasEventTap());
    EXPECT_EQ(capture.console().count("[Korvane] Installing global hotkey event handler..."), 1u);
    EXPECT_TRUE(capture.console().contains("[Korvane] Key grab handler SUCCESS"));

    center->registerHotkey(kQ, kControlOption, counter("unnamed"));
    EXPECT_EQ(center->eventTapFallbackBindings().back().name, "key=12 mods=6144");
}

TEST_F(HotkeyCenterTest, aPressReachesItsActionThroughOneRoadOnlyAndRunsItOnce) {
    // Held by this program: the hot key serves it and the tap lets it pass.
    center->registerHotkey(kQ, kControlOption, counter("ours"), "push.left");
    // Taken first by another client: refused, logged, served by the tap and withheld from that client.
    keys().holdByAnotherClient(kW, kControlOption);
    EXPECT_FALSE(center->registerHotkey(kW, kControlOption, counter("theirs"), "push.right"));
    EXPECT_TRUE(capture.log().contains("[hotkey] XGrabKey failed key=13 mods=6144 status=-9878"));

    keys().press(kQ, kControlOptionFlags);
    keys().press(kW, kControlOptionFlags);
    EXPECT_TRUE(runs.empty()) << "nothing runs inside the press";
    settle();
    EXPECT_EQ(runs["ours"], 1);
    EXPECT_EQ(runs["theirs"], 1);
    EXPECT_EQ(keys().handlerStatuses(), std::vector<int>{platform::kHotKeyNoErr});
    EXPECT_EQ(capture.log().count("Hotkey event-tap fallback fired:"), 1u);
    EXPECT_TRUE(capture.log().contains("[hotkey] Hotkey event-tap fallback fired: push.right"));
    EXPECT_TRUE(keys().passedOn().empty()) << "the tap swallowed the one it served";
    EXPECT_TRUE(capture.console().contains("[Korvane] Hotkey event: id=1 name=push.left"));
}

TEST_F(HotkeyCenterTest, withoutTheHotKeyHandlerEveryCombinationWithAModifierIsServedOnceByTheTap) {
    keys().handlerInstallStatus = platform::kEventInternalErr;
    center->registerHotkey(kQ, kControlOption, counter("push"), "push.left");
    center->registerHotkey(kA, kControlOption, counter("switcher"), "globalSwitcher.toggle");
    EXPECT_TRUE(capture.log().contains("[hotkey] Key grab handler failed status=-9868"));
    EXPECT_TRUE(capture.console().contains("[Korvane] Key grab handler FAILED: status=-9868"));
    EXPECT_EQ(capture.console().count("[Korvane] Installing global hotkey event handler..."), 1u)
        << "not tried again";

    keys().press(kQ, kControlOptionFlags);
    keys().press(kA, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["push"], 1);
    EXPECT_EQ(runs["switcher"], 0) << "A has no tap binding";
}

TEST_F(HotkeyCenterTest, theTapMatchesExactModifiersIgnoringCapsLockAndLetsRepeatsAndStrangersPass) {
    keys().holdByAnotherClient(kW, kControlOption);
    center->registerHotkey(kW, kControlOption, counter("push"), "push.right");

    keys().press(kW, kControlOptionFlags | kEventFlagCapsLock, 2);
    settle();
    EXPECT_EQ(runs["push"], 1) << "caps lock takes no part; the repeats never match";
    auto passed = keys().passedOn();
    ASSERT_EQ(passed.size(), 2u);
    EXPECT_TRUE(passed[0].autorepeat && passed[1].autorepeat);

    keys().press(kW, kControlOptionFlags | kEventFlagShift);
    keys().press(kW, kControlOptionFlags | kEventFlagCommand);
    keys().press(kQ, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["push"], 1) << "an extra modifier or another key is another combination";
    EXPECT_EQ(keys().passedOn().size(), 5u);
}

TEST_F(HotkeyCenterTest, holdingAHeldCombinationRunsItsActionOnceAndItsRepeatsGoNowhere) {
    center->registerHotkey(kQ, kControlOption, counter("push"), "push.left");
    keys().press(kQ, kControlOptionFlags, 5);
    settle();
    EXPECT_EQ(runs["push"], 1);
    EXPECT_EQ(keys().handlerStatuses().size(), 1u);
    EXPECT_TRUE(keys().passedOn().empty());
}

TEST_F(HotkeyCenterTest, aTapThatCannotBeMadeIsLoggedAndTriedAgainAndOneTheDesktopTurnsOffIsTurnedOnAgain) {
    keys().refuseTap = true;
    keys().holdByAnotherClient(kW, kControlOption);
    center->registerHotkey(kW, kControlOption, counter("push"), "push.right");
    EXPECT_FALSE(center->hasEventTap());
    EXPECT_TRUE(
        capture.log().contains("[hotkey] Hotkey event-tap fallback disabled: failed to create event tap "
                               "(check the XInput2 extension)"));
    keys().press(kW, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["push"], 0) << "listed, but nothing serves it";

    keys().refuseTap = false;
    keys().refuseRunLoopSource = true;
    center->registerHotkey(kQ, kHotKeyShift, counter("other"));
    EXPECT_FALSE(center->hasEventTap());
    EXPECT_TRUE(capture.log().contains(
        "[hotkey] Hotkey event-tap fallback disabled: failed to select XInput2 raw key events"));
    EXPECT_EQ(keys().tapCount(), 0u) << "the tap without a source is let go";

    keys().refuseRunLoopSource = false;
    center->registerHotkey(kQ, kHotKeyShift | kHotKeyOption, counter("third"));
    ASSERT_TRUE(center->hasEventTap());
    keys().press(kW, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["push"], 1) << "the earlier binding is served by the later tap";

    keys().disableTaps(platform::KeyTapEventType::tapDisabledByTimeout);
    EXPECT_FALSE(keys().anyTapEnabled());
    settle();
    EXPECT_TRUE(keys().anyTapEnabled());
    keys().press(kW, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["push"], 2);
}

TEST_F(HotkeyCenterTest, unregisteringEverythingLetsGoOfTheSystemAndTheTapWhileIDsGoOn) {
    center->registerHotkey(kQ, kControlOption, counter("push"), "push.left");
    center->registerHotkey(kW, kControlOption, counter("right"), "push.right");
    keys().press(kQ, kControlOptionFlags); // queued under id 1 before everything goes
    center->unregisterAll();

    EXPECT_TRUE(keys().registered().empty());
    EXPECT_EQ(keys().tapCount(), 0u);
    EXPECT_TRUE(center->eventTapFallbackBindings().empty());
    settle();
    EXPECT_EQ(runs["push"], 0);
    EXPECT_EQ(keys().handlerStatuses(), std::vector<int>{platform::kEventNotHandledErr});
    EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyCenter: no handler for id=1"));
    EXPECT_TRUE(capture.console().contains("[Korvane] Hotkey event: id=1 name=unknown"));

    center->registerHotkey(kQ, kControlOption, counter("again"), "push.left");
    EXPECT_EQ(registeredIDs(), std::vector<std::uint32_t>{3});
    EXPECT_EQ(capture.console().count("[Korvane] Installing global hotkey event handler..."), 1u);
    keys().press(kQ, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs["again"], 1);
}

TEST_F(HotkeyCenterTest, whileSuspendedEveryKeyGoesToTheWindowInFrontAndAfterwardsTheKeysAreHeldAgain) {
    center->registerHotkey(kQ, kControlOption, counter("push"), "push.left");
    keys().holdByAnotherClient(kW, kControlOption);
    center->registerHotkey(kW, kControlOption, counter("theirs"), "push.right");
    keys().press(kQ, kControlOptionFlags); // taken before the suspension, delivered during it

    auto first = center->suspend();
    auto second = center->suspend();
    EXPECT_TRUE(keys().registered().empty());
    settle();
    EXPECT_EQ(keys().handlerStatuses(), std::vector<int>{platform::kEventNotHandledErr});
    // Neither road acts: not the system hot key, nor the tap on a combination another client holds.
    keys().press(kQ, kControlOptionFlags);
    keys().press(kW, kControlOptionFlags);
    // A table applied meanwhile waits for the end of the suspension.
    center->unregisterAll();
    center->registerHotkey(kQ, kControlOption, counter("push"), "push.left");
    EXPECT_FALSE(center->registerHotkey(kTab, kHotKeyOption, counter("cycle"), "cycle.forward"));
    center->registerHotkey(kW, kControlOption, counter("theirs"), "push.right");
    EXPECT_TRUE(keys().registered().empty());
    settle();
    EXPECT_TRUE(runs.empty());
    ASSERT_EQ(keys().passedOn().size(), 2u);
    EXPECT_EQ(keys().passedOn()[0].keyCode, kQ);

    first->end();
    first->end();
    EXPECT_TRUE(keys().registered().empty()) << "the other suspension still holds";
    second.reset();
    EXPECT_EQ(registeredIDs(), (std::vector<std::uint32_t>{3, 4})) << "under the ids they were given";
    keys().press(kQ, kControlOptionFlags);
    keys().press(kTab, kEventFlagOption);
    keys().press(kW, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs, (std::map<std::string, int>{{"push", 1}, {"cycle", 1}, {"theirs", 1}}));
}

TEST_F(HotkeyCenterTest, whereATapCannotWithholdAKeyNoCombinationIsServedByWatchingIt) {
    // The X11 tap's kind: a key it sees goes on to its window whatever it answers.
    keys().tapsWithhold = false;
    keys().holdByAnotherClient(kW, kControlOption);
    EXPECT_FALSE(center->registerHotkey(kW, kControlOption, counter("theirs"), "push.right"));
    EXPECT_TRUE(center->registerHotkey(kQ, kControlOption, counter("ours"), "push.left"));
    EXPECT_FALSE(center->hasEventTap());
    EXPECT_EQ(capture.log().count("Hotkey event-tap fallback not used"), 1u) << "said once";

    keys().press(kW, kControlOptionFlags);
    keys().press(kQ, kControlOptionFlags);
    settle();
    EXPECT_EQ(runs, (std::map<std::string, int>{{"ours", 1}})) << "the held one acts, once";
    ASSERT_EQ(keys().passedOn().size(), 1u) << "the other goes to the client holding it, and only there";
    EXPECT_EQ(keys().passedOn()[0].keyCode, kW);
    EXPECT_FALSE(capture.log().contains("fallback fired"));
}

TEST_F(HotkeyCenterTest, aKeyboardMappedAnewHasEveryCombinationRegisteredAgainAndRefusalsSayWhy) {
    // A layout without the letters: A and Q are typed by no key.
    keys().mapKeyboard({kA, kQ});
    settle();
    keys().holdByAnotherClient(kW, kControlOption);
    EXPECT_FALSE(center->registerHotkey(kA, kControlOption, counter("switcher"), "globalSwitcher.toggle"));
    EXPECT_FALSE(center->registerHotkey(kQ, kControlOption, counter("push"), "push.left"));
    EXPECT_FALSE(center->registerHotkey(kW, kControlOption, counter("theirs"), "push.right"));
    EXPECT_TRUE(center->registerHotkey(kTab, kHotKeyOption, counter("cycle"), "cycle.forward"));
    // A second registration of a combination the program holds is not another program's.
    EXPECT_FALSE(center->registerHotkey(kTab, kHotKeyOption, counter("again"), "cycle.again"));

    auto refusals = center->refusals();
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_EQ(refusals[0].name, "globalSwitcher.toggle");
    EXPECT_EQ(refusals[0].status, platform::kEventHotKeyInvalidErr);
    EXPECT_EQ(refusals[1].name, "push.left");
    EXPECT_EQ(refusals[2].name, "push.right");
    EXPECT_EQ(refusals[2].status, platform::kEventHotKeyExistsErr);
    EXPECT_EQ(refusals[2].keyCode, kW);
    EXPECT_EQ(refusals[2].modifiers, kControlOption);
    {
        auto suspension = center->suspend();
        EXPECT_TRUE(center->refusals().empty()) << "nothing is asked of the system while suspended";
    }

    // The Latin layout back: the letters are held under the ids they were given, in order, and Tab, held
    // all along, is not let go to be taken again (a press in between would reach the window in front).
    keys().mapKeyboard({});
    settle();
    EXPECT_EQ(registeredIDs(), (std::vector<std::uint32_t>{4, 1, 2}));
    refusals = center->refusals();
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].name, "push.right");
    keys().press(kA, kControlOptionFlags);
    keys().press(kQ, kControlOptionFlags);
    keys().press(kTab, kEventFlagOption);
    settle();
    EXPECT_EQ(runs, (std::map<std::string, int>{{"switcher", 1}, {"push", 1}, {"cycle", 1}}));
    EXPECT_TRUE(capture.log().contains("[hotkey] Hot keys registered again for the new keyboard mapping"));

    // Mapped anew while suspended: the end of the suspension registers everything.
    auto suspension = center->suspend();
    keys().mapKeyboard({kQ});
    settle();
    EXPECT_TRUE(keys().registered().empty());
    suspension.reset();
    EXPECT_EQ(registeredIDs(), (std::vector<std::uint32_t>{1, 4}));
}

TEST_F(HotkeyCenterTest, theZoneNumberKeysAreTheDigitsWhateverTheCountThenLettersUpToZone35) {
    struct Row {
        int count;
        std::size_t keys;
        std::uint32_t lastKey;
    };
    for (const Row& row : {Row{3, 9, 25}, Row{9, 9, 25}, Row{12, 12, 8}, Row{35, 35, 6}, Row{50, 35, 6}}) {
        SCOPED_TRACE(row.count);
        center->unregisterAll();
        center->registerPushRegionHotkeys(
            row.count, [](int) {}, std::nullopt, "push-region");
        const auto registered = keys().registered();
        ASSERT_EQ(registered.size(), row.keys);
        EXPECT_EQ(registered.front().keyCode, 18u) << "1";
        EXPECT_EQ(registered.back().keyCode, row.lastKey);
        for (const auto& r : registered)
            EXPECT_EQ(r.modifiers, kControlOption);
        EXPECT_TRUE(
            capture.log().contains("[hotkey] Registered " + std::to_string(row.keys) + " push hotkeys"));
        // Zone 10 is A, the one key without a tap binding.
        EXPECT_EQ(center->eventTapFallbackBindings().size(), row.keys > 9 ? row.keys - 1 : row.keys);
        EXPECT_EQ(center->eventTapFallbackBindings().back().name, "push-region-" + std::to_string(row.keys));
    }
}

} // namespace
