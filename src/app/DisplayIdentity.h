// One key per display in every store keyed by display: at launch the stored keys (which may carry white
// space around them or a "#" suffix) are brought to their canonical form, and records whose key is blank
// are dropped.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace korvane {

class LayoutMemory;
struct DisplayWorkbenchSet;
struct LayoutSelection;

// Main thread only. Keeps nothing of its own: it rewrites the stores it is given, which the other display
// components share, and their files.
class DisplayIdentity {
  public:
    struct Stores {
        std::shared_ptr<DisplayWorkbenchSet> displayWorkbenches;
        std::shared_ptr<LayoutSelection> layoutSelection;
        std::shared_ptr<LayoutMemory> layoutMemory;
    };

    explicit DisplayIdentity(Stores stores);

    // Re-keys the workbenches (the newer record wins), the layout selection and the layout descriptors
    // (the entry met first in key order wins), the user layout files and the layout memory by
    // canonicalDisplayKey. The descriptors and the layout files are written as they change; when
    // anything changed, the workbenches, the selection and the layout memory are then written once each
    // and the memory scopes rebuilt. A layout file that cannot be read is logged and the rest goes on.
    void migrateDisplayIdentity(const std::string& reason);
    // Drops the workbenches, selection entries and memory scopes whose key is blank after trimming, and
    // writes the files of those that changed. Every other key stays, connected or not.
    void cleanupInvalidDisplayRecords();

    // Of more workbench moves, only this many are logged one by one.
    static constexpr std::size_t kLoggedWorkbenchMoves = 20;

  private:
    Stores stores_;
};

} // namespace korvane
