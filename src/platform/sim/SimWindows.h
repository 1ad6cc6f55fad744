// Test hooks for the simulated windows: opening, closing and changing them as their applications or
// their users would, each change announced to accessibility observers through the loop.
#pragma once

#include "platform/Accessibility.h"
#include "platform/sim/SimTypes.h"

#include <vector>

namespace korvane::sim {

class SimModel;

// Windows are named by their window numbers, unique among open windows. Frames taken and given are in
// bottom-left global coordinates, converted with the main display's height at the time of the call
// (add displays before windows); the model keeps the top-left form, as the window server does.
class SimWindows {
  public:
    explicit SimWindows(SimModel& model);

    // Announces "AXWindowCreated" (and the focus changes the window brings) to the owner's observers.
    std::uint32_t open(pid_t pid, const SimWindowSpec& desc);
    // The element turns invalid (it keeps only its number, see SimWindowSpec); "AXUIElementDestroyed"
    // is announced and the application's focus goes to its front-most remaining window.
    void close(std::uint32_t number);
    // The application replaces the window by a new one, with the same properties, under a new number.
    std::uint32_t recreate(std::uint32_t number, std::optional<std::uint32_t> newNumber = std::nullopt);
    // The same element reports another number from now on.
    void renumber(std::uint32_t number, std::uint32_t newNumber);
    void setTitle(std::uint32_t number, const std::string& title);
    // The user moves or resizes the window; limits and increments do not apply.
    void setFrame(std::uint32_t number, const Rect& frame);
    void setMinimized(std::uint32_t number, bool minimized);
    // The user clicks the window: its application comes forward and the window gets the focus (a window
    // that takes no focus is only raised).
    void focus(std::uint32_t number);
    void raise(std::uint32_t number);
    // The window manager's virtual desktops: every window lies on desktop 0 until sent elsewhere (none:
    // every desktop), and desktop 0 shows until another is shown. A window on a desktop not shown is off
    // screen in the window list and reads true under platform::kOtherDesktopAttribute; focusing it
    // through accessibility shows its desktop first, as a pager brings it forward.
    void sendToDesktop(std::uint32_t number, std::optional<int> desktop);
    void showDesktop(int desktop);
    int shownDesktop() const;

    Rect frame(std::uint32_t number) const;
    Rect frameTopLeft(std::uint32_t number) const;
    platform::AXElement element(std::uint32_t number) const;
    // Every open window, front to back.
    std::vector<std::uint32_t> frontToBack() const;

    // A UI element inside a window (parent: the window or another child element).
    platform::AXElement addChildElement(const platform::AXElement& parent, const SimChildSpec& desc = {});
    // The element that has the keyboard focus inside its application (none: its focused window).
    void setFocusedElement(pid_t pid, const platform::AXElement& element);

  private:
    SimModel& model_;
};

} // namespace korvane::sim
