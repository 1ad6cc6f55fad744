// The scene value: older keys, the folding of "default" entries against the connected screens, the
// cleaning rules, resolution against the screens and the JSON round trip.
#include "core/DecodingError.h"
#include "core/ISODate.h"
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

TEST(WMScene, olderSingleLayoutKeysFoldIntoTheOneConnectedScreen) {
    struct Row {
        const char* keys;
        std::vector<std::string> connected;
        RefMap expected;
    };
    const std::vector<Row> rows = {
        {R"({"layoutID":"a"})", {"A"}, {{"A", "a"}}},
        {R"({"layoutID":"a"})", {"A", "B"}, {}},
        {R"({"layoutID":"a"})", {}, {}},
        {R"({"layoutID":"  a \n"})", {"A"}, {{"A", "a"}}}, // trimmed after folding
        {R"({"primaryLayoutRef":"p"})", {"A"}, {{"A", "p"}}},
        {R"({"layoutID":"a","primaryLayoutRef":"p"})", {"A"}, {{"A", "a"}}},
        {R"({"layoutID":"","primaryLayoutRef":"p"})", {"A"}, {{"A", "p"}}},
        {R"({"layoutRefsByDisplay":{"A":"m"},"primaryLayoutRef":"p"})", {"A"}, {{"A", "m"}}},
        {R"({"layoutRefsByDisplay":{"A":"m"},"layoutID":"a"})", {"A", "B"}, {{"A", "m"}, {"B", "a"}}},
        // A blank older layout is no layout: it neither replaces A's own nor hides "primaryLayoutRef".
        {R"({"layoutRefsByDisplay":{"A":"m"},"layoutID":" \n"})", {"A"}, {{"A", "m"}}},
        {R"({"layoutID":"  ","primaryLayoutRef":"p"})", {"A"}, {{"A", "p"}}},
        {R"({"layoutRefsByDisplay":{"default":"d"},"layoutID":"a"})", {"A"}, {{"A", "d"}}},
        // The older map only when the current one is empty, not when it holds blanks only.
        {R"({"layoutRefsByDisplay":{},"layoutByDisplay":{"B":"old"}})", {"A"}, {{"B", "old"}}},
        {R"({"layoutRefsByDisplay":{"A":"new"},"layoutByDisplay":{"B":"old"}})", {"A"}, {{"A", "new"}}},
        {R"({"layoutRefsByDisplay":{"A":"  "},"layoutByDisplay":{"B":"old"}})", {"C", "D"}, {{"B", "old"}}},
    };
    for (const auto& row : rows) {
        WMScene scene = decode(json::parse(row.keys), screens(row.connected));
        EXPECT_EQ(scene.layoutRefsByDisplay, row.expected) << row.keys << " on " << row.connected.size();
    }
}

TEST(WMScene, defaultEntriesFoldIntoTheOneDisplayWithoutOwnEntry) {
    struct Row {
        std::vector<std::string> connected;
        RefMap refs;
        WMScene::WindowHintMap hints;
    };
    const json keys = json::parse(R"({"layoutRefsByDisplay":{"A":"a","default":"d"},"windowHints":{)"
                                  R"("A":[{"bundleID":"a.one","zoneID":1}],"default":[{"bundleID":"d.one",)"
                                  R"("zoneID":2},{"bundleID":"d.two","zoneID":3}]}})");
    const auto a = hint("a.one", 1), d1 = hint("d.one", 2), d2 = hint("d.two", 3);
    const std::vector<Row> rows = {
        // The only screen takes the default, replacing A's own reference and appending to its hints.
        {{"A"}, {{"A", "d"}}, {{"A", {a, d1, d2}}}},
        {{"B"}, {{"A", "a"}, {"B", "d"}}, {{"A", {a}}, {"B", {d1, d2}}}},
        {{"A", "B"}, {{"A", "a"}, {"B", "d"}}, {{"A", {a}}, {"B", {d1, d2}}}},
        {{"B", "C"}, {{"A", "a"}}, {{"A", {a}}}}, // two displays miss it: nobody gets it
        {{}, {{"A", "a"}}, {{"A", {a}}}},
    };
    for (const auto& row : rows) {
        WMScene scene = decode(keys, screens(row.connected));
        EXPECT_EQ(scene.layoutRefsByDisplay, row.refs) << ::testing::PrintToString(row.connected);
        EXPECT_EQ(scene.windowHints, row.hints) << ::testing::PrintToString(row.connected);
    }
}

