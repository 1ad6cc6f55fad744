// The status item's controller on the bus: a change of the displays cancels an open menu, every
// invalidation marks the item stale, and a new bind ends the old subscription.
#include "ui/switchers/StatusBarController.h"

#include "app/DisplayObserver.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

constexpr const char* kCancelled =
    "[StatusBar] Forced menu cancellation due to external request (likely display change)";

class StatusBarControllerTest : public ::testing::Test {
  protected:
    static StatusBarInvalidationEvent topologyChanged() {
        return StatusBarInvalidationEvent::displayTopologyChanged({"D2"}, {}, "test");
    }
    static StatusBarInvalidationEvent refresh() {
        return StatusBarInvalidationEvent::refreshRequested(StatusBarInvalidationReason::externalStateChanged,
                                                            "test");
    }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<StatusBarEventBus> bus = StatusBarEventBus::create(*desktop);
    std::shared_ptr<StatusBarController> status = StatusBarController::create();
};

} // namespace

TEST_F(StatusBarControllerTest, cancellingAClosedMenuDoesNothingAndAnOpenOneOwesARefresh) {
    status->forceCancelMenu();
    EXPECT_FALSE(status->needsRefreshAfterClose());
    EXPECT_FALSE(capture.log().contains(kCancelled));

    status->isMenuOpen = true;
    status->forceCancelMenu();
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_TRUE(status->needsRefreshAfterClose());
    EXPECT_EQ(capture.log().count(kCancelled), 1u);
}

TEST_F(StatusBarControllerTest, aDisplayChangeOnTheBoundBusClosesTheMenuAndOtherInvalidationsOnlyMarkIt) {
    status->bind(bus);
    status->isMenuOpen = true;
    bus->publish(refresh());
    EXPECT_TRUE(status->isMenuOpen);
    EXPECT_TRUE(status->isDirty());
    EXPECT_TRUE(status->needsRefreshAfterClose());

    bus->publish(topologyChanged());
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_EQ(capture.log().count(kCancelled), 1u);

    // Bound to another bus, the first one no longer reaches it.
    auto other = StatusBarEventBus::create(*desktop);
    status->bind(other);
    status->isMenuOpen = true;
    bus->publish(topologyChanged());
    EXPECT_TRUE(status->isMenuOpen);
    other->publish(topologyChanged());
    EXPECT_FALSE(status->isMenuOpen);

    // Gone, it is not called.
    status.reset();
    other->publish(topologyChanged());
    EXPECT_EQ(capture.log().count(kCancelled), 2u);
}

namespace {

// The item on screen as a test sees it: the titles written, and a menu whose tracking runs `whileOpen`.
class FakeStatusItem : public StatusItemHost {
  public:
    bool hasButton() const override { return true; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title, bool imageLeading) override {
        title_ = title;
        imageLeading_ = imageLeading;
        writes.push_back(title);
    }
    void popUpMenu(const std::vector<StatusMenuRow>& rows,
                   const std::function<void(StatusMenuAction)>& choose) override {
        shownRows = rows;
        ++openings;
        open = true;
        if (whileOpen) whileOpen(choose);
        open = false;
    }
    void cancelMenuTracking() override { ++cancels; }
    bool isMenuWindowVisible() const override { return open; }
    void beep() override { ++beeps; }

