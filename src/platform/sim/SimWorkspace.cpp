// Applications of the simulated desktop: their life, their activation and the scripted ways in which
// they answer activation, open requests and activation scripts.
#include "platform/sim/SimWorkspace.h"

#include "platform/sim/SimModel.h"
#include "platform/sim/SimRunLoop.h"

#include <stdexcept>

namespace korvane::sim {

using platform::RunningApplication;

namespace {

constexpr std::string_view kScriptHead = "tell application id \"";
constexpr std::string_view kScriptTail = "\"\n    activate\nend tell";

// The bundle identifier of the exact activation script, or nothing for any other text.
std::optional<std::string> activationScriptBundle(const std::string& source) {
    if (source.size() <= kScriptHead.size() + kScriptTail.size()) return std::nullopt;
    if (source.compare(0, kScriptHead.size(), kScriptHead) != 0) return std::nullopt;
    if (source.compare(source.size() - kScriptTail.size(), kScriptTail.size(), kScriptTail) != 0)
        return std::nullopt;
    std::string id =
        source.substr(kScriptHead.size(), source.size() - kScriptHead.size() - kScriptTail.size());
    if (id.find_first_of("\"\n") != std::string::npos) return std::nullopt;
    return id;
}

RunningApplication infoLocked(const SimModel& m, const SimApp& app) {
    RunningApplication info = app.info;
    info.isActive = m.frontmost == app.info.pid;
    return info;
}

pid_t runningPidLocked(const SimModel& m, const std::string& bundleID) {
    for (pid_t pid : m.appOrder) {
        auto it = m.apps.find(pid);
        if (it != m.apps.end() && it->second.info.bundleID == bundleID) return pid;
    }
    return 0;
}

} // namespace

SimWorkspace::SimWorkspace(SimModel& model) : model_(model) {}

std::vector<RunningApplication> SimWorkspace::runningApplications() {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    std::vector<RunningApplication> out;
    for (pid_t pid : model_.appOrder)
        out.push_back(infoLocked(model_, model_.apps.at(pid)));
    return out;
}

std::optional<RunningApplication> SimWorkspace::frontmostApplication() {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    if (auto* app = model_.appLocked(model_.frontmost)) return infoLocked(model_, *app);
    return std::nullopt;
}

std::optional<RunningApplication> SimWorkspace::runningApplication(pid_t pid) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    if (auto* app = model_.appLocked(pid)) return infoLocked(model_, *app);
    return std::nullopt;
}

bool SimWorkspace::activate(pid_t pid, unsigned options) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    activateCalls_.push_back({pid, options});
    auto* app = model_.appLocked(pid);
    if (!app || !app->activateOutcome.accepted) return false;
    model_.requestActivationLocked(pid, options, app->activateOutcome);
    return true;
}

bool SimWorkspace::unhide(pid_t pid) {
    std::lock_guard lock(model_.mutex);
    if (!model_.appLocked(pid)) return false;
    model_.hideLocked(pid, false);
    return true;
}

std::optional<std::string> SimWorkspace::urlForApplication(const std::string& bundleID) {
    std::lock_guard lock(model_.mutex);
    auto it = model_.installed.find(bundleID);
    if (it == model_.installed.end()) return std::nullopt;
    return it->second.url;
}

