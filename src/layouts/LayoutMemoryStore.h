// The layout memory: per display and layout, which window slots belong in which region, and the last
// committed claim of each slot; kept in "layout-memory.json" in the application-support folder.
#pragma once

#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The structured form of a memory key string "<displayUUID>___<layoutID>".
struct LayoutMemoryKey {
    std::string displayUUID;
    std::string layoutID;

    friend bool operator==(const LayoutMemoryKey&, const LayoutMemoryKey&) = default;
    friend auto operator<=>(const LayoutMemoryKey&, const LayoutMemoryKey&) = default;

    // The key string the store files entries under.
    std::string keyString() const;

    // {"displayUUID", "layoutID"}; reading throws DecodingError.
    nlohmann::ordered_json toJSON() const;
    static LayoutMemoryKey fromJSON(const nlohmann::json& json);
};

// Region id -> slot ids in remembered order.
using RegionSlots = std::map<std::int64_t, std::vector<std::string>>;

struct LayoutMemoryEntry {
    RegionSlots regionToSlots;

    friend bool operator==(const LayoutMemoryEntry&, const LayoutMemoryEntry&) = default;

    // {"regionToSlots": {"1": [...]}}, or {} when there are no regions.
    nlohmann::ordered_json toJSON() const;
    // Also reads the older members "regionToBundles" and "bundleToRegion" and folds them into the slot
    // lists. Region names that spell one integer ("1", "01", "+1") are one region, their lists joined in
    // the byte order of the names. Throws DecodingError for a value of the wrong type or a region name
    // that is not an integer.
    static LayoutMemoryEntry fromJSON(const nlohmann::json& json);
};

struct SlotClaimSnapshot {
    std::string slotID;
    std::int64_t regionID = 0;
    std::string bundleID;
    std::string source;
    Nanos committedAt = 0; // wall clock, ns since 1970 UTC

    friend bool operator==(const SlotClaimSnapshot&, const SlotClaimSnapshot&) = default;

    // "committedAt" is stored as seconds since 1 January 2001.
    nlohmann::ordered_json toJSON() const;
    static SlotClaimSnapshot fromJSON(const nlohmann::json& json);
};

// Main thread only.
class LayoutMemoryStore {
  public:
    using SlotClaims = std::map<std::string, SlotClaimSnapshot>; // slot id -> its last claim

    std::map<std::string, LayoutMemoryEntry> map;
    std::map<std::string, SlotClaims> slotClaimSnapshotsByKey;

    friend bool operator==(const LayoutMemoryStore&, const LayoutMemoryStore&) = default;

    static std::string keyString(const std::string& displayUUID, const std::string& layoutID);

    // The entry's slot lists under exactly this display and layout; no fallback to other keys.
    std::optional<RegionSlots> regionToSlots(const std::string& displayUUID,
                                             const std::string& layoutID) const;
    // Ordered by region, then slot id, then commit date.
    std::vector<SlotClaimSnapshot> slotClaimSnapshots(const std::string& displayUUID,
                                                      const std::string& layoutID) const;
    // Replaces the slot lists under the key; regions without slots are left out, and nothing left
    // removes the entry. Writes nothing to disk.
    void recordRegionSlots(const std::string& displayUUID, const std::string& layoutID,
                           const RegionSlots& regionToSlots);
    // Replaces every claim under the key; an empty list removes the key. Of two claims of one slot the
    // later in the list wins. Writes nothing to disk.
    void recordSlotClaims(const std::string& displayUUID, const std::string& layoutID,
                          const std::vector<SlotClaimSnapshot>& snapshots);
    // Re-keys both maps through `transform` of the display part, merging entries that meet on one key.
    // True when any display part changed.
    bool remapDisplayUUIDs(const std::function<std::string(const std::string&)>& transform);

    // Always the current form (schema 2), pretty-printed, written atomically. A file in place that does
    // not read back is kept beside it first. Throws on failure.
    void save(const std::filesystem::path& to) const;
    // Removes "layout-memory.json" from the application-support folder when it is there. Throws when
    // the folder cannot be had or the file cannot be removed.
    static void reset();

    nlohmann::ordered_json toJSON() const;
    // Schema 2, else the key-string map of schema 1, else the alternating key/entry array of schema 0.
    // Throws DecodingError "Unable to decode LayoutMemoryStore in any known format" otherwise. A claim
    // is filed under its own "slotID", not under the member name that holds it; of two claims of one
    // slot under one key the later "committedAt" stays (on a tie, the first in member-name order).
    static LayoutMemoryStore fromJSON(const nlohmann::json& json);

    static constexpr const char* kFileName = "layout-memory.json";
    static constexpr const char* kKeySeparator = "___";
    static constexpr int kSchemaVersion = 2;
};

} // namespace korvane

template <> struct std::hash<korvane::LayoutMemoryKey> {
    std::size_t operator()(const korvane::LayoutMemoryKey& key) const noexcept;
};

template <> struct std::hash<korvane::SlotClaimSnapshot> {
    std::size_t operator()(const korvane::SlotClaimSnapshot& snapshot) const noexcept;
};
