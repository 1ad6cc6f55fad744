// Whether one of the program's windows holds the keyboard, for the code that sees no toolkit.
#pragma once

namespace korvane {

// True from a KeyboardHold's begin() to its end(): the keys typed go to one of the program's windows
// (an overlay showing), whichever window has the focus beneath it. Main thread.
bool keyboardHeldByProgram();

} // namespace korvane
