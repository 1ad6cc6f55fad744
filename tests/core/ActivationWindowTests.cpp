// Window activation on the simulated desktop: the attempts of one request, the focus check, the
// window-first fallback, element resolution and the runtime whitelist growing after failed cycles.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"

#include <vector>

namespace korvane::testing {
namespace {

using platform::AXElement;
using platform::AXError;

struct Result {
    bool ok;
    Nanos at;
    friend bool operator==(const Result&, const Result&) = default;
};

std::ostream& operator<<(std::ostream& os, const Result& r) {
    return os << (r.ok ? "true" : "false") << " @" << r.at / 1'000'000 << "ms";
}

class WindowActivationTest : public ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}});
        other = ws().launch({.bundleID = "org.example.Other", .activate = true});
        windows().open(other, {.frame = Rect{500, 100, 600, 400}, .title = "Other"});
        controller =
            std::make_shared<WMController>(std::make_shared<MultiDisplayState>(), std::make_shared<AXUtil>(*desktop));
        FocusWhitelistStore::shared(); // read now, so that its lines stay out of the tests' logs
        loop().runUntilIdle();
        logs.log().clear();
    }
    void TearDown() override {
        controller.reset();
        ActivationTest::TearDown();
    }

    sim::SimWorkspace& ws() { return desktop->workspace(); }
    sim::SimWindows& windows() { return desktop->windows(); }

    std::uint32_t openWindow(pid_t pid, sim::SimWindowSpec desc = {}) {
        if (desc.frame.size.width == 0) desc.frame = Rect{100, 100, 800, 600};
        return windows().open(pid, desc);
    }

    std::function<void(bool)> recorder() {
        return [this](bool ok) { results.push_back({ok, loop().now()}); };
    }
    void activate(std::uint32_t wid, const std::string& reason, bool allowAllWindows = false) {
        controller->activateWindow(windows().element(wid), reason, allowAllWindows, recorder());
    }
    // The first activation of a zone operation with its window-first failure handling attached.
    void activateWindowFirst(std::uint32_t wid, const std::string& tag, bool allowFallback,
                             std::optional<std::string> fallbackTag = std::nullopt) {
        const AXElement window = windows().element(wid);
        std::weak_ptr<WMController> weak = controller;
        auto done = recorder();
        controller->activateWindow(window, tag, false, [weak, tag, fallbackTag, allowFallback, window, done](bool ok) {
            WMController::handleWindowFirstResult(weak, ok, tag, fallbackTag, allowFallback, window, done);
        });
    }

    std::vector<std::string> windowCalls(std::uint32_t wid) {
        std::vector<std::string> out;
        const AXElement element = windows().element(wid);
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == element) out.push_back(call.kind + " " + call.name);
        return out;
    }

    pid_t other = 0;
    std::shared_ptr<WMController> controller;
    std::vector<Result> results;
};

// --- The strategy's chain and its log --------------------------------------------------------------

class ProblematicChainTest : public WindowActivationTest {
  protected:
    // A browser that ignores activation and refuses the frontmost attribute, behind another application.
    void SetUp() override {
        WindowActivationTest::SetUp();
        chrome = ws().launch({.bundleID = "com.google.Chrome"});
        wid = openWindow(chrome);
        ws().bringToFront(other);
        ws().setActivateOutcome(chrome, sim::ActivationOutcome::ignored());
        desktop->accessibility().setAXFrontmostOutcome(chrome, sim::ActivationOutcome::refused());
        logs.log().clear();
    }
    pid_t chrome = 0;
    std::uint32_t wid = 0;
};

