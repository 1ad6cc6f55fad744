// The program's start-up against what can hold it up: a FIFO where its user defaults should be, which a
// read would wait on for ever, and an X server that never answers, during which a quit signal still
// ends it within seconds.
#include "ProgramOnX11.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::x11::test {
namespace {

// A listening TCP socket on the loopback, where the display "127.0.0.1:<display>" is looked for, that
// takes connections and never answers them: a server that hangs.
class SilentServer {
  public:
    SilentServer() {
        for (int display = 150; display < 250 && listener_ < 0; ++display) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(6000 + display));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(fd, 4) == 0) {
                listener_ = fd;
                display_ = "127.0.0.1:" + std::to_string(display);
            } else {
                ::close(fd);
            }
        }
    }
    ~SilentServer() {
        for (int fd : {listener_, client_})
            if (fd >= 0) ::close(fd);
    }
    const std::string& display() const { return display_; }

    // Waits for a client to connect and send the start of its connection set-up, after which it waits
    // for an answer that never comes.
    bool clientWaitsForAnswer(int timeoutMs) {
        pollfd pending{listener_, POLLIN, 0};
        if (listener_ < 0 || ::poll(&pending, 1, timeoutMs) != 1) return false;
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        pollfd request{client_, POLLIN, 0};
        char byteOrder = 0;
        return client_ >= 0 && ::poll(&request, 1, timeoutMs) == 1 && ::recv(client_, &byteOrder, 1, 0) == 1;
    }

  private:
    int listener_ = -1;
    int client_ = -1;
    std::string display_;
};

TEST_F(ProgramOnX11Test, aFifoAsItsUserDefaultsIsNotReadAndItStartsAsUsual) {
    startSession(true);
    startTray();
    openXterm();
    fs::create_directories(home());
    ASSERT_EQ(::mkfifo((home() / "user-defaults.json").c_str(), 0600), 0);
    const pid_t korvane = startKorvane();

    ASSERT_TRUE(X11TestSession::waitFor([&] { return trayIcon(korvane).has_value(); }, seconds(30)))
        << logText();
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    // Taken as no file: the first write (a one-time migration's mark) put the file in its place, and
    // there were no bytes to keep aside.
    ASSERT_TRUE(fs::is_regular_file(home() / "user-defaults.json"));
    EXPECT_TRUE(nlohmann::json::parse(std::ifstream(home() / "user-defaults.json")).is_object());
    for (const auto& entry : fs::directory_iterator(home()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("user-defaults.json.unreadable-"));
}

TEST_F(ProgramOnX11Test, aQuitSignalEndsItWithinSecondsWhileItWaitsForAServerThatNeverAnswers) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        SilentServer server;
        ASSERT_FALSE(server.display().empty()) << "no free port for a display";
        const pid_t korvane =
            spawnChild({KORVANE_BINARY}, server.display(), log().string(), -1, korvaneEnvironment());
        EXPECT_TRUE(server.clientWaitsForAnswer(20'000)) << logText();

        ::kill(korvane, signal);
        // Killed outright after the time-out when the signal is not heeded.
        const int status = endChild(korvane, seconds(20), false);
        EXPECT_EQ(describe(status), "signal " + std::to_string(signal)) << logText();
    }
}

} // namespace
} // namespace korvane::x11::test
