// The permission manager on the simulated desktop in virtual time: which probe answers count as the
// Accessibility grant, the poll and its one completion, "Check Again" while a grant is missing, the flags
// stored only on the main thread, and the window shown and closed through the main queue.
#include "app/PermissionManager.h"

#include "platform/NotificationCenter.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace korvane;
using platform::AXError;
using Strings = std::vector<std::string>;

namespace {

// A window that writes what happens to it into the test's journal.
class JournalWindow final : public PermissionWindow {
  public:
    explicit JournalWindow(Strings& journal) : journal_(journal) {}
    void show() override { journal_.push_back("window shown"); }
    void close() override { journal_.push_back("window closed"); }

  private:
    Strings& journal_;
};

class PermissionManagerTest : public ::testing::Test {
  protected:
    // Accessibility missing unless a test says otherwise; Screen Recording granted.
    void SetUp() override { desktop->accessibility().setProcessTrusted(false); }

    std::shared_ptr<PermissionManager> makeManager() {
        auto manager = PermissionManager::create(*desktop);
        manager->makePermissionWindow = [this](PermissionManager&) {
            journal.push_back("window made");
            return std::make_unique<JournalWindow>(journal);
        };
        return manager;
    }
    // The system-wide probe answers `error` on the next `times` reads.
    void scriptProbe(AXError error, int times = 20) {
        desktop->accessibility().scriptAXFailure(desktop->accessibility().systemWideElement(),
                                                 "AXFocusedUIElement", std::vector<AXError>(times, error));
    }
    std::size_t pending() { return desktop->loop().pendingCount(); }
    int count(const std::string& entry) const {
        return static_cast<int>(std::count(journal.begin(), journal.end(), entry));
    }

