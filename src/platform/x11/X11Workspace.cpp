// Applications are grouped from the managed clients by pid. Activating one activates its most recent
// window (the active one, else its frontmost window, restoring a minimised one when nothing else is
// left); launching runs its desktop entry's command as a launcher would.
#include "platform/x11/X11Workspace.h"

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "platform/x11/IconTheme.h"
#include "platform/x11/NetWMIcon.h"
#include "platform/x11/X11ClientSnapshot.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ProcessInfo.h"
#include "platform/x11/X11Query.h"
#include "platform/x11/X11VirtualDesktops.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <variant>

namespace korvane::x11 {

using platform::ActivationPolicy;
using platform::RunningApplication;

namespace {

bool alive(pid_t pid) {
    return X11ProcessInfo::isRunning(pid);
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

constexpr std::uint32_t kSourcePager = 2;

// Icons are drawn at 128 pixels; a larger picture scales down better than a smaller one scales up.
constexpr int kIconPixels = 128;

std::optional<platform::IconImage> iconFile(const std::string& iconName) {
    auto path = IconTheme::find(iconName, DesktopEntries::dataFolders());
    if (!path) return std::nullopt;
    platform::IconImage image;
    image.path = *path;
    return image;
}

} // namespace

struct X11Workspace::Snapshot {
    bool ok = false;
    std::vector<RunningApplication> apps;
    // The window each application would bring forward, when it has one.
    std::map<pid_t, xcb_window_t> preferred;
    xcb_window_t active = XCB_WINDOW_NONE;
};

X11Workspace::X11Workspace(X11Connection& connection, X11ClientSnapshot& clients, platform::RunLoop& loop,
                           platform::NotificationCenter& notifications)
    : connection_(connection), clients_(clients), loop_(loop), notifications_(notifications),
      fileManager_([this](const std::string& url) { return openURL(url); }) {
    for (const auto& app : snapshot().apps) {
        if (app.pid != ::getpid()) announced_[app.pid] = app;
        if (app.isActive) lastActivePid_ = app.pid;
    }
}

DesktopEntries& X11Workspace::entries(bool rescan) {
    // The caller holds mutex_.
    if (!entries_ || rescan) entries_ = DesktopEntries::scan(DesktopEntries::dataFolders());
    return *entries_;
}

X11Workspace::Snapshot X11Workspace::snapshot(std::optional<pid_t> only) {
    Snapshot snap;
    // Applications missing from a list cut short would be announced as terminated: the read gives none.
    const auto read = clients_.read();
    if (!read) return snap;
    const DesktopState& state = read->state;
    const std::vector<ClientWindow>& clients = read->clients;
    snap.ok = true;
    snap.active = state.active;

    // Applications in the order their first window was mapped.
    std::vector<pid_t> order;
    std::set<pid_t> seen;
    // One application's record is made from its own windows alone.
    for (auto w : state.clients)
        if (const ClientWindow* c = read->find(w);
            c && c->exists && c->pid > 0 && (!only || c->pid == *only) && seen.insert(c->pid).second)
            order.push_back(c->pid);

    std::lock_guard lock(mutex_);
    for (auto it = launched_.begin(); it != launched_.end();) {
        // The others' windows were left out: whether they show one is not known here.
        if (only && it->first != *only) {
            ++it;
            continue;
        }
        // A launched process counts on its own only until its first window shows; from then on its
        // windows decide, as for every other application (its exit may trail its last window).
        const bool hasWindow = std::find(order.begin(), order.end(), it->first) != order.end();
        if (hasWindow) {
            it->second.shownWindow = true;
        } else if (it->second.shownWindow || !alive(it->first)) {
            it = launched_.erase(it);
            continue;
        } else {
            order.push_back(it->first);
        }
        ++it;
    }
    // Each application's windows, front to back: one pass, not one per application.
    std::map<pid_t, std::vector<const ClientWindow*>> windowsOf;
    for (const auto& c : clients)
        if (c.exists && (!only || c.pid == *only)) windowsOf[c.pid].push_back(&c);
    static const std::vector<const ClientWindow*> none;
    for (pid_t pid : order) {
        RunningApplication app;
        app.pid = pid;
        const ClientWindow* first = nullptr;
        bool normal = false, allMinimized = true, any = false;
        std::optional<xcb_window_t> topmost, topmostMinimized;
        const auto found = windowsOf.find(pid);
        for (const ClientWindow* window : found == windowsOf.end() ? none : found->second) {
            const ClientWindow& c = *window;
            any = true;
            if (!first) first = &c;
            if (c.kind == WindowKind::normal || c.kind == WindowKind::dialog) normal = true;
            if (!c.minimized()) {
                allMinimized = false;
                if (!topmost) topmost = c.window;
            } else if (!topmostMinimized) {
                topmostMinimized = c.window;
            }
            if (c.window == state.active) app.isActive = true;
        }
        std::optional<DesktopEntry> entry;
        if (auto l = launched_.find(pid); l != launched_.end()) entry = entries().byID(l->second.bundleID);
        if (!entry && first) entry = entries().forWindowClass(first->instanceName, first->className);
        if (pid == ::getpid())
            app.bundleID = kOwnBundleID;
        else if (auto l = launched_.find(pid); l != launched_.end())
            app.bundleID = l->second.bundleID;
        else if (entry)
            app.bundleID = entry->id;
        else if (first && !first->instanceName.empty())
            app.bundleID = first->instanceName;
        if (entry && !entry->name.empty())
            app.name = entry->name;
        else if (first && !first->className.empty())
            app.name = first->className;
        // A process launched from a desktop entry is an application before its first window shows.
        app.activationPolicy = (normal || !any) ? ActivationPolicy::regular : ActivationPolicy::accessory;
        app.isHidden = any && allMinimized;
        if (app.isActive)
            snap.preferred[pid] = state.active;
        else if (const auto asked = clients_.broughtForward(*read, pid))
            snap.preferred[pid] = *asked;
        else if (topmost)
            snap.preferred[pid] = *topmost;
        else if (topmostMinimized)
            snap.preferred[pid] = *topmostMinimized;
        snap.apps.push_back(std::move(app));
    }
    return snap;
}

std::vector<RunningApplication> X11Workspace::runningApplications() {
    return snapshot().apps;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    for (auto& app : snapshot().apps)
        if (app.isActive) return app;
    return std::nullopt;
}

std::optional<RunningApplication> X11Workspace::runningApplication(pid_t pid) {
    for (auto& app : snapshot(pid).apps)
        if (app.pid == pid) return app;
    return std::nullopt;
}

bool X11Workspace::activate(pid_t pid, unsigned) {
    const Snapshot snap = snapshot(pid);
    auto it = snap.preferred.find(pid);
    if (it == snap.preferred.end()) return false;
    if (it->second == snap.active) return true;
    // Its desktop first, as a pager does: asked to activate a window on a desktop not shown, a window
    // manager only marks it as wanting attention.
    if (const auto desktop = hiddenDesktopOf(connection_, it->second)) showDesktop(connection_, *desktop);
    connection_.sendRootMessage(it->second, connection_.ewmh()._NET_ACTIVE_WINDOW, kSourcePager,
                                XCB_CURRENT_TIME, snap.active);
    return true;
}

bool X11Workspace::unhide(pid_t pid) {
    return activate(pid, 0);
}

std::optional<DesktopEntry> X11Workspace::entryFor(const std::string& bundleID) {
    std::lock_guard lock(mutex_);
    auto entry = entries().byID(bundleID);
    // An application installed since the last reading.
    if (!entry) entry = entries(true).byID(bundleID);
    return entry;
}

std::optional<std::string> X11Workspace::urlForApplication(const std::string& bundleID) {
    auto entry = entryFor(bundleID);
    if (!entry) return std::nullopt;
    return entry->path;
}

std::vector<platform::InstalledApplication> X11Workspace::installedApplications() {
    std::vector<platform::InstalledApplication> apps;
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries(true).entries())
        apps.push_back({entry.id, entry.name, entry.path});
    return apps;
}

std::optional<platform::IconImage> X11Workspace::iconForRunningApplication(pid_t pid) {
    const auto read = clients_.read();
    if (!read) return std::nullopt;
    const std::vector<ClientWindow>& clients = read->clients;
    const ClientWindow* first = nullptr;
    for (const auto& c : clients) {
        if (!c.exists || c.pid != pid) continue;
        if (!first) first = &c;
        const auto value =
            connection_.readProperty(c.window, connection_.ewmh()._NET_WM_ICON, XCB_ATOM_CARDINAL);
        if (value && value->format == 32)
            if (auto image = pickNetWMIcon(value->words(), kIconPixels)) return image;
    }
    std::optional<DesktopEntry> entry;
    {
        std::lock_guard lock(mutex_);
        if (auto l = launched_.find(pid); l != launched_.end()) entry = entries().byID(l->second.bundleID);
        if (!entry && first) entry = entries().forWindowClass(first->instanceName, first->className);
    }
    if (!entry) return std::nullopt;
    return iconFile(entry->icon);
}

std::optional<platform::IconImage> X11Workspace::iconForFile(const std::string& path) {
    const bool isEntry = path.size() > 8 && path.compare(path.size() - 8, 8, ".desktop") == 0;
    if (!isEntry) return iconFile(path);
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    const auto entry = DesktopEntries::parse(text.str(), "", path);
    if (!entry) return std::nullopt;
    return iconFile(entry->icon);
}

std::optional<platform::IconImage> X11Workspace::genericApplicationIcon() {
    return iconFile("application-x-executable");
}

std::optional<pid_t> X11Workspace::spawn(const std::vector<std::string>& command) {
    if (command.empty()) return std::nullopt;
    QProcess process;
    process.setProgram(QString::fromStdString(command.front()));
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i)
        arguments << QString::fromStdString(command[i]);
    process.setArguments(arguments);
    // Started processes show on this desktop's server, whatever DISPLAY the program itself was given.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!connection_.displayName().empty())
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(connection_.displayName()));
    process.setProcessEnvironment(environment);
    // What a started program reads or writes is its own business: it neither waits on this program's
    // input nor writes into its log.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid) || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

