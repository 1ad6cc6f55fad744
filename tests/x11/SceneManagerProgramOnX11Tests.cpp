// The scene manager in the built program on a real X server with openbox, as a user meets it: with a system
// tray (trayer) and no scene stored, the tray menu's "Scene Manager..." opens the "Scene Manager" window with
// the keyboard, a second request brings back the same window, and its "Create Scene" stores "Scene 1"; the
// window manager's close, half a second to two after each of ten openings, takes the window away at once,
// and opened again it has the keyboard; with a scene active, a monitor plugged in gets the prompt whose "Set
// Up Display" opens the "Scene Manager" window with the keyboard, on that scene and monitor; its "New" card
// stores a scene, and a second monitor's
// "Set Up Display" brings the same window back; deleting the active scene there withdraws the prompt that
// offers it; with two scenes, the second active, the tray menu opens the manager on the active scene, and
// its "Edit Grid" at once edits and saves that scene and no other; a preset bound there to the active
// scene's monitor takes a push into its fourth zone at once and an "Update" keeps it; and a preset and a
// grid saved for one of two scenes that name the same user layouts leave the other scene's file and those
// layouts untouched, its restore placing every window. Pictures of the window as the server shows it are
// left under build/screenshots.
#include "SceneEditorOnX11.h"

#include "layouts/BuiltinLayouts.h"
#include "platform/Format.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace korvane::x11::test {
namespace {

constexpr const char* kTitle = "Scene Manager";
// The fourth zone of the "Daily" preset on the primary monitor, its right column (root coordinates).
const Rect kDailyZone4{3264, 0, 576, 1080};

class SceneManagerProgramOnX11Test : public SceneEditorOnX11Test {
  protected:
    // The first start has made its scene already: none is made, none is stored.
    void markScenesConverted() {
        fs::create_directories(home());
        std::ofstream(home() / "scene-migration-d7-done") << "done";
    }
    // A click on the program's icon in the tray, then "Scene Manager..." chosen in its menu from the
    // keyboard: the third row from the bottom, above "Preferences..." and "Quit Korvane" (from a menu with
    // no row chosen, Up chooses the last row).
    bool openFromTrayMenu(pid_t korvane) {
        if (!openTrayMenu(korvane)) return false;
        for (int i = 0; i < 3; ++i)
            session->pressKeys({session->keycodeOf(XK_Up)});
        session->pressKeys({session->keycodeOf(XK_Return)});
        return true;
    }
    // A click at a place of the 720 × 520 manager window's content, as clickEditGridUntil finds it.
    Point inManager(xcb_window_t manager, const Point& inContent) {
        const Rect frame = session->frameOf(manager);
        const double border = (frame.width() - 720) / 2;
        return Point{frame.maxX() - border - 720 + inContent.x, frame.maxY() - border - 520 + inContent.y};
    }
    void clickInManager(xcb_window_t manager, const Point& inContent) {
        const Point at = inManager(manager, inContent);
        clickAt(static_cast<int>(at.x), static_cast<int>(at.y));
    }
    // Whether, of the display list's two rows (28 high from 160), only this one is tinted (selected, or
    // hovered by the pointer resting on it): a row not drawn yet shows the plain background above the list.
    bool onlyRowTinted(xcb_window_t manager, int row) {
        const auto tint = [&](double y) {
            const Point at = inManager(manager, Point{400, y});
            return session->rootPixel(static_cast<int>(at.x), static_cast<int>(at.y));
        };
        const std::uint32_t plain = tint(125);
        for (int each = 0; each < 2; ++each)
            if ((tint(160.0 + 28 * each) != plain) != (each == row)) return false;
        return true;
    }
    // The display's row in the manager (PRIMARY-A's UUID sorts first), then "Start from Preset…" beside
    // "Edit Grid", then the preset in the popover's grid of two columns ("Full", "60:40", "50:50",
    // "Daily"), as many times as it takes the scene to be saved.
    bool bindPreset(xcb_window_t manager, pid_t korvane, const std::string& sceneName, int row, int preset) {
        const std::size_t saves = count("Saved scene: " + sceneName);
        return X11TestSession::waitFor(
            [&] {
                // A click made while the manager still loads its lists selects nothing, and the preset
                // would go to the display selected before.
                clickInManager(manager, Point{60, 160.0 + 28 * row});
                if (!X11TestSession::waitFor([&] { return onlyRowTinted(manager, row); }, seconds(2)))
                    return false;
                clickInManager(manager, Point{172, 433});
                std::optional<Rect> popover;
                if (!X11TestSession::waitFor(
                        [&] {
                            for (const auto& [window, root] : windowsOfProcess(session->display(), korvane))
                                if (root.width() == 320) popover = root;
                            return popover.has_value();
                        },
                        seconds(3)))
                    return false;
                // Cells of 141 × 88 with 10 between them, below a title, 14 in from the edges.
                clickAt(static_cast<int>(popover->minX() + 14 + 151 * (preset % 2) + 70),
                        static_cast<int>(popover->minY() + 44 + 98 * (preset / 2) + 44));
                return X11TestSession::waitFor([&] { return count("Saved scene: " + sceneName) > saves; },
                                               seconds(3));
            },
            seconds(30));
    }
    std::string layoutRefOf(const std::string& sceneID, const std::string& display) {
        std::ifstream in(sceneFile(sceneID));
        const nlohmann::json scene = nlohmann::json::parse(in, nullptr, false);
        return scene.is_object() && scene.contains("layoutRefsByDisplay")
                   ? scene["layoutRefsByDisplay"].value(display, std::string())
                   : std::string();
    }
    // Plugs a monitor the active scene does not configure in and answers its prompt with "Set Up Display".
    bool setUpFromPrompt(const std::string& monitor, const Rect& root) {
        session->setMonitor(monitor, root, false);
        std::optional<xcb_window_t> prompt;
        if (!X11TestSession::waitFor(
                [&] {
                    return (prompt = session->viewableWindowTitled("Korvane Display Prompt")).has_value();
                },
                seconds(5)))
            return false;
        // "Set Up Display", the first of its two buttons, stands 70 pixels in and 44 down from its corner.
        const Rect frame = session->frameOf(*prompt);
        session->click(static_cast<int>(frame.minX() + 70), static_cast<int>(frame.minY() + 44));
        return true;
    }
    // The names of the stored scenes, sorted.
    std::vector<std::string> storedSceneNames() {
        std::vector<std::string> names;
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(home() / "scenes", ec))
            if (entry.path().filename().string().rfind("scene-", 0) == 0 &&
                entry.path().extension() == ".json")
                files.push_back(entry.path());
        for (const auto& file : files) {
            std::ifstream in(file);
            const auto scene = nlohmann::json::parse(in, nullptr, false);
            if (scene.is_object() && scene.contains("name") && scene["name"].is_string())
                names.push_back(scene["name"]);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path sceneFile(const std::string& id) const { return home() / "scenes" / ("scene-" + id + ".json"); }
    std::string bytesOf(const fs::path& file) const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::optional<xcb_window_t> managerWithKeyboard() {
        std::optional<xcb_window_t> window;
        X11TestSession::waitFor([&] {
            window = session->viewableWindowTitled(kTitle);
            return window && session->activeWindow() == *window;
        });
        return window && session->activeWindow() == *window ? window : std::nullopt;
    }
    // The program started beside a tray and an xterm, with no scene to convert.
    pid_t startWithTray() {
        startSession(true);
        startTray();
        openXterm();
        markScenesConverted();
        return startKorvane();
    }
};

TEST_F(SceneManagerProgramOnX11Test, theTrayMenuOpensOneManagerWindowWhoseCreateSceneStoresScene1) {
    const pid_t korvane = startWithTray();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();

    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    const auto window = managerWithKeyboard();
    ASSERT_TRUE(window) << "active window " << session->activeWindow() << "\n" << logText();
    EXPECT_TRUE(storedSceneNames().empty()) << "no scene was made at the start";
    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    EXPECT_EQ(managerWithKeyboard(), window) << "the same window, brought forward";

    // "Create Scene" sits just below the middle of the empty window; clicked again, as a user clicks again
    // a button that did not answer, while a busy machine still shows the scenes loading there.
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] {
            const Rect content = session->contentOf(*window);
            session->click(static_cast<int>(content.midX()), static_cast<int>(content.midY() + 13));
            return X11TestSession::waitFor(
                [&] { return storedSceneNames() == std::vector<std::string>{"Scene 1"}; }, seconds(5));
        },
        seconds(30)))
        << logText();
    X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*window),
                                        std::string(KORVANE_SCREENSHOT_DIR) + "/scene-manager-korvane.png"));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The window manager's close, as its title bar's button sends it, comes to the window as any other request