TEST_F(ProblematicChainTest, aRefusedScriptIsTriedOnceAndTheChainRunsEveryAttempt) {
    ws().setScriptOutcome("com.google.Chrome", {.errorNumber = -1743, .message = "Not authorised"});
    ws().setOpenBehaviour("com.google.Chrome", {.activates = false});
    activate(wid, "Focus request");
    loop().advance(seconds(5));

    const std::string p = std::to_string(chrome);
    const std::vector<std::string> firstAttempt{
        "[AsyncActivation:Focus request] Starting strategy=problematic attempt=1/3 timeout=2.500000s",
        "[Focus request] Activating app com.google.Chrome (pid=" + p + ") using strategy: problematic",
        "[Focus request] NSRunningApplication.activate returned true",
        "[Focus request] Activate returned true but app is not frontmost",
        "[Focus request] Fast-tracking to AppleScript for com.google.Chrome",
        "[AppleScript:activate com.google.Chrome] Executing script",
        "[AppleScript] AppleEvents denied for bundle=com.google.Chrome; suppress AppleScript retries until "
        "relaunch",
        "[Focus request] NSRunningApplication.activate fallback returned true",
        "[Focus request] Activate fallback returned true but app is not frontmost",
        "[Focus request] NSWorkspace.openApplication attempted",
        "[Focus request] Trying AppleScript activation (final fallback)",
        "[Focus request] All activation methods failed for pid=" + p,
        "[AsyncActivation:Focus request] Failed to activate application",
    };
    const auto lines = wmLines();
    ASSERT_GE(lines.size(), firstAttempt.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + firstAttempt.size()), firstAttempt);
    EXPECT_EQ(lines[firstAttempt.size()],
              "[AsyncActivation:Focus request] Starting strategy=problematic attempt=2/3 timeout=2.500000s");
    EXPECT_EQ(loggedCount("Starting strategy=problematic attempt=3/3"), 1u);
    EXPECT_EQ(lines.back(), "[AsyncActivation:Focus request] Failed after 3 attempts strategy=problematic");
    EXPECT_EQ(loggedCount("AppleEvents denied"), 1u);
    EXPECT_EQ(loggedCount("Executing script"), 1u);
    // Each attempt takes 30 ms after the raise and 0.3 s after each activation and the open, with 100 ms
    // between attempts. The 2.5 s time-out passes during the third attempt; its false answer arrives
    // when that attempt ends.
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(3 * 930 + 2 * 100)}}));

    logs.log().clear();
    activate(wid, "Focus request");
    loop().advance(seconds(5));
    EXPECT_EQ(ws().scriptsRun().size(), 1u) << "no script after the refusal";
    EXPECT_EQ(loggedCount("Trying AppleScript activation (final fallback)"), 3u);
    EXPECT_FALSE(logged("Executing script"));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results.back().ok);
}

TEST_F(ProblematicChainTest, aScriptThatBringsTheApplicationForwardEndsTheChain) {
    std::vector<WindowID> focused;
    controller->onWindowFocus = [&focused](WindowID w) { focused.push_back(w); };
    activate(wid, "Focus request");
    loop().advance(seconds(5));

    EXPECT_TRUE(logged("[Focus request] App is frontmost after Fast-Track AppleScript"));
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Completed successfully attempt=1/3"));
    EXPECT_FALSE(logged("fallback"));
    // 30 ms, the activation's 0.3 s, the script's first check, 50 ms before the focus check.
    EXPECT_EQ(results, (std::vector<Result>{{true, milliseconds(380)}}));
    EXPECT_EQ(focused, std::vector<WindowID>{wid});
    EXPECT_EQ(ws().frontmostApplication()->pid, chrome);
}

// --- One attempt's steps -------------------------------------------------------------------------

TEST_F(WindowActivationTest, minimisedWindowsAndHiddenApplicationsAreBroughtBackFirst) {
    const std::vector<std::string> raiseAndFocus{"action AXRaise", "set AXMain", "action AXRaise", "set AXMain",
                                                 "set AXFocused"};
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
        logs.log().clear();
        results.clear();
        const Nanos start = loop().now();

        activate(wid, "Focus rid=1");
        loop().advance(seconds(2));
        EXPECT_EQ(results, (std::vector<Result>{{true, start + row.doneAt}}));
        EXPECT_EQ(windowCalls(wid), row.windowCalls);
        EXPECT_EQ(loggedCount("[AsyncActivation:Focus rid=1] App is hidden, unhiding"), row.hidden ? 1u : 0u);
        EXPECT_TRUE(logged("[AsyncActivation:Focus rid=1] Completed successfully attempt=1/2"));
        EXPECT_EQ(ws().frontmostApplication()->pid, app);
        ws().quit(app);
        loop().runUntilIdle();
    }
}

