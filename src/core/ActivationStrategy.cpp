// The two activation strategies and the choice between them.
#include "core/ActivationStrategy.h"

#include "core/FocusWhitelistStore.h"
#include "platform/Platform.h"
#include "platform/TextCase.h"

#include <algorithm>

namespace korvane {

ActivationStrategy ActivationStrategy::defaultStrategy() {
    return {"default", 1.0, 2, true, false, false};
}

ActivationStrategy ActivationStrategy::problematic() {
    return {"problematic", 2.5, 3, true, true, true};
}

const std::set<std::string>& ActivationStrategy::builtInProblematicBundleIDs() {
    // On X11 an application is known by its desktop entry id, else its WM_CLASS instance; Chrome and Edge
    // take both from the launcher's desktop entry name. The other identifiers name the same browsers
    // where bundle identifiers are reverse domain names.
    static const std::set<std::string> ids{"company.thebrowser.dia", "company.thebrowser.Browser",
                                           "com.google.Chrome",      "com.microsoft.edgemac",
                                           "google-chrome",          "microsoft-edge"};
    return ids;
}

bool ActivationStrategy::isBuiltInProblematic(const std::string& bundleID) {
    const std::string id = asciiLowercased(bundleID);
    const auto& ids = builtInProblematicBundleIDs();
    return std::any_of(ids.begin(), ids.end(),
                       [&](const std::string& known) { return asciiLowercased(known) == id; });
}

ActivationStrategy ActivationStrategy::strategy(const std::optional<std::string>& bundleID) {
    if (!bundleID) return defaultStrategy();
    auto store = FocusWhitelistStore::shared();
    if (store->bundleIds.count(*bundleID)) return problematic();
    if (store->runtimeBundleIds.count(*bundleID)) return problematic();
    if (isBuiltInProblematic(*bundleID)) return problematic();
    return defaultStrategy();
}

ActivationStrategy ActivationStrategy::strategy(const platform::AXElement& element,
                                                platform::Platform& platform) {
    pid_t pid = 0;
    if (platform.accessibility().pidOf(element, pid) != platform::AXError::success || pid == 0)
        return defaultStrategy();
    auto app = platform.workspace().runningApplication(pid);
    if (!app) return defaultStrategy();
    return strategy(app->bundleID);
}

bool identifierReachesOnly(platform::Workspace& workspace, const std::string& bundleID, pid_t pid) {
    bool reached = false;
    for (const auto& app : workspace.runningApplications()) {
        if (app.bundleID != bundleID) continue;
        if (app.pid != pid) return false;
        reached = true;
    }
    return reached;
}

} // namespace korvane
