// Window tracking and the display observer on a real X server: an xterm started while the tracker runs is
// reported, its renaming gives one title report, its end takes it out of the managed set; a window manager
// replaced ends no window; a monitor added with xrandr is announced once, by its UUID.
#include "X11Fixture.h"

#include "app/DisplayObserver.h"
#include "core/AXUtil.h"
#include "platform/NotificationCenter.h"
#include "tracking/WindowTracker.h"
#include "tracking/WindowTrackerDelegate.h"

#include <algorithm>

namespace korvane::x11::test {
namespace {

struct Reports final : WindowTrackerDelegate {
    std::vector<WindowID> added; // the window numbers the tracker reads from the reported elements
    std::vector<WindowID> ended;
    std::vector<std::string> titles;
    void windowTrackerDidDestroyWindow(WindowTracker&, WindowID wid, pid_t) override { ended.push_back(wid); }
    void windowTracker(WindowTracker& t, const platform::AXElement& w, pid_t) override {
        added.push_back(t.windowNumber(w).value_or(0));
    }
    void windowTracker(WindowTracker&, const platform::AXElement&, pid_t, const std::string& title) override {
        titles.push_back(title);
    }
};

using TrackingOnX11Test = X11Test;

TEST_F(TrackingOnX11Test, aLaterXtermIsReportedItsRenameOnceAndItsEndLeavesTheManagedSet) {
    auto tracker = WindowTracker::create(*desktop, std::make_shared<AXUtil>(*desktop));
    auto reports = std::make_shared<Reports>();
    tracker->delegate = reports;
    tracker->isTitleChangeTrackingEnabled = true;
    tracker->startObserving();

    const auto x = xterm("Tracked");
    ASSERT_TRUE(
        runUntil([&] { return std::count(reports->added.begin(), reports->added.end(), x.window) > 0; }));
    ASSERT_TRUE(runUntil([&] { return tracker->axObservers().count(x.pid) == 1; }));
    session().setTitle(x.window, "Renamed");
    EXPECT_TRUE(runUntil([&] { return !reports->titles.empty(); }));
    runUntil([] { return false; }, milliseconds(600)); // a second report would have come by now
    EXPECT_EQ(reports->titles, std::vector<std::string>{"Renamed"});

    close(x);
    EXPECT_TRUE(runUntil([&] { return tracker->managed().count(x.window) == 0; }));
}

// A window manager that quits or is replaced lets go of every window, emptying the client list, and the
// next one lists them again; the xterm stayed mapped all along: it neither ended nor came anew. The list
// is written here as a window manager replaced leaves it for a while (openbox's own replacement may empty
// and fill it again before the tracker reads it at all). Its end later is reported.
TEST_F(TrackingOnX11Test, aWindowManagerLettingGoOfItsWindowsEndsNoWindowAndBringsNoneAnew) {
    auto tracker = WindowTracker::create(*desktop, std::make_shared<AXUtil>(*desktop));
    auto reports = std::make_shared<Reports>();
    tracker->delegate = reports;
    tracker->startObserving();
    const auto x = xterm("Kept");
    ASSERT_TRUE(
        runUntil([&] { return std::count(reports->added.begin(), reports->added.end(), x.window) > 0; }));
    ASSERT_TRUE(runUntil([&] { return tracker->axObservers().count(x.pid) == 1; }));
    reports->added.clear();

    xcb_connection_t* pager = xcb_connect(session().display().c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(pager)).data->root;
    const xcb_atom_t clientList = internAtom(pager, "_NET_CLIENT_LIST");
    const std::vector<xcb_window_t> listed = session().clientList();
    // Each write is checked: the server has carried it out on return. A request merely flushed before the
    // pager disconnects can be dropped with its connection (a loaded server may see the hang-up first).
    const auto writeList = [&](const std::vector<xcb_window_t>& list) {
        free(xcb_request_check(pager, xcb_change_property_checked(pager, XCB_PROP_MODE_REPLACE, root,
                                                                  clientList, XCB_ATOM_WINDOW, 32,
                                                                  std::uint32_t(list.size()), list.data())));
    };
    // The tracker has taken in each list once it let go of the xterm's application, which has no other
    // window, and then followed it again.
    const auto followed = [&] { return tracker->axObservers().count(x.pid) == 1; };
    writeList({});
    EXPECT_TRUE(runUntil([&] { return !followed(); }));
    writeList(listed);
    xcb_disconnect(pager);
    EXPECT_TRUE(runUntil(followed));
    EXPECT_TRUE(reports->added.empty());
    EXPECT_TRUE(reports->ended.empty());
    EXPECT_EQ(tracker->managed().count(x.window), 1u);

    close(x);
    EXPECT_TRUE(runUntil([&] { return !reports->ended.empty(); }));
    EXPECT_EQ(reports->ended, std::vector<WindowID>{x.window});
}

TEST_F(TrackingOnX11Test, aMonitorAddedWithXrandrIsPostedOnceByItsUUID) {
    std::vector<nlohmann::json> posts;
    auto token = desktop->notificationCenter().addObserver(
        DisplayObserver::screenParametersChangedNotification,
        platform::NotificationCenter::Delivery::mainQueue,
        [&](const std::string&, const nlohmann::json& info) { posts.push_back(info); });
    auto observer = std::make_shared<DisplayObserver>(*desktop);
    observer->start();
    ASSERT_EQ(posts.size(), 1u);

    session().setMonitor("EXTRA-C", Rect{0, 900, 1920, 180}, false);
    ASSERT_TRUE(runUntil([&] { return posts.size() > 1; }));
    runUntil([] { return false; }, milliseconds(500)); // nothing more follows once the screens settled
    ASSERT_EQ(posts.size(), 2u);
    std::string added;
    for (const auto& s : desktop->screens().screens())
        if (s.localizedName == "EXTRA-C") added = s.displayUUID;
    EXPECT_EQ(posts[1]["addedDisplayUUIDs"], nlohmann::json::array({added}));
    EXPECT_EQ(posts[1]["removedDisplayUUIDs"], nlohmann::json::array());
}

} // namespace
} // namespace korvane::x11::test
