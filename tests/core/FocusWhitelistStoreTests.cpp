// The focus whitelist: where the fixed list comes from, what counts as a list, and the runtime list's
// file.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"

#include <set>
#include <vector>

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;
using Ids = std::set<std::string>;

class FocusWhitelistTest : public ActivationTest {
  protected:
    fs::path appSupportFile() const { return home / "focus-whitelist.json"; }
    fs::path bundleConfigFile() const { return resources() / "Config" / "focus-whitelist.json"; }
    fs::path bundleTopFile() const { return resources() / "focus-whitelist.json"; }
    fs::path workingFile() const {
        return workingDirectory() / "Korvane" / "Config" / "focus-whitelist.json";
    }
    fs::path runtimeFile() const { return home / "focus-whitelist-runtime.json"; }

    static std::string listOf(const std::string& id) { return R"({"bundleIds":[")" + id + R"("]})"; }
};

TEST_F(FocusWhitelistTest, eachLocationWinsOverTheOnesAfterIt) {
    struct Row {
        bool appSupport, bundleConfig, bundleTop, working;
        Ids expected;
        std::string line;
    };
    const std::vector<Row> rows{
        {true, true, true, true, {"id.support"}, "Focus whitelist loaded from AppSupport count=1"},
        {false, true, true, true, {"id.config"}, "Focus whitelist loaded from bundle count=1"},
        {false, false, true, true, {"id.top"}, "Focus whitelist loaded from bundle count=1"},
        {false, false, false, true, {"id.work"}, "Focus whitelist loaded from repo count=1"},
        {false,
         false,
         false,
         false,
         {"company.thebrowser.dia", "company.thebrowser.Browser"},
         "Focus whitelist using defaults count=2"},
    };
    desktop->process().setBundleResourcesDirectory(resources().string());
    for (const auto& row : rows) {
        fs::remove_all(home);
        fs::remove_all(resources());
        fs::remove_all(workingDirectory());
        fs::create_directories(resources());
        if (row.appSupport) write(appSupportFile(), listOf("id.support"));
        if (row.bundleConfig) write(bundleConfigFile(), listOf("id.config"));
        if (row.bundleTop) write(bundleTopFile(), listOf("id.top"));
        if (row.working) write(workingFile(), listOf("id.work"));
        logs.log().clear();

        FocusWhitelistStore store(*desktop);
        EXPECT_EQ(store.bundleIds, row.expected) << row.line;
        EXPECT_EQ(loggedCount(row.line), 1u) << row.line;
        EXPECT_TRUE(store.runtimeBundleIds.empty());
    }
}

TEST_F(FocusWhitelistTest, anEmptyListIsAListAndKeepsTheDefaultsOut) {
    write(appSupportFile(), R"({"bundleIds":[]})");
    write(workingFile(), listOf("id.work"));
    FocusWhitelistStore store(*desktop);
    EXPECT_TRUE(store.bundleIds.empty());
    EXPECT_TRUE(logged("Focus whitelist loaded from AppSupport count=0"));
    EXPECT_FALSE(logged("using defaults"));
}

TEST_F(FocusWhitelistTest, aDamagedFileMovesTheLookupOnWithAFailureLine) {
    const std::vector<std::string> damaged{
        R"({"ids":["a"]})",          // the key is missing
        R"({"bundleIds":"a"})",      // not an array
        R"({"bundleIds":["a", 3]})", // not all strings
        R"(["a"])",                  // not an object
        "{\"bundleIds\":[\"a\"",     // cut short
        "",
    };
    for (const auto& text : damaged) {
        write(appSupportFile(), text);
        write(workingFile(), listOf("id.work"));
        logs.log().clear();
        FocusWhitelistStore store(*desktop);
        EXPECT_EQ(store.bundleIds, Ids{"id.work"}) << text;
        EXPECT_EQ(loggedCount("Focus whitelist load failed path=" + appSupportFile().string() + " error="),
                  1u)
            << text;
    }
}

TEST_F(FocusWhitelistTest, missingFilesAreLoggedAndAnAbsentResourceFolderIsSkippedSilently) {
    FocusWhitelistStore store(*desktop);
    EXPECT_TRUE(logged("Focus whitelist load failed path=" + appSupportFile().string() +
                       " error=No such file or directory"));
    EXPECT_TRUE(logged("Focus whitelist load failed path=" + workingFile().string()));
    EXPECT_TRUE(logged("Focus whitelist load failed path=" + runtimeFile().string()));
    EXPECT_EQ(loggedCount("Focus whitelist load failed"), 3u) << "nothing for the bundle resources";
}

