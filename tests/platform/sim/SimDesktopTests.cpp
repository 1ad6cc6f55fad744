// Tests of the simulated desktop: the situations later tests script (failures, late numbers, activation
// outcomes, observers) must behave as described, in virtual time.
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvane;
using namespace korvane::sim;
using platform::AXElement;
using platform::AXError;
using platform::AXValue;
namespace WK = platform::WindowKey;

namespace {

class SimDesktopTest : public ::testing::Test {
  protected:
    SimDesktopTest() {
        desk->windowServer().setShowsSystemEntries(false); // the lists below hold the windows alone
        primary = desk->screens().addDisplay(
            {.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}});
        editor = desk->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        desk->loop().runUntilIdle();
    }

    SimAccessibility& ax() { return desk->accessibility(); }
    SimWindows& windows() { return desk->windows(); }
    SimWorkspace& ws() { return desk->workspace(); }
    SimRunLoop& loop() { return desk->loop(); }

    AXError read(const AXElement& e, const std::string& attribute, AXValue& out) {
        return ax().copyAttribute(e, attribute, out);
    }
    AXError status(const AXElement& e, const std::string& attribute) {
        AXValue v;
        return read(e, attribute, v);
    }
    template <class T> T value(const AXElement& e, const std::string& attribute) {
        AXValue v;
        EXPECT_EQ(read(e, attribute, v), AXError::success) << attribute;
        const T* p = std::get_if<T>(&v);
        EXPECT_NE(p, nullptr) << attribute;
        return p ? *p : T{};
    }

    // Names of the notifications posted on the centre, in delivery order.
    std::vector<std::unique_ptr<platform::ObserverToken>>
    watch(std::vector<std::string> names, std::vector<std::string>& seen,
          std::vector<nlohmann::json>* infos = nullptr) {
        std::vector<std::unique_ptr<platform::ObserverToken>> tokens;
        for (const auto& n : names)
            tokens.push_back(desk->notifications().addObserver(
                n, platform::NotificationCenter::Delivery::mainQueue,
                [&seen, infos](const std::string& name, const nlohmann::json& info) {
                    seen.push_back(name);
                    if (infos) infos->push_back(info);
                }));
        return tokens;
    }

    std::vector<std::uint32_t> listedNumbers(unsigned options, std::uint32_t relativeTo = 0) {
        auto list = desk->windowServer().copyWindowInfo(options, relativeTo);
        EXPECT_TRUE(list.has_value());
        std::vector<std::uint32_t> out;
        if (!list) return out;
        for (const auto& e : *list)
            if (e.is_object() && e.contains(WK::number) && e[WK::number].is_number_integer())
                out.push_back(e[WK::number].get<std::uint32_t>());
        return out;
    }

    std::shared_ptr<platform::AXObserver> observe(pid_t pid, platform::AXObserver::Callback callback) {
        AXError err = AXError::failure;
        auto observer = ax().createObserver(pid, std::move(callback), err);
        EXPECT_EQ(err, AXError::success);
        return observer;
    }
    bool isFront(pid_t pid) {
        auto f = ws().frontmostApplication();
        return f && f->pid == pid;
    }
    static std::string activationScript(const std::string& bundleID) {
        return "tell application id \"" + bundleID + "\"\n    activate\nend tell";
    }

    ScopedSimDesktop desk;
    int primary = 0;
    pid_t editor = 0;
};

