// The prompt's content: a message row with its symbol, a row of buttons, on a rounded card in the
// window background colour.
#include "ui/scene_manager/UnconfiguredDisplayToastView.h"

#include "ui/overlays/SceneNameInWindow.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

namespace {

constexpr int kSymbolSize = 16;
constexpr int kMessagePixelSize = 12;

// The message row's symbol, drawn rather than loaded so that it needs no icon theme: a display with a
// plus badge when the scene has a layout for it, else an information circle.
class SymbolView final : public QWidget {
  public:
    SymbolView(bool displayWithBadge, QWidget* parent) : QWidget(parent), badge_(displayWithBadge) {
        setFixedSize(kSymbolSize, kSymbolSize);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor secondary = palette().color(QPalette::PlaceholderText);
        QPen pen(secondary, 1.4);
        painter.setPen(pen);
        if (badge_) {
            painter.drawRoundedRect(QRectF(1, 2.5, 11, 8), 1.5, 1.5);
            painter.drawLine(QPointF(6.5, 10.5), QPointF(6.5, 13));
            painter.drawLine(QPointF(4, 13.5), QPointF(9, 13.5));
            painter.setBrush(secondary);
            painter.drawEllipse(QPointF(12.5, 4), 3.2, 3.2);
            painter.setPen(QPen(palette().color(QPalette::Window), 1.2));
            painter.drawLine(QPointF(12.5, 2.4), QPointF(12.5, 5.6));
            painter.drawLine(QPointF(10.9, 4), QPointF(14.1, 4));
            return;
        }
        painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        painter.drawLine(QPointF(8, 7), QPointF(8, 11.5));
        painter.setBrush(secondary);
        painter.drawEllipse(QPointF(8, 4.7), 0.9, 0.9);
    }

  private:
    bool badge_;
};

QPushButton* makeButton(const char* title, bool prominent, const std::function<void()>& action,
                        QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(title), parent);
    // The prompt never takes the keyboard: its buttons answer the pointer only.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    if (prominent) {
        const QColor accent = parent->palette().color(QPalette::Highlight);
        button->setStyleSheet(QString("QPushButton { background: %1; color: %2; border: none; "
                                      "border-radius: 5px; padding: 3px 10px; }"
                                      "QPushButton:pressed { background: %3; }")
                                  .arg(accent.name(),
                                       parent->palette().color(QPalette::HighlightedText).name(),
                                       accent.darker(120).name()));
    }
    QObject::connect(button, &QPushButton::clicked, button, [action] {
        // A copy: the action may end the prompt that holds it.
        if (auto run = action) run();
    });
    return button;
}

} // namespace

std::string UnconfiguredDisplayToastView::message(const std::optional<std::string>& sceneName,
                                                  const QFont& font) {
    if (!sceneName) return "This display is not configured in the current Scene.";
    // The message wraps only between words, and the quoted name is one: a long one is cut in its middle
    // to a line of its own, the rest of the sentence on the line below, both within the prompt.
    const int nameWidth = kMessageWidth - QFontMetrics(font).horizontalAdvance("\"\"");
    return "\"" + sceneNameInText(*sceneName, font, nameWidth) + "\" has a layout for this display.";
}

UnconfiguredDisplayToastView::UnconfiguredDisplayToastView(Content content, QWidget* parent)
    : QWidget(parent), content_(std::move(content)) {
    setAutoFillBackground(false);
    setFixedWidth(kWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    column->setSpacing(8);
    // The rows keep their own heights and stand in the middle of the panel, whichever its height.
    column->addStretch();

    auto* messageRow = new QHBoxLayout;
    messageRow->setSpacing(8);
    messageRow->addWidget(new SymbolView(content_.sceneName.has_value(), this), 0, Qt::AlignTop);
    auto* text = new QLabel(this);
    // The scene's name is shown as typed, never read as markup.
    text->setTextFormat(Qt::PlainText);
    QFont font = text->font();
    font.setPixelSize(kMessagePixelSize);
    text->setFont(font);
    text->setText(QString::fromStdString(message(content_.sceneName, font)));
    text->setWordWrap(true);
    messageRow->addWidget(text, 1, Qt::AlignTop);
    column->addLayout(messageRow);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(10);
    const bool withApply = content_.sceneName.has_value() && content_.onApply;
    if (withApply) buttonRow->addWidget(makeButton(kApplyTitle, true, content_.onApply, this));
    buttonRow->addWidget(makeButton(kSetupTitle, !withApply, content_.onSetup, this));
    buttonRow->addWidget(makeButton(kDismissTitle, false, content_.onDismiss, this));
    buttonRow->addStretch();
    column->addLayout(buttonRow);
    column->addStretch();
}

QPushButton* UnconfiguredDisplayToastView::button(const char* title) const {
    for (auto* button : findChildren<QPushButton*>())
        if (button->text() == QString::fromUtf8(title)) return button;
    return nullptr;
}

void UnconfiguredDisplayToastView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor background = palette().color(QPalette::Window);
    if (!translucent_) {
        // The panel's mask cuts the corners; the edge keeps a light card apart from a light desktop.
        painter.fillRect(rect(), background);
        painter.setPen(QPen(background.darker(135), 1));
        painter.drawPath([&] {
            QPainterPath path;
            path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
            return path;
        }());
        return;
    }
    // Blended with the desktop: the card fills the panel, so the panel's size is the card's; a shadow
    // drawn outside the card would fall outside the window and never show.
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(card, background);
}

void UnconfiguredDisplayToastView::enterEvent(QEnterEvent* event) {
    if (auto hover = content_.onHoverChanged) hover(true);
    QWidget::enterEvent(event);
}

void UnconfiguredDisplayToastView::leaveEvent(QEvent* event) {
    if (auto hover = content_.onHoverChanged) hover(false);
    QWidget::leaveEvent(event);
}

} // namespace korvane
