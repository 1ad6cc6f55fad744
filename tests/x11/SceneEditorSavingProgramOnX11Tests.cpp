// Saving a display from the scene editor of the built program on a real X server with openbox and an
// xterm, as a user does it: the xterm added to a zone from the application picker, at once one split
// saved with Ctrl+S, a second split saved under the same layout, the xterm's chip dragged with the
// pointer to another zone and saved again. The scene file names the zone the chip was shown in, the
// scene restored from the card switcher puts the xterm there, and the other monitor's panel never shows
// the chip. Pictures of both panels are left under build/screenshots.
#include "SceneEditorOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace korvane::x11::test {
namespace {

// The primary monitor's halves, and the top right quarter once the right half is split (root coordinates).
const Rect kLeftHalf = kPrimaryLeftHalf;
const Rect kRightHalf = kPrimaryRightHalf;
const Rect kTopRight{kRightHalf.minX(), kRightHalf.minY(), kRightHalf.width(), kRightHalf.height() / 2};

class SceneEditorSavingProgramOnX11Test : public SceneEditorOnX11Test {
  protected:
    // The scene manager from the prompt of a monitor plugged in, that monitor gone again, then "Edit
    // Grid": whether both monitors got their panel.
    bool openEditor() {
        const auto manager = openManagerFromPrompt();
        return manager && clickEditGridUntil(*manager, [&] {
                   return panelOver(kPrimaryWorkArea) && panelOver(kSecondaryRoot);
               });
    }
    bool panelOver(const Rect& monitor) {
        for (xcb_window_t window : session->stackingOrder())
            if (session->frameOf(window) == monitor) return true;
        return false;
    }
    // The near-white pixels of the floating bar at the bottom of the primary monitor's panel: its buttons'
    // faces. "Done" alone while nothing is unsaved; "Reset" and "Save" beside it otherwise.
    std::size_t barButtonPixels() {
        std::size_t white = 0;
        for (std::uint32_t p : session->rootPixels(Rect{2320, 1022, 1120, 28}))
            if ((p >> 16 & 0xFF) > 235 && (p >> 8 & 0xFF) > 235 && (p & 0xFF) > 235) ++white;
        return white;
    }
    bool showsUnsaved(std::size_t doneAlone) { return barButtonPixels() > doneAlone * 3 / 2; }
    // Also false while the panel shows no bar, as it does while the editor loads the scene again after
    // a save.
    bool showsDoneAlone(std::size_t doneAlone) {
        const std::size_t white = barButtonPixels();
        return white > doneAlone * 2 / 3 && white < doneAlone * 3 / 2;
    }
    // The primary monitor's layout reference and its window hints as (bundle, zone) in the scene file.
    std::string storedLayoutRef() {
        return activeSceneFile()["layoutRefsByDisplay"].value(primary, std::string());
    }
    std::vector<std::pair<std::string, std::int64_t>> storedHints() {
        std::vector<std::pair<std::string, std::int64_t>> hints;
        const nlohmann::json scene = activeSceneFile();
        if (scene.contains("windowHints") && scene["windowHints"].contains(primary))
            for (const auto& hint : scene["windowHints"][primary])
                hints.emplace_back(hint["bundleID"].get<std::string>(), hint["zoneID"].get<std::int64_t>());
        return hints;
    }
    nlohmann::json storedLayout(const std::string& id) {
        std::ifstream in(home() / "Layouts" / (id + ".json"));
        return nlohmann::json::parse(in, nullptr, false);
    }

    // With the left half of the main monitor's panel split and not saved, the side monitor unplugged, then
    // the main one: the server then shows one other monitor, the output's own over the whole screen, as
    // when a laptop is docked. Whether the editor asked about the split ("Save Scene Changes?" in `alert`)
    // with none of its panels left.
    bool unplugBothMonitorsUnderAnUnsavedSplit(xcb_window_t manager) {
        if (!clickEditGridUntil(manager,
                                [&] { return panelOver(kPrimaryWorkArea) && panelOver(kSecondaryRoot); }) ||
            !focusPanel(kPrimaryWorkArea) || !splitAtMiddle(kLeftHalf, XK_v))
            return false;
        filesBefore = files();
        for (const char* monitor : {kSecondaryName, kPrimaryName}) {
            const std::size_t changes = count("[DisplayChange] handle end");
            session->deleteMonitor(monitor);
            if (!X11TestSession::waitFor([&] { return count("[DisplayChange] handle end") > changes; }))
                return false;
        }
        if (!saveAlertShows() || session->viewableWindowTitled(kEditorTitle)) return false;
        filesAsked = files();
        return true;
    }
    // The main monitor as the server lists it now, in root coordinates.
    std::optional<Rect> mainMonitor() {
        std::string error;
        auto desktop = X11Desktop::connect(session->display(), error);
        if (!desktop) return std::nullopt;
        const auto main = desktop->screens().mainScreen();
        if (!main) return std::nullopt;
        const Point origin = desktop->screens().nativeOrigin();
        return Rect{origin.x, origin.y, main->frame.width(), main->frame.height()};
    }
    // Every file of the support folder, by its path there, with its bytes.
    std::map<std::string, std::string> files() {
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(home()))
            if (entry.is_regular_file()) {
                std::ifstream in(entry.path(), std::ios::binary);
                all[fs::relative(entry.path(), home()).string()] = {std::istreambuf_iterator<char>(in), {}};
            }
        return all;
    }
    // "Save" and "Discard" left to right, without Cancel: the alert stands over no panel.
    static constexpr std::size_t kSave = 0, kDiscard = 1, kButtons = 2;

