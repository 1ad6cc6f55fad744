// Application names from bundle identifiers and desktop entries.
#include "ui/scene_editor/ApplicationNames.h"

#include "platform/TextTrim.h"
#include "platform/UTF8.h"
#include "platform/Workspace.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace korvane {

namespace {

// Entry files are a few kilobytes; anything far larger at an application's location is not one.
constexpr std::uintmax_t kMaxEntryFileSize = 256 * 1024;

std::string_view trimmedBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
            break;
        }
    }
    return out;
}

std::string withoutApp(std::string name) {
    for (auto found = name.find(".app"); found != std::string::npos; found = name.find(".app"))
        name.erase(found, 4);
    return name;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The file path a location names: a "file:" URL loses its scheme and host and has its escapes undone; any
// other text is taken as a path.
std::string pathOf(const std::string& location) {
    static constexpr std::string_view kScheme = "file://";
    if (location.rfind(kScheme, 0) != 0) return location;
    std::string_view rest = std::string_view(location).substr(kScheme.size());
    const auto slash = rest.find('/');
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size()) {
            const int high = hexValue(rest[i + 1]), low = hexValue(rest[i + 2]);
            if (high >= 0 && low >= 0) {
                path += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        path += rest[i];
    }
    return path;
}

std::optional<std::string> readSmallFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxEntryFileSize) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string lastComponentWithoutExtension(std::string path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

} // namespace

std::string fallbackApplicationName(const std::string& bundleID) {
    std::string last;
    std::size_t start = 0;
    while (start <= bundleID.size()) {
        const auto dot = bundleID.find('.', start);
        const std::size_t end = dot == std::string::npos ? bundleID.size() : dot;
        if (end > start) last = bundleID.substr(start, end - start);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return last.empty() ? bundleID : last;
}

std::optional<std::string> desktopEntryName(std::string_view text) {
    bool inEntryGroup = false;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trimmedBlanks(line);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntryGroup) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || trimmedBlanks(line.substr(0, equals)) != "Name") continue;
        std::string name = validUTF8(unescaped(trimmedBlanks(line.substr(equals + 1))));
        for (char& c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
        name = trimmingWhitespaceAndNewlines(name);
        if (name.empty()) return std::nullopt;
        return name;
    }
    return std::nullopt;
}

std::string installedApplicationName(const std::string& location, const std::string& bundleID) {
    const std::string path = pathOf(location);
    std::optional<std::string> name;
    if (auto text = readSmallFile(path)) name = desktopEntryName(*text);
    std::string shown = withoutApp(name ? *name : lastComponentWithoutExtension(path));
    if (trimmedView(shown).empty()) return fallbackApplicationName(bundleID);
    return shown;
}

BundleResolvedInfo resolveBundleInfo(platform::Workspace& workspace, const std::string& bundleID) {
    const auto location = workspace.urlForApplication(bundleID);
    if (!location) return {fallbackApplicationName(bundleID), nullptr};
    ApplicationIconRef icon;
    if (auto image = workspace.iconForFile(*location))
        icon = std::make_shared<const platform::IconImage>(std::move(*image));
    return {installedApplicationName(*location, bundleID), std::move(icon)};
}

} // namespace korvane
