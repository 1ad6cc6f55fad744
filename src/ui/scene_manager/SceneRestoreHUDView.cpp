// The restore card's texts, state and drawing.
#include "ui/scene_manager/SceneRestoreHUDView.h"

#include "platform/Format.h"
#include "scenes/SceneRestoreEngine.h"
#include "ui/overlays/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <algorithm>

namespace korvane {

namespace {

// The light scheme's colours, whatever the desktop's scheme: the card is a fixed light surface.
const QColor kOrange(255, 149, 0);
const QColor kGreen(52, 199, 89);
const QColor kPrimaryText(0, 0, 0, 217);
const QColor kSecondaryText(60, 60, 67, 153);
const QColor kCardFill(247, 247, 247);  // white 0.97
const QColor kCardOutline(0, 0, 0, 20); // black at 8 %

constexpr int kHorizontalPadding = 16;
constexpr int kVerticalPadding = 12;
constexpr int kIconSide = 38;
constexpr int kSymbolSide = 20; // a symbol of 18 points, as tall as its disc is drawn
constexpr int kIconSpacing = 12;
constexpr int kLineSpacing = 2;
constexpr int kTitleSize = 14;
constexpr int kDetailSize = 12;

QFont fontOfSize(const QFont& base, int pixelSize, QFont::Weight weight) {
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

SceneRestoreHUDView::SceneRestoreHUDView(const SceneRestoreResult& result, QWidget* parent)
    : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setResult(result);
}

void SceneRestoreHUDView::setResult(const SceneRestoreResult& result) {
    sceneName = result.sceneName;
    appliedDisplays = result.appliedDisplays;
    totalDisplays = result.totalDisplays;
    unresolvedDisplays = result.unresolvedDisplays;
    permissionDenied = result.permissionDenied;
    placedWindows = result.placedWindows;
    totalHints = result.totalHints;
    parkedWindows = result.parkedWindows;
    sceneUnreadable = result.sceneUnreadable;
    unstartedApps = static_cast<int>(result.unstartedApps.size());
    appsWithoutZone = result.appsWithoutZone;
    update();
}

SceneRestoreHUDView::State SceneRestoreHUDView::state() const {
    if (permissionDenied) return State::permission;
    if (sceneUnreadable) return State::unreadable;
    if (!unresolvedDisplays.empty() || unstartedApps > 0 || appsWithoutZone > 0) return State::partial;
    return State::success;
}

std::string SceneRestoreHUDView::symbolName() const {
    switch (state()) {
    case State::permission:
        return "lock.circle.fill";
    case State::unreadable:
    case State::partial:
        return "exclamationmark.circle.fill";
    case State::success:
        return "checkmark.circle.fill";
    }
    return "checkmark.circle.fill";
}

QColor SceneRestoreHUDView::stateColor() const {
    return state() == State::success ? kGreen : kOrange;
}

std::string SceneRestoreHUDView::title() const {
    return sceneName.empty() && sceneUnreadable ? std::string("Active Scene") : sceneName;
}

std::string SceneRestoreHUDView::detail() const {
    if (state() == State::permission) return "No window manager running";
    if (state() == State::unreadable) return "Scene file cannot be read";
    std::string text = unresolvedDisplays.empty()
                           ? std::string("All displays restored")
                           : platform::format("%d/%d displays", appliedDisplays, totalDisplays);
    if (totalHints >= 1) text += platform::format(" · %d/%d placed", placedWindows, totalHints);
    if (parkedWindows >= 1) text += platform::format(" · %d parked", parkedWindows);
    if (unstartedApps == 1) text += " · 1 app not started";
    if (unstartedApps > 1) text += platform::format(" · %d apps not started", unstartedApps);
    if (appsWithoutZone == 1) text += " · 1 app without its zone";
    if (appsWithoutZone > 1) text += platform::format(" · %d apps without their zones", appsWithoutZone);
    return text;
}

void SceneRestoreHUDView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    painter.fillPath(card, kCardFill);
    painter.setPen(QPen(kCardOutline, 1));
    painter.drawPath(card);

    const QColor color = stateColor();
    const QRectF icon(kHorizontalPadding, (height() - kIconSide) / 2.0, kIconSide, kIconSide);
    QColor disc = color;
    disc.setAlphaF(0.15f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(disc);
    painter.drawEllipse(icon);
    const QRectF symbol(icon.center().x() - kSymbolSide / 2.0, icon.center().y() - kSymbolSide / 2.0,
                        kSymbolSide, kSymbolSide);
    paintSymbol(painter, symbolName(), symbol, color);

    // The column of title and detail, centred as a whole beside the icon. The title keeps to one line;
    // the detail wraps inside the card rather than running past its edge.
    const int left = kHorizontalPadding + kIconSide + kIconSpacing;
    const int textWidth = width() - left - kHorizontalPadding;
    const QFont titleFont = fontOfSize(font(), kTitleSize, QFont::DemiBold);
    const QFont detailFont = fontOfSize(font(), kDetailSize, QFont::Normal);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics detailMetrics(detailFont);
    const QString titleText =
        titleMetrics.elidedText(QString::fromStdString(title()), Qt::ElideRight, textWidth);
    // A detail too long for one line breaks between its parts, never inside one ("1 app not started").
    const QStringList parts = QString::fromStdString(detail()).split(QStringLiteral(" · "));
    QStringList unbroken;
    for (const QString& part : parts)
        unbroken << QString(part).replace(QLatin1Char(' '), QChar(QChar::Nbsp));
    const QString detailText = unbroken.join(QStringLiteral(" · "));
    const int detailRoom = height() - 2 * kVerticalPadding - titleMetrics.height() - kLineSpacing;
    QRect detailBox = detailMetrics.boundingRect(QRect(0, 0, textWidth, detailRoom),
                                                 Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, detailText);
    detailBox.setHeight(std::min(detailBox.height(), detailRoom));
    const int columnHeight = titleMetrics.height() + kLineSpacing + detailBox.height();
    const int top = (height() - columnHeight) / 2;

    painter.setFont(titleFont);
    painter.setPen(kPrimaryText);
    painter.drawText(QRect(left, top, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleText);
    painter.setFont(detailFont);
    painter.setPen(kSecondaryText);
    painter.drawText(QRect(left, top + titleMetrics.height() + kLineSpacing, textWidth, detailBox.height()),
                     Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, detailText);
}

} // namespace korvane
