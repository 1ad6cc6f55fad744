// The simulated workspace: running applications, activation, launching, URLs and activation scripts,
// with hooks that script how each application answers.
#pragma once

#include "platform/Workspace.h"
#include "platform/sim/SimTypes.h"

#include <map>
#include <vector>

namespace korvane::sim {

class SimModel;

class SimWorkspace final : public platform::Workspace {
  public:
    explicit SimWorkspace(SimModel& model);

    // In launch order.
    std::vector<platform::RunningApplication> runningApplications() override;
    std::optional<platform::RunningApplication> frontmostApplication() override;
    std::optional<platform::RunningApplication> runningApplication(pid_t pid) override;
    // Answers and takes effect as the application's activation outcome says (see setActivateOutcome).
    // Activating brings the focused window forward, or every window with kActivateAllWindows.
    bool activate(pid_t pid, unsigned options) override;
    bool unhide(pid_t pid) override;
    std::optional<std::string> urlForApplication(const std::string& bundleID) override;
    // Completes through the loop as the bundle's open behaviour says; launches it when it is installed
    // and not running, or as a new instance, and then opens the behaviour's window in what it started. A
    // bundle that is not installed, or whose behaviour refuses, is refused: the completion brings the error.
    bool openApplication(const std::string& bundleID, bool activates, bool newInstance,
                         std::function<void(platform::OpenApplicationResult)> completion) override;
    // As a test sets it (true until then). The simulated applications open no window when activated
    // whatever it says: a test that has it say so opens the window the application would.
    bool activationOpensWindow() override;
    bool openURL(const std::string& url) override;
    // Recorded (see revealedFiles); the simulated desktop shows every file it is asked to, unless a test
    // says nothing can (setRevealFailure): then `failed` hears the reason through the loop.
    void revealFile(const std::string& path, std::function<void(const std::string& reason)> failed) override;
    // What install() put there, by bundle identifier, named as install() named it (else by the identifier).
    std::vector<platform::InstalledApplication> installedApplications() override;
    // The simulated system keeps privacy panes unless a test says it has none.
    bool hasPrivacyPanes() override;
    // The exact three-line activation script for an installed bundle runs as its script outcome says
    // (by default it activates the application, launching it first when needed); any other text is
    // answered as not understood.
    platform::ScriptResult runScript(const std::string& source) override;
    // The pictures a test gave: a running application's (only while it runs), an installed application's
    // by its URL, and the generic one; nothing otherwise. Every request is counted.
    std::optional<platform::IconImage> iconForRunningApplication(pid_t pid) override;
    std::optional<platform::IconImage> iconForFile(const std::string& path) override;
    std::optional<platform::IconImage> genericApplicationIcon() override;

    // Test hooks.
    pid_t launch(const SimAppSpec& desc); // announces kDidLaunchApplication through the loop
    // The application's windows vanish without accessibility notifications, as when a process ends;
    // kDidTerminateApplication follows through the loop.
    void quit(pid_t pid);
    void setHidden(pid_t pid, bool hidden);
    // The user brings the application forward: it always works.
    void bringToFront(pid_t pid, unsigned options = 0);
    // Installed but not running: `urlForApplication` finds it and opening it launches it.
    void install(const SimAppSpec& desc);
    void setActivateOutcome(pid_t pid, ActivationOutcome outcome);
    void setOpenBehaviour(const std::string& bundleID, OpenBehaviour behaviour);
    void setScriptOutcome(const std::string& bundleID, ScriptOutcome outcome);
    void setHasPrivacyPanes(bool has);
    void setActivationOpensWindow(bool opens);
    // Why no file can be shown from now on; nothing: every file shows again.
    void setRevealFailure(std::optional<std::string> reason);
    void setApplicationIcon(pid_t pid, platform::IconImage icon);
    void setFileIcon(const std::string& path, platform::IconImage icon);
    void setGenericApplicationIcon(std::optional<platform::IconImage> icon);
    // Icon requests of any of the three kinds so far.
    std::size_t iconRequestCount() const;

    struct ActivateCall {
        pid_t pid = 0;
        unsigned options = 0;
    };
    struct OpenCall {
        std::string bundleID;
        bool activates = false;
        bool newInstance = false;
    };
    std::vector<ActivateCall> activateCalls() const;
    std::vector<OpenCall> openCalls() const;
    std::vector<std::string> scriptsRun() const;
    std::vector<std::string> openedURLs() const;
    std::vector<std::string> revealedFiles() const;

  private:
    SimModel& model_;
    std::vector<ActivateCall> activateCalls_; // guarded by the model's mutex, like everything here
    std::vector<OpenCall> openCalls_;
    std::vector<std::string> scripts_;
    std::vector<std::string> urls_;
    std::vector<std::string> revealed_;
    std::optional<std::string> revealFailure_;
    std::map<std::string, OpenBehaviour> openBehaviours_;
    std::map<std::string, ScriptOutcome> scriptOutcomes_;
    std::map<pid_t, platform::IconImage> appIcons_;
    std::map<std::string, platform::IconImage> fileIcons_;
    std::optional<platform::IconImage> genericIcon_;
    std::size_t iconRequests_ = 0;
    bool activationOpensWindow_ = true;
};

} // namespace korvane::sim
