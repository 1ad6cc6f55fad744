// The global switcher on a real X server, with openbox and four xterms, opened through the application
// object's toggle inside the test process, where its tiles can be read, and used with real key presses:
// four tiles with distinct hints and their icons from the desktop entry; a typed hint gives that xterm
// the keyboard and the switcher goes; Escape gives the keyboard back to the xterm that had it. A picture
// of the open switcher, as the server shows it, is left under build/screenshots. Its own executable:
// Qt's widgets connect once per process, to this test's private server. (The built program opens the
// switcher with its hot key: GlobalSwitcherProgramOnX11Tests.)
#include "X11TestSession.h"

#include "platform/Platform.h"
#include "platform/x11/X11Desktop.h"
#include "shell/AppDelegate.h"
#include "support/TempFolder.h"
#include "ui/switchers/GlobalSwitcherView.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SwitcherItemView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <X11/keysym.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace korvane::x11::test {
namespace {

namespace fs = std::filesystem;

X11TestSession* gSession = nullptr;
korvane::testing::TempFolder* gFolder = nullptr;

constexpr const char* kTitles[] = {"one", "two", "three", "four"};

class GlobalSwitcherOnX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        desktop = X11Desktop::connect(gSession->display(), error);
        ASSERT_NE(desktop, nullptr) << error;
        platform::Platform::setCurrent(desktop.get());
        for (int i = 0; i < 4; ++i) {
            const std::string geometry =
                "60x15+" + std::to_string(2000 + 120 * i) + "+" + std::to_string(100 + 150 * i);
            const pid_t pid =
                gSession->start({"xterm", "-title", kTitles[i], "-geometry", geometry, "-e", "cat"});
            std::optional<xcb_window_t> window;
            ASSERT_TRUE(
                X11TestSession::waitFor([&] { return (window = gSession->clientOf(pid)).has_value(); }));
            xterms.push_back({pid, *window});
        }
        // The desktop knows every xterm, and the last one has the keyboard.
        ASSERT_TRUE(desktop->runUntil([&] { return desktop->workspace().runningApplications().size() == 4; },
                                      seconds(10)));
        app = AppDelegate::create(*desktop);
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::Platform::setCurrent(nullptr);
        for (const auto& x : xterms)
            gSession->closeXterm(x);
        desktop.reset();
    }

    GlobalSwitcherWindowController& switcher() { return *app->globalSwitcherWC(); }
    xcb_window_t panelWindow() { return static_cast<xcb_window_t>(switcher().panel()->winId()); }
    // Opens the switcher and waits until the server shows it with the keyboard.
    void open() {
        app->toggleGlobalSwitcherFromHotkey();
        ASSERT_TRUE(app->globalSwitcherWC());
        ASSERT_TRUE(desktop->runUntil(
            [&] {
                return gSession->viewableWindowTitled("Global Switcher").has_value() &&
                       gSession->activeWindow() == panelWindow();
            },
            seconds(10)))
            << "active window " << gSession->activeWindow();
    }
    void type(const std::string& text) {
        for (char c : text)
            gSession->pressKeys(
                {gSession->keycodeOf(static_cast<std::uint32_t>(static_cast<unsigned char>(c)))});
    }
    bool waitUntilActive(xcb_window_t window) {
        return desktop->runUntil([&] { return gSession->activeWindow() == window; }, seconds(10));
    }
    bool switcherGone() {
        return desktop->runUntil(
            [&] {
                return !switcher().isWindowVisible() && !gSession->viewableWindowTitled("Global Switcher");
            },
            seconds(10));
    }
    // The switcher's tile of the xterm titled `title`.
    const SwitcherItemView* tileOf(const std::string& title) {
        for (const auto* tile : switcher().switcherView()->itemViews())
            if (tile->representedItem()->windowTitle == title) return tile;
        return nullptr;
    }

    std::unique_ptr<X11Desktop> desktop;
    std::shared_ptr<AppDelegate> app;
    std::vector<X11TestSession::Xterm> xterms;
};

