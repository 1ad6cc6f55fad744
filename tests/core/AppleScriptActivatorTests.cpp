// Activation by script, with its memory of refusals and its refusal of identifiers that would change
// the script.
#include "ActivationFixture.h"

#include <vector>

namespace korvane::testing {
namespace {

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
    EXPECT_TRUE(activator().activate("org.example.Mail"));
    EXPECT_EQ(desktop->workspace().scriptsRun(),
              std::vector<std::string>{"tell application id \"org.example.Mail\"\n    activate\nend tell"});
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, pid) << "the application ran the script";
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
        EXPECT_EQ(loggedCount("[AppleScript] AppleEvents denied for bundle=" + bundle +
                              "; suppress AppleScript retries until relaunch"),
                  1u)
            << code;
        EXPECT_TRUE(activator().isDenied(bundle));
    }
    EXPECT_TRUE(activator().activate("org.example.Mail")) << "other bundles are not affected";
}

TEST_F(AppleScriptTest, otherFailuresAreLoggedAndTriedAgainNextTime) {
    desktop->workspace().setScriptOutcome("org.example.Mail",
                                          {.errorNumber = -600, .message = "App not running"});
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    desktop->workspace().setScriptOutcome("org.example.Mail", {.errorNumber = -600});
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    EXPECT_EQ(scriptsRun(), 2u);
    EXPECT_TRUE(
        logged("[AppleScript:activate org.example.Mail] Execution failed: App not running (code=-600)"));
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

} // namespace
} // namespace korvane::testing
