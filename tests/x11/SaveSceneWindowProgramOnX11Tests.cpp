// The "Save Scene" window of the built program on a real X server with openbox, as a user meets it: with
// two xterms in the two halves of the primary monitor, control+option+S shows the window with the
// keyboard; Return stores a scene with both xterms in their zones, makes it the active scene, shows the
// toast and closes the window. Escape closes it without writing, and the next opening captures afresh;
// minimised, the window comes back with the next control+option+S. A terminal that opens beneath it while
// the name is typed gets none of it, until a click on the terminal gives it the keyboard; so too after
// the window manager was replaced and after a switch to another desktop and back.
// With xterms on both monitors the layout chips take no click, one xterm dragged between the cells goes
// only to zones of its own monitor's layout, and a restore of what was saved puts each xterm into the zone
// it was shown in; with the main monitor's xterm excluded, the canvas draws the side monitor's zones, where
// an application added by hand is stored and restored. On one monitor a chip chooses the layout and the
// name keeps the keyboard. A scene whose file was cut short at the start keeps its card through a save,
// and is restorable once its file is mended. Under a scale, the window moved onto a monitor that is then
// unplugged comes whole onto the main one. Pictures of the real window are left under build/screenshots.
#include "IconPictures.h"
#include "ProgramOnX11.h"

#include "platform/Format.h"
#include "scenes/SceneStore.h"