// of the desktop: the window goes at once, however soon after its opening the user clicks.
TEST_F(SceneManagerProgramOnX11Test, theManagerClosesAtTheWindowManagersFirstRequestEveryTime) {
    const pid_t korvane = startWithTray();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();

    for (int opening = 0; opening < 10; ++opening) {
        ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
        const auto window = managerWithKeyboard();
        ASSERT_TRUE(window) << "opening " << opening << ", active window " << session->activeWindow() << "\n"
                            << logText();
        // From half a second to two after the window took the keyboard.
        X11TestSession::waitFor([] { return false; }, milliseconds(500 + 1500 * opening / 9));
        EXPECT_TRUE(goesAtTheFirstClose(*window, kTitle))
            << "opening " << opening << " still shows a second after the request";
        ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kTitle); }))
            << logText();
    }

    // Opened again, it takes the keyboard: Space presses "Create Scene", which has it, and "Scene 1" is
    // stored. Pressed again, as a user presses again a key that did not answer, while a busy machine has
    // not yet given the button the keyboard the window has.
    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    ASSERT_TRUE(managerWithKeyboard()) << logText();
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] {
            press({XK_space});
            return X11TestSession::waitFor([&] { return !storedSceneNames().empty(); }, seconds(5));
        },
        seconds(30)))
        << logText();
    EXPECT_EQ(storedSceneNames().front(), "Scene 1");

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(SceneManagerProgramOnX11Test,
       thePromptsSetUpDisplayOpensOneManagerOnTheActiveSceneAndItsNewCardStores) {
    startSession(true);
    openXterm();
    // No marker: the first start makes "My Workspace" and makes it active.
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    // Below the side monitor; the scene names no layout for it.
    ASSERT_TRUE(setUpFromPrompt("EXTRA-M", Rect{0, 900, 1920, 180})) << logText();
    const auto window = managerWithKeyboard();
    ASSERT_TRUE(window) << "active window " << session->activeWindow() << "\n" << logText();
    EXPECT_FALSE(session->viewableWindowTitled("Korvane Display Prompt"));
    X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
    ASSERT_TRUE(fs::create_directories(KORVANE_SCREENSHOT_DIR) || fs::is_directory(KORVANE_SCREENSHOT_DIR));
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*window), std::string(KORVANE_SCREENSHOT_DIR) +
                                                                       "/scene-manager-set-up-korvane.png"));

    // The "New" card follows the one scene card, 156 pixels in and 70 down from the window's content.
    const Rect content = session->contentOf(*window);
    session->click(static_cast<int>(content.minX() + 156), static_cast<int>(content.minY() + 70));
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] {
            return storedSceneNames() == std::vector<std::string>{"My Workspace", "Scene 2"};
        },
        seconds(30)))
        << logText();

    // A second request while it is open brings the same window back.
    ASSERT_TRUE(setUpFromPrompt("EXTRA-N", Rect{1920, 900, 1920, 180})) << logText();
    EXPECT_EQ(managerWithKeyboard(), window) << "the same window, brought forward";

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// A prompt offers the active scene: deleted in the manager, that scene is no longer there to apply or to
// set up, and the prompt standing for it goes with it.
TEST_F(SceneManagerProgramOnX11Test, deletingTheActiveSceneWithdrawsThePromptThatOffersIt) {
    // No marker: the first start makes "My Workspace" and makes it active.
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();

    // While "Delete Scene?" asks about the active scene, the monitor comes back and gets its prompt, which
    // leaves the keyboard with the alert; Return answers "Delete".
    ASSERT_TRUE(openDeleteAlert(*manager)) << logText();
    session->setMonitor("EXTRA-E", Rect{0, 900, 1920, 180}, false);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->viewableWindowTitled("Korvane Display Prompt").has_value();
    })) << logText();
    press({XK_Return});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return storedSceneNames().empty(); })) << logText();
    // Well before the prompt's own countdown of 10 seconds would end.
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return !session->viewableWindowTitled("Korvane Display Prompt"); }, seconds(3)))
        << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The active scene's card carries the bold border; opened on no scene in particular, the manager must
