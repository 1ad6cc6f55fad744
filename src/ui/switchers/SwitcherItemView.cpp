// Tiles paint themselves instead of holding label widgets: a switcher with hundreds of windows shows as
// many tiles, and one widget each keeps showing and laying them out cheap.
#include "ui/switchers/SwitcherItemView.h"

#include "platform/TextTrim.h"
#include "ui/switchers/IconCache.h"
#include "ui/switchers/SwitcherTileChrome.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTextLayout>

#include <algorithm>

namespace korvane {

namespace {

constexpr double kIconTop = 10;
constexpr double kTitleGap = 8;
constexpr int kTitleLines = 3;

QFont systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Lines of `text` word-wrapped to `width`, at most `maxLines`, the last one elided when text is left.
QStringList wrapped(const QString& text, const QFont& font, double width, int maxLines) {
    QStringList lines;
    if (text.isEmpty() || maxLines <= 0) return lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << QFontMetricsF(font).elidedText(text.mid(line.textStart()), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

void drawShadowedText(QPainter& painter, const QRectF& rect, const QString& text, const QColor& color) {
    painter.setPen(QColor(0, 0, 0, 204));
    painter.drawText(rect.translated(0, 1), Qt::AlignHCenter | Qt::AlignTop, text);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignHCenter | Qt::AlignTop, text);
}

} // namespace

SwitcherItemView::SwitcherItemView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    resize(150, 164);
}

void SwitcherItemView::configure(const SwitcherItem& item) {
    representedItem_ = item;
    requestedIconStableID_.reset();
    icon_ = QImage();
    const std::string title = trimmingWhitespaceAndNewlines(item.windowTitle);
    firstLine_ = QString::fromStdString(title.empty() ? item.appName : title);
    secondLine_ =
        (!title.empty() && !item.appName.empty()) ? QString::fromStdString(item.appName) : QString();
    badge_ = item.hint ? QString::fromStdString(*item.hint).toUpper() : QString();
    zone_ = item.zoneID ? QString("z%1").arg(*item.zoneID) : QString();
    update();
}

void SwitcherItemView::loadIcon(std::function<void()> completion) {
    if (!representedItem_ || requestedIconStableID_ == representedItem_->stableID) {
        completion();
        return;
    }
    const std::string wanted = representedItem_->stableID;
    requestedIconStableID_ = wanted;
    QPointer<SwitcherItemView> tile(this);
    IconCache::shared()->icon(representedItem_->bundleID, representedItem_->pid,
                              [tile, wanted, completion = std::move(completion)](const QImage& image) {
                                  if (tile && tile->representedItem_ &&
                                      tile->representedItem_->stableID == wanted) {
                                      tile->icon_ = image;
                                      tile->update();
                                  }
                                  completion();
                              });
}

void SwitcherItemView::setSelected(bool selected) {
    if (isSelected_ == selected) return;
    isSelected_ = selected;
    update();
}

void SwitcherItemView::setDimmed(bool dimmed) {
    if (isDimmed_ == dimmed) return;
    isDimmed_ = dimmed;
    update();
}

void SwitcherItemView::setAlpha(double alpha) {
    if (alpha_ == alpha) return;
    alpha_ = alpha;
    update();
}

QString SwitcherItemView::titleText() const {
    return secondLine_.isEmpty() ? firstLine_ : firstLine_ + "\n" + secondLine_;
}

QRectF SwitcherItemView::iconRect() const {
    // A tile shrunk below the icon's size shrinks the icon with it rather than spilling over its
    // neighbours.
    const double side = std::min<double>(kIconSideLength, std::max(width() - 8, 16));
    return QRectF((width() - side) / 2, kIconTop, side, side);
}

void SwitcherItemView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(alpha_);

    const qreal dpr = devicePixelRatioF();
    auto draw = [&painter](const switchertile::Piece& piece) { painter.drawImage(piece.at, piece.image); };
    if (isSelected_ || isHovered_) draw(switchertile::highlight(size(), isSelected_, dpr));

    const QRectF icon = iconRect();
    if (!icon_.isNull())
        painter.drawImage(icon, icon_);
    else
        draw(switchertile::loadingMark(icon, dpr)); // a dashed outline where the icon will be

    // Up to three lines under the icon: the title, then the application's name in smaller, dimmer type.
    const double textWidth = std::max(width() - 8.0, 8.0);
    double y = icon.bottom() + kTitleGap;
    const QFont titleFont = systemFont(13, QFont::Medium);
    const QFont nameFont = systemFont(11, QFont::Normal);
    const QStringList titleLines = wrapped(firstLine_, titleFont, textWidth, secondLine_.isEmpty() ? 3 : 2);
    painter.setFont(titleFont);
    for (const QString& line : titleLines) {
        const double h = QFontMetricsF(titleFont).height();
        if (y + h > height() - 4) break;
        drawShadowedText(painter, QRectF(4, y, textWidth, h), line, Qt::white);
        y += h;
    }
    if (!secondLine_.isEmpty()) {
        painter.setFont(nameFont);
        const int left = kTitleLines - static_cast<int>(titleLines.size());
        for (const QString& line : wrapped(secondLine_, nameFont, textWidth, std::max(left, 1))) {
            const double h = QFontMetricsF(nameFont).height();
            if (y + h > height() - 4) break;
            drawShadowedText(painter, QRectF(4, y, textWidth, h), line, QColor(255, 255, 255, 199));
            y += h;
        }
    }

    if (!badge_.isEmpty()) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(15);
        font.setBold(true);
        const double w = std::max(22.0, QFontMetricsF(font).horizontalAdvance(badge_) + 12);
        const QRectF badge(icon.left() - 4, icon.top() - 4, w, 22);
        draw(switchertile::badgeBackground(badge, dpr));
        painter.setFont(font);
        painter.setPen(QColor(0, 0, 0, 89));
        painter.drawText(badge.translated(0, 0.5), Qt::AlignCenter, badge_);
        painter.setPen(Qt::black);
        painter.drawText(badge, Qt::AlignCenter, badge_);
    }

    if (!zone_.isEmpty()) {
        const QFont font = systemFont(11, QFont::Normal);
        const double h = QFontMetricsF(font).height();
        painter.setFont(font);
        painter.setPen(QColor(235, 235, 245, 153));
        painter.drawText(QRectF(icon.left(), icon.bottom() + 4 - h, icon.width() + 4, h),
                         Qt::AlignRight | Qt::AlignBottom, zone_);
    }
}

void SwitcherItemView::mousePressEvent(QMouseEvent* event) {
    if (!isSelectable || !representedItem_) {
        event->ignore();
        return;
    }
    if (event->button() == Qt::LeftButton) setSelected(true);
    event->accept();
}

void SwitcherItemView::mouseReleaseEvent(QMouseEvent* event) {
    if (!isSelectable || !representedItem_) {
        event->ignore();
        return;
    }
    const bool chosen =
        event->button() == Qt::LeftButton && isSelected_ && rect().contains(event->position().toPoint());
    const SwitcherItem item = *representedItem_;
    setSelected(false);
    event->accept();
    if (chosen && onChosen) onChosen(item);
}

void SwitcherItemView::enterEvent(QEnterEvent*) {
    isHovered_ = true;
    update();
}

void SwitcherItemView::leaveEvent(QEvent*) {
    isHovered_ = false;
    update();
}

} // namespace korvane
