// The layout memory on the simulated desktop: loading, keeping an unreadable file, clearing on request,
// saving, and the scopes each display's memory is filed under.
#include "DisplayFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const char* kOlderMemory =
    R"({"D1___builtin.daily":{"regionToBundles":{"1":["A","A",""]},"bundleToRegion":{"A":2,"B":2}}})";
const char* kVersionOneMemory = R"({"schemaVersion":1,"entries":{},"slotClaimSnapshots":{}})";

} // namespace

TEST_F(DisplayTest, olderLayoutMemoryIsWrittenInTheCurrentFormAndAnUnreadableOneStartsFreshKeepingItsBytes) {
    write(home / "layout-memory.json", kOlderMemory);
    memory->loadLayoutMemory();
    EXPECT_EQ(memory->layoutMemory().regionToSlots("D1", "builtin.daily"),
              (RegionSlots{{1, {"A"}}, {2, {"B"}}}));
    memory->persistLayoutMemory();
    EXPECT_EQ(json::parse(read(home / "layout-memory.json"))["schemaVersion"], 2);
    EXPECT_FALSE(logged("CRITICAL"));

    write(home / "layout-memory.json", kVersionOneMemory);
    memory->loadLayoutMemory();
    EXPECT_TRUE(logged("[app] CRITICAL: Failed to load layout memory, starting fresh. Error: "
                       "Unable to decode LayoutMemoryStore in any known format"));
    EXPECT_EQ(memory->layoutMemory(), LayoutMemoryStore());
    EXPECT_EQ(read(home / "layout-memory.json"),
              kVersionOneMemory); // the store keeps it aside on the next save

    fs::remove(home / "layout-memory.json");
    fs::create_directories(home / "layout-memory.json");
    memory->persistLayoutMemory();
    EXPECT_TRUE(logged("[app] Failed to persist layout memory: "));
}

// Nested deeper than any file Korvane writes, a memory is refused whole, as one that is not JSON: the
// start is fresh and the file is kept beside the one written next.
TEST_F(DisplayTest, aLayoutMemoryNestedTooDeepStartsFreshAndIsKeptAside) {
    const std::string deep =
        R"({"schemaVersion":2,"entries":{"D1___layout.a":{"regionToSlots":{"1":["A"]}}},)"
        R"("slotClaimSnapshots":{},"note":)" +
        std::string(1100, '[') + std::string(1100, ']') + "}";
    write(home / "layout-memory.json", deep);
    memory->loadLayoutMemory();
    EXPECT_EQ(memory->layoutMemory(), LayoutMemoryStore());
    memory->persistLayoutMemory();
    EXPECT_EQ(read(home / "layout-memory.json.unreadable-2026-05-28T20:26:40Z"), deep);
}

TEST_F(DisplayTest, clearArgumentRemovesTheFileBeforeItIsRead) {
    write(home / "layout-memory.json", kOlderMemory);
    desktop->process().setArguments({"/usr/bin/korvane", "--clear-layout-memory=yes"});
    memory->clearLayoutMemoryIfRequested();
    EXPECT_TRUE(fs::exists(home / "layout-memory.json"));

    desktop->process().setArguments({"/usr/bin/korvane", "--clear-layout-memory"});
    memory->clearLayoutMemoryIfRequested();
    memory->loadLayoutMemory();
    EXPECT_FALSE(fs::exists(home / "layout-memory.json"));
    EXPECT_TRUE(memory->layoutMemory().map.empty());
    EXPECT_FALSE(logged("CRITICAL"));
    memory->clearLayoutMemoryIfRequested(); // nothing left to remove
    EXPECT_FALSE(logged("Failed"));

    fs::create_directories(home / "layout-memory.json" / "inside");
    memory->clearLayoutMemoryIfRequested();
    EXPECT_TRUE(logged("[app] Failed to clear layout memory: "));
}

TEST_F(DisplayTest, memoryScopesFollowTheWorkbenchesElseTheSelectionAndAreCached) {
    memory->setMemoryScope("gone", "x");
    workbenches->workbenches["D1"] = DisplayWorkbench{"D1", "layout.a", std::nullopt};
    workbenches->workbenches["D2"] = DisplayWorkbench{"D2", "builtin.daily", std::nullopt};
    memory->rebuildMemoryScopes();
    EXPECT_EQ(memory->memoryScopes(), (std::map<std::string, LayoutMemoryKey>{
                                          {"D1", {"D1", "layout.a"}}, {"D2", {"D2", "builtin.daily"}}}));

    memory->setMemoryScope("D1", "builtin.fullscreen");
    workbenches->workbenches["D1"].activeTemplateID = "layout.b";
    selection->lastByDisplay["D3"] = "builtin.split-50-50";
    workbenches->workbenches["D4"] = DisplayWorkbench{"D4", "builtin.daily", std::nullopt};
    selection->lastByDisplay["D4"] = "layout.x";
    EXPECT_EQ(memory->memoryScope("D1"), (LayoutMemoryKey{"D1", "builtin.fullscreen"}));
    EXPECT_EQ(memory->memoryScope("D4"), (LayoutMemoryKey{"D4", "builtin.daily"}));
    EXPECT_EQ(memory->memoryScope("D3"), (LayoutMemoryKey{"D3", "builtin.split-50-50"}));
    selection->lastByDisplay["D3"] = "builtin.daily";
    EXPECT_EQ(memory->memoryScope("D3"), (LayoutMemoryKey{"D3", "builtin.split-50-50"}));
    EXPECT_EQ(memory->memoryScope("NONE"), std::nullopt);
    EXPECT_FALSE(memory->memoryScopes().count("NONE"));
}
