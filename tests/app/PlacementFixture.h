// Placements on the simulated desktop: display D with three zones side by side and its zone state, the
// tracker, the classifier and the display-layout bus as the application object makes them, and the
// helpers to open applications' windows and read what the zones and the coordinator hold.
#pragma once

#include "DisplayFixture.h"

#include "app/DisplayLayoutEventBus.h"
#include "app/WindowMappingClassifier.h"
#include "tracking/WindowTracker.h"

#include <string>
#include <vector>

namespace korvane::testing {

class PlacementTest : public DisplayTest {
  protected:
    static constexpr const char* kD = "D";

    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kD, Rect{0, 0, 1800, 1000});
        Layout layout;
        layout.screenId = kD;
        for (int id = 1; id <= 3; ++id)
            layout.zones[id] = Zone{id, zoneFrame(id), {}, 0};
        multiState->states[kD] = std::make_shared<WMState>(layout);
        probeSubscription =
            probeBus->subscribe([this](const DisplayLayoutProbeEvent& e) { probes.push_back(e); });
    }

    static Rect zoneFrame(int id) { return Rect{600.0 * (id - 1), 0, 600, 1000}; }
    WMState& stateD() { return *multiState->states.at(kD); }
    std::vector<WindowID> stackOf(int zone) { return stateD().layout.zones.at(zone).stack; }

    pid_t launch(const std::string& bundleID, std::optional<pid_t> pid = std::nullopt) {
        return desktop->workspace().launch({.bundleID = bundleID, .pid = pid});
    }
    WindowID open(pid_t pid, const sim::SimWindowSpec& spec) { return desktop->windows().open(pid, spec); }
    // An untitled window without a subrole that is neither main nor focused: how ghost strips and tool
    // panels look to accessibility.
    WindowID openUntitled(pid_t pid, const Rect& frame) {
        return open(pid,
                    {.frame = frame, .title = "", .subrole = std::nullopt, .focused = false, .main = false});
    }
    // A window already placed in a zone of D, as an earlier push leaves it.
    WindowID placed(int zone, const std::string& title) {
        const pid_t other = launch("com.example.other." + title);
        const WindowID wid = open(other, {.frame = zoneFrame(zone), .title = title, .focused = false});
        stateD().attach(WinRef{wid, other, desktop->windows().element(wid), std::nullopt, zoneFrame(zone)},
                        zone);
        return wid;
    }
    void raiseEpochTo(const std::string& display, std::int64_t epoch) {
        while (mapping->currentEpoch(display) < epoch)
            mapping->bumpEpoch(display, "test");
    }
    void track() {
        tracker->startObserving();
        desktop->loop().runUntilIdle();
    }
    // The events of the claim lines, in order ("slot.claim.created", ...).
    std::vector<std::string> claimEvents() {
        std::vector<std::string> events;
        for (const auto& line : capture.log().lines()) {
            const auto start = line.find("[slot.claim.");
            if (start == std::string::npos) continue;
            events.push_back(line.substr(start + 1, line.find(']', start) - start - 1));
        }
        return events;
    }
    MappingIntent intentOf(const std::optional<std::string>& id) {
        auto found = id ? mapping->intent(*id) : std::nullopt;
        EXPECT_TRUE(found.has_value());
        return found.value_or(MappingIntent{});
    }

    std::shared_ptr<DisplayLayoutEventBus> probeBus = DisplayLayoutEventBus::create(*desktop);
    std::shared_ptr<WindowTracker> tracker = WindowTracker::create(*desktop, ax);
    std::shared_ptr<WindowMappingClassifier> classifier =
        std::make_shared<WindowMappingClassifier>(*desktop, ax, tracker);
    std::vector<DisplayLayoutProbeEvent> probes;
    std::unique_ptr<DisplayLayoutEventSubscription> probeSubscription;
};

} // namespace korvane::testing