TEST_F(SimDesktopTest, scriptedFailuresComeInOrderThenNormalAnswersResume) {
    auto a = windows().open(editor, {.frame = Rect{100, 100, 400, 300}, .title = "A"});
    auto b = windows().open(editor, {.frame = Rect{200, 100, 400, 300}, .title = "B"});
    ax().scriptAXFailure(
        a, "AXSize",
        {AXError::cannotComplete, AXError::cannotComplete, AXError::success, AXError::apiDisabled});

    // Other attributes of the same window and the same attribute of another window are untouched.
    EXPECT_EQ(status(windows().element(a), "AXPosition"), AXError::success);
    EXPECT_EQ(status(windows().element(b), "AXSize"), AXError::success);

    std::vector<AXError> seen;
    for (int i = 0; i < 6; ++i)
        seen.push_back(status(windows().element(a), "AXSize"));
    EXPECT_EQ(seen, (std::vector<AXError>{AXError::cannotComplete, AXError::cannotComplete, AXError::success,
                                          AXError::apiDisabled, AXError::success, AXError::success}));
    EXPECT_EQ(value<Size>(windows().element(a), "AXSize"), (Size{400, 300}));

    // The pid read can fail too, once, and then reads the owner again.
    ax().scriptAXFailure(a, kPidOfCall, {AXError::failure});
    pid_t pid = 0;
    EXPECT_EQ(ax().pidOf(windows().element(a), pid), AXError::failure);
    EXPECT_EQ(ax().pidOf(windows().element(a), pid), AXError::success);
    EXPECT_EQ(pid, editor);

    // A failed write changes nothing, and the call log keeps it with its result.
    ax().clearAXCallLog();
    ax().scriptAXFailure(b, "AXSize", {AXError::cannotComplete});
    EXPECT_EQ(ax().setAttribute(windows().element(b), "AXSize", Size{500, 350}), AXError::cannotComplete);
    EXPECT_EQ(windows().frame(b).size, (Size{400, 300}));
    EXPECT_EQ(ax().setAttribute(windows().element(b), "AXSize", Size{500, 350}), AXError::success);
    EXPECT_EQ(windows().frame(b).size, (Size{500, 350}));
    auto log = ax().axCallLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].result, AXError::cannotComplete);
    EXPECT_EQ(log[1].result, AXError::success);
}

TEST_F(SimDesktopTest, callLogKeepsWritesAndActionsInOrderAndLeavesReadsOut) {
    auto w = windows().open(editor, {.frame = Rect{100, 100, 400, 300}});
    const AXElement el = windows().element(w);
    ax().clearAXCallLog();

    ax().setAttribute(el, "AXSize", Size{600, 400});
    status(el, "AXTitle");
    ax().setAttribute(el, "AXPosition", Point{10, 40});
    ax().setAttribute(el, "AXSize", Size{600, 400});
    ax().performAction(el, "AXRaise");
    ax().performAction(el, "AXPress");

    auto log = ax().axCallLog();
    std::vector<std::string> steps;
    for (const auto& c : log)
        steps.push_back(c.kind + " " + c.name);
    EXPECT_EQ(steps, (std::vector<std::string>{"set AXSize", "set AXPosition", "set AXSize", "action AXRaise",
                                               "action AXPress"}));
    EXPECT_EQ(log[1].element, el);
    EXPECT_EQ(std::get<Point>(log[1].value), (Point{10, 40}));
    EXPECT_EQ(log[4].result, AXError::actionUnsupported);

    ax().clearAXCallLog();
    EXPECT_TRUE(ax().axCallLog().empty());
}

TEST_F(SimDesktopTest, sizeWritesRespectLimitsAndIncrements) {
    struct Row {
        Size asked;
        Size got;
    };
    // Minimum 200x150, maximum 800x600, increments of 10x20 above the minimum.
    const Row rows[] = {
        {{100, 100}, {200, 150}},   // below the minimum
        {{200, 150}, {200, 150}},   // exactly the minimum
        {{500, 390}, {500, 390}},   // on the increments
        {{505, 409}, {500, 390}},   // between increments: snapped down
        {{800, 590}, {800, 590}},   // largest size on the increments
        {{1000, 1000}, {800, 590}}, // above the maximum: clamped, then snapped
    };
    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300},
                                     .minSize = Size{200, 150},
                                     .maxSize = Size{800, 600},
                                     .sizeIncrement = Size{10, 20}});
    const AXElement el = windows().element(w);
    for (const auto& r : rows) {
        EXPECT_EQ(ax().setAttribute(el, "AXSize", r.asked), AXError::success);
        EXPECT_EQ(value<Size>(el, "AXSize"), r.got) << r.asked.width << "x" << r.asked.height;
    }
}

TEST_F(SimDesktopTest, windowsThatIgnoreWritesAcceptThemAndStayPut) {
    auto w = windows().open(editor,
                            {.frame = Rect{100, 100, 400, 300}, .ignoresResize = true, .ignoresMove = true});
    const AXElement el = windows().element(w);
    const Rect before = windows().frameTopLeft(w);
    EXPECT_EQ(ax().setAttribute(el, "AXSize", Size{900, 700}), AXError::success);
    EXPECT_EQ(ax().setAttribute(el, "AXPosition", Point{0, 0}), AXError::success);
    EXPECT_EQ(windows().frameTopLeft(w), before);

    // Values no window could take are refused rather than stored.
    auto plain = windows().open(editor, {.frame = Rect{100, 100, 400, 300}});
    const AXElement p = windows().element(plain);
    EXPECT_EQ(ax().setAttribute(p, "AXSize", Size{std::nan(""), 300}), AXError::illegalArgument);
    EXPECT_EQ(ax().setAttribute(p, "AXSize", Size{-5, 300}), AXError::illegalArgument);
    EXPECT_EQ(ax().setAttribute(p, "AXPosition", Size{1, 2}), AXError::illegalArgument);
    EXPECT_EQ(windows().frame(plain), (Rect{100, 100, 400, 300}));
}

