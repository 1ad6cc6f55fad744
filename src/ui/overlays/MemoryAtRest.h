// Korvane's hidden windows hold no drawing buffer: a program that stays resident all day would otherwise
// keep one as large as each window it ever showed (a full-screen switcher's is a monitor's picture).
#pragma once

class QCoreApplication;

namespace korvane {

// From now on every top-level widget of the application lets go of its drawing buffer as it is hidden;
// the toolkit makes it again at the next paint after a showing. Main thread; once per application.
void releaseHiddenWindowBuffers(QCoreApplication& application);

} // namespace korvane
