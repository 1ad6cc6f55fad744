// The small pictures of the settings pages, drawn rather than taken from a font or an icon theme: the
// window must look the same on a desktop without either.
#pragma once

#include <QColor>
#include <QPixmap>

namespace korvane {

enum class SettingsSymbol {
    gear,         // the "General" page
    keyboard,     // the "Shortcuts" page
    sealCheck,    // a grant held
    sealCross,    // a grant missing
    recordingDot, // a shortcut being recorded
    cross,        // clear a shortcut
    plus,         // between the modifiers and the digit keys
    minusCircle,  // remove an entry of the exclusion list
    dashedApp,    // an application that is not running
};

// The symbol in `color`, `side` logical pixels square, for a screen of `devicePixelRatio`.
QPixmap settingsSymbol(SettingsSymbol symbol, const QColor& color, int side, qreal devicePixelRatio = 1.0);

} // namespace korvane