TEST_F(SimDesktopTest, topLeftPositionsAndListBoundsFlipAgainstThePrimaryHeight) {
    struct Row {
        const char* arrangement;
        Rect second; // the second display, bottom-left global
        Rect window; // a window on it, bottom-left global
        double expectedTopLeftY;
    };
    // H = 900, the primary's height: y_tl = 900 - y_bl - h.
    const Row rows[] = {
        {"to the right", Rect{1440, -180, 1920, 1080}, Rect{1500, 100, 800, 600}, 200},
        {"to the right, below the primary's bottom", Rect{1440, -180, 1920, 1080}, Rect{1600, -150, 800, 600},
         450},
        {"above", Rect{0, 900, 1920, 1080}, Rect{100, 1200, 800, 600}, -900},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.arrangement);
        int second = desk->screens().addDisplay({.frame = r.second});
        auto w = windows().open(editor, {.frame = r.window});
        const AXElement el = windows().element(w);

        EXPECT_EQ(value<Point>(el, "AXPosition"), (Point{r.window.origin.x, r.expectedTopLeftY}));
        auto list = desk->windowServer().copyWindowInfo(platform::kIncludingWindow, w);
        ASSERT_TRUE(list && list->size() == 1);
        const auto& b = (*list)[0][WK::bounds];
        EXPECT_EQ(b["X"].get<double>(), r.window.origin.x);
        EXPECT_EQ(b["Y"].get<double>(), r.expectedTopLeftY);
        EXPECT_EQ(b["Width"].get<double>(), r.window.size.width);
        EXPECT_EQ(b["Height"].get<double>(), r.window.size.height);

        // A top-left position written through accessibility reads back as the bottom-left frame.
        ax().setAttribute(el, "AXPosition", Point{r.window.origin.x + 10, r.expectedTopLeftY - 20});
        EXPECT_EQ(windows().frame(w), (Rect{r.window.origin.x + 10, r.window.origin.y + 20, 800, 600}));

        windows().close(w);
        desk->screens().removeDisplay(second);
    }
}

TEST_F(SimDesktopTest, screensListTheMainDisplayFirstAndAnnounceChangesThroughTheLoop) {
    std::vector<std::string> seen;
    auto tokens = watch({platform::kScreenParametersDidChange}, seen);
    int right = desk->screens().addDisplay({.frame = Rect{1440, 0, 1920, 1080}, .uuid = "RIGHT"});
    desk->screens().setMainDisplay(right);
    EXPECT_TRUE(seen.empty()); // never inside the hook
    loop().runUntilIdle();
    EXPECT_EQ(seen.size(), 2u);

    auto list = desk->screens().screens();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].displayUUID, "RIGHT");
    EXPECT_EQ(desk->screens().mainScreen()->displayUUID, "RIGHT");
    EXPECT_NE(list[0].displayNumber, list[1].displayNumber);

    desk->screens().removeDisplay(right);
    EXPECT_EQ(desk->screens().mainScreen()->frame, (Rect{0, 0, 1440, 900}));
}

TEST_F(SimDesktopTest, onScreenListLeavesOutWindowsThatAreNotShown) {
    auto shown = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    auto minimized = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .minimized = true});
    auto flagged = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .onScreen = false});
    auto desktop = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .layer = -2147483623});
    pid_t hiddenApp = ws().launch({.bundleID = "com.example.hidden", .name = "Hidden", .hidden = true});
    auto ofHidden = windows().open(hiddenApp, {.frame = Rect{0, 0, 300, 300}});

    auto all = listedNumbers(0);
    EXPECT_EQ(all.size(), 5u);
    EXPECT_EQ(listedNumbers(platform::kOnScreenOnly), (std::vector<std::uint32_t>{desktop, shown}));
    EXPECT_EQ(listedNumbers(platform::kOnScreenOnly | platform::kExcludeDesktopElements),
              (std::vector<std::uint32_t>{shown}));
    // Including-window answers for the window whether or not it is shown, and nothing for an unknown one.
    EXPECT_EQ(listedNumbers(platform::kIncludingWindow, minimized), (std::vector<std::uint32_t>{minimized}));
    EXPECT_EQ(listedNumbers(platform::kIncludingWindow, ofHidden), (std::vector<std::uint32_t>{ofHidden}));
    EXPECT_TRUE(listedNumbers(platform::kIncludingWindow, 99999).empty());
    (void)flagged;
}

