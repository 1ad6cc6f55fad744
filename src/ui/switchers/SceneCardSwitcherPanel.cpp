// The card switcher's panel and cards, painted by hand so they look alike on every desktop. Card
// coordinates here are the widgets' own: origin at the top left, y down.
#include "ui/switchers/SceneCardSwitcherPanel.h"

#include "layouts/LayoutPreviewRegions.h"
#include "ui/overlays/Overlay.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SceneCardSwitcherController.h"

#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace korvane {

namespace {

constexpr const char* kTitle = "Scene Switcher";
constexpr int kCardW = static_cast<int>(SceneCardSwitcherController::kCardWidth);
constexpr int kCardH = static_cast<int>(SceneCardSwitcherController::kCardHeight);
constexpr int kEditButtonSize = 22;

QColor white(double level, double alpha) {
    const int v = static_cast<int>(std::lround(level * 255));
    return QColor(v, v, v, static_cast<int>(std::lround(alpha * 255)));
}

QFont sizedFont(int pixelSize, QFont::Weight weight, bool monospaced = false) {
    QFont f;
    if (monospaced) {
        f.setFamily("monospace");
        f.setStyleHint(QFont::Monospace);
    }
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QColor accent() {
    return QColor(10, 110, 230);
}

void paintCardFace(QPainter& painter, const QRectF& bounds, const double levels[3], double alpha,
                   double highlightAlpha, bool hovered) {
    QPainterPath shape;
    shape.addRoundedRect(bounds, 12, 12);
    if (hovered) painter.fillPath(shape, white(1.0, 0.18));
    QLinearGradient gradient(bounds.left() + 0.3 * bounds.width(), bounds.top(),
                             bounds.left() + 0.7 * bounds.width(), bounds.bottom());
    gradient.setColorAt(0.0, white(levels[0], alpha));
    gradient.setColorAt(0.55, white(levels[1], alpha));
    gradient.setColorAt(1.0, white(levels[2], alpha));
    painter.fillPath(shape, gradient);
    // The highlight runs along the top edge inside the rounded corners.
    painter.save();
    painter.setClipPath(shape);
    painter.fillRect(QRectF(bounds.left() + 1, bounds.top(), bounds.width() - 2, 0.5),
                     white(1.0, highlightAlpha));
    painter.restore();
}

// Draws the regions of a layout tree in a rectangle, in dark lines that suit the light cards; nothing
// without a tree.
void paintLayoutPreview(QPainter& painter, const QRectF& area, const std::optional<LayoutNode>& tree) {
    if (!tree) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor line(0, 0, 0, 150);
    const QColor fill(0, 0, 0, 20);
    const auto regions = layoutPreviewRegions(*tree, Rect{area.x(), area.y(), area.width(), area.height()});
    for (const auto& region : regions) {
        const QRectF r(region.frame.minX(), region.frame.minY(), region.frame.width(), region.frame.height());
        const QRectF inset = r.adjusted(1, 1, -1, -1);
        painter.setPen(QPen(line, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(inset, 2.5, 2.5);
    }
    painter.restore();
}

SwitcherKeyPress keyPressOf(const QKeyEvent& event) {
    SwitcherKeyPress press;
    if (event.key() == Qt::Key_Escape) press.keyCode = switcherkeys::kEscape;
    // Digits count by the key, whatever modifiers changed the text they type.
    if (event.key() >= Qt::Key_0 && event.key() <= Qt::Key_9)
        press.characters = std::string(1, static_cast<char>('0' + (event.key() - Qt::Key_0)));
    else
        press.characters = event.text().toStdString();
    return press;
}

// The pencil button of a scene card, shown while the pointer is over the card.
class EditButton final : public QWidget {
  public:
    EditButton(QWidget* parent, std::function<void()> onEdit) : QWidget(parent), onEdit_(std::move(onEdit)) {
        setFixedSize(kEditButtonSize, kEditButtonSize);
        setToolTip("Edit Scene");
        setAttribute(Qt::WA_Hover);
        setMouseTracking(true);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, underMouse() ? 191 : 140));
        painter.drawEllipse(rect());
        // A pencil: a slanted bar with a pointed end.
        painter.translate(11, 11);
        painter.rotate(-45);
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(-4.5, -1.6, 7, 3.2));
        QPolygonF tip;
        tip << QPointF(-4.5, -1.6) << QPointF(-7, 0) << QPointF(-4.5, 1.6);
        painter.drawPolygon(tip);
        painter.drawRect(QRectF(3.2, -1.6, 1.6, 3.2));
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onEdit_)
            onEdit_();
    }

  private:
    std::function<void()> onEdit_;
};

