// The controls of a shortcut row: the recorder (the binding's text, which starts and stops its recording,
// and a clear part) and, for the digit-range binding, its four modifier toggles before "1...9".
#pragma once

#include <QFrame>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QPushButton;
class QTimer;
class QToolButton;

namespace korvane {

class SettingsViewModel;
struct HotkeyBindingViewModel;

// Knows nothing of the model: the row gives it a text, a flag and three callbacks. A recording is typed on
// its button, which holds the whole keyboard while it records in sight: `onLeave` is called while it
// records and the button stops being where the keys go, as it loses the keyboard focus (another control
// takes it, the window is deactivated) or is hidden.
class ShortcutRecorderButton final : public QFrame {
  public:
    ShortcutRecorderButton(QString displayString, bool isRecording, std::function<void()> onRecord,
                           std::function<void()> onClear, std::function<void()> onLeave,
                           QWidget* parent = nullptr);
    ~ShortcutRecorderButton() override;

    // Shows another text or state in place, so that the button keeps the keyboard.
    void setState(QString displayString, bool isRecording);
    bool isRecording() const { return isRecording_; }
    // "Type shortcut..." while recording, "Record Shortcut" for a binding that is not set, else the text.
    QString shownText() const;
    QPushButton* recordButton() const { return record_; }
    // Absent (nothing) while recording or while the binding is not set.
    QToolButton* clearButton() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void apply();
    void setDot(double opacity);
    // Holds the whole keyboard for the button while it records in sight, and lets go otherwise.
    void holdKeyboard(bool hold);

    QString displayString_;
    bool isRecording_;
    std::function<void()> onLeave_;
    QPushButton* record_ = nullptr;
    QFrame* divider_ = nullptr;
    QToolButton* clear_ = nullptr;
    QTimer* pulse_ = nullptr;
    bool pulseDim_ = false;
};

// "Ctrl" "Alt" "Shift" "Super", each on when one of the binding's modifiers is that modifier under any of
// its names; a toggle rewrites the modifiers through the model at once, the key staying "digits". The
// last of Ctrl, Alt and Super left stays on and cannot be switched off.
class DynamicHotkeyView final : public QWidget {
  public:
    DynamicHotkeyView(const HotkeyBindingViewModel& binding, SettingsViewModel& model,
                      QWidget* parent = nullptr);

    // Shows the binding's modifiers in place.
    void setBinding(const HotkeyBindingViewModel& binding);

    // The binding's modifiers with every name of `canonical` dropped and, when `on`, `canonical` appended.
    static std::vector<std::string> toggledModifiers(const std::vector<std::string>& modifiers,
                                                     const std::string& canonical, bool on);
    // "ctrl", "alt", "shift", "cmd" for a name and its aliases (any case); any other name lower-cased.
    static std::string normalizedModifier(const std::string& name);

  private:
    SettingsViewModel& model_;
    std::string action_;
    std::vector<std::string> modifiers_;
    std::array<std::pair<std::string, QToolButton*>, 4> toggles_{};
};

} // namespace korvane
