// The display components made and wired as the application object makes them, on a simulated desktop
// with a fresh application-support folder and a captured log, for the scenario tests of app/.
#pragma once

#include "app/DisplayLayouts.h"
#include "app/DisplayRecords.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "app/StatusBarEventBus.h"
#include "app/WindowMappingClassifier.h"
#include "app/ZoneMemberships.h"
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "layouts/LayoutLibrary.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateSet.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"
#include "tracking/MappingTransaction.h"
#include "tracking/WindowTracker.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

class DisplayTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        bus = StatusBarEventBus::create(*desktop);
        subscription = bus->subscribeInvalidations([this](const StatusBarInvalidationEvent& e) {
            if (auto* r = std::get_if<StatusBarInvalidationEvent::RefreshRequested>(&e.value))
                refreshes.push_back(r->source);
        });
        records = std::make_shared<DisplayRecords>(
            *desktop, ax, multiState, DisplayRecords::Stores{workbenches, selection, templates}, bus);
        displayLayouts = std::make_shared<DisplayLayouts>(
            *desktop, DisplayLayouts::Dependencies{multiState, controller, ax, library, records, memory,
                                                   workbenches, selection, mapping, memberships});
        displayLayouts->wireControllerCallbacks = [this] { ++activations; };
    }

    // Frames are bottom-left global; the first display added is the main one.
    int addDisplay(const std::string& uuid, const Rect& frame, std::optional<Rect> visible = std::nullopt) {
        return desktop->screens().addDisplay(
            {.frame = frame, .visibleFrame = visible, .name = "Screen " + uuid, .uuid = uuid});
    }
    // Stores the layouts as user layout files and reloads them.
    void addUserLayouts(const std::vector<ConfigZoneSet>& sets) {
        for (const auto& set : sets)
            write(layouts() / (set.id + ".json"), set.toJSON().dump());
        library->reloadUserLayouts();
    }

    std::shared_ptr<WMState> stateOf(const std::string& uuid) const {
        return multiState->states.contains(uuid) ? multiState->states.at(uuid) : nullptr;
    }
    // Records a window in a zone without any window behind it: enough for the stacks.
    static void place(WMState& state, WindowID wid, int zone) {
        state.attach(WinRef{wid, 100, {}, std::nullopt, std::nullopt}, zone);
    }
    static bool zonesLieWithin(const WMState& state, const Rect& area) {
        for (const auto& [id, zone] : state.layout.zones)
            if (zone.frame.intersection(area) != zone.frame) return false;
        return !state.layout.zones.empty();
    }
    // An application in front whose focused window is a new window with this frame.
    std::uint32_t openFocusedWindow(const Rect& frame) {
        const pid_t editor =
            desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        const auto n = desktop->windows().open(editor, {.frame = frame, .title = "Notes"});
        desktop->workspace().bringToFront(editor);
        desktop->loop().runUntilIdle();
        return n;
    }

    // What the files say for a display; nothing when it has no record there.
    static std::optional<std::string> storedTemplate(const std::string& uuid) {
        auto benches = DisplayWorkbenchSet::load().workbenches;
        return benches.contains(uuid) ? std::optional(benches.at(uuid).activeTemplateID) : std::nullopt;
    }
    static std::optional<std::string> storedSelection(const std::string& uuid) {
        auto stored = LayoutSelectionStore::load().lastByDisplay;
        return stored.contains(uuid) ? std::optional(stored.at(uuid)) : std::nullopt;
    }
    bool logged(std::string_view line) { return capture.log().contains(line); }

    sim::ScopedLogCapture capture;
    std::shared_ptr<StatusBarEventBus> bus;
    std::shared_ptr<AXUtil> ax = AXUtil::shared();
    std::shared_ptr<LayoutSelection> selection = std::make_shared<LayoutSelection>();
    std::shared_ptr<LayoutTemplateSet> templates = std::make_shared<LayoutTemplateSet>();
    std::shared_ptr<DisplayWorkbenchSet> workbenches = std::make_shared<DisplayWorkbenchSet>();
    std::shared_ptr<MultiDisplayState> multiState = std::make_shared<MultiDisplayState>();
    std::shared_ptr<WMController> controller = std::make_shared<WMController>(multiState, ax);
    std::shared_ptr<MappingTransactionCoordinator> mapping =
        std::make_shared<MappingTransactionCoordinator>();
    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::shared_ptr<LayoutMemory> memory =
        std::make_shared<LayoutMemory>(desktop->process(), workbenches, selection);
    std::shared_ptr<WindowTracker> tracker = WindowTracker::create(*desktop, ax);
    std::shared_ptr<WindowMappingClassifier> classifier =
        std::make_shared<WindowMappingClassifier>(*desktop, ax, tracker);
    std::shared_ptr<ZoneMemberships> memberships = std::make_shared<ZoneMemberships>(
        *desktop, ZoneMemberships::Dependencies{multiState, memory, ax, tracker, classifier});
    std::shared_ptr<DisplayRecords> records;
    std::shared_ptr<DisplayLayouts> displayLayouts;
    int activations = 0; // calls of the re-wiring hook
    std::vector<std::string> refreshes;
    std::unique_ptr<StatusBarEventSubscription> subscription;
};

} // namespace korvane::testing
