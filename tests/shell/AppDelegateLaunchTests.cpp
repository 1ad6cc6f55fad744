// Start-up on the simulated desktop in virtual time: the permission window and the one start of the
// services, the unit-test guard, the layout memory read at launch, the layouts each display starts with,
// the first display pass, and a launch with no screen at all.
#include "LaunchFixture.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayLayouts.h"
#include "app/DisplayObserver.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "app/NewWindowPlacement.h"
#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/WMState.h"
#include "input/DragSnapController.h"
#include "input/MouseEventTap.h"
#include "input/SDPController.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutMemoryStore.h"
#include "layouts/LayoutSelectionStore.h"
#include "scenes/SceneStore.h"
#include "support/FileModesHonoured.h"
#include "tracking/WindowTracker.h"
#include "ui/switchers/SceneCardSwitcherController.h"
#include "ui/switchers/StatusBarController.h"
#include "ui/switchers/TrayStatusItem.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <sys/stat.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class AppDelegateLaunchTest : public korvane::testing::LaunchTest {
  protected:
    bool trackerStarted() {
        return desktop->notifications().observerCount(platform::kDidLaunchApplication) > 0;
    }
};

TEST_F(AppDelegateLaunchTest,
       withAccessibilityMissingTheWindowShowsAfterStartUpAndTheFirstPollAfterTheGrantStartsTheServicesOnce) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    desktop->accessibility().setProcessTrusted(false);

    launch();
    EXPECT_TRUE(journal.empty()) << "the window waits until start-up has returned";
    EXPECT_EQ(app->multiState()->states.at("D1")->layout.zones.size(), 2u) << "the launch grid is gone";
    desktop->loop().runUntilIdle();
    EXPECT_EQ(journal, (Journal{"window made", "window shown"}));
    EXPECT_EQ(servicesStarted(), 0u);
    EXPECT_FALSE(trackerStarted());

    desktop->loop().advance(milliseconds(2300));
    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().advance(milliseconds(699)); // t = 2.999 s
    EXPECT_EQ(servicesStarted(), 0u);
    desktop->loop().advance(milliseconds(1)); // the 3.0 s poll
    desktop->loop().runUntilIdle();
    EXPECT_EQ(servicesStarted(), 1u);
    EXPECT_TRUE(trackerStarted());
    EXPECT_EQ(inJournal("window closed"), 1u);
    desktop->loop().advance(seconds(5));
    EXPECT_EQ(servicesStarted(), 1u);
    EXPECT_EQ(inJournal("window made"), 1u);

    EXPECT_TRUE(logged("[app] Korvane initialized with default split 50:50"));
    EXPECT_FALSE(logged("CRITICAL")) << "a missing layout memory is no failure";
    const json workbench = json::parse(read(home / DisplayWorkbenchSet::kFileName))["workbenches"]["D1"];
    EXPECT_EQ(workbench["activeTemplateID"], "builtin.split-50-50");
    EXPECT_TRUE(std::regex_match(workbench["updatedAt"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
        << workbench.dump();
    EXPECT_EQ(app->displayLayouts().lastUsedRegionByDisplay().at("D1"), 1);
}

TEST_F(AppDelegateLaunchTest, withBothGrantsTheServicesStartBeforeStartUpReturnsAndNothingWaitsAtRest) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});

    launch();
    EXPECT_EQ(servicesStarted(), 1u);
    EXPECT_TRUE(trackerStarted());
    EXPECT_EQ(app->tracker()->delegate.lock(), app->newWindowPlacement());

    // The first display pass and the rescue come and go; no poll, no window, no timer stays behind.
    desktop->loop().advance(seconds(10));
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(desktop->loop().pendingCount(), 0u);
    EXPECT_EQ(servicesStarted(), 1u);
}

TEST_F(AppDelegateLaunchTest, aWindowLeftParkedOffScreenByAnEarlierRunIsBroughtBackAtLaunch) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    const pid_t editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
    const WindowID lost =
        desktop->windows().open(editor, {.frame = Rect{-50000, -50000, 500, 300}, .title = "Doc"});

    launchAndSettle();

    // Near the top-left corner of the main display (bottom-left coordinates).
    EXPECT_EQ(desktop->windows().frame(lost), (Rect{20, 860, 200, 200}));
}