    std::string primary; // the primary monitor's display UUID
    // As the monitors began to go, and as the editor asked (the displays' own records written by then).
    std::map<std::string, std::string> filesBefore, filesAsked;
};

TEST_F(SceneEditorSavingProgramOnX11Test,
       aChipDraggedAfterTwoSavedSplitsIsStoredAndRestoredInTheZoneItWasShownIn) {
    startSession(true);
    primary = monitorsByName(session->display()).at(kPrimaryName);
    const xcb_window_t notes = xterm("Notes", "60x20+2000+100");
    // No desktop entry names the xterm: it is known by its instance name, "xterm".
    const pid_t korvane = startKorvane({"XDG_DATA_HOME=" + (folder.path() / "no-data").string(),
                                        "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering sceneSwitcher.toggle key=C")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    // The first scene lays both monitors out in halves and places no application.
    ASSERT_EQ(storedLayoutRef(), "builtin.split-50-50") << activeSceneFile().dump(2);
    ASSERT_TRUE(storedHints().empty());

    ASSERT_TRUE(openEditor()) << logText();
    ASSERT_TRUE(focusPanel(kPrimaryWorkArea)) << "active window " << session->activeWindow();
    // Both panels show their zones; nothing is unsaved.
    std::optional<Point> add;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return addButton(kSecondaryRoot) && (add = addButton(kPrimaryWorkArea)).has_value(); }));
    const std::size_t doneAlone = barButtonPixels();
    ASSERT_GT(doneAlone, 0u);
    const std::vector<std::uint32_t> sideBefore = session->rootPixels(kSecondaryRoot);

    // The left zone's "+" opens the picker; "xterm" typed and Return put the xterm into that zone.
    ASSERT_TRUE(addXtermAt(*add)) << logText();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsUnsaved(doneAlone); }));

    // Straight from the picker, with no click on the panel: the keys are the editor's again. The right half
    // split and saved: the display gets a layout of its own, the xterm its hint.
    ASSERT_TRUE(splitAtMiddle(kRightHalf, XK_h));
    press({XK_Control_L, XK_s});
    std::string layoutID;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        layoutID = storedLayoutRef();
        return layoutID.rfind("layout.", 0) == 0 && !storedHints().empty();
    })) << activeSceneFile().dump(2);
    EXPECT_EQ(storedHints(), (std::vector<std::pair<std::string, std::int64_t>>{{"xterm", 1}}));

    // The left half split and saved under the same layout: the zones are numbered anew, down the left
    // half and then down the right, while the xterm's zone keeps its number.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsDoneAlone(doneAlone); }));
    ASSERT_TRUE(splitAtMiddle(kLeftHalf, XK_h));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsUnsaved(doneAlone); }));
    press({XK_Control_L, XK_s});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const nlohmann::json layout = storedLayout(layoutID);
        return layout.is_object() && layout.dump().find("\"id\":4") != std::string::npos;
    })) << storedLayout(layoutID).dump(2);
    EXPECT_EQ(storedLayoutRef(), layoutID);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsDoneAlone(doneAlone); }));

    // The xterm's chip, under its zone's title (its picture 56 to 122 pixels down, in the first of the
    // cell's 97-pixel columns), carried to the top right zone and saved.
    session->glidePointer(static_cast<int>(kLeftHalf.minX()) + 64, static_cast<int>(kLeftHalf.minY()) + 90,
                          10);
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    session->glidePointer(static_cast<int>(kTopRight.midX()), static_cast<int>(kTopRight.midY()), 30);
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsUnsaved(doneAlone); })) << logText();
    EXPECT_TRUE(session->saveScreenshot(kPrimaryRoot, picture("scene-editor-chip-moved-x11.png")));
    press({XK_Control_L, XK_s});
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto hints = storedHints();
        return !hints.empty() && hints[0].second != 1;
    })) << activeSceneFile().dump(2);

    // The hint names the zone the stored layout has at the top of the right half.
    const nlohmann::json tree = storedLayout(layoutID)["layoutTree"];
    ASSERT_EQ(tree["axis"], "horizontal") << tree.dump(2);
    ASSERT_EQ(tree["right"]["type"], "split") << tree.dump(2);
    EXPECT_EQ(storedHints(), (std::vector<std::pair<std::string, std::int64_t>>{
                                 {"xterm", tree["right"]["left"]["id"].get<std::int64_t>()}}))
        << tree.dump(2);
    // The other monitor's panel, once the editor has loaded the saved scene again, looks as it did before
    // the first save: no chip of this display came in.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return showsDoneAlone(doneAlone); }));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixels(kSecondaryRoot) == sideBefore; }));
    EXPECT_TRUE(session->saveScreenshot(kSecondaryRoot, picture("scene-editor-other-display-x11.png")));

    // Closed, and the scene restored from the card switcher: the xterm goes where its chip was shown.
    press({XK_Escape});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kEditorTitle); }))
        << logText();
    ASSERT_TRUE(restoreFromCardSwitcher()) << logText();
    // As far as the xterm's character cells (6 × 13 pixels) let it fill the zone.
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const Rect frame = session->frameOf(notes);
        return frame.intersection(kTopRight) == frame && frame.width() > kTopRight.width() - 6 &&
               frame.height() > kTopRight.height() - 13;
    })) << platform::describe(session->frameOf(notes));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(SceneEditorSavingProgramOnX11Test,
       aSplitUnsavedAsBothMonitorsGoIsAskedAboutOnTheNewMainMonitorAndSaved) {
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();
    primary = monitorsByName(session->display()).at(kPrimaryName);
    ASSERT_TRUE(unplugBothMonitorsUnderAnUnsavedSplit(*manager)) << logText();

    // In the middle of the monitor the server shows now, below the corner button's strip.
    const std::optional<Rect> main = mainMonitor();
    ASSERT_TRUE(main);
    const Rect alertFrame = session->frameOf(*alert);
    EXPECT_TRUE(within(alertFrame, *main))
        << platform::describe(alertFrame) << " " << platform::describe(*main);
    EXPECT_NEAR(alertFrame.midX(), main->midX(), 2) << platform::describe(alertFrame);
    EXPECT_NEAR(alertFrame.midY(), main->midY(), 30) << platform::describe(alertFrame);
    // Mapped before it is drawn: the picture waits for the alert's light face.
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return session->rootPixel(int(alertFrame.midX()), int(alertFrame.maxY() - 8)) != 0x000000; }));
    EXPECT_TRUE(session->saveScreenshot(Rect{alertFrame.minX() - 40, alertFrame.minY() - 40,
                                             alertFrame.width() + 80, alertFrame.height() + 80},
                                        picture("scene-editor-save-alert-no-monitor-left-x11.png")));

    // "Save": the main monitor's layout, its left half split, stored for it.
    std::string layoutID;
    ASSERT_TRUE(answerAlert(kSave, kButtons,
                            [&] {
                                layoutID = storedLayoutRef();
                                return layoutID.rfind("layout.", 0) == 0;
                            }))
        << activeSceneFile().dump(2) << logText();
    const nlohmann::json tree = storedLayout(layoutID)["layoutTree"];
    ASSERT_EQ(tree["axis"], "horizontal") << tree.dump(2);
    EXPECT_EQ(tree["left"]["type"], "split") << tree.dump(2);
    EXPECT_EQ(tree["left"]["axis"], "horizontal") << tree.dump(2);
    EXPECT_EQ(tree["right"]["type"], "region") << tree.dump(2);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(SceneEditorSavingProgramOnX11Test, aSplitUnsavedAsBothMonitorsGoAndDiscardedLeavesEveryFileAsItWas) {
    std::optional<xcb_window_t> manager;
    const pid_t korvane = startWithManager(manager);
    ASSERT_TRUE(manager) << logText();
    ASSERT_TRUE(unplugBothMonitorsUnderAnUnsavedSplit(*manager)) << logText();
    ASSERT_TRUE(answerAlert(kDiscard, kButtons, [] { return true; })) << logText();

    // Opened again from the scene manager, now on the one monitor, and closed with Escape: nothing was
    // written since the editor asked, and the scenes and layouts are as before the monitors went.
    const auto editorShows = [&] { return session->viewableWindowTitled(kEditorTitle).has_value(); };
    ASSERT_TRUE(clickEditGridUntil(*manager, editorShows)) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        press({XK_Escape});
        return X11TestSession::waitFor([&] { return !editorShows(); }, seconds(3));
    })) << logText();
    EXPECT_EQ(files(), filesAsked);
    const auto scenesAndLayouts = [](std::map<std::string, std::string> all) {
        std::erase_if(all, [](const auto& file) {
            return file.first.rfind("scenes/", 0) != 0 && file.first.rfind("Layouts/", 0) != 0;
        });
        return all;
    };
    EXPECT_EQ(scenesAndLayouts(filesAsked), scenesAndLayouts(filesBefore));
    EXPECT_FALSE(scenesAndLayouts(filesBefore).empty());

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
