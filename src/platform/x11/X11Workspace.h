// Running applications of the real desktop: the pids that own managed clients plus the processes this
// program launched, named after their desktop entries; activation through the window manager; launch,
// terminate and activate notifications from the client list and the active window.
#pragma once

#include "platform/RunLoop.h"
#include "platform/Workspace.h"
#include "platform/x11/DesktopEntries.h"
#include "platform/x11/FileManagerService.h"
#include "platform/x11/X11Tracker.h"

#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <variant>

namespace korvane::platform {
class NotificationCenter;
}

namespace korvane::x11 {

class X11ClientSnapshot;
class X11Connection;

inline constexpr const char* kOwnBundleID = "com.korvane.app";

class X11Workspace final : public platform::Workspace, public TrackerListener {
  public:
    // Main thread. The clients are read through the turn's snapshot.
    X11Workspace(X11Connection& connection, X11ClientSnapshot& clients, platform::RunLoop& loop,
                 platform::NotificationCenter& notifications);

    std::vector<platform::RunningApplication> runningApplications() override;
    std::optional<platform::RunningApplication> frontmostApplication() override;
    std::optional<platform::RunningApplication> runningApplication(pid_t pid) override;
    // Activates the window the application would bring forward, showing its desktop first when another
    // one shows.
    bool activate(pid_t pid, unsigned options) override;
    bool unhide(pid_t pid) override;
    std::optional<std::string> urlForApplication(const std::string& bundleID) override;
    // A running application is activated when asked, unless `newInstance`; any other is started from its
    // desktop entry (see DesktopEntries::launchCommand), its output going nowhere. Refused when there is no
    // such entry or its program cannot be started.
    bool openApplication(const std::string& bundleID, bool activates, bool newInstance,
                         std::function<void(platform::OpenApplicationResult)> completion) override;
    // An X client makes its windows as it starts; activation only raises and focuses what it shows.
    bool activationOpensWindow() override { return false; }
    bool openURL(const std::string& url) override;
    // Through the file manager on the session bus (FileManagerService), else the folder by openURL.
    void revealFile(const std::string& path, std::function<void(const std::string& reason)> failed) override;
    // The shown application entries of the XDG data folders, read afresh; the entry's id is the bundle
    // identifier and its file the path. The list urlForApplication consults is renewed with it.
    std::vector<platform::InstalledApplication> installedApplications() override;
    // An X desktop keeps no privacy panes: trust follows from a window manager running (see
    // X11Accessibility::isProcessTrusted) and window titles are open to every client.
    bool hasPrivacyPanes() override { return false; }
    // Understands one script: `tell application id "X"` / `    activate` / `end tell`.
    platform::ScriptResult runScript(const std::string& source) override;
    // A running application's picture is its frontmost window's _NET_WM_ICON, else its desktop entry's
    // icon; an installed one's is its desktop entry's icon; the generic one is the icon theme's
    // "application-x-executable". Entry icons are looked up in the icon themes (IconTheme).
    std::optional<platform::IconImage> iconForRunningApplication(pid_t pid) override;
    std::optional<platform::IconImage> iconForFile(const std::string& path) override;
    std::optional<platform::IconImage> genericApplicationIcon() override;

    // The bundle identifier named by the activation script, if the source is exactly that script.
    static std::optional<std::string> parseActivationScript(const std::string& source);

    void clientsChanged() override;
    void activeChanged(const std::optional<TrackedWindow>& current) override;

  private:
    struct Snapshot;
    // With `only`, that application's record alone.
    Snapshot snapshot(std::optional<pid_t> only = std::nullopt);
    DesktopEntries& entries(bool rescan = false);
    // The entry with that id, the folders read again when it is not known yet.
    std::optional<DesktopEntry> entryFor(const std::string& bundleID);
    // Starts the application's desktop entry and counts the process as that application until its
    // windows decide; why not, when it cannot be started.
    std::variant<platform::RunningApplication, std::string> launch(const std::string& bundleID);
    std::optional<pid_t> spawn(const std::vector<std::string>& command);
    void announceChanges();
    nlohmann::json userInfo(const platform::RunningApplication& app) const;

    X11Connection& connection_;
    X11ClientSnapshot& clients_;
    platform::RunLoop& loop_;
    platform::NotificationCenter& notifications_;
    FileManagerService fileManager_;

    std::mutex mutex_;
    std::optional<DesktopEntries> entries_;
    // Launched here and still counted, with the bundle identifier they were launched as.
    struct Launched {
        std::string bundleID;
        bool shownWindow = false;
    };
    std::map<pid_t, Launched> launched_;

    // Main thread only: what the last announcement knew.
    std::map<pid_t, platform::RunningApplication> announced_;
    pid_t lastActivePid_ = 0;
};

} // namespace korvane::x11