    sim::ScopedSimDesktop desktop;
    Strings journal;
};

TEST_F(PermissionManagerTest, theAccessibilityGrantNeedsTrustAndAProbeThatAnswersOrFindsNothingFocused) {
    struct Row {
        const char* what;
        bool trusted;
        std::optional<AXError> probe; // nothing: the probe answers as the desktop is
        bool frontmostWindow;
        bool granted;
    };
    const Row rows[] = {
        {"not trusted", false, std::nullopt, true, false},
        {"trusted, a focused element", true, std::nullopt, true, true},
        {"trusted, nothing focused (-25212)", true, AXError::noValue, false, true},
        {"trusted, probe cannot complete (-25204)", true, AXError::cannotComplete, true, false},
        {"trusted, accessibility disabled (-25211)", true, AXError::apiDisabled, true, false},
    };
    for (const Row& row : rows) {
        sim::ScopedSimDesktop fresh;
        fresh->accessibility().setProcessTrusted(row.trusted);
        if (row.frontmostWindow) {
            const pid_t pid = fresh->workspace().launch({.bundleID = "com.example.editor", .activate = true});
            fresh->windows().open(pid, {.frame = Rect{0, 0, 400, 300}, .title = "Draft"});
        }
        if (row.probe)
            fresh->accessibility().scriptAXFailure(fresh->accessibility().systemWideElement(),
                                                   "AXFocusedUIElement", {*row.probe, *row.probe});
        auto manager = PermissionManager::create(*fresh);
        EXPECT_EQ(manager->isAccessibilityGranted(), row.granted) << row.what;
        EXPECT_EQ(manager->isAccessibilityTrusted(), row.granted) << row.what;
    }
}

TEST_F(PermissionManagerTest, bothGrantsAtStartRunTheCompletionAtOnceWithoutTimerOrWindow) {
    desktop->accessibility().setProcessTrusted(true);
    auto manager = makeManager();
    EXPECT_TRUE(manager->isAccessibilityGranted());
    EXPECT_TRUE(manager->isScreenRecordingGranted());
    int started = 0;
    manager->requestPermissions([&] { ++started; });
    EXPECT_EQ(started, 1); // before requestPermissions returned
    desktop->loop().runUntilIdle();
    desktop->loop().advance(seconds(5));
    EXPECT_EQ(started, 1);
    EXPECT_EQ(pending(), 0u);
    EXPECT_TRUE(journal.empty());
}

TEST_F(PermissionManagerTest, aRefusedProbeKeepsPollingUntilTheGrantIsHonoured) {
    desktop->accessibility().setProcessTrusted(true);
    scriptProbe(AXError::cannotComplete, 3); // the creation check, the request, the first poll
    auto manager = makeManager();
    int started = 0;
    manager->requestPermissions([&] { ++started; });
    EXPECT_FALSE(manager->isAccessibilityGranted());
    desktop->loop().advance(seconds(1));
    EXPECT_FALSE(manager->isAccessibilityGranted());
    EXPECT_EQ(started, 0);
    EXPECT_EQ(pending(), 1u); // the poll
    desktop->loop().advance(seconds(1));
    EXPECT_TRUE(manager->isAccessibilityGranted());
    EXPECT_EQ(started, 1);
}

TEST_F(PermissionManagerTest, grantsArrivingWhilePollingStopTheTimerRunTheCompletionOnceThenCloseTheWindow) {
    desktop->windowServer().setScreenCaptureGranted(false);
    auto manager = makeManager();
    manager->requestPermissions(
        [&] { journal.push_back("completion, pending " + std::to_string(pending())); });
    EXPECT_TRUE(journal.empty()); // the window waits for the main queue
    desktop->loop().runUntilIdle();
    EXPECT_EQ(journal, (Strings{"window made", "window shown"}));

    desktop->loop().advance(milliseconds(2300));
    desktop->accessibility().setProcessTrusted(true);
    desktop->windowServer().setScreenCaptureGranted(true);
    desktop->loop().advance(milliseconds(699));
    EXPECT_EQ(journal.size(), 2u); // the poll at 3.0 s has not come yet
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(desktop->loop().now(), seconds(3));
    // The timer was gone when the completion ran; the close came after it, through the main queue.
    EXPECT_EQ(journal, (Strings{"window made", "window shown", "completion, pending 0", "window closed"}));
    desktop->loop().advance(seconds(5));
    EXPECT_EQ(journal.size(), 4u);
    EXPECT_EQ(pending(), 0u);
}

TEST_F(PermissionManagerTest, checkAgainBeforeTheLastGrantKeepsTheStartUpCompletion) {
    auto manager = makeManager();
    int started = 0;
    manager->requestPermissions([&] { ++started; }); // start-up
    desktop->loop().advance(milliseconds(1500));
    manager->requestPermissions([&] { journal.push_back("check again done"); }); // "Check Again"
    desktop->loop().runUntilIdle();
    EXPECT_EQ(pending(), 1u); // one poll, restarted
    EXPECT_EQ(count("window made"), 1);
    EXPECT_EQ(count("window shown"), 2); // the same window again

    desktop->loop().advance(milliseconds(300));
    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().advance(seconds(1)); // the restarted poll fires at 2.5 s
    EXPECT_EQ(started, 1);
    EXPECT_EQ(count("check again done"), 1);
    EXPECT_EQ(count("window closed"), 1);
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(started, 1);
}

TEST_F(PermissionManagerTest, checkAgainWithBothGrantsLeavesTheStartUpPollToFinish) {
    auto manager = makeManager();
    int started = 0;
    manager->requestPermissions([&] { ++started; });
    desktop->loop().advance(milliseconds(400));
    desktop->accessibility().setProcessTrusted(true);
    int checked = 0;
    manager->requestPermissions([&] { ++checked; });
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(started, 0);
    desktop->loop().advance(milliseconds(600)); // the start-up poll at 1.0 s
    EXPECT_EQ(started, 1);
    EXPECT_EQ(count("window closed"), 1);
}

TEST_F(PermissionManagerTest, grantsLostLaterAreStoredButNeitherPollNorWindowComesBack) {
    desktop->accessibility().setProcessTrusted(true);
    auto manager = makeManager();
    manager->requestPermissions([] {});
    desktop->accessibility().setProcessTrusted(false);
    manager->checkPermissions();
    EXPECT_FALSE(manager->isAccessibilityGranted());
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(pending(), 0u);
    EXPECT_TRUE(journal.empty());
}

TEST_F(PermissionManagerTest, observersHearEachStoreBeforeItHappensAndOnlyOnTheMainThread) {
    auto manager = makeManager();
    Strings heard;
    auto token = manager->observeChanges([&] {
        heard.push_back(std::string(desktop->loop().isMainThread() ? "main" : "background") +
                        " ax=" + (manager->isAccessibilityGranted() ? "1" : "0"));
    });
    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().dispatchGlobal(platform::QueueQoS::Utility, [&] { manager->checkPermissions(); });
    desktop->loop().dispatchGlobal(platform::QueueQoS::Utility, [&] { manager->requestPermissions({}); });
    desktop->loop().runUntilIdle();
    // Two notices per store of both flags, each before its value changed, all on the main thread.
    EXPECT_EQ(heard, (Strings{"main ax=0", "main ax=1", "main ax=1", "main ax=1"}));
    EXPECT_TRUE(manager->isAccessibilityGranted());
    token->cancel();
    token->cancel();
    manager->checkPermissions();
    EXPECT_EQ(heard.size(), 4u);
}

TEST_F(PermissionManagerTest, theWindowIsMadeOnceForTwoShowsAndAfreshAfterAClose) {
    auto manager = makeManager();
    manager->showPermissionWindow();
    manager->showPermissionWindow();
    EXPECT_TRUE(journal.empty());
    desktop->loop().runUntilIdle();
    EXPECT_EQ(journal, (Strings{"window made", "window shown", "window shown"}));
    manager->closePermissionWindow();
    manager->closePermissionWindow();
    manager->showPermissionWindow();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(journal, (Strings{"window made", "window shown", "window shown", "window closed", "window made",
                                "window shown"}));
}

TEST_F(PermissionManagerTest, thePollWaitsWhileAMenuTracksAndTheSharedInstanceIsReplaceable) {
    auto manager = makeManager();
    PermissionManager::setShared(manager);
    EXPECT_EQ(PermissionManager::shared(), manager);
    int started = 0;
    PermissionManager::shared()->requestPermissions([&] { ++started; });
    desktop->accessibility().setProcessTrusted(true);
    desktop->loop().setMode(platform::RunLoopMode::EventTracking);
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(started, 0);
    desktop->loop().setMode(platform::RunLoopMode::Default);
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(started, 1);
    PermissionManager::setShared(nullptr);
    EXPECT_NE(PermissionManager::shared(), manager);
}

} // namespace
