// How the program brings one of its own windows to the user when asked for it again: the scene manager,
// the "Preferences" window and the "Save Scene" window share it.
#pragma once

class QWidget;

namespace korvane {

// Shows the window, restored first when it is minimised, raised above the others and given the keyboard.
// A minimised window counts as shown, so a bare show() would leave it out of reach; and until the window
// manager has restored it, it cannot take the keyboard either.
void bringForward(QWidget& window);

} // namespace korvane
