// The simulated process: an environment of its own and UUIDs that repeat per seed.
#include "platform/sim/SimProcessInfo.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace korvane::sim {
namespace {

TEST(SimProcessInfo, environmentHoldsOnlyWhatTheTestSet) {
    SimProcessInfo info;
    ASSERT_NE(std::getenv("PATH"), nullptr);
    EXPECT_EQ(info.environment("PATH"), std::nullopt);
    info.setEnvironment("KORVANE_HOME", "/tmp/k");
    EXPECT_EQ(info.environment("KORVANE_HOME"), "/tmp/k");
}

TEST(SimProcessInfo, uuidsHaveTheRandomFormRepeatPerSeedAndScriptedOnesComeFirst) {
    SimProcessInfo one, two;
    one.setUUIDSeed(42);
    two.setUUIDSeed(42);
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    const std::string first = one.makeUUID();
    EXPECT_EQ(first, two.makeUUID());
    std::set<std::string> seen{first};
    for (int i = 1; i < 50; ++i) {
        const std::string u = one.makeUUID();
        EXPECT_TRUE(std::regex_match(u, form)) << u;
        EXPECT_EQ(u, two.makeUUID());
        seen.insert(u);
    }
    EXPECT_EQ(seen.size(), 50u);

    // Seeding again starts the sequence again; scripted values come first, in order, and do not
    // advance the generated sequence.
    two.setUUIDSeed(42);
    two.enqueueUUID("00000000-0000-0000-0000-000000000001");
    two.enqueueUUID("00000000-0000-0000-0000-000000000002");
    EXPECT_EQ(two.makeUUID(), "00000000-0000-0000-0000-000000000001");
    EXPECT_EQ(two.makeUUID(), "00000000-0000-0000-0000-000000000002");
    EXPECT_EQ(two.makeUUID(), first);
    one.setUUIDSeed(43);
    EXPECT_NE(one.makeUUID(), first);
}

} // namespace
} // namespace korvane::sim
