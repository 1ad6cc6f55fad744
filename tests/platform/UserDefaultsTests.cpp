// Typed reads of user defaults answer nothing for a value of another type; storing null removes a key.
#include "platform/sim/SimUserDefaults.h"

#include <gtest/gtest.h>

TEST(UserDefaults, typedReadsAnswerNothingForOtherTypesAndNullRemovesTheKey) {
    korvane::sim::SimUserDefaults d;
    d.set("flag", true);
    d.set("count", 3);
    d.set("names", nlohmann::json::array({"a", 1, "b"}));
    EXPECT_EQ(d.boolValue("flag"), true);
    EXPECT_EQ(d.numberValue("count"), 3.0);
    EXPECT_EQ(d.stringValue("count"), std::nullopt);
    EXPECT_EQ(d.boolValue("names"), std::nullopt);
    EXPECT_EQ(d.stringList("names"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(d.stringList("count"), std::nullopt);
    d.set("flag", nullptr);
    EXPECT_EQ(d.object("flag"), std::nullopt);
}
