// Layout tree nodes: their JSON form and its limits, structural equality, and copies of very deep trees.
#include "LayoutTestSupport.h"
#include "core/DecodingError.h"
#include "layouts/LayoutNode.h"
#include "layouts/LayoutTreeModel.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace korvane {
namespace {

nlohmann::json nestedJSON(int levels) {
    nlohmann::json node = {{"type", "region"}, {"id", 1}};
    for (int i = 1; i < levels; ++i) {
        node = nlohmann::json{{"type", "split"},
                              {"axis", "horizontal"},
                              {"ratio", 0.5},
                              {"left", {{"type", "region"}, {"id", 2}}},
                              {"right", std::move(node)}};
    }
    return node;
}

TEST(LayoutNodeJSON, readsAndWritesKeysInOrderLeavingOutAnAbsentName) {
    auto j = nlohmann::ordered_json::parse(
        R"({"type":"split","axis":"vertical","ratio":0.6,"left":{"type":"region","id":1,"name":"Top"},"right":{"type":"region","id":2}})");
    EXPECT_EQ(j.get<LayoutNode>(), V(0.6, R(1, "Top"), R(2)));
    EXPECT_EQ(nlohmann::ordered_json(j.get<LayoutNode>()).dump(), j.dump());

    const std::pair<const char*, LayoutNode> rows[] = {
        {R"({"type":"region","id":4,"name":null})", R(4)},
        {R"({"type":"region","id":4,"name":""})", R(4, "")},    // the empty name is a name
        {R"({"type":"region","id":3.0,"colour":"red"})", R(3)}, // unknown keys, whole float ids
    };
    for (const auto& [text, node] : rows)
        EXPECT_EQ(nlohmann::json::parse(text).get<LayoutNode>(), node) << text;
    EXPECT_FALSE(nlohmann::json(R(4)).contains("name"));
}

TEST(LayoutNodeJSON, malformedNodesFailWithKindKeyAndText) {
    using K = DecodingError::Kind;
    struct Row {
        const char* json;
        K kind;
        const char* key;
        const char* text = ""; // empty: not checked
    };
    const Row rows[] = {
        {R"({"type":"grid"})", K::dataCorrupted, "type", "Unknown LayoutNode type: grid"},
        {R"({"id":1})", K::keyNotFound, "type"},
        {R"({"type":7,"id":1})", K::typeMismatch, "type"},
        {R"({"type":"region"})", K::keyNotFound, "id"},
        {R"({"type":"region","id":null})", K::keyNotFound, "id"},
        {R"({"type":"region","id":"3"})", K::typeMismatch, "id"},
        {R"({"type":"region","id":1.5})", K::dataCorrupted, "id"},
        {R"({"type":"region","id":9223372036854775808})", K::dataCorrupted, "id"},
        {R"({"type":"region","id":1,"name":5})", K::typeMismatch, "name"},
        {R"({"type":"split","axis":"diagonal","ratio":0.5,"left":{"type":"region","id":1},"right":{"type":"region","id":2}})",
         K::dataCorrupted, "axis"},
        {R"({"type":"split","axis":"vertical","ratio":"half","left":{"type":"region","id":1},"right":{"type":"region","id":2}})",
         K::typeMismatch, "ratio"},
        {R"({"type":"split","axis":"vertical","ratio":0.5,"left":{"type":"region","id":1}})", K::keyNotFound,
         "right"},
        {R"({"type":"split","axis":"vertical","ratio":0.5,"left":[1],"right":{"type":"region","id":2}})",
         K::typeMismatch, ""},
        {R"([{"type":"region","id":1}])", K::typeMismatch, ""},
    };
    for (const Row& row : rows) {
        try {
            (void)nlohmann::json::parse(row.json).get<LayoutNode>();
            ADD_FAILURE() << "no error for " << row.json;
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.kind(), row.kind) << row.json;
            EXPECT_EQ(e.key(), row.key) << row.json;
            EXPECT_STREQ(*row.text ? e.what() : "", row.text) << row.json; // empty: not checked
        }
    }
}

