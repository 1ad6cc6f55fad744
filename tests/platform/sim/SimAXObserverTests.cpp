// Simulated accessibility observers: what they may register for, and that notifications arrive through
// the loop, in order, and only while the observer lives and is registered.
#include "SimDesktopFixture.h"

namespace korvane::sim {
namespace {

struct SimAXObserverTest : SimDesktopTest {
    using Got = std::vector<std::pair<std::string, AXElement>>;
    Got got;
    platform::AXObserver::Callback record() {
        return [this](const AXElement& e, const std::string& n) { got.emplace_back(n, e); };
    }
};

TEST_F(SimAXObserverTest, notificationsArriveThroughTheLoopInOrder) {
    auto observer = observe(editor, record());
    const AXElement app = ax().applicationElement(editor);
    ASSERT_EQ(observer->addNotification(app, "AXWindowCreated"), AXError::success);
    ASSERT_EQ(observer->addNotification(app, "AXFocusedWindowChanged"), AXError::success);
    auto w = open();
    const AXElement e = el(w);
    EXPECT_TRUE(got.empty()) << "never inside the call that caused it";
    loop().runUntilIdle();
    EXPECT_EQ(got, (Got{{"AXWindowCreated", e}, {"AXFocusedWindowChanged", e}}));

    got.clear();
    EXPECT_EQ(observer->addNotification(e, "AXTitleChanged"), AXError::success);
    EXPECT_EQ(observer->addNotification(e, "AXUIElementDestroyed"), AXError::success);
    windows().setTitle(w, "Renamed");
    windows().setFrame(w, Rect{5, 5, 300, 300}); // moves are not registered
    windows().close(w);
    loop().runUntilIdle();
    EXPECT_EQ(got, (Got{{"AXTitleChanged", e}, {"AXUIElementDestroyed", e}}));
}

TEST_F(SimAXObserverTest, notificationsQueuedForADroppedOrUnregisteredObserverAreNotDelivered) {
    auto observer = observe(editor, record());
    const AXElement app = ax().applicationElement(editor);
    observer->addNotification(app, "AXWindowCreated");
    open();
    observer->removeNotification(app, "AXWindowCreated");
    loop().runUntilIdle();

    observer->addNotification(app, "AXWindowCreated");
    open();
    observer.reset();
    loop().runUntilIdle();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(ax().liveObserverCount(editor), 0u);
}

TEST_F(SimAXObserverTest, registrationRules) {
    pid_t other = ws().launch({.bundleID = "com.example.other", .name = "Other"});
    auto mine = open();
    auto theirs = windows().open(other, {.frame = Rect{0, 0, 300, 300}});
    const AXElement app = ax().applicationElement(editor);
    auto observer = observe(editor, {});
    EXPECT_EQ(observer->addNotification(el(mine), "AXUIElementDestroyed"), AXError::success);
    EXPECT_EQ(observer->addNotification(el(mine), "AXUIElementDestroyed"),
              AXError::notificationAlreadyRegistered);
    EXPECT_EQ(observer->addNotification(el(theirs), "AXUIElementDestroyed"), AXError::illegalArgument);
    EXPECT_EQ(observer->removeNotification(el(mine), "AXTitleChanged"), AXError::notificationNotRegistered);
    const AXElement closed = el(mine);
    windows().close(mine);
    EXPECT_EQ(observer->addNotification(closed, "AXTitleChanged"), AXError::invalidUIElement);

    ax().scriptAXFailure(app, "AXWindowCreated", {AXError::cannotComplete});
    EXPECT_EQ(observer->addNotification(app, "AXWindowCreated"), AXError::cannotComplete);
    EXPECT_EQ(observer->addNotification(app, "AXWindowCreated"), AXError::success);

    AXError err;
    ax().scriptObserverCreationFailure(other, {AXError::failure});
    EXPECT_EQ(ax().createObserver(other, {}, err), nullptr);
    EXPECT_EQ(err, AXError::failure);
    EXPECT_NE(ax().createObserver(other, {}, err), nullptr);
}

} // namespace
} // namespace korvane::sim
