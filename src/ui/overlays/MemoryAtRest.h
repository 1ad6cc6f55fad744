// Korvane at rest holds nothing as large as a monitor: a program that stays resident all day would
// otherwise keep, for each window it ever showed, a drawing buffer of its size (a full-screen switcher's is
// a monitor's picture), and the allocator would keep the pages of the largest pictures it ever freed.
// A window opened again soon after it closed still finds its buffer: a user opens the switcher many times
// a minute, and a buffer taken afresh costs the program and the X server a page fault per page.
#pragma once

#include <chrono>

class QCoreApplication;

namespace korvane {

// How long a hidden window keeps what it holds for its next showing.
inline constexpr std::chrono::seconds kKeptWhileHidden{20};

// A window that keeps more than its drawing buffer for its next showing (a monitor's picture it draws).
class KeptForNextShowing {
  public:
    // Hidden for kKeptWhileHidden: lets go of it; the next showing takes it afresh.
    virtual void letGoWhileHidden() = 0;

  protected:
    ~KeptForNextShowing() = default;
};

// From now on every top-level widget of the application that stays hidden for kKeptWhileHidden lets go
// of its drawing buffer (the toolkit makes it again at the next paint after a showing) and of what else it
// keeps (KeptForNextShowing); shown before then, it finds them. Blocks as large as pictures are given back
// to the system as they are freed. Main thread; once per process, before its windows show.
void releaseMemoryAtRest(QCoreApplication& application);

// What the hidden windows keep is let go now, as if each had stayed hidden that long: the program as it
// is at rest, without the wait. Nothing unless releaseMemoryAtRest ran. Main thread.
void releaseHiddenWindowsMemoryNow(QCoreApplication& application);

} // namespace korvane
