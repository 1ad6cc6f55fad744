// How patiently and how forcefully window and application activation treat a given application,
// chosen from its bundle identifier: "default" for most, "problematic" for the ones that need care.
#pragma once

#include "platform/Accessibility.h"

#include <optional>
#include <set>
#include <string>

namespace korvane {

namespace platform {
class Platform;
class Workspace;
} // namespace platform

struct ActivationStrategy {
    std::string name;
    double timeout = 1.0; // seconds a window-activation request may run
    int retryCount = 2;   // attempts of a window activation; below 1 means 1
    bool requiresWait = true;
    bool useFallback = false;
    bool useAppleScript = false;

    friend bool operator==(const ActivationStrategy&, const ActivationStrategy&) = default;

    static ActivationStrategy defaultStrategy();
    static ActivationStrategy problematic();

    // Applications known to need the careful strategy whatever the whitelists say, by the identifiers of
    // both kinds of desktop; isBuiltInProblematic compares them without regard to case.
    static const std::set<std::string>& builtInProblematicBundleIDs();
    static bool isBuiltInProblematic(const std::string& bundleID);

    // Exact, case-sensitive matching against the focus whitelists (what they hold is what was written
    // there), any case against the built-in set; no identifier gives "default". Reads the process-wide
    // whitelist store.
    static ActivationStrategy strategy(const std::optional<std::string>& bundleID);
    // The strategy of the application that owns the element; "default" when its pid cannot be read or
    // no running application has it.
    static ActivationStrategy strategy(const platform::AXElement& element, platform::Platform& platform);
};

// Whether bringing the application forward by its identifier (its activation script, opening its desktop
// entry) reaches the running process `pid` and no other. Where several processes share the identifier
// (a terminal that runs one process per window) it reaches the first of them, and where `pid` no longer
// runs it starts another: either way a window other than the one asked for would take the keyboard.
bool identifierReachesOnly(platform::Workspace& workspace, const std::string& bundleID, pid_t pid);

} // namespace korvane
