// Showing a file through the real desktop: the request reaches the file manager on a private session bus
// with the file's URL; with no file manager there, no session bus at all, or no such file, the folder that
// holds it is opened by address (xdg-open) as before; with no xdg-open either, the caller hears why.
#include "PrivateSystemBus.h"
#include "X11Fixture.h"

#include "platform/Workspace.h"
#include "platform/sim/LogCapture.h"

#include <cstdlib>
#include <fstream>
#include <map>

namespace korvane::x11::test {
namespace {

namespace fs = std::filesystem;

class X11FileManagerTest : public X11Test {
  protected:
    // An xdg-open of the test's own, first on the path, notes the addresses it is given.
    void SetUp() override {
        X11Test::SetUp();
        fs::create_directories(folder.path() / "bin");
        const fs::path tool = folder.path() / "bin/xdg-open";
        std::ofstream(tool) << "#!/bin/sh\necho \"$1\" >> '" << (folder.path() / "opened").string() << "'\n";
        fs::permissions(tool, fs::perms::owner_all);
        for (const char* name : {"PATH", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            if (const char* value = std::getenv(name)) saved[name] = value;
        ::setenv("PATH", ((folder.path() / "bin").string() + ":" + saved["PATH"]).c_str(), 1);
        file = folder.path() / "hot keys.json";
        std::ofstream(file) << "{}";
    }
    void TearDown() override {
        for (const char* name : {"PATH", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            saved.count(name) ? ::setenv(name, saved[name].c_str(), 1) : ::unsetenv(name);
        X11Test::TearDown();
    }
    std::vector<std::string> opened() const {
        std::vector<std::string> lines;
        std::ifstream in(folder.path() / "opened");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string url(const fs::path& path) const {
        std::string encoded = path.string();
        for (std::size_t at; (at = encoded.find(' ')) != std::string::npos;)
            encoded.replace(at, 1, "%20");
        return "file://" + encoded;
    }

    testing::TempFolder folder;
    std::map<std::string, std::string> saved;
    fs::path file;
};

TEST_F(X11FileManagerTest, theFileManagerOnTheSessionBusIsAskedToShowTheFileByItsURL) {
    PrivateSystemBus bus("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(bus.serveAsFileManager());
    sim::ScopedLogCapture capture;
    bool failed = false;
    desktop->workspace().revealFile(file.string(), [&](const std::string&) { failed = true; });
    ASSERT_TRUE(runUntil([&] { return capture.log().count("The file manager shows") == 1; }));
    EXPECT_EQ(bus.itemsShown(), std::vector<std::string>{url(file)});
    EXPECT_TRUE(opened().empty());
    EXPECT_FALSE(failed);
}

TEST_F(X11FileManagerTest, withoutAFileManagerABusOrTheFileItselfTheFolderOpens) {
    PrivateSystemBus bus("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(bus.serveAsFileManager());
    const std::string folderURL = "file://" + folder.path().string();
    auto reveal = [&](const fs::path& path) {
        const std::size_t before = opened().size();
        desktop->workspace().revealFile(path.string(), {});
        EXPECT_TRUE(runUntil([&] { return opened().size() > before; })) << path;
        return opened().back();
    };
    EXPECT_EQ(reveal(folder.path() / "gone.json"), folderURL) << "a file that is not there";

    bus.endFileManager();
    EXPECT_EQ(reveal(file), folderURL) << "nobody serves the file manager's name";

    // No bus named, none in the runtime folder: none is started either.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    EXPECT_EQ(reveal(file), folderURL) << "no session bus";
    EXPECT_TRUE(bus.itemsShown().empty());
}

// No file manager and no xdg-open on the path: nothing can show the file, and the caller hears why.
TEST_F(X11FileManagerTest, withNeitherAFileManagerNorXdgOpenTheCallerHearsThatNothingShowsTheFile) {
    PrivateSystemBus bus("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("PATH", (folder.path() / "empty").c_str(), 1);
    sim::ScopedLogCapture capture;
    std::optional<std::string> reason;
    desktop->workspace().revealFile(file.string(), [&](const std::string& why) { reason = why; });
    ASSERT_TRUE(runUntil([&] { return reason.has_value(); }));
    EXPECT_EQ(*reason, "no file manager answers, and xdg-open cannot be started to open its folder");
    EXPECT_EQ(capture.log().count("Nothing shows " + file.string()), 1u);
}

} // namespace
} // namespace korvane::x11::test
