// The small drawings of layout trees in the scene manager: one layout with its region labels, and the grid
// of preset thumbnails the user picks from.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutNode.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One layout, its regions outlined and labelled by name or number, at an aspect of 1.6 within whatever
// space it is given; "No layout configured" without a tree.
class LayoutMiniPreviewView : public QWidget {
  public:
    static constexpr double kAspect = 1.6;
    static constexpr const char* kEmptyText = "No layout configured";

    explicit LayoutMiniPreviewView(QWidget* parent = nullptr);

    void setNode(std::optional<LayoutNode> node);
    const std::optional<LayoutNode>& node() const { return node_; }
    // The drawing's rectangle within the widget: the largest one of the aspect that fits, centred.
    QRectF drawingRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<LayoutNode> node_;
};

// "Choose a Preset" over a grid of thumbnails, 320 points wide. A click hands the preset to onSelect and
// leaves closing to whoever shows the picker.
class PresetPickerView : public QWidget {
  public:
    static constexpr int kWidth = 320;
    static constexpr const char* kTitle = "Choose a Preset";

    explicit PresetPickerView(std::vector<ConfigZoneSet> presets, QWidget* parent = nullptr);

    std::function<void(const ConfigZoneSet&)> onSelect;

    // The preset under the pointer.
    const std::optional<std::string>& hoveredID() const { return hoveredID_; }
    // The cell of the preset at `index`, in widget coordinates.
    QRect cellRect(std::size_t index) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::optional<std::size_t> cellAt(const QPoint& point) const;
    void setHovered(std::optional<std::string> id);

    std::vector<ConfigZoneSet> presets_;
    std::optional<std::string> hoveredID_;
};

} // namespace korvane
