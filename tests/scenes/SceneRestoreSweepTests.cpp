// The window sweep of a restore on the simulated desktop, with the application's side stood in for by
// zone frames of the test's own: which window each hint takes, where it lands, when a launch is asked
// for, which windows are parked and where, and what the restore reports.
#include "support/RestoreAwaited.h"
#include "support/SupportFolderFixture.h"

#include "core/AXUtil.h"
#include "core/Rescuer.h"
#include "platform/Format.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneRestoreEngine.h"
#include "scenes/SceneStore.h"
#include "scenes/model/WMScene.h"

#include <gtest/gtest.h>

#include <ostream>
#include <tuple>

using namespace korvane;
using korvane::testing::restoreAwaited;
using korvane::testing::SupportFolderTest;

namespace {

constexpr const char* kEditor = "com.example.editor";
constexpr const char* kMail = "com.example.mail";
const Rect kD1{0, 0, 1440, 900};
const Rect kD2{1440, 0, 1280, 800};

// Placed windows, hints, parked windows.
using Counts = std::tuple<int, int, int>;
Counts counts(const SceneRestoreResult& r) {
    return {r.placedWindows, r.totalHints, r.parkedWindows};
}

struct Placed {
    std::string display;
    WindowID wid = 0;
    std::int64_t zone = 0;
    friend bool operator==(const Placed&, const Placed&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Placed& p) {
        return out << p.display << ":" << p.wid << "->" << p.zone;
    }
};

class SceneRestoreSweepTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        addDisplay("D1", kD1);
        addDisplay("D2", kD2);
        store = std::make_shared<SceneStore>(*desktop, ScreenContext{});
        engine = SceneRestoreEngine::create(
            *desktop, store, AXUtil::shared(),
            [](const std::string&, const platform::ScreenInfo&) { return std::optional(Layout{}); });
        engine->zoneFrameResolver = [this](const std::string& display,
                                           std::int64_t zone) -> std::optional<Rect> {
            auto found = zones.find({display, zone});
            return found == zones.end() ? std::nullopt : std::optional(found->second);
        };
        engine->onWindowPlaced = [this](const std::string& display, WindowID wid, pid_t,
                                        const platform::AXElement&, std::int64_t zone) {
            placed.push_back({display, wid, zone});
        };
        engine->onAppLaunchNeeded = [this](const std::string& display, const WindowHint& hint) {
            launches.push_back(hint.bundleID);
            launchedZones.emplace_back(display, hint.zoneID);
            return true;
        };
        engine->onSweepCompleted =
            [this](const std::set<WindowID>&, const std::set<std::string>& sceneBundles,
                   const std::map<pid_t, std::string>&, const std::set<std::string>& parkedBundles) {
                ++completions;
                reportedScene = sceneBundles;
                reportedParked = parkedBundles;
            };
        scene.id = "11111111-2222-4333-8444-555555555555";
        scene.name = "Desk";
        scene.layoutRefsByDisplay = {{"D1", "layout.a"}, {"D2", "layout.a"}};
    }

    int addDisplay(const std::string& uuid, const Rect& frame, std::optional<Rect> visible = std::nullopt) {
        const int id = desktop->screens().addDisplay({.frame = frame, .visibleFrame = visible, .uuid = uuid});
        // Two zones side by side on the visible frame.
        const Rect v = visible.value_or(frame);
        zones[{uuid, 1}] = Rect{v.minX(), v.minY(), v.width() / 2, v.height()};
        zones[{uuid, 2}] = Rect{v.midX(), v.minY(), v.width() / 2, v.height()};
        return id;
    }
    pid_t launch(const std::string& bundleID, const std::string& name,
                 platform::ActivationPolicy policy = platform::ActivationPolicy::regular) {
        return desktop->workspace().launch({.bundleID = bundleID, .name = name, .activationPolicy = policy});
    }
    WindowID open(pid_t pid, const Rect& frame, const std::string& title = "", sim::SimWindowSpec spec = {}) {
        spec.frame = frame;
        spec.title = title;
        return desktop->windows().open(pid, spec);
    }
    Rect frameOf(WindowID wid) { return desktop->windows().frame(wid); }
    Rect zone(const std::string& display, int id) { return zones.at({display, id}); }
    SceneRestoreResult restoreWith(const std::map<std::string, std::vector<WindowHint>>& hints) {
        scene.windowHints = hints;
        return restoreAwaited(*desktop, *engine, scene);
    }
    static WindowHint hint(const std::string& bundleID, std::int64_t zone,
                           std::optional<NormalizedFrame> frame = std::nullopt) {
        return WindowHint{bundleID, zone, frame};
    }
    void parkingOn() { desktop->defaults().set(SceneRestoreEngine::kParkUnmanagedWindowsKey, true); }
    bool logged(std::string_view line) { return capture.log().contains(line); }

    sim::ScopedLogCapture capture;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<SceneRestoreEngine> engine;
    WMScene scene;
    std::map<std::pair<std::string, std::int64_t>, Rect> zones;
    std::vector<Placed> placed;
    std::vector<std::string> launches; // bundle identifiers
    std::vector<std::pair<std::string, std::int64_t>> launchedZones;
    int completions = 0;
    std::set<std::string> reportedScene, reportedParked;
};

} // namespace

