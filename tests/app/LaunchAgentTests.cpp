// Launch at login on the simulated desktop: the property list and its place.
#include "app/LaunchAgent.h"

#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;

namespace {

std::string propertyList(const std::string& program) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\">\n"
           "<dict>\n"
           "\t<key>Label</key>\n"
           "\t<string>com.korvane.launch</string>\n"
           "\t<key>ProgramArguments</key>\n"
           "\t<array>\n"
           "\t\t<string>/usr/bin/open</string>\n"
           "\t\t<string>-a</string>\n"
           "\t\t<string>" +
           program +
           "</string>\n"
           "\t</array>\n"
           "\t<key>RunAtLoad</key>\n"
           "\t<true/>\n"
           "</dict>\n"
           "</plist>\n";
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

TEST_F(LaunchAgentTest, installCreatesTheFolderAndNamesTheProgramAtThatTime) {
    LaunchAgent agent(*desktop);
    EXPECT_EQ(agent.plistURL(), agentFile());
    ASSERT_FALSE(fs::exists(agentFile().parent_path()));

    agent.install();
    EXPECT_EQ(read(agentFile()), propertyList("/opt/Korvane &amp; Co/korvane"));

    // The program moves: the entry keeps the old path until it is written again.
    desktop->process().setExecutablePath("/usr/local/bin/korvane");
    EXPECT_EQ(read(agentFile()), propertyList("/opt/Korvane &amp; Co/korvane"));
    agent.install();
    EXPECT_EQ(read(agentFile()), propertyList("/usr/local/bin/korvane"));
    EXPECT_EQ(snapshot(agentFile().parent_path()).size(), 1u);
}

TEST_F(LaunchAgentTest, uninstallRemovesTheEntryAndIgnoresItsAbsence) {
    LaunchAgent agent(*desktop);
    EXPECT_NO_THROW(agent.uninstall());
    agent.install();
    agent.uninstall();
    EXPECT_FALSE(fs::exists(agentFile()));
    EXPECT_FALSE(desktop->loginItems().isInstalled(LaunchAgent::kLabel));
}
