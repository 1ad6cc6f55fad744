// The windows placements leave alone on a display, judged among each application's windows on the
// simulated desktop with the window tracker running.
#include "DisplayFixture.h"

#include "app/WindowMappingClassifier.h"
#include "tracking/WindowTracker.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::testing::DisplayTest;
using Ignored = std::set<WindowID>;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";

class WindowMappingClassifierTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080});
        // Above the main display: a window-list frame flipped the wrong way lands on no display at all.
        addDisplay(kSide, Rect{0, 1080, 1920, 1080});
    }
    pid_t launch(const std::string& bundleID) { return desktop->workspace().launch({.bundleID = bundleID}); }
    // An untitled window without a subrole that is neither main nor focused, as decoys are.
    WindowID decoy(pid_t pid, const Rect& frame) {
        return desktop->windows().open(
            pid, {.frame = frame, .title = "", .subrole = std::nullopt, .focused = false, .main = false});
    }
    WindowID document(pid_t pid, const Rect& frame) {
        return desktop->windows().open(pid, {.frame = frame, .title = "Report"});
    }
    // What the tracker manages once it has seeded.
    void track() {
        tracker->startObserving();
        desktop->loop().runUntilIdle();
    }
    Ignored ignoredOn(const std::optional<std::string>& display) {
        return classifier.classifyWindowForMapping(display);
    }

    WindowMappingClassifier classifier{*desktop, ax, tracker};
};

} // namespace

TEST_F(WindowMappingClassifierTest, aBrowserGhostStripIsIgnoredOnItsDisplayOnly) {
    const WindowID strip = decoy(launch("com.google.chrome"), Rect{100, 1200, 250, 600});
    // The same shape from an application that is no browser is an ordinary window.
    decoy(launch("com.example.editor"), Rect{600, 1200, 250, 600});
    track();

    EXPECT_EQ(ignoredOn(kSide), Ignored{strip});
    EXPECT_EQ(ignoredOn(std::nullopt), Ignored{strip});
    EXPECT_EQ(ignoredOn(kMain), Ignored{});

    // Without the window list accessibility alone decides; with its frame unreadable, the window list's
    // bounds place it.
    desktop->windowServer().setAvailable(false);
    EXPECT_EQ(ignoredOn(kSide), Ignored{strip});
    desktop->windowServer().setAvailable(true);
    desktop->accessibility().scriptAXFailure(
        strip, "AXPosition", std::vector<platform::AXError>(30, platform::AXError::attributeUnsupported));
    EXPECT_EQ(ignoredOn(kSide), Ignored{strip});
    EXPECT_EQ(ignoredOn(kMain), Ignored{});
}

TEST_F(WindowMappingClassifierTest, aSmallUntitledWindowBesideItsApplicationsMainWindowIsIgnored) {
    const pid_t editor = launch("com.example.editor");
    const WindowID main = document(editor, Rect{100, 100, 1600, 900});
    const WindowID panel = decoy(editor, Rect{200, 200, 200, 100});
    const WindowID palette = decoy(editor, Rect{200, 1300, 200, 100});
    // A window of the same size with a title is a real window.
    desktop->windows().open(
        editor, {.frame = Rect{400, 200, 200, 100}, .title = "Find", .focused = false, .main = false});
    track();

    EXPECT_EQ(ignoredOn(kMain), Ignored{panel});
    // On the side display the palette stands alone, without the main window to dwarf it.
    EXPECT_EQ(ignoredOn(kSide), Ignored{});
    EXPECT_EQ(ignoredOn(std::nullopt), (Ignored{panel, palette}));
    EXPECT_FALSE(ignoredOn(std::nullopt).count(main));
}

TEST_F(WindowMappingClassifierTest, oneWindowIsAuxiliaryOnlyAmongItsApplicationsListedWindows) {
    const sim::SimWindowSpec strip{.frame = Rect{1400, 100, 200, 700},
                                   .title = "",
                                   .subrole = std::nullopt,
                                   .focused = false,
                                   .main = false};
    sim::SimWindowSpec unlistedStrip = strip;
    unlistedStrip.onScreen = false;
    const sim::SimWindowSpec dialog{.frame = Rect{1400, 100, 300, 200},
                                    .title = "Save",
                                    .subrole = "AXDialog",
                                    .focused = false,
                                    .main = false};
    const Rect mainFrame{100, 100, 1200, 800};
    struct Row {
        std::string name;
        std::string bundleID;
        bool withMainWindow;
        sim::SimWindowSpec window;
        std::optional<std::string> display;
        bool auxiliary;
        std::optional<pid_t> askedPid{};
        std::optional<std::string> askedBundleID{};
    };
    const std::vector<Row> rows = {
        {"a ghost strip beside its browser's main window", "com.google.chrome", true, strip, kMain, true},
        {"the same on every display", "com.google.chrome", true, strip, std::nullopt, true},
        {"the same, judged for another display", "com.google.chrome", true, strip, kSide, false},
        {"a lone strip that the window list shows, and so counts twice", "com.google.chrome", false, strip,
         kMain, false},
        {"a lone strip that the window list does not show", "com.google.chrome", false, unlistedStrip, kMain,
         true},
        {"a titled dialog beside its main window", "com.example.editor", true, dialog, kMain, false},
        {"a strip of an unknown process", "com.google.chrome", true, strip, kMain, false, 0},
        {"a strip of an application without a bundle identifier", "com.google.chrome", true, strip, kMain,
         false, std::nullopt, "-"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const pid_t pid = launch(row.bundleID);
        if (row.withMainWindow) document(pid, mainFrame);
        const WindowID wid = desktop->windows().open(pid, row.window);
        EXPECT_EQ(classifier.isAuxiliaryWindow(desktop->windows().element(wid), row.askedPid.value_or(pid),
                                               row.askedBundleID.value_or(row.bundleID), row.display),
                  row.auxiliary);
    }
}
