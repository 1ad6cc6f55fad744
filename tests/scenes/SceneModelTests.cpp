// The scene value: older keys, the folding of "default" entries against the connected screens, the
// cleaning rules, resolution against the screens and the JSON round trip.
#include "core/ISODate.h"
#include "core/JSONFields.h"
#include "scenes/model/ActiveSceneState.h"
#include "scenes/model/WMScene.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

namespace {

const char* kSceneID = "5A0C3E4B-1D2F-4A6B-8C9D-0E1F2A3B4C5D";
const Nanos kNow = 1'780'000'000LL * kNanosPerSecond;

platform::ScreenInfo screen(const std::string& uuid, Rect visible = Rect(0, 0, 1000, 800)) {
    platform::ScreenInfo s;
    s.frame = visible;
    s.visibleFrame = visible;
    s.displayUUID = uuid;
    return s;
}

ScreenContext screens(std::vector<std::string> uuids, std::optional<std::string> main = std::nullopt) {
    ScreenContext c;
    for (auto& u : uuids)
        c.screens.push_back(screen(u));
    c.mainDisplayUUID =
        main ? main : (uuids.empty() ? std::nullopt : std::optional<std::string>(uuids.front()));
    return c;
}

json sceneJSON(json extra) {
    json j = {{"id", kSceneID}, {"name", "Work"}};
    j.update(extra);
    return j;
}

WMScene decode(const json& extra, const ScreenContext& ctx) {
    return WMScene::fromJSON(sceneJSON(extra), ctx, kNow);
}

WindowHint hint(std::string bundle, std::int64_t zone) {
    return WindowHint{std::move(bundle), zone, std::nullopt};
}

using RefMap = std::map<std::string, std::string>;

} // namespace

TEST(SceneModel, olderSingleLayoutKeysFoldIntoTheOneConnectedScreen) {
    struct Row {
        const char* what;
        json keys;
        std::vector<std::string> connected;
        RefMap expected;
    };
    const std::vector<Row> rows = {
        {"layoutID, one screen", {{"layoutID", "layout.a"}}, {"A"}, {{"A", "layout.a"}}},
        {"layoutID, two screens", {{"layoutID", "layout.a"}}, {"A", "B"}, {}},
        {"layoutID, no screen", {{"layoutID", "layout.a"}}, {}, {}},
        {"layoutID is trimmed after folding", {{"layoutID", "  layout.a \n"}}, {"A"}, {{"A", "layout.a"}}},
        {"primaryLayoutRef when nothing else",
         {{"primaryLayoutRef", "layout.p"}},
         {"A"},
         {{"A", "layout.p"}}},
        {"layoutID beats primaryLayoutRef",
         {{"layoutID", "layout.a"}, {"primaryLayoutRef", "layout.p"}},
         {"A"},
         {{"A", "layout.a"}}},
        {"a map entry beats primaryLayoutRef",
         {{"layoutRefsByDisplay", {{"A", "layout.m"}}}, {"primaryLayoutRef", "layout.p"}},
         {"A"},
         {{"A", "layout.m"}}},
        {"layoutID fills the one display without an entry",
         {{"layoutRefsByDisplay", {{"A", "layout.m"}}}, {"layoutID", "layout.a"}},
         {"A", "B"},
         {{"A", "layout.m"}, {"B", "layout.a"}}},
        {"layoutID does not replace a default entry",
         {{"layoutRefsByDisplay", {{"default", "layout.d"}}}, {"layoutID", "layout.a"}},
         {"A"},
         {{"A", "layout.d"}}},
        {"empty layoutID is ignored",
         {{"layoutID", ""}, {"primaryLayoutRef", "layout.p"}},
         {"A"},
         {{"A", "layout.p"}}},
        {"empty current map falls back to the older map",
         {{"layoutRefsByDisplay", json::object()}, {"layoutByDisplay", {{"B", "layout.old"}}}},
         {"A"},
         {{"B", "layout.old"}}},
        {"a current entry makes the older map ignored",
         {{"layoutRefsByDisplay", {{"A", "layout.new"}}}, {"layoutByDisplay", {{"B", "layout.old"}}}},
         {"A"},
         {{"A", "layout.new"}}},
        {"the older map is not used when the current map only has blanks",
         {{"layoutRefsByDisplay", {{"A", "  "}}}, {"layoutByDisplay", {{"B", "layout.old"}}}},
         {"C", "D"},
         {{"B", "layout.old"}}},
    };
    for (const auto& row : rows) {
        WMScene scene = decode(row.keys, screens(row.connected));
        EXPECT_EQ(scene.layoutRefsByDisplay, row.expected) << row.what;
    }
}

