// Login entries of the simulated desktop as real files under the simulated home folder, so that tests
// can read what was written and where.
#include "platform/sim/SimLoginItems.h"

#include "platform/sim/SimProcessInfo.h"

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

std::string SimLoginItems::entryText(const platform::LoginItem& item) {
    return propertyList(item);
}

} // namespace korvane::sim
