// Window activation on the simulated desktop: the attempts of one request and their time-out, the focus
// check, the window-first fallback, the runtime whitelist growing after failed cycles, and the chain that
// brings the application forward.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"
#include "core/WindowActivator.h"

#include <algorithm>
#include <vector>

namespace korvane::testing {
namespace {

using platform::AXElement;
using platform::AXError;
using platform::Task;

struct Result {
    bool ok;
    Nanos at;
    friend bool operator==(const Result&, const Result&) = default;
};

std::ostream& operator<<(std::ostream& os, const Result& r) {
    return os << (r.ok ? "true" : "false") << " @" << r.at / 1'000'000 << "ms";
}

class WindowActivatorTest : public ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}});
        other = ws().launch({.bundleID = "org.example.Other", .activate = true});
        windows().open(other, {.frame = Rect{500, 100, 600, 400}, .title = "Other"});
        activator = std::make_shared<WindowActivator>(std::make_shared<AXUtil>(*desktop));
        activator->onWindowFocus = [this](WindowID wid) { focused.push_back(wid); };
        FocusWhitelistStore::shared(); // read now, so that its lines stay out of the tests' logs
        loop().runUntilIdle();
        logs.log().clear();
    }
    void TearDown() override {
        activator.reset();
        ActivationTest::TearDown();
    }

    sim::SimWorkspace& ws() { return desktop->workspace(); }
    sim::SimWindows& windows() { return desktop->windows(); }

    std::uint32_t openWindow(pid_t pid, sim::SimWindowSpec desc = {}) {
        if (desc.frame.size.width == 0) desc.frame = Rect{100, 100, 800, 600};
        return windows().open(pid, desc);
    }
    // A window that never takes the focus, of a freshly launched application.
    std::uint32_t stubbornWindow(pid_t pid) {
        return openWindow(pid, {.focused = false, .main = false, .ignoresFocus = true});
    }

    std::function<void(bool)> recorder() {
        return [this](bool ok) { results.push_back({ok, loop().now()}); };
    }
    void activate(std::uint32_t wid, const std::string& reason) {
        activator->activateWindow(windows().element(wid), reason, false, recorder());
    }
    // The first activation of a zone operation with its window-first failure handling attached.
    void activateWindowFirst(std::uint32_t wid, const std::string& tag, bool allowFallback,
                             std::optional<std::string> fallbackTag = std::nullopt) {
        const AXElement window = windows().element(wid);
        std::weak_ptr<WindowActivator> weak = activator;
        auto done = recorder();
        activator->activateWindow(window, tag, false,
                                  [weak, tag, fallbackTag, allowFallback, window, done](bool ok) {
                                      WindowActivator::handleWindowFirstResult(weak, ok, tag, fallbackTag,
                                                                               allowFallback, window, done);
                                  });
    }

    pid_t other = 0;
    std::shared_ptr<WindowActivator> activator;
    std::vector<Result> results;
    std::vector<WindowID> focused;
};

// --- One request's attempts ------------------------------------------------------------------------

