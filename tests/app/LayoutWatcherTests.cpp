// The Layouts folder watcher on the simulated desktop: debounced reloads, restarts after the folder is
// deleted or moved away, and stopping.
#include "AppTestSupport.h"

#include "platform/FolderWatcher.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::AppTest;
namespace fs = std::filesystem;

namespace {

class LayoutWatcherTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        app = makeApp();
        app->startLayoutDirectoryWatcher();
    }

    void inject(unsigned events) { desktop->folders().inject(layouts().string(), events); }
    std::size_t watches() { return desktop->folders().activeWatchCount(layouts().string()); }
    void advanceMs(int ms) { desktop->loop().advance(milliseconds(ms)); }

    std::shared_ptr<AppDelegate> app;
};

std::string layoutText(const std::string& id) {
    return R"({"id":")" + id + R"(","name":"N"})";
}

} // namespace

TEST_F(LayoutWatcherTest, startCreatesTheFolderAndWatchesIt) {
    EXPECT_TRUE(fs::is_directory(layouts()));
    EXPECT_EQ(watches(), 1u);
    EXPECT_TRUE(logged("[app] Started layouts directory watcher path=" + layouts().string()));
    app->startLayoutDirectoryWatcher();
    EXPECT_EQ(watches(), 1u);
}

TEST_F(LayoutWatcherTest, aBurstOfEventsGivesOneReloadAfterTheLast) {
    write(layouts() / "layout.a.json", layoutText("layout.a"));
    inject(platform::kFolderWrite);
    advanceMs(100);
    inject(platform::kFolderWrite | platform::kFolderExtend);
    advanceMs(100);
    inject(platform::kFolderAttrib);
    advanceMs(249);
    EXPECT_FALSE(logged("Layouts hot-reloaded"));
    EXPECT_TRUE(logged("[app] Layouts directory changed mask=9"));

    advanceMs(1);
    EXPECT_EQ(loggedCount("[app] Layouts hot-reloaded reason=fs-event count=1"), 1u);
    EXPECT_EQ(app->regionSets.size(), 1u);
    EXPECT_EQ(refreshes, (std::vector<std::string>{"AppDelegate+Persistence.scheduleLayoutDirectoryReload"}));
    advanceMs(1000);
    EXPECT_EQ(loggedCount("Layouts hot-reloaded"), 1u);
}

TEST_F(LayoutWatcherTest, aDeletedOrMovedFolderIsWatchedAgainAtItsPath) {
    for (unsigned event : {platform::kFolderDelete, platform::kFolderRename, platform::kFolderRevoke}) {
        SCOPED_TRACE(event);
        write(layouts() / "layout.a.json", layoutText("layout.a"));
        app->reloadUserLayouts();
        ASSERT_EQ(app->regionSets.size(), 1u);
        capture.log().clear();
        refreshes.clear();

        fs::rename(layouts(), home / "Moved");
        inject(event);
        advanceMs(199);
        EXPECT_FALSE(logged("Restarted"));
        advanceMs(1);
        EXPECT_TRUE(logged("[app] Restarted layouts directory watcher reason=fs-invalidated"));
        EXPECT_TRUE(fs::is_directory(layouts()));
        EXPECT_EQ(watches(), 1u);
        // The reload of the event itself was dropped by the restart; the restart's own follows.
        advanceMs(249);
        EXPECT_FALSE(logged("Layouts hot-reloaded"));
        advanceMs(1);
        EXPECT_EQ(capture.log().count("Layouts hot-reloaded"), 1u);
        EXPECT_TRUE(logged("[app] Layouts hot-reloaded reason=watcher-restart count=0"));
        EXPECT_TRUE(app->regionSets.empty());
        EXPECT_EQ(refreshes.size(), 1u);
        fs::remove_all(home / "Moved");
    }
}

TEST_F(LayoutWatcherTest, stoppingOrDroppingTheApplicationCancelsWhatIsPending) {
    inject(platform::kFolderDelete);
    advanceMs(10);
    app->stopLayoutDirectoryWatcher();
    EXPECT_EQ(watches(), 0u);
    advanceMs(1000);
    EXPECT_FALSE(logged("Layouts hot-reloaded"));
    EXPECT_FALSE(logged("Restarted"));
    app->stopLayoutDirectoryWatcher(); // nothing to stop
    inject(platform::kFolderWrite);
    advanceMs(1000);
    EXPECT_FALSE(logged("Layouts hot-reloaded"));

    // Nothing runs once the application is gone either.
    app->startLayoutDirectoryWatcher();
    inject(platform::kFolderWrite);
    advanceMs(10);
    app.reset();
    EXPECT_EQ(watches(), 0u);
    advanceMs(1000);
    EXPECT_FALSE(logged("Layouts hot-reloaded"));
}

TEST_F(LayoutWatcherTest, aFolderThatCannotBeHadIsLogged) {
    app->stopLayoutDirectoryWatcher();
    write(home / "plain-file", "x");
    desktop->process().setEnvironment("KORVANE_HOME", (home / "plain-file" / "support").string());
    app->startLayoutDirectoryWatcher();
    EXPECT_EQ(desktop->folders().activeWatchCount((home / "plain-file/support/Layouts").string()), 0u);
    EXPECT_TRUE(logged("[app] Failed to start layouts directory watcher: "));

    // The restart still schedules its reload and logs when the start fails.
    app->restartLayoutDirectoryWatcher("test");
    EXPECT_TRUE(logged("[app] Restarted layouts directory watcher reason=test"));
    advanceMs(250);
    EXPECT_TRUE(logged("[app] Failed to reload user layouts: "));
    EXPECT_TRUE(logged("[app] Layouts hot-reloaded reason=watcher-restart count=0"));
}