// One card: a scene's, or the "New Scene" card when it has no model.
class Card final : public QWidget {
  public:
    Card(QWidget* parent, std::optional<SceneCardModel> model, std::function<void()> action,
         std::function<void()> onEdit)
        : QWidget(parent), model_(std::move(model)), action_(std::move(action)) {
        setFixedSize(kCardW, kCardH);
        setAttribute(Qt::WA_Hover);
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setBlurRadius(model_ ? 20 : 14);
        shadow->setOffset(0, model_ ? 3 : 2);
        shadow->setColor(QColor(0, 0, 0, model_ ? 63 : 31)); // the layer's colour alpha times its opacity
        setGraphicsEffect(shadow);
        if (model_) {
            edit_ = new EditButton(this, std::move(onEdit));
            edit_->hide();
        }
        setScale(1);
    }
    QWidget* editButton() const { return edit_; }
    // Everything on the card is drawn at this scale; the edit button keeps its size, its middle where the
    // full-size card has it, so that it stays easy to hit.
    void setScale(double scale) {
        scale_ = scale;
        setFixedSize(static_cast<int>(std::lround(kCardW * scale)),
                     static_cast<int>(std::lround(kCardH * scale)));
        if (edit_) {
            const double middleX = 104 + kEditButtonSize / 2.0, middleY = 6 + kEditButtonSize / 2.0;
            edit_->move(static_cast<int>(std::lround(middleX * scale - kEditButtonSize / 2.0)),
                        static_cast<int>(std::lround(middleY * scale - kEditButtonSize / 2.0)));
        }
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale_, scale_);
        const QRectF bounds(0, 0, kCardW, kCardH);
        if (!model_) {
            const double levels[3] = {0.88, 0.72, 0.62};
            paintCardFace(painter, bounds, levels, 0.82, 0.55, hovered_);
            const QColor tint = white(0.2, 0.6);
            painter.setPen(QPen(tint, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRectF(53, 33, 26, 26));
            painter.drawLine(QPointF(66, 39), QPointF(66, 53));
            painter.drawLine(QPointF(59, 46), QPointF(73, 46));
            painter.setFont(sizedFont(12, QFont::Medium));
            painter.drawText(QRectF(8, 70, 116, 18), Qt::AlignCenter, "New Scene");
            return;
        }
        const double levels[3] = {0.91, 0.77, 0.66};
        paintCardFace(painter, bounds, levels, 0.98, 0.7, hovered_);
        paintLayoutPreview(painter, QRectF(8, 14, 116, 48), model_->preview);
        painter.setPen(QColor(20, 20, 22));
        painter.setFont(sizedFont(12, QFont::Medium));
        painter.drawText(
            QRectF(8, 62, 116, 18), Qt::AlignCenter,
            painter.fontMetrics().elidedText(QString::fromStdString(model_->name), Qt::ElideRight, 116));
        if (model_->isActive) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(accent());
            painter.drawEllipse(QRectF(61, 94, 10, 10));
        } else {
            painter.setPen(white(0.15, 0.45));
            painter.setFont(sizedFont(10, QFont::Normal, true));
            painter.drawText(QRectF(8, 92, 116, 14), Qt::AlignCenter, QString::number(model_->number));
        }
    }
    void enterEvent(QEnterEvent*) override {
        hovered_ = true;
        if (edit_) edit_->show();
        update();
    }
    void leaveEvent(QEvent*) override {
        hovered_ = false;
        if (edit_) edit_->hide();
        update();
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && action_)
            action_();
    }

  private:
    std::optional<SceneCardModel> model_;
    std::function<void()> action_;
    EditButton* edit_ = nullptr;
    bool hovered_ = false;
    double scale_ = 1;
};

} // namespace

SceneCardSwitcherPanel::SceneCardSwitcherPanel(std::weak_ptr<SceneCardSwitcherController> owner,
                                               std::vector<SceneCardModel> cards, bool translucent)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      owner_(std::move(owner)), translucent_(translucent) {
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setFocusPolicy(Qt::StrongFocus);

    const std::size_t n = cards.size();
    strip_ = new QWidget(this);
    auto weak = owner_;
    for (std::size_t i = 0; i <= n; ++i) {
        Card* card = nullptr;
        if (i < n)
            card = new Card(
                strip_, std::move(cards[i]),
                [weak, i] {
                    if (auto self = weak.lock()) self->cardClicked(i);
                },
                [weak, i] {
                    if (auto self = weak.lock()) self->editClicked(i);
                });
        else
            card = new Card(strip_, std::nullopt,
                            [weak] {
                                if (auto self = weak.lock()) self->newSceneClicked();
                            },
                            {});
        cards_.push_back(card);
    }
    layOutCards(Size{SceneCardSwitcherController::stripWidth(n), SceneCardSwitcherController::kStripHeight});
}

void SceneCardSwitcherPanel::place(platform::Screens& screens, const Rect& frame) {
    // The cards are laid out in the toolkit's pixels, which a scaled screen has fewer of.
    const QRect shown = qtGlobalRect(screens, frame);
    layOutCards(Size{double(shown.width()), double(shown.height())});
    setGeometry(shown);
    centreStrip();
}

void SceneCardSwitcherPanel::layOutCards(const Size& screen) {
    const auto grid = SceneCardSwitcherController::cardGrid(cards_.size() - 1, screen);
    strip_->setFixedSize(static_cast<int>(grid.strip.width), static_cast<int>(grid.strip.height));
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        auto* card = static_cast<Card*>(cards_[i]);
        card->setScale(grid.scale);
        const Rect frame = grid.cardFrame(i);
        card->move(static_cast<int>(std::lround(frame.minX())), static_cast<int>(std::lround(frame.minY())));
    }
}

void SceneCardSwitcherPanel::centreStrip() {
    strip_->move(static_cast<int>(std::floor((width() - strip_->width()) / 2.0)),
                 static_cast<int>(std::floor((height() - strip_->height()) / 2.0)));
}

void SceneCardSwitcherPanel::resizeEvent(QResizeEvent*) {
    centreStrip();
}

void SceneCardSwitcherPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Nearly clear yet still hit by the pointer where the desktop blends windows; elsewhere a dim
    // backdrop, as a translucent window would show black.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), translucent_ ? QColor(0, 0, 0, 3) : QColor(38, 38, 44));
}

void SceneCardSwitcherPanel::keyPressEvent(QKeyEvent* event) {
    auto owner = owner_.lock();
    if (!owner || !owner->keyDown(keyPressOf(*event))) event->ignore();
}

void SceneCardSwitcherPanel::mousePressEvent(QMouseEvent* event) {
    // Presses that reach the panel missed every card. The middle button neither closes it nor passes
    // through to another window.
    event->accept();
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    if (auto owner = owner_.lock()) owner->backgroundClicked();
}

} // namespace korvane
