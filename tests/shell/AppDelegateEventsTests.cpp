// The application's events on the simulated desktop: becoming active, the display observer's
// notification in every shape its user information can take, and shut-down, which ends what start-up
// began and writes the layout memory.
#include "LaunchFixture.h"

#include "app/DisplayChangeHandler.h"
#include "app/DisplayLayoutEventBus.h"
#include "app/DisplayObserver.h"
#include "app/LayoutMemory.h"
#include "app/StatusBarEventBus.h"
#include "input/MouseEventTap.h"
#include "layouts/LayoutMemoryStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class AppDelegateEventsTest : public korvane::testing::LaunchTest {
  protected:
    // Both buses, in the order their messages arrive.
    void listen() {
        invalidations =
            app->statusBarEventBus()->subscribeInvalidations([this](const StatusBarInvalidationEvent& e) {
                if (auto* t = std::get_if<StatusBarInvalidationEvent::DisplayTopologyChanged>(&e.value))
                    heard.push_back("topology added=" + describe(t->addedDisplayUUIDs) +
                                    " removed=" + describe(t->removedDisplayUUIDs) + " source=" + t->source);
            });
        probes = app->displayLayoutEventBus()->subscribe([this](const DisplayLayoutProbeEvent& p) {
            heard.push_back("probe " + std::string(toString(p.reason)) + " source=" + p.source +
                            (p.forceImmediate ? " forced" : ""));
        });
    }
    static std::string describe(const Strings& list) {
        std::string out;
        for (const auto& s : list)
            out += (out.empty() ? "" : ",") + s;
        return "[" + out + "]";
    }

    Strings heard;
    std::unique_ptr<StatusBarEventSubscription> invalidations;
    std::unique_ptr<DisplayLayoutEventSubscription> probes;
};

TEST_F(AppDelegateEventsTest, eachActivationPublishesOneProbeFromTheApplicationDelegate) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    launch();
    listen();
    app->applicationDidBecomeActive();
    app->applicationDidBecomeActive();
    EXPECT_EQ(heard,
              (Strings(2, "probe app.did-become-active source=QGuiApplication.applicationStateChanged")));
}

TEST_F(AppDelegateEventsTest, theObserversNoticeReachesTheMenuThenTheDisplayPassWithWhateverListsItHolds) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    launch();
    listen();
    const std::string probe = "probe topology.changed source=DisplayObserver.notification";
    struct Row {
        const char* what;
        json userInfo;
        const char* topology;
    };
    const Row rows[] = {
        {"both lists", json{{"addedDisplayUUIDs", {"D2", "D3"}}, {"removedDisplayUUIDs", {"D0"}}},
         "topology added=[D2,D3] removed=[D0]"},
        {"no user info", json(), "topology added=[] removed=[]"},
        {"empty user info", json::object(), "topology added=[] removed=[]"},
        {"added not a list, removed read on its own",
         json{{"addedDisplayUUIDs", "D2"}, {"removedDisplayUUIDs", {"D0"}}},
         "topology added=[] removed=[D0]"},
        {"a list with a number in it",
         json{{"addedDisplayUUIDs", {"D2", 7}}, {"removedDisplayUUIDs", json::array()}},
         "topology added=[] removed=[]"},
        {"user info not an object", json::array({"D2"}), "topology added=[] removed=[]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        heard.clear();
        app->handleDisplayObserverNotification(row.userInfo);
        EXPECT_EQ(heard,
                  (Strings{std::string(row.topology) + " source=DisplayObserver.notification", probe}));
    }

    // The observer's own notice goes the same way: a display plugged in.
    heard.clear();
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
    desktop->loop().runUntilIdle();
    EXPECT_EQ(heard, (Strings{"topology added=[D2] removed=[] source=DisplayObserver.notification", probe}));
}

TEST_F(AppDelegateEventsTest, shutDownEndsWhatStartUpBeganAndWritesTheLayoutMemory) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    launch();
    desktop->loop().advance(seconds(1));
    app->layoutMemory()
        .layoutMemory()
        .map[LayoutMemoryStore::keyString("D1", "builtin.split-50-50")]
        .regionToSlots[2] = {"com.example.notes"};
    ASSERT_FALSE(fs::exists(home / LayoutMemoryStore::kFileName));

    app->applicationWillTerminate();
    const auto stored = LayoutMemoryStore::fromJSON(json::parse(read(home / LayoutMemoryStore::kFileName)));
    EXPECT_EQ(stored.regionToSlots("D1", "builtin.split-50-50")->at(2), Strings{"com.example.notes"});

    EXPECT_EQ(desktop->notifications().observerCount(DisplayObserver::screenParametersChangedNotification),
              0u);
    EXPECT_FALSE(app->displayChangeHandler().isSubscribedToProbes());
    EXPECT_FALSE(MouseEventTap::shared()->isRunning());
    EXPECT_EQ(desktop->folders().activeWatchCount(layouts().string()), 0u);
    // No handler of the application runs any more: the menu's Quit and a display change go unheard.
    app->statusBarEventBus()->publish(StatusBarActionEvent::quit);
    capture.log().clear();
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .uuid = "D2"});
    desktop->loop().advance(seconds(2));
    EXPECT_EQ(terminations, 0);
    EXPECT_FALSE(logged("[DisplayChange] handle start"));

    // A second shut-down finds everything ended and only writes the memory again.
    fs::remove(home / LayoutMemoryStore::kFileName);
    app->applicationWillTerminate();
    EXPECT_TRUE(fs::exists(home / LayoutMemoryStore::kFileName));
}

TEST_F(AppDelegateEventsTest, aWakeAfterStartUpRecoversTheMappingsAndAWakeAfterShutDownIsNotHeard) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    launch();
    desktop->loop().advance(seconds(1));

    desktop->simulateWake();
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(count("[SystemWake] System wake detected, refreshing services..."), 1u);
    EXPECT_EQ(count("[WakeRecovery] end token="), 1u);

    app->applicationWillTerminate();
    EXPECT_EQ(desktop->notifications().observerCount(platform::kDidWake), 0u);
    desktop->simulateWake();
    desktop->loop().advance(seconds(3));
    EXPECT_EQ(count("[SystemWake] System wake detected"), 1u);
}

TEST_F(AppDelegateEventsTest, aLayoutMemoryThatCannotBeWrittenIsLoggedAndShutDownCompletes) {
    markScenesConverted();
    addScreen("D1", Rect{0, 0, 1920, 1080});
    launch();
    fs::create_directories(home / LayoutMemoryStore::kFileName / "in-the-way");

    app->applicationWillTerminate();
    EXPECT_TRUE(logged("[app] Failed to persist layout memory: "));
    EXPECT_TRUE(fs::is_directory(home / LayoutMemoryStore::kFileName / "in-the-way"));
}

} // namespace