TEST_F(FocusWhitelistTest, duplicatesAreFoldedBeforeCounting) {
    write(appSupportFile(), R"({"bundleIds":["a","b","a"],"comment":"other keys are ignored"})");
    write(runtimeFile(), R"({"bundleIds":["r","r"]})");
    FocusWhitelistStore store(*desktop);
    EXPECT_EQ(store.bundleIds, (Ids{"a", "b"}));
    EXPECT_EQ(store.runtimeBundleIds, Ids{"r"});
    EXPECT_TRUE(logged("Focus whitelist loaded from AppSupport count=2"));
    EXPECT_TRUE(logged("Focus runtime whitelist loaded from AppSupport count=1"));
}

TEST_F(FocusWhitelistTest, addingRewritesTheRuntimeFileWholeAndCompact) {
    write(runtimeFile(), R"({"bundleIds":["org.example.Old"]})");
    FocusWhitelistStore store(*desktop);
    store.addToRuntimeWhitelist("org.example.Editor");
    EXPECT_EQ(read(runtimeFile()), R"({"bundleIds":["org.example.Editor","org.example.Old"]})");
    store.addToRuntimeWhitelist("org.example.Editor");
    EXPECT_EQ(read(runtimeFile()), R"({"bundleIds":["org.example.Editor","org.example.Old"]})");
    EXPECT_EQ(loggedCount("Focus whitelist: Added to runtime whitelist org.example.Editor"), 2u);
    EXPECT_FALSE(fs::exists(home / "focus-whitelist.json")) << "the fixed list is never written";

    FocusWhitelistStore reread(*desktop);
    EXPECT_EQ(reread.runtimeBundleIds, (Ids{"org.example.Editor", "org.example.Old"}));
}

TEST_F(FocusWhitelistTest, anUnreadableRuntimeFileIsKeptAsideBeforeItIsReplaced) {
    write(runtimeFile(), "not json");
    FocusWhitelistStore store(*desktop);
    EXPECT_TRUE(store.runtimeBundleIds.empty());
    store.addToRuntimeWhitelist("org.example.Editor");
    store.addToRuntimeWhitelist("org.example.Other");
    EXPECT_EQ(read(runtimeFile()), R"({"bundleIds":["org.example.Editor","org.example.Other"]})");

    const fs::path kept = home / "focus-whitelist-runtime.json.unreadable-2026-05-28T20:26:40Z";
    EXPECT_EQ(read(kept), "not json");
    EXPECT_TRUE(logged("[wm] Kept unreadable " + runtimeFile().string() + " as " + kept.string()));
    EXPECT_EQ(snapshot(home).size(), 2u) << "only the first write keeps the old bytes";
}

TEST_F(FocusWhitelistTest, withoutAnApplicationSupportFolderTheRuntimeListLivesInMemoryOnly) {
    write(folder.path() / "plain-file", "x");
    desktop->process().setEnvironment("KORVANE_HOME", (folder.path() / "plain-file").string());
    FocusWhitelistStore store(*desktop);
    EXPECT_EQ(store.bundleIds.size(), 2u) << "defaults";
    EXPECT_EQ(loggedCount("Focus whitelist load failed"), 1u) << "only the working folder's file";
    store.addToRuntimeWhitelist("org.example.Editor");
    EXPECT_TRUE(store.runtimeBundleIds.count("org.example.Editor"));
    EXPECT_EQ(read(folder.path() / "plain-file"), "x");
    EXPECT_FALSE(logged("save failed"));
}

TEST_F(FocusWhitelistTest, theSharedStoreFeedsTheStrategyChoice) {
    write(appSupportFile(), R"({"bundleIds":["org.example.Fixed"]})");
    write(runtimeFile(), R"({"bundleIds":["org.example.Runtime"]})");
    struct Row {
        std::optional<std::string> id;
        std::string expected;
    };
    const std::vector<Row> rows{
        {std::nullopt, "default"},
        {"org.example.Fixed", "problematic"},
        {"org.example.Runtime", "problematic"},
        {"com.google.Chrome", "problematic"},
        {"com.google.chrome", "default"},          // matching is case-sensitive
        {"company.thebrowser.dia", "problematic"}, // built in, though the fixed list replaced the defaults
        {"org.example.Other", "default"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ActivationStrategy::strategy(row.id).name, row.expected) << row.id.value_or("(none)");

    FocusWhitelistStore::shared()->addToRuntimeWhitelist("org.example.Other");
    EXPECT_EQ(ActivationStrategy::strategy(std::optional<std::string>("org.example.Other")),
              ActivationStrategy::problematic());
    EXPECT_EQ(loggedCount("Focus whitelist loaded from AppSupport"), 1u) << "read once";
}

} // namespace
} // namespace korvane::testing