TEST_F(AppDelegateLaunchTest, underTheUnitTestRunnerStartUpLogsOneLineAndBuildsNothing) {
    addScreen("D1", Rect{0, 0, 1920, 1080});
    desktop->process().setEnvironment("XCTestConfigurationFilePath", "");

    launch();
    desktop->loop().advance(seconds(5));
    EXPECT_EQ(capture.log().lines(),
              (std::vector<std::string>{"[app] Unit test mode detected; skipping app runtime bootstrap"}));
    EXPECT_FALSE(app->status());
    EXPECT_TRUE(app->multiState()->states.empty());
    EXPECT_EQ(desktop->notifications().observerCount(DisplayObserver::screenParametersChangedNotification),
              0u);
    EXPECT_TRUE(snapshot(home).empty());
}

TEST_F(AppDelegateLaunchTest, checkAgainPressedWhileAGrantIsMissingKeepsTheStartOfTheServices) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    desktop->accessibility().setProcessTrusted(false);
    launch();
    desktop->loop().advance(milliseconds(1500));

    PermissionManager::shared()->requestPermissions({}); // what "Check Again" asks
    desktop->loop().advance(milliseconds(200));
    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().advance(seconds(3));

    EXPECT_EQ(servicesStarted(), 1u);
    EXPECT_TRUE(trackerStarted());
    EXPECT_EQ(journal.back(), "window closed");
}

TEST_F(AppDelegateLaunchTest, theFirstDisplayPassWaitsForTheScreensTheObserverJustReadAndRunsAt600ms) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    const Nanos start = desktop->loop().now();
    launch();

    desktop->loop().advance(milliseconds(599) - (desktop->loop().now() - start));
    EXPECT_EQ(count("defer reason=probe:topology.changed:DisplayObserver.notification unstableFor=0.25s "
                    "wait=0.35s"),
              1u);
    EXPECT_FALSE(logged("[DisplayChange] handle start"));
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(
        count("[DisplayChange] handle start reason=probe:topology.changed:DisplayObserver.notification"), 1u);
    desktop->loop().advance(seconds(2));
    EXPECT_EQ(count("[DisplayChange] defer"), 1u);
}

TEST_F(AppDelegateLaunchTest,
       withNoScreenTheMainDisplayStartsUnderMain0WithoutZonesAndAScreenThatComesGetsThem) {
    markScenesConverted();

    launch();
    ASSERT_EQ(app->multiState()->activeDisplayUUID, "main-0");
    EXPECT_TRUE(app->multiState()->states.at("main-0")->layout.zones.empty());
    EXPECT_TRUE(app->status()) << "start-up went on past the missing screen";
    EXPECT_EQ(servicesStarted(), 1u);
    desktop->loop().advance(seconds(2));

    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "D1"});
    desktop->loop().advance(seconds(2));
    ASSERT_TRUE(app->multiState()->states.count("D1"));
    EXPECT_FALSE(app->multiState()->states.at("D1")->layout.zones.empty());
}

