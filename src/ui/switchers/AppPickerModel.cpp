// The picker's lists, search, highlight and choice. Matching and ordering go by Unicode lower case rather
// than bytes: application names arrive in any script and with any capitalisation.
#include "ui/switchers/AppPickerModel.h"

#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "ui/switchers/SwitcherText.h"

#include <algorithm>
#include <set>
#include <unistd.h>
#include <utility>

namespace korvane {

AppPickerModel::AppPickerModel(platform::Platform& platform, std::string selectedBundleID, bool showBundleID)
    : selectedBundleID(std::move(selectedBundleID)), showBundleID(showBundleID), platform_(platform) {}

void AppPickerModel::sortApps(std::vector<AppInfo>& apps) {
    std::vector<std::pair<std::string, AppInfo>> keyed;
    keyed.reserve(apps.size());
    for (auto& app : apps)
        keyed.emplace_back(switchertext::lowercased(app.name), std::move(app));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return a.second.bundleID < b.second.bundleID;
    });
    apps.clear();
    for (auto& [key, app] : keyed)
        apps.push_back(std::move(app));
}

bool AppPickerModel::matches(const AppInfo& app, const std::string& text) {
    if (text.empty()) return true;
    const std::string needle = switchertext::lowercased(text);
    return switchertext::lowercased(app.name).find(needle) != std::string::npos ||
           switchertext::lowercased(app.bundleID).find(needle) != std::string::npos;
}

std::vector<AppInfo> AppPickerModel::scanInstalledApps(platform::Workspace& workspace,
                                                       const std::optional<std::string>& ownBundleID) {
    std::vector<AppInfo> apps;
    std::set<std::string> taken;
    if (ownBundleID) taken.insert(*ownBundleID);
    for (const auto& installed : workspace.installedApplications()) {
        if (installed.bundleID.empty() || !taken.insert(installed.bundleID).second) continue;
        apps.push_back(
            {installed.bundleID, installed.name.empty() ? installed.bundleID : installed.name, -1});
    }
    sortApps(apps);
    return apps;
}

std::vector<AppInfo> AppPickerModel::loadRunningApps(platform::Workspace& workspace,
                                                     const std::optional<std::string>& ownBundleID) {
    std::vector<AppInfo> apps;
    std::set<std::string> taken;
    if (ownBundleID) taken.insert(*ownBundleID);
    const pid_t own = ::getpid();
    for (const auto& running : workspace.runningApplications()) {
        if (running.activationPolicy != platform::ActivationPolicy::regular || running.isTerminated) continue;
        // The program's own windows (the one that opened the picker among them) make it a regular one.
        if (running.pid == own) continue;
        if (!running.bundleID || running.bundleID->empty() || !running.name || running.name->empty())
            continue;
        // Several processes of one application (two terminals) are one choice of identifier.
        if (!taken.insert(*running.bundleID).second) continue;
        apps.push_back({*running.bundleID, *running.name, running.pid});
    }
    sortApps(apps);
    return apps;
}

void AppPickerModel::appear() {
    searchText_.clear();
    highlightedIndex_.reset();
    const auto own = platform_.processInfo().bundleIdentifier();
    runningApps_ = loadRunningApps(platform_.workspace(), own);
    installedApps_.clear();
    applyFilter();
    changed();

    const unsigned generation = ++generation_;
    platform::Platform& platform = platform_;
    platform.runLoop().dispatchGlobal(
        platform::QueueQoS::UserInitiated, [weak = weak_from_this(), &platform, generation, own] {
            // The scan touches no state of the model: only its result crosses back to the main queue.
            auto apps = scanInstalledApps(platform.workspace(), own);
            platform.runLoop().post([weak, generation, apps = std::move(apps)]() mutable {
                auto self = weak.lock();
                if (!self || self->generation_ != generation) return;
                self->installedApps_ = std::move(apps);
                self->applyFilter();
                self->changed();
            });
        });
}

void AppPickerModel::setSearchText(const std::string& text) {
    if (text == searchText_) return;
    searchText_ = text;
    highlightedIndex_.reset();
    applyFilter();
    changed();
}

void AppPickerModel::applyFilter() {
    filteredRunningApps_.clear();
    for (const auto& app : runningApps_)
        if (matches(app, searchText_)) filteredRunningApps_.push_back(app);
    std::set<std::string> running;
    for (const auto& app : runningApps_)
        running.insert(app.bundleID);
    filteredInstalledApps_.clear();
    for (const auto& app : installedApps_)
        if (!running.count(app.bundleID) && matches(app, searchText_)) filteredInstalledApps_.push_back(app);
}

std::optional<std::string> AppPickerModel::customCandidate() const {
    if (!showBundleID) return std::nullopt;
    std::string trimmed = trimmingWhitespaceAndNewlines(searchText_);
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.find_first_of(" \t\r\n\f\v") != std::string::npos) return std::nullopt;
    // A no-break space (U+00A0) or an ideographic one (U+3000) is a blank too.
    if (trimmed.find("\xC2\xA0") != std::string::npos || trimmed.find("\xE3\x80\x80") != std::string::npos)
        return std::nullopt;
    return trimmed;
}

std::vector<AppPickerRow> AppPickerModel::rows() const {
    std::vector<AppPickerRow> rows;
    if (auto custom = customCandidate()) rows.emplace_back(CustomBundleIDRow{*custom});
    for (const auto& app : filteredRunningApps_)
        rows.emplace_back(app);
    for (const auto& app : filteredInstalledApps_)
        rows.emplace_back(app);
    return rows;
}

void AppPickerModel::moveHighlight(int delta) {
    const int n = static_cast<int>(rows().size());
    if (n == 0) return;
    if (!highlightedIndex_)
        highlightedIndex_ = delta > 0 ? 0 : n - 1;
    else
        highlightedIndex_ = std::clamp(*highlightedIndex_ + delta, 0, n - 1);
    changed();
}

void AppPickerModel::submit() {
    const auto all = rows();
    if (all.empty()) return;
    const int n = static_cast<int>(all.size());
    const int index =
        highlightedIndex_ && *highlightedIndex_ >= 0 && *highlightedIndex_ < n ? *highlightedIndex_ : 0;
    choose(all[static_cast<std::size_t>(index)]);
}

void AppPickerModel::cancel() {
    if (onDismiss) onDismiss();
}

void AppPickerModel::selectRow(int index) {
    const auto all = rows();
    if (index < 0 || index >= static_cast<int>(all.size())) return;
    choose(all[static_cast<std::size_t>(index)]);
}

void AppPickerModel::choose(const AppPickerRow& row) {
    const std::string id = std::holds_alternative<CustomBundleIDRow>(row)
                               ? std::get<CustomBundleIDRow>(row).bundleID
                               : std::get<AppInfo>(row).bundleID;
    // The caller's handler may drop its last hold on the picker; the dismissal still follows.
    const auto keep = weak_from_this().lock();
    selectedBundleID = id;
    if (onSelect) onSelect(id);
    if (onDismiss) onDismiss();
}

void AppPickerModel::changed() {
    if (onChange) onChange();
}

} // namespace korvane
