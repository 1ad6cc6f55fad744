// Dragging application chips on the scene canvas: the text a chip carries and what is refused of text
// dropped from elsewhere, reordering within a zone, moves between zones and Excluded, and a move to another
// display written to the scene file at once.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "SceneEditorFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

namespace {

constexpr const char* kChip = "0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3";

std::string base64Of(const std::string& text) {
    static constexpr std::string_view a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        std::uint32_t n = static_cast<std::uint8_t>(text[i]) << 16;
        if (i + 1 < text.size()) n |= static_cast<std::uint8_t>(text[i + 1]) << 8;
        if (i + 2 < text.size()) n |= static_cast<std::uint8_t>(text[i + 2]);
        out += a[(n >> 18) & 63];
        out += a[(n >> 12) & 63];
        out += i + 1 < text.size() ? a[(n >> 6) & 63] : '=';
        out += i + 2 < text.size() ? a[n & 63] : '=';
    }
    return out;
}

TEST(SceneCanvasDragTextTest, aChipsTextRoundTripsAndForeignTextIsRefused) {
    const SceneCanvasDragPayload fromZone{kChip, "com.example.Mail", "D#1", 3};
    const SceneCanvasDragPayload fromExcluded{kChip, "com.example.Mail", "D", std::nullopt};
    const std::string zoneText = sceneCanvasDragText(fromZone);
    EXPECT_EQ(zoneText.rfind("korvane-scene-drag:", 0), 0u);
    EXPECT_EQ(sceneCanvasDragPayload(zoneText), fromZone);
    EXPECT_EQ(sceneCanvasDragPayload(sceneCanvasDragText(fromExcluded)), fromExcluded);
    EXPECT_EQ(sceneCanvasDragText(fromExcluded),
              "korvane-scene-drag:" +
                  base64Of(R"({"appID":")" + std::string(kChip) +
                           R"(","bundleID":"com.example.Mail","sourceDisplayUUID":"D"})"));
    // Text that cannot be written as JSON falls back to the chip's id.
    EXPECT_EQ(sceneCanvasDragText({kChip, "bad\xff", "D", 1}), kChip);

    struct Case {
        const char* what;
        std::string text;
        std::optional<std::string> appID;
    };
    const std::string prefix = "korvane-scene-drag:";
    const std::string lower = "0a1b2c3d-4e5f-4a6b-8c7d-8e9fa0b1c2d3";
    const std::vector<Case> cases{
        {"invalid Base64", prefix + "%%%", std::nullopt},
        {"Base64 without its padding", prefix + base64Of(R"({"appID":"x"})").substr(0, 17), std::nullopt},
        {"a bare UUID in lower case", lower, kChip},
        {"a bare word", "com.example.Mail", std::nullopt},
        {"JSON that is no object", prefix + base64Of("[1]"), std::nullopt},
        {"an appID that is no UUID",
         prefix + base64Of(R"({"appID":"chip","bundleID":"b","sourceDisplayUUID":"D"})"), std::nullopt},
        {"a numeric bundle id",
         prefix + base64Of(R"({"appID":")" + lower + R"(","bundleID":7,"sourceDisplayUUID":"D"})"),
         std::nullopt},
        {"a zone given as text",
         prefix + base64Of(R"({"appID":")" + lower +
                           R"(","bundleID":"b","sourceDisplayUUID":"D","sourceZoneID":"2"})"),
         std::nullopt},
        {"a display missing", prefix + base64Of(R"({"appID":")" + lower + R"(","bundleID":"b"})"),
         std::nullopt},
        {"a complete payload in lower case",
         prefix + base64Of(R"({"appID":")" + lower + R"(","bundleID":"b","sourceDisplayUUID":"D"})"), kChip},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sceneCanvasDraggedAppID(c.text), c.appID);
    }

    EXPECT_EQ(sceneCanvasDisplayKey("X#1"), sceneCanvasDisplayKey("X#2"));
    EXPECT_EQ(sceneCanvasDisplayKey("X"), "X");
    EXPECT_EQ(sceneCanvasDisplayKey("#1"), "");
}