TEST_F(WindowActivationTest, anUnreadablePidOrAQuitApplicationFailsEveryAttemptWithoutWhitelisting) {
    const pid_t app = ws().launch({.bundleID = "com.google.Chrome"});
    const auto wid = openWindow(app);
    desktop->accessibility().scriptAXFailure(wid, sim::kPidOfCall, {AXError::cannotComplete, AXError::cannotComplete});
    logs.log().clear();
    activate(wid, "Cycle rid=1");
    loop().advance(seconds(2));
    EXPECT_EQ(wmLines(), (std::vector<std::string>{
                             "[AsyncActivation:Cycle rid=1] Invalid pid=0",
                             "[AsyncActivation:Cycle rid=1] Invalid pid=0",
                             "[AsyncActivation:Cycle rid=1] Failed after 2 attempts strategy=default",
                         }));
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(100)}}));

    const pid_t editor = ws().launch({.bundleID = "org.example.Editor"});
    activate(openWindow(editor), "Cycle rid=2");
    loop().advance(milliseconds(10)); // the first attempt is in its pause after the raise
    ws().quit(editor);
    loop().advance(seconds(2));
    EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=2] App not found for pid=%d", editor), 2u);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[1].ok);
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_TRUE(FocusWhitelistStore::shared()->runtimeBundleIds.empty());
}

TEST_F(WindowActivationTest, afterTheTimeOutTheAttemptsPausesEndAtOnce) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = openWindow(app, {.focused = false, .main = false, .ignoresFocus = true});
    openWindow(app, {.frame = Rect{200, 200, 300, 300}, .title = "Inspector"}); // keeps the focus
    ActivationStrategy hasty = ActivationStrategy::defaultStrategy();
    hasty.timeout = 0.1;
    struct Row {
        ActivationStrategy strategy;
        Nanos doneAt;
    };
    // Each attempt: 30 ms after the raise and 50 ms before the check; 100 ms between attempts. With a
    // 0.1 s time-out the pause between the attempts is cut short at 100 ms, and so are the pauses of the
    // second attempt.
    const std::vector<Row> rows{{ActivationStrategy::defaultStrategy(), milliseconds(80 + 100 + 80)},
                                {hasty, milliseconds(100)}};
    for (const auto& row : rows) {
        results.clear();
        logs.log().clear();
        const Nanos begin = loop().now();
        controller->enqueueActivation(windows().element(target), "Focus rid=9", app, row.strategy, false, recorder());
        loop().advance(seconds(2));
        EXPECT_EQ(results, (std::vector<Result>{{false, begin + row.doneAt}})) << row.strategy.timeout;
        EXPECT_EQ(loggedCount("[AsyncActivation:Focus rid=9] Focus verification failed"), 2u);
        EXPECT_TRUE(logged("[AsyncActivation:Focus rid=9] Failed after 2 attempts strategy=default"));
    }
}

// --- The focus check -----------------------------------------------------------------------------

TEST_F(WindowActivationTest, anInconclusiveCheckIsRetriedAndAcceptedOnTheLastAttempt) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    activate(openWindow(app, {.focused = false, .main = false, .ignoresFocus = true}), "Focus request");
    loop().advance(seconds(2));
    const std::string line = "[AsyncActivation:Focus request] Focus verification inconclusive: focused window "
                             "unavailable; app frontmost attempt=";
    EXPECT_TRUE(logged(line + "1/2 retrying"));
    EXPECT_TRUE(logged(line + "2/2 accepting"));
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Completed successfully attempt=2/2"));
    EXPECT_EQ(results, (std::vector<Result>{{true, milliseconds(80 + 100 + 80)}}));
}

TEST_F(WindowActivationTest, anotherFocusedWindowFailsTheCheckWithBothNumbers) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = openWindow(app, {.focused = false, .main = false, .ignoresFocus = true});
    const auto focusedOne = openWindow(app, {.frame = Rect{200, 200, 300, 300}, .title = "Inspector"});
    activate(target, "Cycle rid=4");
    loop().advance(seconds(2));
    for (const char* attempt : {"1/2", "2/2"})
        EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=4] Focus verification failed: focused wid mismatch "
                              "expected=%u actual=%u attempt=%s",
                              target, focusedOne, attempt),
                  1u);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(FocusWhitelistStore::shared()->runtimeBundleIds, std::set<std::string>{"org.example.Editor"});
}