#include <X11/keysym.h>

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Save Scene";
// Pictures in colours seen nowhere else on the screen, one per xterm, found again in the window.
constexpr Quadrants kMainIcon{0xFF00FF, 0x00FFFF, 0xFFFF00, 0xFF8000};
constexpr Quadrants kSideIcon{0x00FF00, 0x8000FF, 0xFF0080, 0x804000};
// Within the window's 640 × 580 content: the middle of the layout chips "Full" and "Daily", and the
// canvas's left edge, which the window's paddings set.
constexpr Point kFullChip{157, 75};
constexpr Point kDailyChip{445, 75};
constexpr double kCanvasLeft = 16, kCanvasWidth = 608, kCanvasInset = 16;

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
    // The scene "Desk" active (Daily on the main monitor, 50:50 on the side), an xterm pictured with
    // kMainIcon in the main monitor's centre zone and one with kSideIcon in the side's left half; Korvane
    // started over them and "Save Scene" open with its canvas drawn.
    struct Desk {
        pid_t korvane = 0;
        xcb_window_t main = 0, side = 0;
        std::vector<fs::path> before; // the scene files before "Save Scene" opened
        xcb_window_t panel = 0;
        Rect content, canvas;
    };
    std::optional<Desk> saveSceneOverDesk() {
        writeActiveScene(home(),
                         sceneOverBothMonitors(session->display(), "44444444-5555-4666-8777-888888888888",
                                               "Desk", "builtin.daily", "builtin.split-50-50"));
        Desk desk;
        desk.main = pictured("main-term", "60x20+2600+300", kMainIcon);
        desk.side = pictured("side-term", "60x20+200+200", kSideIcon);
        desk.korvane = startKorvaneWithoutEntries();
        if (!waitForLine("HotkeyManager: registering scene.save key=S") ||
            !waitForLine("Scene Restore complete (layout-only): 'Desk'"))
            return std::nullopt;
        desk.before = sceneFiles();
        const auto panel = openSaveScene();
        if (!panel) return std::nullopt;
        desk.panel = *panel;
        desk.content = session->contentOf(*panel);
        std::optional<Rect> canvas;
        if (!X11TestSession::waitFor([&] { return (canvas = canvasOf(desk.content)).has_value(); }))
            return std::nullopt;
        desk.canvas = *canvas;
        return desk;
    }
    using ProgramOnX11Test::press;
    void press(std::uint32_t keysym) { session->pressKeys({session->keycodeOf(keysym)}); }
    // Lower-case letters typed one by one.
    void type(const std::string& letters) {
        for (char c : letters)
            press(static_cast<std::uint32_t>(c));
    }
    // An xterm of an application of its own (its instance name), carrying a picture.
    xcb_window_t pictured(const std::string& instance, const std::string& geometry, const Quadrants& icon) {
        const pid_t pid = session->start(
            {"xterm", "-name", instance, "-title", instance, "-geometry", geometry, "-e", "cat"});
        std::optional<xcb_window_t> window;
        EXPECT_TRUE(X11TestSession::waitFor([&] { return (window = session->clientOf(pid)).has_value(); }));
        if (window) session->setIcon(*window, netWMIcon(icon));
        return window.value_or(XCB_WINDOW_NONE);
    }
    // The white of the zone canvas down its left margin, where no cell lies: the canvas in root
    // coordinates, however tall the rows above and below it came out.
    std::optional<Rect> canvasOf(const Rect& content) {
        const Rect column{content.minX() + kCanvasLeft + 12, content.minY(), 1, content.height()};
        const std::vector<std::uint32_t> pixels = session->rootPixels(column);
        int best = 0, bestTop = 0;
        for (int y = 0, run = 0; y < static_cast<int>(pixels.size()); ++y) {
            run = pixels[y] == 0xFFFFFF ? run + 1 : 0;
            if (run > best) best = run, bestTop = y - run + 1;
        }
        if (best < 100) return std::nullopt;
        return Rect{content.minX() + kCanvasLeft, content.minY() + bestTop, kCanvasWidth, double(best)};
    }
    // A point of a cell of the canvas, given as fractions of the canvas less its inset, from the top left.
    static Point inCanvas(const Rect& canvas, double x, double y) {
        return {canvas.minX() + kCanvasInset + (canvas.width() - 2 * kCanvasInset) * x,
                canvas.minY() + kCanvasInset + (canvas.height() - 2 * kCanvasInset) * y};
    }
    // A cell of the canvas: its left, top, width and height as fractions of the canvas less its inset.
    static Rect cell(const Rect& canvas, double x, double y, double width, double height) {
        const Point topLeft = inCanvas(canvas, x, y), bottomRight = inCanvas(canvas, x + width, y + height);
        return {topLeft.x, topLeft.y, bottomRight.x - topLeft.x, bottomRight.y - topLeft.y};
    }
    // Where a cell shows its items: below its title, above where drops are made, so that a dragged
    // picture still shown where it was dropped is not taken for an item.
    static Rect itemsOf(const Rect& zone) { return {zone.minX(), zone.minY(), zone.width(), 70}; }
    static Point dropPlace(const Rect& zone) { return {zone.midX(), zone.minY() + zone.height() * 0.8}; }
    // A press, a hand's move to the place and a release there.
    void drag(const Point& from, const Point& to) {
        session->glidePointer(static_cast<int>(from.x), static_cast<int>(from.y), 10);
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        session->glidePointer(static_cast<int>(to.x), static_cast<int>(to.y), 40);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
    }
    // The pixels of the accent colour that marks a chosen chip.
    std::size_t accentPixels(const Rect& area) {
        std::size_t n = 0;
        for (std::uint32_t p : session->rootPixels(area))
            n += near(p, 0x0A84FF, 40) ? 1 : 0;
        return n;
    }
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

