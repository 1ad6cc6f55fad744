// Reading every stored form of the layout memory, writing the current one, and re-keying by display.
#include "layouts/LayoutMemoryStore.h"

#include "core/AppSupport.h"
#include "core/DecodingError.h"
#include "core/JSONEncoder.h"
#include "core/JSONFields.h"
#include "core/JSONFileStore.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <tuple>

namespace korvane {

namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

void hashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Region ids are object member names: an optional sign and decimal digits that fit 64 bits.
std::int64_t regionIDFromName(const std::string& name, std::string_view key) {
    std::string_view text = name;
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
    const bool wellFormed = !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                           [](char c) { return c >= '0' && c <= '9'; });
    if (!text.empty() && text.front() == '+') text.remove_prefix(1); // from_chars takes '-' only
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (!wellFormed || ec != std::errc() || ptr != end)
        throw DecodingError(DecodingError::Kind::dataCorrupted, std::string(key),
                            "Could not decode region id \"" + name + "\" for key \"" + std::string(key) +
                                "\"");
    return value;
}

std::vector<std::string> stringList(const json& value, std::string_view key) {
    if (!value.is_array()) throw DecodingError("Expected an array for key \"" + std::string(key) + "\"");
    std::vector<std::string> out;
    out.reserve(value.size());
    for (const auto& element : value)
        out.push_back(jsonfields::asString(element, key));
    return out;
}

