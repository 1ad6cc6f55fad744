// A whole restore on the simulated desktop with the components the application object makes: two
// displays given the scene's layouts, windows of every kind swept into their zones, applications without
// a window activated, launched or, when they cannot be started, reported and left to their intent's end,
// the launched application's first window placed as it appears, the rest parked; and nothing at all
// without the accessibility grant.
#include "app/DisplayFixture.h"
#include "support/RestoreAwaited.h"

#include "app/NewWindowPlacement.h"
#include "app/WindowMappingClassifier.h"
#include "layouts/BuiltinLayouts.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneRestoreServices.h"
#include "scenes/SceneStore.h"
#include "tracking/WindowTracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

using namespace korvane;

namespace {

constexpr const char* kEditor = "com.example.editor";
constexpr const char* kMail = "com.example.mail";
constexpr const char* kChat = "com.example.chat";       // runs without a window
constexpr const char* kNotes = "com.example.notes";     // installed, not running
constexpr const char* kMissing = "com.example.missing"; // neither
constexpr const char* kD1 = "D1";
constexpr const char* kD2 = "D2";

class SceneRestoreScenarioTest : public korvane::testing::DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kD1, {0, 0, 1920, 1080}, Rect{0, 0, 1920, 1050}); // a bar along the top
        addDisplay(kD2, {1920, 0, 1440, 900});
        services = SceneRestoreServices::create(*desktop, {multiState, displayLayouts, library, mapping});
        engine = services->makeEngine(std::make_shared<SceneStore>(*desktop, screens()), ax);
        tracker->delegate = placement;

        scene.id = "22222222-3333-4444-8555-666666666666";
        scene.name = "Work";
        scene.layoutRefsByDisplay = {{kD1, "builtin.split-50-50"}, {kD2, "builtin.daily"}};
        scene.windowHints = {
            {kD1, {WindowHint{kEditor, 1, std::nullopt}, WindowHint{kMail, 2, std::nullopt}}},
            {kD2,
             {WindowHint{kChat, 1, std::nullopt}, WindowHint{kNotes, 3, std::nullopt},
              WindowHint{kMissing, 3, std::nullopt}, WindowHint{kMissing, 4, std::nullopt}}},
        };
    }

    ScreenContext screens() { return ScreenContext::capture(desktop->screens()); }
    pid_t launch(const std::string& bundleID, const std::string& name,
                 platform::ActivationPolicy policy = platform::ActivationPolicy::regular) {
        return desktop->workspace().launch({.bundleID = bundleID, .name = name, .activationPolicy = policy});
    }
    WindowID open(pid_t pid, const Rect& frame, const std::string& title, sim::SimWindowSpec spec = {}) {
        spec.frame = frame;
        spec.title = title;
        spec.focused = false;
        return desktop->windows().open(pid, spec);
    }
    Rect frameOf(WindowID wid) { return desktop->windows().frame(wid); }
    Rect zoneFrame(const std::string& display, int zone) {
        return stateOf(display)->layout.zones.at(zone).frame;
    }
    std::vector<WindowID> stackOf(const std::string& display, int zone) {
        return stateOf(display)->layout.zones.at(zone).stack;
    }
    std::vector<MappingIntent> autoLaunchIntents() {
        std::vector<MappingIntent> out;
        for (const auto& [id, intent] : mapping->intents)
            if (intent.source == MappingIntentSource::autoLaunch) out.push_back(intent);
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
            return std::tie(a.bundleID, a.targetZoneID) < std::tie(b.bundleID, b.targetZoneID);
        });
        return out;
    }

    std::shared_ptr<SceneRestoreServices> services;
    std::shared_ptr<SceneRestoreEngine> engine;
    std::shared_ptr<WindowTracker> tracker = WindowTracker::create(*desktop, ax);
    std::shared_ptr<NewWindowPlacement> placement = NewWindowPlacement::create(
        *desktop,
        NewWindowPlacement::Dependencies{mapping, controller, ax,
                                         std::make_shared<WindowMappingClassifier>(*desktop, ax, tracker)});
    WMScene scene;
};

} // namespace

