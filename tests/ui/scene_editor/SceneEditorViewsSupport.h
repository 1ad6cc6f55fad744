// What the scene editor's view tests share: pictures left under build/screenshots, key presses and drops
// sent as the platform delivers them, and template lists for the layout picker.
#pragma once

#include "layouts/BuiltinLayouts.h"
#include "layouts/ConfigZoneSet.h"
#include "support/Screenshot.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QWidget>

#include <string>
#include <vector>

namespace korvane::testing {

inline void pressKey(QWidget* target, int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = {},
                     bool autoRepeat = false) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text, autoRepeat);
    QCoreApplication::sendEvent(target, &press);
}

// The drop of a dragged text as the platform delivers it at the end of a drag: the drag enters, then drops;
// a null `text` drops nothing. Whether the target took it.
inline bool sendDrop(QWidget* target, const QString& text, QPoint at) {
    QMimeData mime;
    if (!text.isNull()) mime.setText(text);
    QDragEnterEvent enter(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

inline ConfigZoneSet customLayout(const std::string& id, const std::string& name) {
    ConfigZoneSet set = builtinSplit5050Layout();
    set.id = id;
    set.name = name;
    return set;
}

// The four built-in layouts followed by `customs` custom ones.
inline std::vector<ConfigZoneSet> templatesWithCustom(int customs) {
    std::vector<ConfigZoneSet> out{builtinFullscreenLayout(), builtinSplit6040Layout(),
                                   builtinSplit5050Layout(), builtinDailyLayout()};
    for (int i = 1; i <= customs; ++i)
        out.push_back(customLayout("layout.custom-" + std::to_string(i), "Desk " + std::to_string(i)));
    return out;
}

} // namespace korvane::testing
