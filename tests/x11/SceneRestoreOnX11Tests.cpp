// A scene restored by the built `korvane` on a real X server as it starts: its active scene names the
// xterm for zone 1 of the primary monitor and, for zone 2 of the other monitor, a client installed by a
// desktop entry of the test's own that is not running; with parking on, an unrelated window is parked.
// What happened is read back from the X server.
#include "ProgramOnX11.h"
#include "X11Fixture.h"

#include "app/DisplayUtil.h"
#include "platform/Format.h"
#include "platform/sim/SimDesktop.h"
#include "platform/x11/X11Desktop.h"
#include "scenes/SceneStore.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace korvane::x11::test {
namespace {

constexpr const char* kNotesBundleID = "korvane-sample-notes";
constexpr const char* kSceneID = "44444444-5555-4666-8777-888888888888";

class SceneRestoreOnX11Test : public ProgramOnX11Test {
  protected:
    void SetUp() override {
        startSession(true);
        // The client is an xterm of a class of its own, started by a command of its own name, so that no
        // plain xterm is taken for it.
        const fs::path command = folder.path() / "bin" / kNotesBundleID;
        fs::create_directories(command.parent_path());
        std::ofstream(command)
            << "#!/bin/sh\nexec xterm -name notes -class KorvaneNotes -title \"Sample Notes\" "
               "-geometry 40x10+2300+500 -e cat\n";
        fs::permissions(command, fs::perms::owner_all);
        fs::create_directories(dataHome() / "applications");
        std::ofstream(dataHome() / "applications" / (std::string(kNotesBundleID) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Sample Notes\nExec=" << command.string()
            << "\nStartupWMClass=KorvaneNotes\n";
    }
    // The session ends the program and the xterms it started; the client the program launched ends with
    // the server.
    void TearDown() override { session.reset(); }

    fs::path dataHome() const { return folder.path() / "data"; }
    xcb_window_t clientOf(pid_t pid) {
        std::optional<xcb_window_t> window;
        EXPECT_TRUE(X11TestSession::waitFor([&] { return (window = session->clientOf(pid)).has_value(); }));
        return window.value_or(XCB_WINDOW_NONE);
    }
};

// Whether a frame (root coordinates) fills a zone as far as xterm's character cells allow: its left edge
// and, for a zone of full height, its bottom edge on the zone's.
::testing::AssertionResult fills(const Rect& frame, const Rect& zone) {
    if (frame.minX() == zone.minX() && frame.maxY() == zone.maxY() && withinCell(frame.size, zone.size))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "frame " << platform::describe(frame) << " does not fill " << platform::describe(zone);
}

TEST_F(SceneRestoreOnX11Test,
       atStartTheXtermFillsZoneOneTheLaunchedClientZoneTwoAndAnUnrelatedWindowIsParked) {
    const auto uuids = monitorsByName(session->display());
    ASSERT_EQ(uuids.size(), 2u);
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    WMScene scene;
    scene.id = kSceneID;
    scene.name = "Terminals";
    scene.layoutRefsByDisplay = {{primary, "builtin.split-50-50"}, {side, "builtin.split-50-50"}};
    scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}},
                         {side, {WindowHint{kNotesBundleID, 2, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";

    const pid_t terminal =
        session->start({"xterm", "-title", "Terminal", "-geometry", "60x20+2100+100", "-e", "cat"});
    const xcb_window_t terminalWindow = clientOf(terminal);
    const pid_t unrelated = session->start(
        {"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry", "50x15+300+300", "-e", "cat"});
    const xcb_window_t unrelatedWindow = clientOf(unrelated);
    const Rect unrelatedBefore = session->frameOf(unrelatedWindow);

    startKorvane(
        {"XDG_DATA_HOME=" + dataHome().string(), "XDG_DATA_DIRS=" + (folder.path() / "none").string()},
        "debug");
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Terminals' displays=2/2 unresolved=0"))
        << logText();

    // Zone 1 of the primary monitor (root 1920, 0, 1920 x 1080, less the corner button's strip) is its
    // left half.
    EXPECT_TRUE(fills(session->frameOf(terminalWindow), kPrimaryLeftHalf));
    EXPECT_TRUE(
        waitForLine("[diag] Restore placed: bundle='xterm' zone=1 wid=" + std::to_string(terminalWindow)));

    // The client is launched and its first window lands in zone 2 of the other monitor (root 0, 0,
    // 1920 x 900): its right half.
    ASSERT_TRUE(waitForLine("[Tracker] AutoLaunch intent matched wid=")) << logText();
    std::optional<xcb_window_t> notes;
    for (xcb_window_t w : session->clientList())
        if (w != terminalWindow && w != unrelatedWindow) notes = w;
    ASSERT_TRUE(notes.has_value());
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return fills(session->frameOf(*notes), Rect(960, 0, 960, 900));
    })) << platform::describe(session->frameOf(*notes));
    EXPECT_TRUE(waitForLine("AutoPush rid=2: moved wid=" + std::to_string(*notes))) << logText();

    // The unrelated window keeps its size and height and goes left off its monitor, one pixel of it
    // asked to stay. The window manager keeps a tenth of a window that a client moves on screen, no more,
    // and leaves it there.
    ASSERT_TRUE(waitForLine("Scene park: 'unrelated' wid=" + std::to_string(unrelatedWindow))) << logText();
    for (int look = 0; look < 2; ++look) {
        const Rect parked = session->frameOf(unrelatedWindow);
        EXPECT_EQ(parked.size, unrelatedBefore.size);
        EXPECT_EQ(parked.minY(), unrelatedBefore.minY());
        EXPECT_GE(parked.maxX(), 1);
        EXPECT_LE(parked.maxX(), 1 + std::ceil(parked.width() / 10)) << platform::describe(parked);
        X11TestSession::waitFor([] { return false; }, milliseconds(500));
    }
}

} // namespace
} // namespace korvane::x11::test