// have that scene chosen, for "Edit Grid" edits the chosen one.
TEST_F(SceneManagerProgramOnX11Test, openedFromTheTrayMenuItsEditGridEditsTheActiveSceneAndNoOther) {
    startSession(true);
    startTray();
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    // "Home" listed first, "Work" second and active; both lay the monitors out in halves.
    WMScene home, work;
    for (auto [scene, id, name] : {std::tuple{&home, "11111111-2222-4333-8444-555555555555", "Home"},
                                   std::tuple{&work, "66666666-7777-4888-8999-000000000000", "Work"}}) {
        scene->id = id;
        scene->name = name;
        for (const std::string& uuid : monitorUUIDs())
            scene->layoutRefsByDisplay[uuid] = "builtin.split-50-50";
    }
    writeActiveScene(this->home(), home);
    writeActiveScene(this->home(), work);
    markScenesConverted();
    const std::string homeBefore = bytesOf(sceneFile(home.id));
    ASSERT_FALSE(homeBefore.empty());
    openXterm();
    // No desktop entry names the xterm: it is known by its instance name, "xterm".
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "no-data").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    const auto manager = managerWithKeyboard();
    ASSERT_TRUE(manager) << "active window " << session->activeWindow() << "\n" << logText();
    X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*manager),
                                        picture("scene-manager-active-chosen-korvane.png")));

    // "Edit Grid" at once, the xterm added to the primary monitor's left zone and saved.
    std::optional<Point> add;
    ASSERT_TRUE(clickEditGridUntil(*manager, [&] { return (add = addButton(kPrimaryRoot)).has_value(); }))
        << logText();
    ASSERT_TRUE(focusPanel(kPrimaryRoot)) << "active window " << session->activeWindow();
    ASSERT_TRUE(addXtermAt(*add)) << logText();
    press({XK_Control_L, XK_s});
    const auto hintsOf = [&](const std::string& id) {
        std::ifstream in(sceneFile(id));
        const nlohmann::json scene = nlohmann::json::parse(in, nullptr, false);
        return scene.is_object() && scene.contains("windowHints")
                   ? scene["windowHints"].value(primary, nlohmann::json())
                   : nlohmann::json();
    };
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !hintsOf(work.id).is_null(); }, seconds(20)))
        << bytesOf(sceneFile(work.id)) << "\n"
        << bytesOf(sceneFile(home.id));
    EXPECT_EQ(hintsOf(work.id).dump(), R"([{"bundleID":"xterm","zoneID":1}])");
    EXPECT_EQ(bytesOf(sceneFile(home.id)), homeBefore);

    // Nothing is left unsaved: Escape closes the editor at once.
    press({XK_Escape});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kEditorTitle); }))
        << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The active scene's layouts are what its monitors show: a preset bound to one shows its zones at once, so
