// Bringing a window of the program forward.
#include "ui/overlays/BringForward.h"

#include <QWidget>

namespace korvane {

void bringForward(QWidget& window) {
    // Restoring asks the window manager to map the window again; the activation below waits for that.
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace korvane
