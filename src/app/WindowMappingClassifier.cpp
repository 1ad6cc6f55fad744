// Gathering the facts of each application's windows and asking the window classifier about them, for every
// tracked window of a display or for one window about to be placed.
#include "app/WindowMappingClassifier.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/ScreenSpace.h"
#include "core/WindowClassifier.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"
#include "tracking/WindowTracker.h"

#include <algorithm>
#include <functional>
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

// The window list, read once: the facts of each application window on layer 0 and each process's
// windows in list order. A missing list leaves both empty.
struct WindowListFacts {
    std::unordered_map<WindowID, ListedWindow> listed;
    std::unordered_map<pid_t, std::vector<WindowID>> byProcess;

    const ListedWindow* find(WindowID wid) const {
        auto it = listed.find(wid);
        return it == listed.end() ? nullptr : &it->second;
    }
};

WindowListFacts readWindowList(platform::Platform& platform) {
    WindowListFacts facts;
    facts.byProcess.reserve(kExpectedProcesses);
    const auto list =
        platform.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (!list) return facts;
    // Window-list bounds share the primary screen's top edge with accessibility positions; only without a
    // main screen is the highest top edge the best guess.
    auto& screens = platform.screens();
    const double flipHeight = korvane::flipHeight(screens).value_or(0);
    facts.listed.reserve(list->size());
    for (const auto& entry : *list) {
        if (windowinfo::integerValue(entry, WK::layer) != 0) continue;
        const auto wid = windowinfo::windowNumber(entry);
        const auto pid = windowinfo::ownerPID(entry);
        if (!wid || !pid) continue;
        facts.byProcess[*pid].push_back(*wid);
        ListedWindow& window = facts.listed[*wid];
        if (auto bounds = windowinfo::bounds(entry)) window.bounds = flipRect(*bounds, flipHeight);
        window.name = windowinfo::stringValue(entry, WK::name);
        window.alpha = alphaOf(entry);
    }
    return facts;
}

// A window as accessibility describes it, with what the window list adds when it lists the window.
Candidate accessibilityCandidate(AXUtil& ax, platform::Accessibility& accessibility,
                                 std::optional<WindowID> wid, pid_t pid, const std::string& group,
                                 const platform::AXElement& element, const std::optional<Rect>& frame,
                                 const ListedWindow* facts) {
    Candidate c;
    c.windowID = wid;
    c.pid = pid;
    c.bundleID = group;
    c.title = ax.stringAttribute("AXTitle", element).value_or("");
    c.cgName = facts && facts->name ? *facts->name : c.title;
    if (facts) {
        c.cgBounds = facts->bounds;
        c.alpha = facts->alpha;
    }
    c.axFrame = frame;
    c.subrole = ax.stringAttribute("AXSubrole", element);
    c.isMain = axNumberAttribute(accessibility, element, "AXMain");
    c.isHidden = axNumberAttribute(accessibility, element, "AXHidden");
    c.isMinimized = axNumberAttribute(accessibility, element, "AXMinimized");
    return c;
}

// A listed window of the process that shapes the group (its largest window, its main one), when it is
// on the display, visible and more than 2 points each way; its name stands for its title.
std::optional<Candidate> siblingCandidate(WindowID wid, pid_t pid, const std::string& group,
                                          const ListedWindow& facts,
                                          const std::function<bool(const Rect&)>& onDisplay) {
    if (!facts.bounds || !onDisplay(*facts.bounds)) return std::nullopt;
    if (facts.alpha && *facts.alpha <= 0.01) return std::nullopt;
    if (!(facts.bounds->width() > 2 && facts.bounds->height() > 2)) return std::nullopt;
    Candidate c;
    c.windowID = wid;
    c.pid = pid;
    c.bundleID = group;
    c.title = facts.name.value_or("");
    c.cgName = c.title;
    c.cgBounds = facts.bounds;
    c.alpha = facts.alpha;
    return c;
}

} // namespace

WindowMappingClassifier::WindowMappingClassifier(platform::Platform& platform, std::shared_ptr<AXUtil> ax,
                                                 std::shared_ptr<const WindowTracker> tracker)
    : platform_(platform), ax_(std::move(ax)), tracker_(std::move(tracker)) {}

std::set<WindowID>
WindowMappingClassifier::classifyWindowForMapping(const std::optional<std::string>& displayUUID) {
    auto& screens = platform_.screens();
    auto& accessibility = platform_.accessibility();
    const std::function<bool(const Rect&)> onDisplay = [&](const Rect& frame) {
        return !displayUUID || DisplayUtil::displayUUID(screens, frame) == *displayUUID;
    };
    const WindowListFacts list = readWindowList(platform_);

    // The tracked windows that take part, by process.
    std::map<pid_t, Process> processes;
    for (const auto& [wid, element] : tracker_->managed()) {
        pid_t pid = 0;
        if (accessibility.pidOf(element, pid) != platform::AXError::success || pid == 0) continue;
        std::optional<Rect> frame = ax_->frame(element);
        if (!frame)
            if (const auto* facts = list.find(wid)) frame = facts->bounds;
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
            Candidate c = accessibilityCandidate(*ax_, accessibility, window.wid, pid, process.group,
                                                 window.element, window.frame, list.find(window.wid));
            if (!WindowClassifier::isVisible(c)) continue;
            visible.insert(window.wid);
            candidates.push_back(std::move(c));
        }

        // The process's other listed windows only shape the group: its largest window, its main one.
        if (auto others = list.byProcess.find(pid); others != list.byProcess.end()) {
            for (WindowID wid : others->second) {
                if (visible.count(wid)) continue;
                if (auto c = siblingCandidate(wid, pid, process.group, list.listed.at(wid), onDisplay))
                    candidates.push_back(std::move(*c));
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

bool WindowMappingClassifier::isAuxiliaryWindow(const platform::AXElement& element, pid_t pid,
                                                const std::string& bundleID,
                                                const std::optional<std::string>& displayUUID) {
    if (pid == 0 || bundleID == "-") return false;
    auto& screens = platform_.screens();
    const std::optional<WindowID> wid = ax_->windowID(element);
    const std::optional<Rect> frame = ax_->frame(element);
    // Judged among the windows of another display, it would be compared with a group it is not part of.
    if (displayUUID && frame && DisplayUtil::displayUUID(screens, *frame) != *displayUUID) return false;
    const std::function<bool(const Rect&)> onDisplay = [&](const Rect& rect) {
        return !displayUUID || DisplayUtil::displayUUID(screens, rect) == *displayUUID;
    };

    const WindowListFacts list = readWindowList(platform_);
    std::vector<Candidate> candidates;
    if (auto listed = list.byProcess.find(pid); listed != list.byProcess.end()) {
        for (WindowID sibling : listed->second) {
            if (auto c = siblingCandidate(sibling, pid, bundleID, list.listed.at(sibling), onDisplay))
                candidates.push_back(std::move(*c));
        }
    }
    const Candidate own = accessibilityCandidate(*ax_, platform_.accessibility(), wid, pid, bundleID, element,
                                                 frame, wid ? list.find(*wid) : nullptr);
    if (WindowClassifier::isVisible(own)) candidates.push_back(own);

    if (candidates.empty()) return false;
    if (candidates.size() == 1) return WindowClassifier::isBrowserGhostStrip(own);
    const auto contexts = WindowClassifier::groupContexts(candidates);
    auto context = contexts.find(WindowClassifier::groupKey(own));
    return context != contexts.end() && WindowClassifier::shouldIgnore(own, context->second);
}

} // namespace korvane