// that a push reaches its fourth zone, and "Update" records it rather than the layout shown before.
TEST_F(SceneManagerProgramOnX11Test,
       aPresetBoundToTheActiveScenesMonitorTakesPushesAtOnceAndAnUpdateKeepsIt) {
    startSession(true);
    startTray();
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    const WMScene work = sceneOverBothMonitors(session->display(), "66666666-7777-4888-8999-000000000000",
                                               "Work", "builtin.split-50-50", "builtin.split-50-50");
    writeActiveScene(home(), work);
    markScenesConverted();
    bindUpdateKey();
    const xcb_window_t notes = xterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Work'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    const auto manager = managerWithKeyboard();
    ASSERT_TRUE(manager) << "active window " << session->activeWindow() << "\n" << logText();
    ASSERT_TRUE(bindPreset(*manager, korvane, work.name, 0, 3)) << logText();
    const std::string bound = layoutRefOf(work.id, primary);

    // A click that only closes what is left of the popover is made again, as a user makes it.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const Point middle = session->frameOf(notes).center();
        clickAt(static_cast<int>(middle.x), static_cast<int>(middle.y));
        return X11TestSession::waitFor([&] { return session->activeWindow() == notes; }, seconds(2));
    }));
    press({XK_Control_L, XK_Alt_L, XK_4});
    EXPECT_TRUE(comesToFill(notes, kDailyZone4)) << platform::describe(session->frameOf(notes)) << logText();

    press({XK_Control_L, XK_Alt_L, XK_u});
    ASSERT_TRUE(waitForLine("Updated scene 'Work'")) << logText();
    EXPECT_EQ(layoutRefOf(work.id, primary), bound);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// After a restore two scenes commonly name the user layouts the monitors show. A preset bound to one