TEST_F(SaveSceneWindowProgramOnX11Test, minimisedItComesBackWithTheKeyboardAtTheNextControlOptionS) {
    startSession(true);
    xterm("Left", "60x20+2000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();

    // Minimised as a task bar does it, then control+option+S again: the same window shows, restored, with
    // the keyboard (there is no task bar to bring it back by). The toolkit's own activation request may
    // reach the window manager after the request to minimise and undo it, so that is asked again.
    bool isMinimised = false;
    for (int attempt = 0; attempt < 5 && !isMinimised; ++attempt) {
        session->iconify(*panel);
        isMinimised = X11TestSession::waitFor([&] { return minimised(*panel); }, seconds(4));
    }
    ASSERT_TRUE(isMinimised) << logText();
    ASSERT_FALSE(session->viewableWindowTitled(kTitle));
    EXPECT_EQ(openSaveScene(), panel) << logText();
    EXPECT_FALSE(minimised(*panel));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A terminal that a script starts while the name is typed opens beneath the window, and the window manager
// gives it the focus: the name and Return still go to the window, which saves the scene under that name,
// and the terminal gets none of them; Super+T, a window manager's binding, adds nothing to the name. A click
// on the terminal gives it the keyboard, also while the window still shows; a click back on the window takes
// the typing back, from another terminal that opens then.
TEST_F(SaveSceneWindowProgramOnX11Test,
       aTerminalOpenedBeneathItGetsNoneOfTheNameAndAClickOnItGivesItTheKeys) {
    startSession(true);
    xterm("Left", "60x20+2000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    auto activeBecomes = [&](xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    };
    auto selectAll = [&] {
        session->pressKeys({session->keycodeOf(XK_Control_L), session->keycodeOf(XK_a)});
    };

    auto before = sceneFiles();
    auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    // Partly under the window, which stays above it: its left part shows.
    const fs::path lateKeys = folder.path() / "late.keys";
    const xcb_window_t late = recordingXterm("late", "50x12+2300+500", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    ASSERT_EQ(session->viewableWindowTitled(kTitle), panel);
    // A window manager's binding pressed meanwhile reaches the window, which holds the keyboard, and adds
    // nothing to the name.
    type("al");
    ASSERT_NE(session->keycodeOf(XK_Super_L), 0);
    session->pressKeys({session->keycodeOf(XK_Super_L), session->keycodeOf(XK_t)});
    type("pha");
    press(XK_Return);
    auto scene = newScene(before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], "alpha");
    EXPECT_TRUE(windowGone());
    EXPECT_EQ(contents(lateKeys), "");

    // The window gone, a click on the terminal and a key: the terminal has it.
    const Rect lateFrame = session->frameOf(late);
    const Point onLate{lateFrame.minX() + 40, lateFrame.midY()};
    clickAt(int(onLate.x), int(onLate.y));
    ASSERT_TRUE(activeBecomes(late));
    press(XK_z);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(lateKeys) == "z"; })) << contents(lateKeys);

    // Open again, above the terminal: a click on the terminal's part that shows gives it the keys.
    before = sceneFiles();
    panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    const Rect panelFrame = session->frameOf(*panel);
    ASSERT_FALSE(panelFrame.contains(onLate)) << platform::describe(panelFrame);
    clickAt(int(onLate.x), int(onLate.y));
    ASSERT_TRUE(activeBecomes(late));
    // The program hears of the click a moment after the window manager has acted on it, as a hand's next
    // key would come.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !keyboardGrabbed(); }));
    press(XK_y);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return contents(lateKeys) == "zy"; })) << contents(lateKeys);
    ASSERT_EQ(session->viewableWindowTitled(kTitle), panel);

    // A click on the window (the empty middle of its footer) takes the typing back, whatever opens beneath
    // it then.
    const Rect content = session->contentOf(*panel);
    clickAt(int(content.minX() + content.width() * 0.45), int(content.maxY() - 12));
    ASSERT_TRUE(activeBecomes(*panel)) << logText();
    const fs::path laterKeys = folder.path() / "later.keys";
    const xcb_window_t later = recordingXterm("later", "50x12+2300+750", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    selectAll();
    type("beta");
    press(XK_Return);
    scene = newScene(before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], "beta");
    EXPECT_TRUE(windowGone());
    EXPECT_EQ(contents(laterKeys), "");
    EXPECT_EQ(contents(lateKeys), "zy");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// While the name is typed the window manager takes the window off screen and puts it back: another window
