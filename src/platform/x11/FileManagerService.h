// Showing a file selected in the desktop's file manager: the freedesktop "FileManager1" service on the
// session bus, which the common file managers offer (and the bus starts on demand). Where no file manager
// answers, the folder that holds the file is opened instead, as a plain X desktop must.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QObject;

namespace korvane::x11 {

// Made, used and destroyed on the thread of the Qt application object, where the answers are delivered.
// Each request connects to the session bus afresh, under a name of its own, and lets go once answered: the
// bus is found from the environment at the time, and nothing is held between two requests. Answers still
// awaited when the service ends are dropped, and nothing is opened for them.
class FileManagerService {
  public:
    // `openURL` opens a folder by its file URL.
    explicit FileManagerService(std::function<bool(const std::string& url)> openURL);
    ~FileManagerService();
    FileManagerService(const FileManagerService&) = delete;
    FileManagerService& operator=(const FileManagerService&) = delete;

    // Told why nothing showed a file.
    using Failed = std::function<void(const std::string& reason)>;

    // Asks for the file to be shown selected, and returns at once; opens its folder when there is no bus,
    // no file there, or the file manager's answer is an error or does not come within kReplyTimeoutMs.
    // Where the folder cannot be opened either, logs it and tells `failed` (when set), at once or later.
    void showItem(const std::string& path, Failed failed = {});

    // The file URL of a local path, every byte outside the unreserved set and "/" percent-encoded.
    static std::string fileURL(const std::string& path);
    // The session bus the environment names: $DBUS_SESSION_BUS_ADDRESS, else the socket "bus" in
    // $XDG_RUNTIME_DIR where there is one. Nothing otherwise: the bus library would start a bus of its own.
    static std::optional<std::string> sessionBusAddress();

    static constexpr const char* kService = "org.freedesktop.FileManager1";
    static constexpr const char* kPath = "/org/freedesktop/FileManager1";
    static constexpr const char* kInterface = "org.freedesktop.FileManager1";
    static constexpr const char* kMethod = "ShowItems";
    // A file manager started by the bus for the request answers once it runs, which takes a moment.
    static constexpr int kReplyTimeoutMs = 10000;

  private:
    void openFolder(const std::string& path, const std::string& reason, const Failed& failed);

    std::function<bool(const std::string&)> openURL_;
    // Parent of the requests still awaiting their answers; they go with it.
    std::unique_ptr<QObject> pending_;
};

} // namespace korvane::x11
