// The window tracker on the simulated desktop: who is observed, what seeding finds and reports, the batch
// in which the last notice wins, the re-seeds after a launch, pruning and the refresh after wake, titles.
#include "tracking/WindowTracker.h"

#include "core/AXUtil.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"
#include "tracking/WindowTrackerDelegate.h"

#include <gtest/gtest.h>

using namespace korvane;
using platform::ActivationPolicy;
using platform::AXElement;
using platform::AXError;
using IDs = std::vector<WindowID>;

namespace {

struct Reports final : WindowTrackerDelegate {
    IDs added;
    IDs ended;
    std::vector<std::string> titles;
    void windowTrackerDidDestroyWindow(WindowTracker&, WindowID wid, pid_t) override { ended.push_back(wid); }
    void windowTracker(WindowTracker& t, const AXElement& w, pid_t) override {
        added.push_back(t.windowNumber(w).value_or(0));
    }
    void windowTracker(WindowTracker&, const AXElement&, pid_t, const std::string& title) override {
        titles.push_back(title);
    }
};

class WindowTrackerTest : public ::testing::Test {
  protected:
    void SetUp() override { tracker->delegate = reports; }

    pid_t launch(std::optional<std::string> bundle, ActivationPolicy policy = ActivationPolicy::regular) {
        return desktop->workspace().launch({.bundleID = bundle, .activationPolicy = policy});
    }
    WindowID open(pid_t pid, std::string subrole = "AXStandardWindow", std::optional<WindowID> number = {}) {
        return desktop->windows().open(pid,
                                       {.frame = Rect{0, 0, 400, 300}, .number = number, .subrole = subrole});
    }
    IDs managed() const { return {tracker->managedIDs().begin(), tracker->managedIDs().end()}; }
    void settle() { desktop->loop().runUntilIdle(); }
    void advance(double s) { desktop->loop().advance(seconds(s)); }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<WindowTracker> tracker = WindowTracker::create(*desktop, AXUtil::shared());
    std::shared_ptr<Reports> reports = std::make_shared<Reports>();
};

} // namespace

TEST_F(WindowTrackerTest, startObservesAndSilentlySeedsEligibleApplicationsAndActivationObservesAnyone) {
    desktop->process().setBundleIdentifier("com.korvane.app");
    const pid_t editor = launch("com.example.editor"),
                helper = launch("com.example.helper", ActivationPolicy::accessory);
    const pid_t anonymous = launch(std::nullopt), own = launch("com.korvane.app"),
                agent = launch("com.example.agent", ActivationPolicy::prohibited);
    const WindowID e = open(editor), h = open(helper);
    for (pid_t pid : {anonymous, own, agent})
        open(pid);
    desktop->accessibility().scriptObserverCreationFailure(helper, {AXError::cannotComplete});
    settle();

    tracker->startObserving();
    desktop->workspace().bringToFront(editor); // a second creation starts before the first is stored
    settle();
    EXPECT_EQ(managed(), (IDs{e, h}));
    EXPECT_TRUE(reports->added.empty());
    EXPECT_EQ(tracker->axObservers().size(), 1u); // the helper's creation failed
    EXPECT_EQ(desktop->accessibility().liveObserverCount(editor), 1u);
    for (pid_t pid : {helper, anonymous, own}) // brought forward: observed, though not seeded
        desktop->workspace().bringToFront(pid);
    settle();
    EXPECT_EQ(tracker->axObservers().size(), 4u);
    EXPECT_EQ(managed(), (IDs{e, h}));

    const WindowID later = open(editor); // announced, so reported
    advance(0.05);
    EXPECT_EQ(reports->added, IDs{later});
}

