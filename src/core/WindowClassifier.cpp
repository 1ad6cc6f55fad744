// The decoy tests of the window classifier.
#include "core/WindowClassifier.h"

#include "platform/TextCase.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace korvane {

namespace {

// Absent, empty and "AXUnknown" say nothing about the window; any other subrole marks a real one.
bool hasMeaningfulSubrole(const WindowClassifier::Candidate& c) {
    if (!c.subrole) return false;
    auto s = trimmedView(*c.subrole);
    return !s.empty() && s != "AXUnknown";
}

bool isTitled(const WindowClassifier::Candidate& c) {
    return !trimmedView(c.title).empty() || !trimmedView(c.cgName).empty();
}

// The window list's bounds win over the accessibility frame when both are known.
std::optional<Rect> frameOf(const WindowClassifier::Candidate& c) {
    if (c.cgBounds) return c.cgBounds;
    return c.axFrame;
}

double shortSide(const Rect& r) {
    return std::min(r.width(), r.height());
}
double longSide(const Rect& r) {
    return std::max(r.width(), r.height());
}

constexpr std::array<std::string_view, 12> kChromiumBundles = {
    "com.google.chrome",         "com.google.chrome.canary",   "com.brave.browser",
    "com.brave.browser.nightly", "org.chromium.chromium",      "com.microsoft.edgemac",
    "com.microsoft.edgemac.dev", "com.vivaldi.vivaldi",        "com.operasoftware.opera",
    "com.nickvision.nickel",     "company.thebrowser.browser", "company.thebrowser.dia",
};

// The same family on X11, one per release channel: a browser of this engine takes its WM_CLASS instance
// from the desktop entry its launcher names, so the entry's id and the instance agree.
constexpr std::array<std::string_view, 11> kChromiumDesktopEntries = {
    "google-chrome",      "chromium",       "brave-browser",    "microsoft-edge", "microsoft-edge-beta",
    "microsoft-edge-dev", "vivaldi-stable", "vivaldi-snapshot", "opera",          "opera-beta",
    "opera-developer",
};

constexpr std::array<std::string_view, 4> kChromiumMarkers = {"chrome", "chromium", "brave", "thebrowser"};

} // namespace

bool WindowClassifier::isChromiumFamilyBrowser(const std::optional<std::string>& bundleID) {
    if (!bundleID) return false;
    const std::string id = asciiLowercased(trimmedView(*bundleID));
    if (id.empty()) return false;
    if (std::find(kChromiumBundles.begin(), kChromiumBundles.end(), id) != kChromiumBundles.end())
        return true;
    if (std::find(kChromiumDesktopEntries.begin(), kChromiumDesktopEntries.end(), id) !=
        kChromiumDesktopEntries.end())
        return true;
    return std::any_of(kChromiumMarkers.begin(), kChromiumMarkers.end(),
                       [&](std::string_view marker) { return id.find(marker) != std::string::npos; });
}

bool WindowClassifier::isVisible(const Candidate& c) {
    if (c.alpha && *c.alpha <= 0.01) return false;
    if (c.isHidden.value_or(false)) return false;
    if (c.isMinimized.value_or(false)) return false;
    auto frame = frameOf(c);
    if (!frame) return false;
    return !(frame->width() <= 2.0 || frame->height() <= 2.0);
}

bool WindowClassifier::isBrowserGhostStrip(const Candidate& c) {
    if (!isChromiumFamilyBrowser(c.bundleID)) return false;
    if (hasMeaningfulSubrole(c)) return false;
    if (c.isMain.value_or(false)) return false;
    if (isTitled(c)) return false;
    auto frame = frameOf(c);
    if (!frame) return false;
    const double shortS = shortSide(*frame);
    const double longS = longSide(*frame);
    // Written as negations so that a frame with undefined sides is never taken for a strip.
    if (!(shortS > 0) || !(shortS < 260) || !(longS > 320)) return false;
    return longS / std::max(shortS, 1.0) >= 2.2;
}

std::string WindowClassifier::groupKey(const Candidate& c) {
    if (c.bundleID && !c.bundleID->empty()) return "bundle:" + *c.bundleID;
    return "pid:" + std::to_string(c.pid);
}

std::map<std::string, WindowClassifier::GroupContext>
WindowClassifier::groupContexts(const std::vector<Candidate>& candidates) {
    std::map<std::string, std::vector<const Candidate*>> groups;
    for (const auto& c : candidates)
        groups[groupKey(c)].push_back(&c);

    std::map<std::string, GroupContext> result;
    for (const auto& [key, members] : groups) {
        GroupContext context;
        for (const Candidate* c : members) {
            if (auto frame = frameOf(*c)) {
                const double area = frame->width() * frame->height();
                if (area >= 0 && area > context.maxArea) context.maxArea = area;
            }
        }
        context.hasMain = std::any_of(members.begin(), members.end(), [&](const Candidate* c) {
            if (c->subrole && *c->subrole == "AXStandardWindow") return true;
            if (c->isMain.value_or(false)) return true;
            auto frame = frameOf(*c);
            return frame && context.maxArea > 0 && frame->width() * frame->height() >= 0.6 * context.maxArea;
        });
        result.emplace(key, context);
    }
    return result;
}

bool WindowClassifier::shouldIgnore(const Candidate& c, const GroupContext& context) {
    if (!context.hasMain) return isBrowserGhostStrip(c);
    if (hasMeaningfulSubrole(c) || isTitled(c) || c.isMain.value_or(false)) return false;
    auto frame = frameOf(c);
    if (!frame) return false;
    const double shortS = shortSide(*frame);
    if (!(shortS > 0)) return false;
    const double area = std::max(frame->width() * frame->height(), 0.0);
    return shortS < 260 && context.maxArea > 0 && area <= 0.15 * context.maxArea;
}

} // namespace korvane