std::variant<RunningApplication, std::string> X11Workspace::launch(const std::string& bundleID) {
    const auto entry = entryFor(bundleID);
    if (!entry) return "no desktop entry with the id \"" + bundleID + "\"";
    const auto command = DesktopEntries::launchCommand(*entry);
    if (!command) return "the command of " + entry->path + " cannot be read";
    const auto pid = spawn(*command);
    if (!pid) {
        x11Log().error("Failed to launch %{public}s (%{public}s)", bundleID, command->front());
        return "cannot start \"" + command->front() + "\"";
    }
    {
        std::lock_guard lock(mutex_);
        launched_[*pid] = Launched{bundleID};
    }
    RunningApplication app;
    app.pid = *pid;
    app.bundleID = bundleID;
    if (!entry->name.empty()) app.name = entry->name;
    return app;
}

bool X11Workspace::openApplication(const std::string& bundleID, bool activates, bool newInstance,
                                   std::function<void(platform::OpenApplicationResult)> completion) {
    auto finish = [this, completion = std::move(completion)](platform::OpenApplicationResult result) {
        const bool started = !result.error;
        loop_.post([this, completion, result] {
            announceChanges();
            if (completion) completion(result);
        });
        return started;
    };
    if (!newInstance)
        for (auto& app : runningApplications()) {
            if (app.bundleID != bundleID) continue;
            if (activates) activate(app.pid, 0);
            return finish({app, std::nullopt});
        }
    const auto launched = launch(bundleID);
    if (const auto* error = std::get_if<std::string>(&launched)) return finish({std::nullopt, *error});
    return finish({std::get<RunningApplication>(launched), std::nullopt});
}

