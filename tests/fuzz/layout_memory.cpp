// The layout memory in its three stored forms: the store's round trip (see FuzzStore.h), every slot of
// every region list read kept in its region (names that spell one region included), and every claim
// filed under its own slot id.
#include "FuzzStore.h"

#include "layouts/LayoutMemoryStore.h"

#include <algorithm>
#include <charconv>

using namespace korvane;
using nlohmann::json;

namespace {

std::size_t countOf(const LayoutMemoryStore& store) {
    std::size_t n = 0;
    for (const auto& [key, entry] : store.map)
        for (const auto& [region, slots] : entry.regionToSlots)
            n += slots.size() + 1;
    for (const auto& [key, claims] : store.slotClaimSnapshotsByKey)
        n += claims.size() + 1;
    return n + store.map.size();
}

std::int64_t regionOf(std::string name) {
    if (!name.empty() && name.front() == '+') name.erase(0, 1);
    std::int64_t id = 0;
    std::from_chars(name.data(), name.data() + name.size(), id);
    return id;
}

// Every slot the entry's "regionToSlots" lists is in the decoded region's list.
void checkNothingDropped(const json& entry, const LayoutMemoryEntry& decoded) {
    const auto lists = entry.find("regionToSlots");
    if (lists == entry.end() || !lists->is_object()) return;
    for (const auto& [name, slots] : lists->items()) {
        const auto region = decoded.regionToSlots.find(regionOf(name));
        for (const auto& slot : slots) {
            const bool kept = region != decoded.regionToSlots.end() &&
                              std::find(region->second.begin(), region->second.end(),
                                        slot.get<std::string>()) != region->second.end();
            FUZZ_CHECK(kept, "region " + name + " lost " + slot.dump() + " of " + entry.dump());
        }
    }
}

// The entries as the file holds them under each key, in whichever form decoded; nothing when the
// decoded keys match no form (a damaged key never reaches this far).
std::optional<std::map<std::string, json>> storedEntries(const json& file, const LayoutMemoryStore& store) {
    auto matches = [&](const std::map<std::string, json>& entries) {
        if (entries.size() != store.map.size()) return false;
        for (const auto& [key, entry] : entries)
            if (!store.map.count(key)) return false;
        return true;
    };
    std::map<std::string, json> entries;
    if (file.is_object()) {
        if (const auto e = file.find("entries"); e != file.end() && e->is_object()) {
            for (const auto& [key, entry] : e->items())
                entries[key] = entry;
            if (matches(entries)) return entries;
            entries.clear();
        }
        for (const auto& [key, entry] : file.items())
            entries[key] = entry;
    } else if (file.is_array()) {
        for (std::size_t i = 0; i + 1 < file.size(); i += 2) // a later pair replaces an earlier one
            entries[LayoutMemoryKey::fromJSON(file[i]).keyString()] = file[i + 1];
    }
    if (matches(entries)) return entries;
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);
    const auto store = fuzz::checkStoreRoundTrip<LayoutMemoryStore>(bytes, JSONEncoder{true}, countOf);
    if (!store) return 0;
    for (const auto& [key, claims] : store->slotClaimSnapshotsByKey)
        for (const auto& [slot, claim] : claims)
            FUZZ_CHECK(slot == claim.slotID, "claim of " + claim.slotID + " filed under " + slot);
    if (const auto entries = storedEntries(json::parse(bytes), *store))
        for (const auto& [key, entry] : *entries)
            if (entry.is_object()) checkNothingDropped(entry, store->map.at(key));
    return 0;
}
