// Launch at login on the simulated desktop: the property list and its place.
#include "app/LaunchAgent.h"

#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;

namespace {

std::string propertyList(const std::string& program) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>Label</key>
	<string>com.korvane.launch</string>
	<key>ProgramArguments</key>
	<array>
		<string>/usr/bin/open</string>
		<string>-a</string>
		<string>)" +
           program +
           R"(</string>
	</array>
	<key>RunAtLoad</key>
	<true/>
</dict>
</plist>
)";
}

class LaunchAgentTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        desktop->process().setEnvironment("HOME", (home / "user").string());
        desktop->process().setExecutablePath("/opt/Korvane & Co/korvane");
    }
    fs::path agentFile() const { return home / "user/Library/LaunchAgents/com.korvane.launch.plist"; }
};

} // namespace

TEST_F(LaunchAgentTest, installCreatesTheFolderAndNamesTheProgramAtThatTimeAndUninstallRemovesIt) {
    LaunchAgent agent(*desktop);
    ASSERT_FALSE(fs::exists(agentFile().parent_path()));

    agent.install();
    EXPECT_EQ(read(agentFile()), propertyList("/opt/Korvane &amp; Co/korvane"));

    // The program moves: the entry keeps the old path until it is written again.
    desktop->process().setExecutablePath("/usr/local/bin/korvane");
    EXPECT_EQ(read(agentFile()), propertyList("/opt/Korvane &amp; Co/korvane"));
    agent.install();
    EXPECT_EQ(read(agentFile()), propertyList("/usr/local/bin/korvane"));
    EXPECT_EQ(snapshot(agentFile().parent_path()).size(), 1u);

    agent.uninstall();
    EXPECT_FALSE(fs::exists(agentFile()));
    EXPECT_FALSE(desktop->loginItems().isInstalled(LaunchAgent::kLabel));
    EXPECT_NO_THROW(agent.uninstall()); // already gone
}

// The option shows on exactly while a file is at plistURL, so that is where install writes; without a
// home folder there is no such place.
TEST_F(LaunchAgentTest, theEntryIsWhereInstallWritesItAndNowhereWithoutAHome) {
    LaunchAgent agent(*desktop);
    EXPECT_EQ(agent.plistURL(), agentFile());
    agent.install();
    EXPECT_TRUE(fs::exists(agent.plistURL()));
    agent.uninstall();
    EXPECT_FALSE(fs::exists(agent.plistURL()));
    desktop->process().setEnvironment("HOME", "");
    EXPECT_THROW(agent.plistURL(), fs::filesystem_error);
}
