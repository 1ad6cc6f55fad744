// Cutting a long scene name in its middle to the room a window has for it.
#include "ui/overlays/SceneNameInWindow.h"

#include "scenes/model/SceneNameInText.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

namespace korvane {

std::string sceneNameInText(std::string_view name, const QFont& font, int width) {
    const std::string whole = sceneNameInText(name);
    const QFontMetrics metrics(font);
    const QString shown = QString::fromStdString(whole);
    if (metrics.horizontalAdvance(shown) <= width) return whole;
    // Cut within the isolate, not across it: the marks that keep the name's writing direction to itself
    // are put back around what is left, and sceneNameInText closes an isolate the cut left open.
    const QString inner = shown.mid(1, shown.size() - 2);
    const QString cut = metrics.elidedText(inner, Qt::ElideMiddle, std::max(width, 0));
    // Even a window too narrow for any of the name shows that something was cut.
    return sceneNameInText((cut.isEmpty() ? QString(QChar(0x2026)) : cut).toStdString());
}

} // namespace korvane
