// The wait for a process to become the frontmost application.
#include "ActivationFixture.h"

#include "core/AXActivationMonitor.h"

#include <vector>

namespace korvane::testing {
namespace {

using platform::Task;

class FrontmostMonitorTest : public ActivationTest {
  protected:
    static Task<void> wait(FrontmostMonitorTest& test, pid_t pid, double timeout) {
        test.result = co_await AXActivationMonitor::waitForActivation(*test.desktop, pid, timeout);
        test.endedAt = test.loop().now();
    }
    void start(pid_t pid, double timeout) { platform::spawn(loop(), wait(*this, pid, timeout)); }

    std::optional<bool> result;
    Nanos endedAt = -1;
};

TEST_F(FrontmostMonitorTest, answersAsSoonAsTheProcessIsFrontmostOrAtTheDeadline) {
    auto& ws = desktop->workspace();
    const pid_t app = ws.launch({.bundleID = "org.example.A"});
    const pid_t other = ws.launch({.bundleID = "org.example.B", .activate = true});
    struct Row {
        pid_t pid;
        double timeout;
        std::optional<Nanos> frontAfter;
        bool expected;
        Nanos endsAfter;
    };
    const std::vector<Row> rows{
        {app, 0.2, milliseconds(90), true, milliseconds(100)}, // seen at the next 20 ms check
        {app, 0.2, std::nullopt, false, milliseconds(200)},
        {app, 0.2, milliseconds(200), true, milliseconds(200)}, // the last check after the deadline
        {app, 0.0, std::nullopt, false, 0},
        {app, -1.0, std::nullopt, false, 0},
        {0, 0.2, std::nullopt, false, 0},
    };
    for (const auto& row : rows) {
        ws.bringToFront(other);
        const Nanos begin = loop().now();
        if (row.frontAfter) loop().postAfter(*row.frontAfter, [&ws, &row] { ws.bringToFront(row.pid); });
        result.reset();
        start(row.pid, row.timeout);
        loop().advance(seconds(1));
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, row.expected) << row.timeout;
        EXPECT_EQ(endedAt - begin, row.endsAfter) << row.timeout;
    }
    ws.bringToFront(app);
    result.reset();
    start(app, 0.0);
    loop().runUntilIdle();
    EXPECT_EQ(result, true) << "a time-out of 0 checks once";
}

} // namespace
} // namespace korvane::testing
