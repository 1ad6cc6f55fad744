// Activation by script, with its memory of refusals, and the wait for the frontmost application.
#include "ActivationFixture.h"

#include "core/AXActivationMonitor.h"

#include <vector>

namespace korvane::testing {
namespace {

using platform::Task;

class AppleScriptTest : public ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        pid = desktop->workspace().launch({.bundleID = "org.example.Mail"});
    }
    std::size_t scriptsRun() { return desktop->workspace().scriptsRun().size(); }
    AppleScriptActivator& activator() { return *AppleScriptActivator::shared(); }

    pid_t pid = 0;
};

TEST_F(AppleScriptTest, theScriptNamesTheBundleOnThreeLines) {
    EXPECT_EQ(AppleScriptActivator::script("org.example.Mail"),
              "tell application id \"org.example.Mail\"\n    activate\nend tell");
    EXPECT_TRUE(activator().activate("org.example.Mail"));
    EXPECT_EQ(desktop->workspace().scriptsRun(),
              std::vector<std::string>{"tell application id \"org.example.Mail\"\n    activate\nend tell"});
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, pid) << "the application ran the script";
    EXPECT_EQ(logs.log().lines(), (std::vector<std::string>{
                                      "[wm] [AppleScript:activate org.example.Mail] Executing script",
                                      "[wm] [AppleScript:activate org.example.Mail] Execution succeeded",
                                  }));
}

TEST_F(AppleScriptTest, aRefusalIsRememberedAndLoggedOncePerBundle) {
    for (int code : {-1743, -1744}) {
        const std::string bundle = "org.example.Refusing" + std::to_string(-code);
        desktop->workspace().launch({.bundleID = bundle});
        desktop->workspace().setScriptOutcome(bundle, {.errorNumber = code, .message = "Not authorised"});
        logs.log().clear();
        const std::size_t before = scriptsRun();

        EXPECT_FALSE(activator().activate(bundle));
        EXPECT_FALSE(activator().activate(bundle));
        EXPECT_FALSE(activator().activate(bundle));
        EXPECT_EQ(scriptsRun(), before + 1) << code;
        EXPECT_EQ(logs.log().lines(),
                  (std::vector<std::string>{
                      "[wm] [AppleScript:activate " + bundle + "] Executing script",
                      "[wm] [AppleScript] AppleEvents denied for bundle=" + bundle +
                          "; suppress AppleScript retries until relaunch",
                  }))
            << code;
        EXPECT_TRUE(activator().isDenied(bundle));
    }
    EXPECT_TRUE(activator().activate("org.example.Mail")) << "other bundles are not affected";
}

TEST_F(AppleScriptTest, otherFailuresAreLoggedAndTriedAgainNextTime) {
    desktop->workspace().setScriptOutcome("org.example.Mail", {.errorNumber = -600, .message = "App not running"});
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    desktop->workspace().setScriptOutcome("org.example.Mail", {.errorNumber = -600});
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    EXPECT_EQ(scriptsRun(), 2u);
    EXPECT_TRUE(logged(
        "[AppleScript:activate org.example.Mail] Execution failed: App not running (code=-600)"));
    EXPECT_TRUE(
        logged("[AppleScript:activate org.example.Mail] Execution failed: unknown error (code=-600)"));
    EXPECT_FALSE(activator().isDenied("org.example.Mail"));
    EXPECT_FALSE(logged("AppleEvents denied"));
}

TEST_F(AppleScriptTest, anIdentifierThatWouldChangeTheScriptIsRefusedWithoutRunningIt) {
    const std::vector<std::string> hostile{
        "org.example.Mail\"\n    do shell script \"touch /tmp/x",
        "org.example\\Mail",
        "org.example.Mail\nend tell",
        "org.example.Mail\r",
        "org.example\tMail",
        std::string("org.example\x01Mail"),
        std::string("org.example\x7fMail"),
    };
    for (const auto& id : hostile) {
        logs.log().clear();
        EXPECT_FALSE(activator().activate(id));
        EXPECT_EQ(loggedCount("[AppleScript:activate " + id + "] Failed to create NSAppleScript"), 1u);
        EXPECT_FALSE(activator().isDenied(id)) << "a refused identifier is not a refusal by the application";
    }
    EXPECT_EQ(scriptsRun(), 0u);
    desktop->workspace().launch({.bundleID = "com.example-app.Mail_2"});
    EXPECT_TRUE(activator().activate("com.example-app.Mail_2")) << "ordinary punctuation is fine";
}

// --- Frontmost monitor --------------------------------------------------------------------------

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