TEST_F(WindowTrackerTest, applicationsNotFollowedAtStartStayUnobservedWhenTheyLaunchAndAfterAWake) {
    desktop->process().setBundleIdentifier("com.korvane.app");
    tracker->startObserving();
    struct Row {
        const char* name;
        std::optional<std::string> bundle;
        ActivationPolicy policy;
        bool followed;
    };
    const Row rows[] = {
        {"without a bundle identifier", std::nullopt, ActivationPolicy::regular, false},
        {"this program", "com.korvane.app", ActivationPolicy::regular, false},
        {"a prohibited one", "com.example.agent", ActivationPolicy::prohibited, false},
        {"an accessory one", "com.example.helper", ActivationPolicy::accessory, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        reports->added.clear();
        const pid_t pid = launch(r.bundle, r.policy);
        const WindowID w = open(pid);
        advance(2.0); // the launch and its re-seeds
        tracker->refreshAfterWake();
        settle();
        EXPECT_EQ(tracker->axObservers().count(pid), r.followed ? 1u : 0u);
        EXPECT_EQ(tracker->managed().count(w), r.followed ? 1u : 0u);
        EXPECT_EQ(reports->added, r.followed ? IDs{w} : IDs{});
    }
}

TEST_F(WindowTrackerTest, aLaunchIsSeededAtOnceAndAgainUntilItsLateWindowsAreFound) {
    tracker->startObserving();
    EXPECT_TRUE(capture.log().contains("[wm] Attached AX observers to 0 running apps"));
    const pid_t app = launch("com.example.viewer");
    std::optional<std::size_t> observersAtLaunch; // seen right after the tracker handled the launch
    auto token = desktop->notifications().addObserver(platform::kDidLaunchApplication,
                                                      platform::NotificationCenter::Delivery::mainQueue,
                                                      [&](const std::string&, const nlohmann::json&) {
                                                          observersAtLaunch = tracker->axObservers().size();
                                                      });
    const WindowID standard = open(app);
    open(app, "AXDialog");
    // No creation notice reaches the tracker from this application.
    desktop->accessibility().scriptAXFailure(desktop->accessibility().applicationElement(app),
                                             "AXWindowCreated", {AXError::cannotComplete});
    settle();
    EXPECT_EQ(observersAtLaunch, 0u); // the observer is made on a background queue, then stored
    EXPECT_EQ(tracker->axObservers().count(app), 1u);
    EXPECT_EQ(reports->added, IDs{standard});

    advance(0.5);
    const WindowID late = open(app);
    advance(0.24);
    EXPECT_EQ(reports->added.size(), 1u);
    advance(0.01); // the re-seed 0.75 s after the launch
    EXPECT_EQ(reports->added, (IDs{standard, late}));
    advance(1.0); // the last re-seed finds nothing new
    EXPECT_EQ(reports->added, (IDs{standard, late}));
}

TEST_F(WindowTrackerTest, withinABatchTheLastNoticeForAWindowWins) {
    const pid_t app = launch("com.example.editor");
    tracker->startObserving();
    settle();
    // A window closed and another opened under its number are two windows: the end is reported, then the
    // new window.
    struct Row {
        const char* name;
        const char* subrole;
        bool managedBefore, closes, reopensUnderItsNumber, reported, ended;
    };
    const Row rows[] = {
        {"created and closed", "AXStandardWindow", false, true, false, false, false},
        {"closed and reopened", "AXStandardWindow", true, true, true, true, true},
        {"closed", "AXStandardWindow", true, true, false, false, true},
        {"a dialog", "AXDialog", false, false, false, false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const WindowID w = open(app, r.subrole);
        if (r.managedBefore) advance(0.05);
        reports->added.clear();
        reports->ended.clear();
        advance(0.01);
        if (r.closes) desktop->windows().close(w);
        if (r.reopensUnderItsNumber) open(app, r.subrole, w);
        advance(0.05);
        EXPECT_EQ(reports->added, r.reported ? IDs{w} : IDs{});
        EXPECT_EQ(reports->ended, r.ended ? IDs{w} : IDs{});
        EXPECT_EQ(tracker->managed().count(w), r.reported ? 1u : 0u);
    }
}

TEST_F(WindowTrackerTest, entriesOutliveTheirApplicationUntilTheWakeRefreshPrunesThem) {
    const pid_t gone = launch("com.example.gone"), kept = launch("com.example.kept");
    const WindowID old = open(gone), renumbered = open(kept), closing = open(kept);
    tracker->startObserving();
    settle();
    desktop->workspace().quit(gone);
    settle();
    EXPECT_EQ(managed(), (IDs{old, renumbered, closing}));

    // The closed window's notice waits in the batch too; its number then goes to a window that stays.
    desktop->windows().close(closing);
    settle();
    desktop->windows().renumber(renumbered, closing);
    const WindowID fresh = open(kept);
    settle(); // its creation notice waits in the batch, which the refresh drops
    tracker->refreshAfterWake();
    advance(0.05);
    EXPECT_EQ(managed(), (IDs{closing, fresh}));
    // The elements pushes and the switcher look windows up in go with them.
    IDs elements;
    for (const auto& [wid, element] : tracker->managed())
        elements.push_back(wid);
    EXPECT_EQ(elements, (IDs{closing, fresh}));
    EXPECT_TRUE(reports->added.empty());

    // The next batch holds only what came after the wake.
    const WindowID later = open(kept);
    advance(0.05);
    EXPECT_EQ(managed(), (IDs{closing, fresh, later}));
    EXPECT_EQ(reports->added, IDs{later});
}

TEST_F(WindowTrackerTest, titleChangesSettleIntoOneReportOnlyWhenTracked) {
    for (bool tracking : {false, true}) {
        SCOPED_TRACE(tracking);
        auto t = WindowTracker::create(*desktop, AXUtil::shared());
        t->delegate = reports;
        t->isTitleChangeTrackingEnabled = tracking;
        const WindowID w = open(launch("com.example.writer" + std::to_string(tracking)));
        t->startObserving();
        settle();
        for (int i = 1; i <= 5; ++i, advance(0.1))
            desktop->windows().setTitle(w, "Draft " + std::to_string(i));
        advance(0.04);
        EXPECT_TRUE(reports->titles.empty());
        advance(0.02); // 0.15 s after the last change
        EXPECT_EQ(reports->titles, std::vector<std::string>(tracking ? 1 : 0, "Draft 5"));
    }
}
