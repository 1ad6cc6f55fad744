// A simulated desktop with one 1440x900 display ("DISPLAY-A"), a running editor application, a zone
// state for the display and a window controller whose callbacks are recorded, for the scenario tests of
// the zone operations.
#pragma once

#include "core/ActivationFixture.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"

namespace korvane::testing {

class WMControllerTest : public ActivationTest {
  protected:
    static constexpr const char* kDisplayA = "DISPLAY-A";
    static constexpr const char* kDisplayB = "DISPLAY-B";
    using Moves = std::vector<std::pair<WindowID, int>>;
    using Wids = std::vector<WindowID>;

    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .uuid = std::string(kDisplayA)});
        editor = ws().launch({.bundleID = "com.example.editor", .name = "Editor"});
        loop().runUntilIdle();
        addState(kDisplayA, Rect{0, 0, 1440, 900}, 2);
        controller->onWindowMoved = [this](WindowID wid, int zone) { moves.emplace_back(wid, zone); };
        controller->onWindowFocus = [this](WindowID wid) { focused.push_back(wid); };
        controller->onCycleBounce = [this](const std::string& uuid) { bounces.push_back(uuid); };
    }

    // A state for the display with `count` side-by-side zones numbered from 1, left to right.
    WMState& addState(const std::string& uuid, const Rect& area, int count) {
        Layout layout{uuid, {}, {}};
        const double w = area.width() / count;
        for (int i = 1; i <= count; ++i)
            layout.zones[i] = Zone{i, Rect{area.minX() + (i - 1) * w, area.minY(), w, area.height()}, {}, 0};
        return *(multi->states[uuid] = std::make_shared<WMState>(layout));
    }
    // Zone 1 on top of zone 2, each half the display.
    void topBottomZones() {
        stateA().layout.zones = {{1, Zone{1, Rect{0, 450, 1440, 450}, {}, 0}},
                                 {2, Zone{2, Rect{0, 0, 1440, 450}, {}, 0}}};
    }

    WMState& stateA() { return *multi->states.at(kDisplayA); }
    pid_t frontPid() { return ws().frontmostApplication()->pid; }

    std::uint32_t openWindow(pid_t pid, const Rect& frame, sim::SimWindowSpec traits = {}) {
        traits.frame = frame;
        if (traits.title.empty()) traits.title = "Document";
        return windows().open(pid, traits);
    }
    // A small untitled window without a subrole that is neither main nor focused: an auxiliary window
    // beside any document of its application.
    std::uint32_t openPalette(pid_t pid) {
        return windows().open(
            pid, {.frame = Rect{950, 500, 200, 100}, .subrole = {}, .focused = false, .main = false});
    }
    platform::AXElement element(std::uint32_t n) { return windows().element(n); }
    std::optional<WindowID> focusedWindow() {
        auto window = controller->ax->focusedWindow();
        return window ? controller->ax->windowID(*window) : std::nullopt;
    }
    // Records the window in a zone the way a placement does, without moving it.
    void place(WMState& state, std::uint32_t n, pid_t pid, int zone) {
        state.attach(WinRef{n, pid, element(n), std::nullopt, windows().frame(n)}, zone);
    }
    Wids stack(WMState& state, int zone) { return state.zone(zone)->stack; }
    // Lets the activations that were started run to their end.
    void settle() { loop().advance(seconds(5)); }

    std::shared_ptr<MultiDisplayState> multi = std::make_shared<MultiDisplayState>();
    std::shared_ptr<WMController> controller =
        std::make_shared<WMController>(multi, std::make_shared<AXUtil>(*desktop));
    pid_t editor = 0;
    Moves moves;
    Wids focused;
    std::vector<std::string> bounces;
};

} // namespace korvane::testing
