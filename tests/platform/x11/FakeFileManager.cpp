// A stand-in for the desktop's file manager: owns "org.freedesktop.FileManager1" on the bus at the address
// given first, answers every "ShowItems" request and appends the request's URIs, one a line, to the file
// given second. The file "<record>.ready" appears once the name is owned. Runs until it is ended.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QString>
#include <QStringList>

namespace {

constexpr const char* kService = "org.freedesktop.FileManager1";
constexpr const char* kPath = "/org/freedesktop/FileManager1";
constexpr const char* kInterface = "org.freedesktop.FileManager1";

class FileManager final : public QDBusVirtualObject {
  public:
    explicit FileManager(QString record) : record_(std::move(record)) {}

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"org.freedesktop.FileManager1\"><method name=\"ShowItems\">"
                              "<arg type=\"as\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
                              "</method></interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != kInterface || message.member() != "ShowItems") return false;
        QFile file(record_);
        if (file.open(QIODevice::Append | QIODevice::Text))
            for (const QString& uri : message.arguments().value(0).toStringList())
                file.write((uri + "\n").toUtf8());
        file.close();
        connection.send(message.createReply());
        return true;
    }

  private:
    QString record_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3) return 2;
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "fake-file-manager");
    const QString record = QString::fromLocal8Bit(argv[2]);
    FileManager manager(record);
    if (!bus.isConnected() || !bus.registerVirtualObject(kPath, &manager) ||
        !bus.interface()->registerService(kService).isValid())
        return 1;
    QFile ready(record + ".ready");
    if (!ready.open(QIODevice::WriteOnly)) return 1;
    ready.close();
    return application.exec();
}
