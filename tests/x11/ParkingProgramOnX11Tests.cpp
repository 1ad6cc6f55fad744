// Parked windows with the built `korvane` on a real X server: a window that a scene restore parks, of
// which openbox keeps a tenth on screen, is brought back by the rescue at the next start.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <cmath>

namespace korvane::x11::test {
namespace {

constexpr const char* kSceneID = "66666666-7777-4888-8999-aaaaaaaaaaaa";

class ParkingProgramOnX11Test : public ProgramOnX11Test {
  protected:
    void quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
};

TEST_F(ParkingProgramOnX11Test, aWindowTheRestoreParkedIsBroughtBackByTheRescueAtTheNextStart) {
    startSession(true);
    const auto uuids = monitorsByName(session->display());
    ASSERT_EQ(uuids.size(), 2u);
    const std::string primary = uuids.at(kPrimaryName), side = uuids.at(kSecondaryName);
    WMScene scene;
    scene.id = kSceneID;
    scene.name = "Terminal";
    scene.layoutRefsByDisplay = {{primary, "builtin.split-50-50"}, {side, "builtin.split-50-50"}};
    scene.windowHints = {{primary, {WindowHint{"xterm", 1, std::nullopt}}}};
    writeActiveScene(home(), scene);
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":true})";
    xterm("Terminal", "60x20+2100+100");
    const pid_t unrelated = session->start(
        {"xterm", "-name", "unrelated", "-title", "Unrelated", "-geometry", "50x15+300+300", "-e", "cat"});
    std::optional<xcb_window_t> found;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (found = session->clientOf(unrelated)).has_value(); }));
    const xcb_window_t window = *found;
    const Rect before = session->frameOf(window);

    // Without desktop entries, the unrelated xterm is an application of its own by its class.
    const std::vector<std::string> noEntries{"XDG_DATA_HOME=" + (folder.path() / "none").string(),
                                             "XDG_DATA_DIRS=" + (folder.path() / "none").string()};
    pid_t korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("Scene park: 'unrelated' wid=" + std::to_string(window))) << logText();
    // Asked to leave one pixel on its monitor, the window keeps a tenth of its width there: only the
    // mark tells that it is parked.
    const Rect parked = session->frameOf(window);
    EXPECT_EQ(parked.size, before.size);
    EXPECT_EQ(parked.maxX(), std::ceil(parked.width() / 10)) << platform::describe(parked);
    quit(korvane);

    // With parking still on, the start's restore would park the window again a second after the rescue.
    std::ofstream(home() / "user-defaults.json") << R"({"ParkUnmanagedWindowsOnRestore":false})";
    korvane = startKorvane(noEntries);
    ASSERT_TRUE(waitForLine("[app] Rescued 1 windows from parking")) << logText();
    // On the 200 × 200 square near the primary monitor's top-left corner, as far as xterm's character
    // cells (6 × 13) let it.
    const Rect square{1940, 20, 200, 200};
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const Rect frame = session->frameOf(window);
        return frame.origin == square.origin && frame.width() <= 200 && frame.width() > 194 &&
               frame.height() <= 200 && frame.height() > 187;
    })) << platform::describe(session->frameOf(window));
    quit(korvane);
}

} // namespace
} // namespace korvane::x11::test