TEST_F(AppDelegateLaunchTest,
       theLayoutMemoryIsReadAtLaunchAndOnlyAFileThatCannotBeDecodedIsLoggedAsCritical) {
    LayoutMemoryStore remembered;
    remembered.map[LayoutMemoryStore::keyString("D1", "builtin.split-50-50")].regionToSlots[1] = {
        "com.example.mail"};
    struct Row {
        const char* what;
        std::optional<std::string> file; // nothing: no file
        bool critical;
        bool rememberedAfterLaunch;
    };
    const Row rows[] = {
        {"no file", std::nullopt, false, false},
        {"a stored memory", remembered.toJSON().dump(), false, true},
        {"not JSON", std::string("{\"map\": [1,"), true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        korvane::testing::TempFolder fresh;
        desktop->process().setEnvironment("KORVANE_HOME", fresh.path().string());
        home = fresh.path();
        write(home / "scene-migration-d7-done", "done");
        if (row.file) write(home / LayoutMemoryStore::kFileName, *row.file);
        capture.log().clear();

        launch();
        EXPECT_EQ(logged("CRITICAL: Failed to load layout memory, starting fresh. Error: "), row.critical);
        EXPECT_EQ(app->layoutMemory().layoutMemory() == remembered, row.rememberedAfterLaunch);
        EXPECT_EQ(servicesStarted(), 1u) << "start-up goes on";
        app->applicationWillTerminate();
        app.reset();
        desktop->loop().advance(seconds(2));
    }
}

// What a user may find in place of the stores' files: files restored from a backup under another owner,
// which the program cannot read, are kept beside the new ones, whole, where the line says, before the
// first write over them; a FIFO or a link to a device is named once, as the first write replaces it.
TEST_F(AppDelegateLaunchTest, storeFilesThatCannotBeReadAreKeptAsideOrNamedBeforeTheFirstWriteOverThem) {
    const auto files = [this] {
        return std::vector<fs::path>{
            home / DisplayWorkbenchSet::kFileName, home / LayoutSelectionStore::kFileName,
            home / LayoutMemoryStore::kFileName, scenes() / SceneStore::kManifestFileName};
    };
    struct Row {
        const char* what;
        std::function<void(const fs::path&)> plant;
        const char* line; // after the file's name; "{kept}" stands for where it is kept
    };
    const Row rows[] = {
        {"unreadable for its mode",
         [](const fs::path& file) {
             write(file, "the user's " + file.filename().string());
             fs::permissions(file, fs::perms::none);
         },
         " as {kept} before writing it again: it is not a readable file (Permission denied)"},
        {"a FIFO", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         " is not a readable file (a FIFO): writing a regular file in its place"},
        {"a link to a device", [](const fs::path& file) { fs::create_symlink("/dev/null", file); },
         " is not a readable file (a symbolic link to a character device): writing a regular file in its "
         "place"},
    };
    addScreen("D1", Rect{0, 0, 1920, 1080});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        korvane::testing::TempFolder fresh;
        desktop->process().setEnvironment("KORVANE_HOME", fresh.path().string());
        home = fresh.path();
        SceneStore::setShared(nullptr); // made again in the new folder
        for (const fs::path& file : files()) {
            fs::create_directories(file.parent_path());
            row.plant(file);
        }
        capture.log().clear();
        {
            korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
            launchAndSettle();
            app->applicationWillTerminate();
            app.reset();
        }
        for (const fs::path& file : files()) {
            SCOPED_TRACE(file.filename().string());
            std::vector<fs::path> kept;
            for (const auto& entry : fs::directory_iterator(file.parent_path()))
                if (entry.path().filename().string().starts_with(file.filename().string() + ".unreadable-"))
                    kept.push_back(entry.path());
            std::string line = row.line;
            if (const auto at = line.find("{kept}"); at != std::string::npos) {
                ASSERT_EQ(kept.size(), 1u);
                EXPECT_EQ(read(kept.front()), "the user's " + file.filename().string());
                line = "Kept unreadable " + file.string() + line.replace(at, 6, kept.front().string());
            } else {
                EXPECT_EQ(kept.size(), 0u);
                line = file.string() + line;
            }
            EXPECT_EQ(count("[app] " + line), 1u) << line;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << "the store's own file is in place";
        }
        desktop->loop().advance(seconds(2));
    }
}

TEST_F(AppDelegateLaunchTest, aRecordedWorkbenchIsRestoredAndAnActiveSceneWinsOverIt) {
    addScreen("D1", Rect{0, 0, 1920, 1080});
    write(home / DisplayWorkbenchSet::kFileName,
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"builtin.fullscreen"}}})");

    // Without a scene the recorded template gives the display its zones.
    markScenesConverted();
    launch();
    EXPECT_TRUE(logged("[app] Restored layout from descriptor for display=D1"));
    EXPECT_EQ(app->multiState()->states.at("D1")->layout.zones.size(), 1u);
    EXPECT_FALSE(logged("default split 50:50"));
    app->applicationWillTerminate();
    app.reset();
    desktop->loop().advance(seconds(2));

    // The first conversion makes "My Workspace" from that record and makes it active; every provider
    // of the active scene names it.
    fs::remove(home / "scene-migration-d7-done");
    capture.log().clear();
    launch();
    EXPECT_TRUE(logged("[app] P1: Applied layouts from active scene 'My Workspace'"));
    const auto scenes = app->status()->scenesProvider();
    ASSERT_EQ(scenes.size(), 1u);
    EXPECT_EQ(scenes[0].name, "My Workspace");
    EXPECT_EQ(app->status()->activeSceneIDProvider(), scenes[0].id);
    EXPECT_EQ(app->sceneCardSwitcherController()->activeSceneID(), scenes[0].id);
    EXPECT_TRUE(logged("Will restore scene 'My Workspace' on launch (after delay)"));
}