// A browser that ignores activation and refuses the frontmost attribute, behind another application:
// each attempt walks the whole chain (30 ms, then 0.3 s after each activation and after the open).
TEST_F(WindowActivatorTest, aProblematicApplicationWalksTheChainOnEveryAttemptAndTriesARefusedScriptOnce) {
    const pid_t chrome = ws().launch({.bundleID = "com.google.Chrome"});
    const auto wid = openWindow(chrome);
    ws().bringToFront(other);
    ws().setActivateOutcome(chrome, sim::ActivationOutcome::ignored());
    desktop->accessibility().setAXFrontmostOutcome(chrome, sim::ActivationOutcome::refused());
    ws().setScriptOutcome("com.google.Chrome", {.errorNumber = -1743, .message = "Not authorised"});
    ws().setOpenBehaviour("com.google.Chrome", {.activates = false});
    activate(wid, "Focus request");
    loop().advance(seconds(5));

    // The 2.5 s time-out passes during the third attempt; its false answer arrives when that attempt ends.
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(3 * 930 + 2 * 100)}}));
    EXPECT_EQ(wmLines().back(),
              "[AsyncActivation:Focus request] Failed after 3 attempts strategy=problematic");
    EXPECT_EQ(ws().activateCalls().size(), 6u);
    EXPECT_EQ(ws().openCalls().size(), 3u);
    EXPECT_EQ(ws().scriptsRun().size(), 1u) << "the refusal is remembered";

    activate(wid, "Focus request");
    loop().advance(seconds(5));
    EXPECT_EQ(ws().scriptsRun().size(), 1u);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results.back().ok);

    // A script that brings the application forward ends the chain in the first attempt: 30 ms, the
    // activation's 0.3 s, the script's first check, 50 ms before the focus check.
    ws().setScriptOutcome("com.google.Chrome", {});
    AppleScriptActivator::setShared(nullptr);
    results.clear();
    const Nanos start = loop().now();
    activate(wid, "Focus request");
    loop().advance(seconds(5));
    EXPECT_EQ(results, (std::vector<Result>{{true, start + milliseconds(380)}}));
    EXPECT_TRUE(logged("[Focus request] App is frontmost after Fast-Track AppleScript"));
    EXPECT_EQ(ws().openCalls().size(), 6u) << "no open after the script";
    EXPECT_EQ(focused, std::vector<WindowID>{wid});
    EXPECT_EQ(ws().frontmostApplication()->pid, chrome);
}

TEST_F(WindowActivatorTest, minimisedWindowsAndHiddenApplicationsAreBroughtBackFirst) {
    const std::vector<std::string> raiseAndFocus{"action AXRaise", "set AXMain", "action AXRaise",
                                                 "set AXMain", "set AXFocused"};
    std::vector<std::string> unminimise{"set AXMinimized"};
    unminimise.insert(unminimise.end(), raiseAndFocus.begin(), raiseAndFocus.end());
    struct Row {
        bool minimized, hidden;
        std::vector<std::string> windowCalls;
        Nanos doneAt;
    };
    const std::vector<Row> rows{
        {false, false, raiseAndFocus, milliseconds(80)},
        {true, false, unminimise, milliseconds(180)},
        {false, true, raiseAndFocus, milliseconds(180)},
    };
    for (const auto& row : rows) {
        const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
        const auto wid = openWindow(app, {.minimized = row.minimized});
        ws().bringToFront(other);
        if (row.hidden) ws().setHidden(app, true);
        desktop->accessibility().clearAXCallLog();
        results.clear();
        const Nanos start = loop().now();

        activate(wid, "Focus rid=1");
        loop().advance(seconds(2));
        EXPECT_EQ(results, (std::vector<Result>{{true, start + row.doneAt}}));
        std::vector<std::string> calls;
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == windows().element(wid)) calls.push_back(call.kind + " " + call.name);
        EXPECT_EQ(calls, row.windowCalls);
        EXPECT_FALSE(ws().runningApplication(app)->isHidden);
        EXPECT_EQ(ws().frontmostApplication()->pid, app);
        ws().quit(app);
        loop().runUntilIdle();
    }
}

TEST_F(WindowActivatorTest, afterTheTimeOutTheAttemptsPausesEndAtOnce) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = stubbornWindow(app);
    openWindow(app, {.frame = Rect{200, 200, 300, 300}, .title = "Inspector"}); // keeps the focus
    ActivationStrategy hasty = ActivationStrategy::defaultStrategy();
    hasty.timeout = 0.1;
    // Each attempt: 30 ms after the raise and 50 ms before the check; 100 ms between attempts. With a
    // 0.1 s time-out the pause between the attempts is cut short at 100 ms, and so are the pauses of the
    // second attempt.
    for (const auto& [strategy, doneAt] :
         {std::pair{ActivationStrategy::defaultStrategy(), milliseconds(260)},
          std::pair{hasty, milliseconds(100)}}) {
        results.clear();
        const Nanos begin = loop().now();
        activator->enqueueActivation(windows().element(target), "Focus rid=9", app, strategy, false,
                                     recorder());
        loop().advance(seconds(2));
        EXPECT_EQ(results, (std::vector<Result>{{false, begin + doneAt}})) << strategy.timeout;
    }
    EXPECT_EQ(loggedCount("[AsyncActivation:Focus rid=9] Failed after 2 attempts strategy=default"), 2u);
}

