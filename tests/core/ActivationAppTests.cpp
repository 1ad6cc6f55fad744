// Application activation: the chain of methods with its confirmations, the fallback gate, opening the
// application (and giving up on an open that never answers), and forcing an application frontmost.
#include "ActivationFixture.h"

#include "core/MultiDisplayState.h"
#include "core/WMController.h"

#include <vector>

namespace korvane::testing {
namespace {

using platform::Task;

class AppActivationTest : public ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        other = ws().launch({.bundleID = "org.example.Other", .activate = true});
        controller = std::make_shared<WMController>(std::make_shared<MultiDisplayState>(),
                                                    std::make_shared<AXUtil>(*desktop));
        FocusWhitelistStore::shared(); // read now, so that its lines stay out of the tests' logs
    }
    void TearDown() override {
        controller.reset();
        ActivationTest::TearDown();
    }

    sim::SimWorkspace& ws() { return desktop->workspace(); }

    static Task<void> capture(AppActivationTest& test, Task<bool> task) {
        test.result = co_await std::move(task);
        test.endedAt = test.loop().now();
    }
    void run(Task<bool> task, Nanos budget = seconds(20)) {
        result.reset();
        endedAt = -1;
        logs.log().clear();
        platform::spawn(loop(), capture(*this, std::move(task)));
        loop().advance(budget);
    }
    void activateApp(pid_t pid, const std::string& bundleId, bool useFallback, bool allowAllWindows = false) {
        auto app = ws().runningApplication(pid);
        ASSERT_TRUE(app);
        run(controller->activateApplicationAsync(*app, "R", pid, bundleId, useFallback, allowAllWindows));
    }

    pid_t other = 0;
    std::shared_ptr<WMController> controller;
    std::optional<bool> result;
    Nanos endedAt = -1;
};

TEST_F(AppActivationTest, anActivationThatTakesEffectEndsAtTheFirstCheck) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    activateApp(app, "org.example.Editor", false, true);
    EXPECT_EQ(result, true);
    EXPECT_EQ(endedAt, 0);
    const std::string p = std::to_string(app);
    EXPECT_EQ(wmLines(), (std::vector<std::string>{
                             "[R] Activating app org.example.Editor (pid=" + p + ") using strategy: default",
                             "[R] NSRunningApplication.activate returned true",
                             "[R] App is frontmost after activate",
                         }));
    EXPECT_EQ(ws().activateCalls().back().options, platform::kActivateAllWindows);
}

TEST_F(AppActivationTest, withoutFallbackTheChainStopsAfterTheAccessibilityStep) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    ws().setActivateOutcome(app, sim::ActivationOutcome::ignored());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::ignored());
    activateApp(app, "org.example.Editor", false);
    EXPECT_EQ(result, false);
    EXPECT_EQ(endedAt, milliseconds(600));
    EXPECT_EQ(wmLines(), (std::vector<std::string>{
                             "[R] Activating app org.example.Editor (pid=" + std::to_string(app) +
                                 ") using strategy: default",
                             "[R] NSRunningApplication.activate returned true",
                             "[R] Activate returned true but app is not frontmost",
                             "[R] AX frontmost set succeeded",
                             "[R] Skipping fallback activation methods",
                         }));
    EXPECT_TRUE(ws().scriptsRun().empty());
    EXPECT_TRUE(ws().openCalls().empty());
}

TEST_F(AppActivationTest, aRefusedActivationGoesStraightToTheAccessibilityStep) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    ws().setActivateOutcome(app, sim::ActivationOutcome::refused());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::after(milliseconds(120)));
    activateApp(app, "org.example.Editor", false);
    EXPECT_EQ(result, true);
    EXPECT_EQ(endedAt, milliseconds(150)) << "seen at the 50 ms check after it took effect";
    EXPECT_EQ(wmLines().back(), "[R] App is frontmost after AX frontmost");
    EXPECT_FALSE(logged("Activate returned true but"));
}

TEST_F(AppActivationTest, withFallbackTheChainOpensTheApplicationAfterTheScript) {
    const std::string id = "com.google.Chrome";
    ws().install({.bundleID = id});
    const pid_t app = ws().launch({.bundleID = id});
    ws().setActivateOutcome(app, sim::ActivationOutcome::ignored());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::refused());
    ws().setScriptOutcome(id, {.activates = false});
    ws().setOpenBehaviour(id, {.after = milliseconds(40)});
    activateApp(app, id, true);
    EXPECT_EQ(result, true);
    const std::string p = std::to_string(app);
    EXPECT_EQ(wmLines(), (std::vector<std::string>{
                             "[R] Activating app com.google.Chrome (pid=" + p + ") using strategy: problematic",
                             "[R] NSRunningApplication.activate returned true",
                             "[R] Activate returned true but app is not frontmost",
                             "[R] Fast-tracking to AppleScript for com.google.Chrome",
                             "[AppleScript:activate com.google.Chrome] Executing script",
                             "[AppleScript:activate com.google.Chrome] Execution succeeded",
                             "[R] NSRunningApplication.activate fallback returned true",
                             "[R] Activate fallback returned true but app is not frontmost",
                             "[R] NSWorkspace.openApplication attempted",
                             "[R] App is frontmost after NSWorkspace.openApplication",
                         }));
    // 0.3 s, the script's 0.5 s, 0.3 s, then the open's 40 ms.
    EXPECT_EQ(endedAt, milliseconds(1140));
    ASSERT_EQ(ws().openCalls().size(), 1u);
    EXPECT_TRUE(ws().openCalls()[0].activates);
}

