// The global switcher in the built program on a real X server with openbox and four xterms, as a user
// meets it: control+option+A opens it over the monitor with the keyboard, typing a tile's hint gives
// that xterm the keyboard and closes it, and Escape closes it and gives the keyboard back to the xterm
// that had it; it lists the windows as they are when it opens, also those opened, renamed or closed since
// the program read them. A picture of the server's screen with the switcher open is left under
// build/screenshots. A hint that begins longer ones waits for the next key, so the twelfth of fourteen
// xterms is reached by typing and no typed character lands in another; a terminal that opens while it
// shows gets none of the keys typed at it, also after the window manager took the switcher off screen and
// back (another desktop shown, another window manager taking over); a control+option carry started on it
// carries no xterm beneath it; a switcher shown on a monitor that is unplugged closes with it. In the
// Russian layout beside a US one the hints are typed by the keys that carry their letters.
#include "ProgramOnX11.h"

#include <X11/keysym.h>

#include <set>

namespace korvane::x11::test {
namespace {

constexpr const char* kSwitcherTitle = kGlobalSwitcherTitle;

class GlobalSwitcherProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The only desktop entry the program can find names the xterms "Sample Terminal": their hints are
    // s1 to s4 in the order of their titles (four, one, three, two).
    void writeDesktopEntry() {
        const fs::path data = folder.path() / "data";
        fs::create_directories(data / "applications");
        std::ofstream(data / "applications/korvane-sample-terminal.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sample Terminal\nExec=xterm\nStartupWMClass=XTerm\n";
    }
    pid_t startKorvaneWithEntries() {
        return startKorvane({"XDG_DATA_HOME=" + (folder.path() / "data").string(),
                             "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()},
                            "debug");
    }
    xcb_window_t xterm(const std::string& title, int index) {
        const std::string geometry =
            "50x12+" + std::to_string(2000 + 200 * index) + "+" + std::to_string(100 + 180 * index);
        return ProgramOnX11Test::xterm(title, geometry);
    }
    bool switcherGone() {
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kSwitcherTitle); });
    }
    bool activeBecomes(xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    }
    // The focus requests of the switcher's choices that have ended, each once its window had the keyboard
    // or it gave up asking.
    std::size_t focusRequestsEnded() const {
        return count("[AsyncActivation:Focus request] Completed successfully") +
               count("[AsyncActivation:Focus request] Failed after");
    }
};

