// A simulated desktop with a fresh application-support folder and captured log, for the tests of the
// application object, with a recorder of the refresh requests it publishes.
#pragma once

#include "app/AppDelegate.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

#include <memory>
#include <string>
#include <vector>

namespace korvane::testing {

class AppTest : public SupportFolderTest {
  protected:
    // A new application object with a subscriber that records the sources of its refresh requests.
    std::shared_ptr<AppDelegate> makeApp() {
        auto app = AppDelegate::create(*desktop);
        refreshes.clear();
        subscription =
            app->statusBarEventBus->subscribeInvalidations([this](const StatusBarInvalidationEvent& e) {
                if (auto* r = std::get_if<StatusBarInvalidationEvent::RefreshRequested>(&e.value)) {
                    EXPECT_EQ(r->reason, StatusBarInvalidationReason::externalStateChanged);
                    refreshes.push_back(r->source);
                }
            });
        return app;
    }

    bool logged(std::string_view line) { return capture.log().contains(line); }
    std::size_t loggedCount(std::string_view line) { return capture.log().count(line); }

    sim::ScopedLogCapture capture;
    std::vector<std::string> refreshes;
    std::unique_ptr<StatusBarEventSubscription> subscription;
};

} // namespace korvane::testing
