// The simulated displays and pointer, with hooks to plug, unplug, move and rearrange displays.
#pragma once

#include "platform/Screens.h"
#include "platform/sim/SimTypes.h"

namespace korvane::sim {

class SimModel;

class SimScreens final : public platform::Screens {
  public:
    explicit SimScreens(SimModel& model);

    // The main (primary) display first, then the others in the order they were added.
    std::vector<platform::ScreenInfo> screens() override;
    std::optional<platform::ScreenInfo> mainScreen() override;
    Point mouseLocation() override;
    // No compositing manager unless a test starts one.
    bool isCompositing() override;
    // None of the program's windows has the focus unless a test says one has.
    std::optional<Rect> keyWindowFrame() override;
    // A picture of one colour while a test sets one; nothing otherwise.
    bool capture(const Rect& area,
                 const std::function<void(const platform::ScreenPictureView&)>& read) override;

    // Test hooks. Each change is announced as `kScreenParametersDidChange` through the loop. Display ids
    // are the hooks' own handles; the first display added becomes the main one. Frames are bottom-left
    // global coordinates and are taken as given: making another display the main one does not move the
    // others, and windows stay where they are when a display goes away.
    int addDisplay(const SimDisplaySpec& desc);
    void removeDisplay(int id);
    void setDisplayFrame(int id, const Rect& frame, std::optional<Rect> visibleFrame = std::nullopt);
    void setVisibleFrame(int id, const Rect& visibleFrame);
    void setBackingScale(int id, double scale);
    void setMainDisplay(int id);
    // While false, mainScreen() answers nothing though displays are connected, for the fallbacks of code
    // that must cope with a desktop naming no main screen. The primary display still places the windows
    // and leads screens(); nothing is announced.
    void setNamesMainScreen(bool names);
    void setMouseLocation(Point location);
    void setCompositing(bool compositing);
    // The colour (0xffRRGGBB) every picture of the screens shows; nothing: the sim takes no pictures.
    void setPictureColour(std::optional<std::uint32_t> colour);
    // One of the program's own windows has the focus at this frame; nothing: another program's window has it.
    void setKeyWindowFrame(std::optional<Rect> frame);
    std::optional<platform::ScreenInfo> display(int id) const;

  private:
    SimModel& model_;
};

} // namespace korvane::sim
