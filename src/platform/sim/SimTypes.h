// What tests describe the simulated desktop with: displays, applications, windows, child elements and
// the scripted outcomes of activation, launching and scripts.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "platform/Time.h"
#include "platform/Workspace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace korvane::sim {

// Frames are in bottom-left global coordinates, like every screen frame.
struct SimDisplaySpec {
    Rect frame{};
    std::optional<Rect> visibleFrame{}; // the frame itself when absent
    double backingScale = 1;
    std::optional<std::string> name{}; // "Display N" when absent
    std::optional<std::string> uuid{}; // derived from the display number when absent
    std::uint32_t displayNumber = 0;   // assigned when 0
};

// What an activation request answers and whether (and when) it takes effect. A delay of 0 takes effect
// at once; no delay means the request is accepted or refused but never takes effect.
struct ActivationOutcome {
    bool accepted = true;
    std::optional<Nanos> takesEffectAfter = Nanos{0};

    static ActivationOutcome normal() { return {}; }
    static ActivationOutcome ignored() { return {true, std::nullopt}; }
    static ActivationOutcome refused() { return {false, std::nullopt}; }
    static ActivationOutcome after(Nanos delay) { return {true, delay}; }
};

struct SimAppSpec {
    std::optional<std::string> bundleID{};
    std::optional<std::string> name{};
    platform::ActivationPolicy activationPolicy = platform::ActivationPolicy::regular;
    bool hidden = false;
    std::optional<pid_t> pid{};       // assigned when absent
    bool activate = false;            // becomes frontmost as it launches
    std::optional<std::string> url{}; // where it is installed; derived from the bundle id when absent
};

// Which attribute tells a window's number to accessibility clients. The window list always has it.
enum class WindowNumberAttribute {
    standard,    // "AXWindowNumber"
    privateOnly, // only the private "_AXWindow"
    none,        // neither: clients must match the window by its frame
};

struct SimWindowSpec {
    Rect frame{}; // bottom-left global coordinates
    std::string title{};
    std::optional<std::uint32_t> number{}; // assigned when absent
    std::string role = "AXWindow";
    std::optional<std::string> subrole = std::string("AXStandardWindow");
    bool minimized = false;
    bool fullscreen = false;
    bool maximized = false;
    bool focused = true; // becomes its application's focused window
    bool main = true;    // becomes its application's main window
    bool front = true;   // opens at the front of the window list, else at the back
    int layer = 0;
    double alpha = 1;
    bool onScreen = true; // false: the window server reports it off screen
    std::optional<Size> minSize{};
    std::optional<Size> maxSize{};
    std::optional<Size> sizeIncrement{}; // sizes snap down to minSize (or 0) plus whole increments
    bool ignoresResize = false;          // size writes succeed and change nothing
    bool ignoresMove = false;            // position writes succeed and change nothing
    bool ignoresFocus = false;           // "AXMain" / "AXFocused" writes succeed and change nothing
    // How long its window manager takes to carry out a move or resize of it: a frame asked through
    // requestFrame shows this much later, and a write of "AXPosition" or "AXSize", which waits for the
    // window manager, returns this much later (the clock passes as in a blocking sleep).
    Nanos movesAfter = 0;
    // false: a window that never takes the keyboard focus (a clock, say): its "AXMain" and "AXFocused" are
    // not settable and their writes fail, it never becomes its application's focused or main window, a
    // click raises it alone, and activating an application that has only such windows raises them
    // without bringing the application to the front.
    bool takesFocus = true;
    // Answers which size it takes for a size asked (platform::kGrantedSizeAttribute), as a backend that
    // reads a window's size hints does; otherwise that attribute is unsupported, as where nobody can tell.
    bool tellsGrantedSize = false;
    std::optional<std::string> document{};
    std::optional<std::string> url{};
    WindowNumberAttribute numberAttribute = WindowNumberAttribute::standard;
    // Until this instant of the virtual clock the number is not readable and the window list omits it.
    std::optional<Nanos> numberAppearsAt{};
    bool titleInList = true; // false: window-list entries carry no name
    // Once closed, the element still answers its number attribute (and its pid), as a destroyed element
    // does to the observers that hear of its end; false: it answers invalidUIElement for everything.
    bool numberOutlivesWindow = true;
    // Answers its Boolean attributes ("AXMinimized", "AXMain", …) as the numbers 0 and 1, as some
    // applications do.
    bool booleansAsNumbers = false;
};

// A UI element inside a window, for walks from a focused element up to its window.
struct SimChildSpec {
    std::string role = "AXTextField";
    bool exposesWindow = true;    // has "AXWindow" naming its window
    bool exposesTopLevel = false; // has "AXTopLevelUIElement" naming its window
};

// How an open request for a bundle identifier ends.
// `refuses` is a launch that cannot start at all (openApplication answers false); `fails` one that
// starts and then reports an error.
struct OpenBehaviour {
    enum class Mode { completes, fails, refuses, never };
    Mode mode = Mode::completes;
    Nanos after = 0;       // virtual time until the completion runs
    bool activates = true; // whether an activating open makes the application frontmost
    std::string error = "The application could not be opened.";
    // The window every start of the application opens as it comes up, as an X client does; none: the
    // application starts without a window, and a test opens what it shows.
    std::optional<SimWindowSpec> window{};
};

// How the activation script for a bundle identifier ends.
struct ScriptOutcome {
    int errorNumber = 0; // 0 runs the script; -1743 / -1744 are the refusals
    std::string message{};
    bool activates = true; // whether a script that ran makes the application frontmost
    Nanos takesEffectAfter = 0;
};

// One accessibility write or action, as the simulated applications received it.
struct AXCall {
    platform::AXElement element{};
    std::string kind{}; // "set" or "action"
    std::string name{}; // attribute or action
    platform::AXValue value{};
    platform::AXError result = platform::AXError::success;
};

// The pseudo-attribute under which `pidOf` failures are scripted.
inline constexpr const char* kPidOfCall = "pidOf";

} // namespace korvane::sim
