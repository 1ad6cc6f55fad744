// The small read-only drawing of a layout tree that the layout pickers and the scene cards show: every
// region a rounded rectangle, the whole kept in proportion and centred.
#pragma once

#include "layouts/LayoutNode.h"

#include <QWidget>

#include <optional>

namespace korvane {

class LayoutGeometryPreview : public QWidget {
  public:
    // `darkLines` for a light background; otherwise white lines for a dark one. No node draws nothing.
    LayoutGeometryPreview(std::optional<LayoutNode> layoutNode, bool darkLines, QWidget* parent = nullptr);

    void setLayoutNode(std::optional<LayoutNode> layoutNode);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<LayoutNode> layoutNode_;
    bool darkLines_;
};

} // namespace korvane
