// The auxiliary window test: builds the classifier's candidates for an application's windows on one
// display and asks it about one of them.
#include "core/AuxiliaryWindow.h"

#include "core/AXUtil.h"
#include "core/WMState.h"
#include "core/WindowClassifier.h"
#include "platform/Platform.h"

#include <vector>

namespace korvane {

namespace {

using Candidate = WindowClassifier::Candidate;

// Left out of the group, and never the answer's subject: windows the user cannot see or that have no
// usable size.
bool takesPart(const Candidate& c) {
    if (c.isHidden.value_or(false) || c.isMinimized.value_or(false)) return false;
    if (!c.axFrame) return false;
    return !(c.axFrame->width() <= 2.0 || c.axFrame->height() <= 2.0);
}

Candidate candidateFor(AXUtil& ax, WindowID wid, pid_t pid, const std::optional<std::string>& bundleID,
                       const platform::AXElement& element, std::optional<Rect> storedFrame) {
    auto& accessibility = ax.platform().accessibility();
    Candidate c;
    c.windowID = wid;
    c.pid = pid;
    c.bundleID = bundleID;
    c.title = ax.stringAttribute("AXTitle", element).value_or("");
    c.cgName = c.title;
    c.axFrame = ax.frame(element);
    if (!c.axFrame) c.axFrame = storedFrame;
    c.subrole = ax.stringAttribute("AXSubrole", element);
    c.isMain = axNumberAttribute(accessibility, element, "AXMain");
    c.isHidden = axNumberAttribute(accessibility, element, "AXHidden");
    c.isMinimized = axNumberAttribute(accessibility, element, "AXMinimized");
    return c;
}

} // namespace

bool isAuxiliaryWindow(AXUtil& ax, WindowID wid, const platform::AXElement& element, pid_t pid,
                       const WMState& state) {
    if (pid == 0) return false;
    std::optional<std::string> bundleID;
    if (auto app = ax.platform().workspace().runningApplication(pid)) bundleID = app->bundleID;

    std::vector<Candidate> group;
    std::optional<std::size_t> target;
    for (const auto& [id, ref] : state.wins) {
        if (ref.pid != pid) continue;
        Candidate c = candidateFor(ax, id, pid, bundleID, id == wid ? element : ref.ax, ref.lastFrame);
        if (!takesPart(c)) continue;
        if (id == wid) target = group.size();
        group.push_back(std::move(c));
    }
    if (!target) {
        // Not managed yet, or left out: judge it on what its element says now, without a stored frame.
        Candidate c = candidateFor(ax, wid, pid, bundleID, element, std::nullopt);
        if (!takesPart(c)) return false;
        target = group.size();
        group.push_back(std::move(c));
    }

    const auto contexts = WindowClassifier::groupContexts(group);
    auto context = contexts.find(WindowClassifier::groupKey(group[*target]));
    if (context == contexts.end()) return false;
    return WindowClassifier::shouldIgnore(group[*target], context->second);
}

} // namespace korvane
