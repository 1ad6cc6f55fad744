// Window activation on the simulated desktop: the attempts of one request and their time-out, the focus
// check, the window-first fallback, the runtime whitelist growing after failed cycles, and the chain that
// brings the application forward.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"
#include "core/WindowActivator.h"

namespace korvane::testing {

using platform::AXElement;
using platform::Task;
using O = sim::ActivationOutcome;
using Result = std::pair<bool, Nanos>; // the answer and when it came
using Results = std::vector<Result>;

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

    std::uint32_t openWindow(pid_t pid, sim::SimWindowSpec desc = {}) {
        if (desc.frame.size.width == 0) desc.frame = Rect{100, 100, 800, 600};
        return windows().open(pid, desc);
    }
    // A window that never takes the focus.
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
        std::weak_ptr<WindowActivator> weak = activator;
        activator->activateWindow(windows().element(wid), tag, false,
                                  [=, window = windows().element(wid), done = recorder()](bool ok) {
                                      WindowActivator::handleWindowFirstResult(weak, ok, tag, fallbackTag,
                                                                               allowFallback, window, done);
                                  });
    }

    pid_t other = 0;
    std::shared_ptr<WindowActivator> activator;
    Results results;
    std::vector<WindowID> focused;
};

// A browser that ignores activation and refuses the frontmost attribute, behind another application:
// each attempt walks the whole chain (30 ms, then 0.3 s after each activation and after the open).
TEST_F(WindowActivatorTest, aProblematicApplicationWalksTheChainOnEveryAttemptAndTriesARefusedScriptOnce) {
    const pid_t chrome = ws().launch({.bundleID = "com.google.Chrome"});
    const auto wid = openWindow(chrome);
    ws().bringToFront(other);
    ws().setActivateOutcome(chrome, O::ignored());
    desktop->accessibility().setAXFrontmostOutcome(chrome, O::refused());
    ws().setScriptOutcome("com.google.Chrome", {.errorNumber = -1743, .message = "Not authorised"});
    ws().setOpenBehaviour("com.google.Chrome", {.activates = false});
    activate(wid, "Focus request");
    loop().advance(seconds(5));

    // The 2.5 s time-out passes during the third attempt; its false answer arrives when that attempt ends.
    EXPECT_EQ(results, (Results{{false, milliseconds(3 * 930 + 2 * 100)}}));
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Failed after 3 attempts strategy=problematic"));
    EXPECT_EQ(ws().activateCalls().size(), 6u);
    EXPECT_EQ(ws().openCalls().size(), 3u);
    EXPECT_EQ(ws().scriptsRun().size(), 1u) << "the refusal is remembered";

    // A script that brings the application forward ends the chain in the first attempt: 30 ms, the
    // activation's 0.3 s, the script's first check, 50 ms before the focus check.
    ws().setScriptOutcome("com.google.Chrome", {});
    AppleScriptActivator::setShared(nullptr);
    const Nanos start = loop().now();
    activate(wid, "Focus request");
    loop().advance(seconds(5));
    EXPECT_EQ(results.back(), (Result{true, start + milliseconds(380)}));
    EXPECT_TRUE(logged("[Focus request] App is frontmost after Fast-Track activation by app id"));
    EXPECT_EQ(ws().openCalls().size(), 3u) << "no open after the script";
    EXPECT_EQ(focused, std::vector<WindowID>{wid});
}

TEST_F(WindowActivatorTest, minimisedWindowsAndHiddenApplicationsAreBroughtBackFirst) {
    // minimised, hidden, when the request answers
    const std::tuple<bool, bool, Nanos> rows[] = {
        {false, false, milliseconds(80)}, {true, false, milliseconds(180)}, {false, true, milliseconds(180)}};
    for (const auto& [minimized, hidden, doneAt] : rows) {
        const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
        const auto wid = openWindow(app, {.minimized = minimized});
        ws().bringToFront(other);
        if (hidden) ws().setHidden(app, true);
        desktop->accessibility().clearAXCallLog();
        results.clear();
        const Nanos start = loop().now();

        activate(wid, "Focus rid=1");
        loop().advance(seconds(2));
        EXPECT_EQ(results, (Results{{true, start + doneAt}}));
        const auto calls = windowCalls(windows().element(wid));
        EXPECT_EQ(calls.front() == "set AXMinimized", minimized);
        EXPECT_EQ(calls.back(), "set AXFocused");
        EXPECT_FALSE(ws().runningApplication(app)->isHidden);
        EXPECT_EQ(ws().frontmostApplication()->pid, app);
        ws().quit(app);
        loop().runUntilIdle();
    }
}