TEST_F(AppDelegateLaunchTest, withoutASceneADisplayBesideTheActiveOneStartsOnItsRememberedUserLayout) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080}); // the main display
    addScreen("D2", Rect{1920, 0, 1440, 900});
    desktop->screens().setMouseLocation({2500, 400}); // the user works on D2
    ConfigZoneSet three;
    three.id = "layout.three";
    three.name = "Wide and two";
    three.zones = std::vector<ConfigZone>{{1, "", Rect{0, 0, 0.5, 1}, std::nullopt},
                                          {2, "", Rect{0.5, 0, 0.25, 1}, std::nullopt},
                                          {3, "", Rect{0.75, 0, 0.25, 1}, std::nullopt}};
    write(layouts() / "layout.three.json", three.toJSON().dump());
    write(home / DisplayWorkbenchSet::kFileName,
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"layout.three"}}})");
    // D2's only record names a layout that is gone: nothing is restored on the active display.
    write(home / "layout-selection.json", R"({"lastByDisplay":{"D1":"layout.three","D2":"layout.gone"}})");

    launch();
    EXPECT_TRUE(logged("[app] Korvane initialized with default split 50:50"));
    // Before any display pass: the zones a push meets are the remembered layout's.
    auto zonesOfD1 = [&] { return app->multiState()->states.at("D1")->layout.zones; };
    ASSERT_EQ(zonesOfD1().size(), 3u);
    EXPECT_EQ(zonesOfD1().at(3).frame, (Rect{1440, 0, 480, 1080}));
    desktop->loop().advance(seconds(2));
    EXPECT_EQ(zonesOfD1().size(), 3u);
    EXPECT_EQ(app->displayWorkbenches()->workbenches.at("D1").activeTemplateID, "layout.three");
}

TEST_F(AppDelegateLaunchTest, theGesturesReachTheDisplayBusAndOnlyTheDragSnapControllerHandlesMouseEvents) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    std::vector<DisplayLayoutProbeEvent> probes;
    launch();
    auto subscription = app->displayLayoutEventBus()->subscribe(
        [&](const DisplayLayoutProbeEvent& probe) { probes.push_back(probe); });

    auto tap = MouseEventTap::shared();
    EXPECT_TRUE(tap->isRunning());
    ASSERT_EQ(tap->handlers().size(), 1u);
    EXPECT_EQ(tap->handlers()[0].lock(), app->dragSnapController());
    EXPECT_EQ(tap->delegate.lock(), app->sdpController());

    app->dragSnapController()->onGestureActivated();
    app->dragSnapController()->onBeforeSnap("D1");
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_EQ(probes[0],
              (DisplayLayoutProbeEvent{DisplayLayoutProbeReason::dragSnap,
                                       "DragSnapController.onGestureActivated", false, std::nullopt}));
    EXPECT_EQ(probes[1],
              (DisplayLayoutProbeEvent{DisplayLayoutProbeReason::dragSnap, "DragSnapController.onBeforeSnap",
                                       true, std::string("D1")}));
    EXPECT_TRUE(logged(
        "[DisplayChange] handle start reason=probe.immediate:drag-snap:DragSnapController.onBeforeSnap"))
        << "a snap about to happen examines the displays at once";
}

} // namespace

TEST_F(AppDelegateLaunchTest, theStatusItemNamesTheActiveSceneAndItsQuitEndsTheProgramOnceTheMenuClosed) {
    addScreen("D1", Rect{0, 0, 1920, 1080});
    write(home / DisplayWorkbenchSet::kFileName,
          R"({"workbenches":{"D1":{"displayUUID":"D1","activeTemplateID":"builtin.fullscreen"}}})");
    launch();
    auto item = std::dynamic_pointer_cast<TrayStatusItem>(app->status()->host());
    ASSERT_TRUE(item) << "the item shows where widgets can";

    // The first start made "My Workspace" active: the item's tooltip names it once the screens settled,
    // with nothing else published after the start.
    ASSERT_TRUE(logged("[app] P1: Applied layouts from active scene 'My Workspace'"));
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(item->toolTip().toStdString(), "My Workspace");

    app->status()->perform(StatusMenuAction::quit);
    EXPECT_EQ(terminations, 0);
    desktop->loop().advance(milliseconds(50));
    EXPECT_EQ(terminations, 1);
}
