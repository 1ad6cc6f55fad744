// The user layout record: its JSON form, what it refuses, and how its zones compare.
#include "layouts/ConfigZoneSet.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

TEST(ConfigZoneSet, jsonKeepsEveryFieldAndLeavesOutAbsentOnes) {
    ConfigZoneSet set;
    set.id = "layout.full";
    set.displayUUID = "D1";
    set.name = "Everything";
    set.version = "2.0";
    set.layoutTree =
        LayoutNode::split(SplitAxis::vertical, 0.6, LayoutNode::region(1, "Top"), LayoutNode::region(2));
    set.xSplits = std::vector<double>{0.5};
    set.ySplits = std::vector<double>{0.25, 0.75};
    set.zones = std::vector<ConfigZone>{{3, "D1", Rect(0, 0.5, 1, 0.5), "Upper"},
                                        {4, "", Rect(0, 0, 1, 0.5), std::nullopt}};
    set.zoneMap = std::map<std::string, ConfigZoneSet::ZoneMetadata>{{"3", {"Upper", "3"}}, {"x", {}}};

    std::string text = set.toJSON().dump();
    EXPECT_EQ(text.find("\"id\""), 1u);
    EXPECT_LT(text.find("\"displayUUID\""), text.find("\"name\""));
    EXPECT_LT(text.find("\"version\""), text.find("\"layoutTree\""));
    EXPECT_NE(text.find("\"frame\":[[0.0,0.5],[1.0,0.5]]"), std::string::npos);
    EXPECT_EQ(ConfigZoneSet::fromJSON(json::parse(text)), set);

    ConfigZoneSet bare;
    bare.id = "layout.bare";
    bare.name = "Bare";
    EXPECT_EQ(bare.toJSON().dump(), "{\"id\":\"layout.bare\",\"name\":\"Bare\"}");
    EXPECT_EQ(
        ConfigZoneSet::fromJSON(json::parse("{\"id\":\"layout.bare\",\"name\":\"Bare\",\"displayUUID\":null,"
                                            "\"unknown\":[1]}")),
        bare);
}

TEST(ConfigZoneSet, malformedRecordsAreRefused) {
    const std::vector<std::string> rows = {
        "{\"name\":\"x\"}",
        "{\"id\":\"a\"}",
        "{\"id\":\"a\",\"name\":\"x\",\"xSplits\":[0.5,\"0.7\"]}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1.5,\"displayUUID\":\"D\",\"frame\":[[0,0],[1,1]]}]"
        "}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1,\"displayUUID\":\"D\",\"frame\":[[0,0],[1]]}]}",
        "{\"id\":\"a\",\"name\":\"x\",\"zones\":[{\"id\":1,\"frame\":[[0,0],[1,1]]}]}",
        "{\"id\":\"a\",\"name\":\"x\",\"layoutTree\":{\"type\":\"grid\"}}",
        "{\"id\":\"a\",\"name\":\"x\",\"zoneMap\":{\"1\":{\"name\":7}}}",
    };
    for (const auto& text : rows)
        EXPECT_THROW(ConfigZoneSet::fromJSON(json::parse(text)), std::runtime_error) << text;
}

TEST(ConfigZone, framesCompareAsTheRectanglesTheyCover) {
    ConfigZone a{1, "D", Rect(0.5, 0.5, -0.5, -0.25), std::nullopt};
    ConfigZone b{1, "D", Rect(0, 0.25, 0.5, 0.25), std::nullopt};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ConfigZone>{}(a), std::hash<ConfigZone>{}(b));
    b.name = "n";
    EXPECT_NE(a, b);
}
