// Finding and creating the application-support folder from the process's environment.
#include "core/AppSupport.h"

#include "platform/Platform.h"

#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

fs::path chooseFolder(platform::ProcessInfo& info) {
    auto nonEmpty = [&](const char* name) -> std::optional<std::string> {
        auto v = info.environment(name);
        if (v && !v->empty()) return v;
        return std::nullopt;
    };
    if (auto home = nonEmpty("KORVANE_HOME")) {
        fs::path p(*home);
        return p.is_absolute() ? p : fs::path(info.currentDirectory()) / p;
    }
    // A relative XDG_CONFIG_HOME is invalid and ignored, as other programs that read it do.
    if (auto xdg = nonEmpty("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute())
        return fs::path(*xdg) / "Korvane";
    if (auto home = nonEmpty("HOME")) return fs::path(*home) / ".config" / "Korvane";
    throw fs::filesystem_error("no home folder: neither KORVANE_HOME, XDG_CONFIG_HOME nor HOME is set",
                               std::make_error_code(std::errc::no_such_file_or_directory));
}

} // namespace

fs::path appSupportDirectory() {
    fs::path folder = chooseFolder(platform::Platform::current().processInfo());
    std::error_code ec;
    auto status = fs::status(folder, ec);
    if (fs::is_directory(status)) return folder;
    if (fs::exists(status)) {
        // Handing back a file's path would only move the failure to every store's first write.
        throw fs::filesystem_error("application-support path is not a folder", folder,
                                   std::make_error_code(std::errc::not_a_directory));
    }
    fs::create_directories(folder, ec);
    if (ec) throw fs::filesystem_error("cannot create the application-support folder", folder, ec);
    return folder;
}

} // namespace korvane
