// Autostart desktop entries: written atomically beside any older one and removed on request.
#include "platform/x11/X11LoginItems.h"

#include "platform/ProcessInfo.h"

#include <string_view>
#include <system_error>

namespace korvane::x11 {

namespace fs = std::filesystem;

namespace {

// Characters that make a desktop-entry argument need double quotes.
bool isReserved(char c) {
    return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos;
}

// The escapes of a desktop-entry string value, which a reader undoes before it parses the arguments.
std::string escapeString(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

X11LoginItems::X11LoginItems(platform::ProcessInfo& process) : process_(process) {}

fs::path X11LoginItems::location(const std::string& label) {
    fs::path config;
    if (auto xdg = process_.environment("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute()) {
        config = *xdg;
    } else if (auto home = process_.environment("HOME"); home && !home->empty()) {
        config = fs::path(*home) / ".config";
    } else {
        throw fs::filesystem_error("no home folder: neither XDG_CONFIG_HOME nor HOME is set",
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    }
    return config / "autostart" / (label + ".desktop");
}

std::string X11LoginItems::execValue(const std::string& programPath) {
    bool quote = false;
    for (char c : programPath)
        quote = quote || isReserved(c);
    std::string arg;
    if (quote) arg += '"';
    for (char c : programPath) {
        if (c == '%') {
            arg += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
    }
    if (quote) arg += '"';
    return escapeString(arg);
}

std::string X11LoginItems::desktopEntry(const platform::LoginItem& item) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           escapeString(fs::path(item.programPath).filename().string()) +
           "\n"
           "Exec=" +
           execValue(item.programPath) + "\n";
}

std::string X11LoginItems::entryText(const platform::LoginItem& item) {
    return desktopEntry(item);
}

} // namespace korvane::x11
