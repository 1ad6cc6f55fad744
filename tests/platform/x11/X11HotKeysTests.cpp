// System hot keys and the key tap on a real X server: a registration is a grab that no other client can
// take in any lock state and whose presses reach the handler once each; a combination another client
// holds is refused without keeping any part of it, yet the tap still sees its presses; the grabs follow
// the keyboard mapping when it changes; and each layout's keys are named as the hot keys hold them, a
// letter on the key that carries it in the first layout that has it.
#include "X11Fixture.h"

#include "platform/HotKeys.h"

#include <X11/keysym.h>

namespace korvane::x11::test {
namespace {

using platform::KeyDownEvent;
using platform::KeyTapEventType;

constexpr std::uint32_t kW = 13;
constexpr std::uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint32_t kControlOption = platform::kHotKeyControl | platform::kHotKeyOption;
constexpr platform::EventHotKeyID kID{0x564E5451, 7};

class X11HotKeysTest : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        ctrl = session().keycodeOf(XK_Control_L);
        alt = session().keycodeOf(XK_Alt_L);
        w = session().keycodeOf(XK_w);
        ASSERT_TRUE(ctrl && alt && w);
        desktop->hotKeys().installHotKeyHandler([this](const platform::EventHotKeyID& id) {
            pressed.push_back(id.id);
            return platform::kHotKeyNoErr;
        });
    }
    void TearDown() override {
        for (auto [key, modifiers] : grabbed)
            session().ungrabKey(key, modifiers);
        X11Test::TearDown();
    }
    // A grab of another client, let go at the end of the test.
    bool otherClientGrabs(xcb_keycode_t key, std::uint16_t modifiers) {
        if (!session().grabKey(key, modifiers)) return false;
        grabbed.emplace_back(key, modifiers);
        return true;
    }
    std::unique_ptr<platform::KeyEventTap> tap(std::vector<KeyDownEvent>& seen) {
        auto t = desktop->hotKeys().createKeyDownTap([&seen](KeyTapEventType type, const KeyDownEvent& e) {
            if (type == KeyTapEventType::keyDown) seen.push_back(e);
            return true;
        });
        EXPECT_TRUE(t);
        if (!t) return nullptr;
        EXPECT_TRUE(t->addToMainRunLoop());
        t->setEnabled(true);
        return t;
    }
    // Lets the desktop read what the server sent meanwhile.
    void drain(Nanos d = milliseconds(300)) {
        runUntil([] { return false; }, d);
    }

    xcb_keycode_t ctrl = 0, alt = 0, w = 0;
    std::vector<std::uint32_t> pressed;
    std::vector<std::pair<xcb_keycode_t, std::uint16_t>> grabbed;
};

TEST_F(X11HotKeysTest, aRegistrationHoldsItsKeyInEveryLockStateAndEachPressReachesTheHandlerOnce) {
    auto registration = desktop->hotKeys().registerHotKey(kW, kControlOption, kID);
    ASSERT_EQ(registration.status, platform::kHotKeyNoErr);
    ASSERT_TRUE(registration.ref);
    // Num lock is Mod2 on the server's keyboard.
    for (int lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2})
        EXPECT_FALSE(otherClientGrabs(w, static_cast<std::uint16_t>(kCtrlAlt | lock)))
            << "lock state " << lock;
    std::vector<KeyDownEvent> seen;
    auto keyTap = tap(seen);

    session().pressKeys({ctrl, alt, w});
    ASSERT_TRUE(runUntil([&] { return pressed.size() == 1; }));
    // Caps lock on.
    const xcb_keycode_t caps = session().keycodeOf(XK_Caps_Lock);
    session().pressKeys({caps});
    session().pressKeys({ctrl, alt, w});
    session().pressKeys({caps});
    ASSERT_TRUE(runUntil([&] { return pressed.size() == 2; }));
    // Held while the keyboard repeats it.
    session().pressKeys({ctrl, alt, w}, milliseconds(1200));
    ASSERT_TRUE(runUntil([&] { return pressed.size() == 3; }));
    drain();
    EXPECT_EQ(pressed, (std::vector<std::uint32_t>{7, 7, 7}));

    // The tap saw the same presses: on X11 both roads report a held combination.
    std::size_t firstPresses = 0;
    for (const auto& e : seen)
        if (e.keyCode == kW && !e.autorepeat) {
            ++firstPresses;
            EXPECT_EQ(e.flags & platform::kEventFlagModifierMask,
                      platform::kEventFlagControl | platform::kEventFlagOption);
        }
    EXPECT_EQ(firstPresses, 3u);

    registration.ref->unregister();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return otherClientGrabs(w, kCtrlAlt); }, seconds(2)));
}

