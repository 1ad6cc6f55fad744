// The names and pictures of applications that the scene canvases found, kept for the life of the process
// so that a later canvas shows them at once and looks nothing up again; failed lookups are kept too.
#pragma once

#include "ui/scene_editor/SceneCanvasAppEntry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// Main thread only; never evicted.
class BundleInfoCache {
  public:
    // The process's cache, made on first use; setShared() installs another (nullptr: a fresh one next).
    static std::shared_ptr<BundleInfoCache> shared();
    static void setShared(std::shared_ptr<BundleInfoCache> cache);

    std::optional<BundleResolvedInfo> find(const std::string& bundleID) const;
    bool contains(const std::string& bundleID) const { return entries_.count(bundleID) > 0; }
    // Replaces what was there.
    void store(const std::string& bundleID, BundleResolvedInfo info);

  private:
    std::map<std::string, BundleResolvedInfo> entries_;
};

} // namespace korvane
