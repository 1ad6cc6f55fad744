// The display-layout event bus: numbering, the publish line, cancellation and delivery from other threads.
#include "app/DisplayLayoutEventBus.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class DisplayLayoutEventBusTest : public ::testing::Test {
  protected:
    std::size_t count(std::string_view needle) { return capture.log().count(needle); }

    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    std::shared_ptr<DisplayLayoutEventBus> bus = DisplayLayoutEventBus::create(*desktop);
};

} // namespace

TEST_F(DisplayLayoutEventBusTest, probesAreNumberedAndLoggedAndACancelTakesEffectOnce) {
    bus->publish({DisplayLayoutProbeReason::systemWake, "AppDelegate+Display.handleSystemWake", false, {}});
    std::vector<std::string> seen;
    auto sub = bus->subscribe([&](const DisplayLayoutProbeEvent& e) { seen.push_back(e.source); });
    bus->publish({DisplayLayoutProbeReason::dragSnap, "DragSnapController.onBeforeSnap", true, "D2"});
    sub->cancel();
    sub->cancel();
    bus->publish({});
    EXPECT_EQ(seen, std::vector<std::string>{"DragSnapController.onBeforeSnap"});
    EXPECT_EQ(count("[DisplayLayoutEventBus] publish[1] probe reason=system.wake "
                    "source=AppDelegate+Display.handleSystemWake force=false preferred=- subscribers=0"),
              1u);
    EXPECT_EQ(count("publish[2] probe reason=drag-snap source=DragSnapController.onBeforeSnap force=true "
                    "preferred=D2 subscribers=1"),
              1u);
    EXPECT_EQ(count("unsubscribe probe token="), 1u);
    EXPECT_EQ(displayLayoutProbeReasonFrom("app.did-become-active"),
              DisplayLayoutProbeReason::appDidBecomeActive);
    EXPECT_FALSE(displayLayoutProbeReasonFrom("System.wake"));
}

TEST_F(DisplayLayoutEventBusTest, linesAreFiledUnderTheProgramsBundleIdentifierElseUnderKorvane) {
    for (std::optional<std::string> bundle :
         {std::optional<std::string>("com.korvane.app"), std::optional<std::string>()}) {
        SCOPED_TRACE(bundle.value_or("none"));
        capture.log().clear();
        desktop->process().setBundleIdentifier(bundle);
        DisplayLayoutEventBus::create(*desktop)->publish({});
        const auto records = capture.log().records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].subsystem, bundle.value_or("Korvane"));
        EXPECT_EQ(records[0].category, "DisplayLayoutEventBus");
    }
}

TEST_F(DisplayLayoutEventBusTest, aHandlerRemovedDuringADeliveryStillGetsItAndADroppedHandleCancels) {
    std::unique_ptr<DisplayLayoutEventSubscription> first, second;
    int calls = 0;
    // Tokens order the handlers; whichever runs first cancels the other.
    first = bus->subscribe([&](const DisplayLayoutProbeEvent&) { ++calls, second->cancel(); });
    second = bus->subscribe([&](const DisplayLayoutProbeEvent&) { ++calls, first->cancel(); });
    bus->publish({});
    bus->publish({});
    EXPECT_EQ(calls, 2);
    bus->subscribe([&](const DisplayLayoutProbeEvent&) { ++calls; }).reset();
    bus->publish({});
    EXPECT_EQ(calls, 2);
}

TEST_F(DisplayLayoutEventBusTest, aProbeFromAnotherThreadIsDeliveredOnMainUnderTheNextNumber) {
    auto& loop = desktop->loop();
    std::vector<bool> onMain;
    auto sub = bus->subscribe([&](const DisplayLayoutProbeEvent&) { onMain.push_back(loop.isMainThread()); });
    loop.dispatchGlobal(platform::QueueQoS::Utility, [&] {
        bus->publish({DisplayLayoutProbeReason::prePush, "background", false, {}});
    });
    bus->publish({DisplayLayoutProbeReason::manual, "main", false, {}}); // numbered now
    loop.runUntilIdle();
    EXPECT_EQ(onMain, (std::vector<bool>{true, true}));
    EXPECT_EQ(count("publish[2] probe reason=pre-push source=background"), 1u);
}
