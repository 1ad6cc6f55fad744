// Login entries of the simulated desktop as real files under the simulated home folder, so that tests
// can read what was written and where.
#include "platform/sim/SimLoginItems.h"

#include "platform/sim/SimProcessInfo.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace korvane::sim {

namespace fs = std::filesystem;

namespace {

std::string escapeXML(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A complete temporary file renamed over the target, so that a failed write leaves the old entry.
void writeAtomically(const fs::path& path, const std::string& bytes) {
    fs::path temp = path.parent_path() / ("." + path.filename().string() + ".tmp");
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        throw fs::filesystem_error("cannot create a temporary file", temp,
                                   std::error_code(errno, std::generic_category()));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) fs::rename(temp, path, ec);
    if (!ok || ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw fs::filesystem_error("cannot write the file", path,
                                   ec ? ec : std::make_error_code(std::errc::io_error));
    }
}

} // namespace

SimLoginItems::SimLoginItems(SimProcessInfo& process) : process_(process) {}

fs::path SimLoginItems::location(const std::string& label) {
    auto home = process_.environment("HOME");
    if (!home || home->empty())
        throw fs::filesystem_error("the simulated process has no home folder",
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    return fs::path(*home) / "Library" / "LaunchAgents" / (label + ".plist");
}

std::string SimLoginItems::propertyList(const platform::LoginItem& item) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\">\n"
           "<dict>\n"
           "\t<key>Label</key>\n"
           "\t<string>" +
           escapeXML(item.label) +
           "</string>\n"
           "\t<key>ProgramArguments</key>\n"
           "\t<array>\n"
           "\t\t<string>/usr/bin/open</string>\n"
           "\t\t<string>-a</string>\n"
           "\t\t<string>" +
           escapeXML(item.programPath) +
           "</string>\n"
           "\t</array>\n"
           "\t<key>RunAtLoad</key>\n"
           "\t<true/>\n"
           "</dict>\n"
           "</plist>\n";
}

void SimLoginItems::install(const platform::LoginItem& item) {
    const fs::path path = location(item.label);
    std::error_code ec;
    if (!fs::exists(path.parent_path(), ec)) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) throw fs::filesystem_error("cannot create the folder", path.parent_path(), ec);
    }
    writeAtomically(path, propertyList(item));
}

void SimLoginItems::uninstall(const std::string& label) {
    const fs::path path = location(label);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return;
    fs::remove(path, ec);
    if (ec) throw fs::filesystem_error("cannot remove the file", path, ec);
}

bool SimLoginItems::isInstalled(const std::string& label) {
    std::error_code ec;
    return fs::exists(location(label), ec);
}

} // namespace korvane::sim