// manager takes over from the running one, as `openbox --replace` does, then a pager switches to another
// desktop and back. A terminal that opens beneath the window after each is given the focus and gets none
// of the name, which goes on into the window and is saved with Return.
TEST_F(SaveSceneWindowProgramOnX11Test, theNameTypedGoesToItThroughAWindowManagerReplacedAndADesktopSwitch) {
    startSession(true);
    session->setDesktopCount(2);
    xterm("Left", "60x20+2000+100");
    const pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const auto activeBecomes = [&](xcb_window_t window) {
        return X11TestSession::waitFor([&] { return session->activeWindow() == window; });
    };
    const auto before = sceneFiles();
    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    const auto shownAgain = [&] {
        return X11TestSession::waitFor([&] { return session->viewableWindowTitled(kTitle) == panel; });
    };
    session->pressKeys({session->keycodeOf(XK_Control_L), session->keycodeOf(XK_a)});

    session->replaceWindowManager();
    ASSERT_TRUE(shownAgain());
    const fs::path lateKeys = folder.path() / "late.keys", laterKeys = folder.path() / "later.keys";
    const xcb_window_t late = recordingXterm("late", "50x12+2300+500", lateKeys);
    ASSERT_TRUE(activeBecomes(late)) << "active window " << session->activeWindow();
    type("gam");

    session->showDesktop(1);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kTitle); }));
    session->showDesktop(0);
    ASSERT_TRUE(shownAgain());
    const xcb_window_t later = recordingXterm("later", "50x12+2300+750", laterKeys);
    ASSERT_TRUE(activeBecomes(later)) << "active window " << session->activeWindow();
    type("ma");
    press(XK_Return);
    const auto scene = newScene(before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], "gamma");
    EXPECT_TRUE(windowGone());
    EXPECT_EQ(contents(lateKeys), "");
    EXPECT_EQ(contents(laterKeys), "");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// With windows on both monitors a layout chosen in the window would be ignored, so the layout chips take
// no click, and the canvas draws the main monitor's zones for the windows of both: a window of the side
// monitor goes only to a zone the side monitor's layout has. What is stored is what the window showed,
// and a restore of it puts each xterm into the zone it was shown in.
TEST_F(SaveSceneWindowProgramOnX11Test,
       onTwoMonitorsTheLayoutChipsTakeNoClickAndAWindowGoesOnlyToAZoneOfItsOwnMonitorsLayout) {
    startSession(true);
    const auto uuids = monitorsByName(session->display());
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    // One xterm in the main monitor's centre zone, one in the left half of the side monitor.
    const auto desk = saveSceneOverDesk();
    ASSERT_TRUE(desk) << logText();
    const xcb_window_t main = desk->main, beside = desk->side, panel = desk->panel;
    const pid_t korvane = desk->korvane;
    const Rect content = desk->content;
    const std::optional<Rect> canvas = desk->canvas;
    // "PRIMARY-A" sorts first: the canvas draws its four zones, where the side xterm sits in zone 1 as the
    // first of its monitor's halves.
    const Rect zone1 = cell(*canvas, 0, 0, 0.25, 0.5), zone2 = cell(*canvas, 0, 0.5, 0.25, 0.5),
               zone3 = cell(*canvas, 0.25, 0, 0.45, 1), zone4 = cell(*canvas, 0.7, 0, 0.3, 1);
    ASSERT_TRUE(waitForIcon(*session, itemsOf(zone3), kMainIcon, 32)) << logText();
    auto sideIcon = waitForIcon(*session, itemsOf(zone1), kSideIcon, 32);
    ASSERT_TRUE(sideIcon) << logText();

    // A click on the chip "Full", then the side xterm dragged to zone 4, which its monitor lacks, and to
    // zone 2, its monitor's right half: only the last is taken.
    const Rect fullChip{content.minX() + kFullChip.x - 40, content.minY() + kFullChip.y - 35, 80, 70};
    clickAt(static_cast<int>(fullChip.midX()), static_cast<int>(fullChip.midY()));
    drag(sideIcon->bounds.center(), dropPlace(zone4));
    sideIcon = waitForIcon(*session, itemsOf(zone1), kSideIcon, 32);
    ASSERT_TRUE(sideIcon) << logText();
    drag(sideIcon->bounds.center(), dropPlace(zone2));
    ASSERT_TRUE(waitForIcon(*session, itemsOf(zone2), kSideIcon, 32)) << logText();
    EXPECT_FALSE(findIcon(*session, itemsOf(zone4), kSideIcon, 32));
    EXPECT_EQ(accentPixels(fullChip), 0u) << "the chip clicked is marked as chosen";
    session->pressKeys({session->keycodeOf(XK_Control_L), session->keycodeOf(XK_a)});
    type("evening");
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(panel), picture("save-scene-two-monitors-x11.png")));

    press(XK_Return);
    const auto scene = newScene(desk->before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], "evening");
    EXPECT_EQ((*scene)["layoutRefsByDisplay"],
              nlohmann::json({{primary, "builtin.daily"}, {side, "builtin.split-50-50"}}));
    EXPECT_EQ((*scene)["windowHints"],
              nlohmann::json({{primary, {{{"bundleID", "main-term"}, {"zoneID", 3}}}},
                              {side, {{{"bundleID", "side-term"}, {"zoneID", 2}}}}}));
    EXPECT_TRUE(windowGone());

    // Restored from the card switcher, where it follows "Desk": each xterm fills the zone it was shown in.
    ASSERT_TRUE(restoreFromCardSwitcher(XK_2)) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'evening'")) << logText();
    // The daily layout's middle column, over the main monitor's area below the corner button's strip.
    const Rect middle{kPrimaryWorkArea.minX() + 0.25 * kPrimaryWorkArea.width(), kPrimaryWorkArea.minY(),
                      0.45 * kPrimaryWorkArea.width(), kPrimaryWorkArea.height()};
    EXPECT_TRUE(comesToFill(main, middle)) << platform::describe(session->frameOf(main));
    EXPECT_TRUE(comesToFill(beside, Rect{960, 0, 960, 900})) << platform::describe(session->frameOf(beside));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The canvas draws the zones of the monitor that applications added by hand go to: the first monitor whose
