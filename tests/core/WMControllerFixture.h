// A simulated desktop with one 1440x900 display ("DISPLAY-A"), a running editor application, a zone
// state for the display and a window controller whose callbacks are recorded, for the scenario tests of
// the zone operations.
#pragma once

#include "core/ActivationFixture.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "core/WMState.h"

#include <memory>
#include <utility>
#include <vector>

namespace korvane::testing {

class WMControllerTest : public ActivationTest {
  protected:
    static constexpr const char* kDisplayA = "DISPLAY-A";
    static constexpr const char* kDisplayB = "DISPLAY-B";

    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .uuid = std::string(kDisplayA)});
        editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        loop().runUntilIdle();
        multi->states[kDisplayA] = std::make_shared<WMState>(columns(kDisplayA, Rect{0, 0, 1440, 900}, 2));
        controller->onWindowMoved = [this](WindowID wid, int zone) { moves.emplace_back(wid, zone); };
        controller->onWindowFocus = [this](WindowID wid) { focused.push_back(wid); };
        controller->onCycleBounce = [this](const std::string& uuid) { bounces.push_back(uuid); };
    }

    // `count` side-by-side zones numbered from 1, left to right.
    static Layout columns(const std::string& uuid, const Rect& area, int count) {
        Layout layout;
        layout.screenId = uuid;
        const double w = area.width() / count;
        for (int i = 0; i < count; ++i)
            layout.zones[i + 1] =
                Zone{i + 1, Rect{area.minX() + i * w, area.minY(), w, area.height()}, {}, 0};
        return layout;
    }

    WMState& stateA() { return *multi->states.at(kDisplayA); }

    std::uint32_t openWindow(pid_t pid, const Rect& frame, sim::SimWindowSpec traits = {}) {
        traits.frame = frame;
        if (traits.title.empty()) traits.title = "Document";
        return desktop->windows().open(pid, traits);
    }
    // A small untitled window without a subrole that is neither main nor focused: an auxiliary window
    // beside any document of its application.
    std::uint32_t openPalette(pid_t pid) {
        const auto n = openWindow(pid, Rect{950, 500, 200, 100},
                                  {.title = "", .subrole = std::nullopt, .focused = false, .main = false});
        desktop->windows().setTitle(n, "");
        return n;
    }
    platform::AXElement element(std::uint32_t n) { return desktop->windows().element(n); }
    std::optional<WindowID> focusedWindow() {
        auto window = controller->ax->focusedWindow();
        if (!window) return std::nullopt;
        return controller->ax->windowID(*window);
    }
    // Records the window in a zone the way a placement does, without moving it.
    void place(WMState& state, std::uint32_t n, pid_t pid, int zone) {
        state.attach(WinRef{n, pid, element(n), std::nullopt, desktop->windows().frame(n)}, zone);
    }
    std::vector<WindowID> stack(WMState& state, int zone) { return state.zone(zone)->stack; }

    std::shared_ptr<MultiDisplayState> multi = std::make_shared<MultiDisplayState>();
    std::shared_ptr<WMController> controller =
        std::make_shared<WMController>(multi, std::make_shared<AXUtil>(*desktop));
    pid_t editor = 0;
    using Moves = std::vector<std::pair<WindowID, int>>;
    Moves moves;
    std::vector<WindowID> focused;
    std::vector<std::string> bounces;
};

} // namespace korvane::testing