// scene's side monitor and a grid saved for its primary must leave the other scene's file and those layouts
// as they were, so that its restore still puts every window where it says.
TEST_F(SceneManagerProgramOnX11Test, whatOneSceneBindsOrSavesLeavesTheLayoutsAnotherSceneNamesAsTheyWere) {
    startSession(true);
    startTray();
    const auto uuids = monitorsByName(session->display());
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    const std::vector<std::string> layouts{"layout.3bf4418c", "layout.5ce0a7d2"};
    fs::create_directories(home() / "Layouts");
    for (const std::string& id : layouts) {
        ConfigZoneSet halves = builtinSplit5050Layout();
        halves.id = id;
        std::ofstream(home() / "Layouts" / (id + ".json")) << halves.toJSON().dump();
    }
    // "Home" listed first and placing an xterm in each monitor's right half; "Work" active.
    WMScene kept = sceneOverBothMonitors(session->display(), "11111111-2222-4333-8444-555555555555", "Home",
                                         layouts[0], layouts[1]);
    kept.windowHints = {{primary, {WindowHint{"xterm", 2, std::nullopt}}},
                        {side, {WindowHint{"xterm", 2, std::nullopt}}}};
    const WMScene work = sceneOverBothMonitors(session->display(), "66666666-7777-4888-8999-000000000000",
                                               "Work", layouts[0], layouts[1]);
    writeActiveScene(home(), kept);
    writeActiveScene(home(), work);
    markScenesConverted();
    const auto keptFiles = [&] {
        std::vector<std::string> bytes{bytesOf(sceneFile(kept.id))};
        for (const std::string& id : layouts)
            bytes.push_back(bytesOf(home() / "Layouts" / (id + ".json")));
        return bytes;
    };
    const std::vector<std::string> before = keptFiles();
    const xcb_window_t one = xterm("One", "60x20+2000+100");
    const xcb_window_t two = xterm("Two", "60x20+100+100");
    // No desktop entry names the xterms: they are known by their instance name, "xterm".
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "no-data").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Work'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
    const auto manager = managerWithKeyboard();
    ASSERT_TRUE(manager) << "active window " << session->activeWindow() << "\n" << logText();
    ASSERT_TRUE(bindPreset(*manager, korvane, work.name, 1, 3)) << logText();

    // The primary chosen again, "Edit Grid", its right half split and saved.
    clickInManager(*manager, Point{60, 160});
    ASSERT_TRUE(clickEditGridUntil(*manager, [&] { return addButton(kPrimaryRoot).has_value(); }))
        << logText();
    ASSERT_TRUE(focusPanel(kPrimaryRoot)) << "active window " << session->activeWindow();
    const Rect rightHalf{kPrimaryRoot.midX(), kPrimaryRoot.minY(), kPrimaryRoot.width() / 2,
                         kPrimaryRoot.height()};
    ASSERT_TRUE(splitAtMiddle(rightHalf, XK_h));
    const std::size_t saves = count("Saved scene: Work");
    press({XK_Control_L, XK_s});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Saved scene: Work") > saves; })) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        press({XK_Escape});
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kEditorTitle); },
                                       seconds(3));
    })) << logText();

    EXPECT_EQ(keptFiles(), before);

    // "Home" restored from the card switcher: each xterm fills its monitor's right half.
    ASSERT_TRUE(restoreFromCardSwitcher()) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'Home'")) << logText();
    EXPECT_TRUE(comesToFill(one, rightHalf)) << platform::describe(session->frameOf(one));
    const Rect sideRightHalf{kSecondaryRoot.midX(), kSecondaryRoot.minY(), kSecondaryRoot.width() / 2,
                             kSecondaryRoot.height()};
    EXPECT_TRUE(comesToFill(two, sideRightHalf)) << platform::describe(session->frameOf(two));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// Under a scale that makes the main monitor no whole number of the toolkit's pixels wide, the manager, the