TEST(SceneModel, defaultEntryFoldsAgainstOneAndTwoConnectedScreens) {
    struct Row {
        std::vector<std::string> connected;
        RefMap expected;
    };
    const json keys = {{"layoutRefsByDisplay", {{"A", "layout.a"}, {"default", "layout.d"}}}};
    const std::vector<Row> rows = {
        {{"A"}, {{"A", "layout.d"}}},                         // the only screen takes it, replacing A's own
        {{"B"}, {{"A", "layout.a"}, {"B", "layout.d"}}},      // the one missing display
        {{"A", "B"}, {{"A", "layout.a"}, {"B", "layout.d"}}}, // B is the one display without an entry
        {{"B", "C"}, {{"A", "layout.a"}}},                    // two displays miss it: nobody gets it
        {{}, {{"A", "layout.a"}}},
    };
    for (const auto& row : rows) {
        WMScene scene = decode(keys, screens(row.connected));
        EXPECT_EQ(scene.layoutRefsByDisplay, row.expected) << ::testing::PrintToString(row.connected);
        EXPECT_FALSE(scene.layoutRefsByDisplay.count("default"));
    }
}

TEST(SceneModel, defaultHintsAreAppendedToTheDisplayThatTakesThem) {
    const json keys = {
        {"windowHints",
         {{"A", {{{"bundleID", "a.one"}, {"zoneID", 1}}}},
          {"default", {{{"bundleID", "d.one"}, {"zoneID", 2}}, {{"bundleID", "d.two"}, {"zoneID", 3}}}}}}};

    WMScene onlyA = decode(keys, screens({"A"}));
    EXPECT_EQ(onlyA.windowHints,
              (WMScene::WindowHintMap{{"A", {hint("a.one", 1), hint("d.one", 2), hint("d.two", 3)}}}));

    WMScene twoMissing = decode(keys, screens({"B", "C"}));
    EXPECT_EQ(twoMissing.windowHints, (WMScene::WindowHintMap{{"A", {hint("a.one", 1)}}}));

    WMScene oneMissing = decode(keys, screens({"A", "B"}));
    EXPECT_EQ(oneMissing.windowHints, (WMScene::WindowHintMap{{"A", {hint("a.one", 1)}},
                                                              {"B", {hint("d.one", 2), hint("d.two", 3)}}}));
}

TEST(SceneModel, hotkeySlotAndTheOlderHotkey) {
    struct Row {
        const char* what;
        json keys;
        std::optional<int> expected;
    };
    const json hotkey3 = {{"modifiers", {"cmd", "alt"}}, {"keyCode", 3}};
    const std::vector<Row> rows = {
        {"slot 1", {{"hotkeySlot", 1}}, 1},
        {"slot 9", {{"hotkeySlot", 9}}, 9},
        {"slot 0, no hotkey", {{"hotkeySlot", 0}}, std::nullopt},
        {"slot 10, no hotkey", {{"hotkeySlot", 10}}, std::nullopt},
        {"slot 0 with hotkey 3", {{"hotkeySlot", 0}, {"hotkey", hotkey3}}, 3},
        {"slot 10 with hotkey 3", {{"hotkeySlot", 10}, {"hotkey", hotkey3}}, 3},
        {"slot 4 ignores a malformed hotkey", {{"hotkeySlot", 4}, {"hotkey", {{"keyCode", "x"}}}}, 4},
        {"hotkey key code 12", {{"hotkey", {{"modifiers", json::array()}, {"keyCode", 12}}}}, std::nullopt},
        {"hotkey key code 0", {{"hotkey", {{"modifiers", json::array()}, {"keyCode", 0}}}}, std::nullopt},
        {"null slot reads as absent", {{"hotkeySlot", nullptr}, {"hotkey", hotkey3}}, 3},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decode(row.keys, screens({"A"})).hotkeySlot, row.expected) << row.what;
}

