// Activation by script, with its memory of refusals and its refusal of identifiers that would change
// the script.
#include "ActivationFixture.h"

namespace korvane::testing {

class AppleScriptTest : public ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        pid = ws().launch({.bundleID = "org.example.Mail"});
    }
    AppleScriptActivator& activator() { return *AppleScriptActivator::shared(); }

    pid_t pid = 0;
};

TEST_F(AppleScriptTest, theScriptNamesTheBundleOnThreeLines) {
    EXPECT_TRUE(activator().activate("org.example.Mail"));
    EXPECT_EQ(ws().scriptsRun(),
              std::vector<std::string>{"tell application id \"org.example.Mail\"\n    activate\nend tell"});
    EXPECT_EQ(ws().frontmostApplication()->pid, pid) << "the application ran the script";
}

TEST_F(AppleScriptTest, aRefusalIsRememberedAndLoggedOncePerBundle) {
    for (int code : {-1743, -1744}) {
        const std::string bundle = "org.example.Refusing" + std::to_string(-code);
        ws().launch({.bundleID = bundle});
        ws().setScriptOutcome(bundle, {.errorNumber = code, .message = "Not authorised"});
        const std::size_t before = ws().scriptsRun().size();
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(activator().activate(bundle));
        EXPECT_EQ(ws().scriptsRun().size(), before + 1) << code;
        EXPECT_EQ(loggedCount("[AppIdActivation] Activation refused for bundle=" + bundle +
                              "; suppress activation by app id retries until relaunch"),
                  1u);
        EXPECT_TRUE(activator().isDenied(bundle));
    }
    EXPECT_TRUE(activator().activate("org.example.Mail")) << "other bundles are not affected";
}

TEST_F(AppleScriptTest, otherFailuresAreLoggedAndTriedAgainNextTime) {
    ws().setScriptOutcome("org.example.Mail", {.errorNumber = -600, .message = "App not running"});
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    EXPECT_FALSE(activator().activate("org.example.Mail"));
    EXPECT_EQ(ws().scriptsRun().size(), 2u);
    EXPECT_TRUE(
        logged("[AppIdActivation:activate org.example.Mail] Execution failed: App not running (code=-600)"));
    EXPECT_FALSE(activator().isDenied("org.example.Mail"));
}

TEST_F(AppleScriptTest, anIdentifierThatWouldChangeTheScriptIsRefusedWithoutRunningIt) {
    for (std::string id : {"org.example.Mail\"\n    do shell script \"touch /tmp/x", "org.example\\Mail",
                           "org.example.Mail\nend tell", "org.example.Mail\r", "org.example\tMail",
                           "org.example\x01Mail", "org.example\x7fMail"}) {
        EXPECT_FALSE(activator().activate(id));
        EXPECT_EQ(loggedCount("[AppIdActivation:activate " + id + "] Failed to create activation request"),
                  1u);
        EXPECT_FALSE(activator().isDenied(id)) << "a refused identifier is not a refusal by the application";
    }
    EXPECT_TRUE(ws().scriptsRun().empty());
    ws().launch({.bundleID = "com.example-app.Mail_2"});
    EXPECT_TRUE(activator().activate("com.example-app.Mail_2")) << "ordinary punctuation is fine";
}

} // namespace korvane::testing
