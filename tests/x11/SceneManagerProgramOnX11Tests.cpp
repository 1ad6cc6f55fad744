// The scene manager in the built program on a real X server with openbox, as a user meets it: with a scene
// active, a monitor plugged in gets the prompt whose "Set Up Display" opens the "Scene Manager" window with
// the keyboard, on that scene and monitor. A picture of the window as the server shows it is left under
// build/screenshots.
#include "ProgramOnX11.h"

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Scene Manager";

class SceneManagerProgramOnX11Test : public ProgramOnX11Test {
  protected:
    std::optional<xcb_window_t> managerWithKeyboard() {
        std::optional<xcb_window_t> window;
        X11TestSession::waitFor([&] {
            window = session->viewableWindowTitled(kTitle);
            return window && session->activeWindow() == *window;
        });
        return window && session->activeWindow() == *window ? window : std::nullopt;
    }
};

TEST_F(SceneManagerProgramOnX11Test, thePromptsSetUpDisplayOpensTheManagerOnTheActiveSceneAndTheNewMonitor) {
    startSession(true);
    openXterm();
    // No marker: the first start makes "My Workspace" and makes it active.
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    // Below the side monitor; the scene names no layout for it.
    session->setMonitor("EXTRA-M", Rect{0, 900, 1920, 180}, false);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return (prompt = session->viewableWindowTitled("Korvane Display Prompt")).has_value(); },
        seconds(5)))
        << logText();
    // "Set Up Display", the first of its two buttons, stands 70 pixels in and 44 down from its corner.
    const Rect frame = session->frameOf(*prompt);
    session->click(static_cast<int>(frame.minX() + 70), static_cast<int>(frame.minY() + 44));

    const auto window = managerWithKeyboard();
    ASSERT_TRUE(window) << "active window " << session->activeWindow() << "\n" << logText();
    EXPECT_FALSE(session->viewableWindowTitled("Korvane Display Prompt"));
    X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*window), std::string(KORVANE_SCREENSHOT_DIR) +
                                                                       "/scene-manager-set-up-korvane.png"));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
