// The focus whitelist: where the fixed list comes from, what counts as a list, and the runtime list's
// file.
#include "ActivationFixture.h"

namespace korvane::testing {

namespace fs = std::filesystem;
using Ids = std::set<std::string>;

class FocusWhitelistTest : public ActivationTest {
  protected:
    fs::path appSupportFile() const { return home / "focus-whitelist.json"; }
    fs::path workingFile() const {
        return workingDirectory() / "Korvane" / "Config" / "focus-whitelist.json";
    }
    fs::path runtimeFile() const { return home / "focus-whitelist-runtime.json"; }
    // Other keys are ignored.
    static std::string listOf(const std::string& id) {
        return R"({"bundleIds":[")" + id + R"(", ")" + id + R"("],"comment":"x"})";
    }
};

TEST_F(FocusWhitelistTest, eachLocationWinsOverTheOnesAfterIt) {
    const fs::path files[] = {appSupportFile(), resources() / "Config" / "focus-whitelist.json",
                              resources() / "focus-whitelist.json", workingFile()};
    // The first location with a file, the list and the line.
    const std::tuple<int, Ids, std::string> rows[] = {
        {0, {"id.0"}, "Focus whitelist loaded from the config folder count=1"},
        {1, {"id.1"}, "Focus whitelist loaded from share/korvane count=1"},
        {2, {"id.2"}, "Focus whitelist loaded from share/korvane count=1"},
        {3, {"id.3"}, "Focus whitelist loaded from repo count=1"},
        {4,
         {"company.thebrowser.dia", "company.thebrowser.Browser"},
         "Focus whitelist using defaults count=2"},
    };
    desktop->process().setBundleResourcesDirectory(resources().string());
    for (const auto& [first, expected, line] : rows) {
        for (const auto& dir : {home, resources(), workingDirectory()})
            fs::remove_all(dir);
        fs::create_directories(resources());
        for (int i = first; i < 4; ++i)
            write(files[i], listOf("id." + std::to_string(i)));
        logs.log().clear();

        FocusWhitelistStore store(*desktop);
        EXPECT_EQ(store.bundleIds, expected) << line;
        EXPECT_EQ(loggedCount(line), 1u) << line;
        EXPECT_TRUE(store.runtimeBundleIds.empty());
    }
}

TEST_F(FocusWhitelistTest, aPlatformThatKeepsNoConfigUnderTheWorkingDirectoryNeverReadsItsFile) {
    desktop->process().setLooksForConfigInWorkingDirectory(false);
    write(workingFile(), listOf("id.work"));
    FocusWhitelistStore store(*desktop);
    EXPECT_EQ(store.bundleIds, (Ids{"company.thebrowser.dia", "company.thebrowser.Browser"}));
}

TEST_F(FocusWhitelistTest, anEmptyListIsAListAndKeepsTheDefaultsOut) {
    write(appSupportFile(), R"({"bundleIds":[]})");
    write(workingFile(), listOf("id.work"));
    FocusWhitelistStore store(*desktop);
    EXPECT_TRUE(store.bundleIds.empty());
    EXPECT_TRUE(logged("Focus whitelist loaded from the config folder count=0"));
}

TEST_F(FocusWhitelistTest, aDamagedFileMovesTheLookupOnWithAFailureLine) {
    // The key missing, not an array, not all strings, not an object, cut short, empty.
    for (std::string text : {R"({"ids":["a"]})", R"({"bundleIds":"a"})", R"({"bundleIds":["a", 3]})",
                             R"(["a"])", "{\"bundleIds\":[\"a\"", ""}) {
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

TEST_F(FocusWhitelistTest, addingRewritesTheRuntimeFileWholeAndCompact) {
    write(runtimeFile(), listOf("org.example.Old"));
    FocusWhitelistStore store(*desktop);
    for (int i = 0; i < 2; ++i) {
        store.addToRuntimeWhitelist("org.example.Editor");
        EXPECT_EQ(read(runtimeFile()), R"({"bundleIds":["org.example.Editor","org.example.Old"]})");
    }
    EXPECT_EQ(loggedCount("Focus whitelist: Added to runtime whitelist org.example.Editor"), 2u);
    EXPECT_FALSE(fs::exists(appSupportFile())) << "the fixed list is never written";
    EXPECT_EQ(FocusWhitelistStore(*desktop).runtimeBundleIds, (Ids{"org.example.Editor", "org.example.Old"}));
}

TEST_F(FocusWhitelistTest, anIdentifierThatIsNotUTF8LeavesTheRuntimeListSavable) {
    FocusWhitelistStore store(*desktop);
    store.addToRuntimeWhitelist("org.example.Caf\xE9");
    store.addToRuntimeWhitelist("org.example.Editor");
    EXPECT_EQ(read(runtimeFile()),
              "{\"bundleIds\":[\"org.example.Caf\xEF\xBF\xBD\",\"org.example.Editor\"]}");
    EXPECT_EQ(loggedCount("Focus runtime whitelist save failed"), 0u);
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
}

} // namespace korvane::testing
