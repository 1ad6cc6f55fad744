// Starting and ending the private bus, and speaking on it as the login manager or as a stranger.
#include "PrivateSystemBus.h"

#include "X11TestSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane::x11::test {

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";
constexpr const char* kSignal = "PrepareForSleep";

// Whether something accepts connections on the socket.
bool accepting(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

PrivateSystemBus::PrivateSystemBus(const char* addressVariable) : variable_(addressVariable) {
    const std::string socket = (folder_.path() / "system_bus_socket").string();
    address_ = "unix:path=" + socket;
    const auto config = folder_.path() / "bus.conf";
    std::ofstream(config)
        << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>)"
        << address_ << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="signal"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";
    daemon_ = spawnChild({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + config.string()}, "",
                         (folder_.path() / "bus.log").string());
    if (!X11TestSession::waitFor([&] { return accepting(socket); }, seconds(10))) {
        endChild(daemon_, seconds(5));
        throw std::runtime_error("the private bus did not come up");
    }
    if (const char* previous = std::getenv(variable_.c_str())) previousAddress_ = previous;
    ::setenv(variable_.c_str(), address_.c_str(), 1);
}

PrivateSystemBus::~PrivateSystemBus() {
    endFileManager();
    if (!loginManager_.empty()) QDBusConnection::disconnectFromBus(QString::fromStdString(loginManager_));
    if (previousAddress_)
        ::setenv(variable_.c_str(), previousAddress_->c_str(), 1);
    else
        ::unsetenv(variable_.c_str());
    endChild(daemon_, seconds(5));
}

bool PrivateSystemBus::serveAsFileManager() {
    const auto record = folder_.path() / "items-shown";
    fileManager_ = spawnChild({KORVANE_FAKE_FILE_MANAGER, address_, record.string()}, "",
                              (folder_.path() / "file-manager.log").string());
    return X11TestSession::waitFor([&] { return std::filesystem::exists(record.string() + ".ready"); },
                                   seconds(20));
}

void PrivateSystemBus::endFileManager() {
    endChild(fileManager_, seconds(5));
    fileManager_ = 0;
}

std::vector<std::string> PrivateSystemBus::itemsShown() const {
    std::vector<std::string> items;
    std::ifstream in(folder_.path() / "items-shown");
    for (std::string line; std::getline(in, line);)
        items.push_back(line);
    return items;
}

bool PrivateSystemBus::announceAsLoginManager(bool goingToSleep) {
    if (loginManager_.empty()) {
        loginManager_ = "test-login-manager";
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_),
                                                            QString::fromStdString(loginManager_));
        if (!bus.isConnected() || !bus.interface()->registerService(kService).isValid()) return false;
    }
    QDBusConnection bus(QString::fromStdString(loginManager_));
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, kSignal);
    signal << goingToSleep;
    return bus.send(signal);
}

bool PrivateSystemBus::announceAsStranger(bool goingToSleep) {
    const pid_t tool =
        spawnChild({"dbus-send", "--bus=" + address_, "--type=signal", kPath,
                    std::string(kInterface) + "." + kSignal, goingToSleep ? "boolean:true" : "boolean:false"},
                   "", (folder_.path() / "dbus-send.log").string());
    const int status = endChild(tool, seconds(10), false);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace korvane::x11::test