// --- The focus check and the runtime whitelist -------------------------------------------------------

TEST_F(WindowActivatorTest, focusThatCannotBeConfirmedIsAcceptedOnTheLastAttemptExceptForACycle) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = stubbornWindow(app);
    activate(wid, "Focus request");
    loop().advance(seconds(2));
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Focus verification inconclusive: focused window "
                       "unavailable; app frontmost attempt=2/2 accepting"));
    EXPECT_EQ(results, (std::vector<Result>{{true, milliseconds(260)}}));
    EXPECT_EQ(focused, std::vector<WindowID>{wid});

    // A cycle takes no unconfirmed focus: it fails, and its application joins the runtime whitelist,
    // which gives it the careful strategy from then on.
    const Nanos start = loop().now();
    activateWindowFirst(wid, "Cycle rid=3", false);
    loop().advance(seconds(2));
    EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=3] Focus verification unknown for cycle"), 2u);
    EXPECT_TRUE(logged("Cycle rid=3: window-first activation failed (no fallback)"));
    EXPECT_EQ(results.back(), (Result{false, start + milliseconds(260)}));
    EXPECT_EQ(read(home / "focus-whitelist-runtime.json"), R"({"bundleIds":["org.example.Editor"]})");
    EXPECT_EQ(ActivationStrategy::strategy(windows().element(wid), *desktop).name, "problematic");

    // Once listed, a failure adds nothing more.
    logs.log().clear();
    activateWindowFirst(wid, "Cycle rid=3", false);
    loop().advance(seconds(10));
    EXPECT_TRUE(logged("Starting strategy=problematic attempt=1/3 timeout=2.500000s"));
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_EQ(results.size(), 3u);
}

TEST_F(WindowActivatorTest, anotherFocusedWindowFailsTheCheckWithBothNumbers) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = stubbornWindow(app);
    const auto focusedOne = openWindow(app, {.frame = Rect{200, 200, 300, 300}, .title = "Inspector"});
    activate(target, "Cycle rid=4");
    loop().advance(seconds(2));
    EXPECT_TRUE(logged("[AsyncActivation:Cycle rid=4] Focus verification failed: focused wid mismatch "
                       "expected=%u actual=%u attempt=2/2",
                       target, focusedOne));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(FocusWhitelistStore::shared()->runtimeBundleIds, std::set<std::string>{"org.example.Editor"});
    EXPECT_TRUE(focused.empty());
}

TEST_F(WindowActivatorTest, failedCyclesThatNameNoBundleAddNothingToTheWhitelist) {
    // An unreadable pid fails each attempt at once.
    const pid_t chrome = ws().launch({.bundleID = "com.google.Chrome"});
    const auto unreadable = openWindow(chrome);
    desktop->accessibility().scriptAXFailure(unreadable, sim::kPidOfCall,
                                             {AXError::cannotComplete, AXError::cannotComplete});
    activate(unreadable, "Cycle rid=1");
    loop().advance(seconds(2));
    EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=1] Invalid pid=0"), 2u);
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(100)}}));

    // An application that quits while the request runs.
    const pid_t editor = ws().launch({.bundleID = "org.example.Editor"});
    activate(openWindow(editor), "Cycle rid=2");
    loop().advance(milliseconds(10)); // the first attempt is in its pause after the raise
    ws().quit(editor);
    loop().advance(seconds(2));
    EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=2] App not found for pid=%d", editor), 2u);

    // An application without a bundle identifier.
    const pid_t tool = ws().launch({.name = "tool"});
    activate(stubbornWindow(tool), "Cycle rid=5");
    loop().advance(seconds(2));
    EXPECT_TRUE(logged("[Cycle rid=5] Activating app (unknown) (pid=%d)", tool));

    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[1].ok || results[2].ok);
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