TEST(WMScene, hotkeySlotAndTheOlderHotkey) {
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

TEST(WMScene, malformedScenesAreRejected) {
    EXPECT_THROW(WMScene::fromJSON(json::array(), screens({"A"}), kNow), DecodingError);
    const std::vector<std::string> wholeScenes = {
        R"({"name":"x"})",
        std::string(R"({"id":")") + kSceneID + R"("})",
        R"({"id":"not-a-uuid","name":"x"})",
        std::string(R"({"id":")") + kSceneID + R"(","name":3})",
    };
    for (const auto& text : wholeScenes)
        EXPECT_THROW(WMScene::fromJSON(json::parse(text), screens({"A"}), kNow), DecodingError) << text;

    const std::vector<const char*> members = {
        R"({"hotkeySlot":2.5})",
        R"({"hotkey":{"keyCode":2}})", // no modifiers
        R"({"windowHints":{"A":[{"bundleID":"x"}]}})",
        R"({"windowHints":{"A":[{"bundleID":"x","zoneID":1.5}]}})",
        R"({"windowHints":{"A":[{"bundleID":"x","zoneID":1,"normalizedFrame":{"x":0,"y":0,"width":1}}]}})",
        R"({"layoutRefsByDisplay":{"A":1}})",
        R"({"createdAt":"28/05/2026"})",
        R"({"createdAt":800000000})",
    };
    for (const char* text : members)
        EXPECT_THROW(decode(json::parse(text), screens({"A"})), DecodingError) << text;
}

TEST(WMScene, decodingDefaultsDatesRestoreModeAndIdCase) {
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

TEST(WMScene, displayKeyNormalisation) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"ABC", "ABC"},
        {"  ABC \n", "ABC"},
        {"ABC#2", "ABC"},
        {" ABC#note with # more", "ABC"},
        {"#tail", "default"}, // no display before the "#": the entry for a display without its own
        {" default #2", "default"},
        {"A #2", "A"}, // trimmed after the cut as well
        {"A\u00A0#2", "A"},
        {"", "default"},
        {" \t ", "default"},
        {" default ", "default"},
        {"\u00A0ABC\u2028", "ABC"}, // Unicode blanks are trimmed too
        {"DEF\u00C9", "DEF\u00C9"}, // a non-blank multi-byte letter at the end stays
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(WMScene::normalizedDisplayKey(in), out) << in;
}

TEST(WMScene, cleaningKeepsOneReferencePerKeyAndConcatenatesHints) {
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

TEST(WMScene, lookupForOneDisplay) {
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

TEST(WMScene, orderedDisplaysDropRepeatsAndNeedNoMainScreen) {
    EXPECT_EQ(WMScene::orderedDisplayUUIDs(screens({"A", "B", "A"}, "X")),
              (std::vector<std::string>{"A", "B"}));
    ScreenContext noMain = screens({"A", "B"});
    noMain.mainDisplayUUID.reset();
    EXPECT_EQ(WMScene::orderedDisplayUUIDs(noMain), (std::vector<std::string>{"A", "B"}));
}

TEST(WMScene, resolveDisplaysMatchesConnectedDisplays) {
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

TEST(WMScene, resolveDisplaysFallsBackToTheMainScreen) {
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

TEST(WMScene, fallbackHintsGoToTheOnlyDisplayWithAReferenceWhenItHasNone) {
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

TEST(WMScene, encodingWritesOnlyWhatIsSetInItsKeyOrderAndReadsBackWhole) {
    WMScene plain;
    plain.id = kSceneID;
    plain.name = "Plain";
    plain.createdAt = kNow;
    plain.updatedAt = kNow + 1'500'000'000; // 1.5 s later: the fraction is not written
    EXPECT_EQ(plain.toJSON().dump(),
              std::string("{\"id\":\"") + kSceneID +
                  "\",\"name\":\"Plain\",\"createdAt\":\"2026-05-28T20:26:40Z\",\"updatedAt\":"
                  "\"2026-05-28T20:26:41Z\",\"restoreMode\":\"layoutOnly\",\"layoutRefsByDisplay\":{}}");

    WMScene scene = plain;
    scene.hotkeySlot = 7;
    scene.layoutRefsByDisplay = {{"A", "layout.a"}, {"B", "builtin.daily"}};
    scene.windowHints = {{"A", {WindowHint{"com.x", 2, NormalizedFrame(0.25, 0, 0.5, 1)}, hint("com.y", 1)}},
                         {"B", {hint("com.z", 4)}}};
    // Through text and back, on a single screen that matches neither key: nothing is folded.
    WMScene back = WMScene::fromJSON(json::parse(scene.toJSON().dump()), screens({"OTHER"}), 0);
    EXPECT_EQ(back.windowHints, scene.windowHints);
    EXPECT_EQ(back.toJSON(), scene.toJSON());
}

TEST(WMScene, decodingTwiceGivesTheSameSceneAndNeverADefaultEntry) {
    struct Row {
        const char* keys;
        std::vector<std::string> connected;
        RefMap refs;
    };
    const std::vector<Row> rows = {
        // A key with nothing before its "#" stands for the display without an entry of its own.
        {R"({"layoutRefsByDisplay":{"#":"A","U1":"B"}})", {"U1", "U2"}, {{"U1", "B"}, {"U2", "A"}}},
        {R"({"layoutRefsByDisplay":{"#x":"A","U1":"B","U2":"C"}})", {"U1", "U2"}, {{"U1", "B"}, {"U2", "C"}}},
        {R"({"layoutRefsByDisplay":{" #x":"A"}})", {"U1"}, {{"U1", "A"}}},
        {R"({"layoutRefsByDisplay":{"#x":"A","U1":"B"},"layoutID":"L"})", {"U2"}, {{"U1", "B"}, {"U2", "A"}}},
        // White space before the "#" goes with the suffix.
        {R"({"layoutRefsByDisplay":{"U1 #2":"A","U2\t#1":"B"}})", {"U1"}, {{"U1", "A"}, {"U2", "B"}}},
    };
    const json hints = json::parse(R"({"#":[{"bundleID":"h.default","zoneID":1}],)"
                                   R"("U1 #2":[{"bundleID":"h.one","zoneID":2}]})");
    for (const auto& row : rows) {
        json keys = json::parse(row.keys);
        keys["windowHints"] = hints;
        const WMScene first = decode(keys, screens(row.connected));
        EXPECT_EQ(first.layoutRefsByDisplay, row.refs) << row.keys;
        EXPECT_FALSE(first.layoutRefsByDisplay.count("default")) << row.keys;
        EXPECT_FALSE(first.windowHints.count("default")) << row.keys;
        for (const auto& [key, list] : first.windowHints)
            EXPECT_EQ(key, WMScene::normalizedDisplayKey(key)) << row.keys;

        // Saved and read again on the same screens, and on one screen only: nothing moves any more.
        for (const auto& again : {screens(row.connected), screens({"U1"})}) {
            const WMScene second = WMScene::fromJSON(json::parse(first.toJSON().dump()), again, kNow);
            EXPECT_EQ(second.toJSON(), first.toJSON()) << row.keys << " on " << again.screens.size();
        }
    }
}