TEST(SceneRestorePoolScore, addsTheTitleTheShorterSideAndTheAreaTerms) {
    const struct {
        const char* name;
        const char* owner;
        Rect frame;
        int score;
    } rows[] = {
        {"Inbox", "Mail", {0, 0, 1200, 800}, 18},   // every term
        {"", "Mail", {0, 0, 300, 200}, 0},          // none
        {" Mail\n", "Mail ", {0, 0, 1200, 800}, 8}, // a title that only names the application
        {"Inbox", "Mail", {0, 0, 800, 260}, 18},    // shorter side exactly 260, area 208000
        {"Inbox", "Mail", {0, 0, 800, 259}, 13},    // one point short of the side; area 207200 still counts
        {"", "Mail", {0, 0, 1000, 199.9}, 0},       // area just under 200000
        {"", "Mail", {0, 0, 1000, 200}, 3},         // area exactly 200000, shorter side 200
    };
    for (const auto& row : rows)
        EXPECT_EQ(SceneRestoreEngine::poolScore(row.name, row.owner, row.frame), row.score)
            << row.name << " " << platform::describe(row.frame);
}

TEST_F(SceneRestoreSweepTest, eachHintTakesTheBestWindowLeftOfItsApplicationFromItsOwnDisplayFirst) {
    addDisplay("D4", {2720, 0, 1000, 800});
    addDisplay("D3", {3720, 0, 1000, 800});
    // Every window of the editor but the parked one lies in zone 1.
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID parkedAway = open(editor, {-1199, 100, 1200, 800}, "Draft"); // 18 less 20
    const WindowID titled = open(editor, {100, 100, 1200, 800}, "Notes");       // 18
    const WindowID back = open(editor, {300, 300, 300, 200});                   // 0
    const WindowID front = open(editor, {200, 200, 300, 200});                  // 0, in front
    const pid_t mail = launch(kMail, "Mail");
    const WindowID onD3 = open(mail, {3800, 100, 600, 400}, "Three");
    const WindowID onD4 = open(mail, {2800, 100, 600, 400}, "Four"); // in front, on a display listed first

    const auto result = restoreWith(
        {{"D1", {hint(kEditor, 1), hint(kEditor, 2), hint(kEditor, 1), hint(kEditor, 2), hint(kMail, 1)}}});

    // The zone-1 hints keep the best two of the windows lying in that zone; the rest serve zone 2.
    EXPECT_EQ(
        placed,
        (std::vector<Placed>{
            {"D1", titled, 1}, {"D1", back, 2}, {"D1", front, 1}, {"D1", parkedAway, 2}, {"D1", onD3, 1}}));
    EXPECT_EQ(frameOf(parkedAway), zone("D1", 2));
    EXPECT_EQ(frameOf(onD3), zone("D1", 1));
    EXPECT_EQ(frameOf(onD4), Rect(2800, 100, 600, 400));
    EXPECT_TRUE(logged("[diag] Pool admit: bundle='com.example.editor' wid=" + std::to_string(parkedAway) +
                       " score=-2 name='Draft'"));
    EXPECT_TRUE(logged("[sceneManager] Window sweep fallback: bundle 'com.example.mail' from 'D3' to 'D1'"));
    EXPECT_EQ(counts(result), (Counts{5, 5, 0}));
    EXPECT_TRUE(launches.empty());
}