// --- Window-first failure handling ---------------------------------------------------------------

class WindowFirstTest : public WindowActivatorTest {
  protected:
    // An editor whose activation is refused both ways, behind another application.
    void SetUp() override {
        WindowActivatorTest::SetUp();
        app = ws().launch({.bundleID = "org.example.Editor"});
        wid = openWindow(app);
        ws().bringToFront(other);
        ws().setActivateOutcome(app, sim::ActivationOutcome::refused());
        desktop->accessibility().setAXFrontmostOutcome(app, sim::ActivationOutcome::refused());
        logs.log().clear();
    }
    pid_t app = 0;
    std::uint32_t wid = 0;
};

TEST_F(WindowFirstTest, aFailedWindowFirstActivationIsRetriedWithAllWindows) {
    activateWindowFirst(wid, "Focus request", true);
    loop().advance(seconds(3));
    EXPECT_EQ(loggedCount("[wm] Focus request: window-first activation failed; retrying allowAllWindows"),
              1u);
    EXPECT_EQ(loggedCount("[wm] Focus request (fallback): activation failed"), 1u);
    // Each request: 30 ms, 100 ms, 30 ms; the second starts when the first one's answer is handled.
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(2 * 160)}}));
    std::vector<unsigned> options;
    for (const auto& call : ws().activateCalls())
        if (call.pid == app) options.push_back(call.options);
    EXPECT_EQ(options,
              (std::vector<unsigned>{0, 0, platform::kActivateAllWindows, platform::kActivateAllWindows}));
}

TEST_F(WindowFirstTest, theFallbackSucceedsWhereTheFirstTryFailed) {
    activateWindowFirst(wid, "FocusZone[Stack] Z1", true, "FocusZoneFallback Z1");
    loop().advance(milliseconds(200)); // the first request has failed; the fallback has just begun
    ws().setActivateOutcome(app, sim::ActivationOutcome::normal());
    loop().advance(seconds(2));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok);
    EXPECT_TRUE(logged("[AsyncActivation:FocusZoneFallback Z1] Completed successfully attempt=2/2"));
    EXPECT_EQ(focused, std::vector<WindowID>{wid});
}

TEST_F(WindowFirstTest, successIsPassedOnAndNothingHappensOnceTheActivatorIsGone) {
    const AXElement window = windows().element(wid);
    std::vector<bool> heard;
    auto listen = [&heard](bool ok) { heard.push_back(ok); };
    WindowActivator::handleWindowFirstResult(activator, true, "Focus rid=1", std::nullopt, true, window,
                                             listen);
    EXPECT_EQ(heard, std::vector<bool>{true});

    std::weak_ptr<WindowActivator> gone;
    WindowActivator::handleWindowFirstResult(gone, false, "Focus rid=1", std::nullopt, true, window, listen);
    WindowActivator::handleWindowFirstResult(gone, true, "Focus rid=1", std::nullopt, true, window, listen);
    // A request whose activator goes away while it is queued ends silently.
    activate(wid, "Focus rid=1");
    activator.reset();
    loop().advance(seconds(3));
    EXPECT_EQ(heard, std::vector<bool>{true});
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(ws().activateCalls().empty());
    EXPECT_TRUE(wmLines().empty());
}

// --- Application activation ----------------------------------------------------------------------