TEST_F(SimDesktopTest, listRunsFrontToBackAndFocusMovesAWindowToTheFront) {
    auto a = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .title = "A"});
    auto b = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .title = "B", .titleInList = false});
    EXPECT_EQ(listedNumbers(0), (std::vector<std::uint32_t>{b, a}));

    windows().focus(a);
    EXPECT_EQ(listedNumbers(0), (std::vector<std::uint32_t>{a, b}));
    ax().performAction(windows().element(b), "AXRaise");
    EXPECT_EQ(listedNumbers(0), (std::vector<std::uint32_t>{b, a}));

    auto list = *desk->windowServer().copyWindowInfo(0);
    EXPECT_FALSE(list[0].contains(WK::name));
    EXPECT_EQ(list[1][WK::name], "A");
    EXPECT_EQ(list[1][WK::ownerName], "Editor");
    EXPECT_EQ(list[1][WK::ownerPID], editor);
    EXPECT_EQ(list[1][WK::layer], 0);
}

TEST_F(SimDesktopTest, listCanFailAndCarryRawEntriesAndCountsEveryFetch) {
    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    const std::size_t before = desk->windowServer().windowListFetchCount();

    desk->windowServer().setAvailable(false);
    EXPECT_FALSE(desk->windowServer().copyWindowInfo(platform::kOnScreenOnly).has_value());
    desk->windowServer().setAvailable(true);

    nlohmann::json menuBar = {{WK::ownerName, "WindowServer"},
                              {WK::ownerPID, 88},
                              {WK::layer, 24},
                              {WK::number, 5},
                              {WK::isOnscreen, true},
                              {WK::bounds, {{"X", 0}, {"Y", 0}, {"Width", 1440}, {"Height", 25}}}};
    nlohmann::json noBounds = {{WK::ownerPID, editor}, {WK::layer, 0}, {WK::number, 6}};
    nlohmann::json wrongType = {{WK::ownerPID, "editor"}, {WK::layer, 0}, {WK::number, "7"}};
    desk->windowServer().addRawEntry(menuBar);
    int back = desk->windowServer().addRawEntry(noBounds, false);
    desk->windowServer().addRawEntry(wrongType, false);

    auto list =
        desk->windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_EQ((*list)[0], menuBar);
    EXPECT_EQ((*list)[1][WK::number], w);
    EXPECT_EQ((*list)[2], noBounds);
    EXPECT_EQ((*list)[3], wrongType);

    desk->windowServer().removeRawEntry(back);
    EXPECT_EQ(desk->windowServer().copyWindowInfo(0)->size(), 3u);
    EXPECT_EQ(desk->windowServer().windowListFetchCount(), before + 3);
}

TEST_F(SimDesktopTest, lateWindowNumbersAppearAtTheirInstant) {
    struct Row {
        Nanos elapsed;
        bool visible;
    };
    const Row rows[] = {{milliseconds(499), false}, {milliseconds(500), true}, {milliseconds(501), true}};
    for (bool bySleeping : {false, true}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message()
                         << "elapsed " << r.elapsed << (bySleeping ? " asleep" : " advanced"));
            const Nanos start = loop().now();
            auto w = windows().open(
                editor, {.frame = Rect{0, 0, 300, 300}, .numberAppearsAt = start + milliseconds(500)});
            const AXElement el = windows().element(w);
            EXPECT_EQ(status(el, "AXWindowNumber"), AXError::noValue);
            EXPECT_TRUE(listedNumbers(platform::kIncludingWindow, w).empty());

            if (bySleeping)
                loop().sleepBlocking(r.elapsed);
            else
                loop().advance(r.elapsed);
            EXPECT_EQ(status(el, "AXWindowNumber") == AXError::success, r.visible);
            EXPECT_EQ(listedNumbers(platform::kIncludingWindow, w).size(), r.visible ? 1u : 0u);
            windows().close(w);
        }
    }
}

