// The application object on a simulated desktop with a fresh support folder, a captured log and a
// permission window that writes what happens to it into the test's journal; for the tests of start-up,
// the application's events and the status-bar actions.
#pragma once

#include "app/PermissionManager.h"
#include "platform/Time.h"
#include "platform/sim/LogCapture.h"
#include "shell/AppDelegate.h"
#include "support/SupportFolderFixture.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace korvane::testing {

class LaunchTest : public SupportFolderTest {
  protected:
    using Journal = std::vector<std::string>;

    class JournalWindow final : public PermissionWindow {
      public:
        explicit JournalWindow(Journal& journal) : journal_(journal) {}
        void show() override { journal_.push_back("window shown"); }
        void close() override { journal_.push_back("window closed"); }

      private:
        Journal& journal_;
    };

    void SetUp() override {
        SupportFolderTest::SetUp();
        PermissionManager::shared()->makePermissionWindow = [this](PermissionManager&) {
            journal.push_back("window made");
            return std::make_unique<JournalWindow>(journal);
        };
    }

    // One screen, settled, so that the display observer starts on what is there.
    void addScreen(const std::string& uuid, const Rect& frame) {
        desktop->screens().addDisplay({.frame = frame, .uuid = uuid});
        desktop->loop().runUntilIdle();
    }
    // The first-scene conversion has decided already: no scene is made at launch.
    void markScenesConverted() { write(home / "scene-migration-d7-done", "done"); }

    std::shared_ptr<AppDelegate> launch() {
        app = AppDelegate::create(*desktop);
        app->terminate = [this] { ++terminations; };
        app->applicationDidFinishLaunching();
        return app;
    }
    // Start-up, then the first display pass, which settles each display's layout.
    void launchAndSettle(Nanos settleFor = seconds(2)) {
        launch();
        desktop->loop().advance(settleFor);
    }

    bool logged(std::string_view line) { return capture.log().contains(line); }
    std::size_t count(std::string_view line) { return capture.log().count(line); }
    std::size_t inJournal(const std::string& entry) const {
        return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), entry));
    }
    std::size_t servicesStarted() { return count("Permissions granted, starting services..."); }

    sim::ScopedLogCapture capture;
    Journal journal;
    std::shared_ptr<AppDelegate> app;
    int terminations = 0;
};

} // namespace korvane::testing
