// The "Save Scene" window of the built program on a real X server with openbox, as a user meets it: with
// two xterms in the two halves of the primary monitor, control+option+S shows the window with the
// keyboard; Return stores a scene with both xterms in their zones, makes it the active scene, shows the
// toast and closes the window. Escape closes it without writing, and the next opening captures afresh.
// A picture of the real window is left under build/screenshots.
#include "ProgramOnX11.h"

#include "scenes/SceneStore.h"

#include <X11/keysym.h>

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Save Scene";

class SaveSceneWindowProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // No desktop entry names an xterm: each is known by its instance name, "xterm".
    pid_t startKorvaneWithoutEntries() {
        return startKorvane({"XDG_DATA_HOME=" + (folder.path() / "no-data").string(),
                             "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    }
    // Control+option+S, then the window on screen with the keyboard.
    std::optional<xcb_window_t> openSaveScene() {
        std::vector<xcb_keycode_t> keys;
        for (auto keysym : {XK_Control_L, XK_Alt_L, XK_s})
            keys.push_back(session->keycodeOf(keysym));
        session->pressKeys(keys);
        std::optional<xcb_window_t> panel;
        X11TestSession::waitFor([&] {
            panel = session->viewableWindowTitled(kTitle);
            return panel && session->activeWindow() == *panel;
        });
        return panel && session->activeWindow() == *panel ? panel : std::nullopt;
    }
    void press(std::uint32_t keysym) { session->pressKeys({session->keycodeOf(keysym)}); }
    bool windowGone() {
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kTitle); });
    }
    std::string primaryUUID() {
        const auto uuids = monitorsByName(session->display());
        const auto primary = uuids.find(kPrimaryName);
        return primary != uuids.end() ? primary->second : "";
    }
    // The name the window proposes: one more than the scenes the manifest lists.
    std::string proposedName() const {
        const fs::path manifest = home() / "scenes" / SceneStore::kManifestFileName;
        const std::size_t scenes = fs::exists(manifest) ? readJSON(manifest)["entries"].size() : 0;
        return "Scene " + std::to_string(scenes + 1);
    }
    // The scene files in the scenes folder, by name.
    std::vector<fs::path> sceneFiles() const {
        std::vector<fs::path> files;
        if (fs::is_directory(home() / "scenes"))
            for (const auto& e : fs::directory_iterator(home() / "scenes"))
                if (e.path().filename().string().rfind("scene-", 0) == 0 && e.path().extension() == ".json")
                    files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    static nlohmann::json readJSON(const fs::path& path) {
        return nlohmann::json::parse(std::ifstream(path));
    }
    // The scene written after `before` was taken.
    std::optional<nlohmann::json> newScene(const std::vector<fs::path>& before) {
        std::optional<nlohmann::json> found;
        X11TestSession::waitFor([&] {
            for (const auto& file : sceneFiles())
                if (std::find(before.begin(), before.end(), file) == before.end()) {
                    found = readJSON(file);
                    return true;
                }
            return false;
        });
        return found;
    }
};

TEST_F(SaveSceneWindowProgramOnX11Test,
       controlOptionSShowsItReturnSavesBothXtermsInTheirZonesAndEscapeClosesWithoutWriting) {
    startSession(true);
    // The primary monitor is 1920 wide from x 1920: one xterm in each half.
    xterm("Left", "60x20+2000+100");
    xterm("Right", "60x20+3000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    // The launch restore registers the hot keys again; a press on its way then is dropped, so keys wait.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const std::string primary = primaryUUID();
    ASSERT_EQ(readJSON(home() / "display-workbenches.json")["workbenches"][primary]["activeTemplateID"],
              "builtin.split-50-50");

    const auto before = sceneFiles();
    const std::string firstName = proposedName();
    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    const Rect frame = session->frameOf(*panel);
    // The picture once the window has drawn itself: its footer is no longer the black of a fresh window.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixel(static_cast<int>(frame.minX()) + 8, static_cast<int>(frame.maxY()) - 8) !=
               0;
    }));
    // Above the other windows, and its size is its own: the window manager offers no resizing.
    const auto states = session->atomNames(*panel, "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end());
    const auto actions = session->atomNames(*panel, "_NET_WM_ALLOWED_ACTIONS");
    for (const char* action : {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ"})
        EXPECT_EQ(std::find(actions.begin(), actions.end(), action), actions.end()) << action;
    EXPECT_TRUE(session->saveScreenshot(frame, picture("save-scene-program-x11.png")));

    // Return: the proposed name, both xterms in their zones, and nothing of the program's own window.
    press(XK_Return);
    auto scene = newScene(before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], firstName);
    EXPECT_EQ((*scene)["windowHints"],
              nlohmann::json::parse(
                  R"({")" + primary +
                  R"(": [{"bundleID": "xterm", "zoneID": 1}, {"bundleID": "xterm", "zoneID": 2}]})"));
    EXPECT_EQ((*scene)["layoutRefsByDisplay"][primary], "builtin.split-50-50");
    EXPECT_TRUE(windowGone());
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled("Korvane Toast").has_value();
    })) << logText();
    EXPECT_TRUE(waitForLine("Scene saved via hotkey: '" + firstName + "'")) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return fs::exists(home() / "scenes" / SceneStore::kActiveSceneFileName) &&
               readJSON(home() / "scenes" / SceneStore::kActiveSceneFileName)
                       .dump()
                       .find((*scene)["id"].get<std::string>()) != std::string::npos;
    })) << "active-scene.json does not name the saved scene "
        << (*scene)["id"] << ": "
        << (fs::exists(home() / "scenes" / SceneStore::kActiveSceneFileName)
                ? readJSON(home() / "scenes" / SceneStore::kActiveSceneFileName).dump()
                : std::string("(none)"))
        << "\n"
        << logText();

    // Escape closes without writing.
    const auto saved = sceneFiles();
    ASSERT_TRUE(openSaveScene()) << logText();
    press(XK_Escape);
    EXPECT_TRUE(windowGone());
    X11TestSession::waitFor([] { return false; }, milliseconds(500));
    EXPECT_EQ(sceneFiles(), saved);

    // The next opening captures the screen afresh: an xterm opened in between is in the scene.
    xterm("Later", "60x20+2000+600");
    const std::string secondName = proposedName();
    ASSERT_TRUE(openSaveScene()) << logText();
    press(XK_Return);
    scene = newScene(saved);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], secondName);
    EXPECT_EQ(
        scene->value("windowHints", nlohmann::json::object()).value(primary, nlohmann::json::array()),
        nlohmann::json::parse(R"([{"bundleID": "xterm", "zoneID": 1}, {"bundleID": "xterm", "zoneID": 1},
                                         {"bundleID": "xterm", "zoneID": 2}])"));
    EXPECT_TRUE(windowGone());

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