TEST_F(X11HotKeysTest, aCombinationAnotherClientHoldsIsRefusedWholeAndItsPressesStillReachTheTap) {
    ASSERT_TRUE(otherClientGrabs(w, kCtrlAlt));
    const auto refused = desktop->hotKeys().registerHotKey(kW, kControlOption, kID);
    EXPECT_EQ(refused.status, platform::kEventHotKeyExistsErr);
    EXPECT_FALSE(refused.ref);
    EXPECT_TRUE(otherClientGrabs(w, kCtrlAlt | XCB_MOD_MASK_LOCK)) << "no lock state was kept";

    // Held while the keyboard repeats it: the tap reports the press once as a press (the server sends no
    // raw events for its repeats; any it did send would be marked as repeats).
    std::vector<KeyDownEvent> seen;
    auto keyTap = tap(seen);
    session().pressKeys({ctrl, alt, w}, milliseconds(1200));
    ASSERT_TRUE(runUntil([&] {
        return std::any_of(seen.begin(), seen.end(), [](const KeyDownEvent& e) { return e.keyCode == kW; });
    }));
    drain();
    std::vector<bool> repeats;
    for (const auto& e : seen)
        if (e.keyCode == kW) {
            repeats.push_back(e.autorepeat);
            EXPECT_EQ(e.flags & platform::kEventFlagModifierMask,
                      platform::kEventFlagControl | platform::kEventFlagOption);
        }
    ASSERT_FALSE(repeats.empty());
    EXPECT_FALSE(repeats.front());
    EXPECT_EQ(std::count(repeats.begin(), repeats.end(), false), 1);
    EXPECT_TRUE(pressed.empty());

    // This program's own second registration of a combination is refused the same way.
    const auto first = desktop->hotKeys().registerHotKey(12, kControlOption, kID);
    ASSERT_EQ(first.status, platform::kHotKeyNoErr);
    EXPECT_EQ(desktop->hotKeys().registerHotKey(12, kControlOption, kID).status,
              platform::kEventHotKeyExistsErr);
}

TEST_F(X11HotKeysTest, theGrabsFollowTheKeyboardMappingWhenAnotherKeyTypesTheLetter) {
    // A key that types nothing yet.
    xcb_keycode_t spare = 0;
    for (int code = 255; code > 200 && !spare; --code)
        if (session().run({"sh", "-c", "xmodmap -pke | grep -qx 'keycode *" + std::to_string(code) + " ='"}))
            spare = static_cast<xcb_keycode_t>(code);
    ASSERT_NE(spare, 0);
    auto registration = desktop->hotKeys().registerHotKey(kW, kControlOption, kID);
    ASSERT_EQ(registration.status, platform::kHotKeyNoErr);

    ASSERT_TRUE(session().run({"xmodmap", "-e", "keycode " + std::to_string(spare) + " = w W"}));
    // Pressed until the desktop has heard of the change and grabbed the new key.
    for (int attempt = 0; attempt < 50 && pressed.empty(); ++attempt) {
        session().pressKeys({ctrl, alt, spare});
        drain(milliseconds(100));
    }
    EXPECT_EQ(pressed, std::vector<std::uint32_t>{7});
    EXPECT_FALSE(otherClientGrabs(spare, kCtrlAlt | XCB_MOD_MASK_LOCK));
    EXPECT_FALSE(otherClientGrabs(w, kCtrlAlt)) << "the first key is still held";
    session().run({"xmodmap", "-e", "keycode " + std::to_string(spare) + " ="});
}

TEST_F(X11HotKeysTest, eachLayoutsKeysAreNamedAsTheHotKeysHoldThemAndTwoLatinLayoutsKeepTheirLettersApart) {
    auto& keys = desktop->hotKeys();
    // The suite's other tests type on a US keyboard.
    struct UsAgain {
        ~UsAgain() { session().run({"setxkbmap", "us"}); }
    } usAgain;
    auto layouts = [&](const char* list, std::uint32_t nativeKey, std::uint16_t named) {
        EXPECT_TRUE(session().run({"setxkbmap", "-layout", list}));
        return runUntil([&] { return keys.virtualKeyForNativeKey(nativeKey) == named; }, seconds(5));
    };
    // X keycodes of the keyboard's places: 10 is the US "1 !" key, 24 its Q, 38 its A.
    ASSERT_TRUE(layouts("fr", 24, 0)) << "the French A";
    EXPECT_EQ(keys.virtualKeyForNativeKey(10), 18) << "the \"1 &\" key is 1";
    EXPECT_EQ(keys.virtualKeyForNativeKey(38), 12) << "the French Q";
    // Each step waits for a key the layouts before it name otherwise.
    ASSERT_TRUE(layouts("ru,us", 24, 12)) << "Q, which types shorti in the Russian layout, by the US one";
    EXPECT_EQ(keys.virtualKeyForNativeKey(38), 0) << "A, which types ef";
    EXPECT_FALSE(keys.virtualKeyForNativeKey(9999));
    ASSERT_TRUE(layouts("fr", 24, 0));

    // US then French: each letter is held on its US key alone, so A and Q are held side by side.
    ASSERT_TRUE(layouts("us,fr", 24, 12));
    constexpr std::uint32_t kA = 0, kQ = 12;
    auto a = keys.registerHotKey(kA, kControlOption, {0x564E5451, 1});
    auto q = keys.registerHotKey(kQ, kControlOption, {0x564E5451, 2});
    EXPECT_EQ(a.status, platform::kHotKeyNoErr);
    EXPECT_EQ(q.status, platform::kHotKeyNoErr);
    session().pressKeys({ctrl, alt, 38});
    session().pressKeys({ctrl, alt, 24});
    EXPECT_TRUE(runUntil([&] { return pressed.size() >= 2; }, seconds(5)));
    EXPECT_EQ(pressed, (std::vector<std::uint32_t>{1, 2}));
}

} // namespace
} // namespace korvane::x11::test
