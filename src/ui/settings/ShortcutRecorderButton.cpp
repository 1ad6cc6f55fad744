// The recorder control and the digit-range row's modifier toggles.
#include "ui/settings/ShortcutRecorderButton.h"

#include "input/KeyNames.h"
#include "ui/settings/SettingsSymbols.h"
#include "ui/settings/SettingsViewModel.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
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
                                               std::function<void()> onLeave, QWidget* parent)
    : QFrame(parent), displayString_(std::move(displayString)), isRecording_(isRecording),
      onLeave_(std::move(onLeave)) {
    // Selected by a property: the row names the control after its action.
    setProperty("shortcutRecorder", true);
    // Without it a subclass draws no style-sheet background or outline.
    setAttribute(Qt::WA_StyledBackground);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(0);

    record_ = new QPushButton;
    record_->setFlat(true);
    record_->setMinimumWidth(100);
    record_->setCursor(Qt::PointingHandCursor);
    record_->installEventFilter(this);
    connect(record_, &QPushButton::clicked, this, [onRecord = std::move(onRecord)] {
        if (onRecord) onRecord();
    });
    line->addWidget(record_);

    divider_ = new QFrame;
    divider_->setFrameShape(QFrame::VLine);
    divider_->setFixedHeight(16);
    divider_->setStyleSheet("color: " + palette().color(QPalette::Mid).name() + ";");
    line->addWidget(divider_);
    clear_ = new QToolButton;
    clear_->setAutoRaise(true);
    clear_->setIcon(QIcon(settingsSymbol(SettingsSymbol::cross, palette().color(QPalette::PlaceholderText),
                                         10, devicePixelRatioF())));
    clear_->setToolTip("Clear Shortcut");
    clear_->setStyleSheet("QToolButton { border: none; padding: 4px 8px; }");
    connect(clear_, &QToolButton::clicked, this, [onClear = std::move(onClear)] {
        if (onClear) onClear();
    });
    line->addWidget(clear_);

    // The red dot pulses for as long as the row records.
    pulse_ = new QTimer(this);
    pulse_->setInterval(500);
    connect(pulse_, &QTimer::timeout, this, [this] {
        pulseDim_ = !pulseDim_;
        setDot(pulseDim_ ? 0.35 : 1.0);
    });
    apply();
}

ShortcutRecorderButton::~ShortcutRecorderButton() {
    // The button outlives this part of the control: its last events must not come here.
    record_->removeEventFilter(this);
    holdKeyboard(false);
}

void ShortcutRecorderButton::holdKeyboard(bool hold) {
    // Held, the keyboard brings the recording every combination, one that another program holds for
    // itself included, so that it can be recorded and said to be held elsewhere; the window manager's
    // keys among them.
    if (hold && QWidget::keyboardGrabber() != record_)
        record_->grabKeyboard();
    else if (!hold && QWidget::keyboardGrabber() == record_)
        record_->releaseKeyboard();
}

void ShortcutRecorderButton::setState(QString displayString, bool isRecording) {
    if (displayString == displayString_ && isRecording == isRecording_) return;
    displayString_ = std::move(displayString);
    isRecording_ = isRecording;
    apply();
}

void ShortcutRecorderButton::apply() {
    const QString accent = palette().color(QPalette::Highlight).name();
    const QString separator = palette().color(QPalette::Mid).name();
    setStyleSheet(
        QString(
            "*[shortcutRecorder=\"true\"] { background: palette(button); border-radius: 6px; border: %1; }")
            .arg(isRecording_ ? "2px solid " + accent : "1px solid " + separator));
    const bool notSet = displayString_ == SettingsViewModel::kNotSet;
    record_->setText(shownText());
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(13);
    mono.setWeight(isRecording_ ? QFont::Normal : QFont::Medium);
    record_->setFont(mono);
    const bool secondary = isRecording_ || notSet;
    record_->setStyleSheet(QString("QPushButton { border: none; padding: 4px 10px; text-align: center; %1 }")
                               .arg(secondary ? "color: " + secondaryColour(this) + ";" : QString()));
    pulseDim_ = false;
    if (isRecording_) {
        setDot(1.0);
        pulse_->start();
    } else {
        record_->setIcon(QIcon());
        pulse_->stop();
    }
    holdKeyboard(isRecording_ && record_->isVisible());
    divider_->setVisible(!isRecording_ && !notSet);
    clear_->setVisible(!isRecording_ && !notSet);
}

