// The activation strategy chosen for a window: its application's, the careful one for the applications
// the whitelists and the built-in set name.
#include "ActivationFixture.h"

#include "core/ActivationStrategy.h"

namespace korvane::testing {
namespace {

TEST_F(ActivationTest, theStrategyOfAWindowFollowsItsApplication) {
    auto& ws = desktop->workspace();
    const pid_t chrome = ws.launch({.bundleID = "com.google.Chrome"});
    const pid_t plain = ws.launch({.bundleID = "org.example.Editor"});
    const pid_t anonymous = ws.launch({.name = "tool"});
    const pid_t ended = ws.launch({.bundleID = "com.microsoft.edgemac"});
    auto& windows = desktop->windows();
    const auto windowOf = [&](pid_t pid) {
        return windows.element(windows.open(pid, {.frame = {0, 0, 400, 300}}));
    };
    const auto chromeWindow = windowOf(chrome);
    const auto plainWindow = windowOf(plain);
    const auto anonymousWindow = windowOf(anonymous);
    const auto endedWindow = windowOf(ended);
    ws.quit(ended);

    auto& accessibility = desktop->accessibility();
    accessibility.scriptAXFailure(chromeWindow, sim::kPidOfCall, {platform::AXError::cannotComplete});

    EXPECT_EQ(ActivationStrategy::strategy(chromeWindow, *desktop), ActivationStrategy::defaultStrategy())
        << "pid unreadable";
    EXPECT_EQ(ActivationStrategy::strategy(chromeWindow, *desktop), ActivationStrategy::problematic());
    EXPECT_EQ(ActivationStrategy::strategy(plainWindow, *desktop), ActivationStrategy::defaultStrategy());
    EXPECT_EQ(ActivationStrategy::strategy(anonymousWindow, *desktop), ActivationStrategy::defaultStrategy());
    EXPECT_EQ(ActivationStrategy::strategy(endedWindow, *desktop), ActivationStrategy::defaultStrategy());
    EXPECT_EQ(ActivationStrategy::strategy(platform::AXElement{}, *desktop),
              ActivationStrategy::defaultStrategy());
}

} // namespace
} // namespace korvane::testing