TEST_F(SimDesktopTest, windowNumbersCanBePrivateMissingRenumberedOrRecreated) {
    auto privateOnly = windows().open(
        editor, {.frame = Rect{0, 0, 300, 300}, .numberAttribute = WindowNumberAttribute::privateOnly});
    auto none = windows().open(
        editor, {.frame = Rect{10, 10, 300, 300}, .numberAttribute = WindowNumberAttribute::none});
    EXPECT_EQ(status(windows().element(privateOnly), "AXWindowNumber"), AXError::attributeUnsupported);
    EXPECT_EQ(value<double>(windows().element(privateOnly), "_AXWindow"), privateOnly);
    EXPECT_EQ(status(windows().element(none), "AXWindowNumber"), AXError::attributeUnsupported);
    EXPECT_EQ(status(windows().element(none), "_AXWindow"), AXError::attributeUnsupported);
    // The window server still knows it, so a client can match it by frame.
    EXPECT_EQ(listedNumbers(platform::kIncludingWindow, none), (std::vector<std::uint32_t>{none}));

    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .title = "Doc"});
    const AXElement el = windows().element(w);
    windows().renumber(w, 4242);
    EXPECT_EQ(value<double>(el, "AXWindowNumber"), 4242);
    auto fresh = windows().recreate(4242, 5000);
    EXPECT_EQ(fresh, 5000u);
    EXPECT_EQ(status(el, "AXTitle"), AXError::invalidUIElement);
    EXPECT_EQ(value<std::string>(windows().element(fresh), "AXTitle"), "Doc");
    EXPECT_EQ(windows().frame(fresh), (Rect{0, 0, 300, 300}));
}

TEST_F(SimDesktopTest, closedWindowsAnswerInvalidAndHandTheFocusOn) {
    auto back = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    auto front = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    const AXElement app = ax().applicationElement(editor);
    const AXElement gone = windows().element(front);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), gone);

    windows().close(front);
    EXPECT_EQ(status(gone, "AXPosition"), AXError::invalidUIElement);
    EXPECT_EQ(ax().setAttribute(gone, "AXSize", Size{1, 1}), AXError::invalidUIElement);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), windows().element(back));
    EXPECT_EQ(value<std::vector<AXElement>>(app, "AXWindows"),
              (std::vector<AXElement>{windows().element(back)}));

    windows().close(back);
    EXPECT_EQ(status(app, "AXFocusedWindow"), AXError::noValue);
}

TEST_F(SimDesktopTest, observersGetNotificationsThroughTheLoopInOrder) {
    std::vector<std::pair<std::string, AXElement>> got;
    auto observer = observe(editor, [&](const AXElement& e, const std::string& n) { got.emplace_back(n, e); });
    const AXElement app = ax().applicationElement(editor);
    ASSERT_EQ(observer->addNotification(app, "AXWindowCreated"), AXError::success);
    ASSERT_EQ(observer->addNotification(app, "AXFocusedWindowChanged"), AXError::success);

    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    const AXElement el = windows().element(w);
    EXPECT_TRUE(got.empty()); // never inside the call that caused it
    loop().runUntilIdle();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::make_pair(std::string("AXWindowCreated"), el));
    EXPECT_EQ(got[1], std::make_pair(std::string("AXFocusedWindowChanged"), el));

    got.clear();
    EXPECT_EQ(observer->addNotification(el, "AXTitleChanged"), AXError::success);
    EXPECT_EQ(observer->addNotification(el, "AXUIElementDestroyed"), AXError::success);
    windows().setTitle(w, "Renamed");
    windows().setFrame(w, Rect{5, 5, 300, 300}); // moves are not registered
    windows().close(w);
    loop().runUntilIdle();
    EXPECT_EQ(got, (std::vector<std::pair<std::string, AXElement>>{{"AXTitleChanged", el},
                                                                   {"AXUIElementDestroyed", el}}));
}

TEST_F(SimDesktopTest, notificationsStopWhenTheObserverIsDroppedOrUnregistered) {
    int calls = 0;
    auto observer = observe(editor, [&](const AXElement&, const std::string&) { ++calls; });
    const AXElement app = ax().applicationElement(editor);
    observer->addNotification(app, "AXWindowCreated");

    windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    observer->removeNotification(app, "AXWindowCreated"); // queued, then unregistered before delivery
    loop().runUntilIdle();
    EXPECT_EQ(calls, 0);

    observer->addNotification(app, "AXWindowCreated");
    windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    observer.reset(); // queued, then dropped before delivery
    loop().runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ax().liveObserverCount(editor), 0u);
}

