// Displays on the simulated desktop and an application object with zone state, for the scenario tests
// of the layout and display operations of the application object.
#pragma once

#include "AppTestSupport.h"

#include "core/MultiDisplayState.h"
#include "core/WMState.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

class DisplayTest : public AppTest {
  protected:
    // Frames are bottom-left global; the first display added is the main one.
    int addDisplay(const std::string& uuid, const Rect& frame, std::optional<Rect> visible = std::nullopt) {
        return desktop->screens().addDisplay(
            {.frame = frame, .visibleFrame = visible, .name = "Screen " + uuid, .uuid = uuid});
    }

    // As at start-up: the zone state exists before any layout operation runs.
    std::shared_ptr<AppDelegate> makeLayoutApp() {
        auto app = makeApp();
        app->multiState = std::make_shared<MultiDisplayState>();
        return app;
    }

    static std::shared_ptr<WMState> stateOf(AppDelegate& app, const std::string& uuid) {
        auto it = app.multiState->states.find(uuid);
        return it == app.multiState->states.end() ? nullptr : it->second;
    }
    static std::vector<int> zoneIDs(const WMState& state) {
        std::vector<int> ids;
        for (const auto& [id, zone] : state.layout.zones)
            ids.push_back(id);
        return ids;
    }
    // Records a window in a zone without any window behind it: enough for the stacks.
    static void place(WMState& state, WindowID wid, int zone) {
        state.attach(WinRef{wid, 100, {}, std::nullopt, std::nullopt}, zone);
    }
    static std::vector<WindowID> stack(const WMState& state, int zone) { return state.zone(zone)->stack; }

    // What the files say for a display; nothing when it has no record there.
    static std::optional<std::string> storedTemplate(const std::string& uuid) {
        auto set = DisplayWorkbenchSet::load();
        auto it = set.workbenches.find(uuid);
        if (it == set.workbenches.end()) return std::nullopt;
        return it->second.activeTemplateID;
    }
    static std::optional<std::string> storedSelection(const std::string& uuid) {
        auto selection = LayoutSelectionStore::load();
        auto it = selection.lastByDisplay.find(uuid);
        if (it == selection.lastByDisplay.end()) return std::nullopt;
        return it->second;
    }
};

} // namespace korvane::testing
