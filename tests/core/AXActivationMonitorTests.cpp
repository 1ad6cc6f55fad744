// The wait for a process to become the frontmost application.
#include "ActivationFixture.h"

#include "core/AXActivationMonitor.h"

namespace korvane::testing {

TEST_F(ActivationTest, theFrontmostWaitAnswersAtTheNextCheckOrAtTheDeadline) {
    const pid_t app = ws().launch({.bundleID = "org.example.A"});
    const pid_t other = ws().launch({.bundleID = "org.example.B", .activate = true});
    // the time-out, when the application comes to the front, the answer, when it comes
    const std::tuple<double, std::optional<Nanos>, bool, Nanos> rows[] = {
        {0.2, milliseconds(90), true, milliseconds(100)}, // seen at the next 20 ms check
        {0.2, std::nullopt, false, milliseconds(200)},
        {0.2, milliseconds(200), true, milliseconds(200)}, // the last check after the deadline
        {0.0, std::nullopt, false, 0},
    };
    for (const auto& [timeout, frontAfter, expected, endsAfter] : rows) {
        ws().bringToFront(other);
        if (frontAfter) loop().postAfter(*frontAfter, [this, app] { ws().bringToFront(app); });
        run(AXActivationMonitor::waitForActivation(*desktop, app, timeout));
        EXPECT_EQ(result, expected) << timeout;
        EXPECT_EQ(endedAt, endsAfter) << timeout;
    }
}

} // namespace korvane::testing