    std::function<void(const std::function<void(StatusMenuAction)>&)> whileOpen;
    std::vector<std::string> writes;
    std::vector<StatusMenuRow> shownRows;
    std::string title_;
    bool imageLeading_ = false;
    bool open = false;
    int openings = 0;
    int cancels = 0;
    int beeps = 0;
};

class StatusBarMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        status->bind(bus);
        status->scenesProvider = [this] { return scenes; };
        status->activeSceneIDProvider = [this] { return active; };
        actions = bus->subscribeActions([this](StatusBarActionEvent action) {
            published.push_back({std::string(toString(action)), desktop->loop().now()});
        });
    }
    void invalidate() {
        bus->publish(StatusBarInvalidationEvent::refreshRequested(
            StatusBarInvalidationReason::externalStateChanged, "test"));
    }
    std::vector<std::string> titles(const std::vector<StatusMenuRow>& rows) {
        std::vector<std::string> out;
        for (const auto& row : rows)
            out.push_back(row.isSeparator ? "-" : row.title + (row.enabled ? "" : " (off)"));
        return out;
    }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<DisplayObserver> observer = std::make_shared<DisplayObserver>(*desktop);
    std::shared_ptr<FakeStatusItem> item = std::make_shared<FakeStatusItem>();
    std::shared_ptr<StatusBarEventBus> bus = StatusBarEventBus::create(*desktop);
    std::shared_ptr<StatusBarController> status = StatusBarController::create(*desktop, observer, item);
    std::vector<StatusBarController::SceneEntry> scenes{{"A", "Desk"}, {"B", "Couch"}};
    std::optional<std::string> active;
    std::unique_ptr<StatusBarEventSubscription> actions;
    std::vector<std::pair<std::string, Nanos>> published;
};

} // namespace

TEST_F(StatusBarMenuTest, theMenuNamesTheActiveSceneAndEnablesUpdateOnlyWithAnActiveID) {
    status->statusItemClicked();
    EXPECT_EQ(titles(item->shownRows),
              (std::vector<std::string>{"No active scene (off)", "-", "Save Current Scene...",
                                        "Update Active Scene (off)", "-", "Scene Manager...",
                                        "Preferences...", "-", "Quit Korvane"}));
    EXPECT_EQ(item->shownRows[2].keyEquivalent, "s");
    EXPECT_TRUE(item->shownRows[2].command && item->shownRows[2].option);

    active = "B";
    status->statusItemClicked();
    // The name's writing direction kept to itself.
    EXPECT_EQ(item->shownRows[0].title, "Scene: \u2068Couch\u2069");
    EXPECT_EQ(titles(item->shownRows)[3], "Update \"\u2068Couch\u2069\"");

    // An active id that names no saved scene: no name anywhere, but the update stays possible.
    active = "gone";
    status->statusItemClicked();
    EXPECT_EQ(titles(item->shownRows)[0], "No active scene (off)");
    EXPECT_EQ(titles(item->shownRows)[3], "Update Active Scene");
    invalidate();
    desktop->loop().advance(seconds(1));
    EXPECT_EQ(status->lastRenderedSceneTitle(), "");
    EXPECT_TRUE(item->writes.empty()); // the item showed no title already
}

TEST_F(StatusBarMenuTest, aChosenActionIsPublishedAfterTheMenuClosedAndQuitSooner) {
    auto& loop = desktop->loop();
    item->whileOpen = [&](const std::function<void(StatusMenuAction)>& choose) {
        EXPECT_EQ(loop.currentMode(), platform::RunLoopMode::EventTracking);
        choose(StatusMenuAction::openLayoutManager); // a choice closes the menu
        EXPECT_TRUE(published.empty());
    };
    const Nanos start = loop.now();
    status->statusItemClicked();
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_TRUE(published.empty());
    EXPECT_EQ(loop.currentMode(), platform::RunLoopMode::Default);
    loop.advance(seconds(1));
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].first, "openSceneManager");
    EXPECT_EQ(published[0].second - start, milliseconds(120));

    item->whileOpen = [](const std::function<void(StatusMenuAction)>& choose) {
        choose(StatusMenuAction::quit);
    };
    const Nanos closed = loop.now();
    status->statusItemClicked();
    loop.advance(seconds(1));
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[1].first, "quit");
    EXPECT_EQ(published[1].second - closed, milliseconds(50));

    // Without a bus, actions are dropped with their line and Quit ends the program at once.
    int terminated = 0;
    status->terminate = [&] { ++terminated; };
    status->bind(nullptr);
    status->perform(StatusMenuAction::saveScene);
    status->perform(StatusMenuAction::quit);
    EXPECT_EQ(terminated, 1);
    EXPECT_TRUE(capture.log().contains("[StatusBar] publishActionDeferred ignored: eventBus is not bound"));
    EXPECT_TRUE(capture.log().contains("[StatusBar] quit fallback: eventBus is not bound"));
}

