// Accessibility observers on a real X server: title change and destruction of a window arrive in order
// on the main thread; the registration rules hold; a dropped or unregistered observer hears
// nothing. Focus changes made with the mouse are reported in the focus test of tests/x11.
#include "X11Fixture.h"

#include "platform/Accessibility.h"

namespace korvane::x11::test {
namespace {

using namespace platform;

using X11ObserverTest = X11Test;

// Creation is how the fixture learns of every xterm it starts, and proven by each test that starts one.
TEST_F(X11ObserverTest, titleChangeAndDestructionArriveInOrderOnTheMainThread) {
    const auto x = xterm("Observed");
    auto& ax = desktop->accessibility();
    std::vector<std::string> heard;
    AXError error = AXError::failure;
    auto observer = ax.createObserver(
        x.pid,
        [&](const AXElement& e, const std::string& n) {
            heard.push_back(n + (e == elementOf(x) && desktop->runLoop().isMainThread() ? "" : " elsewhere"));
        },
        error);
    ASSERT_EQ(observer->addNotification(elementOf(x), "AXTitleChanged"), AXError::success);
    ASSERT_EQ(observer->addNotification(elementOf(x), "AXUIElementDestroyed"), AXError::success);
    session().setTitle(x.window, "Renamed");
    // Titles are read when their change is handled; a window already gone by then has none to report.
    ASSERT_TRUE(runUntil([&] { return !heard.empty(); }));
    close(x);
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"AXTitleChanged", "AXUIElementDestroyed"}));
}

TEST_F(X11ObserverTest, registrationRulesAndObserversThatWereDroppedOrUnregisteredHearNothing) {
    const auto x = xterm("Registered");
    const auto other = xterm("Someone else", "60x20+2300+200");
    auto& ax = desktop->accessibility();
    const AXElement window = elementOf(x), foreign = elementOf(other), gone = elementOf({x.pid, 0x7FFFFF});
    AXError error = AXError::failure;
    int droppedHeard = 0, removedHeard = 0, keptHeard = 0;
    auto counting = [&](int& n) {
        return ax.createObserver(
            x.pid, [&n](const AXElement&, const std::string&) { ++n; }, error);
    };
    auto dropped = counting(droppedHeard);
    auto removed = counting(removedHeard);
    auto kept = counting(keptHeard);
    ASSERT_EQ(error, AXError::success);

    EXPECT_EQ(removed->addNotification(window, "AXTitleChanged"), AXError::success);
    EXPECT_EQ(removed->addNotification(window, "AXTitleChanged"), AXError::notificationAlreadyRegistered);
    EXPECT_EQ(removed->addNotification(foreign, "AXTitleChanged"), AXError::illegalArgument);
    EXPECT_EQ(removed->addNotification(window, "AXMenuOpened"), AXError::notificationUnsupported);
    EXPECT_EQ(removed->addNotification(gone, "AXTitleChanged"), AXError::invalidUIElement);
    EXPECT_EQ(removed->removeNotification(window, "AXUIElementDestroyed"),
              AXError::notificationNotRegistered);
    ax.createObserver(
        0, [](const AXElement&, const std::string&) {}, error);
    EXPECT_EQ(error, AXError::illegalArgument);

    // Registered on the window, or on its application.
    ASSERT_EQ(dropped->addNotification(window, "AXTitleChanged"), AXError::success);
    ASSERT_EQ(kept->addNotification(ax.applicationElement(x.pid), "AXTitleChanged"), AXError::success);
    session().setTitle(x.window, "First");
    ASSERT_TRUE(runUntil([&] { return keptHeard == 1; }));
    dropped.reset();
    ASSERT_EQ(removed->removeNotification(window, "AXTitleChanged"), AXError::success);
    session().setTitle(x.window, "Second");
    ASSERT_TRUE(runUntil([&] { return keptHeard == 2; }));
    EXPECT_EQ(droppedHeard, 1);
    EXPECT_EQ(removedHeard, 1);
}

} // namespace
} // namespace korvane::x11::test