bool X11Workspace::openURL(const std::string& url) {
    if (url.empty()) return false;
    return spawn({"xdg-open", url}).has_value();
}

void X11Workspace::revealFile(const std::string& path,
                              std::function<void(const std::string& reason)> failed) {
    fileManager_.showItem(path, std::move(failed));
}

std::optional<std::string> X11Workspace::parseActivationScript(const std::string& source) {
    std::vector<std::string> lines;
    std::stringstream ss(source);
    for (std::string line; std::getline(ss, line);)
        lines.push_back(trimmed(line));
    if (lines.size() != 3) return std::nullopt;
    static const std::string prefix = "tell application id \"";
    const std::string& tell = lines[0];
    if (tell.size() <= prefix.size() + 1 || tell.compare(0, prefix.size(), prefix) != 0 || tell.back() != '"')
        return std::nullopt;
    const std::string id = tell.substr(prefix.size(), tell.size() - prefix.size() - 1);
    if (id.empty() || id.find('"') != std::string::npos) return std::nullopt;
    if (lines[1] != "activate" || lines[2] != "end tell") return std::nullopt;
    return id;
}

platform::ScriptResult X11Workspace::runScript(const std::string& source) {
    auto bundleID = parseActivationScript(source);
    if (!bundleID) return {false, -2741, "only the activation script is understood"};
    for (const auto& app : runningApplications())
        if (app.bundleID == *bundleID) {
            if (activate(app.pid, 0)) return {true, 0, ""};
            return {false, -1728, "the application has no window to activate"};
        }
    // Activating an application that does not run launches it.
    const auto launched = launch(*bundleID);
    if (const auto* error = std::get_if<std::string>(&launched)) return {false, -1728, *error};
    loop_.post([this] { announceChanges(); });
    return {true, 0, ""};
}

nlohmann::json X11Workspace::userInfo(const RunningApplication& app) const {
    return platform::applicationUserInfo(app);
}

void X11Workspace::announceChanges() {
    const Snapshot snap = snapshot();
    if (!snap.ok) return;
    std::map<pid_t, RunningApplication> now;
    // This program runs as long as it announces anything: its own panels coming and going are no
    // application launching and quitting, and its observers would only take them for windows to place.
    for (const auto& app : snap.apps)
        if (app.pid != ::getpid()) now[app.pid] = app;
    for (const auto& [pid, app] : announced_)
        if (!now.count(pid)) notifications_.post(platform::kDidTerminateApplication, userInfo(app));
    for (const auto& app : snap.apps)
        if (now.count(app.pid) && !announced_.count(app.pid))
            notifications_.post(platform::kDidLaunchApplication, userInfo(app));
    announced_ = std::move(now);
}

void X11Workspace::clientsChanged() {
    // Announced from the main queue, after the event that caused it has been handled everywhere.
    loop_.post([this] { announceChanges(); });
}

void X11Workspace::activeChanged(const std::optional<TrackedWindow>& current) {
    if (!current || current->pid <= 0 || current->pid == lastActivePid_) return;
    lastActivePid_ = current->pid;
    // This program taking the keyboard for a panel is no application for its own trackers to follow;
    // the application that gets it back is announced again.
    if (current->pid == ::getpid()) return;
    const pid_t pid = current->pid;
    loop_.post([this, pid] {
        RunningApplication app;
        app.pid = pid;
        if (auto known = runningApplication(pid)) app = *known;
        notifications_.post(platform::kDidActivateApplication, userInfo(app));
    });
}

} // namespace korvane::x11