// D1's hints are served first; neither the fallback to other displays nor the application's list of all
// its windows may hand them the window already in D2's zone, and the starts go to the zones without one.
TEST_F(SceneRestoreSweepTest, aWindowInAZoneTheSceneNamesForItsApplicationStaysThere) {
    const pid_t editor = launch(kEditor, "Editor");
    desktop->accessibility().setExposesAllWindows(editor, true);
    const WindowID working = open(editor, {1500, 100, 600, 400}, "Work");

    const auto result =
        restoreWith({{"D1", {hint(kEditor, 1), hint(kEditor, 2)}}, {"D2", {hint(kEditor, 1)}}});

    EXPECT_EQ(placed, (std::vector<Placed>{{"D2", working, 1}}));
    EXPECT_EQ(frameOf(working), zone("D2", 1));
    EXPECT_EQ(launchedZones, (std::vector<std::pair<std::string, std::int64_t>>{{"D1", 1}, {"D1", 2}}));
    EXPECT_EQ(counts(result), (Counts{1, 3, 0}));
}

TEST_F(SceneRestoreSweepTest, windowListBoundsAreMatchedToDisplaysAfterTheFlipToBottomLeft) {
    // A display below the main one: the middle of its windows' top-left bounds lies below the main
    // display's frame, and only the flip puts it onto the display the window is on.
    addDisplay("D0", {0, -900, 1440, 900});
    scene.layoutRefsByDisplay["D0"] = "layout.a";
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID below = open(editor, {100, -800, 600, 400}, "Below");
    const WindowID onMain = open(editor, {100, 100, 600, 400}, "Main"); // in front, scored the same

    restoreWith({{"D0", {hint(kEditor, 2)}}});

    EXPECT_EQ(placed, (std::vector<Placed>{{"D0", below, 2}}));
    EXPECT_EQ(frameOf(below), zone("D0", 2));
    EXPECT_EQ(frameOf(onMain), Rect(100, 100, 600, 400));
}

TEST_F(SceneRestoreSweepTest, theAllWindowsFallbackTakesAWindowNoHintHasPlacedYetAndThenAsksForALaunch) {
    const pid_t editor = launch(kEditor, "Editor");
    desktop->accessibility().setExposesAllWindows(editor, true);
    // A palette floats above the windows: never a candidate, still one of the application's windows.
    const WindowID palette = open(editor, {20, 20, 200, 300}, "Palette", {.layer = 3});
    const WindowID second = open(editor, {800, 300, 600, 400}, "Second"); // in zone 2
    const WindowID first = open(editor, {200, 200, 600, 400}, "First");   // in zone 1

    const auto result =
        restoreWith({{"D1", {hint(kEditor, 1), hint(kEditor, 2), hint(kEditor, 1), hint(kEditor, 2)}}});

    // Placing raised "Second" to the front of the application's windows; the third hint passes it over.
    // The fourth finds every window placed: none is pulled out of its zone, the application is asked for.
    EXPECT_EQ(frameOf(first), zone("D1", 1));
    EXPECT_EQ(frameOf(second), zone("D1", 2));
    EXPECT_EQ(frameOf(palette), zone("D1", 1));
    EXPECT_EQ(placed.back(), (Placed{"D1", palette, 1}));
    EXPECT_TRUE(logged("[diag] AXAllWindows fallback: bundle='com.example.editor' pid=" +
                       std::to_string(editor) + " candidates=3 chosen='Palette'"));
    EXPECT_EQ(launches, std::vector<std::string>{kEditor});
    EXPECT_EQ(counts(result), (Counts{3, 4, 0}));
}