TEST_F(AppActivationTest, anUnknownBundleSkipsTheOpenSilently) {
    const pid_t app = ws().launch({.name = "tool"});
    ws().setActivateOutcome(app, sim::ActivationOutcome::refused());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::refused());
    activateApp(app, "(unknown)", true);
    EXPECT_EQ(result, false);
    EXPECT_EQ(wmLines(), (std::vector<std::string>{
                             "[R] Activating app (unknown) (pid=" + std::to_string(app) + ") using strategy: default",
                             "[R] NSRunningApplication.activate returned false",
                             "[R] NSRunningApplication.activate fallback returned false",
                             "[R] All activation methods failed for pid=" + std::to_string(app),
                         }));
    EXPECT_TRUE(ws().openCalls().empty());
    EXPECT_EQ(endedAt, 0);
}

TEST_F(AppActivationTest, anOpenThatNeverAnswersIsGivenUpAfterFiveSeconds) {
    const std::string id = "org.example.Slow";
    ws().install({.bundleID = id});
    const pid_t app = ws().launch({.bundleID = id});
    ws().setActivateOutcome(app, sim::ActivationOutcome::refused());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::refused());
    ws().setOpenBehaviour(id, {.mode = sim::OpenBehaviour::Mode::never});
    activateApp(app, id, true);
    EXPECT_EQ(result, false);
    EXPECT_EQ(endedAt, seconds(5.3)) << "five seconds for the open, then its 0.3 s confirmation";
    const auto lines = wmLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{
                  "openApplicationAndWait: no completion for bundle=org.example.Slow after 5.0s; giving up",
                  "[R] NSWorkspace.openApplication attempted",
                  "[R] All activation methods failed for pid=" + std::to_string(app),
              }));
    EXPECT_EQ(loop().pendingCount(), 0u);
}

TEST_F(AppActivationTest, anOpenThatAnswersInTimeLeavesNoTimerBehind) {
    const std::string id = "org.example.Quick";
    ws().install({.bundleID = id});
    const pid_t app = ws().launch({.bundleID = id});
    ws().setActivateOutcome(app, sim::ActivationOutcome::refused());
    desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::refused());
    ws().setOpenBehaviour(id, {.mode = sim::OpenBehaviour::Mode::fails, .after = milliseconds(70)});
    activateApp(app, id, true, false);
    EXPECT_EQ(result, false);
    EXPECT_EQ(endedAt, milliseconds(370));
    EXPECT_FALSE(logged("giving up"));
    EXPECT_TRUE(logged("[R] NSWorkspace.openApplication attempted"));
    EXPECT_EQ(loop().pendingCount(), 0u);
}

TEST_F(AppActivationTest, forceFrontmostTriesAccessibilityThenActivation) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    auto& accessibility = desktop->accessibility();
    struct Row {
        sim::ActivationOutcome ax, activate;
        bool quitFirst;
        bool expected;
        std::vector<std::string> lines;
    };
    const std::string p = std::to_string(app);
    const std::vector<Row> rows{
        {sim::ActivationOutcome::normal(), sim::ActivationOutcome::refused(), false, true,
         {"[F] Forced frontmost via AX"}},
        {sim::ActivationOutcome::refused(), sim::ActivationOutcome::normal(), false, true,
         {"[F] NSRunningApplication.activate fallback returned true",
          "[F] Forced frontmost via NSRunningApplication.activate"}},
        {sim::ActivationOutcome::ignored(), sim::ActivationOutcome::ignored(), false, false,
         {"[F] NSRunningApplication.activate fallback returned true",
          "[F] Activate fallback returned true but app is not frontmost"}},
        {sim::ActivationOutcome::refused(), sim::ActivationOutcome::refused(), false, false,
         {"[F] NSRunningApplication.activate fallback returned false"}},
    };
    for (const auto& row : rows) {
        ws().bringToFront(other);
        accessibility.setAXFrontmostOutcome(app, row.ax);
        ws().setActivateOutcome(app, row.activate);
        run(controller->forceFrontmost(app, "F"));
        EXPECT_EQ(result, row.expected);
        EXPECT_EQ(wmLines(), row.lines);
    }
    ws().bringToFront(app);
    run(controller->forceFrontmost(app, "F"));
    EXPECT_EQ(result, true);
    EXPECT_TRUE(wmLines().empty()) << "already frontmost";

    ws().quit(app);
    run(controller->forceFrontmost(app, "F"));
    EXPECT_EQ(result, false);
    EXPECT_EQ(wmLines(), std::vector<std::string>{"[F] Running app not found for pid=" + p});
}

TEST_F(AppActivationTest, waitingForTheFrontmostApplicationChecksEveryFiftyMilliseconds) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    struct Row {
        double timeout;
        std::optional<Nanos> frontAfter;
        bool expected;
        Nanos endsAfter;
    };
    const std::vector<Row> rows{
        {0.3, milliseconds(120), true, milliseconds(150)},
        {0.3, std::nullopt, false, milliseconds(300)},
        {0.0, std::nullopt, false, 0},
        {-2.0, std::nullopt, false, 0},
    };
    for (const auto& row : rows) {
        ws().bringToFront(other);
        const Nanos begin = loop().now();
        if (row.frontAfter) loop().postAfter(*row.frontAfter, [this, app] { ws().bringToFront(app); });
        run(controller->waitForAppFrontmost(app, row.timeout), seconds(1));
        EXPECT_EQ(result, row.expected) << row.timeout;
        EXPECT_EQ(endedAt - begin, row.endsAfter) << row.timeout;
    }
    EXPECT_FALSE(controller->isAppFrontmost(app));
    ws().bringToFront(app);
    EXPECT_TRUE(controller->isAppFrontmost(app));
}

} // namespace
} // namespace korvane::testing
