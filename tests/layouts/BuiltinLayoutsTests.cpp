// Looking up a built-in layout by its current or an older id.
#include "layouts/BuiltinLayouts.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(BuiltinLayouts, lookupTakesWholeIdsExactlyAndAnswersWithTheCurrentId) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        // nullptr: not a built-in
        {"builtin.daily", "builtin.daily"},
        {"builtin.grid.2x2", "builtin.split-50-50"},
        {"user.new.1765176035", "builtin.daily"},
        {"builtin.Daily", nullptr},
        {" builtin.daily", nullptr},
        {"builtin.split-50-50.json", nullptr},
        {"user.new.1765176036", nullptr},
        {"", nullptr},
    };
    for (const auto& [id, expected] : rows) {
        auto set = legacyTemplateIDMap(id);
        EXPECT_EQ(set ? set->id : "none", expected ? expected : "none") << id;
    }
}