TEST_F(GlobalSwitcherOnX11Test,
       fourXtermsGetFourTilesWithDistinctHintsAndTypingOneGivesThatXtermTheKeyboard) {
    open();
    // Every icon in, and the window painted, before the picture is taken.
    desktop->runUntil(
        [&] {
            for (const auto* tile : switcher().switcherView()->itemViews())
                if (!tile->hasIcon()) return false;
            return true;
        },
        seconds(5));
    const auto& tiles = switcher().switcherView()->itemViews();
    ASSERT_EQ(tiles.size(), 4u);
    std::set<std::string> hints;
    for (const auto* tile : tiles) {
        EXPECT_TRUE(tile->hasIcon());
        hints.insert(*tile->representedItem()->hint);
    }
    EXPECT_EQ(hints.size(), 4u);
    for (const char* title : kTitles)
        EXPECT_NE(tileOf(title), nullptr) << title;

    QWidget* panel = switcher().panel();
    QScreen* screen = QGuiApplication::screenAt(panel->geometry().center());
    ASSERT_NE(screen, nullptr);
    desktop->runUntil([] { return false; }, milliseconds(300)); // the server has drawn the frame
    const QRect area = screen->geometry();
    const QPixmap shown = screen->grabWindow(0, 0, 0, area.width(), area.height());
    ASSERT_TRUE(QDir().mkpath(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(shown.save(QString(KORVANE_SCREENSHOT_DIR) + "/global-switcher-x11.png", "PNG"));
    // The switcher covers the monitor the user works on: the primary one, where the xterms are.
    EXPECT_EQ(panel->geometry(), QRect(1920, 0, 1920, 1080));

    const SwitcherItemView* three = tileOf("three");
    ASSERT_NE(three, nullptr);
    type(*three->representedItem()->hint);
    EXPECT_TRUE(waitUntilActive(xterms[2].window)) << "active window " << gSession->activeWindow();
    EXPECT_TRUE(switcherGone());
}

TEST_F(GlobalSwitcherOnX11Test, escapeGivesTheKeyboardBackToTheXtermThatHadIt) {
    ASSERT_TRUE(desktop->workspace().activate(xterms[1].pid, 0));
    ASSERT_TRUE(waitUntilActive(xterms[1].window));

    open();
    EXPECT_EQ(gSession->activeWindow(), panelWindow());
    gSession->pressKeys({gSession->keycodeOf(XK_Escape)});
    EXPECT_TRUE(switcherGone());
    EXPECT_TRUE(waitUntilActive(xterms[1].window)) << "active window " << gSession->activeWindow();
    // Nothing else took it on the way.
    desktop->runUntil([] { return false; }, milliseconds(300));
    EXPECT_EQ(gSession->activeWindow(), xterms[1].window);
}

} // namespace
} // namespace korvane::x11::test

int main(int argc, char** argv) {
    using namespace korvane::x11::test;
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS(); // listing the tests needs no server
    int status = 0;
    {
        gFolder = new korvane::testing::TempFolder();
        gSession = new X11TestSession();
        // The desktop's files in fresh folders: its defaults, the program's support folder, and the one
        // desktop entry it can find, which names xterm and its icon.
        const fs::path data = gFolder->path() / "data";
        fs::create_directories(data / "applications");
        fs::create_directories(data / "icons/hicolor/48x48/apps");
        std::ofstream(data / "applications/korvane-sample-terminal.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sample Terminal\nExec=xterm\nStartupWMClass=XTerm\n"
               "Icon=korvane-sample-terminal\n";
        std::ofstream(data / "icons/hicolor/48x48/apps/korvane-sample-terminal.xpm")
            << "/* XPM */\nstatic char *t[] = {\n\"8 8 2 1\",\n\"  c #2B2B2B\",\n\". c #4FD16A\",\n"
               "\"        \",\n\" ...... \",\n\" .      \",\n\" . .    \",\n\" .  .   \",\n\" . .    \",\n"
               "\" .   .. \",\n\"        \"};\n";
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (gFolder->path() / "no-data").c_str(), 1);
        ::setenv("KORVANE_HOME", (gFolder->path() / "support").c_str(), 1);
        gSession->useForWidgets();
        {
            QApplication application(argc, argv);
            QApplication::setQuitOnLastWindowClosed(false);
            status = RUN_ALL_TESTS();
        }
        delete gSession;
        delete gFolder;
    }
    return status;
}
