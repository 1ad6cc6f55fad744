// What the built `korvane` says of the files it finds as it starts on a real X server with openbox: a
// first start in a fresh support folder, where nothing is there yet, logs no error.
#include "ProgramOnX11.h"

namespace korvane::x11::test {
namespace {

constexpr const char* kServicesStarted = "Permissions granted, starting services...";

class StartupFilesProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The lines of the log at error level or above.
    std::vector<std::string> errorLines() const {
        std::vector<std::string> found;
        std::istringstream lines(logText());
        for (std::string line; std::getline(lines, line);)
            if (line.find(" error [") != std::string::npos || line.find(" fault [") != std::string::npos)
                found.push_back(line);
        return found;
    }
};

TEST_F(StartupFilesProgramOnX11Test, aFirstStartInAFreshSupportFolderLogsNoError) {
    startSession(true);
    openXterm();
    ASSERT_FALSE(fs::exists(home()));
    const pid_t korvane = startKorvane();
    // The first scene is made from what the displays show and restored a second after the services start.
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'My Workspace'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_EQ(errorLines(), std::vector<std::string>{}) << logText();
}

} // namespace
} // namespace korvane::x11::test