TEST(SceneModel, malformedScenesAreRejected) {
    struct Row {
        const char* what;
        json document;
    };
    const std::vector<Row> rows = {
        {"no id", {{"name", "x"}}},
        {"no name", {{"id", kSceneID}}},
        {"id is not a UUID", {{"id", "not-a-uuid"}, {"name", "x"}}},
        {"name is a number", {{"id", kSceneID}, {"name", 3}}},
        {"fractional slot", sceneJSON({{"hotkeySlot", 2.5}})},
        {"hotkey without modifiers", sceneJSON({{"hotkey", {{"keyCode", 2}}}})},
        {"hint without zoneID", sceneJSON({{"windowHints", {{"A", {{{"bundleID", "x"}}}}}}})},
        {"hint with fractional zoneID",
         sceneJSON({{"windowHints", {{"A", {{{"bundleID", "x"}, {"zoneID", 1.5}}}}}}})},
        {"frame without height",
         sceneJSON({{"windowHints",
                     {{"A",
                       {{{"bundleID", "x"},
                         {"zoneID", 1},
                         {"normalizedFrame", {{"x", 0}, {"y", 0}, {"width", 1}}}}}}}}})},
        {"layout reference that is not text", sceneJSON({{"layoutRefsByDisplay", {{"A", 1}}}})},
        {"date in another form", sceneJSON({{"createdAt", "28/05/2026"}})},
        {"date as a number", sceneJSON({{"createdAt", 800000000}})},
        {"not an object", json::array()},
    };
    for (const auto& row : rows)
        EXPECT_THROW(WMScene::fromJSON(row.document, screens({"A"}), kNow), DecodingError) << row.what;
}

TEST(SceneModel, decodingDefaultsDatesRestoreModeAndIdCase) {
    WMScene scene =
        decode({{"restoreMode", "fullGeometry"}, {"geometryByDisplay", {{"A", 1}}}}, screens({"A"}));
    EXPECT_EQ(scene.createdAt, kNow);
    EXPECT_EQ(scene.updatedAt, kNow);
    EXPECT_EQ(scene.toJSON()["restoreMode"], "layoutOnly");

    WMScene created = decode({{"createdAt", "2026-01-02T03:04:05Z"}}, screens({"A"}));
    EXPECT_EQ(created.updatedAt, created.createdAt);
    EXPECT_EQ(isoDateString(created.updatedAt), "2026-01-02T03:04:05Z");

    // Lower-case ids are read and kept upper-case.
    EXPECT_EQ(
        WMScene::fromJSON({{"id", "5a0c3e4b-1d2f-4a6b-8c9d-0e1f2a3b4c5d"}, {"name", "x"}}, screens({}), kNow)
            .id,
        kSceneID);
}

TEST(SceneModel, displayKeyNormalisation) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"ABC", "ABC"},
        {"  ABC \n", "ABC"},
        {"ABC#2", "ABC"},
        {" ABC#note with # more", "ABC"},
        {"#tail", ""},
        {"", "default"},
        {" \t ", "default"},
        {" default ", "default"},
        {"\u00A0ABC\u2028", "ABC"}, // Unicode blanks are trimmed too
        {"DEF\u00C9", "DEF\u00C9"}, // a non-blank multi-byte letter at the end stays
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(WMScene::normalizedDisplayKey(in), out) << in;
}

TEST(SceneModel, cleaningKeepsOneReferencePerKeyAndConcatenatesHints) {
    RefMap refs = WMScene::sanitizedLayoutRefs(
        {{" A", "layout.1"}, {"A#x", "layout.2"}, {"A", " layout.3 "}, {"B", "   "}, {"", "layout.d"}});
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_TRUE(refs.at("A") == "layout.1" || refs.at("A") == "layout.2" || refs.at("A") == "layout.3");
    EXPECT_EQ(refs.at("default"), "layout.d");
    EXPECT_FALSE(refs.count("B"));

    auto hints = WMScene::sanitizedWindowHints(
        {{" A", {hint("x", 1)}}, {"A#2", {hint("y", 2), hint("x", 1)}}, {"B", {}}});
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints.at("A").size(), 3u); // neither changed nor deduplicated
}

TEST(SceneModel, lookupForOneDisplay) {
    WMScene scene;
    EXPECT_EQ(scene.layoutRef("A"), std::nullopt);
    scene.layoutRefsByDisplay = {{"B", "layout.b"}};
    EXPECT_EQ(scene.layoutRef("A"), "layout.b"); // the single entry, whatever its key
    scene.layoutRefsByDisplay = {{"B", "layout.b"}, {"C", "layout.c"}};
    EXPECT_EQ(scene.layoutRef("A"), std::nullopt);
    EXPECT_EQ(scene.layoutRef("C"), "layout.c");

    scene.windowHints = {{"B", {hint("b", 1)}}};
    EXPECT_EQ(scene.windowHintsForDisplay("A"), std::vector<WindowHint>{hint("b", 1)});
    scene.windowHints["C"] = {hint("c", 2)};
    EXPECT_TRUE(scene.windowHintsForDisplay("A").empty());
}