bool SimWorkspace::openApplication(const std::string& bundleID, bool activates, bool newInstance,
                                   std::function<void(platform::OpenApplicationResult)> completion) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    openCalls_.push_back({bundleID, activates, newInstance});
    auto found = openBehaviours_.find(bundleID);
    const OpenBehaviour behaviour = found == openBehaviours_.end() ? OpenBehaviour{} : found->second;
    auto finish = [completion = std::move(completion)](platform::OpenApplicationResult r) {
        if (completion) completion(std::move(r));
    };

    if (!model_.installed.count(bundleID)) {
        model_.loop.post([finish, bundleID] {
            finish({std::nullopt, "No application is installed with bundle identifier " + bundleID});
        });
        return false;
    }
    switch (behaviour.mode) {
    case OpenBehaviour::Mode::never:
        return true;
    case OpenBehaviour::Mode::fails:
    case OpenBehaviour::Mode::refuses:
        model_.loop.postAfter(behaviour.after, [finish, error = behaviour.error] {
            finish({std::nullopt, error});
        });
        return behaviour.mode == OpenBehaviour::Mode::fails;
    case OpenBehaviour::Mode::completes:
        break;
    }
    std::weak_ptr<SimModel> weak = model_.weak_from_this();
    const bool activateOnOpen = activates && behaviour.activates;
    const std::optional<SimWindowSpec> window = behaviour.window;
    model_.loop.postAfter(behaviour.after, [weak, bundleID, activateOnOpen, newInstance, window, finish] {
        auto m = weak.lock();
        if (!m) return;
        std::optional<RunningApplication> app;
        {
            std::lock_guard lock(m->mutex);
            m->settleLocked();
            pid_t pid = newInstance ? 0 : runningPidLocked(*m, bundleID);
            if (!pid) {
                pid = m->launchLocked(m->installed.at(bundleID));
                if (window) m->openWindowLocked(pid, *window);
            }
            if (activateOnOpen) m->makeFrontmostLocked(pid, 0);
            app = infoLocked(*m, m->apps.at(pid));
        }
        finish({app, std::nullopt});
    });
    return true;
}

std::vector<platform::InstalledApplication> SimWorkspace::installedApplications() {
    std::lock_guard lock(model_.mutex);
    std::vector<platform::InstalledApplication> apps;
    for (const auto& [bundleID, spec] : model_.installed)
        apps.push_back({bundleID, spec.name.value_or(bundleID), spec.url.value_or("")});
    return apps;
}

bool SimWorkspace::openURL(const std::string& url) {
    std::lock_guard lock(model_.mutex);
    urls_.push_back(url);
    return true;
}

void SimWorkspace::revealFile(const std::string& path,
                              std::function<void(const std::string& reason)> failed) {
    std::lock_guard lock(model_.mutex);
    revealed_.push_back(path);
    if (revealFailure_ && failed) model_.loop.post([failed, reason = *revealFailure_] { failed(reason); });
}

void SimWorkspace::setRevealFailure(std::optional<std::string> reason) {
    std::lock_guard lock(model_.mutex);
    revealFailure_ = std::move(reason);
}

bool SimWorkspace::hasPrivacyPanes() {
    std::lock_guard lock(model_.mutex);
    return model_.hasPrivacyPanes;
}

void SimWorkspace::setHasPrivacyPanes(bool has) {
    std::lock_guard lock(model_.mutex);
    model_.hasPrivacyPanes = has;
}

bool SimWorkspace::activationOpensWindow() {
    std::lock_guard lock(model_.mutex);
    return activationOpensWindow_;
}

void SimWorkspace::setActivationOpensWindow(bool opens) {
    std::lock_guard lock(model_.mutex);
    activationOpensWindow_ = opens;
}

std::optional<platform::IconImage> SimWorkspace::iconForRunningApplication(pid_t pid) {
    std::lock_guard lock(model_.mutex);
    ++iconRequests_;
    auto app = model_.apps.find(pid);
    auto icon = appIcons_.find(pid);
    if (app == model_.apps.end() || icon == appIcons_.end()) return std::nullopt;
    return icon->second;
}

std::optional<platform::IconImage> SimWorkspace::iconForFile(const std::string& path) {
    std::lock_guard lock(model_.mutex);
    ++iconRequests_;
    auto icon = fileIcons_.find(path);
    if (icon == fileIcons_.end()) return std::nullopt;
    return icon->second;
}

std::optional<platform::IconImage> SimWorkspace::genericApplicationIcon() {
    std::lock_guard lock(model_.mutex);
    ++iconRequests_;
    return genericIcon_;
}

void SimWorkspace::setApplicationIcon(pid_t pid, platform::IconImage icon) {
    std::lock_guard lock(model_.mutex);
    appIcons_[pid] = std::move(icon);
}

void SimWorkspace::setFileIcon(const std::string& path, platform::IconImage icon) {
    std::lock_guard lock(model_.mutex);
    fileIcons_[path] = std::move(icon);
}

