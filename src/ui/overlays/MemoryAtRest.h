// Korvane at rest holds nothing as large as a monitor: a program that stays resident all day would
// otherwise keep, for each window it ever showed, a drawing buffer of its size (a full-screen switcher's is
// a monitor's picture), and the allocator would keep the pages of the largest pictures it ever freed.
#pragma once

class QCoreApplication;

namespace korvane {

// From now on every top-level widget of the application lets go of its drawing buffer as it is hidden
// (the toolkit makes it again at the next paint after a showing), and blocks as large as pictures are
// given back to the system as they are freed. Main thread; once per process, before its windows show.
void releaseMemoryAtRest(QCoreApplication& application);

} // namespace korvane