// JSON of each length modulo three: Base64 ending in no, one and two padding characters.
TEST(SceneCanvasDragTextTest, payloadsOfEveryLengthAreWrittenWithTheirPaddingAndReadBack) {
    for (const std::string bundle : {"com.example.a", "com.example.ab", "com.example.abc"}) {
        SCOPED_TRACE(bundle);
        const SceneCanvasDragPayload payload{kChip, bundle, "D", 2};
        const std::string text = sceneCanvasDragText(payload);
        EXPECT_EQ(text, "korvane-scene-drag:" +
                            base64Of(R"({"appID":")" + std::string(kChip) + R"(","bundleID":")" + bundle +
                                     R"(","sourceDisplayUUID":"D","sourceZoneID":2})"));
        EXPECT_EQ(sceneCanvasDragPayload(text), payload);
    }
}

class SceneCanvasDragTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        addDisplay("A");
        addDisplay("B", Rect{1000, 0, 1000, 600});
    }
    static std::vector<std::string> bundles(const std::vector<SceneCanvasAppEntry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.bundleID);
        return out;
    }
    static WindowHint hint(const std::string& bundleID, std::int64_t zone) {
        return {bundleID, zone, std::nullopt};
    }
};

TEST_F(SceneCanvasDragTest, chipsMoveWithinAZoneBetweenZonesAndToAndFromExcluded) {
    using Names = std::vector<std::string>;
    struct Case {
        const char* what;
        std::function<bool(SceneGeometryCanvasModel&)> drop;
        bool taken;
        Names zone1, zone2, excluded;
    };
    // Zone 1 holds A, B, C; zone 2 X, Y; Excluded E (its hint names a zone the layout lacks).
    const auto chip = [](SceneGeometryCanvasModel& c, std::int64_t zone, std::size_t i) {
        return c.dragPayload(c.zoneApps().at(zone).at(i), zone);
    };
    const std::vector<Case> cases{
        {"B onto index 0 of its zone", [&](auto& c) { return c.dropApp(chip(c, 1, 1), 1, 0); }, true,
         Names{"B", "A", "C"}, Names{"X", "Y"}, Names{"E"}},
        {"B onto index 5 of its zone", [&](auto& c) { return c.dropApp(chip(c, 1, 1), 1, 5); }, true,
         Names{"A", "C", "B"}, Names{"X", "Y"}, Names{"E"}},
        {"B onto its own zone", [&](auto& c) { return c.dropTextsOnZone({chip(c, 1, 1)}, 1); }, true,
         Names{"A", "C", "B"}, Names{"X", "Y"}, Names{"E"}},
        {"Excluded onto index 1 of zone 2",
         [](auto& c) { return c.dropApp(c.dragPayloadForExcluded(c.excludedApps().at(0)), 2, 1); }, true,
         Names{"A", "B", "C"}, Names{"X", "E", "Y"}, Names{}},
        {"A onto Excluded", [&](auto& c) { return c.dropTextsOnExcluded({chip(c, 1, 0)}); }, true,
         Names{"B", "C"}, Names{"X", "Y"}, Names{"E", "A"}},
        {"Excluded onto Excluded",
         [](auto& c) { return c.dropAppOnExcluded(c.dragPayloadForExcluded(c.excludedApps().at(0))); }, false,
         Names{"A", "B", "C"}, Names{"X", "Y"}, Names{"E"}},
        {"a chip that no longer exists", [](auto& c) { return c.dropApp(kChip, 2, std::nullopt); }, false,
         Names{"A", "B", "C"}, Names{"X", "Y"}, Names{"E"}},
        {"undecodable text", [](auto& c) { return c.dropApp("korvane-scene-drag:%%%", 2, 0); }, false,
         Names{"A", "B", "C"}, Names{"X", "Y"}, Names{"E"}},
        {"nothing dropped", [](auto& c) { return c.dropTextsOnZone({}, 2); }, false, Names{"A", "B", "C"},
         Names{"X", "Y"}, Names{"E"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string id = storeScene(
            "Work", {{"A", "builtin.split-50-50"}},
            {{"A", {hint("A", 1), hint("B", 1), hint("C", 1), hint("X", 2), hint("Y", 2), hint("E", 9)}}});
        auto canvas = showCanvas(canvasInputs(id, "A"));
        canvas->setDropTarget(2, true);
        EXPECT_EQ(c.drop(*canvas), c.taken);
        EXPECT_EQ(bundles(canvas->zoneApps().at(1)), c.zone1);
        EXPECT_EQ(bundles(canvas->zoneApps().at(2)), c.zone2);
        EXPECT_EQ(bundles(canvas->excludedApps()), c.excluded);
        EXPECT_EQ(canvas->isWindowHintsDirty(), c.taken);
    }
}

TEST_F(SceneCanvasDragTest, aChipFromAnotherDisplayIsMovedInTheSceneFileAtOnce) {
    struct Case {
        const char* what;
        std::optional<std::int64_t> sourceZone;
        bool toExcluded;
        std::string target; // the canvas's display
        bool taken;
        json hints;
    };
    const std::vector<Case> cases{
        {"from zone 3 to zone 2", 3, false, "B", true,
         json::parse(R"({"A": [["S", 1], ["M", 2]], "B": [["S", 2]]})")},
        {"from a stale zone 5", 5, false, "B", true,
         json::parse(R"({"A": [["M", 2], ["S", 3]], "B": [["S", 2]]})")},
        {"onto the other display's Excluded", 3, true, "B", true,
         json::parse(R"({"A": [["S", 1], ["M", 2]]})")},
        {"between two keys of one display", 3, false, "A#2", false,
         json::parse(R"({"A": [["S", 1], ["M", 2], ["S", 3]]})")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        saves = 0;
        const std::string id = storeScene("Work", {{"B", "builtin.split-50-50"}},
                                          {{"A", {hint("S", 1), hint("M", 2), hint("S", 3)}}});
        auto canvas = showCanvas(canvasInputs(id, c.target));
        const std::string text = sceneCanvasDragText({kChip, "S", "A#1", c.sourceZone});
        EXPECT_EQ(c.toExcluded ? canvas->dropAppOnExcluded(text) : canvas->dropApp(text, 2, std::nullopt),
                  c.taken);
        json stored = json::object();
        for (const auto& [display, hints] : storedScene(id).windowHints) {
            for (const auto& h : hints)
                stored[display].push_back(json::array({h.bundleID, h.zoneID}));
        }
        EXPECT_EQ(stored, c.hints);
        EXPECT_EQ(saves, c.taken ? 1 : 0);
        EXPECT_FALSE(canvas->isWindowHintsDirty());
    }
}

// A chip added on the source canvas and not yet saved stands for no hint of the file: dragged to the other
// display, it takes none of the other xterm's with it.
TEST_F(SceneCanvasDragTest, anUnsavedChipDraggedToTheOtherDisplayLeavesTheSourcesStoredHintsAlone) {
    const std::string id = storeScene("Work", {{"A", "builtin.split-50-50"}, {"B", "builtin.split-50-50"}},
                                      {{"A", {hint("xterm", 2)}}});
    std::map<std::string, std::shared_ptr<SceneGeometryCanvasModel>> canvases;
    const auto shown = [&](const std::string& display) {
        SceneGeometryCanvasModel::Inputs inputs = canvasInputs(id, display);
        inputs.canvasOfDisplay = [&canvases](const std::string& uuid) { return canvases[uuid]; };
        return canvases[display] = showCanvas(std::move(inputs));
    };
    auto source = shown("A");
    auto target = shown("B");
    source->addApp("xterm", 1);

    ASSERT_TRUE(target->dropApp(source->dragPayload(source->zoneApps().at(1).at(0), 1), 2, std::nullopt));
    json stored = json::object();
    for (const auto& [display, hints] : storedScene(id).windowHints)
        for (const auto& h : hints)
            stored[display].push_back(json::array({h.bundleID, h.zoneID}));
    EXPECT_EQ(stored, json::parse(R"({"A": [["xterm", 2]], "B": [["xterm", 2]]})"));
    EXPECT_TRUE(source->zoneApps().at(1).empty());
    EXPECT_EQ(bundles(source->zoneApps().at(2)), std::vector<std::string>{"xterm"});
    EXPECT_EQ(bundles(target->zoneApps().at(2)), std::vector<std::string>{"xterm"});
}

} // namespace
