// Accessibility observers on a real X server: creation, title change and destruction of a window arrive
// in order on the main thread; the registration rules hold; a dropped or unregistered observer hears
// nothing. Focus changes made with the mouse are reported in the focus test of tests/x11.
#include "X11Fixture.h"

#include "platform/Accessibility.h"

#include <unistd.h>

namespace korvane::x11::test {
namespace {

using namespace platform;

struct Heard {
    AXElement element;
    std::string notification;
    bool onMain = false;
};

using X11ObserverTest = X11Test;

TEST_F(X11ObserverTest, creationTitleChangeAndDestructionArriveInOrderOnTheMainThread) {
    auto& ax = desktop->accessibility();
    auto& loop = desktop->runLoop();
    std::vector<Heard> heard;
    // The process first, its window later: the observer is in place before the window shows.
    const pid_t pid =
        session().start({"xterm", "-title", "Observed", "-geometry", "60x20+2000+100", "-e", "cat"});
    AXError error = AXError::failure;
    auto observer = ax.createObserver(
        pid,
        [&](const AXElement& e, const std::string& n) {
            heard.push_back({e, n, loop.isMainThread()});
        },
        error);
    ASSERT_EQ(error, AXError::success);
    ASSERT_EQ(observer->addNotification(ax.applicationElement(pid), "AXWindowCreated"), AXError::success);

    ASSERT_TRUE(runUntil([&] { return !heard.empty(); }));
    const AXElement window = heard[0].element;
    EXPECT_EQ(heard[0].notification, "AXWindowCreated");
    EXPECT_EQ(window.kind, AXElement::Kind::window);
    EXPECT_EQ(window.pid, pid);
    ASSERT_EQ(session().clientOf(pid), std::optional<xcb_window_t>(static_cast<xcb_window_t>(window.token)));

    ASSERT_EQ(observer->addNotification(window, "AXTitleChanged"), AXError::success);
    ASSERT_EQ(observer->addNotification(window, "AXUIElementDestroyed"), AXError::success);
    session().setTitle(static_cast<xcb_window_t>(window.token), "Renamed");
    // Titles are read when their change is handled; a window already gone by then has none to report.
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 2; }));
    session().stop(pid);
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 3; }));

    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[1].notification, "AXTitleChanged");
    EXPECT_EQ(heard[1].element, window);
    EXPECT_EQ(heard[2].notification, "AXUIElementDestroyed");
    EXPECT_EQ(heard[2].element, window);
    for (const auto& h : heard)
        EXPECT_TRUE(h.onMain) << h.notification;
}

TEST_F(X11ObserverTest, registrationRulesAndObserversThatWereDroppedOrUnregisteredHearNothing) {
    const auto x = xterm("Registered", "60x20+2000+100");
    const auto other = xterm("Someone else", "60x20+2300+200");
    auto& ax = desktop->accessibility();
    const AXElement window{AXElement::Kind::window, x.pid, x.window};
    const AXElement foreign{AXElement::Kind::window, other.pid, other.window};
    const AXElement gone{AXElement::Kind::window, x.pid, 0x7FFFFF};
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