TEST(LayoutNodeJSON, nestingIsLimitedTo512LevelsWithoutExhaustingTheStack) {
    EXPECT_EQ(nestedJSON(LayoutNode::kMaxDecodeDepth).get<LayoutNode>().depth(),
              LayoutNode::kMaxDecodeDepth - 1);
    EXPECT_THROW((void)nestedJSON(LayoutNode::kMaxDecodeDepth + 1).get<LayoutNode>(), DecodingError);

    // A crafted file far deeper than the limit.
    std::string text;
    const int levels = 20000;
    for (int i = 0; i < levels; ++i)
        text += R"({"type":"split","axis":"vertical","ratio":0.5,"left":)";
    text += R"({"type":"region","id":1})";
    for (int i = 0; i < levels; ++i)
        text += R"(,"right":{"type":"region","id":2}})";
    EXPECT_THROW((void)nlohmann::json::parse(text).get<LayoutNode>(), DecodingError);
}

TEST(LayoutNode, equalityAndHashAreStructural) {
    struct Row {
        LayoutNode a, b;
        bool equal;
    };
    const Row rows[] = {
        {R(1), R(1), true},
        {R(1), R(2), false},
        {R(1), R(1, ""), false}, // absent name differs from any text
        {R(1, "a"), R(1, "b"), false},
        {H(0.5, R(1), R(2)), H(0.5, R(1), R(2)), true},
        {H(0.5, R(1), R(2)), V(0.5, R(1), R(2)), false},
        {H(0.5, R(1), R(2)), H(0.5000001, R(1), R(2)), false},
        {H(0.5, R(1), R(2)), H(0.5, R(2), R(1)), false},
        {H(0.0, R(1), R(2)), H(-0.0, R(1), R(2)), true},
        {H(0.5, R(1), R(2)), R(1), false},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].a == rows[i].b, rows[i].equal) << "row " << i;
        EXPECT_TRUE(!rows[i].equal ||
                    std::hash<LayoutNode>{}(rows[i].a) == std::hash<LayoutNode>{}(rows[i].b))
            << "row " << i << ": equal nodes hash alike";
    }
    std::unordered_set<LayoutNode> set{H(0.5, R(1), R(2)), H(0.5, R(1), R(2)), R(1)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(LayoutNode, copiesShareNothingObservableAndVeryDeepTreesAreHandledWithoutRecursion) {
    // A grid from a long split list nests one level per value.
    std::vector<double> columns(50000, 0.5);
    LayoutNode deep = LayoutTreeModel::gridTree(columns, {}, 1);
    EXPECT_EQ(deep.depth(), 50000);
    EXPECT_EQ(deep.regionIDs().size(), 50001u);
    LayoutNode copy = deep;
    EXPECT_EQ(copy, deep);
    EXPECT_EQ(std::hash<LayoutNode>{}(copy), std::hash<LayoutNode>{}(deep));
    deep = R(1); // releasing the only other owner keeps the copy whole
    EXPECT_EQ(copy.regionIDs().back(), 50001);
}

TEST(LayoutNode, writingATreeDeeperThanReadingAcceptsIsRefusedWithoutRecursion) {
    // 511 splits nest 512 node levels, the most a reader takes.
    const LayoutNode deepest = LayoutTreeModel::gridTree(std::vector<double>(511, 0.5), {}, 1);
    EXPECT_EQ(nlohmann::json(deepest).get<LayoutNode>(), deepest);
    for (std::size_t splits : {512u, 50000u}) {
        const LayoutNode tooDeep = LayoutTreeModel::gridTree(std::vector<double>(splits, 0.5), {}, 1);
        EXPECT_THROW(nlohmann::ordered_json{tooDeep}, LayoutTreeTooDeepError) << splits;
    }
}

} // namespace
} // namespace korvane