TEST_F(SceneRestoreScenarioTest, aRestorePlacesLaunchesAndParksAcrossTwoDisplays) {
    desktop->defaults().set("ParkUnmanagedWindowsOnRestore", true);
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID notesDoc = open(editor, {100, 100, 1200, 800}, "Plan.txt");
    const WindowID untitled = open(editor, {150, 150, 300, 200}, "");
    const pid_t mail = launch(kMail, "Mail");
    const WindowID ghost = open(mail, {0, 0, 1920, 1080}, "Mail", {.alpha = 0.0});
    const WindowID inbox = open(mail, {2000, 100, 900, 600}, "Inbox"); // on the other display
    const pid_t chat = launch(kChat, "Chat");
    desktop->workspace().install({.bundleID = kNotes, .name = "Notes"});
    const pid_t agent = launch("com.example.agent", "Agent", platform::ActivationPolicy::accessory);
    const WindowID agentPanel = open(agent, {1500, 700, 300, 200}, "Agent");
    const pid_t stash = launch("com.example.stash", "Stash");
    const WindowID stashed = open(stash, {-899, 300, 900, 500}, "Stashed");
    const pid_t other = launch("com.example.other", "Other");
    const WindowID browser = open(other, {400, 200, 1000, 700}, "Browser");
    tracker->startObserving();
    desktop->loop().runUntilIdle();

    // Without the grant nothing happens at all.
    desktop->accessibility().setProcessTrusted(false);
    const auto files = snapshot(home);
    const auto denied = korvane::testing::restoreAwaited(*desktop, *engine, scene);
    EXPECT_TRUE(denied.permissionDenied);
    EXPECT_EQ(frameOf(notesDoc), Rect(100, 100, 1200, 800));
    EXPECT_EQ(frameOf(browser), Rect(400, 200, 1000, 700));
    EXPECT_TRUE(multiState->states.empty());
    EXPECT_TRUE(mapping->intents.empty());
    EXPECT_TRUE(desktop->workspace().openCalls().empty());
    EXPECT_EQ(snapshot(home), files);

    desktop->accessibility().setProcessTrusted(true);
    const auto result = korvane::testing::restoreAwaited(*desktop, *engine, scene);
    desktop->loop().runUntilIdle();

    // The layouts are applied and the running windows sit in their zones.
    EXPECT_EQ(zoneFrame(kD1, 1), Rect(0, 0, 960, 1050));
    EXPECT_EQ(frameOf(notesDoc), zoneFrame(kD1, 1));
    EXPECT_EQ(frameOf(inbox), zoneFrame(kD1, 2));
    EXPECT_EQ(stackOf(kD1, 1), std::vector<WindowID>{notesDoc});
    EXPECT_EQ(stackOf(kD1, 2), std::vector<WindowID>{inbox});
    EXPECT_EQ(frameOf(untitled), Rect(150, 150, 300, 200));
    EXPECT_EQ(frameOf(ghost), Rect(0, 0, 1920, 1080));
    // Other applications' windows are parked, an agent's are not, a parked one stays where it is.
    EXPECT_EQ(frameOf(browser), Rect(-999, 200, 1000, 700));
    EXPECT_EQ(frameOf(agentPanel), Rect(1500, 700, 300, 200));
    EXPECT_EQ(frameOf(stashed), Rect(-899, 300, 900, 500));
    EXPECT_EQ(result.totalDisplays, 2);
    EXPECT_EQ(result.appliedDisplays, 2);
    EXPECT_EQ(result.placedWindows, 2);
    EXPECT_EQ(result.totalHints, 6);
    EXPECT_EQ(result.parkedWindows, 1);
    EXPECT_TRUE(
        logged("[sceneManager] Window sweep: placed 2/6 windows, parked 1 unmanaged, zoneResolverMisses=0, "
               "sceneBundleIDs=5"));
    EXPECT_TRUE(logged("[sceneManager] Scene park: managed=5, parked=2"));
    EXPECT_TRUE(
        logged("[sceneManager] Scene Restore complete (layout-only): 'Work' displays=2/2 unresolved=0"));

    // One intent per zone that had no window: the chat is brought forward, the notes opened behind.
    const auto intents = autoLaunchIntents();
    ASSERT_EQ(intents.size(), 3u);
    for (const auto& [intent, bundle, zone] :
         {std::tuple{intents[0], kChat, 1}, std::tuple{intents[1], kMissing, 4},
          std::tuple{intents[2], kNotes, 3}}) {
        EXPECT_EQ(intent.bundleID, bundle);
        EXPECT_EQ(intent.targetDisplayUUID, kD2);
        EXPECT_EQ(intent.targetZoneID, zone);
        EXPECT_EQ(intent.displayEpoch, mapping->currentEpoch(kD2));
        EXPECT_EQ(intent.expiresAt - intent.createdAt, seconds(8.0));
        // The one of an application that cannot be started is withdrawn at once.
        EXPECT_EQ(intent.stage,
                  bundle == kMissing ? MappingIntentStage::cancelled : MappingIntentStage::intent);
    }
    EXPECT_TRUE(logged("Window sweep: skip duplicate autolaunch zone=3 bundle='com.example.missing'"));
    EXPECT_TRUE(logged("[app] Scene restore: activated running app 'com.example.chat' to create window"));
    ASSERT_FALSE(desktop->workspace().activateCalls().empty());
    EXPECT_EQ(desktop->workspace().activateCalls().back().pid, chat);
    EXPECT_EQ(desktop->workspace().activateCalls().back().options, 0u);
    ASSERT_EQ(desktop->workspace().openCalls().size(), 2u);
    EXPECT_EQ(desktop->workspace().openCalls()[0].bundleID, kNotes);
    EXPECT_FALSE(desktop->workspace().openCalls()[0].activates);
    // The application that could not be started is named, with why, and the report does not pass it over.
    EXPECT_EQ(result.unstartedApps, std::vector<std::string>{kMissing});
    EXPECT_TRUE(logged("[app] Scene restore: could not start 'com.example.missing': No application is "
                       "installed with bundle identifier com.example.missing"));

    // The launched application's first window lands in its zone; its second stays where it opens.
    pid_t notes = 0;
    for (const auto& app : desktop->workspace().runningApplications())
        if (app.bundleID == kNotes) notes = app.pid;
    ASSERT_NE(notes, 0);
    desktop->loop().advance(milliseconds(500));
    const WindowID note = open(notes, {2000, 500, 500, 300}, "Note");
    desktop->loop().advance(milliseconds(500));
    const WindowID second = open(notes, {2100, 400, 500, 300}, "Second");
    desktop->loop().advance(milliseconds(500));
    EXPECT_EQ(frameOf(note), zoneFrame(kD2, 3));
    EXPECT_EQ(stackOf(kD2, 3), std::vector<WindowID>{note});
    EXPECT_EQ(frameOf(second), Rect(2100, 400, 500, 300));

    // The chat's intent runs out unclaimed 8 s after the restore (1.5 s of it have passed).
    desktop->loop().advance(milliseconds(6400));
    mapping->expireStale();
    EXPECT_EQ(autoLaunchIntents()[0].stage, MappingIntentStage::intent);
    desktop->loop().advance(milliseconds(200));
    mapping->expireStale();
    EXPECT_EQ(autoLaunchIntents()[0].stage, MappingIntentStage::expired); // the chat opened no window
    EXPECT_EQ(autoLaunchIntents()[2].stage, MappingIntentStage::committed);
}

