// The content of the prompt offered on a newly connected display: what the active scene has for the
// display, and the buttons that apply its layout, open the scene manager on the display, or dismiss.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QPushButton;

namespace korvane {

// Main thread only. A fixed 380 points wide; its height is the panel's.
class UnconfiguredDisplayToastView : public QWidget {
  public:
    struct Content {
        // The active scene's name when it has a layout for the display; then "Apply Layout" is offered.
        std::optional<std::string> sceneName;
        std::function<void()> onSetup;
        // Present exactly when sceneName is.
        std::function<void()> onApply;
        std::function<void()> onDismiss;
        // The pointer entered (true) or left (false) the prompt.
        std::function<void(bool)> onHoverChanged;
    };

    static constexpr int kWidth = 380;
    static constexpr int kHorizontalPadding = 14;
    static constexpr int kVerticalPadding = 10;
    static constexpr double kCornerRadius = 12;
    // The message's lines, beside the symbol (16) and the space after it (8).
    static constexpr int kMessageWidth = kWidth - 2 * kHorizontalPadding - 16 - 8;

    explicit UnconfiguredDisplayToastView(Content content, QWidget* parent = nullptr);

    // The sentence the prompt says, in `font`.
    static std::string message(const std::optional<std::string>& sceneName, const QFont& font);
    const Content& content() const { return content_; }
    // The button with this title; nullptr when the prompt does not offer it.
    QPushButton* button(const char* title) const;
    // Painted opaque and cut to its rounded shape by the panel where nothing blends it with the desktop.
    void setTranslucent(bool translucent) { translucent_ = translucent; }

    static constexpr const char* kApplyTitle = "Apply Layout";
    static constexpr const char* kSetupTitle = "Set Up Display";
    static constexpr const char* kDismissTitle = "Dismiss";

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    Content content_;
    bool translucent_ = false;
};

} // namespace korvane