// windows are included. With the main monitor's xterm excluded, the side monitor's halves are drawn, an
// application added to the right one is stored in its zone 2, and a restore puts its xterm there.
TEST_F(SaveSceneWindowProgramOnX11Test, withTheMainMonitorsWindowsExcludedAnAddedApplicationGoesToASideZone) {
    startSession(true);
    const std::string side = monitorsByName(session->display()).at(kSecondaryName);
    const auto desk = saveSceneOverDesk();
    ASSERT_TRUE(desk) << logText();
    const xcb_window_t main = desk->main, panel = desk->panel;
    const pid_t korvane = desk->korvane;
    const Rect content = desk->content;
    std::optional<Rect> canvas = desk->canvas;
    // The main xterm in the middle zone of the main monitor's four, excluded by its badge at the icon's
    // top right corner.
    const auto mainIcon = waitForIcon(*session, itemsOf(cell(*canvas, 0.25, 0, 0.45, 1)), kMainIcon, 32);
    ASSERT_TRUE(mainIcon) << logText();
    clickAt(static_cast<int>(mainIcon->bounds.maxX()) - 2, static_cast<int>(mainIcon->bounds.minY()) + 2);
    // The side monitor's halves drawn in their place, on a canvas grown into the room of the line about
    // the layouts each monitor keeps: its xterm in the middle of the left half.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        canvas = canvasOf(content);
        if (!canvas) return false;
        const Rect leftHalf = cell(*canvas, 0, 0, 0.5, 1);
        return findIcon(*session, itemsOf(Rect{leftHalf.midX() - 30, leftHalf.minY(), 60, leftHalf.height()}),
                        kSideIcon, 32)
            .has_value();
    })) << logText();

    // The "+" at the top right of the right half opens the picker, where the main xterm's application is
    // the row with its picture.
    const Rect rightHalf = cell(*canvas, 0.5, 0, 0.5, 1);
    clickAt(static_cast<int>(rightHalf.maxX()) - 16, static_cast<int>(rightHalf.minY()) + 16);
    std::optional<xcb_window_t> picker;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (picker = session->viewableWindowTitled("Choose Application")).has_value();
    })) << logText();
    const auto row = waitForIcon(*session, session->frameOf(*picker), kMainIcon, 24);
    ASSERT_TRUE(row) << logText();
    clickAt(static_cast<int>(row->bounds.midX()), static_cast<int>(row->bounds.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Choose Application"); }))
        << logText();
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(panel), picture("save-scene-added-app-x11.png")));

    press(XK_Return);
    const auto scene = newScene(desk->before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["windowHints"], nlohmann::json({{side,
                                                        {{{"bundleID", "side-term"}, {"zoneID", 1}},
                                                         {{"bundleID", "main-term"}, {"zoneID", 2}}}}}));
    EXPECT_TRUE(windowGone());

    // Restored from the card switcher, where it follows "Desk": the main xterm fills the side's right half.
    ASSERT_TRUE(restoreFromCardSwitcher(XK_2)) << logText();
    ASSERT_TRUE(
        waitForLine("Scene Restore complete (layout-only): '" + (*scene)["name"].get<std::string>() + "'"))
        << logText();
    EXPECT_TRUE(comesToFill(main, Rect{960, 0, 960, 900})) << platform::describe(session->frameOf(main));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// On one monitor a layout chip chooses the layout the windows are stored with; the name typed replaces the
