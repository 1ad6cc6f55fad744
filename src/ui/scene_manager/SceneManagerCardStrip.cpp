// The scene cards: painted in one widget, hit-tested by position, with the rename and delete panel as the
// one child that follows the pointer.
#include "ui/scene_manager/SceneManagerCardStrip.h"

#include "input/KeyNames.h"
#include "ui/scene_manager/SceneSaveSheetStyle.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

constexpr int kButtonSize = 20;
constexpr int kPanelPadding = 3;
constexpr int kPanelSpacing = 4;
constexpr int kPanelShift = 12; // the panel's centre sits this far right of the card's trailing edge

using savesheet::withAlpha;

// A filled circle with a white glyph: the pencil or the bin of the hover panel.
class CircleSymbolButton : public QAbstractButton {
  public:
    enum class Symbol { pencil, trash };
    CircleSymbolButton(Symbol symbol, QColor fill, QWidget* parent)
        : QAbstractButton(parent), symbol_(symbol), fill_(std::move(fill)) {
        setFixedSize(kButtonSize, kButtonSize);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(isDown() ? fill_.darker(120) : fill_);
        p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        const double c = kButtonSize / 2.0;
        if (symbol_ == Symbol::pencil) {
            p.drawLine(QPointF(c - 4, c + 4), QPointF(c + 3.5, c - 3.5));
            p.drawLine(QPointF(c - 4, c + 4), QPointF(c - 4.5, c + 4.5));
            p.drawLine(QPointF(c + 2, c - 5), QPointF(c + 5, c - 2));
        } else {
            p.drawLine(QPointF(c - 5, c - 3.5), QPointF(c + 5, c - 3.5));
            p.drawLine(QPointF(c - 1.5, c - 5), QPointF(c + 1.5, c - 5));
            QPainterPath bin;
            bin.moveTo(c - 3.5, c - 2.5);
            bin.lineTo(c - 2.8, c + 5);
            bin.lineTo(c + 2.8, c + 5);
            bin.lineTo(c + 3.5, c - 2.5);
            p.drawPath(bin);
        }
    }

  private:
    Symbol symbol_;
    QColor fill_;
};

class HoverPanel : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF body = QRectF(rect()).adjusted(1, 0, -1, -2);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 38)); // the shadow: black at 15 %, 1 point down
        p.drawRoundedRect(body.translated(0, 1), 10, 10);
        p.setBrush(withAlpha(palette().color(QPalette::Button), 0.95));
        p.drawRoundedRect(body, 10, 10);
    }
};

} // namespace

SceneManagerCardStrip::SceneManagerCardStrip(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    hoverPanel_ = new HoverPanel(this);
    hoverPanel_->setObjectName("sceneCardHoverPanel");
    hoverPanel_->setFixedSize(kButtonSize + 2 * kPanelPadding + 2,
                              2 * kButtonSize + kPanelSpacing + 2 * kPanelPadding + 2);
    renameButton_ = new CircleSymbolButton(CircleSymbolButton::Symbol::pencil,
                                           palette().color(QPalette::Highlight), hoverPanel_);
    renameButton_->setObjectName("renameScene");
    renameButton_->setToolTip("Rename");
    deleteButton_ =
        new CircleSymbolButton(CircleSymbolButton::Symbol::trash, QColor(0xE5, 0x3E, 0x3E), hoverPanel_);
    deleteButton_->setObjectName("deleteScene");
    deleteButton_->setToolTip("Delete");
    renameButton_->move(kPanelPadding + 1, kPanelPadding);
    deleteButton_->move(kPanelPadding + 1, kPanelPadding + kButtonSize + kPanelSpacing);
    hoverPanel_->hide();
    // The panel acts on the card it was shown for; the pointer may leave the card to reach it.
    QObject::connect(renameButton_, &QAbstractButton::clicked, this, [this] {
        if (hoveredSceneID_ && onRename) onRename(*hoveredSceneID_);
    });
    QObject::connect(deleteButton_, &QAbstractButton::clicked, this, [this] {
        if (hoveredSceneID_ && onDelete) onDelete(*hoveredSceneID_);
    });
}

