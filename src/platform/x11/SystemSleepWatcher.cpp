// Listening for the login manager's sleep signal on the system bus through Qt's D-Bus module.
#include "platform/x11/SystemSleepWatcher.h"

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdlib>

namespace korvane::x11 {

namespace {

const platform::Logger& log() {
    static const platform::Logger logger("Korvane", "x11");
    return logger;
}

} // namespace

// The bus delivers a signal to a slot of an object, by the slot's signature; this object is that slot.
class SleepSignalReceiver : public QObject {
    Q_OBJECT

  public:
    explicit SleepSignalReceiver(platform::NotificationCenter& notifications)
        : notifications_(notifications) {}

  public slots:
    void prepareForSleep(bool goingToSleep) {
        if (goingToSleep) {
            log().debug("The system is going to sleep");
            return;
        }
        log().info("The system woke from sleep");
        notifications_.post(platform::kDidWake);
    }

  private:
    platform::NotificationCenter& notifications_;
};

SystemSleepWatcher::SystemSleepWatcher(platform::NotificationCenter& notifications) {
    // A connection of its own, under a name of its own: the process-wide system-bus connection would keep
    // whatever address it first found, and would outlive this desktop.
    static std::atomic<unsigned> made{0};
    connectionName_ = "korvane-sleep-" + std::to_string(++made);
    // The address is read here, at each connection: the bus library reads its variable once per process.
    const QString name = QString::fromStdString(connectionName_);
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection bus = address && *address
                              ? QDBusConnection::connectToBus(QString::fromUtf8(address), name)
                              : QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    if (!bus.isConnected()) {
        log().notice("No system bus (%s): waking from sleep goes unnoticed",
                     bus.lastError().message().toStdString());
        return;
    }
    auto receiver = std::make_unique<SleepSignalReceiver>(notifications);
    if (!bus.connect(kService, kPath, kInterface, kSignal, receiver.get(), SLOT(prepareForSleep(bool)))) {
        log().notice("Cannot follow the login manager's sleep signal (%s): waking from sleep goes unnoticed",
                     bus.lastError().message().toStdString());
        return;
    }
    receiver_ = std::move(receiver);
}

SystemSleepWatcher::~SystemSleepWatcher() {
    QDBusConnection bus(QString::fromStdString(connectionName_));
    if (receiver_)
        bus.disconnect(kService, kPath, kInterface, kSignal, receiver_.get(), SLOT(prepareForSleep(bool)));
    QDBusConnection::disconnectFromBus(QString::fromStdString(connectionName_));
}

} // namespace korvane::x11

#include "SystemSleepWatcher.moc"