class AppActivationTest : public WindowActivatorTest {
  protected:
    static Task<void> capture(AppActivationTest& test, Task<bool> task) {
        test.result = co_await std::move(task);
        test.endedAt = test.loop().now();
    }
    // Runs the task for the budget; `endedAt` is counted from the start.
    void run(Task<bool> task, Nanos budget = seconds(1)) {
        result.reset();
        endedAt = -1;
        const Nanos begin = loop().now();
        logs.log().clear();
        platform::spawn(loop(), capture(*this, std::move(task)));
        loop().advance(budget);
        if (endedAt >= 0) endedAt -= begin;
    }
    pid_t launchRefusing(sim::SimAppSpec spec,
                         sim::ActivationOutcome activate = sim::ActivationOutcome::refused(),
                         sim::ActivationOutcome ax = sim::ActivationOutcome::refused()) {
        if (spec.bundleID) ws().install({.bundleID = spec.bundleID});
        const pid_t app = ws().launch(spec);
        ws().bringToFront(other);
        ws().setActivateOutcome(app, activate);
        desktop->accessibility().setAXFrontmostOutcome(app, ax);
        return app;
    }
    void activateApp(pid_t pid, bool useFallback, bool allowAllWindows, Nanos budget) {
        auto app = ws().runningApplication(pid);
        ASSERT_TRUE(app);
        run(activator->activateApplicationAsync(*app, "R", pid, app->bundleID.value_or("(unknown)"),
                                                useFallback, allowAllWindows),
            budget);
    }

    std::optional<bool> result;
    Nanos endedAt = -1;
};

TEST_F(AppActivationTest, theChainStopsAtTheFirstConfirmedMethod) {
    using O = sim::ActivationOutcome;
    struct Row {
        std::optional<std::string> bundle;
        O activate, ax;
        bool useFallback;
        bool expected;
        Nanos endsAfter;
        const char* line;
    };
    const std::vector<Row> rows{
        {"org.example.A", O::normal(), O::refused(), false, true, 0, "[R] App is frontmost after activate"},
        // Seen at the 50 ms check after it took effect.
        {"org.example.B", O::refused(), O::after(milliseconds(120)), false, true, milliseconds(150),
         "[R] App is frontmost after AX frontmost"},
        {"org.example.C", O::ignored(), O::ignored(), false, false, milliseconds(600),
         "[R] Skipping fallback activation methods"},
        // Without a bundle identifier there is nothing to open.
        {std::nullopt, O::refused(), O::refused(), true, false, 0,
         "[R] All activation methods failed for pid="},
    };
    for (const auto& row : rows) {
        const pid_t app = launchRefusing({.bundleID = row.bundle, .name = "tool"}, row.activate, row.ax);
        activateApp(app, row.useFallback, true, seconds(1));
        EXPECT_EQ(result, row.expected) << row.line;
        EXPECT_EQ(endedAt, row.endsAfter) << row.line;
        EXPECT_TRUE(logged(row.line)) << row.line;
        const auto calls = ws().activateCalls();
        const auto first =
            std::find_if(calls.begin(), calls.end(), [app](const auto& c) { return c.pid == app; });
        ASSERT_NE(first, calls.end());
        EXPECT_EQ(first->options, platform::kActivateAllWindows) << row.line;
    }
    EXPECT_TRUE(ws().scriptsRun().empty());
    EXPECT_TRUE(ws().openCalls().empty());
}