// A window that does not tell accessibility clients its number is still recorded in its zone, under the
// number the window list gave it.
TEST_F(SceneRestoreSweepTest, aWindowThatHidesItsNumberIsRecordedInItsZoneUnderItsListedNumber) {
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID wid =
        open(editor, {100, 100, 600, 400}, "Notes", {.numberAttribute = sim::WindowNumberAttribute::none});

    restoreWith({{"D1", {hint(kEditor, 1)}}});

    EXPECT_EQ(frameOf(wid), zone("D1", 1));
    EXPECT_EQ(placed, (std::vector<Placed>{{"D1", wid, 1}}));
}

TEST_F(SceneRestoreSweepTest, aNormalizedFrameIsMeasuredOnTheVisibleFrameOfAZoneThatExists) {
    const struct {
        Rect visible;
        Rect expected;
    } rows[] = {
        {kD1, {720, 0, 720, 900}},                 // no panels: the fractions of the whole frame
        {{0, 25, 1440, 845}, {720, 25, 720, 845}}, // a dock below and a bar above take their share
    };
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID window = open(editor, {100, 100, 600, 400}, "Notes");
    for (const auto& row : rows) {
        desktop->screens().setVisibleFrame(1, row.visible);
        restoreWith({{"D1", {hint(kEditor, 1, NormalizedFrame(0.5, 0, 0.5, 1))}}});
        EXPECT_EQ(frameOf(window), row.expected) << platform::describe(row.visible);
    }

    // Without its zone the hint is lost, not launched.
    placed.clear();
    const auto result = restoreWith({{"D1", {hint(kEditor, 7, NormalizedFrame(0, 0, 1, 1))}}});
    EXPECT_TRUE(placed.empty());
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(
        logged("[sceneManager] Window sweep: zoneFrameResolver returned nil for display='D1' zone='7'"));
    EXPECT_EQ(counts(result), (Counts{0, 1, 0}));
}

TEST_F(SceneRestoreSweepTest, aMinimizedWindowComesBackBeforeItMoves) {
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID window = open(editor, {100, 100, 600, 400}, "Notes", {.minimized = true});
    const Nanos before = desktop->loop().now();
    // The pause for it to come back is waited for on a timer, not by holding the program up.
    Nanos held = 0;
    desktop->loop().onBlockingSleep = [&](Nanos from, Nanos to) { held += to - from; };

    restoreWith({{"D2", {hint(kEditor, 1)}}});
    EXPECT_EQ(held, 0);

    platform::AXValue minimized;
    desktop->accessibility().copyAttribute(desktop->windows().element(window), "AXMinimized", minimized);
    EXPECT_EQ(minimized, platform::AXValue(false));
    EXPECT_EQ(frameOf(window), zone("D2", 1));
    EXPECT_GE(desktop->loop().now() - before, SceneRestoreEngine::kUnminimizePause);
    EXPECT_EQ(placed, (std::vector<Placed>{{"D2", window, 1}}));
}