// one offered, and the keyboard stays in it, so the name typed on after the click and Return save the scene
// under it.
TEST_F(SaveSceneWindowProgramOnX11Test, onOneMonitorAChipChoosesTheLayoutAndTheNameKeepsTheKeyboard) {
    startSession(true);
    session->deleteMonitor(kSecondaryName);
    xterm("Left", "60x20+2000+100");
    xterm("Right", "60x20+3500+300");
    const pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const std::string primary = primaryUUID();

    const auto before = sceneFiles();
    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    const Rect content = session->contentOf(*panel);
    // The name offered is replaced by the first letters typed.
    type("eve");
    const Rect dailyChip{content.minX() + kDailyChip.x - 40, content.minY() + kDailyChip.y - 35, 80, 70};
    clickAt(static_cast<int>(dailyChip.midX()), static_cast<int>(dailyChip.midY()));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return accentPixels(dailyChip) > 100; }));
    type("ning");
    std::optional<Rect> canvas;
    EXPECT_TRUE(X11TestSession::waitFor([&] { return (canvas = canvasOf(content)).has_value(); }));
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*panel), picture("save-scene-one-monitor-x11.png")));

    press(XK_Return);
    const auto scene = newScene(before);
    ASSERT_TRUE(scene) << logText();
    EXPECT_EQ((*scene)["name"], "evening");
    EXPECT_EQ((*scene)["layoutRefsByDisplay"], nlohmann::json({{primary, "builtin.daily"}}));
    // The lower xterm first: "Right" in the right zone, "Left" in the top left one.
    EXPECT_EQ((*scene)["windowHints"],
              nlohmann::json::parse(
                  R"({")" + primary +
                  R"(": [{"bundleID": "xterm", "zoneID": 4}, {"bundleID": "xterm", "zoneID": 1}]})"));
    EXPECT_TRUE(windowGone());

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A hand edit cut the scene "Mended" short before the program started; the user saves another scene, puts
// the file right and starts the program again: its card is still the first of the card switcher.
TEST_F(SaveSceneWindowProgramOnX11Test,
       aSceneCutShortAtTheStartKeepsItsCardThroughASaveAndRestoresOnceMended) {
    startSession(true);
    const std::string id = "99999999-AAAA-4BBB-8CCC-DDDDDDDDDDDD";
    writeActiveScene(home(), sceneOverBothMonitors(session->display(), id, "Mended", "builtin.split-50-50",
                                                   "builtin.split-50-50"));
    writeActiveScene(home(), sceneOverBothMonitors(session->display(), "44444444-5555-4666-8777-888888888888",
                                                   "Desk", "builtin.daily", "builtin.split-50-50"));
    const fs::path file = home() / "scenes" / SceneStore::sceneFileName(id);
    std::ostringstream good;
    good << std::ifstream(file).rdbuf();
    std::ofstream(file, std::ios::trunc) << good.str().substr(0, good.str().size() / 2);
    xterm("Left", "60x20+2000+100");

    pid_t korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Desk'")) << logText();
    const auto before = sceneFiles();
    ASSERT_TRUE(openSaveScene()) << logText();
    press(XK_Return);
    ASSERT_TRUE(newScene(before)) << logText();
    ASSERT_TRUE(waitForLine("Scene saved via hotkey")) << logText();
    ::kill(korvane, SIGTERM);
    ASSERT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();

    std::ofstream(file, std::ios::trunc) << good.str();
    korvane = startKorvaneWithoutEntries();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") >= 2; })) << logText();
    ASSERT_TRUE(restoreFromCardSwitcher(XK_1)) << logText();
    EXPECT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Mended'")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A folder where the manifest belongs, put there while the program runs: Return, three times, writes no
// scene, and the window stays with the reason, in red above its buttons.
TEST_F(SaveSceneWindowProgramOnX11Test, aSaveThatCannotBeWrittenWritesNothingAndTheWindowSaysWhy) {
    startSession(true);
    xterm("Left", "60x20+2000+100");
    startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const fs::path manifest = home() / "scenes" / SceneStore::kManifestFileName;
    fs::remove(manifest);
    fs::create_directory(manifest);
    const auto before = sceneFiles();

    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    const auto redPixels = [&] {
        std::size_t n = 0;
        for (std::uint32_t p : session->rootPixels(session->contentOf(*panel)))
            n += near(p, 0xC81E1E, 50) ? 1 : 0;
        return n;
    };
    EXPECT_EQ(redPixels(), 0u);
    for (int i = 0; i < 3; ++i) {
        const std::size_t failures = count("Failed to save scene");
        press(XK_Return);
        ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Failed to save scene") > failures; }))
            << logText();
    }
    EXPECT_TRUE(X11TestSession::waitFor([&] { return redPixels() > 30; })) << redPixels();
    EXPECT_TRUE(session->viewableWindowTitled(kTitle).has_value());
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*panel), picture("save-scene-refused-x11.png")));
    EXPECT_EQ(sceneFiles(), before);
    EXPECT_TRUE(fs::is_directory(manifest));
}

