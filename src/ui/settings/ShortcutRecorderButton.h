// The controls of a shortcut row: the recorder (the binding's text, which starts and stops its recording,
// and a clear part) and, for the digit-range binding, its four modifier toggles before "1...9".
#pragma once

#include <QFrame>

#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QToolButton;

namespace korvane {

class SettingsViewModel;
struct HotkeyBindingViewModel;

// Knows nothing of the model: the row gives it a text, a flag and two callbacks.
class ShortcutRecorderButton final : public QFrame {
  public:
    ShortcutRecorderButton(QString displayString, bool isRecording, std::function<void()> onRecord,
                           std::function<void()> onClear, QWidget* parent = nullptr);

    // "Type shortcut..." while recording, "Record Shortcut" for a binding that is not set, else the text.
    QString shownText() const;
    QPushButton* recordButton() const { return record_; }
    // Absent (nothing) while recording or while the binding is not set.
    QToolButton* clearButton() const { return clear_; }

  private:
    QString displayString_;
    bool isRecording_;
    QPushButton* record_ = nullptr;
    QToolButton* clear_ = nullptr;
    bool pulseDim_ = false;
};

// "Ctrl" "Alt" "Shift" "Super", each on when one of the binding's modifiers is that modifier under any of
// its names; a toggle rewrites the modifiers through the model at once, the key staying "digits".
class DynamicHotkeyView final : public QWidget {
  public:
    DynamicHotkeyView(const HotkeyBindingViewModel& binding, SettingsViewModel& model,
                      QWidget* parent = nullptr);

    // The binding's modifiers with every name of `canonical` dropped and, when `on`, `canonical` appended.
    static std::vector<std::string> toggledModifiers(const std::vector<std::string>& modifiers,
                                                     const std::string& canonical, bool on);
    // "ctrl", "alt", "shift", "cmd" for a name and its aliases (any case); any other name lower-cased.
    static std::string normalizedModifier(const std::string& name);
};

} // namespace korvane
