// Asking the file manager on the session bus, through Qt's D-Bus module, to show a file; its folder
// opened where it does not.
#include "platform/x11/FileManagerService.h"

#include "platform/Logger.h"
#include "platform/x11/X11Connection.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace korvane::x11 {

namespace {

// Bytes outside [A-Za-z0-9] and `keep` as %XX.
std::string percentEncoded(const std::string& text, const std::string& keep) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool alphanumeric = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alphanumeric || keep.find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

} // namespace

FileManagerService::FileManagerService(std::function<bool(const std::string& url)> openURL)
    : openURL_(std::move(openURL)), pending_(std::make_unique<QObject>()) {}

FileManagerService::~FileManagerService() {
    std::vector<QString> connections;
    for (const auto* request : pending_->findChildren<QDBusPendingCallWatcher*>())
        if (!request->objectName().isEmpty()) connections.push_back(request->objectName());
    pending_.reset();
    for (const QString& name : connections)
        QDBusConnection::disconnectFromBus(name);
}

std::string FileManagerService::fileURL(const std::string& path) {
    return "file://" + percentEncoded(path, "/-_.~");
}

std::optional<std::string> FileManagerService::sessionBusAddress() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return std::string(address);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return std::nullopt;
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return std::nullopt;
    // A bus address escapes what its values may not hold as they are.
    return "unix:path=" + percentEncoded(socket, "-_/.\\*");
}

void FileManagerService::showItem(const std::string& path, Failed failed) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        openFolder(path, "no such file", failed);
        return;
    }
    const auto address = sessionBusAddress();
    if (!address) {
        openFolder(path, "no session bus", failed);
        return;
    }
    static unsigned made = 0; // main thread only
    const QString name = QString("korvane-file-manager-%1").arg(++made);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(*address), name);
    if (!bus.isConnected()) {
        const std::string reason = bus.lastError().message().toStdString();
        QDBusConnection::disconnectFromBus(name);
        openFolder(path, reason, failed);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, kMethod);
    // No startup id: the file manager's window comes forward as any new window does.
    call << QStringList{QString::fromStdString(fileURL(path))} << QString();
    auto* request = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), pending_.get());
    request->setObjectName(name);
    QObject::connect(request, &QDBusPendingCallWatcher::finished, pending_.get(),
                     [this, path, name, failed](QDBusPendingCallWatcher* answered) {
                         const bool refused = answered->isError();
                         const std::string reason = answered->error().message().toStdString();
                         answered->setObjectName(QString());
                         answered->deleteLater();
                         QDBusConnection::disconnectFromBus(name);
                         if (refused)
                             openFolder(path, reason, failed);
                         else
                             x11Log().info("The file manager shows %{public}s", path);
                     });
}

void FileManagerService::openFolder(const std::string& path, const std::string& reason,
                                    const Failed& failed) {
    x11Log().info("No file manager shows %{public}s (%{public}s): opening its folder", path, reason);
    if (openURL_(fileURL(std::filesystem::path(path).parent_path().string()))) return;
    x11Log().error("Nothing shows %{public}s: no file manager answers and xdg-open cannot be started to open "
                   "its folder",
                   path);
    if (failed) failed("no file manager answers, and xdg-open cannot be started to open its folder");
}

} // namespace korvane::x11