// A window manager that takes its time over every move: the restore asks for all of them at once and
// returns without holding the program up a moment, the windows being recorded in their zones already (for
// the keys pressed meanwhile); it reports once the window manager has moved them, and only then.
TEST_F(SceneRestoreSweepTest, aRestoreAsksForEveryMoveAtOnceAndReportsOnceTheWindowManagerHasMovedThem) {
    parkingOn();
    const sim::SimWindowSpec busy{.movesAfter = milliseconds(300)};
    sim::SimWindowSpec minimized = busy;
    minimized.minimized = true;
    const WindowID notes = open(launch(kEditor, "Editor"), {100, 100, 600, 400}, "Notes", busy);
    const WindowID inbox = open(launch(kMail, "Mail"), {200, 200, 600, 400}, "Inbox", minimized);
    const WindowID other = open(launch("com.example.other", "Other"), {300, 300, 600, 400}, "Other", busy);
    Nanos held = 0;
    desktop->loop().onBlockingSleep = [&](Nanos from, Nanos to) { held += to - from; };
    std::optional<SceneRestoreResult> reported;
    scene.windowHints = {{"D1", {hint(kEditor, 1), hint(kMail, 2)}}};

    const Nanos asked = desktop->loop().now();
    engine->restore(scene, [&](const SceneRestoreResult& result) { reported = result; });

    EXPECT_EQ(desktop->loop().now(), asked);
    EXPECT_EQ(placed, (std::vector<Placed>{{"D1", notes, 1}, {"D1", inbox, 2}}));
    EXPECT_EQ(frameOf(notes), Rect(100, 100, 600, 400));
    desktop->loop().advance(milliseconds(250));
    EXPECT_FALSE(reported);
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(desktop->loop().advanceUntil([&] { return reported.has_value(); }, seconds(1)));
    EXPECT_EQ(held, 0);
    EXPECT_EQ(counts(*reported), (Counts{2, 2, 1}));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(frameOf(notes), zone("D1", 1));
    EXPECT_EQ(frameOf(inbox), zone("D1", 2));
    EXPECT_EQ(frameOf(other), Rect(-599, 300, 600, 400));
    EXPECT_EQ(reportedParked, std::set<std::string>{"com.example.other"});
}

// What the report counts is what the window manager did. Stopped for two seconds, it moves the windows
// once it goes on: they count, and the parked one is marked where it was parked, so that it stays a parked
// window there. A window it never moves counts as neither, nor does one gone before its move ended; one it
// keeps at a size of its own where it was sent counts as placed.
TEST_F(SceneRestoreSweepTest, theReportCountsTheWindowsTheWindowManagerMovedAndMarksThemWhereTheyWereParked) {
    parkingOn();
    const sim::SimWindowSpec stalled{.movesAfter = milliseconds(2000)};
    const pid_t editor = launch(kEditor, "Editor");
    // Two lying in each zone, each kept for a hint of the zone it lies in.
    const WindowID late = open(editor, {100, 100, 600, 400}, "Late", stalled);
    const WindowID small = open(editor, {50, 450, 600, 400}, "Small", {.maxSize = Size{500, 300}});
    const Rect stuckAt{800, 100, 600, 400};
    const WindowID stuck = open(editor, stuckAt, "Stuck", {.ignoresResize = true, .ignoresMove = true});
    const WindowID closing = open(editor, {800, 450, 600, 400}, "Closing", stalled);
    const WindowID other = open(launch("com.example.other", "Other"), {300, 300, 600, 400}, "Other", stalled);
    std::optional<SceneRestoreResult> reported;
    scene.windowHints = {{"D1", {hint(kEditor, 1), hint(kEditor, 1), hint(kEditor, 2), hint(kEditor, 2)}}};

    engine->restore(scene, [&](const SceneRestoreResult& result) { reported = result; });
    desktop->loop().advance(milliseconds(100));
    desktop->windows().close(closing);
    ASSERT_TRUE(desktop->loop().advanceUntil([&] { return reported.has_value(); },
                                             SceneRestoreEngine::kMoveAnswerLimit + seconds(1)));

    EXPECT_EQ(counts(*reported), (Counts{2, 4, 1}));
    EXPECT_EQ(frameOf(late), zone("D1", 1));
    EXPECT_EQ(frameOf(small).size, (Size{500, 300}));
    EXPECT_EQ(frameOf(stuck), stuckAt);
    EXPECT_TRUE(logged("the window manager did not move 'com.example.editor' wid=" + std::to_string(stuck)));
    const Rect parked{-599, 300, 600, 400};
    EXPECT_EQ(frameOf(other), parked);
    platform::AXValue mark;
    desktop->accessibility().copyAttribute(desktop->windows().element(other), platform::kParkedAttribute,
                                           mark);
    EXPECT_EQ(mark, platform::AXValue(true));
    EXPECT_TRUE(logged("[sceneManager] Scene park: 'com.example.other' wid=" + std::to_string(other)));
}

