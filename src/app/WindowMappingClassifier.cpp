// Gathering the facts of each application's windows and asking the window classifier about them.
#include "app/WindowMappingClassifier.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/ScreenSpace.h"
#include "core/WindowClassifier.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"
#include "tracking/WindowTracker.h"

#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane {

namespace {

namespace WK = platform::WindowKey;
using Candidate = WindowClassifier::Candidate;

// What the window list says of one application window; bounds in bottom-left coordinates.
struct ListedWindow {
    std::optional<Rect> bounds;
    std::optional<std::string> name;
    std::optional<double> alpha;
};

struct TrackedWindow {
    WindowID wid = 0;
    platform::AXElement element;
    std::optional<Rect> frame;
};

struct Process {
    std::string group; // the bundle identifier, else "pid:" and the process id
    std::vector<TrackedWindow> tracked;
};

std::optional<double> alphaOf(const platform::WindowInfo& entry) {
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(WK::alpha);
    if (it == entry.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

// The largest processes seen in practice; the per-process maps are made this large up front.
constexpr std::size_t kExpectedProcesses = 32;

} // namespace

WindowMappingClassifier::WindowMappingClassifier(platform::Platform& platform, std::shared_ptr<AXUtil> ax,
                                                 std::shared_ptr<const WindowTracker> tracker)
    : platform_(platform), ax_(std::move(ax)), tracker_(std::move(tracker)) {}

std::set<WindowID>
WindowMappingClassifier::classifyWindowForMapping(const std::optional<std::string>& displayUUID) {
    auto& screens = platform_.screens();
    auto& accessibility = platform_.accessibility();
    const double flipHeight = primaryScreenHeight(screens).value_or(0);
    auto onDisplay = [&](const Rect& frame) {
        return !displayUUID || DisplayUtil::displayUUID(screens, frame) == *displayUUID;
    };

    // The window list, once: the facts of each application window and each process's windows in order.
    std::unordered_map<WindowID, ListedWindow> listed;
    std::unordered_map<pid_t, std::vector<WindowID>> listedByProcess;
    listedByProcess.reserve(kExpectedProcesses);
    const auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (list) {
        listed.reserve(list->size());
        for (const auto& entry : *list) {
            if (windowinfo::integerValue(entry, WK::layer) != 0) continue;
            const auto wid = windowinfo::windowNumber(entry);
            const auto pid = windowinfo::ownerPID(entry);
            if (!wid || !pid) continue;
            listedByProcess[*pid].push_back(*wid);
            ListedWindow& facts = listed[*wid];
            if (auto bounds = windowinfo::bounds(entry)) facts.bounds = flipRect(*bounds, flipHeight);
            facts.name = windowinfo::stringValue(entry, WK::name);
            facts.alpha = alphaOf(entry);
        }
    }
    auto listedFacts = [&](WindowID wid) -> const ListedWindow* {
        auto it = listed.find(wid);
        return it == listed.end() ? nullptr : &it->second;
    };

    // The tracked windows that take part, by process.
    std::map<pid_t, Process> processes;
    for (const auto& [wid, element] : tracker_->managed()) {
        pid_t pid = 0;
        if (accessibility.pidOf(element, pid) != platform::AXError::success || pid == 0) continue;
        std::optional<Rect> frame = ax_->frame(element);
        if (!frame)
            if (const auto* facts = listedFacts(wid)) frame = facts->bounds;
        if (frame && !onDisplay(*frame)) continue;
        auto [process, added] = processes.try_emplace(pid);
        if (added) {
            const auto app = platform_.workspace().runningApplication(pid);
            process->second.group = app && app->bundleID && !app->bundleID->empty()
                                        ? *app->bundleID
                                        : "pid:" + std::to_string(pid);
        }
        process->second.tracked.push_back(TrackedWindow{wid, element, frame});
    }

    std::set<WindowID> ignored;
    for (const auto& [pid, process] : processes) {
        std::unordered_set<WindowID> tracked;
        std::unordered_set<WindowID> visible;
        std::vector<Candidate> candidates;
        for (const auto& window : process.tracked) {
            tracked.insert(window.wid);
            const ListedWindow* facts = listedFacts(window.wid);
            Candidate c;
            c.windowID = window.wid;
            c.pid = pid;
            c.bundleID = process.group;
            c.title = ax_->stringAttribute("AXTitle", window.element).value_or("");
            c.cgName = facts && facts->name ? *facts->name : c.title;
            if (facts) {
                c.cgBounds = facts->bounds;
                c.alpha = facts->alpha;
            }
            c.axFrame = window.frame;
            c.subrole = ax_->stringAttribute("AXSubrole", window.element);
            c.isMain = axNumberAttribute(accessibility, window.element, "AXMain");
            c.isHidden = axNumberAttribute(accessibility, window.element, "AXHidden");
            c.isMinimized = axNumberAttribute(accessibility, window.element, "AXMinimized");
            if (!WindowClassifier::isVisible(c)) continue;
            visible.insert(window.wid);
            candidates.push_back(std::move(c));
        }

        // The process's other listed windows only shape the group: its largest window, its main one.
        if (auto others = listedByProcess.find(pid); others != listedByProcess.end()) {
            for (WindowID wid : others->second) {
                if (visible.count(wid)) continue;
                const ListedWindow& facts = listed.at(wid);
                if (!facts.bounds || !onDisplay(*facts.bounds)) continue;
                if (facts.alpha && *facts.alpha <= 0.01) continue;
                if (!(facts.bounds->width() > 2 && facts.bounds->height() > 2)) continue;
                Candidate c;
                c.windowID = wid;
                c.pid = pid;
                c.bundleID = process.group;
                c.title = facts.name.value_or("");
                c.cgName = c.title;
                c.cgBounds = facts.bounds;
                c.alpha = facts.alpha;
                candidates.push_back(std::move(c));
            }
        }

        auto isTracked = [&](const Candidate& c) { return c.windowID && tracked.count(*c.windowID); };
        if (candidates.size() == 1) {
            if (isTracked(candidates.front()) && WindowClassifier::isBrowserGhostStrip(candidates.front()))
                ignored.insert(*candidates.front().windowID);
            continue;
        }
        if (candidates.empty()) continue;
        const auto contexts = WindowClassifier::groupContexts(candidates);
        for (const auto& c : candidates) {
            if (!isTracked(c)) continue;
            auto context = contexts.find(WindowClassifier::groupKey(c));
            if (context != contexts.end() && WindowClassifier::shouldIgnore(c, context->second))
                ignored.insert(*c.windowID);
        }
    }
    return ignored;
}

} // namespace korvane