TEST_F(WindowActivatorTest, afterTheTimeOutTheAttemptsPausesEndAtOnce) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto target = stubbornWindow(app);
    const auto inspector =
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
        EXPECT_EQ(results, (Results{{false, begin + doneAt}})) << strategy.timeout;
    }
    EXPECT_EQ(loggedCount("[AsyncActivation:Focus rid=9] Failed after 2 attempts strategy=default"), 2u);
    EXPECT_TRUE(
        logged("[AsyncActivation:Focus rid=9] Focus verification failed: focused wid mismatch expected=%u "
               "actual=%u attempt=2/2",
               target, inspector));
}

TEST_F(WindowActivatorTest, focusThatCannotBeConfirmedIsAcceptedOnTheLastAttemptExceptForACycle) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = stubbornWindow(app);
    activate(wid, "Focus request");
    loop().advance(seconds(2));
    EXPECT_TRUE(logged("[AsyncActivation:Focus request] Focus verification inconclusive: focused window "
                       "unavailable; app frontmost attempt=2/2 accepting"));
    EXPECT_EQ(results, (Results{{true, milliseconds(260)}}));
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

TEST_F(WindowActivatorTest, failedCyclesThatNameNoBundleAddNothingToTheWhitelist) {
    // An unreadable pid fails each attempt at once.
    const pid_t chrome = ws().launch({.bundleID = "com.google.Chrome"});
    const auto unreadable = openWindow(chrome);
    desktop->accessibility().scriptAXFailure(
        unreadable, sim::kPidOfCall, {platform::AXError::cannotComplete, platform::AXError::cannotComplete});
    activate(unreadable, "Cycle rid=1");
    loop().advance(seconds(2));
    EXPECT_EQ(loggedCount("[AsyncActivation:Cycle rid=1] Invalid pid=0"), 2u);
    EXPECT_EQ(results, (Results{{false, milliseconds(100)}}));

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
    EXPECT_FALSE(results[1].first || results[2].first);
    EXPECT_FALSE(logged("Adding to runtime focus whitelist"));
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

// Three terminals, each a process of its own under one identifier, behind another application; the
// second one's window does not take: its activation is ignored and its frontmost attribute refused. A
// cycle towards it fails without bringing either other terminal forward and without recording the
// application as one needing the slow strategy; nor does a request with that strategy, as a whitelist
// would give it, reach another terminal through the identifier they share.
TEST_F(WindowActivatorTest, anActivationThatDoesNotTakeBringsNoOtherProcessOfTheApplicationForward) {
    ws().install({.bundleID = "org.example.Terminal"});
    std::vector<pid_t> terminals;
    std::vector<std::uint32_t> windowsOf;
    for (double x : {100, 150, 200}) {
        terminals.push_back(ws().launch({.bundleID = "org.example.Terminal"}));
        windowsOf.push_back(openWindow(terminals.back(), {.frame = Rect{x, 100, 400, 300}}));
    }
    ws().bringToFront(other);
    ws().setActivateOutcome(terminals[1], O::ignored());
    desktop->accessibility().setAXFrontmostOutcome(terminals[1], O::refused());

    activateWindowFirst(windowsOf[1], "Cycle rid=1 dir=1", false);
    loop().advance(seconds(3));
    activator->enqueueActivation(windows().element(windowsOf[1]), "Focus request", terminals[1],
                                 ActivationStrategy::problematic(), false, recorder());
    loop().advance(seconds(10));

    EXPECT_EQ(results.size(), 2u);
    EXPECT_FALSE(std::ranges::any_of(results, [](const Result& r) { return r.first; }));
    EXPECT_EQ(ws().frontmostApplication()->pid, other);
    for (const auto& call : ws().activateCalls())
        EXPECT_EQ(call.pid, terminals[1]);
    EXPECT_TRUE(ws().scriptsRun().empty());
    EXPECT_TRUE(ws().openCalls().empty());
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

// An editor whose activation takes no effect at first, behind another application, cycled to. The user
// turns elsewhere while the request runs: clicks a viewer's window as the request waits for the editor,
// or opens one of this program's own windows (a switcher) by its key right after the request, before it
// starts. Once the editor's activation would take, the request asks for nothing more: the window the user
// turned to keeps the keyboard, and the request reports nothing, adding nothing to the focus whitelist.
TEST_F(WindowActivatorTest, aWindowTheUserTurnsToWhileARequestRunsKeepsTheKeyboard) {
    const pid_t viewer = ws().launch({.bundleID = "org.example.Viewer"});
    const auto viewerWindow = openWindow(viewer, {.frame = Rect{300, 300, 400, 300}, .title = "Viewer"});
    const pid_t own = ws().launch(
        {.bundleID = "korvane", .name = "Korvane", .pid = desktop->process().processIdentifier()});
    const auto switcher = openWindow(own, {.frame = Rect{0, 0, 1440, 900}, .title = "Global Switcher"});
    // whose window the user turns to, and when after the request
    const std::pair<std::uint32_t, Nanos> rows[] = {{viewerWindow, milliseconds(100)}, {switcher, 0}};
    for (const auto& [chosen, after] : rows) {
        const pid_t editor = ws().launch({.bundleID = "org.example.Editor"});
        const auto wid = openWindow(editor);
        ws().bringToFront(other);
        ws().setActivateOutcome(editor, O::ignored());
        desktop->accessibility().setAXFrontmostOutcome(editor, O::ignored());
        results.clear();
        logs.log().clear();

        activateWindowFirst(wid, "Cycle rid=1 dir=1", false);
        loop().advance(after);
        windows().focus(chosen);
        // From now on the window manager would carry the editor's activation out.
        ws().setActivateOutcome(editor, O::normal());
        desktop->accessibility().setAXFrontmostOutcome(editor, O::normal());
        const std::size_t activations = ws().activateCalls().size();
        const std::size_t calls = windowCalls(windows().element(wid)).size();
        loop().advance(seconds(3));

        EXPECT_EQ(ws().frontmostApplication()->pid, windows().element(chosen).pid) << chosen;
        EXPECT_EQ(ws().activateCalls().size(), activations) << chosen;
        EXPECT_EQ(windowCalls(windows().element(wid)).size(), calls) << chosen;
        EXPECT_TRUE(results.empty()) << chosen;
        EXPECT_TRUE(logged(
            "[AsyncActivation:Cycle rid=1 dir=1] The keyboard went to wid=%u since the request", chosen))
            << chosen;
        ws().quit(editor);
        loop().runUntilIdle();
    }
    EXPECT_FALSE(logged("window-first activation failed"));
    EXPECT_FALSE(std::filesystem::exists(home / "focus-whitelist-runtime.json"));
}

// A hint typed at the switcher, which has the keyboard: it closes as it asks for the editor, and the
// window manager hands the keyboard to the viewer that had it before, ahead of the editor's late
// activation. That is no choice of the user's: the request goes on and ends with the editor in front.
TEST_F(WindowActivatorTest, theWindowTheKeyboardFallsBackToAsTheSwitcherClosesDoesNotEndTheRequest) {
    const pid_t viewer = ws().launch({.bundleID = "org.example.Viewer"});
    const auto viewerWindow = openWindow(viewer, {.frame = Rect{300, 300, 400, 300}, .title = "Viewer"});
    const pid_t editor = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = openWindow(editor);
    const pid_t own = ws().launch(
        {.bundleID = "korvane", .name = "Korvane", .pid = desktop->process().processIdentifier()});
    const auto switcher = openWindow(own, {.frame = Rect{0, 0, 1440, 900}, .title = "Global Switcher"});
    windows().focus(switcher);
    ws().setActivateOutcome(editor, O::after(milliseconds(300)));
    loop().runUntilIdle();

    activate(wid, "Focus request");
    loop().advance(milliseconds(10)); // the request is under way
    windows().close(switcher);
    windows().focus(viewerWindow);
    loop().advance(seconds(3));

    EXPECT_EQ(results.size(), 1u);
    EXPECT_EQ(results.back().first, true);
    EXPECT_EQ(ws().frontmostApplication()->pid, editor);
    EXPECT_FALSE(logged("since the request"));
}

// Two presses in a row, the second before the window manager has carried out the first: a viewer's window
// asked for first comes forward late, while the request for the editor made since waits for the editor's
// own late activation. The viewer coming forward is no choice of the user's: the editor's request goes on
// and ends with the editor in front.
TEST_F(WindowActivatorTest, aWindowAnEarlierRequestAskedForComingForwardLateDoesNotEndTheRequestAfterIt) {
    const pid_t viewer = ws().launch({.bundleID = "org.example.Viewer"});
    const auto viewerWindow = openWindow(viewer, {.frame = Rect{300, 300, 400, 300}, .title = "Viewer"});
    const pid_t editor = ws().launch({.bundleID = "org.example.Editor"});
    const auto wid = openWindow(editor);
    ws().bringToFront(other);
    ws().setActivateOutcome(viewer, O::after(milliseconds(200)));
    ws().setActivateOutcome(editor, O::after(milliseconds(300)));

    activate(viewerWindow, "Cycle rid=1 dir=1");
    loop().advance(milliseconds(40)); // the viewer's activation is asked for
    activate(wid, "Cycle rid=1 dir=1");
    loop().advance(seconds(3));

    EXPECT_EQ(results.size(), 1u);
    EXPECT_EQ(results.back().first, true);
    EXPECT_EQ(ws().frontmostApplication()->pid, editor);
    EXPECT_FALSE(logged("since the request"));
}

// A clock, which takes no keyboard focus, on a desktop not shown: it is brought forward with its desktop,
// as a pager brings it, and the keyboard is given to no window of the desktop left.
TEST_F(WindowActivatorTest, aWindowThatTakesNoFocusOnAnotherDesktopComesForwardWithItsDesktop) {
    const pid_t clocks = ws().launch({.bundleID = "org.example.Clock"});
    const auto clock = openWindow(clocks, {.frame = Rect{200, 200, 200, 200},
                                           .focused = false,
                                           .main = false,
                                           .front = false,
                                           .takesFocus = false});
    windows().sendToDesktop(clock, 1);
    ws().bringToFront(other);
    const auto otherWindow = windows().frontToBack().front();

    activate(clock, "Cycle rid=1 dir=1");
    loop().advance(seconds(1));

    EXPECT_EQ(results, (Results{{true, 0}}));
    EXPECT_EQ(windows().shownDesktop(), 1);
    EXPECT_EQ(windows().frontToBack().front(), clock);
    EXPECT_TRUE(windowCalls(windows().element(otherWindow)).empty());
    EXPECT_TRUE(
        logged("[AsyncActivation:Cycle rid=1 dir=1] Raised a window that takes no keyboard focus with "
               "its desktop"));
}

class WindowFirstTest : public WindowActivatorTest {
  protected:
    // An editor whose activation is refused both ways, behind another application.
    void SetUp() override {
        WindowActivatorTest::SetUp();
        app = ws().launch({.bundleID = "org.example.Editor"});
        wid = openWindow(app);
        ws().bringToFront(other);
        ws().setActivateOutcome(app, O::refused());
        desktop->accessibility().setAXFrontmostOutcome(app, O::refused());
        logs.log().clear();
    }
    pid_t app = 0;
    std::uint32_t wid = 0;
};

TEST_F(WindowFirstTest, aFailedWindowFirstActivationIsRetriedWithAllWindowsWhereItMaySucceed) {
    activateWindowFirst(wid, "Focus request", true);
    loop().advance(seconds(3));
    EXPECT_EQ(loggedCount("[wm] Focus request: window-first activation failed; retrying allowAllWindows"),
              1u);
    EXPECT_EQ(loggedCount("[wm] Focus request (fallback): activation failed"), 1u);
    // Each request: 30 ms, 100 ms, 30 ms; the second starts when the first one's answer is handled.
    EXPECT_EQ(results, (Results{{false, milliseconds(2 * 160)}}));
    std::vector<unsigned> options;
    for (const auto& call : ws().activateCalls())
        if (call.pid == app) options.push_back(call.options);
    EXPECT_EQ(options,
              (std::vector<unsigned>{0, 0, platform::kActivateAllWindows, platform::kActivateAllWindows}));

    activateWindowFirst(wid, "FocusZone[Stack] Z1", true, "FocusZoneFallback Z1");
    loop().advance(milliseconds(200)); // the first request has failed; the fallback has just begun
    ws().setActivateOutcome(app, O::normal());
    loop().advance(seconds(2));
    EXPECT_EQ(results.back().first, true);
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
    // A request whose activator goes away while it is queued ends silently.
    activate(wid, "Focus rid=1");
    activator.reset();
    loop().advance(seconds(3));
    EXPECT_EQ(heard, std::vector<bool>{true});
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(ws().activateCalls().empty());
    EXPECT_FALSE(logged("[wm]"));
}

class AppActivationTest : public WindowActivatorTest {
  protected:
    pid_t launchRefusing(sim::SimAppSpec spec, O activate = O::refused(), O ax = O::refused()) {
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
};

TEST_F(AppActivationTest, theChainStopsAtTheFirstConfirmedMethod) {
    // bundle, activation, frontmost attribute, fallback allowed, result, when, the decisive line
    const std::tuple<std::optional<std::string>, O, O, bool, bool, Nanos, const char*> rows[] = {
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
    for (const auto& [bundle, activate, ax, useFallback, expected, endsAfter, line] : rows) {
        const pid_t app = launchRefusing({.bundleID = bundle, .name = "tool"}, activate, ax);
        activateApp(app, useFallback, true, seconds(1));
        EXPECT_EQ(result, expected) << line;
        EXPECT_EQ(endedAt, endsAfter) << line;
        EXPECT_TRUE(logged(line)) << line;
        const auto calls = ws().activateCalls();
        const auto first = std::ranges::find_if(calls, [app](const auto& c) { return c.pid == app; });
        ASSERT_NE(first, calls.end());
        EXPECT_EQ(first->options, platform::kActivateAllWindows) << line;
    }
    EXPECT_TRUE(ws().scriptsRun().empty());
    EXPECT_TRUE(ws().openCalls().empty());
}

TEST_F(AppActivationTest, withFallbackTheApplicationIsOpenedAndAnOpenThatNeverAnswersIsGivenUp) {
    using Mode = sim::OpenBehaviour::Mode;
    const auto opens = [](Mode mode, Nanos after = 0) { return sim::OpenBehaviour{mode, after}; };
    // bundle, activation, how the open ends, result, when, the decisive line
    const std::tuple<std::string, O, sim::OpenBehaviour, bool, Nanos, const char*> rows[] = {
        // The script's memory of a refusal is not involved: the script runs and does not take.
        // 0.3 s, the script's 0.5 s, 0.3 s, then the open's 40 ms.
        {"com.google.Chrome", O::ignored(), opens(Mode::completes, milliseconds(40)), true,
         milliseconds(1140), "[R] App is frontmost after desktop entry launch"},
        {"org.example.Quick", O::refused(), opens(Mode::fails, milliseconds(70)), false, milliseconds(370),
         "[R] Desktop entry launch attempted"},
        // Five seconds for the open, then its 0.3 s confirmation.
        {"org.example.Slow", O::refused(), opens(Mode::never), false, seconds(5.3),
         "openApplicationAndWait: no completion for bundle=org.example.Slow after 5.0s; giving up"},
    };
    for (const auto& [bundle, activate, open, expected, endsAfter, line] : rows) {
        const pid_t app = launchRefusing({.bundleID = bundle}, activate);
        ws().setScriptOutcome(bundle, {.activates = false});
        ws().setOpenBehaviour(bundle, open);
        // Ended well before the five seconds of an unanswered open would have passed.
        activateApp(app, true, false, endsAfter + milliseconds(100));
        EXPECT_EQ(result, expected) << bundle;
        EXPECT_EQ(endedAt, endsAfter) << bundle;
        EXPECT_TRUE(logged(line)) << bundle;
        EXPECT_EQ(ws().openCalls().back().bundleID, bundle);
        EXPECT_TRUE(ws().openCalls().back().activates);
        EXPECT_EQ(loop().pendingCount(), 0u) << bundle << ": no give-up timer left behind";
    }
}

TEST_F(AppActivationTest, forceFrontmostTriesAccessibilityThenActivation) {
    const pid_t app = ws().launch({.bundleID = "org.example.Editor"});
    // frontmost attribute, activation, result, the last line
    const std::tuple<O, O, bool, const char*> rows[] = {
        {O::normal(), O::refused(), true, "[F] Forced frontmost via AX"},
        {O::refused(), O::normal(), true, "[F] Forced frontmost via _NET_ACTIVE_WINDOW"},
        {O::ignored(), O::ignored(), false, "[F] Activate fallback returned true but app is not frontmost"},
        {O::refused(), O::refused(), false, "[F] _NET_ACTIVE_WINDOW fallback returned false"},
    };
    for (const auto& [ax, activate, expected, line] : rows) {
        ws().bringToFront(other);
        desktop->accessibility().setAXFrontmostOutcome(app, ax);
        ws().setActivateOutcome(app, activate);
        run(activator->forceFrontmost(app, "F"));
        EXPECT_EQ(result, expected) << line;
        EXPECT_TRUE(logged(line));
    }
    ws().bringToFront(app);
    run(activator->forceFrontmost(app, "F"));
    EXPECT_EQ(result, true);
    EXPECT_FALSE(logged("[wm]")) << "already frontmost";

    ws().quit(app);
    run(activator->forceFrontmost(app, "F"));
    EXPECT_EQ(result, false);
    EXPECT_TRUE(logged("[F] Running app not found for pid=%d", app));
}

} // namespace korvane::testing
