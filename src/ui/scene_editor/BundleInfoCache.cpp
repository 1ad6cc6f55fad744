// The process's cache of application names and pictures for the scene canvases.
#include "ui/scene_editor/BundleInfoCache.h"

#include "platform/ProcessWide.h"

namespace korvane {

namespace {

platform::ProcessWide<BundleInfoCache>& holder() {
    static platform::ProcessWide<BundleInfoCache> instance;
    return instance;
}

} // namespace

std::shared_ptr<BundleInfoCache> BundleInfoCache::shared() {
    return holder().get([](platform::Platform&) { return std::make_shared<BundleInfoCache>(); });
}

void BundleInfoCache::setShared(std::shared_ptr<BundleInfoCache> cache) {
    holder().set(std::move(cache));
}

std::optional<BundleResolvedInfo> BundleInfoCache::find(const std::string& bundleID) const {
    auto it = entries_.find(bundleID);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void BundleInfoCache::store(const std::string& bundleID, BundleResolvedInfo info) {
    entries_[bundleID] = std::move(info);
}

} // namespace korvane