TEST_F(AppActivationTest, withFallbackTheApplicationIsOpenedAndAnOpenThatNeverAnswersIsGivenUp) {
    using Mode = sim::OpenBehaviour::Mode;
    struct Row {
        std::string bundle;
        sim::ActivationOutcome activate;
        sim::OpenBehaviour open;
        bool expected;
        Nanos endsAfter;
        const char* line;
    };
    const std::vector<Row> rows{
        // The script's memory of a refusal is not involved: the script runs and does not take.
        // 0.3 s, the script's 0.5 s, 0.3 s, then the open's 40 ms.
        {"com.google.Chrome",
         sim::ActivationOutcome::ignored(),
         {.after = milliseconds(40)},
         true,
         milliseconds(1140),
         "[R] App is frontmost after NSWorkspace.openApplication"},
        {"org.example.Quick",
         sim::ActivationOutcome::refused(),
         {.mode = Mode::fails, .after = milliseconds(70)},
         false,
         milliseconds(370),
         "[R] NSWorkspace.openApplication attempted"},
        // Five seconds for the open, then its 0.3 s confirmation.
        {"org.example.Slow",
         sim::ActivationOutcome::refused(),
         {.mode = Mode::never},
         false,
         seconds(5.3),
         "openApplicationAndWait: no completion for bundle=org.example.Slow after 5.0s; giving up"},
    };
    for (const auto& row : rows) {
        const pid_t app = launchRefusing({.bundleID = row.bundle}, row.activate);
        ws().setScriptOutcome(row.bundle, {.activates = false});
        ws().setOpenBehaviour(row.bundle, row.open);
        // Ended well before the five seconds of an unanswered open would have passed.
        activateApp(app, true, false, row.endsAfter + milliseconds(100));
        EXPECT_EQ(result, row.expected) << row.bundle;
        EXPECT_EQ(endedAt, row.endsAfter) << row.bundle;
        EXPECT_TRUE(logged(row.line)) << row.bundle;
        EXPECT_EQ(logged("giving up"), row.open.mode == Mode::never) << row.bundle;
        EXPECT_EQ(ws().openCalls().back().bundleID, row.bundle);
        EXPECT_TRUE(ws().openCalls().back().activates);
        EXPECT_EQ(loop().pendingCount(), 0u) << row.bundle << ": no give-up timer left behind";
    }
}

TEST_F(AppActivationTest, forceFrontmostTriesAccessibilityThenActivation) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    using O = sim::ActivationOutcome;
    struct Row {
        O ax, activate;
        bool expected;
        std::vector<std::string> lines;
    };
    const std::vector<Row> rows{
        {O::normal(), O::refused(), true, {"[F] Forced frontmost via AX"}},
        {O::refused(),
         O::normal(),
         true,
         {"[F] NSRunningApplication.activate fallback returned true",
          "[F] Forced frontmost via NSRunningApplication.activate"}},
        {O::ignored(),
         O::ignored(),
         false,
         {"[F] NSRunningApplication.activate fallback returned true",
          "[F] Activate fallback returned true but app is not frontmost"}},
        {O::refused(), O::refused(), false, {"[F] NSRunningApplication.activate fallback returned false"}},
    };
    for (const auto& row : rows) {
        ws().bringToFront(other);
        desktop->accessibility().setAXFrontmostOutcome(app, row.ax);
        ws().setActivateOutcome(app, row.activate);
        run(activator->forceFrontmost(app, "F"));
        EXPECT_EQ(result, row.expected);
        EXPECT_EQ(wmLines(), row.lines);
    }
    ws().bringToFront(app);
    run(activator->forceFrontmost(app, "F"));
    EXPECT_EQ(result, true);
    EXPECT_TRUE(wmLines().empty()) << "already frontmost";

    ws().quit(app);
    run(activator->forceFrontmost(app, "F"));
    EXPECT_EQ(result, false);
    EXPECT_EQ(wmLines(),
              std::vector<std::string>{"[F] Running app not found for pid=" + std::to_string(app)});
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
        if (row.frontAfter) loop().postAfter(*row.frontAfter, [this, app] { ws().bringToFront(app); });
        run(activator->waitForAppFrontmost(app, row.timeout), seconds(1));
        EXPECT_EQ(result, row.expected) << row.timeout;
        EXPECT_EQ(endedAt, row.endsAfter) << row.timeout;
    }
    EXPECT_FALSE(activator->isAppFrontmost(app));
    ws().bringToFront(app);
    EXPECT_TRUE(activator->isAppFrontmost(app));
}

} // namespace
} // namespace korvane::testing
