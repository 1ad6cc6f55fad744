// The key presses of a shortcut recording: Qt's keys turned into the virtual key codes and modifier flags
// of the hot-key table, and the application-wide filter that hands them to the settings model while a
// shortcut is recorded.
#pragma once

#include "ui/settings/SettingsViewModel.h"

#include <QObject>

#include <functional>
#include <optional>

class QKeyEvent;
class QWidget;

namespace korvane {

namespace platform {
class HotKeys;
}

// The code and flags of a key press; nothing for a modifier key pressed alone (it is part of a chord, not
// a key of its own). The key is the one pressed, as `keys` names it by the event's native key in
// whichever layout of the keyboard has a name for it (the "1 &" key of a French keyboard is 1, as the
// hot key of 1 holds it), so that the shortcut stored acts on that key; where `keys` names none, the key
// is read from what it types through a table of the US layout. A key outside both gets kUnnamedKeyCode,
// whose name is empty. A key the X server keeps for itself is the key it is typed on, marked kept by the
// server, at its press or at its release, the one half of it the server may hand on; any other release
// is nothing.
std::optional<RecordingKeyEvent> recordingKeyEvent(const QKeyEvent& event,
                                                   const platform::HotKeys* keys = nullptr);
inline constexpr std::uint16_t kUnnamedKeyCode = 0xFFFF;

// Installed on the application only while a shortcut is recorded, so that no key is taken from anyone at
// any other time. Takes the shortcut-override step too: a chord such as Ctrl+S would otherwise fire a
// shortcut of the window before the press reaches the model. Only keys typed on `recorder`, the button
// showing "Type shortcut...", while it is visible are taken: one typed on another control, page or window
// is not meant for the recording.
class RecordingKeyFilter final : public QObject {
  public:
    RecordingKeyFilter(SettingsViewModel& model, std::function<const QWidget*()> recorder,
                       QObject* parent = nullptr);
    static constexpr const char* kObjectName = "recordingKeyFilter";

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    SettingsViewModel& model_;
    std::function<const QWidget*()> recorder_;
};

} // namespace korvane
