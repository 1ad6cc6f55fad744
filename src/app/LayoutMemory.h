// The layout memory — which applications each zone of each display's layout held, kept in
// "layout-memory.json" — and the scope (display and layout) under which each display's memory is filed.
#pragma once

#include "layouts/LayoutMemoryStore.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct DisplayWorkbenchSet;
struct LayoutSelection;

namespace platform {
class ProcessInfo;
}

// Main thread only. Reads the display records it is given; never writes them.
class LayoutMemory {
  public:
    LayoutMemory(platform::ProcessInfo& process, std::shared_ptr<const DisplayWorkbenchSet> workbenches,
                 std::shared_ptr<const LayoutSelection> selection);

    // Start-up, in this order: clear on request, load, rebuild the scopes. Failures are logged; a file
    // that cannot be read gives an empty memory and stays as it is until the next write keeps a copy.
    void clearLayoutMemoryIfRequested();
    void loadLayoutMemory();
    void rebuildMemoryScopes();
    // Writes the layout memory; a failure is logged and the previous file stays.
    void persistLayoutMemory();

    // The display's cached scope, else one made from its workbench, else from its selection (cached).
    std::optional<LayoutMemoryKey> memoryScope(const std::string& displayUUID);
    // Files the display's memory under this layout from now on.
    void setMemoryScope(const std::string& displayUUID, const std::string& layoutID);
    const std::map<std::string, LayoutMemoryKey>& memoryScopes() const { return memoryScopes_; }
    // Forgets the scopes whose display key matches; returns those keys in key order.
    std::vector<std::string> removeMemoryScopes(const std::function<bool(const std::string&)>& matches);

    LayoutMemoryStore& layoutMemory() { return layoutMemory_; }
    const LayoutMemoryStore& layoutMemory() const { return layoutMemory_; }

    static constexpr const char* kClearLayoutMemoryArgument = "--clear-layout-memory";

  private:
    platform::ProcessInfo& process_;
    std::shared_ptr<const DisplayWorkbenchSet> workbenches_;
    std::shared_ptr<const LayoutSelection> selection_;
    LayoutMemoryStore layoutMemory_;
    std::map<std::string, LayoutMemoryKey> memoryScopes_; // display UUID -> its layout-memory scope
};

} // namespace korvane
