// Looking up a built-in layout by its current or an older id.
#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(BuiltinLayouts, lookupTakesWholeIdsExactlyAndAnswersWithTheCurrentId) {
    struct Row {
        const char* id;
        const char* expected; // nullptr: not a built-in
    };
    const std::vector<Row> rows = {
        {"builtin.daily", "builtin.daily"},
        {"builtin.grid.2x2", "builtin.split-50-50"},
        {"user.new.1765176035", "builtin.daily"},
        {"builtin.Daily", nullptr},
        {" builtin.daily", nullptr},
        {"builtin.split-50-50.json", nullptr},
        {"user.new.1765176036", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        auto set = legacyTemplateIDMap(row.id);
        EXPECT_EQ(set ? std::optional<std::string>(set->id) : std::nullopt,
                  row.expected ? std::optional<std::string>(row.expected) : std::nullopt)
            << row.id;
    }
}
