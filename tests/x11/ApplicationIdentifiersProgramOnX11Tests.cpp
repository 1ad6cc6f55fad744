// The built `korvane` knowing applications by the identifiers X11 gives them: xterms carrying the WM_CLASS
// of Chrome, Edge and Telegram stand in for those applications. A Chrome window is brought forward with
// the careful activation and the thin untitled windows of Chrome and Edge are no switcher tiles; a drag
// inside Telegram's window snaps it with no stored exclusion list, its desktop entry naming it.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace korvane::x11::test {
namespace {

constexpr const char* kSwitcherTitle = "Global Switcher";

class ApplicationIdentifiersProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // Only the desktop entries the test writes are found.
    pid_t startWithEntries() {
        fs::create_directories(folder.path() / "data/applications");
        return startKorvane({"XDG_DATA_HOME=" + (folder.path() / "data").string(),
                             "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()},
                            "debug");
    }
    // An xterm with the window class an application gives its windows, set before the program starts.
    xcb_window_t classed(const std::string& title, const std::string& geometry, const std::string& instance,
                         const std::string& className) {
        const xcb_window_t window = xterm(title, geometry);
        session->setClass(window, instance, className);
        return window;
    }
    void quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
};

TEST_F(ApplicationIdentifiersProgramOnX11Test, aChromeWindowIsActivatedCarefullyAndBrowserStripsAreNoTiles) {
    startSession(true);
    // Chrome and Edge name their windows after their desktop entries; a strip carries the application's
    // name as its title. Notes is no browser: its strip of the same shape stays a tile.
    const xcb_window_t inbox = classed("Inbox", "80x24+2000+100", "google-chrome", "Google-chrome");
    classed("Google-chrome", "30x40+2600+100", "google-chrome", "Google-chrome");
    classed("Reader", "80x24+2000+600", "microsoft-edge", "Microsoft-edge");
    classed("Microsoft-edge", "30x40+2900+100", "microsoft-edge", "Microsoft-edge");
    const xcb_window_t notes = classed("Notes", "30x40+3300+100", "notes", "Notes");
    const pid_t korvane = startWithEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(focusByClick(notes));

    press({XK_Control_L, XK_Alt_L, XK_a});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto panel = session->viewableWindowTitled(kSwitcherTitle);
        return panel && session->activeWindow() == *panel;
    })) << logText();
    EXPECT_TRUE(waitForLine("SwitcherDataSource: reload 3 items")) << logText(); // Inbox, Reader, Notes
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixel(2880, 1050) != 0; }));
    EXPECT_TRUE(session->saveScreenshot(kPrimaryRoot, picture("switcher-without-browser-strips.png")));

    // Chrome's one tile has the hint "g".
    press({XK_g});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == inbox; })) << logText();
    EXPECT_TRUE(waitForLine("Starting strategy=problematic")) << logText();
    quit(korvane);
}

TEST_F(ApplicationIdentifiersProgramOnX11Test, aDragInsideTelegramsWindowSnapsItWithTheDefaultExclusionList) {
    startSession(true);
    // The entry Telegram installs (its id "org.telegram.desktop") names its window class.
    fs::create_directories(folder.path() / "data/applications");
    std::ofstream(folder.path() / "data/applications/org.telegram.desktop.desktop")
        << "[Desktop Entry]\nName=Telegram Desktop\nExec=telegram-desktop -- %u\nIcon=telegram\n"
           "Type=Application\nStartupWMClass=TelegramDesktop\n";
    const xcb_window_t chat = classed("Telegram", "60x20+2000+100", "telegram-desktop", "TelegramDesktop");
    ASSERT_TRUE(focusByClick(chat));
    const pid_t korvane = startWithEntries();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)"))
        << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();

    // Pressed in the text and carried into the primary's right half: the xterm selects text and stays
    // where it is, and the drag counts all the same.
    const Rect right = kPrimaryRightHalf;
    const Rect frame = session->frameOf(chat);
    session->glidePointer(int(frame.midX()), int(frame.midY()), 20);
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    session->glidePointer(3300, 500, 80);
    int nudge = 40;
    const bool highlighted = X11TestSession::waitFor(
        [&] {
            session->movePointerBy(nudge, 0);
            nudge = -nudge;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto highlight = session->viewableWindowTitled("Korvane Zone Highlight");
            return highlight && session->frameOf(*highlight) == right;
        },
        seconds(10));
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    EXPECT_TRUE(highlighted) << logText();
    EXPECT_TRUE(comesToFill(chat, right)) << platform::describe(session->frameOf(chat)) << logText();
    quit(korvane);

    // The default list is no stored list: nothing was written for it.
    std::ifstream defaults(home() / "user-defaults.json");
    const nlohmann::json stored =
        defaults ? nlohmann::json::parse(defaults, nullptr, false) : nlohmann::json();
    EXPECT_FALSE(stored.is_object() && stored.contains("DragSnapBlacklist")) << stored.dump();
}

} // namespace
} // namespace korvane::x11::test
