// Reads /proc/self for the command line and the executable, and getrandom() for UUIDs.
#include "platform/x11/X11ProcessInfo.h"

#include "platform/x11/X11Workspace.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/random.h>
#include <unistd.h>

namespace korvane::x11 {

namespace fs = std::filesystem;

std::vector<std::string> X11ProcessInfo::arguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> out;
    for (std::string arg; std::getline(in, arg, '\0');)
        out.push_back(arg);
    return out;
}

std::optional<std::string> X11ProcessInfo::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string X11ProcessInfo::currentDirectory() {
    std::error_code ec;
    auto path = fs::current_path(ec);
    return ec ? std::string() : path.string();
}

std::string X11ProcessInfo::executablePath() {
    std::error_code ec;
    auto path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

pid_t X11ProcessInfo::processIdentifier() {
    return ::getpid();
}

std::optional<std::string> X11ProcessInfo::bundleResourcesDirectory() {
    const std::string exe = executablePath();
    if (exe.empty()) return std::nullopt;
    const fs::path resources = fs::path(exe).parent_path().parent_path() / "share" / "korvane";
    std::error_code ec;
    if (!fs::is_directory(resources, ec)) return std::nullopt;
    return resources.string();
}

bool X11ProcessInfo::isRunning(pid_t pid) {
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    // The state follows the command name, which may itself hold parentheses: look after the last one.
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return true;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

std::string X11ProcessInfo::formatUUID(std::array<unsigned char, 16> b) {
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    std::string out;
    char hex[3];
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        std::snprintf(hex, sizeof hex, "%02X", b[i]);
        out += hex;
    }
    return out;
}

std::string X11ProcessInfo::makeUUID() {
    std::array<unsigned char, 16> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            // A UUID from a weak source would collide silently; refusing is the honest answer.
            throw std::runtime_error("no random source for a UUID");
        }
    }
    return formatUUID(bytes);
}

std::optional<std::string> X11ProcessInfo::bundleIdentifier() {
    return std::string(kOwnBundleID);
}

} // namespace korvane::x11
