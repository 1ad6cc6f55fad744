// A scene restored on a real X server through the application object, where its zone stacks can be read:
// the xterm the scene names tops zone 1 of the primary monitor, and the window of an application installed
// by a desktop entry of the test's own, launched for zone 2 of the other monitor, tops that zone. The built
// program's own restore at start, read back from the X server alone, is shown beside it.
#include "CoreOnX11.h"

#include "app/NewWindowPlacement.h"
#include "core/MultiDisplayState.h"
#include "core/Rescuer.h"
#include "platform/Platform.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/model/WMScene.h"
#include "shell/AppDelegate.h"
#include "tracking/WindowTracker.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>

namespace korvane::x11::test {
namespace {

constexpr const char* kNotesBundleID = "korvane-sample-notes";

// The desktop finds applications and keeps its settings in folders of this test's own.
class SceneRestoreStacksOnX11Test : public CoreOnX11Test {
  protected:
    void SetUp() override {
        for (const char* name : {"XDG_DATA_HOME", "KORVANE_HOME"})
            if (const char* value = std::getenv(name)) saved_[name] = value;
        // The client is an xterm of its own class, started by a command of its own name: plain xterms are
        // not taken for it.
        const auto command = folder_.path() / "bin" / kNotesBundleID;
        std::filesystem::create_directories(command.parent_path());
        std::ofstream(command)
            << "#!/bin/sh\nexec xterm -name notes -class KorvaneNotes -title \"Sample Notes\" "
               "-geometry 40x10+2300+500 -e cat\n";
        std::filesystem::permissions(command, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(folder_.path() / "data" / "applications");
        std::ofstream(folder_.path() / "data" / "applications" / (std::string(kNotesBundleID) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Sample Notes\nExec=" << command.string()
            << "\nStartupWMClass=KorvaneNotes\n";
        ::setenv("XDG_DATA_HOME", (folder_.path() / "data").c_str(), 1);
        ::setenv("KORVANE_HOME", (folder_.path() / "support").c_str(), 1);
        CoreOnX11Test::SetUp();
    }
    void TearDown() override {
        for (pid_t pid : launched_) {
            ::kill(pid, SIGTERM);
            X11TestSession::waitFor([&] { return !session().clientOf(pid); });
        }
        CoreOnX11Test::TearDown();
        for (const auto& [name, value] : saved_)
            ::setenv(name.c_str(), value.c_str(), 1);
    }

    // An xterm of another application (its own instance name), on the other monitor.
    pid_t unrelatedXterm() {
        const pid_t pid = session().start({"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry",
                                           "50x15+300+300", "-e", "cat"});
        EXPECT_TRUE(runUntil([&] { return session().clientOf(pid).has_value(); }));
        return pid;
    }
    const Zone& zone(AppDelegate& app, const platform::ScreenInfo& screen, int id) {
        return app.multiState()->states.at(screen.displayUUID)->layout.zones.at(id);
    }

    std::vector<pid_t> launched_;

  private:
    testing::TempFolder folder_;
    std::map<std::string, std::string> saved_;
};

TEST_F(SceneRestoreStacksOnX11Test, theXtermAndTheLaunchedClientsWindowEachTopTheStackOfTheirZone) {
    desktop->userDefaults().set(SceneRestoreEngine::kParkUnmanagedWindowsKey, true);
    auto app = AppDelegate::create(*desktop);
    app->tracker()->delegate = app->newWindowPlacement();
    app->tracker()->startObserving();
    const auto primary = screenNamed(kPrimaryName);
    const auto side = screenNamed(kSecondaryName);
    const auto terminal = xterm("Terminal", "60x20+2100+100");
    const pid_t unrelated = unrelatedXterm();
    const xcb_window_t unrelatedWindow = *session().clientOf(unrelated);
    const auto unrelatedBefore = ax->frame(elementOf({unrelated, unrelatedWindow}));
    ASSERT_TRUE(unrelatedBefore.has_value());
    ASSERT_EQ(desktop->workspace().runningApplication(terminal.pid)->bundleID,
              std::optional<std::string>("xterm"));

    WMScene scene;
    scene.id = "44444444-5555-4666-8777-888888888888";
    scene.name = "Terminals";
    scene.layoutRefsByDisplay = {{primary.displayUUID, "builtin.split-50-50"},
                                 {side.displayUUID, "builtin.split-50-50"}};
    scene.windowHints = {{primary.displayUUID, {WindowHint{"xterm", 1, std::nullopt}}},
                         {side.displayUUID, {WindowHint{kNotesBundleID, 2, std::nullopt}}}};
    // Reported once the window manager has carried the moves out.
    auto reported = std::make_shared<std::optional<SceneRestoreResult>>();
    app->sceneRestoreEngine()->restore(scene, [reported](const SceneRestoreResult& r) { *reported = r; });
    ASSERT_TRUE(runUntil([&] { return reported->has_value(); }));
    const SceneRestoreResult result = **reported;

    EXPECT_EQ(result.appliedDisplays, 2);
    EXPECT_EQ(result.placedWindows, 1);
    EXPECT_EQ(result.parkedWindows, 1);
    const Zone& one = zone(*app, primary, 1);
    EXPECT_TRUE(fillsZone(*ax->frame(elementOf(terminal)), one.frame, primary.visibleFrame));
    EXPECT_EQ(one.stack, std::vector<WindowID>{terminal.window});

    // The launched client's first window is placed as it shows.
    pid_t notes = 0;
    ASSERT_TRUE(runUntil([&] {
        for (const auto& running : desktop->workspace().runningApplications())
            if (running.bundleID == kNotesBundleID && session().clientOf(running.pid)) notes = running.pid;
        return notes != 0;
    }));
    launched_.push_back(notes);
    const xcb_window_t notesWindow = *session().clientOf(notes);
    const Zone& two = zone(*app, side, 2);
    ASSERT_TRUE(runUntil([&] { return !two.stack.empty(); }));
    EXPECT_EQ(two.stack, std::vector<WindowID>{notesWindow});
    // The window tops the zone's stack as its move is asked for; the move itself takes a moment.
    EXPECT_TRUE(runUntil([&] {
        return static_cast<bool>(
            fillsZone(*ax->frame(elementOf({notes, notesWindow})), two.frame, side.visibleFrame));
    })) << platform::describe(*ax->frame(elementOf({notes, notesWindow})));

    // The unrelated window is sent to the parking frame: its size and height kept, one pixel of it left on
    // its monitor. The window manager keeps a tenth of a window that a client moves on screen, no more,
    // and leaves it there.
    const Rect parked = fittedIntegralRect(*unrelatedBefore, side.visibleFrame);
    auto onItsMonitor = [&](const Rect& frame) { return frame.maxX() - side.visibleFrame.minX(); };
    for (int look = 0; look < 2; ++look) {
        const auto frame = ax->frame(elementOf({unrelated, unrelatedWindow}));
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->size, parked.size);
        EXPECT_EQ(frame->minY(), parked.minY());
        EXPECT_GE(onItsMonitor(*frame), 1);
        EXPECT_LE(onItsMonitor(*frame), 1 + std::ceil(frame->width() / 10)) << platform::describe(*frame);
        runUntil([] { return false; }, milliseconds(500));
    }

    app->tracker()->stopObserving();
    session().stop(unrelated);
}

} // namespace
} // namespace korvane::x11::test
