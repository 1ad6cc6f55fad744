// Applications installed on the desktop, from their desktop entries in the XDG data folders: the
// entry's id (file name without ".desktop") serves as the bundle identifier.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane::x11 {

struct DesktopEntry {
    std::string id;   // "debian-xterm" for applications/debian-xterm.desktop; sub-folders join with '-'
    std::string path; // the file
    std::string name;
    std::string exec;
    std::string icon;
    std::string startupWMClass;
    bool terminal = false; // the program runs in a terminal emulator
};

class DesktopEntries {
  public:
    // The data folders in order of precedence: $XDG_DATA_HOME (else ~/.local/share), then
    // $XDG_DATA_DIRS (else /usr/local/share:/usr/share).
    static std::vector<std::string> dataFolders();
    // Reads every application entry below the folders' "applications"; an earlier folder wins an id.
    static DesktopEntries scan(const std::vector<std::string>& folders);

    const std::vector<DesktopEntry>& entries() const { return entries_; }
    std::optional<DesktopEntry> byID(const std::string& id) const;
    // The entry of a window's class: its StartupWMClass, else an id equal to the class or the instance
    // name (case aside), else an entry whose command is the instance name.
    std::optional<DesktopEntry> forWindowClass(const std::string& instanceName,
                                               const std::string& className) const;

    // One entry file; nothing when it is not a shown application.
    static std::optional<DesktopEntry> parse(const std::string& text, const std::string& id,
                                             const std::string& path);
    // The command line of an Exec value: quoting undone, field codes expanded or dropped. Nothing when
    // the value is malformed.
    static std::optional<std::vector<std::string>> commandLine(const DesktopEntry& entry);
    // What starts the entry as a desktop's launcher does: its command line, for a terminal entry run by
    // the user's terminal emulator with "-e" (x-terminal-emulator on the PATH, else $TERMINAL, else
    // xterm). Nothing when the Exec value is malformed.
    static std::optional<std::vector<std::string>> launchCommand(const DesktopEntry& entry);

  private:
    std::vector<DesktopEntry> entries_;
};

} // namespace korvane::x11