TEST_F(SimDesktopTest, observerRegistrationRules) {
    pid_t other = ws().launch({.bundleID = "com.example.other", .name = "Other"});
    auto mine = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    auto theirs = windows().open(other, {.frame = Rect{0, 0, 300, 300}});
    auto observer = observe(editor, {});
    AXError err;

    EXPECT_EQ(observer->addNotification(windows().element(mine), "AXUIElementDestroyed"), AXError::success);
    EXPECT_EQ(observer->addNotification(windows().element(mine), "AXUIElementDestroyed"),
              AXError::notificationAlreadyRegistered);
    EXPECT_EQ(observer->addNotification(windows().element(theirs), "AXUIElementDestroyed"),
              AXError::illegalArgument);
    EXPECT_EQ(observer->removeNotification(windows().element(mine), "AXTitleChanged"),
              AXError::notificationNotRegistered);
    const AXElement closed = windows().element(mine);
    windows().close(mine);
    EXPECT_EQ(observer->addNotification(closed, "AXTitleChanged"), AXError::invalidUIElement);

    ax().scriptAXFailure(ax().applicationElement(editor), "AXWindowCreated", {AXError::cannotComplete});
    EXPECT_EQ(observer->addNotification(ax().applicationElement(editor), "AXWindowCreated"),
              AXError::cannotComplete);
    EXPECT_EQ(observer->addNotification(ax().applicationElement(editor), "AXWindowCreated"),
              AXError::success);

    ax().scriptObserverCreationFailure(other, {AXError::failure});
    EXPECT_EQ(ax().createObserver(other, {}, err), nullptr);
    EXPECT_EQ(err, AXError::failure);
    EXPECT_NE(ax().createObserver(other, {}, err), nullptr);
}

TEST_F(SimDesktopTest, quittingEndsWindowsSilentlyAndAnnouncesTheTermination) {
    std::vector<std::string> seen;
    std::vector<nlohmann::json> infos;
    auto tokens = watch({platform::kDidLaunchApplication, platform::kDidTerminateApplication}, seen, &infos);
    pid_t app = ws().launch({.bundleID = "com.example.short", .name = "Short"});
    auto w = windows().open(app, {.frame = Rect{0, 0, 300, 300}});
    int axCalls = 0;
    auto observer = observe(app, [&](const AXElement&, const std::string&) { ++axCalls; });
    observer->addNotification(windows().element(w), "AXUIElementDestroyed");
    const AXElement el = windows().element(w);

    ws().quit(app);
    loop().runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string>{platform::kDidLaunchApplication,
                                              platform::kDidTerminateApplication}));
    EXPECT_EQ(infos[1]["pid"], app);
    EXPECT_EQ(infos[1]["bundleID"], "com.example.short");
    EXPECT_EQ(axCalls, 0);
    EXPECT_FALSE(windows().exists(w));
    EXPECT_EQ(status(el, "AXPosition"), AXError::invalidUIElement);
    EXPECT_EQ(status(ax().applicationElement(app), "AXWindows"), AXError::invalidUIElement);
    EXPECT_FALSE(ws().runningApplication(app).has_value());
}

TEST_F(SimDesktopTest, activationOutcomesDecideWhatActivateAnswersAndWhen) {
    struct Row {
        const char* name;
        ActivationOutcome outcome;
        bool answers;
        bool frontmostAt299ms;
        bool frontmostAt300ms;
    };
    const Row rows[] = {
        {"normal", ActivationOutcome::normal(), true, true, true},
        {"ignored", ActivationOutcome::ignored(), true, false, false},
        {"refused", ActivationOutcome::refused(), false, false, false},
        {"delayed", ActivationOutcome::after(milliseconds(300)), true, false, true},
    };
    for (bool bySleeping : {false, true}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message() << r.name << (bySleeping ? " asleep" : " advanced"));
            pid_t app = ws().launch({.bundleID = std::string("com.example.") + r.name, .name = r.name});
            ws().setActivateOutcome(app, r.outcome);
            EXPECT_EQ(ws().activate(app, 0), r.answers);
            auto step = [&](Nanos d) { bySleeping ? loop().sleepBlocking(d) : loop().advance(d); };
            step(milliseconds(299));
            EXPECT_EQ(isFront(app), r.frontmostAt299ms);
            step(milliseconds(1));
            EXPECT_EQ(isFront(app), r.frontmostAt300ms);
            EXPECT_EQ(ws().runningApplication(app)->isActive, r.frontmostAt300ms);
            ws().quit(app);
        }
    }
}