void SimWorkspace::setGenericApplicationIcon(std::optional<platform::IconImage> icon) {
    std::lock_guard lock(model_.mutex);
    genericIcon_ = std::move(icon);
}

std::size_t SimWorkspace::iconRequestCount() const {
    std::lock_guard lock(model_.mutex);
    return iconRequests_;
}

platform::ScriptResult SimWorkspace::runScript(const std::string& source) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    scripts_.push_back(source);
    auto bundleID = activationScriptBundle(source);
    if (!bundleID) return {false, -2741, "script not understood"};
    auto found = scriptOutcomes_.find(*bundleID);
    const ScriptOutcome outcome = found == scriptOutcomes_.end() ? ScriptOutcome{} : found->second;
    if (outcome.errorNumber != 0) return {false, outcome.errorNumber, outcome.message};
    pid_t pid = runningPidLocked(model_, *bundleID);
    if (!pid) {
        auto installed = model_.installed.find(*bundleID);
        if (installed == model_.installed.end()) return {false, -1728, "application not found"};
        pid = model_.launchLocked(installed->second);
    }
    if (outcome.activates)
        model_.requestActivationLocked(pid, 0, ActivationOutcome::after(outcome.takesEffectAfter));
    return {true, 0, ""};
}

pid_t SimWorkspace::launch(const SimAppSpec& desc) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    return model_.launchLocked(desc);
}

void SimWorkspace::quit(pid_t pid) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    model_.requireAppLocked(pid);
    auto info = model_.appUserInfoLocked(pid);
    for (auto token : model_.windowsOfLocked(pid))
        model_.removeWindowLocked(token, false);
    model_.apps.erase(pid);
    std::erase(model_.appOrder, pid);
    std::erase_if(model_.pendingActivations, [&](const auto& p) { return p.pid == pid; });
    if (model_.frontmost == pid) model_.frontmost = 0;
    model_.postNotificationLocked(platform::kDidTerminateApplication, std::move(info));
}

void SimWorkspace::setHidden(pid_t pid, bool hidden) {
    std::lock_guard lock(model_.mutex);
    model_.hideLocked(pid, hidden);
}

void SimWorkspace::bringToFront(pid_t pid, unsigned options) {
    std::lock_guard lock(model_.mutex);
    model_.settleLocked();
    model_.requireAppLocked(pid);
    model_.makeFrontmostLocked(pid, options);
}

void SimWorkspace::install(const SimAppSpec& desc) {
    if (!desc.bundleID) throw std::invalid_argument("an installed application needs a bundle identifier");
    std::lock_guard lock(model_.mutex);
    SimAppSpec kept = desc;
    if (!kept.url) kept.url = "file:///usr/share/applications/" + *desc.bundleID + ".desktop";
    model_.installed[*desc.bundleID] = std::move(kept);
}

void SimWorkspace::setActivateOutcome(pid_t pid, ActivationOutcome outcome) {
    std::lock_guard lock(model_.mutex);
    model_.requireAppLocked(pid).activateOutcome = outcome;
}

void SimWorkspace::setOpenBehaviour(const std::string& bundleID, OpenBehaviour behaviour) {
    std::lock_guard lock(model_.mutex);
    openBehaviours_[bundleID] = std::move(behaviour);
}

void SimWorkspace::setScriptOutcome(const std::string& bundleID, ScriptOutcome outcome) {
    std::lock_guard lock(model_.mutex);
    scriptOutcomes_[bundleID] = std::move(outcome);
}

std::vector<SimWorkspace::ActivateCall> SimWorkspace::activateCalls() const {
    std::lock_guard lock(model_.mutex);
    return activateCalls_;
}

std::vector<SimWorkspace::OpenCall> SimWorkspace::openCalls() const {
    std::lock_guard lock(model_.mutex);
    return openCalls_;
}

std::vector<std::string> SimWorkspace::scriptsRun() const {
    std::lock_guard lock(model_.mutex);
    return scripts_;
}

std::vector<std::string> SimWorkspace::openedURLs() const {
    std::lock_guard lock(model_.mutex);
    return urls_;
}

std::vector<std::string> SimWorkspace::revealedFiles() const {
    std::lock_guard lock(model_.mutex);
    return revealed_;
}

} // namespace korvane::sim