TEST_F(StatusBarMenuTest, aBurstOfInvalidationsWritesTheTitleOnceAndASecondChangeWaitsForTheThrottle) {
    auto& loop = desktop->loop();
    active = "A";
    for (int i = 0; i < 5; ++i) {
        invalidate();
        loop.advance(milliseconds(20));
    }
    loop.advance(milliseconds(100));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk"}));
    EXPECT_TRUE(item->imageLeading_);
    EXPECT_FALSE(status->isDirty());

    // A change 0.1 s after the write is written 0.2 s later, not dropped.
    active = "B";
    invalidate();
    loop.advance(milliseconds(60));
    EXPECT_EQ(item->writes.size(), 1u);
    EXPECT_TRUE(status->isDirty());
    loop.advance(milliseconds(200));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk", "Couch"}));

    // The same title is not written again.
    invalidate();
    loop.advance(seconds(1));
    EXPECT_EQ(item->writes.size(), 2u);
}

TEST_F(StatusBarMenuTest, anInvalidationWhileTheMenuIsOpenIsOwedUntilShortlyAfterItCloses) {
    auto& loop = desktop->loop();
    active = "A";
    item->whileOpen = [&](const std::function<void(StatusMenuAction)>&) {
        invalidate();
        loop.advance(seconds(1));
        EXPECT_TRUE(item->writes.empty());
    };
    status->statusItemClicked();
    loop.advance(milliseconds(99));
    EXPECT_TRUE(item->writes.empty());
    loop.advance(milliseconds(2));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk"}));

    // A change of the displays while it is open closes it at once.
    item->whileOpen = [&](const std::function<void(StatusMenuAction)>&) {
        bus->publish(StatusBarInvalidationEvent::displayTopologyChanged({"D2"}, {}, "test"));
        EXPECT_FALSE(status->isMenuOpen);
    };
    status->statusItemClicked();
    EXPECT_EQ(item->cancels, 1);

    // A refresh that comes due while the menu's window shows, though the menu is not marked open, or
    // while the menu is being built, is owed as well.
    item->whileOpen = nullptr;
    loop.advance(seconds(1));
    active = "B";
    invalidate();
    item->open = true;
    loop.advance(seconds(1));
    item->open = false;
    status->statusItemClicked();
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk"}));
    loop.advance(milliseconds(101));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk", "Couch"}));

    active = "A";
    invalidate();
    bool building = true;
    status->activeSceneIDProvider = [&] {
        if (std::exchange(building, false)) {
            loop.advance(seconds(1)); // a build slow enough for the refresh to come due
            EXPECT_EQ(item->writes.size(), 2u);
        }
        return active;
    };
    status->statusItemClicked();
    loop.advance(milliseconds(101));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk", "Couch", "Desk"}));
}

TEST_F(StatusBarMenuTest, nearADisplayChangeClicksAreRefusedAndRefreshesRetryUntilTheScreensSettle) {
    auto& loop = desktop->loop();
    active = "A";
    loop.advance(seconds(10));
    observer->handleScreenParametersChange("test");
    status->statusItemClicked();
    EXPECT_EQ(item->openings, 0);
    EXPECT_EQ(item->beeps, 1);
    EXPECT_TRUE(capture.log().contains(
        "Status bar clicked during display change window - ignoring to prevent layout crash"));

    // An invalidation now is written once the screens have settled, with no click or other invalidation
    // to bring it: the refresh retries every 0.5 s until the window is over.
    invalidate();
    loop.advance(milliseconds(1400));
    EXPECT_TRUE(item->writes.empty());
    EXPECT_TRUE(status->isDirty());
    loop.advance(milliseconds(200));
    EXPECT_EQ(item->writes, (std::vector<std::string>{"Desk"}));
    status->statusItemClicked();
    EXPECT_EQ(item->openings, 1);
}
