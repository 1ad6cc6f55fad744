// The scene manager in the built program on a real X server with openbox and a system tray (trayer), as a
// user meets it: the tray menu's "Scene Manager..." opens the "Scene Manager" window with the keyboard, a
// second request brings back the same window, and a click on "Create Scene" stores "Scene 1". A picture of
// the window as the server shows it is left under build/screenshots.
#include "ProgramOnX11.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Scene Manager";

class SceneManagerProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The first start has made its scene already: none is made, none is stored.
    void markScenesConverted() {
        fs::create_directories(home());
        std::ofstream(home() / "scene-migration-d7-done") << "done";
    }
    pid_t startKorvaneWithDebugLog() {
        return session->start({KORVANE_BINARY},
                              {"KORVANE_HOME=" + home().string(), "KORVANE_LOG_LEVEL=debug",
                               std::string("LSAN_OPTIONS=suppressions=") + KORVANE_LSAN_SUPPRESSIONS},
                              log().string());
    }
    void startTray() {
        session->start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                        "160", "--height", "32", "--SetDockType", "true", "--expand", "false"});
        ASSERT_TRUE(
            X11TestSession::waitFor([&] { return session->viewableWindowTitled("panel").has_value(); }));
    }
    // The rectangle of a window's own content in root coordinates, without the window manager's frame.
    Rect contentOf(xcb_window_t window) {
        xcb_connection_t* conn = xcb_connect(session->display().c_str(), nullptr);
        Rect rect;
        if (!xcb_connection_has_error(conn)) {
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
            auto* geometry = xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr);
            auto* place = xcb_translate_coordinates_reply(
                conn, xcb_translate_coordinates(conn, window, root, 0, 0), nullptr);
            if (geometry && place)
                rect = Rect{static_cast<double>(place->dst_x), static_cast<double>(place->dst_y),
                            static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
            std::free(geometry);
            std::free(place);
        }
        xcb_disconnect(conn);
        return rect;
    }
    // The tray icon: the program's one small window inside the tray's panel, found by its place at the top
    // right where the panel stands.
    bool clickTrayIconUntilTheMenuOpens() {
        return X11TestSession::waitFor(
            [&] {
                const std::size_t before = count("[StatusBar] Menu opened: ");
                const auto panel = session->viewableWindowTitled("panel");
                if (!panel) return false;
                const Rect tray = session->frameOf(*panel);
                // The icon is the panel's only client: at its right end while the panel does not expand.
                session->click(static_cast<int>(tray.maxX() - 12), static_cast<int>(tray.midY()));
                return X11TestSession::waitFor([&] { return count("[StatusBar] Menu opened: ") > before; },
                                               seconds(1));
            },
            seconds(15));
    }
    // "Scene Manager..." is the third row from the bottom of the menu, above "Preferences..." and, past a
    // separator, "Quit Korvane": from a menu with no row chosen, Up chooses the last row.
    bool openFromTrayMenu() {
        if (!clickTrayIconUntilTheMenuOpens()) return false;
        X11TestSession::waitFor([] { return false; }, milliseconds(300));
        for (int i = 0; i < 3; ++i)
            session->pressKeys({session->keycodeOf(XK_Up)});
        session->pressKeys({session->keycodeOf(XK_Return)});
        return true;
    }
    std::optional<xcb_window_t> managerWithKeyboard() {
        std::optional<xcb_window_t> window;
        X11TestSession::waitFor([&] {
            window = session->viewableWindowTitled(kTitle);
            return window && session->activeWindow() == *window;
        });
        return window && session->activeWindow() == *window ? window : std::nullopt;
    }
    // The names of the stored scenes.
    std::vector<std::string> storedSceneNames() {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(home() / "scenes", ec)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("scene-", 0) != 0 || entry.path().extension() != ".json") continue;
            std::ifstream in(entry.path());
            const auto scene = nlohmann::json::parse(in, nullptr, false);
            if (scene.is_object() && scene.contains("name") && scene["name"].is_string())
                names.push_back(scene["name"]);
        }
        return names;
    }
};

TEST_F(SceneManagerProgramOnX11Test, theTrayMenuOpensOneManagerWindowWhoseCreateSceneStoresScene1) {
    startSession(true);
    startTray();
    openXterm();
    markScenesConverted();
    const pid_t korvane = startKorvaneWithDebugLog();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();

    ASSERT_TRUE(openFromTrayMenu()) << logText();
    const auto window = managerWithKeyboard();
    ASSERT_TRUE(window) << "active window " << session->activeWindow() << "\n" << logText();
    EXPECT_TRUE(storedSceneNames().empty()) << "no scene was made at the start";

    ASSERT_TRUE(openFromTrayMenu()) << logText();
    EXPECT_EQ(managerWithKeyboard(), window) << "the same window, brought forward";
    EXPECT_EQ(count("SceneManagerPanelController initialized"), 1u) << logText();

    // "Create Scene" sits just below the middle of the empty window.
    const Rect content = contentOf(*window);
    session->click(static_cast<int>(content.midX()), static_cast<int>(content.midY() + 13));
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return storedSceneNames() == std::vector<std::string>{"Scene 1"};
    })) << logText();
    X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*window),
                                        std::string(KORVANE_SCREENSHOT_DIR) + "/scene-manager-korvane.png"));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
