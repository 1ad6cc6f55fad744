// The Layouts folder watcher on the simulated desktop: debounced reloads, restarts after the folder is
// deleted or moved away, stopping, and a folder that cannot be had.
#include "support/SupportFolderFixture.h"

#include "layouts/LayoutDirectoryWatcher.h"
#include "layouts/LayoutLibrary.h"
#include "platform/sim/LogCapture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;

namespace {

class LayoutDirectoryWatcherTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        watcher = LayoutDirectoryWatcher::create(desktop->loop(), desktop->folders(), [this] {
            ++reloads;
            library.reloadUserLayouts();
            return library.regionSets().size();
        });
        watcher->startLayoutDirectoryWatcher();
    }

    void inject(unsigned events) { desktop->folders().inject(layouts().string(), events); }
    std::size_t watches() { return desktop->folders().activeWatchCount(layouts().string()); }
    void advanceMs(int ms) { desktop->loop().advance(milliseconds(ms)); }
    bool logged(std::string_view line) { return capture.log().contains(line); }
    void writeLayout() { write(layouts() / "layout.a.json", R"({"id":"layout.a","name":"N"})"); }

    sim::ScopedLogCapture capture;
    LayoutLibrary library{desktop->defaults()};
    std::shared_ptr<LayoutDirectoryWatcher> watcher;
    int reloads = 0;
};

} // namespace

TEST_F(LayoutDirectoryWatcherTest, startCreatesTheFolderAndABurstOfEventsGivesOneReloadAfterTheLast) {
    EXPECT_TRUE(fs::is_directory(layouts()));
    watcher->startLayoutDirectoryWatcher();
    EXPECT_EQ(watches(), 1u);

    writeLayout();
    inject(platform::kFolderWrite);
    advanceMs(100);
    inject(platform::kFolderWrite | platform::kFolderExtend);
    advanceMs(100);
    inject(platform::kFolderAttrib);
    advanceMs(249);
    EXPECT_EQ(reloads, 0);
    advanceMs(1);
    EXPECT_EQ(reloads, 1);
    advanceMs(1000);
    EXPECT_EQ(reloads, 1);
}

TEST_F(LayoutDirectoryWatcherTest, aDeletedOrMovedFolderIsWatchedAgainAtItsPath) {
    for (unsigned event : {platform::kFolderDelete, platform::kFolderRename, platform::kFolderRevoke}) {
        SCOPED_TRACE(event);
        writeLayout();
        library.reloadUserLayouts();
        reloads = 0;
        capture.log().clear();

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
        EXPECT_EQ(reloads, 0);
        advanceMs(1);
        EXPECT_EQ(reloads, 1);
        EXPECT_TRUE(library.regionSets().empty());
        fs::remove_all(home / "Moved");
    }
}

TEST_F(LayoutDirectoryWatcherTest, stoppingOrDroppingTheWatcherCancelsWhatIsPending) {
    inject(platform::kFolderDelete);
    advanceMs(10);
    watcher->stopLayoutDirectoryWatcher();
    watcher->stopLayoutDirectoryWatcher(); // nothing more to stop
    EXPECT_EQ(watches(), 0u);
    inject(platform::kFolderWrite);
    advanceMs(1000);
    EXPECT_EQ(reloads, 0);
    EXPECT_FALSE(logged("Restarted"));

    watcher->startLayoutDirectoryWatcher();
    inject(platform::kFolderWrite);
    advanceMs(10);
    watcher.reset();
    EXPECT_EQ(watches(), 0u);
    advanceMs(1000);
    EXPECT_EQ(reloads, 0);
}

TEST_F(LayoutDirectoryWatcherTest, aFolderThatCannotBeHadIsLoggedAndTheRestartStillReloads) {
    watcher->stopLayoutDirectoryWatcher();
    write(home / "plain-file", "x");
    desktop->process().setEnvironment("KORVANE_HOME", (home / "plain-file" / "support").string());
    watcher->startLayoutDirectoryWatcher();
    EXPECT_EQ(desktop->folders().activeWatchCount((home / "plain-file/support/Layouts").string()), 0u);
    EXPECT_TRUE(logged("[app] Failed to start layouts directory watcher: "));

    watcher->restartLayoutDirectoryWatcher("test");
    advanceMs(250);
    EXPECT_EQ(reloads, 1);
}
