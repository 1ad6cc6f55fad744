// Login entries of the real desktop, which need no X server: the autostart file, its place, and an Exec
// value that the desktop-entry reader turns back into the exact program path.
#include "platform/x11/DesktopEntries.h"
#include "platform/x11/X11LoginItems.h"

#include "platform/sim/SimProcessInfo.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace korvane::x11 {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(X11LoginItems, theEntryLivesInTheAutostartFolderOfTheConfigHome) {
    testing::TempFolder tmp;
    sim::SimProcessInfo process;
    X11LoginItems items(process);
    EXPECT_THROW(items.location("com.korvane.launch"), fs::filesystem_error);

    process.setEnvironment("HOME", (tmp.path() / "home").string());
    EXPECT_EQ(items.location("com.korvane.launch"),
              tmp.path() / "home/.config/autostart/com.korvane.launch.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(items.location("l"), tmp.path() / "home/.config/autostart/l.desktop");
    process.setEnvironment("XDG_CONFIG_HOME", (tmp.path() / "config").string());
    const fs::path entry = tmp.path() / "config/autostart/com.korvane.launch.desktop";
    EXPECT_EQ(items.location("com.korvane.launch"), entry);

    EXPECT_NO_THROW(items.uninstall("com.korvane.launch"));
    items.install({"com.korvane.launch", "/opt/Korvane/bin/korvane"});
    EXPECT_EQ(contents(entry),
              "[Desktop Entry]\nType=Application\nName=korvane\nExec=/opt/Korvane/bin/korvane\n");
    EXPECT_TRUE(items.isInstalled("com.korvane.launch"));
    items.uninstall("com.korvane.launch");
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(items.isInstalled("com.korvane.launch"));
}

TEST(X11LoginItems, execValuesReadBackAsTheExactProgramPath) {
    const std::vector<std::string> paths = {
        "/usr/bin/korvane", "/opt/My App/korvane",  "/a/100%/b",           "/q$x\\y\"z`w'", "/new\nline",
        "/tab\there",       "/semi;colon&and|pipe", "/paren(s)#hash*?~<>",
    };
    for (const auto& path : paths) {
        auto entry = DesktopEntries::parse(X11LoginItems::desktopEntry({"com.korvane.launch", path}),
                                           "com.korvane.launch", "/x/com.korvane.launch.desktop");
        ASSERT_TRUE(entry.has_value()) << path;
        EXPECT_EQ(DesktopEntries::commandLine(*entry), std::vector<std::string>{path}) << entry->exec;
    }
    EXPECT_EQ(X11LoginItems::execValue("/opt/My App/run"), "\"/opt/My App/run\"");
    EXPECT_EQ(X11LoginItems::execValue("/a\\b"), "\"/a\\\\\\\\b\"");
}

} // namespace
} // namespace korvane::x11
