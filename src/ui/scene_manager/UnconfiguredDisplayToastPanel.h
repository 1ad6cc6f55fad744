// The window of the prompt offered on a newly connected display: a frameless panel above every other
// window, on every workspace, that takes clicks but never the keyboard and never activates Korvane.
#pragma once

#include <QRect>
#include <QWidget>

namespace korvane {

class UnconfiguredDisplayToastView;

namespace platform {
class Screens;
}

// Main thread only. Made with its frame alone and configured by itself; see the constructor.
class UnconfiguredDisplayToastPanel : public QWidget {
  public:
    static constexpr const char* kTitle = "Korvane Display Prompt";

    // The panel over `frame` (the toolkit's global coordinates). Where a compositing manager blends
    // windows it is see-through around its rounded card; elsewhere it is cut to the card's shape.
    UnconfiguredDisplayToastPanel(platform::Screens& screens, const QRect& frame);

    // Takes the view, sized to the panel.
    void setContentView(UnconfiguredDisplayToastView* view);
    UnconfiguredDisplayToastView* contentView() const { return view_; }
    bool isTranslucent() const { return translucent_; }

  private:
    bool translucent_;
    UnconfiguredDisplayToastView* view_ = nullptr;
};

} // namespace korvane
