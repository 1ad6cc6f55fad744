// Canonical display keys across the stores, and blank records dropped.
#include "app/DisplayIdentity.h"

#include "app/DisplayWorkbenchSet.h"
#include "app/LayoutMemory.h"
#include "core/Log.h"
#include "layouts/LayoutDescriptor.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/ZoneSetStore.h"
#include "platform/Format.h"
#include "platform/TextTrim.h"
#include "platform/UTF8.h"

#include <map>
#include <utility>
#include <vector>

namespace korvane {

namespace {

std::string canonical(const std::string& key) {
    return canonicalDisplayKey(key);
}

// Re-keys `entries` by their canonical keys; of entries that meet on one key the one met first, in key
// order, stays. `adjust` rewrites a kept value for its new key. Returns how many keys changed.
template <class Value, class Adjust>
std::size_t canonicalizeKeys(std::map<std::string, Value>& entries, Adjust adjust) {
    std::map<std::string, Value> result;
    std::size_t moved = 0;
    for (const auto& [key, value] : entries) {
        std::string to = canonical(key);
        if (to != key) ++moved;
        if (result.count(to)) continue;
        Value kept = value;
        adjust(kept, to);
        result.emplace(std::move(to), std::move(kept));
    }
    if (moved > 0) entries = std::move(result);
    return moved;
}

bool isBlank(const std::string& key) {
    return trimmedView(key).empty();
}

// Removes the blank keys of `entries` and returns them in key order.
template <class Value> std::vector<std::string> removeBlankKeys(std::map<std::string, Value>& entries) {
    std::vector<std::string> removed;
    for (auto it = entries.begin(); it != entries.end();) {
        if (isBlank(it->first)) {
            removed.push_back(it->first);
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

} // namespace

DisplayIdentity::DisplayIdentity(Stores stores) : stores_(std::move(stores)) {}

void DisplayIdentity::migrateDisplayIdentity(const std::string& reason) {
    bool changed = false;

    const auto moves = stores_.displayWorkbenches->canonicalizeDisplayKeys();
    if (!moves.empty()) {
        Log::app.info("[DisplayIdentity] Migrated workbenches: %ld moves (reason=%s)", moves.size(), reason);
        for (std::size_t i = 0; i < moves.size() && i < kLoggedWorkbenchMoves; ++i)
            Log::app.info("[DisplayIdentity] workbench key %s -> %s", moves[i].first, moves[i].second);
        changed = true;
    }

    const std::size_t selectionMoves =
        canonicalizeKeys(stores_.layoutSelection->lastByDisplay, [](std::string&, const std::string&) {});
    if (selectionMoves > 0) {
        Log::app.info("[DisplayIdentity] Migrated layoutSelection keys moved=%ld (reason=%s)", selectionMoves,
                      reason);
        changed = true;
    }

    try {
        const ZoneSetStore::Rewrite rewrite = ZoneSetStore::rewriteAll(canonical);
        // The reason quotes what was read, and the name is the file system's: either may be any bytes,
        // and a line that is not UTF-8 is a line many log readers never show.
        for (const auto& [file, why] : rewrite.skipped)
            Log::app.error("[DisplayIdentity] Skipped user layout file %s: %s", validUTF8(file.string()),
                           validUTF8(why));
        if (rewrite.wroteAny) {
            Log::app.info("[DisplayIdentity] Migrated user layout files displayUUID (reason=%s)", reason);
            changed = true;
        }
    } catch (const std::exception& e) {
        Log::app.error("[DisplayIdentity] Failed to migrate user layout files: %s", validUTF8(e.what()));
    }

    LayoutDescriptorSet descriptors = LayoutDescriptorSet::load();
    const std::size_t descriptorMoves =
        canonicalizeKeys(descriptors.byDisplay, [](LayoutDescriptor& descriptor, const std::string& key) {
            descriptor.displayUUID = key;
        });
    if (descriptorMoves > 0) {
        descriptors.save();
        Log::app.info("[DisplayIdentity] Migrated layout descriptors moved=%ld (reason=%s)", descriptorMoves,
                      reason);
        changed = true;
    }

    auto& memory = *stores_.layoutMemory;
    if (memory.layoutMemory().remapDisplayUUIDs(canonical))
        Log::app.info("[DisplayIdentity] Migrated layout memory displayUUID keys (reason=%s)", reason);
    else if (!changed)
        return;

    stores_.displayWorkbenches->save();
    LayoutSelectionStore::save(*stores_.layoutSelection);
    memory.persistLayoutMemory();
    memory.rebuildMemoryScopes();
}

void DisplayIdentity::cleanupInvalidDisplayRecords() {
    const auto workbenches = removeBlankKeys(stores_.displayWorkbenches->workbenches);
    const auto selection = removeBlankKeys(stores_.layoutSelection->lastByDisplay);
    const auto scopes = stores_.layoutMemory->removeMemoryScopes(isBlank);

    if (!workbenches.empty()) stores_.displayWorkbenches->save();
    if (!selection.empty()) LayoutSelectionStore::save(*stores_.layoutSelection);
    if (workbenches.empty() && selection.empty() && scopes.empty()) return;
    Log::app.info("cleanupInvalidDisplayRecords removed workbench=%s selection=%s memoryScopes=%s",
                  platform::describeList(workbenches), platform::describeList(selection),
                  platform::describeList(scopes));
}

} // namespace korvane