TEST_F(SimDesktopTest, frontmostAttributeFollowsItsOwnOutcomeAndActivationIsAnnouncedOnce) {
    std::vector<std::string> seen;
    std::vector<nlohmann::json> infos;
    auto tokens = watch({platform::kDidActivateApplication}, seen, &infos);
    const AXElement app = ax().applicationElement(editor);
    ax().setAXFrontmostOutcome(editor, ActivationOutcome::refused());
    EXPECT_EQ(ax().setAttribute(app, "AXFrontmost", true), AXError::cannotComplete);
    EXPECT_FALSE(value<bool>(app, "AXFrontmost"));

    ax().setAXFrontmostOutcome(editor, ActivationOutcome::normal());
    EXPECT_EQ(ax().setAttribute(app, "AXFrontmost", true), AXError::success);
    EXPECT_TRUE(value<bool>(app, "AXFrontmost"));
    EXPECT_TRUE(isFront(editor));
    ws().activate(editor, 0);
    EXPECT_TRUE(seen.empty());
    loop().runUntilIdle();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(infos[0]["pid"], editor);
    EXPECT_EQ(infos[0]["bundleID"], "com.example.editor");
}

TEST_F(SimDesktopTest, anApplicationThatOnlyAnswersTheExactActivationScript) {
    ws().setActivateOutcome(editor, ActivationOutcome::ignored());
    ax().setAXFrontmostOutcome(editor, ActivationOutcome::ignored());
    ws().activate(editor, 0);
    ax().setAttribute(ax().applicationElement(editor), "AXFrontmost", true);
    loop().advance(seconds(1.0));
    EXPECT_FALSE(isFront(editor));

    const std::string script = activationScript("com.example.editor");
    EXPECT_FALSE(ws().runScript(script + "\n").ok) << "anything but the exact three lines";
    EXPECT_FALSE(ws().runScript(activationScript("com.example.none")).ok);
    ws().setScriptOutcome("com.example.editor", {.errorNumber = -1743, .message = "not allowed"});
    auto refused = ws().runScript(script);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.errorNumber, -1743);
    EXPECT_EQ(refused.message, "not allowed");
    ws().setScriptOutcome("com.example.editor", {.activates = false});
    EXPECT_TRUE(ws().runScript(script).ok);
    EXPECT_FALSE(isFront(editor));

    ws().setScriptOutcome("com.example.editor", {});
    auto ran = ws().runScript(script);
    EXPECT_TRUE(ran.ok);
    EXPECT_EQ(ran.errorNumber, 0);
    EXPECT_TRUE(isFront(editor));
    EXPECT_EQ(ws().scriptsRun().size(), 5u);
}

TEST_F(SimDesktopTest, openingAnApplicationLaunchesItThroughTheLoopFailsOrNeverEnds) {
    ws().install({.bundleID = "com.example.viewer", .name = "Viewer"});
    ws().install({.bundleID = "com.example.broken", .name = "Broken"});
    ws().install({.bundleID = "com.example.stuck", .name = "Stuck"});
    ws().setOpenBehaviour("com.example.viewer", {.after = seconds(2.0)});
    ws().setOpenBehaviour("com.example.broken", {.mode = OpenBehaviour::Mode::fails, .error = "damaged"});
    ws().setOpenBehaviour("com.example.stuck", {.mode = OpenBehaviour::Mode::never});
    EXPECT_TRUE(ws().urlForApplication("com.example.viewer").has_value());
    EXPECT_FALSE(ws().urlForApplication("com.example.absent").has_value());

    std::map<std::string, platform::OpenApplicationResult> results;
    for (std::string id : {"com.example.viewer", "com.example.broken", "com.example.stuck", "com.example.absent"})
        ws().openApplication(id, true, [&results, id](platform::OpenApplicationResult r) { results[id] = r; });
    loop().advance(seconds(1.999));
    EXPECT_EQ(results.count("com.example.viewer"), 0u);
    loop().advance(seconds(10.0));
    ASSERT_TRUE(results["com.example.viewer"].app);
    const auto viewer = *results["com.example.viewer"].app;
    EXPECT_EQ(viewer.bundleID, "com.example.viewer");
    EXPECT_TRUE(isFront(viewer.pid));
    EXPECT_TRUE(ws().runningApplication(viewer.pid).has_value());

    EXPECT_EQ(results.count("com.example.stuck"), 0u);
    EXPECT_FALSE(results["com.example.broken"].app.has_value());
    EXPECT_EQ(results["com.example.broken"].error, "damaged");
    EXPECT_TRUE(results["com.example.absent"].error.has_value());
    EXPECT_EQ(ws().runningApplications().size(), 2u);
}

