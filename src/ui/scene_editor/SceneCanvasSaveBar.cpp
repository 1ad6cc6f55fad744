// The key legend, the save bar and the empty state of the scene canvas.
#include "ui/scene_editor/SceneCanvasSaveBar.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>

namespace korvane {

namespace {

QLabel* keyCap(const QString& text, QWidget* parent) {
    auto* cap = new QLabel(text, parent);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    font.setWeight(QFont::DemiBold);
    cap->setFont(font);
    cap->setStyleSheet("QLabel { color: white; background: rgba(60, 60, 67, 0.6); border-radius: 4px;"
                       " padding: 2px 5px; }");
    return cap;
}

QLabel* legendLabel(const QString& text, bool onDark, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(10);
    label->setFont(font);
    label->setStyleSheet(onDark ? "QLabel { color: rgba(255, 255, 255, 0.8); }"
                                : "QLabel { color: palette(mid); }");
    return label;
}

QFrame* verticalDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFixedHeight(14);
    return line;
}

} // namespace

void bindSaveShortcut(QPushButton* button) {
    // Not the button's own shortcut, which clicks only after a short animation.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), button);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled()) button->click();
    });
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
    group({{"V", "Vertical split"}, {"H", "Horizontal split"}, {QString::fromUtf8("⌫"), "Merge"}});
    row->addWidget(verticalDivider(this));
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
