// The program itself on a real X server: the built `korvane` as a process of its own with a fresh
// support folder, as a user starts it. Under a window manager it starts its services, gives every
// monitor its zones and writes what it remembers when SIGTERM ends it; on a bare server it shows its
// permission window, which as the program's window with the keyboard makes the application active, until
// a window manager starts; and it saves and exits with a failure when the server goes away.
#include "X11TestSession.h"

#include "app/DisplayUtil.h"
#include "platform/x11/X11Desktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#ifndef KORVANE_BINARY
#error "KORVANE_BINARY must name the built program"
#endif
#ifndef KORVANE_LSAN_SUPPRESSIONS
#error "KORVANE_LSAN_SUPPRESSIONS must name the leak suppressions of the program's tests"
#endif

namespace korvane::x11::test {
namespace {

namespace fs = std::filesystem;

Nanos monotonic() {
    return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class ProgramOnX11Test : public ::testing::Test {
  protected:
    void startSession(bool windowManager) {
        session = std::make_unique<X11TestSession>(std::vector<std::string>{}, windowManager);
    }
    // A window on the desktop: with none at all the display pass waits for one to appear.
    void openXterm() {
        const pid_t pid = session->start({"xterm", "-geometry", "60x20+2000+100", "-e", "cat"});
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session->clientOf(pid).has_value(); }));
    }

    pid_t startKorvane() {
        return session->start({KORVANE_BINARY},
                              {"KORVANE_HOME=" + home().string(), "KORVANE_LOG_LEVEL=info",
                               std::string("LSAN_OPTIONS=suppressions=") + KORVANE_LSAN_SUPPRESSIONS},
                              log().string());
    }
    fs::path home() const { return folder.path() / "support"; }
    fs::path log() const { return folder.path() / "korvane.log"; }
    std::string logText() const {
        std::ifstream in(log());
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    bool logged(const std::string& line) const { return logText().find(line) != std::string::npos; }
    bool waitForLine(const std::string& line, Nanos timeout = seconds(20)) {
        return X11TestSession::waitFor([&] { return logged(line); }, timeout);
    }
    // The display UUIDs of the server's monitors, as the program names them.
    std::vector<std::string> monitorUUIDs() {
        std::string error;
        auto desktop = X11Desktop::connect(session->display(), error);
        EXPECT_TRUE(desktop) << error;
        std::vector<std::string> uuids;
        if (desktop)
            for (const auto& screen : desktop->screens().screens())
                uuids.push_back(DisplayUtil::displayUUID(screen));
        return uuids;
    }
    static std::string describe(std::optional<int> status) {
        if (!status) return "still running";
        if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
        if (WIFSIGNALED(*status)) return "signal " + std::to_string(WTERMSIG(*status));
        return "status " + std::to_string(*status);
    }

    std::unique_ptr<X11TestSession> session;
    korvane::testing::TempFolder folder;
};

constexpr const char* kServicesStarted = "Permissions granted, starting services...";
constexpr const char* kPermissionWindow = "Korvane Permissions";

TEST_F(ProgramOnX11Test,
       underAWindowManagerItStartsGivesEveryMonitorItsLayoutAndEndsOnSigtermWritingItsMemory) {
    startSession(true);
    openXterm();
    const auto monitors = monitorUUIDs();
    ASSERT_EQ(monitors.size(), 2u);
    const pid_t korvane = startKorvane();

    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    EXPECT_FALSE(session->viewableWindowTitled(kPermissionWindow));
    const auto workbenches = nlohmann::json::parse(std::ifstream(home() / "display-workbenches.json"));
    for (const auto& uuid : monitors)
        EXPECT_FALSE(workbenches["workbenches"][uuid]["activeTemplateID"].get<std::string>().empty()) << uuid;
    fs::remove(home() / "layout-memory.json");

    ::kill(korvane, SIGTERM);
    const auto status = session->waitForExit(korvane, seconds(10));
    EXPECT_EQ(describe(status), "exit 0") << logText();
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

TEST_F(ProgramOnX11Test,
       onABareServerItShowsThePermissionWindowUntilAWindowManagerStartsThenStartsItsServices) {
    startSession(false);
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] { return session->viewableWindowTitled(kPermissionWindow).has_value(); }, seconds(20)))
        << logText();
    EXPECT_FALSE(logged(kServicesStarted));
    // The window has the keyboard: the application became active and asked for the displays to be looked at.
    EXPECT_TRUE(waitForLine(
        "reason=probe:app.did-become-active:NSApplicationDelegate.applicationDidBecomeActive", seconds(5)))
        << logText();

    const Nanos managing = monotonic();
    session->startWindowManager();
    ASSERT_TRUE(waitForLine(kServicesStarted, seconds(5)));
    EXPECT_LT(monotonic() - managing, seconds(2)) << "the services start within two polls of the grant";
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kPermissionWindow); },
                                        seconds(2)));

    ::kill(korvane, SIGINT);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(ProgramOnX11Test, whenTheServerGoesAwayItSavesWhatItRemembersAndExitsWithAFailureWithinASecond) {
    startSession(true);
    openXterm();
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    fs::remove(home() / "layout-memory.json");

    session->killServer();
    const Nanos killed = monotonic();
    const auto status = session->waitForExit(korvane, seconds(10));
    EXPECT_LT(monotonic() - killed, seconds(1));
    ASSERT_TRUE(status && WIFEXITED(*status)) << describe(status) << "\n" << logText();
    EXPECT_NE(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(fs::exists(home() / "layout-memory.json"));
}

} // namespace
} // namespace korvane::x11::test
