// The two activation strategies and the choice between them.
#include "core/ActivationStrategy.h"

#include "core/FocusWhitelistStore.h"
#include "platform/Platform.h"

namespace korvane {

ActivationStrategy ActivationStrategy::defaultStrategy() {
    return {"default", 1.0, 2, true, false, false};
}

ActivationStrategy ActivationStrategy::problematic() {
    return {"problematic", 2.5, 3, true, true, true};
}

const std::set<std::string>& ActivationStrategy::builtInProblematicBundleIDs() {
    static const std::set<std::string> ids{"company.thebrowser.dia", "company.thebrowser.Browser",
                                           "com.google.Chrome", "com.microsoft.edgemac"};
    return ids;
}

ActivationStrategy ActivationStrategy::strategy(const std::optional<std::string>& bundleID) {
    if (!bundleID) return defaultStrategy();
    auto store = FocusWhitelistStore::shared();
    if (store->bundleIds.count(*bundleID)) return problematic();
    if (store->runtimeBundleIds.count(*bundleID)) return problematic();
    if (builtInProblematicBundleIDs().count(*bundleID)) return problematic();
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

} // namespace korvane
