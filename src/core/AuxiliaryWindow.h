// The auxiliary window test: whether a window is a small secondary window or decoy strip of its
// application, judged by the window classifier within that application's windows on one display.
#pragma once

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"

#include <sys/types.h>

namespace korvane {

class AXUtil;
class WMState;

// The group is the window and the other windows of the same process that `state` manages; the window
// under test is read through `element`, the others through their recorded elements (their recorded frame
// standing in when a frame cannot be read). Hidden, minimised, frameless windows and windows of 2.0
// points or less take no part, and such a window under test is never auxiliary; neither is one of pid 0.
// Main thread. Never logs: callers log their own decision.
bool isAuxiliaryWindow(AXUtil& ax, WindowID wid, const platform::AXElement& element, pid_t pid,
                       const WMState& state);

} // namespace korvane