TEST_F(WindowActivationTest, verifyFocusReadsTheWindowThenTheFocusedWindowThenTheFrontmostApplication) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = openWindow(app, {.focused = false, .main = false, .ignoresFocus = true});
    const AXElement window = windows().element(target);
    using Kind = WMController::FocusVerification::Kind;

    // The application is not frontmost: the other application's focused window answers.
    ws().bringToFront(other);
    auto v = controller->verifyFocus(window, target, app);
    EXPECT_EQ(v.kind, Kind::failed);
    EXPECT_TRUE(v.detail.starts_with("focused wid mismatch expected=" + std::to_string(target) + " actual="));
    v = controller->verifyFocus(window, std::nullopt, app);
    EXPECT_EQ(v.kind, Kind::inconclusive);
    EXPECT_EQ(v.detail, "focused window unavailable; app not frontmost");

    ws().bringToFront(app);
    windows().focus(target); // the user clicks it: focus and main are the window's now
    v = controller->verifyFocus(window, std::nullopt, app);
    EXPECT_EQ(v.kind, Kind::verified);
    EXPECT_EQ(v.detail, "");
}

// --- Cycles grow the whitelist -------------------------------------------------------------------

TEST_F(WindowActivationTest, aCycleWhoseFocusStaysUnknownAddsItsApplicationToTheRuntimeWhitelist) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = openWindow(app, {.focused = false, .main = false, .ignoresFocus = true});
    const AXElement window = windows().element(wid);
    EXPECT_EQ(ActivationStrategy::strategy(window, *desktop).name, "default");
    logs.log().clear();

    activateWindowFirst(wid, "Cycle rid=3", false);
    loop().advance(seconds(2));
    for (const char* attempt : {"1/2", "2/2"})
        EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=3] Focus verification unknown for cycle: focused "
                              "window unavailable; app frontmost attempt=%s",
                              attempt),
                  1u);
    const auto lines = wmLines();
    const std::vector<std::string> tail{
        "[AsyncActivation:Cycle rid=3] Failed after 2 attempts strategy=default",
        "[AsyncActivation:Cycle rid=3] Adding to runtime focus whitelist after repeated failures "
        "bundle=org.example.Editor",
        "Focus whitelist: Added to runtime whitelist org.example.Editor",
        "Cycle rid=3: window-first activation failed (no fallback)",
    };
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - tail.size(), lines.end()), tail);
    EXPECT_EQ(read(home / "focus-whitelist-runtime.json"), R"({"bundleIds":["org.example.Editor"]})");
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(80 + 100 + 80)}}));
    EXPECT_EQ(ActivationStrategy::strategy(window, *desktop).name, "problematic");

    // Once listed, a failure adds nothing more.
    logs.log().clear();
    activateWindowFirst(wid, "Cycle rid=3", false);
    loop().advance(seconds(10));
    EXPECT_TRUE(logged("Starting strategy=problematic attempt=1/3 timeout=2.500000s"));
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_EQ(results.size(), 2u);
}

