// The switcher's window pipeline. One pass over the list with hash look-ups: it runs on the main thread
// every time the switcher opens cold, so its cost must stay linear in the windows.
#include "ui/switchers/CGPipeline.h"

#include "core/Log.h"
#include "core/Rescuer.h"
#include "core/ScreenSpace.h"
#include "core/WindowClassifier.h"
#include "core/WindowInfoFields.h"
#include "platform/TextTrim.h"
#include "ui/switchers/SwitcherText.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

namespace korvane::CGPipeline {

namespace {

namespace WK = platform::WindowKey;

// A window that passed the per-window filters.
struct Candidate {
    WindowID windowID = 0;
    pid_t pid = 0;
    std::string appName;
    std::string windowTitle;
    std::string bundleID;
    std::optional<Rect> bounds;
    std::optional<int> zoneID;
};

struct GroupContext {
    double maxArea = 0;
    bool hasPrimaryWindow = false;
};

// Identical windows (same owner, title and frame on a 4-point grid) share a signature.
struct StableSig {
    pid_t pid = 0;
    std::string bundleID;
    std::string title;
    long qx = 0, qy = 0, qw = 0, qh = 0;
    friend bool operator==(const StableSig&, const StableSig&) = default;
};

struct StableSigHash {
    std::size_t operator()(const StableSig& s) const noexcept {
        std::size_t h = std::hash<std::string>()(s.bundleID) ^ (std::hash<std::string>()(s.title) << 1);
        for (long v : {static_cast<long>(s.pid), s.qx, s.qy, s.qw, s.qh})
            h = h * 1000003u ^ std::hash<long>()(v);
        return h;
    }
};

// Small, untitled or strip-shaped windows are measured by their longer side over their shorter one; a
// side of a point or less leaves the longer side as the measure.
double aspectOf(double longSide, double shortSide) {
    return shortSide <= 1.0 ? longSide : longSide / shortSide;
}

bool hasMeaningfulTitle(const Candidate& c) {
    const auto title = trimmedView(c.windowTitle);
    return !title.empty() && title != trimmedView(c.appName);
}

std::string groupKey(const std::string& bundleID, pid_t pid) {
    return bundleID.empty() ? "pid:" + std::to_string(pid) : "bundle:" + bundleID;
}

std::optional<double> numberValue(const platform::WindowInfo& entry, const char* key) {
    if (!entry.is_object()) return std::nullopt;
    auto it = entry.find(key);
    if (it == entry.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

// Steps 1 to 10 of one entry: the candidate, or nothing when a filter drops it.
std::optional<Candidate> candidateOf(const platform::WindowInfo& entry, const Context& context,
                                     std::unordered_set<WindowID>& seen) {
    const auto layer = windowinfo::integerValue(entry, WK::layer);
    if (!layer || *layer != 0) return std::nullopt;
    const auto windowID = windowinfo::windowNumber(entry);
    if (!windowID || !seen.insert(*windowID).second) return std::nullopt;
    const pid_t pid = windowinfo::ownerPID(entry).value_or(0);
    if (const auto alpha = numberValue(entry, WK::alpha); alpha && !(*alpha > 0.01)) return std::nullopt;

    // A window the program parked stays out wherever the window manager let it stay.
    if (carriesParkingMark(entry)) return std::nullopt;
    const auto bounds = windowinfo::bounds(entry);
    if (bounds) {
        if (bounds->width() <= 2.0 || bounds->height() <= 2.0) return std::nullopt;
        const Rect frame = context.primaryHeight ? flipRect(*bounds, *context.primaryHeight) : *bounds;
        if (isParkedOffscreen(frame, context.screens)) return std::nullopt;
    }

    const auto app = context.appsByPID.find(pid);
    if (app == context.appsByPID.end() || !app->second.isRegularApp || app->second.isSelf)
        return std::nullopt;

    std::string title = windowinfo::stringValue(entry, WK::name).value_or("");
    std::string ownerName = app->second.localizedName
                                ? *app->second.localizedName
                                : windowinfo::stringValue(entry, WK::ownerName).value_or("");
    const auto trimmedTitle = trimmedView(title);

    if (bounds) {
        const double w = bounds->width(), h = bounds->height();
        const double area = w * h, longSide = std::max(w, h), shortSide = std::min(w, h);
        const double aspect = aspectOf(longSide, shortSide);
        if (trimmedTitle.empty()) {
            if (area < 10000) return std::nullopt;
            if (area < 80000 && aspect > 3.0) return std::nullopt;
        }
        if (WindowClassifier::isChromiumFamilyBrowser(app->second.bundleID) &&
            (trimmedTitle.empty() || trimmedTitle == trimmedView(ownerName))) {
            if (shortSide > 0 && shortSide < 260 && longSide > 320 && aspect >= 2.0) return std::nullopt;
            if (area > 0 && area < 40000) return std::nullopt;
        }
    }

    Candidate c;
    c.windowID = *windowID;
    c.pid = pid;
    c.appName = ownerName.empty() ? "Unknown" : std::move(ownerName);
    c.windowTitle = std::move(title);
    c.bundleID = app->second.bundleID;
    c.bounds = bounds;
    if (auto zone = context.zoneByWindowID.find(*windowID); zone != context.zoneByWindowID.end())
        c.zoneID = zone->second;
    return c;
}

std::string composedTitle(const Candidate& c) {
    const std::string name = trimmingWhitespaceAndNewlines(c.appName);
    const std::string title = trimmingWhitespaceAndNewlines(c.windowTitle);
    if (!name.empty() && !title.empty()) return name + "[" + title + "]";
    if (!name.empty()) return name;
    if (!title.empty()) return title;
    return "Window " + std::to_string(c.windowID);
}

std::string itemKey(const std::string& bundleID, pid_t pid) {
    return bundleID.rfind("pid:", 0) == 0 ? "pid:" + std::to_string(pid) : "bundle:" + bundleID;
}

} // namespace

std::vector<SwitcherItem> buildItems(const std::vector<platform::WindowInfo>& windowInfos,
                                     const Context& context) {
    std::vector<Candidate> candidates;
    candidates.reserve(windowInfos.size() / 3);
    std::unordered_set<WindowID> seen;
    seen.reserve(windowInfos.size());
    for (const auto& entry : windowInfos)
        if (auto c = candidateOf(entry, context, seen)) candidates.push_back(std::move(*c));

    // Grouped by application; the group decides whether a small untitled window is an auxiliary one.
    std::unordered_map<std::string, GroupContext> groups;
    std::unordered_map<std::string, std::size_t> groupSizes;
    for (const auto& c : candidates) {
        const std::string key = groupKey(c.bundleID, c.pid);
        ++groupSizes[key];
        auto& group = groups[key];
        if (c.bounds) group.maxArea = std::max(group.maxArea, c.bounds->width() * c.bounds->height());
    }
    for (const auto& c : candidates) {
        const std::string key = groupKey(c.bundleID, c.pid);
        auto& group = groups[key];
        if (group.hasPrimaryWindow || groupSizes[key] < 2) continue;
        if (hasMeaningfulTitle(c)) {
            group.hasPrimaryWindow = true;
        } else if (c.bounds) {
            const double w = c.bounds->width(), h = c.bounds->height();
            if (std::min(w, h) >= 260 && group.maxArea > 0 && w * h >= 0.6 * group.maxArea)
                group.hasPrimaryWindow = true;
        }
    }

    std::vector<SwitcherItem> items;
    items.reserve(candidates.size());
    std::unordered_set<StableSig, StableSigHash> signatures;
    long droppedAuxiliary = 0, droppedSignature = 0;
    for (auto& c : candidates) {
        if (c.bounds) {
            const auto& group = groups[groupKey(c.bundleID, c.pid)];
            const double w = c.bounds->width(), h = c.bounds->height();
            const double shortSide = std::min(w, h);
            if (group.hasPrimaryWindow && !hasMeaningfulTitle(c) && shortSide > 0 && shortSide < 260 &&
                group.maxArea > 0 && w * h <= 0.18 * group.maxArea) {
                ++droppedAuxiliary;
                continue;
            }
            StableSig sig{c.pid,
                          c.bundleID,
                          trimmingWhitespaceAndNewlines(switchertext::lowercased(c.windowTitle)),
                          std::lround(c.bounds->origin.x * 0.25),
                          std::lround(c.bounds->origin.y * 0.25),
                          std::lround(c.bounds->size.width * 0.25),
                          std::lround(c.bounds->size.height * 0.25)};
            if (!signatures.insert(std::move(sig)).second) {
                ++droppedSignature;
                continue;
            }
        }
        SwitcherItem item;
        item.title = composedTitle(c);
        item.windowID = c.windowID;
        item.pid = c.pid;
        item.appName = std::move(c.appName);
        item.windowTitle = std::move(c.windowTitle);
        item.zoneID = c.zoneID;
        item.bundleID = std::move(c.bundleID);
        item.bounds = c.bounds;
        item.stableID = "w:" + std::to_string(c.windowID);
        item.kind = SwitcherItem::Kind::window;
        items.push_back(std::move(item));
    }
    if (context.logDuplicates)
        Log::switcher.info("GS dup-debug: kept=%ld droppedAuxiliary=%ld droppedSignature=%ld",
                           static_cast<long>(items.size()), droppedAuxiliary, droppedSignature);
    return items;
}

std::vector<SwitcherItem> appendWindowlessApplications(std::vector<SwitcherItem> items,
                                                       const std::vector<RunningAppSnapshot>& apps) {
    std::unordered_set<std::string> keys;
    keys.reserve(items.size() + apps.size());
    for (const auto& item : items)
        keys.insert(itemKey(item.bundleID, item.pid));
    for (const auto& app : apps) {
        if (!app.isRegularApp || app.isSelf) continue;
        std::string bundle = trimmingWhitespaceAndNewlines(app.bundleID);
        if (bundle.empty()) bundle = "pid:" + std::to_string(app.pid);
        if (!keys.insert(itemKey(bundle, app.pid)).second) continue;
        SwitcherItem item;
        item.windowID = 0;
        item.pid = app.pid;
        std::string name = trimmingWhitespaceAndNewlines(app.localizedName.value_or(""));
        item.appName = name.empty() ? bundle : name;
        item.title = item.appName;
        item.stableID = "a:" + bundle + "#" + std::to_string(app.pid);
        item.bundleID = std::move(bundle);
        item.kind = SwitcherItem::Kind::application;
        items.push_back(std::move(item));
    }
    return items;
}

void sortItems(std::vector<SwitcherItem>& items) {
    // UTF-8 compares byte by byte in the order of its scalars.
    std::stable_sort(items.begin(), items.end(), [](const SwitcherItem& a, const SwitcherItem& b) {
        if (a.appName != b.appName) return a.appName < b.appName;
        return a.title < b.title;
    });
}

} // namespace korvane::CGPipeline
