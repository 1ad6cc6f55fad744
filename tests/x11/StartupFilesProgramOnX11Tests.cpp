// What the built `korvane` says of the files it finds as it starts on a real X server with openbox: a
// first start in a fresh support folder, where nothing is there yet, logs no error; a Layouts folder
// holding a damaged file, one that is not UTF-8 and a FIFO gets each named in a readable line, the FIFO
// for what it is, while the other layout files still get their display keys brought to the canonical
// form; files of nothing but nested brackets leave it no larger at rest than a clean start, and stay on
// the disk; files of many small objects are read as a plain parse reads them; and a focus whitelist in
// the folder it is started from is none of its business. Under a Turkish locale a key table written in
// capitals is held whole.
#include "ProgramOnX11.h"

#include "platform/AtomicFile.h"
#include "platform/Format.h"
#include "platform/UTF8.h"

#include <X11/keysym.h>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <sys/stat.h>

namespace korvane::x11::test {
namespace {

constexpr const char* kServicesStarted = "Permissions granted, starting services...";

class StartupFilesProgramOnX11Test : public ProgramOnX11Test {
  protected:
    static void write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    // Resident memory once it has not changed for a second (within what a timer's work moves it).
    static long residentAtRest(pid_t pid) {
        long last = residentKB(pid);
        Nanos since = monotonic();
        X11TestSession::waitFor(
            [&] {
                if (const long now = residentKB(pid); std::labs(now - last) > 256) {
                    last = now;
                    since = monotonic();
                }
                return monotonic() - since >= seconds(1);
            },
            seconds(30));
        return last;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(StartupFilesProgramOnX11Test, aFirstStartInAFreshSupportFolderLogsNoError) {
    startSession(true);
    openXterm();
    ASSERT_FALSE(fs::exists(home()));
    const pid_t korvane = startKorvane();
    // The first scene is made from what the displays show and restored a second after the services start.
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete (layout-only): 'My Workspace'")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_EQ(errorLines(), std::vector<std::string>{}) << logText();
}

// Each monitor remembers a layout of the user's own: it is read before the monitors get their zones, so
// none is first given a stand-in for a layout taken for missing.
TEST_F(StartupFilesProgramOnX11Test, aStartWithRememberedUserLayoutsLogsNoError) {
    startSession(true);
    openXterm();
    write(home() / "Layouts" / "layout.columns.json",
          R"({"id":"layout.columns","name":"Columns","xSplits":[0.3333,0.6667],"ySplits":[]})");
    nlohmann::json workbenches, selection;
    for (const std::string& uuid : monitorUUIDs()) {
        workbenches["workbenches"][uuid] = {{"displayUUID", uuid}, {"activeTemplateID", "layout.columns"}};
        selection["lastByDisplay"][uuid] = "layout.columns";
    }
    write(home() / "display-workbenches.json", workbenches.dump());
    write(home() / "layout-selection.json", selection.dump());

    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_TRUE(logged("Applied layout in background set id=layout.columns")) << logText();
    EXPECT_EQ(errorLines(), std::vector<std::string>{}) << logText();
}

TEST_F(StartupFilesProgramOnX11Test, damagedLayoutFilesAreNamedAndTheOthersStillGetTheirDisplayKeys) {
    startSession(true);
    openXterm();
    const fs::path layouts = home() / "Layouts";
    write(layouts / "a-broken.json", "{not json");
    // Latin-1, as an older editor saves it: the JSON reader refuses it.
    const std::string latin1 =
        "{\"id\":\"layout.l\",\"name\":\"Caf\xE9\",\"displayUUID\":\"SOME-DISPLAY #2\"}";
    write(layouts / "b-latin1.json", latin1);
    write(layouts / "c-good.json", R"({"id":"layout.c","name":"Good","displayUUID":"SOME-DISPLAY #2"})");
    const fs::path fifo = layouts / "d-fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine(kServicesStarted)) << logText();
    for (const char* name : {"a-broken.json", "b-latin1.json"})
        EXPECT_EQ(count("error [app] [DisplayIdentity] Skipped user layout file " +
                        (layouts / name).string() + ": "),
                  1u)
            << name << "\n"
            << logText();
    EXPECT_EQ(count("error [app] [DisplayIdentity] Skipped user layout file " + fifo.string() + ": " +
                    fifo.string() + " is not a readable file (a FIFO)"),
              1u)
        << logText();
    EXPECT_TRUE(isValidUTF8(logText())) << "every line is text a log reader shows";
    // The file after the damaged ones has its display key in the canonical form, as written at the start.
    EXPECT_EQ(nlohmann::json::parse(read(layouts / "c-good.json")).value("displayUUID", ""), "SOME-DISPLAY");
    EXPECT_EQ(read(layouts / "a-broken.json"), "{not json");
    EXPECT_EQ(read(layouts / "b-latin1.json"), latin1);

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

// The active scene's file and the layout memory each replaced by 16 MB of opening brackets, as deep as a
// file within the size Korvane reads can nest: the start refuses both as it reads them and ends at rest
// within a few MB of the clean start before it, and the bytes of both stay on the disk.
TEST_F(StartupFilesProgramOnX11Test, filesOfNestedBracketsLeaveItAtRestNearACleanStartAndAreKept) {
    startSession(true);
    openXterm();
    // Freed memory counts as given back here: the address sanitizer would otherwise keep freed blocks
    // for itself (its quarantine), whichever start freed them.
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer = std::string("ASAN_OPTIONS=") + (inherited ? inherited : "") +
                                  ":quarantine_size_mb=0:allocator_release_to_os_interval_ms=100";
    const auto startAtRest = [&](std::size_t starts) {
        const pid_t korvane = startKorvane({sanitizer});
        EXPECT_TRUE(X11TestSession::waitFor(
            [&] {
                return count("[DisplayChange] handle end") == starts &&
                       count("Scene Editor panels prepared") == starts;
            },
            seconds(30)))
            << logText();
        return std::pair(korvane, residentAtRest(korvane));
    };
    const auto [clean, cleanKB] = startAtRest(1);
    ::kill(clean, SIGTERM);
    ASSERT_EQ(describe(session->waitForExit(clean, seconds(10))), "exit 0") << logText();

    const std::string brackets(kMaxStoreFileSize, '[');
    const fs::path scene =
        home() / "scenes" / ("scene-" + activeSceneFile()["id"].get<std::string>() + ".json");
    write(scene, brackets);
    write(home() / "layout-memory.json", brackets);
    const auto [hostile, hostileKB] = startAtRest(2);
    EXPECT_LT(hostileKB, cleanKB + 6 * 1024) << "kB resident at rest";
    ::kill(hostile, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(hostile, seconds(10))), "exit 0") << logText();

    EXPECT_TRUE(read(scene) == brackets);
    // The memory written at the end took the place of the file it could not read, kept beside it.
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(home()))
        kept += entry.path().filename().string().starts_with("layout-memory.json.unreadable-") &&
                read(entry.path()) == brackets;
    EXPECT_EQ(kept, 1u);
}

// The layout memory and the key table each holding, under a key no reader knows, a flat list of small
// objects (4 MB and 1 MB: `[{},{},…]`), as a damaged or hostile file may: both are valid, so the start
// reads them in about the time a plain parse takes, reaches its display pass, holds the file's keys and
// keeps neither aside. A reader whose cost grew with the square of the objects took over a minute for
// the smaller file alone.
TEST_F(StartupFilesProgramOnX11Test, filesOfManySmallObjectsAreReadAndTheirKeysHeld) {
    startSession(true);
    const pid_t first = startKorvane();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    ::kill(first, SIGTERM);
    ASSERT_EQ(describe(session->waitForExit(first, seconds(10))), "exit 0") << logText();
    // `bytes` long in all, the file's own keys first.
    const auto padded = [&](const fs::path& path, std::size_t bytes) {
        std::string text = read(path);
        const std::size_t end = text.rfind('}');
        ASSERT_NE(end, std::string::npos) << path;
        text.resize(end);
        text += ",\"unknown\":[{}";
        text.reserve(bytes);
        while (text.size() + 5 <= bytes)
            text += ",{}";
        write(path, text + "]}");
    };
    padded(home() / "layout-memory.json", 4 * 1024 * 1024);
    padded(home() / "hotkeys.json", 1024 * 1024);

    const xcb_window_t window = activeXterm("Many objects", "60x20+2000+100"); // on the primary monitor
    const pid_t korvane = startKorvane();
    // Under the sanitizers a plain parse of these files takes seconds.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return count("Scene Restore complete") == 2; }, seconds(120)))
        << logText();
    press({XK_Control_L, XK_Alt_L, XK_2});
    EXPECT_TRUE(comesToFill(window, kPrimaryRightHalf)) << platform::describe(session->frameOf(window));
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    for (const auto& entry : fs::directory_iterator(home()))
        EXPECT_EQ(entry.path().filename().string().find(".unreadable-"), std::string::npos) << entry.path();
}

// Under a Turkish locale, where the C library has no one-byte small form of "I", a key table that names its
// keys and modifiers in capitals, "Insert" and "I" among them, as a hand or an older program wrote it, is
// held whole: no key goes unheld, and each opens its switcher.
TEST_F(StartupFilesProgramOnX11Test, aKeyTableInCapitalsIsHeldUnderATurkishLocale) {
    if (locale_t turkish = ::newlocale(LC_ALL_MASK, "tr_TR.UTF-8", static_cast<locale_t>(nullptr)))
        ::freelocale(turkish);
    else
        GTEST_SKIP() << "the system has no tr_TR.UTF-8 locale";
    startSession(true);
    HotkeyConfig config = HotkeyConfig::defaults(0);
    for (auto& binding : config.bindings) {
        if (binding.action == "sceneSwitcher.toggle")
            binding = {binding.action, "Insert", {"CTRL", "ALT"}, true};
        if (binding.action == "globalSwitcher.toggle")
            binding = {binding.action, "I", {"Ctrl", "OPTION"}, true};
    }
    write(home() / HotkeyConfig::kFileName, config.toJSON().dump());
    activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startKorvane({"LANG=tr_TR.UTF-8", "LC_ALL=tr_TR.UTF-8"});
    ASSERT_TRUE(waitForLine("HotkeyManager: registering globalSwitcher.toggle key=I")) << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();

    const auto switcherShows = [&](const char* title) {
        return X11TestSession::waitFor([&] {
            const auto panel = session->viewableWindowTitled(title);
            return panel && session->activeWindow() == *panel;
        });
    };
    press({XK_Control_L, XK_Alt_L, XK_Insert});
    EXPECT_TRUE(switcherShows("Scene Switcher")) << logText();
    press({XK_Escape});
    EXPECT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled("Scene Switcher"); }));
    press({XK_Control_L, XK_Alt_L, XK_i});
    EXPECT_TRUE(switcherShows("Global Switcher")) << logText();
    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    EXPECT_EQ(errorLines(), std::vector<std::string>{}) << logText();
}

// Started from a folder that holds "Korvane/Config/focus-whitelist.json" naming xterm, Korvane still
// activates the xterm it pushes as any other application, with the built-in list: no file in whatever
// folder a user starts it from changes how it behaves.
TEST_F(StartupFilesProgramOnX11Test, aFocusWhitelistInTheFolderItIsStartedFromIsNotRead) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const fs::path started = folder.path() / "somewhere";
    write(started / "Korvane" / "Config" / "focus-whitelist.json", R"({"bundleIds":["debian-xterm"]})");
    const fs::path was = fs::current_path();
    fs::current_path(started);
    const pid_t korvane = startKorvane();
    fs::current_path(was);
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering push.right key=W")) << logText();

    // The push activates the xterm, which looks its application up in the whitelist.
    session->pressKeys(
        {session->keycodeOf(XK_Control_L), session->keycodeOf(XK_Alt_L), session->keycodeOf(XK_w)});
    ASSERT_TRUE(waitForLine("[MappingTX] commit ")) << logText();
    EXPECT_TRUE(comesToFill(notes, kPrimaryRightHalf)) << platform::describe(session->frameOf(notes));
    EXPECT_TRUE(logged("Focus whitelist using defaults count=2")) << logText();
    EXPECT_FALSE(logged("Trying activation by app id")) << logText();

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

} // namespace
} // namespace korvane::x11::test
