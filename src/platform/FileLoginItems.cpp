// Writing, removing and finding a login entry file.
#include "platform/FileLoginItems.h"

#include "platform/AtomicFile.h"

#include <system_error>

namespace korvane::platform {

namespace fs = std::filesystem;

void FileLoginItems::install(const LoginItem& item) {
    const fs::path path = location(item.label);
    std::error_code ec;
    if (!fs::exists(path.parent_path(), ec)) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) throw fs::filesystem_error("cannot create the folder", path.parent_path(), ec);
    }
    writeFileAtomically(path, entryText(item));
}

void FileLoginItems::uninstall(const std::string& label) {
    const fs::path path = location(label);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return;
    fs::remove(path, ec);
    if (ec) throw fs::filesystem_error("cannot remove the file", path, ec);
}

bool FileLoginItems::isInstalled(const std::string& label) {
    std::error_code ec;
    return fs::exists(location(label), ec);
}

} // namespace korvane::platform
