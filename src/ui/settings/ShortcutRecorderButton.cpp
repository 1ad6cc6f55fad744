// The recorder control and the digit-range row's modifier toggles.
#include "ui/settings/ShortcutRecorderButton.h"

#include "input/KeyNames.h"
#include "ui/settings/SettingsSymbols.h"
#include "ui/settings/SettingsViewModel.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace korvane {

namespace {

const QColor kRecordingRed(0xE0, 0x3A, 0x2F);

QString secondaryColour(const QWidget* widget) {
    return widget->palette().color(QPalette::PlaceholderText).name(QColor::HexArgb);
}

} // namespace

ShortcutRecorderButton::ShortcutRecorderButton(QString displayString, bool isRecording,
                                               std::function<void()> onRecord, std::function<void()> onClear,
                                               QWidget* parent)
    : QFrame(parent), displayString_(std::move(displayString)), isRecording_(isRecording) {
    // Selected by a property: the row names the control after its action.
    setProperty("shortcutRecorder", true);
    // Without it a subclass draws no style-sheet background or outline.
    setAttribute(Qt::WA_StyledBackground);
    const QString accent = palette().color(QPalette::Highlight).name();
    const QString separator = palette().color(QPalette::Mid).name();
    setStyleSheet(
        QString(
            "*[shortcutRecorder=\"true\"] { background: palette(button); border-radius: 6px; border: %1; }")
            .arg(isRecording_ ? "2px solid " + accent : "1px solid " + separator));
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(0);

    const bool notSet = displayString_ == SettingsViewModel::kNotSet;
    record_ = new QPushButton(shownText());
    record_->setFlat(true);
    record_->setMinimumWidth(100);
    record_->setCursor(Qt::PointingHandCursor);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(13);
    mono.setWeight(isRecording_ ? QFont::Normal : QFont::Medium);
    record_->setFont(mono);
    const bool secondary = isRecording_ || notSet;
    record_->setStyleSheet(QString("QPushButton { border: none; padding: 4px 10px; text-align: center; %1 }")
                               .arg(secondary ? "color: " + secondaryColour(this) + ";" : QString()));
    if (isRecording_) {
        record_->setIcon(
            QIcon(settingsSymbol(SettingsSymbol::recordingDot, kRecordingRed, 14, devicePixelRatioF())));
        // The red dot pulses for as long as the row records.
        auto* pulse = new QTimer(this);
        pulse->setInterval(500);
        connect(pulse, &QTimer::timeout, this, [this] {
            pulseDim_ = !pulseDim_;
            QColor colour = kRecordingRed;
            colour.setAlphaF(pulseDim_ ? 0.35f : 1.0f);
            record_->setIcon(
                QIcon(settingsSymbol(SettingsSymbol::recordingDot, colour, 14, devicePixelRatioF())));
        });
        pulse->start();
    }
    connect(record_, &QPushButton::clicked, this, [onRecord = std::move(onRecord)] {
        if (onRecord) onRecord();
    });
    line->addWidget(record_);

    if (!isRecording_ && !notSet) {
        auto* divider = new QFrame;
        divider->setFrameShape(QFrame::VLine);
        divider->setFixedHeight(16);
        divider->setStyleSheet("color: " + separator + ";");
        line->addWidget(divider);
        clear_ = new QToolButton;
        clear_->setAutoRaise(true);
        clear_->setIcon(QIcon(settingsSymbol(
            SettingsSymbol::cross, palette().color(QPalette::PlaceholderText), 10, devicePixelRatioF())));
        clear_->setToolTip("Clear Shortcut");
        clear_->setStyleSheet("QToolButton { border: none; padding: 4px 8px; }");
        connect(clear_, &QToolButton::clicked, this, [onClear = std::move(onClear)] {
            if (onClear) onClear();
        });
        line->addWidget(clear_);
    }
}

QString ShortcutRecorderButton::shownText() const {
    if (isRecording_) return "Type shortcut...";
    if (displayString_ == SettingsViewModel::kNotSet) return "Record Shortcut";
    return displayString_;
}

std::string DynamicHotkeyView::normalizedModifier(const std::string& name) {
    return KeyNames::canonicalModifier(name);
}

std::vector<std::string> DynamicHotkeyView::toggledModifiers(const std::vector<std::string>& modifiers,
                                                             const std::string& canonical, bool on) {
    std::vector<std::string> out;
    for (const auto& name : modifiers)
        if (normalizedModifier(name) != canonical) out.push_back(name);
    if (on) out.push_back(canonical);
    return out;
}

DynamicHotkeyView::DynamicHotkeyView(const HotkeyBindingViewModel& binding, SettingsViewModel& model,
                                     QWidget* parent)
    : QWidget(parent) {
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);

    auto* toggles = new QFrame;
    toggles->setObjectName("modifierToggles");
    toggles->setStyleSheet(QString("#modifierToggles { border: 1px solid %1; border-radius: 6px; }")
                               .arg(palette().color(QPalette::Mid).name()));
    auto* toggleLine = new QHBoxLayout(toggles);
    toggleLine->setContentsMargins(0, 0, 0, 0);
    toggleLine->setSpacing(0);
    const QString accent = palette().color(QPalette::Highlight).name();
    for (const std::string canonical : {"ctrl", "alt", "shift", "cmd"}) {
        auto* toggle = new QToolButton;
        toggle->setText(QString::fromStdString(KeyNames::modifier(canonical)));
        toggle->setCheckable(true);
        QFont font = toggle->font();
        font.setPixelSize(13);
        font.setWeight(QFont::Medium);
        toggle->setFont(font);
        toggle->setStyleSheet(
            QString("QToolButton { border: none; padding: 2px 6px; } "
                    "QToolButton:checked { background: %1; color: white; border-radius: 4px; }")
                .arg(accent));
        // The key's whole name; never narrower than a square.
        toggle->ensurePolished();
        toggle->setFixedWidth(std::max(24, toggle->sizeHint().width()));
        const bool on = std::any_of(binding.modifiers.begin(), binding.modifiers.end(),
                                    [&](const std::string& m) { return normalizedModifier(m) == canonical; });
        toggle->setChecked(on);
        // The row is rebuilt from the model after the update; what this toggle captures stays valid.
        connect(toggle, &QToolButton::toggled, this,
                [&model, action = binding.action, modifiers = binding.modifiers, canonical](bool value) {
                    model.updateBinding(action, "digits", toggledModifiers(modifiers, canonical, value));
                });
        toggleLine->addWidget(toggle);
    }
    line->addWidget(toggles);

    auto* plus = new QLabel;
    plus->setPixmap(settingsSymbol(SettingsSymbol::plus, palette().color(QPalette::PlaceholderText), 10,
                                   devicePixelRatioF()));
    line->addWidget(plus);

    auto* badge = new QLabel("1...9");
    badge->setObjectName("digitBadge");
    QFont font = badge->font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    badge->setFont(font);
    badge->setStyleSheet(QString("#digitBadge { padding: 3px 6px; background: palette(button); color: %1; "
                                 "border: 1px solid %2; border-radius: 4px; }")
                             .arg(palette().color(QPalette::PlaceholderText).name(QColor::HexArgb),
                                  palette().color(QPalette::Mid).name()));
    line->addWidget(badge);
}

} // namespace korvane
