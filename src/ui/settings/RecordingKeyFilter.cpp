// The table from Qt's keys to the hot-key table's virtual key codes, and the recording's key filter.
#include "ui/settings/RecordingKeyFilter.h"

#include "platform/HotKeys.h"
#include "platform/Platform.h"

#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <array>
#include <span>

namespace korvane {

namespace {

struct KeyCode {
    int qtKey;
    std::uint16_t code;
};

// Ctrl+Pause types Break on the X keyboard, which Qt gives no key of its own (0): it is known by the
// keysym it reports with it, and recorded as the Pause key it is.
constexpr quint32 kBreakKeysym = 0xFF6B;
constexpr std::uint16_t kPauseKeyCode = 133;

// The ANSI layout's codes (and those platform/HotKeys.h adds above them). Shifted punctuation comes as its
// own Qt key (Shift+1 is "!"), so each is listed with the key it is typed on. Alt+Print types Sys_Req on
// the X keyboard, still the Print key.
constexpr std::array kKeyCodes = {
    KeyCode{Qt::Key_A, 0},
    KeyCode{Qt::Key_S, 1},
    KeyCode{Qt::Key_D, 2},
    KeyCode{Qt::Key_F, 3},
    KeyCode{Qt::Key_H, 4},
    KeyCode{Qt::Key_G, 5},
    KeyCode{Qt::Key_Z, 6},
    KeyCode{Qt::Key_X, 7},
    KeyCode{Qt::Key_C, 8},
    KeyCode{Qt::Key_V, 9},
    KeyCode{Qt::Key_B, 11},
    KeyCode{Qt::Key_Q, 12},
    KeyCode{Qt::Key_W, 13},
    KeyCode{Qt::Key_E, 14},
    KeyCode{Qt::Key_R, 15},
    KeyCode{Qt::Key_Y, 16},
    KeyCode{Qt::Key_T, 17},
    KeyCode{Qt::Key_1, 18},
    KeyCode{Qt::Key_Exclam, 18},
    KeyCode{Qt::Key_2, 19},
    KeyCode{Qt::Key_At, 19},
    KeyCode{Qt::Key_3, 20},
    KeyCode{Qt::Key_NumberSign, 20},
    KeyCode{Qt::Key_4, 21},
    KeyCode{Qt::Key_Dollar, 21},
    KeyCode{Qt::Key_6, 22},
    KeyCode{Qt::Key_AsciiCircum, 22},
    KeyCode{Qt::Key_5, 23},
    KeyCode{Qt::Key_Percent, 23},
    KeyCode{Qt::Key_Equal, 24},
    KeyCode{Qt::Key_Plus, 24},
    KeyCode{Qt::Key_9, 25},
    KeyCode{Qt::Key_ParenLeft, 25},
    KeyCode{Qt::Key_7, 26},
    KeyCode{Qt::Key_Ampersand, 26},
    KeyCode{Qt::Key_Minus, 27},
    KeyCode{Qt::Key_Underscore, 27},
    KeyCode{Qt::Key_8, 28},
    KeyCode{Qt::Key_Asterisk, 28},
    KeyCode{Qt::Key_0, 29},
    KeyCode{Qt::Key_ParenRight, 29},
    KeyCode{Qt::Key_BracketRight, 30},
    KeyCode{Qt::Key_BraceRight, 30},
    KeyCode{Qt::Key_O, 31},
    KeyCode{Qt::Key_U, 32},
    KeyCode{Qt::Key_BracketLeft, 33},
    KeyCode{Qt::Key_BraceLeft, 33},
    KeyCode{Qt::Key_I, 34},
    KeyCode{Qt::Key_P, 35},
    KeyCode{Qt::Key_Return, 36},
    KeyCode{Qt::Key_L, 37},
    KeyCode{Qt::Key_J, 38},
    KeyCode{Qt::Key_Apostrophe, 39},
    KeyCode{Qt::Key_QuoteDbl, 39},
    KeyCode{Qt::Key_K, 40},
    KeyCode{Qt::Key_Semicolon, 41},
    KeyCode{Qt::Key_Colon, 41},
    KeyCode{Qt::Key_Backslash, 42},
    KeyCode{Qt::Key_Bar, 42},
    KeyCode{Qt::Key_Comma, 43},
    KeyCode{Qt::Key_Less, 43},
    KeyCode{Qt::Key_Slash, 44},
    KeyCode{Qt::Key_Question, 44},
    KeyCode{Qt::Key_N, 45},
    KeyCode{Qt::Key_M, 46},
    KeyCode{Qt::Key_Period, 47},
    KeyCode{Qt::Key_Greater, 47},
    KeyCode{Qt::Key_Tab, 48},
    KeyCode{Qt::Key_Backtab, 48},
    KeyCode{Qt::Key_Space, 49},
    KeyCode{Qt::Key_QuoteLeft, 50},
    KeyCode{Qt::Key_AsciiTilde, 50},
    KeyCode{Qt::Key_Backspace, 51},
    KeyCode{Qt::Key_Escape, 53},
    KeyCode{Qt::Key_F5, 96},
    KeyCode{Qt::Key_F6, 97},
    KeyCode{Qt::Key_F7, 98},
    KeyCode{Qt::Key_F3, 99},
    KeyCode{Qt::Key_F8, 100},
    KeyCode{Qt::Key_F9, 101},
    KeyCode{Qt::Key_F11, 103},
    KeyCode{Qt::Key_F10, 109},
    KeyCode{Qt::Key_F12, 111},
    KeyCode{Qt::Key_Home, 115},
    KeyCode{Qt::Key_PageUp, 116},
    KeyCode{Qt::Key_Delete, 117},
    KeyCode{Qt::Key_F4, 118},
    KeyCode{Qt::Key_End, 119},
    KeyCode{Qt::Key_F2, 120},
    KeyCode{Qt::Key_PageDown, 121},
    KeyCode{Qt::Key_F1, 122},
    KeyCode{Qt::Key_Left, 123},
    KeyCode{Qt::Key_Right, 124},
    KeyCode{Qt::Key_Down, 125},
    KeyCode{Qt::Key_Up, 126},
    KeyCode{Qt::Key_Insert, 114},
    KeyCode{Qt::Key_Menu, 110},
    KeyCode{Qt::Key_Print, 132},
    KeyCode{Qt::Key_SysReq, 132},
    KeyCode{Qt::Key_Pause, kPauseKeyCode},
    KeyCode{Qt::Key_F13, 105},
    KeyCode{Qt::Key_F14, 107},
    KeyCode{Qt::Key_F15, 113},
    KeyCode{Qt::Key_F16, 106},
    KeyCode{Qt::Key_F17, 64},
    KeyCode{Qt::Key_F18, 79},
    KeyCode{Qt::Key_F19, 80},
    KeyCode{Qt::Key_F20, 90},
    KeyCode{Qt::Key_F21, 128},
    KeyCode{Qt::Key_F22, 129},
    KeyCode{Qt::Key_F23, 130},
    KeyCode{Qt::Key_F24, 131},
};

// The keypad's keys, which Qt reports as the keys they type with the keypad flag: a digit there is not the
// digit key. With num lock off the same keys type Insert, End, the arrows and the rest, and are still the
// keypad's digits: one key, held whatever the state of num lock.
constexpr std::array kKeypadCodes = {
    KeyCode{Qt::Key_0, 82},      KeyCode{Qt::Key_Insert, 82},   KeyCode{Qt::Key_1, 83},
    KeyCode{Qt::Key_End, 83},    KeyCode{Qt::Key_2, 84},        KeyCode{Qt::Key_Down, 84},
    KeyCode{Qt::Key_3, 85},      KeyCode{Qt::Key_PageDown, 85}, KeyCode{Qt::Key_4, 86},
    KeyCode{Qt::Key_Left, 86},   KeyCode{Qt::Key_5, 87},        KeyCode{Qt::Key_Clear, 87},
    KeyCode{Qt::Key_6, 88},      KeyCode{Qt::Key_Right, 88},    KeyCode{Qt::Key_7, 89},
    KeyCode{Qt::Key_Home, 89},   KeyCode{Qt::Key_8, 91},        KeyCode{Qt::Key_Up, 91},
    KeyCode{Qt::Key_9, 92},      KeyCode{Qt::Key_PageUp, 92},   KeyCode{Qt::Key_Period, 65},
    KeyCode{Qt::Key_Delete, 65}, KeyCode{Qt::Key_Asterisk, 67}, KeyCode{Qt::Key_Plus, 69},
    KeyCode{Qt::Key_Slash, 75},  KeyCode{Qt::Key_Enter, 76},    KeyCode{Qt::Key_Minus, 78},
    KeyCode{Qt::Key_Equal, 81},
};

// The keys the X server keeps for itself, as the keyboard map names them with Ctrl+Alt held, each with the
// key it is typed on. The server acts on the press of a terminal switch or a video mode change and
// hands programs only the release; the grab keys reach them whole.
struct ServerKey {
    quint32 keysym;
    std::uint16_t code;
};
constexpr std::array kServerKeys = {
    // XF86Switch_VT_1 to XF86Switch_VT_12, on F1 to F12.
    ServerKey{0x1008FE01, 122},
    ServerKey{0x1008FE02, 120},
    ServerKey{0x1008FE03, 99},
    ServerKey{0x1008FE04, 118},
    ServerKey{0x1008FE05, 96},
    ServerKey{0x1008FE06, 97},
    ServerKey{0x1008FE07, 98},
    ServerKey{0x1008FE08, 100},
    ServerKey{0x1008FE09, 101},
    ServerKey{0x1008FE0A, 109},
    ServerKey{0x1008FE0B, 103},
    ServerKey{0x1008FE0C, 111},
    // XF86Ungrab, XF86ClearGrab, XF86Next_VMode and XF86Prev_VMode, on the keypad's /, *, + and -.
    ServerKey{0x1008FE20, 75},
    ServerKey{0x1008FE21, 67},
    ServerKey{0x1008FE22, 69},
    ServerKey{0x1008FE23, 78},
};

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Shift:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<RecordingKeyEvent> recordingKeyEvent(const QKeyEvent& event, const platform::HotKeys* keys) {
    const int key = event.key();
    if (isModifierKey(key)) return std::nullopt;
    const auto server = std::find_if(kServerKeys.begin(), kServerKeys.end(), [&](const ServerKey& entry) {
        return entry.keysym == event.nativeVirtualKey();
    });
    if (event.type() == QEvent::KeyRelease && server == kServerKeys.end()) return std::nullopt;
    const Qt::KeyboardModifiers mods = event.modifiers();
    RecordingKeyEvent out{kUnnamedKeyCode, 0};
    const auto& table = (mods & Qt::KeypadModifier) ? std::span<const KeyCode>(kKeypadCodes)
                                                    : std::span<const KeyCode>(kKeyCodes);
    for (const auto& entry : table)
        if (entry.qtKey == key) {
            out.keyCode = entry.code;
            break;
        }
    if (key == 0 && event.nativeVirtualKey() == kBreakKeysym) out.keyCode = kPauseKeyCode;
    // What the key types in the layout in use says little of the key itself: "&" is the "1 &" key of a
    // French keyboard, not the 7 that types it on a US one.
    if (keys)
        if (const auto pressed = keys->virtualKeyForNativeKey(event.nativeScanCode())) out.keyCode = *pressed;
    if (server != kServerKeys.end()) {
        out.keyCode = server->code;
        out.keptByServer = true;
    }
    if (mods & Qt::ControlModifier) out.modifierFlags |= platform::kEventFlagControl;
    if (mods & Qt::AltModifier) out.modifierFlags |= platform::kEventFlagOption;
    if (mods & Qt::ShiftModifier) out.modifierFlags |= platform::kEventFlagShift;
    if (mods & Qt::MetaModifier) out.modifierFlags |= platform::kEventFlagCommand;
    return out;
}

RecordingKeyFilter::RecordingKeyFilter(SettingsViewModel& model, std::function<const QWidget*()> recorder,
                                       QObject* parent)
    : QObject(parent), model_(model), recorder_(std::move(recorder)) {
    setObjectName(kObjectName);
}

bool RecordingKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress &&
        event->type() != QEvent::KeyRelease)
        return false;
    const QWidget* recorder = recorder_ ? recorder_() : nullptr;
    if (!recorder || watched != recorder || !recorder->isVisible()) return false;
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!model_.recordingAction || isModifierKey(key->key())) return false;
        // Accepted: no shortcut fires, and the press comes next as a plain key press.
        event->accept();
        return true;
    }
    // A release counts only for a key the server kept: its press never came.
    const auto recorded = recordingKeyEvent(*static_cast<QKeyEvent*>(event), &model_.platform().hotKeys());
    if (!recorded) return false;
    return model_.handleRecordingKeyEvent(*recorded);
}

} // namespace korvane
