// The canvas's small fixed pieces: the key legend drawn in the save bar and the overlay bar, the overlay
// bar's plate and shadow, the save bar of the canvas in a window, and what the canvas shows when a display
// has no zone geometry.
#pragma once

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPointer>
#include <QWidget>

#include <functional>

class QFrame;
class QPushButton;

namespace korvane {

// Ctrl+S presses `button` at once, but only while it shows and is enabled.
void bindSaveShortcut(QPushButton* button);
// Presses `button` at once if it shows and is enabled, as Ctrl+S does; whether it did.
bool clickSaveIfShown(QPushButton* button);

// The short upright line between groups of the legend and of the overlay bar.
QFrame* sceneCanvasVerticalDivider(QWidget* parent);

// The canvas's own accent, apart from the system's: red 0.3, green 0.5, blue 0.8.
inline QColor sceneCanvasAccentColor() {
    return QColor::fromRgbF(0.3f, 0.5f, 0.8f);
}

// "V" Vertical split, "H" Horizontal split, "Backspace" Merge | "drag divider" Resize, "drag app" Move
// app: each a key cap followed by its label.
class SceneCanvasShortcutLegend : public QWidget {
  public:
    // `onDark`: the labels sit on a coloured bar rather than the window's background.
    explicit SceneCanvasShortcutLegend(bool onDark, QWidget* parent = nullptr);
};

// The overlay's floating bar: a translucent accent plate with rounded corners over a soft shadow that
// falls a little below it. The shadow is a sibling under the bar, made in the bar's parent, that follows
// the bar's place, visibility and stacking; it takes no clicks, so the canvas beside the bar still gets
// every click it got before the bar had a shadow.
class SceneCanvasOverlayBar : public QWidget {
  public:
    // How far the shadow reaches beyond the bar on each side.
    static constexpr QMargins kShadowReach{8, 4, 8, 12};

    // `parent` must not be null: the shadow lives in it.
    explicit SceneCanvasOverlayBar(QWidget* parent);
    ~SceneCanvasOverlayBar() override;

    QWidget* shadow() const { return shadow_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QPointer<QWidget> shadow_;
    // The plate as last drawn, drawn again only at a new size: the overlay shows it at every opening.
    QImage plate_;
};

// Reset and Apply, both live only while something is unsaved; Ctrl+S presses Apply only then.
class SceneCanvasSaveBar : public QWidget {
  public:
    SceneCanvasSaveBar(std::function<void()> onReset, std::function<void()> onSave,
                       QWidget* parent = nullptr);

    void setDirty(bool isDirty);
    bool isDirty() const { return isDirty_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* applyButton() const { return apply_; }

  private:
    bool isDirty_ = false;
    QPushButton* reset_;
    QPushButton* apply_;
};

// A dashed square over "No zone geometry", centred.
class SceneCanvasEmptyStateView : public QWidget {
  public:
    static constexpr const char* kText = "No zone geometry";
    explicit SceneCanvasEmptyStateView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvane
