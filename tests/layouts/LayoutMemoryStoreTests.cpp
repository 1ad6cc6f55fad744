// The layout memory: its three stored forms, the written form, slot claims and re-keying by display.
#include "support/SupportFolderFixture.h"

#include "core/DecodingError.h"
#include "core/JSONEncoder.h"
#include "layouts/LayoutMemoryStore.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// The sim's wall clock at start: 2026-05-28T20:26:40Z, 801692800 s after the reference date.
constexpr Nanos kStart = 1'780'000'000LL * kNanosPerSecond;

LayoutMemoryStore decode(const std::string& text) {
    return LayoutMemoryStore::fromJSON(json::parse(text));
}

SlotClaimSnapshot claim(const std::string& slot, std::int64_t region, Nanos at,
                        const std::string& bundle = "B") {
    return SlotClaimSnapshot{slot, region, bundle, "wake.replay", at};
}

std::vector<std::string> slotsOf(const std::vector<SlotClaimSnapshot>& claims) {
    std::vector<std::string> out;
    for (const auto& c : claims)
        out.push_back(c.slotID + "@" + std::to_string(c.regionID));
    return out;
}

} // namespace

TEST(LayoutMemoryStore, entryMembersCombine) {
    const std::vector<std::pair<const char*, RegionSlots>> rows = {
        // A stays in region 1 where the list put it, the empty name is dropped, B joins region 2.
        {R"({"regionToBundles":{"1":["A","A",""]},"bundleToRegion":{"A":2,"B":2}})",
         {{1, {"A"}}, {2, {"B"}}}},
        {R"({"regionToSlots":{"1":["X"]},"regionToBundles":{"1":["X","Y"]}})", {{1, {"X", "Y"}}}},
        {R"({"regionToSlots":{"-3":["X"]},"bundleToRegion":{"X":1,"Y":1}})", {{-3, {"X"}}, {1, {"Y"}}}},
        {R"({"regionToBundles":{"+4":["", ""]}})", {}},
        {R"({"regionToSlots":null,"other":5})", {}},
        {R"({})", {}},
    };
    for (const auto& [entry, expected] : rows)
        EXPECT_EQ(LayoutMemoryEntry::fromJSON(json::parse(entry)).regionToSlots, expected) << entry;
}

TEST(LayoutMemoryStore, unreadableFormsAreRefused) {
    const std::vector<const char*> rows = {
        R"({"schemaVersion":1,"entries":{},"slotClaimSnapshots":{}})", // a version below 2
        R"({"schemaVersion":2,"entries":{}})",                         // claims missing
        R"({"K___L":{"regionToSlots":{"one":["A"]}}})",                // region name not a number
        R"({"K___L":{"regionToSlots":{"1 ":["A"]}}})",                 // nor with a space
        R"({"K___L":{"regionToSlots":{"1":"A"}}})",                    // a list that is not one
        R"([{"displayUUID":"D","layoutID":"L"}])",                     // odd number of elements
        R"([{"displayUUID":"D"},{}])",                                 // key without layout id
        R"("layout")",
        // A claim date beyond 64-bit nanoseconds is a damaged record, not an overflow.
        R"({"schemaVersion":2,"entries":{},"slotClaimSnapshots":{"K___L":{"s":{"slotID":"s","regionID":1,)"
        R"("bundleID":"b","source":"x","committedAt":1e300}}}})",
    };
    for (const char* text : rows) // the message is the layout memory's load-failure line, tested in app/
        EXPECT_THROW(decode(text), DecodingError) << text;
}

TEST(LayoutMemoryStore, olderFormsReadAsKeyStringEntries) {
    auto keyStrings = decode(R"({"D1___builtin.daily":{"regionToBundles":{"1":["A"]}}})");
    EXPECT_EQ(keyStrings.regionToSlots("D1", "builtin.daily"), (RegionSlots{{1, {"A"}}}));

    // Structured keys: of two pairs with one key the later stays.
    auto store = decode(R"([{"displayUUID":"D","layoutID":"L"},{"regionToSlots":{"1":["first"]}},)"
                        R"({"displayUUID":"E","layoutID":"L"},{"regionToBundles":{"2":["e"]}},)"
                        R"({"displayUUID":"D","layoutID":"L"},{"regionToSlots":{"1":["second"]}}])");
    EXPECT_EQ(store.map.size(), 2u);
    EXPECT_EQ(store.regionToSlots("D", "L"), (RegionSlots{{1, {"second"}}}));
    EXPECT_EQ(store.regionToSlots("E", "L"), (RegionSlots{{2, {"e"}}}));
    EXPECT_TRUE(decode("[]").map.empty());
    EXPECT_TRUE(decode("{}").map.empty());
}

TEST(LayoutMemoryStore, writtenFormReadsBackWithClaimsAsReferenceDateSeconds) {
    LayoutMemoryStore store;
    store.map["D1___layout.a"].regionToSlots = {{1, {"s1", "s2"}}, {12, {"s3"}}};
    store.map["D1___layout.empty"] = LayoutMemoryEntry{};
    store.recordSlotClaims("D1", "layout.a", {claim("s1", 1, kStart + milliseconds(500), "com.x")});

    const json written = json::parse(store.toJSON().dump());
    EXPECT_EQ(written["entries"]["D1___layout.empty"], json::object());
    EXPECT_EQ(written["entries"]["D1___layout.a"]["regionToSlots"]["12"], json({"s3"}));
    EXPECT_EQ(written["slotClaimSnapshots"]["D1___layout.a"]["s1"],
              json::parse(R"({"slotID":"s1","regionID":1,"bundleID":"com.x","source":"wake.replay",)"
                          R"("committedAt":801692800.5})"));

    EXPECT_EQ(decode(written.dump()), store);
    EXPECT_EQ(decode(LayoutMemoryStore().toJSON().dump()), LayoutMemoryStore());
}

TEST_F(SupportFolderTest, regionNamesOfOneRegionKeepEverySlotListThroughASave) {
    const std::string entry = R"({"regionToSlots":{"1":["a"],"01":["b"],"+1":["c"],"2":["d"]},)"
                              R"("regionToBundles":{"3":["x"],"003":["y"]}})";
    const std::vector<std::string> forms = {
        R"({"schemaVersion":2,"entries":{"D___L":)" + entry + R"(},"slotClaimSnapshots":{}})",
        R"({"D___L":)" + entry + "}",
        R"([{"displayUUID":"D","layoutID":"L"},)" + entry + "]",
    };
    // Joined in the byte order of the names: "+1", "01", "1".
    const RegionSlots expected = {{1, {"c", "b", "a"}}, {2, {"d"}}, {3, {"y", "x"}}};
    for (const auto& text : forms) {
        const LayoutMemoryStore store = decode(text);
        EXPECT_EQ(store.regionToSlots("D", "L"), expected) << text;
        store.save(home / LayoutMemoryStore::kFileName);
        EXPECT_EQ(decode(read(home / LayoutMemoryStore::kFileName)), store) << text;
    }
}

TEST(LayoutMemoryStore, aClaimIsFiledUnderItsOwnSlotID) {
    auto claimJSON = [](const char* slot, double at) {
        return std::string(R"({"slotID":")") + slot + R"(","regionID":1,"bundleID":"b","source":"x",)" +
               R"("committedAt":)" + std::to_string(at) + "}";
    };
    const LayoutMemoryStore store =
        decode(R"({"schemaVersion":2,"entries":{},"slotClaimSnapshots":{"D___L":{)"
               R"("a":)" +
               claimJSON("s", 20) + R"(,"s":)" + claimJSON("s", 10) + R"(,"t":)" + claimJSON("u", 5) +
               R"(,"v":)" + claimJSON("w", 7) + R"(,"w":)" + claimJSON("w", 7) + "}}}");
    const auto& claims = store.slotClaimSnapshotsByKey.at("D___L");
    ASSERT_EQ(claims.size(), 3u);
    for (const auto& [name, claim] : claims)
        EXPECT_EQ(name, claim.slotID);
    // Of the two claims of "s" the later commit stays, whichever name held it.
    EXPECT_EQ(claims.at("s").committedAt, *wallClockFromReferenceDate(20));
    EXPECT_EQ(claims.at("u").committedAt, *wallClockFromReferenceDate(5));
    EXPECT_EQ(decode(store.toJSON().dump()), store);
}

TEST_F(SupportFolderTest, aSlotThatIsNotUTF8LeavesTheMemorySavable) {
    LayoutMemoryStore store;
    store.map["D___L"].regionToSlots = {{1, {"org.example.Caf\xE9", "org.example.Editor"}}};
    store.recordSlotClaims("D", "L", {claim("org.example.Editor", 1, kStart, "org.example.Caf\xE9")});
    store.save(home / LayoutMemoryStore::kFileName);
    const LayoutMemoryStore back = decode(read(home / LayoutMemoryStore::kFileName));
    EXPECT_EQ(back.regionToSlots("D", "L"),
              (RegionSlots{{1, {"org.example.Caf\xEF\xBF\xBD", "org.example.Editor"}}}));
    EXPECT_EQ(back.slotClaimSnapshots("D", "L").at(0).bundleID, "org.example.Caf\xEF\xBF\xBD");
}

TEST(LayoutMemoryStore, recordingClaimsReplacesTheKey) {
    LayoutMemoryStore store;
    store.map["D___L"].regionToSlots = {{1, {"a"}}};
    store.recordSlotClaims(
        "D", "L",
        {claim("b", 2, kStart), claim("a", 1, kStart), claim("c", 1, kStart), claim("b", 3, kStart + 1)});
    // Region first, then slot id; of the two claims of "b" the later in the list.
    EXPECT_EQ(slotsOf(store.slotClaimSnapshots("D", "L")), (std::vector<std::string>{"a@1", "c@1", "b@3"}));

    store.recordSlotClaims("D", "L", {claim("z", 9, kStart)});
    EXPECT_EQ(slotsOf(store.slotClaimSnapshots("D", "L")), (std::vector<std::string>{"z@9"}));

    store.recordSlotClaims("D", "L", {});
    EXPECT_TRUE(store.slotClaimSnapshotsByKey.empty());                  // the key goes with its last claim
    EXPECT_EQ(store.regionToSlots("D", "L"), (RegionSlots{{1, {"a"}}})); // slot lists untouched
}

TEST(LayoutMemoryStore, remappingDisplaysMergesEntriesAndKeepsTheLaterClaim) {
    for (bool oldIsLater : {true, false}) {
        LayoutMemoryStore store;
        store.map["OLD___L"].regionToSlots = {{1, {"a"}}, {2, {"b"}}};
        store.map["NEW___L"].regionToSlots = {{1, {"c", "a"}}};
        store.recordSlotClaims(
            "OLD", "L",
            {claim("s1", 1, oldIsLater ? kStart + 5 : kStart, "old"), claim("s2", 2, kStart, "old")});
        store.recordSlotClaims("NEW", "L", {claim("s1", 1, oldIsLater ? kStart : kStart + 5, "new")});

        EXPECT_TRUE(store.remapDisplayUUIDs([](const std::string& d) { return d == "OLD" ? "NEW" : d; }));

        ASSERT_EQ(store.map.size(), 1u);
        auto slots = *store.regionToSlots("NEW", "L");
        ASSERT_EQ(slots[1].size(), 3u); // both lists, duplicates kept
        EXPECT_EQ(std::count(slots[1].begin(), slots[1].end(), "a"), 2);
        EXPECT_EQ(slots[2], (std::vector<std::string>{"b"}));
        auto claims = store.slotClaimSnapshots("NEW", "L");
        ASSERT_EQ(claims.size(), 2u);
        EXPECT_EQ(claims[0].bundleID, oldIsLater ? "old" : "new") << "old is later: " << oldIsLater;
        EXPECT_EQ(claims[0].committedAt, kStart + 5);
        EXPECT_EQ(claims[1].slotID, "s2");
    }
}

// A store that holds only slot lists, or only claims, is re-keyed all the same.
TEST(LayoutMemoryStore, remappingMovesEitherMapWhenTheOtherIsEmpty) {
    auto moved = [](const std::string& d) { return d == "OLD" ? std::string("NEW") : d; };
    LayoutMemoryStore slotsOnly;
    slotsOnly.map["OLD___L"].regionToSlots = {{1, {"a"}}};
    EXPECT_TRUE(slotsOnly.remapDisplayUUIDs(moved));
    EXPECT_EQ(slotsOnly.regionToSlots("NEW", "L"), (RegionSlots{{1, {"a"}}}));

    LayoutMemoryStore claimsOnly;
    claimsOnly.recordSlotClaims("OLD", "L", {claim("s1", 1, kStart)});
    EXPECT_TRUE(claimsOnly.remapDisplayUUIDs(moved));
    EXPECT_EQ(claimsOnly.slotClaimSnapshots("NEW", "L").size(), 1u);
    EXPECT_TRUE(claimsOnly.slotClaimSnapshots("OLD", "L").empty());
}

TEST(LayoutMemoryStore, remappingLeavesUnsplittableKeysAndSplitsAtTheFirstSeparator) {
    LayoutMemoryStore store;
    for (const char* key : {"nokey", "___L", "D___", "D___layout___x"})
        store.map[key].regionToSlots = {{1, {key}}};
    store.slotClaimSnapshotsByKey["nokey"]["s"] = claim("s", 1, kStart);
    const LayoutMemoryStore before = store;
    EXPECT_FALSE(store.remapDisplayUUIDs([](const std::string& d) { return d; }));
    EXPECT_EQ(store, before);

    std::vector<std::string> asked;
    EXPECT_TRUE(store.remapDisplayUUIDs([&](const std::string& d) {
        asked.push_back(d);
        return d + "2";
    }));
    EXPECT_EQ(asked, (std::vector<std::string>{"D"})); // only "D___layout___x" has both parts
    EXPECT_TRUE(store.map.count("D2___layout___x"));
    for (const char* key : {"nokey", "___L", "D___"})
        EXPECT_TRUE(store.map.count(key)) << key;
    EXPECT_TRUE(store.slotClaimSnapshotsByKey.count("nokey"));
}

TEST_F(SupportFolderTest, saveWritesPrettySchemaTwoAndKeepsARefusedOlderVersionAside) {
    const fs::path file = home / "layout-memory.json";
    write(file, R"({"schemaVersion":1,"entries":{},"slotClaimSnapshots":{}})");
    LayoutMemoryStore store;
    store.map["D___L"].regionToSlots = {{1, {"a"}}};
    store.save(file);

    EXPECT_EQ(read(file),
              "{\n  \"schemaVersion\": 2,\n  \"entries\": {\n    \"D___L\": {\n      \"regionToSlots\": {\n"
              "        \"1\": [\n          \"a\"\n        ]\n      }\n    }\n  },\n"
              "  \"slotClaimSnapshots\": {}\n}");
    EXPECT_EQ(read(home / "layout-memory.json.unreadable-2026-05-28T20:26:40Z"),
              R"({"schemaVersion":1,"entries":{},"slotClaimSnapshots":{}})");
}
