// The program's hot keys on a real X server: once started, the built `korvane` holds every key of its
// default table against other clients and runs the action of a key pressed through XTest exactly once,
// while a key that another client took before it started is that client's alone: Korvane does not act on
// it by watching the keyboard. Started under a layout without Latin letters, it holds its letter keys once
// a Latin layout is in use, and none of them reaches the window in front.
#include "ProgramOnX11.h"

#include <X11/keysym.h>

#include <thread>

namespace korvane::x11::test {
namespace {

constexpr std::uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint16_t kCtrlShiftAlt = kCtrlAlt | XCB_MOD_MASK_SHIFT;

using HotkeysOnX11Test = ProgramOnX11Test;

TEST_F(HotkeysOnX11Test, itsKeysAreHeldAPressRunsItsActionOnceAndAKeyTakenFirstIsLeftToItsHolder) {
    startSession(true);
    const xcb_keycode_t ctrl = session->keycodeOf(XK_Control_L), shift = session->keycodeOf(XK_Shift_L),
                        alt = session->keycodeOf(XK_Alt_L), q = session->keycodeOf(XK_q),
                        w = session->keycodeOf(XK_w);
    // Another client takes focus-left (control+shift+option+Q) first.
    ASSERT_TRUE(session->grabKey(q, kCtrlShiftAlt));
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    EXPECT_TRUE(logged("XGrabKey failed key=12 mods=6656 status=-9878")) << logText();

    // Every other key of the default table is taken: no other client can grab it.
    struct Key {
        std::uint32_t keysym;
        std::uint16_t modifiers;
    };
    std::vector<Key> held = {{XK_Tab, XCB_MOD_MASK_1}, {XK_Tab, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT},
                             {XK_q, kCtrlAlt},         {XK_w, kCtrlAlt},
                             {XK_z, kCtrlAlt},         {XK_x, kCtrlAlt},
                             {XK_w, kCtrlShiftAlt},    {XK_a, kCtrlAlt},
                             {XK_c, kCtrlAlt},         {XK_s, kCtrlAlt}};
    for (std::uint32_t digit = XK_1; digit <= XK_9; ++digit)
        held.push_back({digit, kCtrlAlt});
    for (const Key& key : held)
        EXPECT_FALSE(session->grabKey(session->keycodeOf(key.keysym), key.modifiers))
            << "keysym " << key.keysym << " modifiers " << key.modifiers;

    // Focus-right, held by Korvane: its grab reports the press, and so does its tap; the action runs once.
    session->pressKeys({ctrl, shift, alt, w});
    ASSERT_TRUE(waitForLine("Focus adjacent region dir=1 on", seconds(15))) << logText();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(count("Focus adjacent region dir=1 on"), 1u) << logText();
    EXPECT_FALSE(logged("Hotkey event-tap fallback fired: focus.right"));

    // Focus-left, held by the other client: it goes to that client, and Korvane does not act on it as well.
    session->pressKeys({ctrl, shift, alt, q});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(count("Focus adjacent region dir=-1 on"), 0u) << logText();
    EXPECT_FALSE(logged("Hotkey event-tap fallback fired")) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(HotkeysOnX11Test, startedUnderALayoutWithoutLatinLettersItsLetterKeysActOnceALatinOneIsInUse) {
    startSession(true);
    const fs::path record = folder.path() / "typed.txt";
    const xcb_window_t terminal = recordingXterm("Recorder", "60x20+2100+100", record);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == terminal; }));
    // The keys by where they are: the layouts below type other things on them.
    const xcb_keycode_t ctrl = session->keycodeOf(XK_Control_L), alt = session->keycodeOf(XK_Alt_L),
                        a = session->keycodeOf(XK_a), q = session->keycodeOf(XK_q);
    ASSERT_TRUE(session->run({"setxkbmap", "ru"}));
    ASSERT_EQ(session->keycodeOf(XK_a), 0) << "no key types a";
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    EXPECT_TRUE(logged("XGrabKey failed key=0 mods=6144 status=-9879")) << logText();

    ASSERT_TRUE(session->run({"setxkbmap", "us"}));
    ASSERT_TRUE(waitForLine("Hot keys registered again for the new keyboard mapping")) << logText();
    EXPECT_FALSE(session->grabKey(a, kCtrlAlt)) << "Korvane holds Ctrl+Alt+A again";
    EXPECT_FALSE(session->grabKey(q, kCtrlAlt)) << "and Ctrl+Alt+Q";

    // Ctrl+Alt+A opens the global switcher, Escape closes it; then Ctrl+Alt+Q. The terminal, which writes
    // down every key it gets, gets none of them.
    session->pressKeys({ctrl, alt, a});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled(kGlobalSwitcherTitle).has_value();
    })) << logText();
    session->pressKeys({session->keycodeOf(XK_Escape)});
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kGlobalSwitcherTitle); }));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == terminal; }));
    session->pressKeys({ctrl, alt, q});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(contents(record), "");
    EXPECT_FALSE(logged("Hotkey event-tap fallback fired")) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