TEST_F(SimDesktopTest, systemWideFocusLeadsThroughChildElementsToTheWindow) {
    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    const AXElement win = windows().element(w);
    const AXElement group = windows().addChildElement(win, {.role = "AXGroup", .exposesWindow = false});
    const AXElement field = windows().addChildElement(
        group, {.role = "AXTextField", .exposesWindow = false, .exposesTopLevel = true});
    const AXElement systemWide = ax().systemWideElement();

    EXPECT_EQ(status(systemWide, "AXFocusedUIElement"), AXError::noValue); // nothing is frontmost yet
    windows().setFocusedElement(editor, field);
    ws().bringToFront(editor);

    EXPECT_EQ(value<AXElement>(systemWide, "AXFocusedUIElement"), field);
    EXPECT_EQ(status(field, "AXWindow"), AXError::attributeUnsupported);
    EXPECT_EQ(value<AXElement>(field, "AXTopLevelUIElement"), win);
    EXPECT_EQ(value<AXElement>(field, "AXParent"), group);
    EXPECT_EQ(value<AXElement>(group, "AXParent"), win);

    windows().close(w);
    EXPECT_EQ(status(field, "AXRole"), AXError::invalidUIElement);
}

TEST_F(SimDesktopTest, focusWritesAndIgnoredFocus) {
    auto a = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    auto stubborn = windows().open(
        editor, {.frame = Rect{0, 0, 300, 300}, .focused = false, .main = false, .ignoresFocus = true});
    const AXElement app = ax().applicationElement(editor);
    EXPECT_EQ(ax().setAttribute(windows().element(stubborn), "AXMain", true), AXError::success);
    EXPECT_EQ(ax().setAttribute(windows().element(stubborn), "AXFocused", true), AXError::success);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), windows().element(a));
    EXPECT_FALSE(value<bool>(windows().element(stubborn), "AXMain"));

    auto b = windows().open(editor, {.frame = Rect{0, 0, 300, 300}, .focused = false, .main = false});
    ax().setAttribute(windows().element(b), "AXMain", true);
    ax().setAttribute(windows().element(b), "AXFocused", true);
    EXPECT_TRUE(value<bool>(windows().element(b), "AXFocused"));
    EXPECT_EQ(value<AXElement>(app, "AXMainWindow"), windows().element(b));
}

TEST_F(SimDesktopTest, anUntrustedProcessIsRefusedEverything) {
    auto w = windows().open(editor, {.frame = Rect{0, 0, 300, 300}});
    ax().setProcessTrusted(false);
    EXPECT_FALSE(ax().isProcessTrusted());
    EXPECT_EQ(status(windows().element(w), "AXPosition"), AXError::apiDisabled);
    EXPECT_EQ(ax().performAction(windows().element(w), "AXRaise"), AXError::apiDisabled);
    AXError err;
    EXPECT_EQ(ax().createObserver(editor, {}, err), nullptr);
    EXPECT_EQ(err, AXError::apiDisabled);
}

TEST(ScopedSimDesktop, isTheCurrentPlatformForItsLifetime) {
    platform::Platform* before = platform::Platform::hasCurrent() ? &platform::Platform::current() : nullptr;
    {
        ScopedSimDesktop desk;
        EXPECT_EQ(&platform::Platform::current(), &desk.get());
        {
            ScopedSimDesktop inner;
            EXPECT_EQ(&platform::Platform::current(), &inner.get());
        }
        EXPECT_EQ(&platform::Platform::current(), &desk.get());
    }
    EXPECT_EQ(platform::Platform::hasCurrent() ? &platform::Platform::current() : nullptr, before);
}

} // namespace