TEST(SceneModel, orderedDisplaysDropRepeatsAndNeedNoMainScreen) {
    EXPECT_EQ(WMScene::orderedDisplayUUIDs(screens({"A", "B", "A"}, "X")),
              (std::vector<std::string>{"A", "B"}));
    ScreenContext noMain = screens({"A", "B"});
    noMain.mainDisplayUUID.reset();
    EXPECT_EQ(WMScene::orderedDisplayUUIDs(noMain), (std::vector<std::string>{"A", "B"}));
}

TEST(SceneModel, resolveDisplaysMatchesConnectedDisplays) {
    WMScene scene;
    scene.layoutRefsByDisplay = {{"A", "layout.a"}, {"M", "layout.m"}, {"GONE", "layout.g"}};
    scene.windowHints = {{"A", {hint("a", 1)}}, {"B", {hint("b", 1)}}, {"GONE", {hint("g", 1)}}};

    SceneDisplayResolution r = scene.resolveDisplays(screens({"A", "B", "M"}, "M"));
    EXPECT_EQ(r.orderedDisplayUUIDs, (std::vector<std::string>{"M", "B", "A"}));
    EXPECT_EQ(r.matchedDisplayUUIDs, (std::set<std::string>{"A", "M"}));
    EXPECT_EQ(r.fallbackDisplayUUID, std::nullopt);
    EXPECT_EQ(r.layoutRefs, (RefMap{{"A", "layout.a"}, {"M", "layout.m"}}));
    // B has hints but no layout reference, so it gets none.
    EXPECT_EQ(r.windowHints, (WMScene::WindowHintMap{{"A", {hint("a", 1)}}}));
}

TEST(SceneModel, resolveDisplaysFallsBackToTheMainScreen) {
    WMScene scene;
    scene.layoutRefsByDisplay = {{"GONE", "layout.g"}};
    scene.windowHints = {{"GONE", {hint("g", 1), hint("h", 2)}}};

    SceneDisplayResolution r = scene.resolveDisplays(screens({"A", "M"}, "M"));
    EXPECT_EQ(r.fallbackDisplayUUID, "M");
    EXPECT_TRUE(r.matchedDisplayUUIDs.empty());
    EXPECT_EQ(r.layoutRefs, (RefMap{{"M", "layout.g"}}));
    EXPECT_EQ(r.windowHints, (WMScene::WindowHintMap{{"M", {hint("g", 1), hint("h", 2)}}}));

    WMScene two;
    two.layoutRefsByDisplay = {{"GONE1", "layout.1"}, {"GONE2", "layout.2"}};
    SceneDisplayResolution none = two.resolveDisplays(screens({"A", "M"}, "M"));
    EXPECT_TRUE(none.layoutRefs.empty());
    EXPECT_EQ(none.fallbackDisplayUUID, std::nullopt);

    SceneDisplayResolution empty = scene.resolveDisplays(screens({}));
    EXPECT_TRUE(empty.orderedDisplayUUIDs.empty());
    EXPECT_TRUE(empty.layoutRefs.empty());
}

TEST(SceneModel, fallbackHintsGoToTheOnlyDisplayWithAReferenceWhenItHasNone) {
    WMScene scene;
    scene.layoutRefsByDisplay = {{"A", "layout.a"}};
    scene.windowHints = {{"GONE", {hint("g", 1)}}};
    SceneDisplayResolution r = scene.resolveDisplays(screens({"A", "B"}, "B"));
    EXPECT_EQ(r.fallbackDisplayUUID, std::nullopt);
    EXPECT_EQ(r.windowHints, (WMScene::WindowHintMap{{"A", {hint("g", 1)}}}));

    // Two displays with references: nobody takes the fallback hints.
    scene.layoutRefsByDisplay["B"] = "layout.b";
    r = scene.resolveDisplays(screens({"A", "B"}, "B"));
    EXPECT_TRUE(r.windowHints.empty());
    scene.layoutRefsByDisplay.erase("B");

    // With its own hints, the display keeps them and the fallback list is not used.
    scene.windowHints["A"] = {hint("a", 3)};
    r = scene.resolveDisplays(screens({"A", "B"}, "B"));
    EXPECT_EQ(r.windowHints, (WMScene::WindowHintMap{{"A", {hint("a", 3)}}}));
}

TEST(SceneModel, encodingWritesOnlyWhatIsSetInItsKeyOrder) {
    WMScene scene;
    scene.id = kSceneID;
    scene.name = "Plain";
    scene.createdAt = kNow;
    scene.updatedAt = kNow + 1'500'000'000; // 1.5 s later: the fraction is not written
    std::string text = scene.toJSON().dump();
    EXPECT_EQ(text,
              std::string("{\"id\":\"") + kSceneID +
                  "\",\"name\":\"Plain\",\"createdAt\":\"2026-05-28T20:26:40Z\",\"updatedAt\":"
                  "\"2026-05-28T20:26:41Z\",\"restoreMode\":\"layoutOnly\",\"layoutRefsByDisplay\":{}}");
}

