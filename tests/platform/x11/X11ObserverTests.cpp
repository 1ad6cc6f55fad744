// Accessibility observers on a real X server: creation, title change and destruction of a window arrive
// in order on the main thread; focus changes made with the mouse are reported; the registration rules
// hold; a dropped observer hears nothing.
#include "X11Fixture.h"

#include "platform/Accessibility.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"

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

TEST_F(X11ObserverTest, registrationRules) {
    const auto x = xterm("Registered", "60x20+2000+100");
    const auto other = xterm("Someone else", "60x20+2300+200");
    auto& ax = desktop->accessibility();
    AXError error = AXError::failure;
    auto observer = ax.createObserver(
        x.pid, [](const AXElement&, const std::string&) {}, error);
    ASSERT_EQ(error, AXError::success);
    const AXElement window{AXElement::Kind::window, x.pid, x.window};
    const AXElement foreign{AXElement::Kind::window, other.pid, other.window};

    EXPECT_EQ(observer->addNotification(window, "AXUIElementDestroyed"), AXError::success);
    EXPECT_EQ(observer->addNotification(window, "AXUIElementDestroyed"),
              AXError::notificationAlreadyRegistered);
    EXPECT_EQ(observer->addNotification(foreign, "AXUIElementDestroyed"), AXError::illegalArgument);
    EXPECT_EQ(observer->addNotification(window, "AXMenuOpened"), AXError::notificationUnsupported);
    EXPECT_EQ(observer->removeNotification(window, "AXTitleChanged"), AXError::notificationNotRegistered);
    EXPECT_EQ(observer->removeNotification(window, "AXUIElementDestroyed"), AXError::success);
    const AXElement gone{AXElement::Kind::window, x.pid, 0x7FFFFF};
    EXPECT_EQ(observer->addNotification(gone, "AXTitleChanged"), AXError::invalidUIElement);

    ax.createObserver(
        0, [](const AXElement&, const std::string&) {}, error);
    EXPECT_EQ(error, AXError::illegalArgument);
}

TEST_F(X11ObserverTest, aDroppedOrUnregisteredObserverHearsNothing) {
    const auto x = xterm("Quiet", "60x20+2000+100");
    auto& ax = desktop->accessibility();
    const AXElement window{AXElement::Kind::window, x.pid, x.window};
    AXError error;
    int droppedHeard = 0, removedHeard = 0, keptHeard = 0;
    auto dropped = ax.createObserver(
        x.pid, [&](const AXElement&, const std::string&) { ++droppedHeard; }, error);
    auto removed = ax.createObserver(
        x.pid, [&](const AXElement&, const std::string&) { ++removedHeard; }, error);
    auto kept = ax.createObserver(
        x.pid, [&](const AXElement&, const std::string&) { ++keptHeard; }, error);
    ASSERT_EQ(dropped->addNotification(window, "AXTitleChanged"), AXError::success);
    ASSERT_EQ(removed->addNotification(window, "AXTitleChanged"), AXError::success);
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

TEST_F(X11ObserverTest, aClickThatMovesFocusIsReportedAndTheApplicationAnnounced) {
    std::vector<pid_t> activated;
    auto token = desktop->notificationCenter().addObserver(
        kDidActivateApplication, NotificationCenter::Delivery::mainQueue,
        [&](const std::string&, const nlohmann::json& info) {
            activated.push_back(info.at("pid").get<pid_t>());
        });
    const auto a = xterm("Clicked", "60x20+2000+100");
    const auto b = xterm("Focused first", "60x20+2600+500");
    // Events are handled in order: once b's activation is announced, everything before it was handled.
    ASSERT_TRUE(runUntil([&] { return !activated.empty() && activated.back() == b.pid; }));
    activated.clear();

    auto& ax = desktop->accessibility();
    AXError error;
    std::vector<std::string> heard;
    auto observer = ax.createObserver(
        a.pid, [&](const AXElement&, const std::string& n) { heard.push_back(n); }, error);
    ASSERT_EQ(observer->addNotification(ax.applicationElement(a.pid), "AXFocusedWindowChanged"),
              AXError::success);

    const Rect frame = session().frameOf(a.window);
    session().click(static_cast<int>(frame.midX()), static_cast<int>(frame.midY()));
    ASSERT_TRUE(runUntil([&] { return !heard.empty() && !activated.empty(); }));
    EXPECT_EQ(heard, std::vector<std::string>{"AXFocusedWindowChanged"});
    EXPECT_EQ(activated, std::vector<pid_t>{a.pid});
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, a.pid);
}

} // namespace
} // namespace korvane::x11::test