TEST_F(GlobalSwitcherProgramOnX11Test,
       controlOptionAOpensItATypedHintFocusesThatXtermAndEscapeGivesTheKeyboardBack) {
    startSession(true);
    writeDesktopEntry();
    const xcb_window_t one = xterm("one", 0), two = xterm("two", 1), three = xterm("three", 2);
    xterm("four", 3);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    const Rect twoFrame = session->frameOf(two);
    session->click(static_cast<int>(twoFrame.midX()), static_cast<int>(twoFrame.midY()));
    ASSERT_TRUE(activeBecomes(two));

    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 4 items")) << logText();
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    const std::string picture = std::string(KORVANE_SCREENSHOT_DIR) + "/global-switcher-korvane.png";
    EXPECT_TRUE(session->saveScreenshot(Rect{0, 0, 3840, 1080}, picture));

    const std::size_t ended = focusRequestsEnded();
    press({XK_s});
    press({XK_3});
    EXPECT_TRUE(activeBecomes(three)) << "active window " << session->activeWindow();
    EXPECT_TRUE(switcherGone());
    // The choice's focus request may still be checking and asking again; a switcher opened before it ends
    // would lose the keyboard to it. A user's next opening comes later than this.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return focusRequestsEnded() > ended; })) << logText();
    EXPECT_EQ(session->activeWindow(), three);

    ASSERT_TRUE(openSwitcher()) << logText();
    press({XK_Escape});
    EXPECT_TRUE(switcherGone());
    EXPECT_TRUE(activeBecomes(three)) << "active window " << session->activeWindow();
    EXPECT_NE(session->activeWindow(), one);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Layouts us and ru, Caps Lock switching between them: in the Russian one the S key types "ы", and typed
// at the switcher it is the S of the hints, as the shortcuts read it.
TEST_F(GlobalSwitcherProgramOnX11Test, inALayoutWithoutLatinLettersAHintIsTypedByTheKeysThatCarryIt) {
    startSession(true);
    writeDesktopEntry();
    ASSERT_TRUE(session->run({"setxkbmap", "-layout", "us,ru", "-option", "grp:caps_toggle"}));
    const fs::path record = folder.path() / "typed.txt";
    const xcb_window_t two = recordingXterm("two", "50x12+2200+280", record), three = xterm("three", 2);
    xterm("one", 0);
    xterm("four", 3);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    const Rect twoFrame = session->frameOf(two);
    session->click(static_cast<int>(twoFrame.midX()), static_cast<int>(twoFrame.midY()));
    ASSERT_TRUE(activeBecomes(two));

    // The Russian layout, as its user switches to it.
    const xcb_keycode_t s = session->keycodeOf(XK_s), digit3 = session->keycodeOf(XK_3);
    session->pressKeys({session->keycodeOf(XK_ISO_Next_Group)});
    session->pressKeys({s});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return contents(record) == "\u044B"; })) << contents(record);
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 4 items")) << logText();
    session->pressKeys({s});
    session->pressKeys({digit3});
    EXPECT_TRUE(activeBecomes(three)) << "active window " << session->activeWindow();
    EXPECT_TRUE(switcherGone());

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(GlobalSwitcherProgramOnX11Test, itListsTheXtermsAsTheyAreNowOpenedRenamedAndClosedWhileItRuns) {
    startSession(true);
    writeDesktopEntry();
    const xcb_window_t one = xterm("one", 0);
    const pid_t twoPid =
        session->start({"xterm", "-title", "two", "-geometry", "50x12+2200+280", "-e", "cat"});
    std::optional<xcb_window_t> two;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (two = session->clientOf(twoPid)).has_value(); }));
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 2 items")) << logText();
    press({XK_Escape});
    ASSERT_TRUE(switcherGone());

    // After the program has read them all: one renamed past the others, one closed, one opened.
    session->setTitle(one, "zzz");
    const std::size_t reloads = count("SwitcherDataSource: reload 2 items");
    const xcb_window_t three = xterm("three", 2);
    session->closeXterm({twoPid, *two});
    ASSERT_FALSE(session->isClient(*two));
    // A listing younger than 1.2 s would be shown again as it was.
    X11TestSession::waitFor([] { return false; }, milliseconds(1500));
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return count("SwitcherDataSource: reload 2 items") > reloads;
    })) << logText();
    // The hints follow the titles as they are now: three, zzz.
    press({XK_s});
    press({XK_2});
    EXPECT_TRUE(activeBecomes(one)) << "active window " << session->activeWindow();
    EXPECT_TRUE(switcherGone());
    EXPECT_NE(session->activeWindow(), three);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Fourteen xterms have the hints s1 to s14: s1 begins s10 to s14, so it waits for the next key. A marker