TEST_F(WindowActivationTest, aFailedCycleOfAnApplicationWithoutBundleAddsNothing) {
    const pid_t app = ws().launch({.name = "tool"});
    activate(openWindow(app, {.focused = false, .main = false, .ignoresFocus = true}), "Cycle rid=5");
    loop().advance(seconds(2));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_TRUE(logged("[Cycle rid=5] Activating app (unknown) (pid=%d)", app));
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

// --- Window-first failure handling ---------------------------------------------------------------

class WindowFirstTest : public WindowActivationTest {
  protected:
    // An editor whose activation is refused both ways, behind another application.
    void SetUp() override {
        WindowActivationTest::SetUp();
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
    EXPECT_EQ(loggedCount("[wm] Focus request: window-first activation failed; retrying allowAllWindows"), 1u);
    EXPECT_EQ(loggedCount("[AsyncActivation:Focus request (fallback)] Failed after 2 attempts"), 1u);
    EXPECT_EQ(loggedCount("[wm] Focus request (fallback): activation failed"), 1u);
    EXPECT_EQ(loggedCount("[Focus request] Skipping fallback activation methods"), 2u);
    // Each request: 30 ms, 100 ms, 30 ms; the second starts when the first one's answer is handled.
    EXPECT_EQ(results, (std::vector<Result>{{false, milliseconds(2 * 160)}}));
    std::vector<unsigned> options;
    for (const auto& call : ws().activateCalls())
        if (call.pid == app) options.push_back(call.options);
    EXPECT_EQ(options, (std::vector<unsigned>{0, 0, platform::kActivateAllWindows, platform::kActivateAllWindows}));
}

TEST_F(WindowFirstTest, theFallbackSucceedsWhereTheFirstTryFailed) {
    activateWindowFirst(wid, "FocusZone[Stack] Z1", true, "FocusZoneFallback Z1");
    loop().advance(milliseconds(200)); // the first request has failed; the fallback has just begun
    ws().setActivateOutcome(app, sim::ActivationOutcome::normal());
    loop().advance(seconds(2));
    EXPECT_EQ(results.size(), 1u);
    EXPECT_TRUE(results.at(0).ok);
    EXPECT_TRUE(logged("FocusZone[Stack] Z1: window-first activation failed; retrying allowAllWindows"));
    EXPECT_TRUE(logged("[AsyncActivation:FocusZoneFallback Z1] Completed successfully attempt=2/2"));
    EXPECT_FALSE(logged("FocusZoneFallback Z1: activation failed"));
}

TEST_F(WindowActivationTest, windowFirstHandlingPassesSuccessOnAndNothingHappensForAGoneController) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = openWindow(app);
    const AXElement window = windows().element(wid);
    std::vector<bool> heard;
    auto listen = [&heard](bool ok) { heard.push_back(ok); };
    WMController::handleWindowFirstResult(controller, true, "Focus rid=1", std::nullopt, true, window, listen);
    EXPECT_EQ(heard, std::vector<bool>{true});

    std::weak_ptr<WMController> gone;
    WMController::handleWindowFirstResult(gone, false, "Focus rid=1", std::nullopt, true, window, listen);
    WMController::handleWindowFirstResult(gone, true, "Focus rid=1", std::nullopt, true, window, listen);
    // A request whose controller goes away while it is queued ends silently.
    activate(wid, "Focus rid=1");
    controller.reset();
    loop().advance(seconds(3));
    EXPECT_EQ(heard, std::vector<bool>{true});
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(ws().activateCalls().empty());
    EXPECT_TRUE(wmLines().empty());

    WMController::reportActivationResult(false, "Cycle rid=1 (fallback)", listen);
    EXPECT_EQ(heard, (std::vector<bool>{true, false}));
    EXPECT_EQ(wmLines(), std::vector<std::string>{"Cycle rid=1 (fallback): activation failed"});
}

// --- Element resolution --------------------------------------------------------------------------

TEST_F(WindowActivationTest, activatableElementPrefersTheManagedElementAndLeavesAuxiliaryWindowsOut) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor", .name = "Editor"});
    const auto doc = openWindow(app, {.title = "Document"});
    const auto palette = openWindow(
        app,
        {.frame = Rect{950, 500, 200, 100}, .title = "", .subrole = std::nullopt, .focused = false, .main = false});
    const auto unmanaged = openWindow(app, {.frame = Rect{50, 50, 700, 500}, .title = "Second"});
    WMState state(Layout{"DISPLAY-A", {{1, Zone{1, Rect{0, 0, 1440, 900}, {}, 0}}}, {}});
    for (auto n : {doc, palette})
        state.attach(WinRef{n, app, windows().element(n), std::nullopt, std::nullopt}, 1);

    EXPECT_EQ(controller->activatableElement(doc, state), windows().element(doc));
    EXPECT_FALSE(controller->activatableElement(palette, state).has_value()) << "auxiliary";
    EXPECT_EQ(controller->activatableElement(unmanaged, state), windows().element(unmanaged)) << "fresh lookup";
    EXPECT_FALSE(controller->activatableElement(999999, state).has_value()) << "no such window";

    // The managed element now reports another number: the window is looked up afresh.
    windows().renumber(doc, 4242);
    state.wins[4242] =
        WinRef{4242, app, AXElement{AXElement::Kind::window, app, 987654321}, std::nullopt, std::nullopt};
    EXPECT_EQ(controller->activatableElement(4242, state), windows().element(4242));
}

} // namespace
} // namespace korvane::testing