// editor's panels and a zone's application picker each lie whole on their monitor, frame and title bar
// with them: the panels cover each monitor's visible frame to its edges, the picker is shortened on a main
// lower than it (768 rows are 512 of the toolkit's pixels at 1.5), and on a main narrower than the
// manager's least width (1024 columns are 585 of them at 1.75) the manager is shrunk to it.
TEST_F(SceneManagerProgramOnX11Test,
       underAFractionalScaleTheManagerThePanelsAndThePickersLieWholeOnTheirMonitors) {
    struct Case {
        bool narrow;
        double scale;
        bool editor;
    };
    for (const Case& each : {Case{false, 1.5, true}, Case{true, 1.5, true}, Case{true, 1.75, false}}) {
        const std::string name = std::string(each.narrow ? "narrow" : "wide") + "-main-scale-" +
                                 (each.scale == 1.5 ? "1.5" : "1.75");
        SCOPED_TRACE(name);
        if (each.narrow)
            startNarrowMainSession();
        else
            startWideMainSession();
        const Rect& main = each.narrow ? kNarrowMainRoot : kWideMainRoot;
        const Rect& beside = each.narrow ? kRightOfNarrowRoot : kRightRoot;
        writeHalvesScene();
        markScenesConverted();
        openXterm();
        const std::size_t restores = count("Scene Restore complete");
        const pid_t korvane =
            startKorvane({"QT_SCALE_FACTOR=" + std::string(each.scale == 1.5 ? "1.5" : "1.75")});
        ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") > restores; }))
            << logText();
        const auto whollyOn = [&](xcb_window_t window, const Rect& monitor) {
            return X11TestSession::waitFor([&] {
                const Rect frame = session->frameOf(window);
                return monitor.intersection(frame) == frame;
            });
        };

        ASSERT_TRUE(openFromTrayMenu(korvane)) << logText();
        const auto manager = managerWithKeyboard();
        ASSERT_TRUE(manager) << "active window " << session->activeWindow() << "\n" << logText();
        EXPECT_TRUE(whollyOn(*manager, main)) << platform::describe(session->frameOf(*manager));
        X11TestSession::waitFor([] { return false; }, milliseconds(500)); // the form painted
        EXPECT_TRUE(session->saveScreenshot(session->frameOf(*manager),
                                            picture("scene-manager-" + name + "-x11.png")));

        if (each.editor) {
            // Below the corner button's strip of 30 of the toolkit's rows on the main monitor; the whole
            // monitor beside it.
            const Rect mainPanel{main.minX(), 45, main.width(), main.height() - 45};
            const auto describeShown = [&] {
                std::string shown;
                for (const auto& [window, frame] : windowsOfProcess(session->display(), korvane))
                    shown += platform::describe(frame) + "\n";
                return shown;
            };
            ASSERT_TRUE(clickEditGridUntil(
                *manager,
                [&] {
                    int shown = 0;
                    for (const auto& [window, frame] : windowsOfProcess(session->display(), korvane))
                        shown += frame == mainPanel || frame == beside;
                    return shown == 2;
                },
                each.scale))
                << describeShown();
            for (const Rect& panel : {mainPanel, beside}) {
                // The "+" looked for again before each click, as a user looks again at a panel still
                // being drawn.
                ASSERT_TRUE(X11TestSession::waitFor(
                    [&] {
                        const auto add = addButton(panel, each.scale);
                        if (!add) return false;
                        clickAt(static_cast<int>(add->x), static_cast<int>(add->y));
                        return X11TestSession::waitFor(
                            [&] { return session->viewableWindowTitled(kPickerTitle).has_value(); },
                            seconds(3));
                    },
                    seconds(40)))
                    << platform::describe(panel) << logText();
                const auto picker = session->viewableWindowTitled(kPickerTitle);
                ASSERT_TRUE(picker);
                const Rect monitor = panel == beside ? beside : main;
                EXPECT_TRUE(whollyOn(*picker, monitor)) << platform::describe(session->frameOf(*picker));
                if (panel == mainPanel) {
                    EXPECT_TRUE(session->saveScreenshot(session->frameOf(*picker),
                                                        picture("scene-editor-picker-" + name + "-x11.png")));
                }
                press({XK_Escape});
                ASSERT_TRUE(
                    X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPickerTitle); }));
            }
        }

        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
}

} // namespace
} // namespace korvane::x11::test
