// The status item's controller on the bus: a change of the displays cancels an open menu, every
// invalidation marks the item stale, and a new bind ends the old subscription.
#include "ui/switchers/StatusBarController.h"

#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

constexpr const char* kCancelled =
    "[StatusBar] Forced menu cancellation due to external request (likely display change)";

class StatusBarControllerTest : public ::testing::Test {
  protected:
    static StatusBarInvalidationEvent topologyChanged() {
        return StatusBarInvalidationEvent::displayTopologyChanged({"D2"}, {}, "test");
    }
    static StatusBarInvalidationEvent refresh() {
        return StatusBarInvalidationEvent::refreshRequested(StatusBarInvalidationReason::externalStateChanged,
                                                            "test");
    }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<StatusBarEventBus> bus = StatusBarEventBus::create(*desktop);
    std::shared_ptr<StatusBarController> status = StatusBarController::create();
};

} // namespace

TEST_F(StatusBarControllerTest, cancellingAClosedMenuDoesNothingAndAnOpenOneOwesARefresh) {
    status->forceCancelMenu();
    EXPECT_FALSE(status->needsRefreshAfterClose());
    EXPECT_FALSE(capture.log().contains(kCancelled));

    status->isMenuOpen = true;
    status->forceCancelMenu();
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_TRUE(status->needsRefreshAfterClose());
    EXPECT_EQ(capture.log().count(kCancelled), 1u);
}

TEST_F(StatusBarControllerTest, aDisplayChangeOnTheBoundBusClosesTheMenuAndOtherInvalidationsOnlyMarkIt) {
    status->bind(bus);
    status->isMenuOpen = true;
    bus->publish(refresh());
    EXPECT_TRUE(status->isMenuOpen);
    EXPECT_TRUE(status->isDirty());
    EXPECT_TRUE(status->needsRefreshAfterClose());

    bus->publish(topologyChanged());
    EXPECT_FALSE(status->isMenuOpen);
    EXPECT_EQ(capture.log().count(kCancelled), 1u);

    // Bound to another bus, the first one no longer reaches it.
    auto other = StatusBarEventBus::create(*desktop);
    status->bind(other);
    status->isMenuOpen = true;
    bus->publish(topologyChanged());
    EXPECT_TRUE(status->isMenuOpen);
    other->publish(topologyChanged());
    EXPECT_FALSE(status->isMenuOpen);

    // Gone, it is not called.
    status.reset();
    other->publish(topologyChanged());
    EXPECT_EQ(capture.log().count(kCancelled), 2u);
}