void SceneManagerCardStrip::setCards(std::vector<Card> cards, std::optional<std::string> activeID,
                                     std::optional<std::string> selectedID) {
    cards_ = std::move(cards);
    activeID_ = std::move(activeID);
    selectedID_ = std::move(selectedID);
    if (hoveredSceneID_ &&
        std::none_of(cards_.begin(), cards_.end(), [&](const Card& c) { return c.id == *hoveredSceneID_; }))
        setHoveredSceneID(std::nullopt);
    resize(sizeHint());
    updateGeometry();
    placeHoverPanel();
    update();
}

QRect SceneManagerCardStrip::cardRect(std::size_t index) const {
    return QRect(kHorizontalPadding + static_cast<int>(index) * (kCardWidth + kSpacing), kVerticalPadding,
                 kCardWidth, kCardHeight);
}

QRect SceneManagerCardStrip::newCardRect() const {
    return cardRect(cards_.size());
}

QSize SceneManagerCardStrip::sizeHint() const {
    // The hover panel of the last scene card reaches past its trailing edge, over the "New" card.
    return QSize(newCardRect().right() + 1 + kHorizontalPadding, kCardHeight + 2 * kVerticalPadding);
}

std::optional<std::size_t> SceneManagerCardStrip::cardAt(const QPoint& point) const {
    if (point.y() < kVerticalPadding || point.y() >= kVerticalPadding + kCardHeight) return std::nullopt;
    const int x = point.x() - kHorizontalPadding;
    if (x < 0) return std::nullopt;
    const int index = x / (kCardWidth + kSpacing);
    if (x % (kCardWidth + kSpacing) >= kCardWidth) return std::nullopt;
    return static_cast<std::size_t>(index);
}

void SceneManagerCardStrip::setHoveredSceneID(std::optional<std::string> id) {
    if (hoveredSceneID_ == id) return;
    hoveredSceneID_ = std::move(id);
    placeHoverPanel();
}

void SceneManagerCardStrip::placeHoverPanel() {
    std::optional<std::size_t> index;
    for (std::size_t i = 0; hoveredSceneID_ && i < cards_.size(); ++i)
        if (cards_[i].id == *hoveredSceneID_) index = i;
    if (!index) {
        hoverPanel_->hide();
        return;
    }
    const QRect card = cardRect(*index);
    QRect panel(QPoint(), hoverPanel_->size());
    panel.moveCenter(QPoint(card.right() + 1 + kPanelShift, card.center().y()));
    hoverPanel_->move(panel.topLeft());
    hoverPanel_->show();
    hoverPanel_->raise();
}

void SceneManagerCardStrip::mouseMoveEvent(QMouseEvent* event) {
    const auto index = cardAt(event->position().toPoint());
    if (index && *index < cards_.size())
        setHoveredSceneID(cards_[*index].id);
    else
        setHoveredSceneID(std::nullopt);
}

void SceneManagerCardStrip::leaveEvent(QEvent*) {
    // Into the hover panel is not away from the card.
    if (!hoverPanel_->underMouse()) setHoveredSceneID(std::nullopt);
}

void SceneManagerCardStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto index = cardAt(event->position().toPoint());
    if (!index) return;
    if (*index < cards_.size()) {
        if (onSelect) onSelect(cards_[*index].id);
    } else if (*index == cards_.size()) {
        if (onCreate) onCreate();
    }
}

QString SceneManagerCardStrip::slotText(int slot) {
    // A slot stands for control and option with its digit, whatever the table says of other keys.
    return QString::fromStdString(KeyNames::combination({"ctrl", "alt"}, std::to_string(slot)));
}

