// What the application picker shows and does, without a widget: the running and installed applications,
// the search over both, the row of a typed custom identifier, the keyboard highlight and the choice.
// The picker's window draws this model and forwards its keys to it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

namespace korvane {

namespace platform {
class Platform;
class Workspace;
} // namespace platform

// One application as the picker lists it. `pid` names the running process whose picture to show; -1 for
// an application that is only installed (no process has that id).
struct AppInfo {
    std::string bundleID;
    std::string name;
    pid_t pid = -1;

    friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

// The typed text offered as a bundle identifier of its own.
struct CustomBundleIDRow {
    std::string bundleID;

    friend bool operator==(const CustomBundleIDRow&, const CustomBundleIDRow&) = default;
};

// One row the keyboard highlight counts.
using AppPickerRow = std::variant<CustomBundleIDRow, AppInfo>;

// Main thread only; the scan of installed applications runs on a global queue and its result comes back
// through the main queue, to nothing once the model is gone. Owned through a shared_ptr for that reason.
class AppPickerModel : public std::enable_shared_from_this<AppPickerModel> {
  public:
    // `showBundleID`: identifiers are shown under the names and the typed text may be chosen as one.
    AppPickerModel(platform::Platform& platform, std::string selectedBundleID, bool showBundleID);

    // The caller's current choice; written when a row is chosen.
    std::string selectedBundleID;
    const bool showBundleID;
    // Called with the chosen identifier, before the picker is dismissed.
    std::function<void(const std::string&)> onSelect;
    // The picker is to close: after a choice or on Escape.
    std::function<void()> onDismiss;
    // Something the window draws changed.
    std::function<void()> onChange;

    // Each time the picker is shown: the search is emptied, the running applications are read at once and
    // the installed ones scanned in the background. The lists then stand until the next appearance.
    void appear();

    // The search text, as typed (it is not trimmed for matching). A change clears the highlight.
    void setSearchText(const std::string& text);
    const std::string& searchText() const { return searchText_; }

    // Both sorted by name, case aside; each bundle identifier once.
    const std::vector<AppInfo>& runningApps() const { return runningApps_; }
    const std::vector<AppInfo>& installedApps() const { return installedApps_; }
    // The applications that match the search; installed ones that run are left to the running list.
    const std::vector<AppInfo>& filteredRunningApps() const { return filteredRunningApps_; }
    const std::vector<AppInfo>& filteredInstalledApps() const { return filteredInstalledApps_; }

    // The trimmed search text when identifiers are shown and it is one word; offered even when it equals a
    // listed identifier.
    std::optional<std::string> customCandidate() const;
    // The custom row (if any), then the filtered running, then the filtered installed applications.
    std::vector<AppPickerRow> rows() const;
    std::optional<int> highlightedIndex() const { return highlightedIndex_; }

    // Arrow keys: the first press highlights the first row going down, the last going up; further presses
    // stop at either end. Nothing without rows.
    void moveHighlight(int delta);
    // Return in the search field: the highlighted row, else the first row; nothing without rows.
    void submit();
    // Escape.
    void cancel();
    // A click on a row, by its index in rows(); an index outside them does nothing.
    void selectRow(int index);

    // Neither list offers this program itself: its process, nor anything under `ownBundleID`, the
    // identifier the workspace lists it by.
    // Any thread: the installed applications as the picker lists them (each bundle identifier once, the
    // first place the desktop names winning, sorted).
    static std::vector<AppInfo> scanInstalledApps(platform::Workspace& workspace,
                                                  const std::optional<std::string>& ownBundleID);
    // Main thread: the running applications of the regular kind that have a bundle identifier and a name,
    // each identifier once (the first process read wins), sorted.
    static std::vector<AppInfo> loadRunningApps(platform::Workspace& workspace,
                                                const std::optional<std::string>& ownBundleID);
    // Ascending by name, case aside, ties by identifier.
    static void sortApps(std::vector<AppInfo>& apps);
    // Whether the name or the identifier contains the text, case aside; the empty text matches all.
    static bool matches(const AppInfo& app, const std::string& text);

  private:
    void applyFilter();
    void choose(const AppPickerRow& row);
    void changed();

    platform::Platform& platform_;
    std::string searchText_;
    std::vector<AppInfo> runningApps_;
    std::vector<AppInfo> installedApps_;
    std::vector<AppInfo> filteredRunningApps_;
    std::vector<AppInfo> filteredInstalledApps_;
    std::optional<int> highlightedIndex_;
    // Raised by every appearance, so a scan started by an earlier one cannot overwrite a later result.
    unsigned generation_ = 0;
};

} // namespace korvane
