// Running applications, activation and launching, and script-based activation by bundle identifier.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane::platform {

enum class ActivationPolicy { regular, accessory, prohibited };

struct RunningApplication {
    pid_t pid = 0;
    std::optional<std::string> bundleID;
    std::optional<std::string> name;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool isHidden = false;
    bool isTerminated = false;
    bool isActive = false;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

enum ActivationOption : unsigned {
    kActivateAllWindows = 1u << 0,
    kActivateIgnoringOtherApps = 1u << 1,
};

struct OpenApplicationResult {
    std::optional<RunningApplication> app; // nothing on failure
    std::optional<std::string> error;
};

// A picture of an application as the desktop keeps it: pixels (0xAARRGGBB, not premultiplied, row by
// row, `width` × `height` of them) or the path of an image file (PNG or XPM) for the caller to read.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
    std::string path;

    friend bool operator==(const IconImage&, const IconImage&) = default;
};

// An application installed on the desktop, whether or not it runs: `path` is what urlForApplication gives
// for its bundle identifier.
struct InstalledApplication {
    std::string bundleID;
    std::string name;
    std::string path;

    friend bool operator==(const InstalledApplication&, const InstalledApplication&) = default;
};

// Outcome of running a script: `errorNumber` is 0 on success (-1743 / -1744 when events are refused).
struct ScriptResult {
    bool ok = false;
    int errorNumber = 0;
    std::string message;
};

// Notifications posted on the notification centre; their user info names the application (see
// applicationUserInfo). The wake notice carries nothing.
inline constexpr const char* kDidLaunchApplication = "platform.didLaunchApplication";
inline constexpr const char* kDidTerminateApplication = "platform.didTerminateApplication";
inline constexpr const char* kDidActivateApplication = "platform.didActivateApplication";
inline constexpr const char* kDidWake = "platform.didWake";

// The user info that names an application: "pid", and when known "bundleID", "name" and
// "activationPolicy" ("regular", "accessory" or "prohibited").
nlohmann::json applicationUserInfo(const RunningApplication& app);
// The application a notification names; nothing without a positive whole-number "pid". A key that is
// missing or of another type leaves its field at its default.
std::optional<RunningApplication> applicationFromUserInfo(const nlohmann::json& userInfo);

class Workspace {
  public:
    virtual ~Workspace() = default;

    // Any thread (the icon cache reads it on its queue).
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::optional<RunningApplication> runningApplication(pid_t pid) = 0;

    // Both return whether the request was accepted, not whether it took effect.
    virtual bool activate(pid_t pid, unsigned options) = 0;
    virtual bool unhide(pid_t pid) = 0;

    // Where the application with this bundle identifier is installed, if anywhere.
    virtual std::optional<std::string> urlForApplication(const std::string& bundleID) = 0;
    // Launches (or activates) the application; the completion runs on the main queue, possibly never.
    // With `newInstance` an application that runs already is started once more, as a process of its
    // own, rather than brought forward. Returns false when the application cannot be started at all
    // (nothing installed under the identifier, a program that cannot run): the completion then brings
    // the error that says why.
    virtual bool openApplication(const std::string& bundleID, bool activates, bool newInstance,
                                 std::function<void(OpenApplicationResult)> completion) = 0;
    // Whether activating a running application that shows no window has it open one. Where it does not
    // (X11: a program opens its windows as it starts, and activation only raises what it shows), another
    // window is had only by starting the application again (openApplication with `newInstance`).
    virtual bool activationOpensWindow() = 0;
    virtual bool openURL(const std::string& url) = 0;
    // Shows the file at a local path selected in the desktop's file manager; where no file manager does
    // (none answers, or the file is not there), opens the folder that holds it as openURL does. Main
    // thread; returns at once. Where neither could be done, `failed` (when set) hears why in words, on the
    // main thread, possibly after this returned; nothing is heard of a success.
    virtual void revealFile(const std::string& path,
                            std::function<void(const std::string& reason)> failed) = 0;
    // Every application installed where the desktop keeps them, each bundle identifier once (where two
    // places hold one, the place the desktop looks first wins), in no particular order. Any thread; slow:
    // it reads the file system afresh on every call.
    virtual std::vector<InstalledApplication> installedApplications() = 0;
    // Whether the system keeps privacy panes, opened by their addresses, where the user gives the
    // Accessibility and Screen Recording grants. Where it has none, the grants follow from the desktop
    // itself and no address leads anywhere.
    virtual bool hasPrivacyPanes() = 0;

    // Icons; any thread, possibly slow (they read files). The running process's own picture (nothing once
    // it has gone or when it shows none), the picture of the application installed at a path that
    // urlForApplication gave, and the desktop's generic picture of an application.
    virtual std::optional<IconImage> iconForRunningApplication(pid_t pid) = 0;
    virtual std::optional<IconImage> iconForFile(const std::string& path) = 0;
    virtual std::optional<IconImage> genericApplicationIcon() = 0;

    // Runs a script source synchronously (activation by bundle identifier). May be slow.
    virtual ScriptResult runScript(const std::string& source) = 0;
};

} // namespace korvane::platform