// A second restore while the first one's moves are under way takes over: the windows go where it sends
// them, and only it reports.
TEST_F(SceneRestoreSweepTest, aRestoreTakenOverByALaterOneGivesUpItsMovesAndReportsNothing) {
    const WindowID notes =
        open(launch(kEditor, "Editor"), {100, 100, 600, 400}, "Notes", {.movesAfter = milliseconds(1000)});
    std::vector<std::string> reports;
    const auto restoreInto = [&](int zone, const std::string& name) {
        scene.windowHints = {{"D1", {hint(kEditor, zone)}}};
        scene.name = name;
        engine->restore(scene, [&reports](const SceneRestoreResult& result) {
            reports.push_back(result.sceneName + " " + std::to_string(result.placedWindows));
        });
    };

    restoreInto(1, "First");
    desktop->loop().advance(milliseconds(500));
    restoreInto(2, "Second");
    EXPECT_TRUE(logged("[sceneManager] Window sweep: a later sweep takes over; 1 moves of the one before are "
                       "given up"));
    desktop->loop().advance(seconds(3));

    EXPECT_EQ(reports, std::vector<std::string>{"Second 1"});
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(frameOf(notes), zone("D1", 2));
    EXPECT_EQ(placed.back(), (Placed{"D1", notes, 2}));
}

TEST_F(SceneRestoreSweepTest, withParkingOffNothingIsParkedAndTheSweepSaysSo) {
    const pid_t other = launch("com.example.other", "Other");
    const WindowID window = open(other, {100, 100, 600, 400}, "Other");

    const auto result = restoreWith({{"D1", {hint(kMail, 1)}}});

    EXPECT_EQ(frameOf(window), Rect(100, 100, 600, 400));
    EXPECT_TRUE(logged("[sceneManager] Window sweep: parking disabled; skip unmanaged parking"));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(reportedScene, std::set<std::string>{kMail});
    EXPECT_TRUE(reportedParked.empty());
    EXPECT_EQ(result.parkedWindows, 0);
}

TEST_F(SceneRestoreSweepTest, aParkedWindowKeepsItsPlaceOnTheDisplayWithinItsVisibleFrame) {
    // 800 x 600 at 100 from the top of a display with a 25-point dock: its bottom-left y is 200, and the
    // window stays 100 below the top edge. A window reaching above D2 is pulled down into it, and goes
    // off the desktop's outer edge, D1's, beside which it then lies.
    desktop->screens().setVisibleFrame(1, {0, 25, 1440, 875});
    parkingOn();
    const pid_t other = launch("com.example.other", "Other");
    const WindowID onD1 = open(other, {0, 200, 800, 600}, "Other");
    const WindowID onD2 = open(other, {2000, 700, 500, 300}, "Other 2");
    ASSERT_EQ(desktop->windows().frameTopLeft(onD1), Rect(0, 100, 800, 600));

    const auto result = restoreWith({});

    EXPECT_EQ(frameOf(onD1), Rect(-799, 200, 800, 600));
    EXPECT_EQ(desktop->windows().frameTopLeft(onD1), Rect(-799, 100, 800, 600));
    EXPECT_EQ(frameOf(onD2), Rect(-499, 500, 500, 300));
    EXPECT_EQ(result.parkedWindows, 2);
    EXPECT_TRUE(logged("[sceneManager] Scene park: 'com.example.other' wid=" + std::to_string(onD1)));
}