TEST(SceneModel, roundTripKeepsEveryField) {
    WMScene scene;
    scene.id = kSceneID;
    scene.name = "Full";
    scene.createdAt = kNow;
    scene.updatedAt = kNow + 60 * kNanosPerSecond;
    scene.hotkeySlot = 7;
    scene.layoutRefsByDisplay = {{"A", "layout.a"}, {"B", "builtin.daily"}};
    scene.windowHints = {{"A", {WindowHint{"com.x", 2, NormalizedFrame(0.25, 0, 0.5, 1)}, hint("com.y", 1)}},
                         {"B", {hint("com.z", 4)}}};

    // Through text and back, on a single screen that matches neither key: nothing is folded.
    WMScene back = WMScene::fromJSON(json::parse(scene.toJSON().dump()), screens({"OTHER"}), 0);
    EXPECT_EQ(back.windowHints, scene.windowHints);
    EXPECT_EQ(back.toJSON(), scene.toJSON());
}

TEST(ISODate, readsFractionsAndOffsetsAndWritesWholeSecondsInUTC) {
    const Nanos base = *parseISODate("2026-05-28T09:05:00Z");
    EXPECT_EQ(isoDateString(base), "2026-05-28T09:05:00Z");
    struct Row {
        const char* text;
        std::optional<Nanos> expected;
    };
    const std::vector<Row> rows = {
        {"2026-05-28T09:05:00.250Z", base + 250'000'000},
        {"2026-05-28T09:05:00.123456789123Z", base + 123'456'789},
        {"2026-05-28T11:05:00+02:00", base},
        {"2026-05-28T04:35:00-0430", base},
        {"2026-05-28T10:05:00+01", base},
        {"2026-05-28t09:05:00z", base},
        {"2026-05-28T09:05:00", std::nullopt}, // no zone
        {"2026-05-28 09:05:00Z", std::nullopt},
        {"2026-02-29T00:00:00Z", std::nullopt}, // not a leap year
        {"2026-13-01T00:00:00Z", std::nullopt},
        {"2026-05-28T24:00:00Z", std::nullopt},
        {"2026-05-28T09:05:00.Z", std::nullopt},
        {"2026-05-28T09:05:00Zjunk", std::nullopt},
        {"9999-01-01T00:00:00Z", std::nullopt}, // beyond 64-bit nanoseconds
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parseISODate(row.text), row.expected) << row.text;

    EXPECT_EQ(parseISODate("2024-02-29T00:00:00Z").has_value(), true);
    EXPECT_EQ(isoDateString(-1), "1969-12-31T23:59:59Z"); // fractions round towards the past
    EXPECT_EQ(isoDateString(0), "1970-01-01T00:00:00Z");
}

TEST(NormalizedFrame, fractionsOfTheVisibleFrameClampedToTheUnitRange) {
    platform::ScreenInfo s = screen("A", Rect(100, 50, 1000, 800));
    EXPECT_EQ(NormalizedFrame(Rect(350, 450, 500, 400), s), NormalizedFrame(0.25, 0.5, 0.5, 0.5));
    EXPECT_EQ(NormalizedFrame(Rect(-200, 50, 2000, 800), s),
              NormalizedFrame(0, 0, 1, 1)); // off the left edge
    EXPECT_EQ(NormalizedFrame(Rect(10, 10, 10, 10), screen("Z", Rect(0, 0, 0, 800))),
              NormalizedFrame(0, 0, 1, 1));
    EXPECT_EQ(std::hash<NormalizedFrame>{}(NormalizedFrame(-0.0, 0, 1, 1)),
              std::hash<NormalizedFrame>{}(NormalizedFrame(0.0, 0, 1, 1)));
}

TEST(ActiveSceneState, keysOnlyWhenSetAndRoundTrip) {
    EXPECT_EQ(ActiveSceneState{}.toJSON().dump(), "{}");
    EXPECT_EQ(ActiveSceneState::fromJSON(json::object()), ActiveSceneState{});

    ActiveSceneState state{std::string(kSceneID), kNow};
    EXPECT_EQ(ActiveSceneState::fromJSON(json::parse(state.toJSON().dump())), state);
    EXPECT_THROW(ActiveSceneState::fromJSON({{"activeSceneID", "nope"}}), DecodingError);
}