void ShortcutRecorderButton::setDot(double opacity) {
    QColor colour = kRecordingRed;
    colour.setAlphaF(float(opacity));
    record_->setIcon(QIcon(settingsSymbol(SettingsSymbol::recordingDot, colour, 14, devicePixelRatioF())));
}

QToolButton* ShortcutRecorderButton::clearButton() const {
    return clear_->isHidden() ? nullptr : clear_;
}

bool ShortcutRecorderButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != record_ || !isRecording_) return QFrame::eventFilter(watched, event);
    // Out of sight the dot need not pulse; a row may stay recording while hidden until its page shows
    // again and learns that the recording ended.
    if (event->type() == QEvent::Hide) {
        pulse_->stop();
        holdKeyboard(false);
    }
    if (event->type() == QEvent::Show) {
        pulse_->start();
        holdKeyboard(true);
    }
    if ((event->type() == QEvent::FocusOut || event->type() == QEvent::Hide) && onLeave_) onLeave_();
    return QFrame::eventFilter(watched, event);
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
    : QWidget(parent), model_(model), action_(binding.action) {
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
    QColor accent = palette().color(QPalette::Highlight);
    const QString on = accent.name();
    accent.setAlphaF(0.55f);
    const QString kept = accent.name(QColor::HexArgb);
    const std::array<std::string, 4> canonicalNames = {"ctrl", "alt", "shift", "cmd"};
    for (std::size_t i = 0; i < canonicalNames.size(); ++i) {
        const std::string& canonical = canonicalNames[i];
        auto* toggle = new QToolButton;
        toggle->setText(QString::fromStdString(KeyNames::modifier(canonical)));
        toggle->setCheckable(true);
        QFont font = toggle->font();
        font.setPixelSize(13);
        font.setWeight(QFont::Medium);
        toggle->setFont(font);
        // The last modifier left shows on but paler: it cannot be switched off.
        toggle->setStyleSheet(
            QString("QToolButton { border: none; padding: 2px 6px; } "
                    "QToolButton:checked { background: %1; color: white; border-radius: 4px; } "
                    "QToolButton:checked:disabled { background: %2; }")
                .arg(on, kept));
        // The key's whole name; never narrower than a square.
        toggle->ensurePolished();
        toggle->setFixedWidth(std::max(24, toggle->sizeHint().width()));
        // The model's notice shows the new modifiers here in place (setBinding), during the call: the
        // action is copied first.
        connect(toggle, &QToolButton::toggled, this, [this, canonical](bool value) {
            const std::string action = action_;
            model_.updateBinding(action, SettingsViewModel::kDigitsKey,
                                 toggledModifiers(modifiers_, canonical, value));
        });
        toggles_[i] = {canonical, toggle};
        toggleLine->addWidget(toggle);
    }
    line->addWidget(toggles);
    setBinding(binding);

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

void DynamicHotkeyView::setBinding(const HotkeyBindingViewModel& binding) {
    action_ = binding.action;
    modifiers_ = binding.modifiers;
    for (const auto& entry : toggles_) {
        const std::string& canonical = entry.first;
        QToolButton* toggle = entry.second;
        const bool on = std::any_of(modifiers_.begin(), modifiers_.end(),
                                    [&](const std::string& m) { return normalizedModifier(m) == canonical; });
        const QSignalBlocker quiet(toggle);
        toggle->setChecked(on);
        // Every digit typed anywhere would be taken without one of Ctrl, Alt or Super.
        const bool last =
            on && SettingsViewModel::shortcutRefusal(SettingsViewModel::kDigitsKey,
                                                     toggledModifiers(modifiers_, canonical, false));
        toggle->setEnabled(!last);
        toggle->setToolTip(last ? "The digit keys keep Ctrl, Alt or Super" : QString());
    }
}

} // namespace korvane