// typed into the xterm chosen arrives after any key typed before it, so no other key reached that xterm.
TEST_F(GlobalSwitcherProgramOnX11Test, everyHintOfFourteenXtermsIsTypedAndNoTypedCharacterReachesAnXterm) {
    startSession(true);
    writeDesktopEntry();
    std::vector<xcb_window_t> xterms;
    std::vector<fs::path> records;
    for (int i = 0; i < 14; ++i) {
        const std::string title = std::string(i < 9 ? "t0" : "t") + std::to_string(i + 1);
        records.push_back(folder.path() / (title + ".keys"));
        const std::string geometry =
            "20x4+" + std::to_string(1980 + 260 * (i % 7)) + "+" + std::to_string(150 + 200 * (i / 7));
        xterms.push_back(recordingXterm(title, geometry, records.back()));
    }
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(xterms[4]));
    const auto typedInto = [&](xcb_window_t chosen, std::size_t index) {
        EXPECT_TRUE(activeBecomes(chosen)) << "active window " << session->activeWindow();
        EXPECT_TRUE(switcherGone());
        press({XK_z});
        EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(records[index]) == "z"; }))
            << "\"" << contents(records[index]) << "\"";
    };

    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 14 items")) << logText();
    const std::size_t ended = focusRequestsEnded();
    press({XK_s});
    press({XK_1});
    press({XK_2});
    typedInto(xterms[11], 11);
    // The choice's focus request may still be checking and asking again; a switcher opened before it ends
    // would lose the keyboard to it. A user's next opening comes later than this.
    EXPECT_TRUE(X11TestSession::waitFor([&] { return focusRequestsEnded() > ended; })) << logText();

    ASSERT_TRUE(openSwitcher()) << logText();
    press({XK_s});
    press({XK_1});
    press({XK_Return});
    typedInto(xterms[0], 0);
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (i == 11) continue;
        EXPECT_EQ(contents(records[i]), "") << records[i];
    }

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A terminal that opens while the switcher shows is given the focus by the window manager, beneath the
// switcher: the hint typed next still chooses its tile and the terminal gets none of it. Opened again over
// another terminal that opens, the switcher closes on its own key and gives the keyboard back to the
// terminal that had it.
TEST_F(GlobalSwitcherProgramOnX11Test, aTerminalOpenedWhileItShowsGetsNoneOfTheKeysTypedAtIt) {
    startSession(true);
    writeDesktopEntry();
    const fs::path oneKeys = folder.path() / "one.keys", twoKeys = folder.path() / "two.keys";
    const fs::path lateKeys = folder.path() / "late.keys", laterKeys = folder.path() / "later.keys";
    const xcb_window_t one = recordingXterm("one", "50x12+2000+100", oneKeys);
    const xcb_window_t two = recordingXterm("two", "50x12+2200+280", twoKeys);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(one));

    // The hints are s1 and s2; the terminals opened later sort after them should they be listed.
    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 2 items")) << logText();
    const xcb_window_t late = recordingXterm("zz late", "50x12+2400+460", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    ASSERT_TRUE(session->viewableWindowTitled(kSwitcherTitle));
    press({XK_s});
    press({XK_2});
    EXPECT_TRUE(activeBecomes(two)) << "active window " << session->activeWindow();
    EXPECT_TRUE(switcherGone());
    press({XK_z});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(twoKeys) == "z"; })) << contents(twoKeys);
    // The choice's focus request may still be checking and asking again.
    X11TestSession::waitFor([] { return false; }, milliseconds(1500));

    ASSERT_TRUE(openSwitcher()) << logText();
    const xcb_window_t later = recordingXterm("zz later", "50x12+2600+640", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    press({XK_Control_L, XK_Alt_L, XK_a});
    EXPECT_TRUE(switcherGone());
    EXPECT_TRUE(activeBecomes(two)) << "active window " << session->activeWindow();
    press({XK_z});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(twoKeys) == "zz"; })) << contents(twoKeys);
    EXPECT_EQ(contents(lateKeys), "");
    EXPECT_EQ(contents(laterKeys), "");
    EXPECT_EQ(contents(oneKeys), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window manager takes the switcher off screen and puts it back while it shows: a pager's switch to
// another desktop and back, then another window manager taking over from the running one. The switcher
// keeps the keyboard: a terminal that opens beneath it after each gets none of the keys typed at it, and
// the hint typed across both chooses its tile.
TEST_F(GlobalSwitcherProgramOnX11Test, itKeepsTheKeyboardThroughADesktopSwitchAndAWindowManagerReplaced) {
    startSession(true);
    writeDesktopEntry();
    session->setDesktopCount(2);
    const fs::path oneKeys = folder.path() / "one.keys", twoKeys = folder.path() / "two.keys";
    const fs::path lateKeys = folder.path() / "late.keys", laterKeys = folder.path() / "later.keys";
    const xcb_window_t one = recordingXterm("one", "50x12+2000+100", oneKeys);
    const xcb_window_t two = recordingXterm("two", "50x12+2200+280", twoKeys);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(one));
    // A second opening, as most are: the window manager keeps it on the desktop it opened on.
    ASSERT_TRUE(openSwitcher()) << logText();
    press({XK_Escape});
    ASSERT_TRUE(switcherGone());
    ASSERT_TRUE(activeBecomes(one));
    const auto shown = [&] {
        return X11TestSession::waitFor(
            [&] { return session->viewableWindowTitled(kSwitcherTitle).has_value(); });
    };

    // The hints are s1 and s2; the terminals opened later sort after them should they be listed.
    ASSERT_TRUE(openSwitcher()) << logText();
    session->showDesktop(1);
    session->showDesktop(0);
    ASSERT_TRUE(shown());
    const xcb_window_t late = recordingXterm("zz late", "50x12+2400+460", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    press({XK_s});

    session->replaceWindowManager();
    ASSERT_TRUE(shown());
    const xcb_window_t later = recordingXterm("zz later", "50x12+2600+640", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    press({XK_2});
    EXPECT_TRUE(activeBecomes(two)) << "active window " << session->activeWindow();
    EXPECT_TRUE(switcherGone());
    press({XK_z});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(twoKeys) == "z"; })) << contents(twoKeys);
    EXPECT_EQ(contents(lateKeys), "");
    EXPECT_EQ(contents(laterKeys), "");
    EXPECT_EQ(contents(oneKeys), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The switcher is Korvane's own window, over the whole monitor: a control+option carry started on it
// carries nothing, neither the switcher nor the xterm beneath it.
TEST_F(GlobalSwitcherProgramOnX11Test, aCarryStartedOnItLeavesTheXtermBeneathItWhereItIs) {
    startSession(true);
    writeDesktopEntry();
    const xcb_window_t one = xterm("one", 0);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(one));
    ASSERT_TRUE(openSwitcher()) << logText();
    const auto panel = session->viewableWindowTitled(kSwitcherTitle);
    ASSERT_TRUE(panel);
    const Rect standing = session->frameOf(one), shown = session->frameOf(*panel);

    EXPECT_TRUE(carryWithControlAndAlt({standing.minX() + 20, standing.maxY() - 20}, {3300, 500}))
        << logText();
    EXPECT_EQ(session->frameOf(one), standing) << platform::describe(session->frameOf(one));
    EXPECT_EQ(session->frameOf(*panel), shown);
    press({XK_Escape});
    EXPECT_TRUE(switcherGone());

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(GlobalSwitcherProgramOnX11Test,
       shownOnAMonitorThatIsUnpluggedItClosesLeavingOnlyTheProgramsOtherWindows) {
    startSession(true);
    writeDesktopEntry();
    const xcb_window_t side = ProgramOnX11Test::xterm("side", "50x12+200+100");
    xterm("main", 0);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(side));
    std::set<xcb_window_t> before;
    for (const auto& [window, frame] : windowsOfProcess(session->display(), korvane))
        before.insert(window);

    ASSERT_TRUE(openSwitcher()) << logText();
    const auto panel = session->viewableWindowTitled(kSwitcherTitle);
    ASSERT_TRUE(panel);
    ASSERT_EQ(session->frameOf(*panel), kSecondaryRoot);
    const std::size_t changes = count("[DisplayChange] handle end");
    session->deleteMonitor(kSecondaryName);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
        << logText();
    EXPECT_TRUE(switcherGone());
    std::set<xcb_window_t> after;
    for (const auto& [window, frame] : windowsOfProcess(session->display(), korvane))
        after.insert(window);
    EXPECT_EQ(after, before);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The switcher's panel is the program's own window: opening and closing it is no application launching
// and quitting for the program's trackers. A picture of tiles with a highlight, hint badges and icons is
// left under build/screenshots.
TEST_F(GlobalSwitcherProgramOnX11Test, openingAndClosingItLaunchesAndQuitsNoApplication) {
    startSession(true);
    writeDesktopEntry();
    xterm("one", 0);
    xterm("two", 1);
    const pid_t korvane = startKorvaneWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();

    ASSERT_TRUE(openSwitcher()) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 2 items")) << logText();
    press({XK_Tab});
    // The picture once it has settled: the first tile highlighted, both icons in and the badges drawn.
    const Rect screen{1920, 0, 1920, 1080};
    std::vector<std::uint32_t> shown;
    int unchanged = 0;
    X11TestSession::waitFor([&] {
        auto now = session->rootPixels(screen);
        unchanged = now == shown ? unchanged + 1 : 0;
        shown = std::move(now);
        return unchanged >= 10;
    });
    EXPECT_TRUE(session->saveScreenshot(screen, picture("global-switcher-tiles-korvane.png")));
    press({XK_Escape});
    ASSERT_TRUE(switcherGone());
    ASSERT_TRUE(openSwitcher()) << logText();
    press({XK_Escape});
    ASSERT_TRUE(switcherGone());

    // A terminal opened after the panel came and went is announced after whatever the panel caused.
    const std::size_t launchesBefore = count("App launched name=");
    xterm("three", 2);
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return count("App launched name=") > launchesBefore; }, seconds(20)))
        << logText();
    EXPECT_EQ(count("bundle=com.korvane.app"), 0u) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