void SceneManagerCardStrip::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor primary = palette().color(QPalette::WindowText);
    const QColor accent = palette().color(QPalette::Highlight);
    QFont nameFont = font();
    nameFont.setPointSizeF(10.5);
    QFont slotFont("monospace");
    slotFont.setStyleHint(QFont::Monospace);
    slotFont.setPointSizeF(8.5);

    // Only the cards in the part being painted: a long list is mostly scrolled away.
    const int first = std::max(0, (event->rect().left() - kHorizontalPadding) / (kCardWidth + kSpacing));
    const int last = std::min(static_cast<int>(cards_.size()),
                              (event->rect().right() - kHorizontalPadding) / (kCardWidth + kSpacing));
    for (int i = first; i <= last && i < static_cast<int>(cards_.size()); ++i) {
        const Card& card = cards_[static_cast<std::size_t>(i)];
        const QRectF r = QRectF(cardRect(static_cast<std::size_t>(i))).adjusted(1, 1, -1, -1);
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(accent, 0.04));
        p.drawRoundedRect(r, 10, 10);
        QPen border(withAlpha(primary, 0.12), 1);
        if (activeID_ == card.id)
            border = QPen(accent, 2);
        else if (selectedID_ == card.id)
            border = QPen(withAlpha(primary, 0.4), 1.5);
        p.setPen(border);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r, 10, 10);

        const QRectF content = r.adjusted(8, 6, -8, -6);
        nameFont.setBold(activeID_ == card.id);
        p.setFont(nameFont);
        p.setPen(primary);
        const QString name = QFontMetrics(nameFont).elidedText(
            QString::fromStdString(card.name), Qt::ElideRight, static_cast<int>(content.width()));
        if (card.hotkeySlot) {
            const QFontMetricsF nameMetrics(nameFont), slotMetrics(slotFont);
            const double total = nameMetrics.height() + 3 + slotMetrics.height();
            const double top = content.center().y() - total / 2;
            p.drawText(QRectF(content.left(), top, content.width(), nameMetrics.height()), Qt::AlignCenter,
                       name);
            // The key's words need more room than the name: the line spans the card inside its border,
            // in a smaller size should a font still be too wide for it.
            const QString slot = slotText(*card.hotkeySlot);
            const QRectF slotLine(r.left() + 4, top + nameMetrics.height() + 3, r.width() - 8,
                                  slotMetrics.height());
            QFont fitted = slotFont;
            while (QFontMetricsF(fitted).horizontalAdvance(slot) > slotLine.width() &&
                   fitted.pointSizeF() > 6)
                fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
            p.setFont(fitted);
            p.setPen(withAlpha(primary, 0.35));
            p.drawText(slotLine, Qt::AlignCenter, slot);
        } else {
            p.drawText(content, Qt::AlignCenter, name);
        }
    }

    const QRect newCard = newCardRect();
    if (!event->rect().intersects(newCard)) return;
    const QRectF r = QRectF(newCard).adjusted(1, 1, -1, -1);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(palette().color(QPalette::Button), 0.3));
    p.drawRoundedRect(r, 10, 10);
    QPen dashed(withAlpha(primary, 0.2), 1);
    dashed.setDashPattern({4, 4});
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    const QColor secondary = withAlpha(primary, 0.55);
    p.setPen(QPen(secondary, 1.5, Qt::SolidLine, Qt::RoundCap));
    const QPointF plus(r.center().x(), r.top() + 17);
    p.drawLine(plus - QPointF(6, 0), plus + QPointF(6, 0));
    p.drawLine(plus - QPointF(0, 6), plus + QPointF(0, 6));
    QFont caption = font();
    caption.setPointSizeF(9);
    p.setFont(caption);
    p.setPen(secondary);
    p.drawText(QRectF(r.left(), r.top() + 27, r.width(), 16), Qt::AlignHCenter | Qt::AlignTop, "New");
}

} // namespace korvane