TEST_F(SceneRestoreSweepTest, aWindowBesideAnotherDisplayIsParkedOffItAndStaysSoUntilTheRescueBringsItBack) {
    parkingOn();
    const pid_t other = launch("com.example.other", "Other");
    const WindowID window = open(other, {2000, 300, 500, 300}, "Other");
    EXPECT_EQ(restoreWith({}).parkedWindows, 1);
    // Off D2's own edge it would lie on D1: it goes off D1's, with one point on D1 and none on D2.
    const Rect parked = frameOf(window);
    ASSERT_EQ(parked, Rect(-499, 300, 500, 300));

    // The next restore finds it parked and leaves it there.
    reportedParked.clear();
    EXPECT_EQ(restoreWith({}).parkedWindows, 0);
    EXPECT_EQ(frameOf(window), parked);
    EXPECT_EQ(reportedParked, std::set<std::string>{"com.example.other"});

    // The rescue at the next start brings it onto the main display.
    Rescuer(AXUtil::shared()).rescueParkedWindows();
    EXPECT_EQ(frameOf(window), Rect(20, 680, 200, 200));
    EXPECT_TRUE(logged("[app] Rescued 1 windows from parking"));
}

TEST_F(SceneRestoreSweepTest, aRestoreWithNoScreenPlacesAndParksNothing) {
    parkingOn();
    const pid_t other = launch("com.example.other", "Other");
    const WindowID window = open(other, {100, 100, 800, 600}, "Other");
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID notes = open(editor, {200, 200, 800, 600}, "Notes");
    desktop->screens().removeDisplay(2);
    desktop->screens().removeDisplay(1);

    const auto result = restoreWith({{"D1", {hint(kEditor, 1)}}});

    EXPECT_EQ(desktop->windows().frameTopLeft(window), Rect(100, 200, 800, 600));
    EXPECT_EQ(desktop->windows().frameTopLeft(notes), Rect(200, 100, 800, 600));
    EXPECT_EQ(result.totalDisplays, 0);
    EXPECT_EQ(counts(result), (Counts{0, 0, 0}));
    EXPECT_TRUE(logged("[sceneManager] Scene Restore: no screen connected; 'Desk' places no window"));
}

TEST_F(SceneRestoreSweepTest, applyingOneDisplayServesOnlyItsHintsAndParksOnlyItsWindows) {
    parkingOn();
    const pid_t mail = launch(kMail, "Mail");
    const WindowID inbox = open(mail, {1500, 100, 600, 400}, "Inbox");
    const pid_t other = launch("com.example.other", "Other");
    const WindowID window = open(other, {1600, 300, 600, 400}, "Other");
    // On the display that is not applied: its hints (the editor's) are not served, so it stays.
    const WindowID elsewhere = open(other, {100, 100, 600, 400}, "Elsewhere");
    scene.windowHints = {{"D1", {hint(kEditor, 1)}}, {"D2", {hint(kMail, 2)}}};

    desktop->accessibility().setProcessTrusted(false);
    engine->applyDisplay("D2", scene);
    EXPECT_EQ(frameOf(inbox), Rect(1500, 100, 600, 400));
    EXPECT_EQ(completions, 0);

    desktop->accessibility().setProcessTrusted(true);
    engine->applyDisplay("D2", scene);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(launches.empty()); // the editor's hint on D1 is not served
    EXPECT_EQ(frameOf(inbox), zone("D2", 2));
    EXPECT_EQ(frameOf(window), Rect(-599, 300, 600, 400));
    EXPECT_EQ(frameOf(elsewhere), Rect(100, 100, 600, 400));
    EXPECT_FALSE(store->loadActiveScene(ScreenContext::capture(desktop->screens())));
    EXPECT_TRUE(logged("[sceneManager] Scene restore: applied display 'D2' for scene 'Desk'"));

    capture.log().clear();
    engine->applyDisplay("D9", scene);
    EXPECT_FALSE(logged("applied display"));
}