// A main monitor 620 high, a little taller than the window: the window, title bar and all, lies on it.
TEST_F(SaveSceneWindowProgramOnX11Test, onAMainMonitorALittleTallerThanTheWindowItLiesWhollyOnIt) {
    startSession(true);
    const Rect primary{1920, 0, 1920, 620};
    session->deleteMonitor(kSecondaryName);
    session->deleteMonitor(kPrimaryName);
    session->setMonitor(kPrimaryName, primary, true);
    session->setMonitor(kSecondaryName, kSecondaryRoot, false);
    xterm("Left", "60x20+2000+100");
    startKorvaneWithoutEntries();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();

    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();
    Rect frame;
    EXPECT_TRUE(X11TestSession::waitFor([&] { return within(frame = session->frameOf(*panel), primary); }))
        << platform::describe(frame) << "\n"
        << logText();
    // The window manager's title bar above the window's own content, which is drawn, scrolling.
    const Rect content = session->contentOf(*panel);
    EXPECT_LT(frame.minY(), content.minY());
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return session->rootPixel(int(content.minX()) + 8, int(content.maxY()) - 8) != 0 &&
               session->rootPixel(int(content.minX()) + 8, int(content.minY()) + 8) != 0;
    }));
    EXPECT_TRUE(session->saveScreenshot(frame, picture("save-scene-short-monitor-x11.png")));
}

// Under a scale of 1.5, "Save Scene" moved onto the monitor on the main monitor's right, which is then
// unplugged: the window comes whole onto the main monitor, its fields and buttons in
// reach.
TEST_F(SaveSceneWindowProgramOnX11Test, underAScaleItComesWholeOntoTheMainMonitorWhenItsMonitorIsUnplugged) {
    startWideMainSession();
    xterm("Left", "60x20+300+300");
    const pid_t korvane = startKorvane({"QT_SCALE_FACTOR=1.5"});
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const auto panel = openSaveScene();
    ASSERT_TRUE(panel) << logText();

    // Onto the right monitor, as a pager moves it.
    const Rect frame = session->frameOf(*panel);
    session->requestFrame(*panel, Rect{kRightRoot.minX() + 100, frame.minY(), frame.width(), frame.height()});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(*panel).midX() > kRightRoot.minX(); }))
        << platform::describe(session->frameOf(*panel));

    const std::size_t changes = count("[DisplayChange] handle end");
    session->deleteMonitor(kRightName);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
        << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const Rect now = session->frameOf(*panel);
        return kWideMainRoot.intersection(now) == now;
    })) << platform::describe(session->frameOf(*panel));
    EXPECT_TRUE(session->saveScreenshot(kWideMainRoot, picture("save-scene-after-unplug-scaled-x11.png")));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
