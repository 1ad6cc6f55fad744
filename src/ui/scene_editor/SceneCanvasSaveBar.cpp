// The key legend, the overlay bar, the save bar and the empty state of the scene canvas.
#include "ui/scene_editor/SceneCanvasSaveBar.h"

#include "input/KeyNames.h"
#include "ui/scene_editor/SceneCanvasPlates.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

namespace korvane {

namespace {

constexpr qreal kOverlayBarRadius = 12;

QLabel* keyCap(const QString& text, QWidget* parent) {
    auto* cap = new SceneCanvasPlateLabel(text, parent);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    font.setWeight(QFont::DemiBold);
    cap->setFont(font);
    setSceneCanvasTextColour(cap, Qt::white);
    cap->setPlate(QColor(60, 60, 67, 153), 4, QMargins(5, 2, 5, 2));
    return cap;
}

QLabel* legendLabel(const QString& text, bool onDark, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(10);
    label->setFont(font);
    setSceneCanvasTextColour(label,
                             onDark ? QColor(255, 255, 255, 204) : label->palette().color(QPalette::Mid));
    return label;
}

// The overlay bar's shadow, drawn as a few stacked translucent rounded plates rather than blurred: a
// blur renders the bar offscreen and filters it again at every paint of the bar.
class OverlayBarShadow : public QWidget {
  public:
    explicit OverlayBarShadow(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        paintKept(*this, drawn_, false, [this](QPainter& painter) {
            // Four plates of 1/15 black each: about a quarter black under the bar, fading over 8 px outside.
            painter.setBrush(QColor(0, 0, 0, 17));
            const QRectF bar =
                QRectF(rect().marginsRemoved(SceneCanvasOverlayBar::kShadowReach)).translated(0, 4);
            for (const qreal spread : {8.0, 6.0, 4.0, 2.0})
                painter.drawRoundedRect(bar.adjusted(-spread, -spread, spread, spread),
                                        kOverlayBarRadius + spread, kOverlayBarRadius + spread);
        });
    }

  private:
    QImage drawn_;
};

} // namespace

SceneCanvasOverlayBar::SceneCanvasOverlayBar(QWidget* parent)
    : QWidget(parent), shadow_(new OverlayBarShadow(parent)) {
    shadow_->stackUnder(this);
}

SceneCanvasOverlayBar::~SceneCanvasOverlayBar() {
    delete shadow_.data();
}

void SceneCanvasOverlayBar::paintEvent(QPaintEvent*) {
    paintKept(*this, plate_, false, [this](QPainter& painter) {
        painter.setBrush(QColor(77, 128, 204, 224));
        painter.drawRoundedRect(QRectF(rect()), kOverlayBarRadius, kOverlayBarRadius);
    });
}

bool SceneCanvasOverlayBar::event(QEvent* event) {
    if (shadow_) switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            shadow_->setGeometry(geometry().marginsAdded(kShadowReach));
            break;
        case QEvent::ShowToParent:
            shadow_->show();
            shadow_->stackUnder(this);
            break;
        case QEvent::HideToParent:
            shadow_->hide();
            break;
        case QEvent::ZOrderChange:
            shadow_->stackUnder(this);
            break;
        default:
            break;
        }
    return QWidget::event(event);
}

QFrame* sceneCanvasVerticalDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFixedHeight(14);
    return line;
}

void bindSaveShortcut(QPushButton* button) {
    // Not the button's own shortcut, which clicks only after a short animation.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), button);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] { clickSaveIfShown(button); });
}

bool clickSaveIfShown(QPushButton* button) {
    if (!button->isVisible() || !button->isEnabled()) return false;
    button->click();
    return true;
}

SceneCanvasShortcutLegend::SceneCanvasShortcutLegend(bool onDark, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    const auto group = [&](std::initializer_list<std::pair<QString, QString>> items) {
        for (const auto& [key, text] : items) {
            auto* item = new QHBoxLayout;
            item->setSpacing(4);
            item->addWidget(keyCap(key, this));
            item->addWidget(legendLabel(text, onDark, this));
            row->addLayout(item);
        }
    };
    group({{"V", "Vertical split"},
           {"H", "Horizontal split"},
           {QString::fromStdString(KeyNames::key("backspace")), "Merge"}});
    row->addWidget(sceneCanvasVerticalDivider(this));
    group({{"drag divider", "Resize"}, {"drag app", "Move app"}});
}

SceneCanvasSaveBar::SceneCanvasSaveBar(std::function<void()> onReset, std::function<void()> onSave,
                                       QWidget* parent)
    : QWidget(parent), reset_(new QPushButton("Reset", this)), apply_(new QPushButton("Apply", this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 8, 4, 0);
    auto* legend = new SceneCanvasShortcutLegend(false, this);
    legend->setContentsMargins(4, 4, 4, 4);
    row->addWidget(legend);
    row->addStretch();
    row->addWidget(reset_);
    row->addWidget(apply_);
    apply_->setDefault(true);
    bindSaveShortcut(apply_);
    QObject::connect(reset_, &QPushButton::clicked, this, [run = std::move(onReset)] {
        if (run) run();
    });
    QObject::connect(apply_, &QPushButton::clicked, this, [run = std::move(onSave)] {
        if (run) run();
    });
    setDirty(false);
}

void SceneCanvasSaveBar::setDirty(bool isDirty) {
    isDirty_ = isDirty;
    reset_->setEnabled(isDirty);
    apply_->setEnabled(isDirty);
}

SceneCanvasEmptyStateView::SceneCanvasEmptyStateView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SceneCanvasEmptyStateView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const int textHeight = painter.fontMetrics().height();
    const int side = 30;
    const int top = (height() - side - 8 - textHeight) / 2;
    QPen pen(QColor(255, 255, 255, 90), 2, Qt::DashLine);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF((width() - side) / 2.0, top, side, side), 4, 4);
    painter.setPen(QColor(255, 255, 255, 150));
    painter.drawText(QRect(0, top + side + 8, width(), textHeight), Qt::AlignCenter, kText);
}

} // namespace korvane
