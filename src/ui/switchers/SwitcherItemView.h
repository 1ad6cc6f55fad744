// One tile of the global switcher: the application's icon, the window's title over the application's
// name, the hint badge and the zone label, all painted by the tile itself, which is made once and
// reused for whatever item it shows next.
#pragma once

#include "ui/switchers/SwitcherItem.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

namespace korvane {

// Main thread only.
class SwitcherItemView final : public QWidget {
  public:
    static constexpr int kIconSideLength = 96;

    explicit SwitcherItemView(QWidget* parent = nullptr);

    // Shows the item: its texts at once, a loading mark in place of the icon until loadIcon() brings it.
    void configure(const SwitcherItem& item);
    // Asks the icon cache for the item's icon unless it was asked for this item already; `completion`
    // runs either way, at once or once the icon is there.
    void loadIcon(std::function<void()> completion);

    const std::optional<SwitcherItem>& representedItem() const { return representedItem_; }
    const std::optional<std::string>& requestedIconStableID() const { return requestedIconStableID_; }
    bool hasIcon() const { return !icon_.isNull(); }

    // Highlight, hover, dimming and opacity; each redraws the tile when it changes.
    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected);
    bool isHovered() const { return isHovered_; }
    bool isDimmed() const { return isDimmed_; }
    void setDimmed(bool dimmed);
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    bool isSelectable = true;

    // What the tile shows as text, line by line; the badge ("" when hidden) and the zone label ("" when
    // hidden).
    QString titleText() const;
    QString badgeText() const { return badge_; }
    QString zoneText() const { return zone_; }

    // A primary press and release inside a selectable tile chooses its item.
    std::function<void(const SwitcherItem&)> onChosen;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QRectF iconRect() const;

    std::optional<SwitcherItem> representedItem_;
    std::optional<std::string> requestedIconStableID_;
    QImage icon_;
    QString firstLine_, secondLine_, badge_, zone_;
    bool isSelected_ = false;
    bool isHovered_ = false;
    bool isDimmed_ = false;
    double alpha_ = 1.0;
};

} // namespace korvane
