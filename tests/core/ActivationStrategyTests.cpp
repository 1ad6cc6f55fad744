// The activation strategy chosen for an application or a window: the careful one for the applications
// the whitelists and the built-in set name, the default one for anything that cannot be told.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"

namespace korvane::testing {

using Id = std::optional<std::string>;

TEST_F(ActivationTest, theSharedWhitelistsAndTheBuiltInSetChooseTheCarefulStrategy) {
    write(home / "focus-whitelist.json", R"({"bundleIds":["org.example.Fixed"]})");
    write(home / "focus-whitelist-runtime.json", R"({"bundleIds":["org.example.Runtime"]})");
    // The whitelists match as written; the built-in set counts in any case, by the identifiers X11 gives
    // Chrome and Edge too, though the fixed list replaced the defaults.
    for (const char* id : {"org.example.Fixed", "org.example.Runtime", "com.google.Chrome",
                           "com.google.chrome", "company.thebrowser.dia", "google-chrome", "Microsoft-edge"})
        EXPECT_EQ(ActivationStrategy::strategy(Id(id)).name, "problematic") << id;
    for (const Id& id : std::vector<Id>{std::nullopt, "org.example.fixed", "org.example.Other", "chromium"})
        EXPECT_EQ(ActivationStrategy::strategy(id).name, "default") << id.value_or("(none)");

    FocusWhitelistStore::shared()->addToRuntimeWhitelist("org.example.Other");
    EXPECT_EQ(ActivationStrategy::strategy(Id("org.example.Other")), ActivationStrategy::problematic());
    EXPECT_EQ(loggedCount("Focus whitelist loaded from the config folder"), 1u) << "read once";
}

// Windows of readable applications are covered by the window activation tests.
TEST_F(ActivationTest, aWindowWhoseApplicationCannotBeToldGetsTheDefaultStrategy) {
    const auto ended = windows().element(windows().open(ws().launch({.bundleID = "com.google.Chrome"}), {}));
    ws().quit(ended.pid);
    EXPECT_EQ(ActivationStrategy::strategy(ended, *desktop), ActivationStrategy::defaultStrategy());
    EXPECT_EQ(ActivationStrategy::strategy(platform::AXElement{}, *desktop),
              ActivationStrategy::defaultStrategy());
}

} // namespace korvane::testing
