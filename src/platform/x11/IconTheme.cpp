// Icon lookup over the themes' size folders. Themes are read from the folders as they are, without
// their index files: the sizes are in the folder names, which is all the choice of a size needs.
#include "platform/x11/IconTheme.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace korvane::x11 {

namespace fs = std::filesystem;

namespace {

constexpr int kWantedSize = 128;

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::vector<fs::path> subfolders(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// "48x48" -> 48; nothing for other names ("scalable", "symbolic", "48x48@2").
std::optional<int> sizeOf(const std::string& folderName) {
    const auto x = folderName.find('x');
    if (x == std::string::npos || x == 0 || folderName.substr(0, x) != folderName.substr(x + 1))
        return std::nullopt;
    for (char c : folderName.substr(0, x))
        if (c < '0' || c > '9') return std::nullopt;
    if (x > 5) return std::nullopt;
    return std::atoi(folderName.substr(0, x).c_str());
}

// Sizes nearest the wanted one first: the smallest at least as large, then the rest from largest down.
bool preferredSize(int a, int b) {
    const bool aFits = a >= kWantedSize, bFits = b >= kWantedSize;
    if (aFits != bFits) return aFits;
    return aFits ? a < b : a > b;
}

std::optional<std::string> pictureIn(const fs::path& folder, const std::string& name) {
    for (const char* extension : {".png", ".xpm"})
        if (const fs::path file = folder / (name + extension); isFile(file)) return file.string();
    return std::nullopt;
}

std::optional<std::string> findInTheme(const std::vector<fs::path>& themeFolders, const std::string& name) {
    std::multimap<int, fs::path, bool (*)(int, int)> bySize(preferredSize);
    for (const auto& theme : themeFolders)
        for (const auto& sizeFolder : subfolders(theme))
            if (auto size = sizeOf(sizeFolder.filename().string())) bySize.emplace(*size, sizeFolder);
    for (const auto& [size, sizeFolder] : bySize)
        for (const auto& context : subfolders(sizeFolder))
            if (auto file = pictureIn(context, name)) return file;
    return std::nullopt;
}

} // namespace

std::optional<std::string> IconTheme::find(const std::string& name,
                                           const std::vector<std::string>& dataFolders) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/') return isFile(name) ? std::optional<std::string>(name) : std::nullopt;
    // A name is a file name inside the theme folders, never a way out of them.
    if (name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;

    std::map<std::string, std::vector<fs::path>> themes; // theme name -> its folders, earlier data first
    for (const auto& data : dataFolders)
        for (const auto& theme : subfolders(fs::path(data) / "icons"))
            themes[theme.filename().string()].push_back(theme);
    if (auto hicolor = themes.find("hicolor"); hicolor != themes.end()) {
        if (auto file = findInTheme(hicolor->second, name)) return file;
        themes.erase(hicolor);
    }
    for (const auto& [themeName, folders] : themes)
        if (auto file = findInTheme(folders, name)) return file;
    for (const auto& data : dataFolders)
        if (auto file = pictureIn(fs::path(data) / "pixmaps", name)) return file;
    return std::nullopt;
}

} // namespace korvane::x11
