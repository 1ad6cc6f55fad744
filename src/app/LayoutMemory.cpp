// Loading, clearing and saving the layout memory, and the scopes it is filed under.
#include "app/LayoutMemory.h"

#include "app/DisplayWorkbenchSet.h"
#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/Log.h"
#include "layouts/LayoutSelectionStore.h"
#include "platform/ProcessInfo.h"
#include "platform/StoredJSON.h"

#include <algorithm>
#include <filesystem>

namespace korvane {

namespace fs = std::filesystem;

namespace {

fs::path layoutMemoryPath() {
    return appSupportDirectory() / LayoutMemoryStore::kFileName;
}

} // namespace

LayoutMemory::LayoutMemory(platform::ProcessInfo& process,
                           std::shared_ptr<const DisplayWorkbenchSet> workbenches,
                           std::shared_ptr<const LayoutSelection> selection)
    : process_(process), workbenches_(std::move(workbenches)), selection_(std::move(selection)) {}

void LayoutMemory::clearLayoutMemoryIfRequested() {
    const auto arguments = process_.arguments();
    if (std::find(arguments.begin(), arguments.end(), kClearLayoutMemoryArgument) == arguments.end()) return;
    try {
        LayoutMemoryStore::reset();
        Log::app.info("Cleared layout memory file (on demand)");
    } catch (const std::exception& e) {
        Log::app.error("Failed to clear layout memory: %s", e.what());
    }
}

void LayoutMemory::loadLayoutMemory() {
    try {
        const fs::path path = layoutMemoryPath();
        std::error_code ec;
        if (!fs::exists(path, ec) && !ec) {
            layoutMemory_ = LayoutMemoryStore();
            return;
        }
        layoutMemory_ = decodeStoredJSON(readStoreFileBytes(path), LayoutMemoryStore::fromJSON);
    } catch (const std::exception& e) {
        // The file stays as it is; the first write keeps it beside the new one.
        Log::app.error("CRITICAL: Failed to load layout memory, starting fresh. Error: %s", e.what());
        layoutMemory_ = LayoutMemoryStore();
    }
}

void LayoutMemory::rebuildMemoryScopes() {
    memoryScopes_.clear();
    for (const auto& [key, workbench] : workbenches_->workbenches)
        memoryScopes_[workbench.displayUUID] =
            LayoutMemoryKey{workbench.displayUUID, workbench.activeTemplateID};
}

void LayoutMemory::persistLayoutMemory() {
    try {
        layoutMemory_.save(layoutMemoryPath());
    } catch (const std::exception& e) {
        Log::app.error("Failed to persist layout memory: %s", e.what());
    }
}

std::optional<LayoutMemoryKey> LayoutMemory::memoryScope(const std::string& displayUUID) {
    if (auto cached = memoryScopes_.find(displayUUID); cached != memoryScopes_.end()) return cached->second;
    std::optional<LayoutMemoryKey> scope;
    if (auto workbench = workbenches_->workbenches.find(displayUUID);
        workbench != workbenches_->workbenches.end())
        scope = LayoutMemoryKey{displayUUID, workbench->second.activeTemplateID};
    else if (auto selected = selection_->lastByDisplay.find(displayUUID);
             selected != selection_->lastByDisplay.end())
        scope = LayoutMemoryKey{displayUUID, selected->second};
    if (scope) memoryScopes_[displayUUID] = *scope;
    return scope;
}

std::vector<std::string>
LayoutMemory::removeMemoryScopes(const std::function<bool(const std::string&)>& matches) {
    std::vector<std::string> removed;
    for (auto it = memoryScopes_.begin(); it != memoryScopes_.end();) {
        if (matches(it->first)) {
            removed.push_back(it->first);
            it = memoryScopes_.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

void LayoutMemory::setMemoryScope(const std::string& displayUUID, const std::string& layoutID) {
    memoryScopes_[displayUUID] = LayoutMemoryKey{displayUUID, layoutID};
}

} // namespace korvane