// A minimised window the scene does not name is out of sight already: it stays minimised where it is,
// unmarked and uncounted, its application reported among those parked.
TEST_F(SceneRestoreSweepTest, aMinimisedWindowIsParkedByLeavingItMinimised) {
    parkingOn();
    const pid_t other = launch("com.example.other", "Other");
    const WindowID window = open(other, {300, 300, 600, 400}, "Other", {.minimized = true});

    EXPECT_EQ(restoreWith({}).parkedWindows, 0);

    const auto element = desktop->windows().element(window);
    EXPECT_EQ(axNumberAttribute(desktop->accessibility(), element, "AXMinimized"), true);
    EXPECT_EQ(axNumberAttribute(desktop->accessibility(), element, platform::kParkedAttribute), false);
    EXPECT_EQ(frameOf(window), Rect(300, 300, 600, 400));
    EXPECT_EQ(reportedParked, std::set<std::string>{"com.example.other"});
}

// The report counts as placed only the windows that lie in their zone: one taller than its zone lets it
// be is moved, yet hangs below it, and counts for nothing; a smaller one it holds counts.
TEST_F(SceneRestoreSweepTest, aWindowTheWindowManagerLeavesOutsideItsZoneIsNotCountedAsPlaced) {
    const pid_t editor = launch(kEditor, "Editor");
    const WindowID tall = open(editor, {100, 100, 600, 400}, "Tall", {.minSize = Size{0, 1000}});
    const WindowID small = open(editor, {800, 100, 600, 400}, "Small", {.maxSize = Size{500, 300}});

    const auto result = restoreWith({{"D1", {hint(kEditor, 1), hint(kEditor, 2)}}});

    EXPECT_EQ(counts(result), (Counts{1, 2, 0}));
    EXPECT_EQ(frameOf(tall).height(), 1000);
    EXPECT_EQ(frameOf(small).size, (Size{500, 300}));
    EXPECT_TRUE(logged("[sceneManager] Window sweep: the window manager left 'com.example.editor' wid=" +
                       std::to_string(tall) + " outside its zone; not counted as placed"));
}

// A maximised window is parked as any other, which takes the state away; the mark keeps it, and the
// rescue at the next start gives it back. A window parked unmaximised comes back as it was.
TEST_F(SceneRestoreSweepTest, aWindowParkedMaximisedIsMaximisedAgainOnceTheRescueBringsItBack) {
    parkingOn();
    const pid_t other = launch("com.example.other", "Other");
    const WindowID full = open(other, {0, 0, 1440, 900}, "Full", {.maximized = true});
    const WindowID plain = open(other, {300, 300, 600, 400}, "Plain");
    auto& accessibility = desktop->accessibility();
    const auto maximised = [&](WindowID wid, const char* attribute) {
        return axNumberAttribute(accessibility, desktop->windows().element(wid), attribute).value_or(false);
    };

    EXPECT_EQ(restoreWith({}).parkedWindows, 2);
    EXPECT_EQ(frameOf(full), Rect(-1439, 0, 1440, 900));
    EXPECT_FALSE(maximised(full, platform::kMaximizedAttribute));
    EXPECT_TRUE(maximised(full, platform::kParkedMaximizedAttribute));
    EXPECT_FALSE(maximised(plain, platform::kParkedMaximizedAttribute));

    Rescuer(AXUtil::shared()).rescueParkedWindows();
    EXPECT_TRUE(logged("[app] Rescued 2 windows from parking"));
    EXPECT_TRUE(maximised(full, platform::kMaximizedAttribute));
    EXPECT_FALSE(maximised(plain, platform::kMaximizedAttribute));
    EXPECT_FALSE(maximised(full, platform::kParkedAttribute));
}