// The layout the restore applies takes back into its zone the windows it held before, the browser among
// them; the scene does not name the browser, so the restore then parks it, and it leaves the zone: the
// zone's keys would otherwise bring it forward off screen.
TEST_F(SceneRestoreScenarioTest, aWindowTakenBackIntoItsZoneAndThenParkedLeavesTheZone) {
    desktop->defaults().set("ParkUnmanagedWindowsOnRestore", true);
    const pid_t mail = launch(kMail, "Mail");
    const WindowID inbox = open(mail, {1000, 100, 900, 600}, "Inbox");
    const pid_t other = launch("com.example.other", "Other");
    const WindowID browser = open(other, {1100, 200, 700, 500}, "Browser");
    tracker->startObserving();
    desktop->loop().runUntilIdle();
    displayLayouts->applyRegionSet(builtinSplit5050Layout(), kD1, false);
    for (const auto& [window, pid] : {std::pair{inbox, mail}, std::pair{browser, other}})
        stateOf(kD1)->attach(
            WinRef{window, pid, desktop->windows().element(window), std::nullopt, std::nullopt}, 2);

    EXPECT_EQ(korvane::testing::restoreAwaited(*desktop, *engine, scene).parkedWindows, 1);
    desktop->loop().runUntilIdle();
    ASSERT_TRUE(logged("[ZoneMemory] restored display=D1 layout=builtin.split-50-50 windows=2"))
        << "both taken back before the parking";
    EXPECT_EQ(frameOf(browser), Rect(-699, 200, 700, 500));
    EXPECT_EQ(stackOf(kD1, 2), std::vector<WindowID>{inbox});
    EXPECT_FALSE(stateOf(kD1)->zoneOf.contains(browser));
}

TEST_F(SceneRestoreScenarioTest, aLayoutReferenceIsALayoutIdTakenAsItStands) {
    const auto screen = screens().screens[0];
    EXPECT_EQ(services->resolveSceneLayout("builtin.grid.2x2", screen)->zones.size(), 2u); // an older id
    EXPECT_EQ(services->resolveSceneLayout("builtin.daily", screen)->gridSpec, (GridSpec{1, 4, 0, 0}));
    EXPECT_FALSE(services->resolveSceneLayout("layout.nowhere", screen));
    EXPECT_FALSE(services->resolveSceneLayout(" builtin.daily", screen));
}