// An optional member mapping region names to lists of text. Names that spell one region ("1", "01",
// "+1") are one region: their lists are concatenated in the byte order of the names (the order the
// parsed object visits them), since keeping one would lose the others at the next save.
RegionSlots regionLists(const json& object, std::string_view key) {
    RegionSlots out;
    const json* member = jsonfields::member(object, key);
    if (!member) return out;
    jsonfields::requireObject(*member, key);
    for (const auto& [name, list] : member->items()) {
        std::vector<std::string> more = stringList(list, key);
        auto& slots = out[regionIDFromName(name, key)];
        slots.insert(slots.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return out;
}

void appendOnce(std::vector<std::string>& list, const std::string& slot) {
    if (std::find(list.begin(), list.end(), slot) == list.end()) list.push_back(slot);
}

std::pair<std::string, std::string> splitKey(const std::string& key, bool& usable) {
    auto at = key.find(LayoutMemoryStore::kKeySeparator);
    usable = false;
    if (at == std::string::npos) return {};
    std::string display = key.substr(0, at);
    std::string layout = key.substr(at + std::string_view(LayoutMemoryStore::kKeySeparator).size());
    usable = !display.empty() && !layout.empty();
    return {display, layout};
}

std::map<std::string, LayoutMemoryEntry> decodeEntries(const json& object, std::string_view what) {
    jsonfields::requireObject(object, what);
    std::map<std::string, LayoutMemoryEntry> out;
    for (const auto& [key, entry] : object.items())
        out[key] = LayoutMemoryEntry::fromJSON(entry);
    return out;
}

LayoutMemoryStore decodeSchema2(const json& value) {
    jsonfields::requireObject(value, "LayoutMemorySchemaV2");
    const std::int64_t version = jsonfields::requireInteger(value, "schemaVersion");
    const json* entries = jsonfields::member(value, "entries");
    if (!entries) throw DecodingError("No value associated with key \"entries\"");
    const json* claims = jsonfields::member(value, "slotClaimSnapshots");
    if (!claims) throw DecodingError("No value associated with key \"slotClaimSnapshots\"");

    LayoutMemoryStore store;
    store.map = decodeEntries(*entries, "entries");
    jsonfields::requireObject(*claims, "slotClaimSnapshots");
    for (const auto& [key, inner] : claims->items()) {
        jsonfields::requireObject(inner, "slotClaimSnapshots");
        // A claim is filed under its own slot id whatever member name holds it, as recordSlotClaims
        // files it; of claims that meet on one slot the later commit stays, on equal dates the first
        // in name order.
        auto& slots = store.slotClaimSnapshotsByKey[key];
        for (const auto& [name, snapshot] : inner.items()) {
            SlotClaimSnapshot claim = SlotClaimSnapshot::fromJSON(snapshot);
            auto [held, inserted] = slots.try_emplace(claim.slotID, claim);
            if (!inserted && claim.committedAt > held->second.committedAt) held->second = std::move(claim);
        }
    }
    if (version < LayoutMemoryStore::kSchemaVersion) throw DecodingError("schemaVersion below 2");
    return store;
}

LayoutMemoryStore decodeKeyStringMap(const json& value) {
    LayoutMemoryStore store;
    store.map = decodeEntries(value, "LayoutMemoryStore");
    return store;
}

LayoutMemoryStore decodeStructuredKeys(const json& value) {
    if (!value.is_array()) throw DecodingError("Expected an array of keys and entries");
    if (value.size() % 2 != 0) throw DecodingError("Expected an even number of keys and entries");
    std::map<LayoutMemoryKey, LayoutMemoryEntry> byKey;
    for (std::size_t i = 0; i < value.size(); i += 2)
        byKey.insert_or_assign(LayoutMemoryKey::fromJSON(value[i]),
                               LayoutMemoryEntry::fromJSON(value[i + 1]));
    LayoutMemoryStore store;
    for (auto& [key, entry] : byKey)
        store.map.insert_or_assign(key.keyString(), std::move(entry));
    return store;
}

} // namespace

std::string LayoutMemoryKey::keyString() const {
    return LayoutMemoryStore::keyString(displayUUID, layoutID);
}

ordered_json LayoutMemoryKey::toJSON() const {
    return ordered_json{{"displayUUID", displayUUID}, {"layoutID", layoutID}};
}

LayoutMemoryKey LayoutMemoryKey::fromJSON(const json& value) {
    jsonfields::requireObject(value, "LayoutMemoryKey");
    return LayoutMemoryKey{jsonfields::requireString(value, "displayUUID"),
                           jsonfields::requireString(value, "layoutID")};
}

ordered_json LayoutMemoryEntry::toJSON() const {
    ordered_json out = ordered_json::object();
    if (regionToSlots.empty()) return out;
    ordered_json regions = ordered_json::object();
    for (const auto& [region, slots] : regionToSlots)
        regions[std::to_string(region)] = slots;
    out["regionToSlots"] = std::move(regions);
    return out;
}

LayoutMemoryEntry LayoutMemoryEntry::fromJSON(const json& value) {
    jsonfields::requireObject(value, "LayoutMemoryEntry");
    LayoutMemoryEntry entry;
    entry.regionToSlots = regionLists(value, "regionToSlots");
    const RegionSlots regionToBundles = regionLists(value, "regionToBundles");
    std::map<std::string, std::int64_t> bundleToRegion;
    if (const json* member = jsonfields::member(value, "bundleToRegion")) {
        jsonfields::requireObject(*member, "bundleToRegion");
        for (const auto& [bundle, region] : member->items())
            bundleToRegion[bundle] = jsonfields::asInteger(region, "bundleToRegion");
    }

    // Older lists first: duplicates and empty names collapse, and a region left empty is not stored.
    for (const auto& [region, bundles] : regionToBundles) {
        auto it = entry.regionToSlots.find(region);
        std::vector<std::string> slots =
            it == entry.regionToSlots.end() ? std::vector<std::string>{} : it->second;
        for (const auto& bundle : bundles)
            if (!bundle.empty()) appendOnce(slots, bundle);
        if (!slots.empty()) entry.regionToSlots[region] = std::move(slots);
    }
    // Then the single-region form, only for bundles that no region holds yet.
    std::set<std::string> placed;
    for (const auto& [region, slots] : entry.regionToSlots)
        for (const auto& slot : slots)
            if (!slot.empty()) placed.insert(slot);
    for (const auto& [bundle, region] : bundleToRegion) {
        if (bundle.empty() || placed.count(bundle)) continue;
        entry.regionToSlots[region].push_back(bundle);
        placed.insert(bundle);
    }
    return entry;
}

ordered_json SlotClaimSnapshot::toJSON() const {
    ordered_json out = ordered_json::object();
    out["slotID"] = slotID;
    out["regionID"] = regionID;
    out["bundleID"] = bundleID;
    out["source"] = source;
    out["committedAt"] = JSONEncoder{}.encodeDate(committedAt);
    return out;
}

SlotClaimSnapshot SlotClaimSnapshot::fromJSON(const json& value) {
    jsonfields::requireObject(value, "SlotClaimSnapshot");
    SlotClaimSnapshot s;
    s.slotID = jsonfields::requireString(value, "slotID");
    s.regionID = jsonfields::requireInteger(value, "regionID");
    s.bundleID = jsonfields::requireString(value, "bundleID");
    s.source = jsonfields::requireString(value, "source");
    auto date = wallClockFromReferenceDate(jsonfields::requireNumber(value, "committedAt"));
    if (!date)
        throw DecodingError(DecodingError::Kind::dataCorrupted, "committedAt",
                            "Date out of range for key \"committedAt\"");
    s.committedAt = *date;
    return s;
}

std::string LayoutMemoryStore::keyString(const std::string& displayUUID, const std::string& layoutID) {
    return displayUUID + kKeySeparator + layoutID;
}

std::optional<RegionSlots> LayoutMemoryStore::regionToSlots(const std::string& displayUUID,
                                                            const std::string& layoutID) const {
    auto it = map.find(keyString(displayUUID, layoutID));
    if (it == map.end()) return std::nullopt;
    return it->second.regionToSlots;
}

std::vector<SlotClaimSnapshot> LayoutMemoryStore::slotClaimSnapshots(const std::string& displayUUID,
                                                                     const std::string& layoutID) const {
    std::vector<SlotClaimSnapshot> out;
    auto it = slotClaimSnapshotsByKey.find(keyString(displayUUID, layoutID));
    if (it == slotClaimSnapshotsByKey.end()) return out;
    for (const auto& [slot, snapshot] : it->second)
        out.push_back(snapshot);
    std::sort(out.begin(), out.end(), [](const SlotClaimSnapshot& a, const SlotClaimSnapshot& b) {
        return std::tie(a.regionID, a.slotID, a.committedAt) < std::tie(b.regionID, b.slotID, b.committedAt);
    });
    return out;
}

void LayoutMemoryStore::recordRegionSlots(const std::string& displayUUID, const std::string& layoutID,
                                          const RegionSlots& regionToSlots) {
    LayoutMemoryEntry entry;
    for (const auto& [region, slots] : regionToSlots)
        if (!slots.empty()) entry.regionToSlots[region] = slots;
    const std::string key = keyString(displayUUID, layoutID);
    if (entry.regionToSlots.empty())
        map.erase(key);
    else
        map[key] = std::move(entry);
}

void LayoutMemoryStore::recordSlotClaims(const std::string& displayUUID, const std::string& layoutID,
                                         const std::vector<SlotClaimSnapshot>& snapshots) {
    const std::string key = keyString(displayUUID, layoutID);
    if (snapshots.empty()) {
        slotClaimSnapshotsByKey.erase(key);
        return;
    }
    SlotClaims claims;
    for (const auto& snapshot : snapshots)
        claims.insert_or_assign(snapshot.slotID, snapshot);
    slotClaimSnapshotsByKey[key] = std::move(claims);
}

bool LayoutMemoryStore::remapDisplayUUIDs(const std::function<std::string(const std::string&)>& transform) {
    if (map.empty() && slotClaimSnapshotsByKey.empty()) return false;
    bool changed = false;

    // The new key of an old one, noting whether its display part moved; unusable keys stay as they are.
    auto rekey = [&](const std::string& key, bool& usable) {
        auto [display, layout] = splitKey(key, usable);
        if (!usable) return key;
        std::string mapped = transform(display);
        if (mapped != display) changed = true;
        return keyString(mapped, layout);
    };

    std::map<std::string, LayoutMemoryEntry> newMap;
    for (const auto& [key, entry] : map) {
        bool usable = false;
        std::string newKey = rekey(key, usable);
        auto existing = newMap.find(newKey);
        if (!usable || existing == newMap.end()) {
            newMap.insert_or_assign(newKey, entry);
            continue;
        }
        for (const auto& [region, slots] : entry.regionToSlots) {
            auto& combined = existing->second.regionToSlots[region];
            combined.insert(combined.end(), slots.begin(), slots.end());
            if (combined.empty()) existing->second.regionToSlots.erase(region);
        }
    }

    std::map<std::string, SlotClaims> newClaims;
    for (const auto& [key, claims] : slotClaimSnapshotsByKey) {
        bool usable = false;
        std::string newKey = rekey(key, usable);
        auto existing = newClaims.find(newKey);
        if (!usable || existing == newClaims.end()) {
            newClaims.insert_or_assign(newKey, claims);
            continue;
        }
        for (const auto& [slot, snapshot] : claims) {
            auto held = existing->second.find(slot);
            if (held == existing->second.end())
                existing->second.emplace(slot, snapshot);
            else if (snapshot.committedAt > held->second.committedAt)
                held->second = snapshot;
        }
    }

    map = std::move(newMap);
    slotClaimSnapshotsByKey = std::move(newClaims);
    return changed;
}

ordered_json LayoutMemoryStore::toJSON() const {
    ordered_json entries = ordered_json::object();
    for (const auto& [key, entry] : map)
        entries[key] = entry.toJSON();
    ordered_json claims = ordered_json::object();
    for (const auto& [key, slots] : slotClaimSnapshotsByKey) {
        ordered_json inner = ordered_json::object();
        for (const auto& [slot, snapshot] : slots)
            inner[slot] = snapshot.toJSON();
        claims[key] = std::move(inner);
    }
    ordered_json out = ordered_json::object();
    out["schemaVersion"] = kSchemaVersion;
    out["entries"] = std::move(entries);
    out["slotClaimSnapshots"] = std::move(claims);
    return out;
}

LayoutMemoryStore LayoutMemoryStore::fromJSON(const json& value) {
    // Newest form first; the error of each try is dropped before the next.
    try {
        return decodeSchema2(value);
    } catch (const std::exception&) {
    }
    try {
        return decodeKeyStringMap(value);
    } catch (const std::exception&) {
    }
    try {
        return decodeStructuredKeys(value);
    } catch (const std::exception&) {
    }
    throw DecodingError("Unable to decode LayoutMemoryStore in any known format");
}

void LayoutMemoryStore::save(const fs::path& to) const {
    // Pretty-printed; claim dates stay numbers of seconds since the reference date.
    JSONFileStore<LayoutMemoryStore>::save(to, *this, JSONEncoder{true});
}

void LayoutMemoryStore::reset() {
    const fs::path path = appSupportDirectory() / kFileName;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return;
    fs::remove(path, ec);
    if (ec) throw fs::filesystem_error("cannot remove the layout memory", path, ec);
}

} // namespace korvane

std::size_t
std::hash<korvane::LayoutMemoryKey>::operator()(const korvane::LayoutMemoryKey& key) const noexcept {
    std::size_t seed = std::hash<std::string>{}(key.displayUUID);
    korvane::hashCombine(seed, std::hash<std::string>{}(key.layoutID));
    return seed;
}

std::size_t
std::hash<korvane::SlotClaimSnapshot>::operator()(const korvane::SlotClaimSnapshot& snapshot) const noexcept {
    std::size_t seed = std::hash<std::string>{}(snapshot.slotID);
    korvane::hashCombine(seed, std::hash<std::int64_t>{}(snapshot.regionID));
    korvane::hashCombine(seed, std::hash<std::string>{}(snapshot.bundleID));
    korvane::hashCombine(seed, std::hash<std::string>{}(snapshot.source));
    korvane::hashCombine(seed, std::hash<korvane::Nanos>{}(snapshot.committedAt));
    return seed;
}
