// The zone highlight's content: a rounded rectangle washed and outlined in the system's accent colour.
#pragma once

#include <QWidget>

namespace korvane {

class ZoneHighlightFillView final : public QWidget {
  public:
    explicit ZoneHighlightFillView(QWidget* parent = nullptr);

    double cornerRadius = 12.0;

    static constexpr double kFillAlpha = 0.1;
    static constexpr double kStrokeAlpha = 0.55;
    static constexpr double kLineWidth = 2.0;

    // The rounded outline the view draws, inside its bounds.
    QPainterPath outline() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvane
