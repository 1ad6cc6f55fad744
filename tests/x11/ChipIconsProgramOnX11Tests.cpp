// Application icons in the built program on a real X server with openbox, as a user sees them: two xterms
// of the active scene, one whose window carries its picture as pixels (_NET_WM_ICON) and one whose desktop
// entry names an icon of the theme (a picture file). Each shows the same picture on its chip in the scene
// editor (the first to ask for it), on its chip in the "Save Scene" window and on its global switcher
// tile, read back from the server. Pictures of the three are left under build/screenshots.
#include "IconPictures.h"
#include "ProgramOnX11.h"

#include "scenes/model/WMScene.h"

#include <X11/keysym.h>

#include <array>
#include <cstdlib>

namespace korvane::x11::test {
namespace {

// Colours seen nowhere else on the screen.
constexpr Quadrants kPixelsIcon{0xFF00FF, 0x00FFFF, 0xFFFF00, 0xFF8000};
constexpr Quadrants kFileIcon{0x00FF00, 0x8000FF, 0xFF0080, 0x804000};

Rect unionOf(const Rect& a, const Rect& b) {
    const double left = std::min(a.minX(), b.minX()), top = std::min(a.minY(), b.minY());
    return Rect{left, top, std::max(a.maxX(), b.maxX()) - left, std::max(a.maxY(), b.maxY()) - top};
}

class ChipIconsProgramOnX11Test : public ProgramOnX11Test {
  protected:
    // The program's desktop data: one entry, for the xterms of class "KorvaneSample", naming a theme icon
    // of 16 × 16 pixels, an image file of that theme.
    fs::path writeDesktopData() {
        const fs::path data = folder.path() / "data";
        fs::create_directories(data / "applications");
        fs::create_directories(data / "icons/hicolor/16x16/apps");
        std::ofstream(data / "applications/korvane-sample-terminal.desktop")
            << "[Desktop Entry]\nType=Application\nName=Sample Terminal\nExec=false\n"
               "StartupWMClass=KorvaneSample\nIcon=korvane-sample-terminal\n";
        writeQuadrantsXpm(data / "icons/hicolor/16x16/apps/korvane-sample-terminal.xpm", kFileIcon);
        return data;
    }
    std::optional<xcb_window_t> openTitled(const char* title, std::vector<std::uint32_t> keys) {
        press(std::move(keys));
        std::optional<xcb_window_t> window;
        X11TestSession::waitFor([&] {
            window = session->viewableWindowTitled(title);
            return window && session->activeWindow() == *window;
        });
        return window && session->activeWindow() == *window ? window : std::nullopt;
    }
    bool goneTitled(const char* title) {
        return X11TestSession::waitFor([&] { return !session->viewableWindowTitled(title); });
    }
    struct IconPair {
        std::optional<FoundIcon> pixels, file;
    };
    // The pictures of both xterms in `area` once drawn at `side` pixels; what the server shows of the area
    // is left as a picture of that name, if it has one.
    IconPair iconsIn(const Rect& area, double side, const std::string& pictureName) {
        IconPair found{waitForIcon(*session, area, kPixelsIcon, side),
                       waitForIcon(*session, area, kFileIcon, side)};
        EXPECT_TRUE(found.pixels && found.file) << pictureName << "\n" << logText();
        if (!pictureName.empty()) {
            EXPECT_TRUE(session->saveScreenshot(area, picture(pictureName)));
        }
        return found;
    }
};

TEST_F(ChipIconsProgramOnX11Test, anXtermShowsTheIconOfItsSwitcherTileOnItsSceneEditorAndSaveSceneChips) {
    startSession(true);
    startTray();
    const fs::path data = writeDesktopData();
    // The machine's own xterm entry names an icon drawn only as SVG, which the program does not read, and
    // the program is given no data of the machine's: this xterm, "xterm" by its instance name, carries its
    // picture in its window.
    const xcb_window_t pixelsXterm = xterm("Pixels", "60x20+2000+100");
    session->setIcon(pixelsXterm, netWMIcon(kPixelsIcon));
    const pid_t filePid = session->start({"xterm", "-name", "korvane-sample", "-class", "KorvaneSample",
                                          "-title", "File", "-geometry", "60x20+3000+100", "-e", "cat"});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->clientOf(filePid).has_value(); }));
    // The active scene places them in the two halves of the primary monitor.
    WMScene scene;
    scene.id = "5C1E7A0B-3D2F-4C6A-9B8E-7F1D2C3B4A5E";
    scene.name = "Terminals";
    const std::string primary = monitorsByName(session->display()).at(kPrimaryName);
    scene.layoutRefsByDisplay = {{primary, "builtin.split-50-50"}};
    scene.windowHints = {
        {primary, {{"xterm", 1, std::nullopt}, {"korvane-sample-terminal", 2, std::nullopt}}}};
    writeActiveScene(home(), scene);
    const pid_t korvane = startKorvane(
        {"XDG_DATA_HOME=" + data.string(), "XDG_DATA_DIRS=" + (folder.path() / "no-data").string()});
    ASSERT_TRUE(waitForLine("Permissions granted, starting services...")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();

    // The editor first, before anything else has asked for the icons: from the scene manager's "Edit
    // Grid", its chips at 64 pixels over the primary monitor.
    ASSERT_TRUE(openTrayMenu(korvane)) << logText();
    for (int i = 0; i < 3; ++i)
        press({XK_Up});
    press({XK_Return});
    std::optional<xcb_window_t> manager;
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return (manager = session->viewableWindowTitled("Scene Manager")).has_value();
    })) << logText();
    // "Edit Grid" stands 60 pixels in and 433 down in the 720 × 520 window, a row lower while the manager
    // lists a third display; a click lands once the window has drawn.
    int attempt = 0;
    ASSERT_TRUE(X11TestSession::waitFor(
        [&] {
            const Rect frame = session->frameOf(*manager);
            const double border = (frame.width() - 720) / 2;
            session->click(static_cast<int>(frame.maxX() - border - 720 + 60),
                           static_cast<int>(frame.maxY() - border - 520 + 433 + (attempt++ % 2) * 28));
            return X11TestSession::waitFor(
                [&] { return session->viewableWindowTitled("Scene Editor").has_value(); }, seconds(3));
        },
        seconds(20)))
        << logText();
    // The pointer off the chips, whose remove button would cover a corner.
    session->movePointer(100, 850);
    const IconPair editor = iconsIn(kPrimaryRoot, 64, "chip-icons-scene-editor-x11.png");
    press({XK_Escape});
    EXPECT_TRUE(goneTitled("Scene Editor"));

    // The "Save Scene" window: each xterm in its half of the primary monitor, at 32 pixels.
    const auto saveWindow = openTitled("Save Scene", {XK_Control_L, XK_Alt_L, XK_s});
    ASSERT_TRUE(saveWindow) << logText();
    const IconPair save = iconsIn(session->frameOf(*saveWindow), 32, "chip-icons-save-scene-x11.png");
    press({XK_Escape});
    ASSERT_TRUE(goneTitled("Save Scene"));

    // The switcher's tiles, at 96 pixels.
    ASSERT_TRUE(openTitled("Global Switcher", {XK_Control_L, XK_Alt_L, XK_a})) << logText();
    const IconPair tiles = iconsIn(Rect{0, 0, 3840, 1080}, 96, "");
    ASSERT_TRUE(tiles.pixels && tiles.file) << logText();
    const Rect both = unionOf(tiles.pixels->bounds, tiles.file->bounds);
    EXPECT_TRUE(session->saveScreenshot(Rect{both.minX() - 40, both.minY() - 24, both.width() + 80, 190},
                                        picture("chip-icons-switcher-x11.png")));
    press({XK_Escape});
    EXPECT_TRUE(goneTitled("Global Switcher"));

    EXPECT_TRUE(samePicture(editor.pixels, tiles.pixels)) << "editor, pixels";
    EXPECT_TRUE(samePicture(editor.file, tiles.file)) << "editor, file";
    EXPECT_TRUE(samePicture(save.pixels, tiles.pixels)) << "save window, pixels";
    EXPECT_TRUE(samePicture(save.file, tiles.file)) << "save window, file";

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
