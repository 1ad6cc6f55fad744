// Tests of the accessibility wrapper on the simulated desktop: window-number matching, the window-list
// cache, element lookups with their fallbacks, the checked move and the focus lookups with their retries.
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "platform/Format.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace korvane {
namespace {

using platform::AXElement;
using platform::AXError;
using platform::LogLevel;
using sim::WindowNumberAttribute;
namespace WK = platform::WindowKey;

class AXUtilTest : public ::testing::Test {
  protected:
    AXUtilTest() {
        // The dock takes the bottom 60 points, the menu bar the top 25.
        desk->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 60, 1440, 815}});
        editor =
            desk->workspace().launch({.bundleID = "com.example.editor", .name = "Editor", .activate = true});
        desk->loop().runUntilIdle();
    }

    sim::SimAccessibility& access() { return desk->accessibility(); }
    sim::SimWindows& windows() { return desk->windows(); }
    std::size_t fetches() { return desk->windowServer().windowListFetchCount(); }

    std::uint32_t open(sim::SimWindowSpec desc) { return windows().open(editor, desc); }
    AXElement element(std::uint32_t n) { return windows().element(n); }

    // Whether exactly this line ("[category] text", formatted when arguments follow) was logged at this
    // level.
    template <class... A> bool logged(LogLevel level, const std::string& fmt, const A&... args) {
        std::string line = fmt;
        if constexpr (sizeof...(A) > 0) line = platform::format(fmt, args...);
        for (const auto& r : logs.log().records())
            if (r.kind == platform::LogRecord::Kind::message && r.level == level &&
                sim::CapturingLogSink::render(r) == line)
                return true;
        return false;
    }
    std::uint32_t numberless(const Rect& frame, std::string title, bool onScreen = true) {
        return open({.frame = frame,
                     .title = std::move(title),
                     .onScreen = onScreen,
                     .numberAttribute = WindowNumberAttribute::none});
    }

    // A window-list entry of the editor as the window server would give it, bounds in top-left coordinates.
    nlohmann::json entry(std::uint32_t number, const Rect& bottomLeft, int layer = 0, std::string name = "") {
        return {{WK::ownerPID, editor},
                {WK::ownerName, "Editor"},
                {WK::layer, layer},
                {WK::number, number},
                {WK::name, name},
                {WK::bounds,
                 {{"X", bottomLeft.origin.x},
                  {"Y", 900 - bottomLeft.origin.y - bottomLeft.size.height},
                  {"Width", bottomLeft.size.width},
                  {"Height", bottomLeft.size.height}}}};
    }

    sim::ScopedSimDesktop desk;
    sim::ScopedLogCapture logs;
    AXUtil ax{*desk};
    pid_t editor = 0;
};

const Rect kFrame{100, 200, 600, 400};

TEST_F(AXUtilTest, windowNumberAttributesAnswerWithoutTheWindowList) {
    for (auto attribute : {WindowNumberAttribute::standard, WindowNumberAttribute::privateOnly}) {
        const auto n = open({.frame = kFrame, .title = "Doc", .numberAttribute = attribute});
        EXPECT_EQ(ax.windowID(element(n)), n);
    }
    EXPECT_EQ(fetches(), 0u);
}

TEST_F(AXUtilTest, titleHintsTellApartWindowsWithEqualFrames) {
    const auto alpha = numberless(kFrame, "Alpha Notes");
    const auto beta = numberless(kFrame, "Beta Notes");
    EXPECT_EQ(ax.windowID(element(alpha)), alpha);
    EXPECT_EQ(ax.windowID(element(beta)), beta);
    EXPECT_EQ(fetches(), 1u) << "both lookups shared one fetch of the list";

    // Hints ignore case and padding and include the document. Off screen, so that only the injected
    // entries (with names as other servers spell them) are listed.
    desk->loop().advance(milliseconds(300));
    const auto alphaOff = numberless(kFrame, "Alpha", false);
    const auto untitled = open({.frame = kFrame,
                                .title = "",
                                .onScreen = false,
                                .document = "Gamma.txt",
                                .numberAttribute = WindowNumberAttribute::none});
    windows().close(alpha);
    windows().close(beta);
    desk->windowServer().addRawEntry(entry(503, kFrame, 0, ""));
    desk->windowServer().addRawEntry(entry(502, kFrame, 0, "\u00A0GAMMA.TXT\n"));
    desk->windowServer().addRawEntry(entry(501, kFrame, 0, "  alpha\t"));
    EXPECT_EQ(ax.windowID(element(alphaOff)), 501u);
    EXPECT_EQ(ax.windowID(element(untitled)), 502u);
}

TEST_F(AXUtilTest, withoutUsableNamesTheFirstListEntryWins) {
    struct Row {
        const char* what;
        std::string firstTitle, secondTitle;
        bool titleInList;
    } rows[] = {
        {"names missing from the list", "Alpha", "Beta", false},
        {"equal names", "Same", "Same", true},
        {"empty titles give no hints", "", "", true},
    };
    for (const auto& row : rows) {
        const auto first = open({.frame = kFrame,
                                 .title = row.firstTitle,
                                 .numberAttribute = WindowNumberAttribute::none,
                                 .titleInList = row.titleInList});
        const auto second = open({.frame = kFrame,
                                  .title = row.secondTitle,
                                  .numberAttribute = WindowNumberAttribute::none,
                                  .titleInList = row.titleInList});
        // The second opened in front, so it comes first in the list.
        EXPECT_EQ(ax.windowID(element(first)), second) << row.what;
        EXPECT_EQ(ax.windowID(element(second)), second) << row.what;
        windows().close(first);
        windows().close(second);
        desk->loop().advance(milliseconds(300));
    }
}

TEST_F(AXUtilTest, listBoundsMatchWithinTwentyPointsOnEachSide) {
    struct Row {
        Rect offset; // added to the window's frame to make the list entry's bounds
        bool matches;
    } rows[] = {
        {{20, 0, 0, 0}, true}, {{21, 0, 0, 0}, false}, {{0, -20, 0, 0}, true},     {{0, -21, 0, 0}, false},
        {{0, 0, 20, 0}, true}, {{0, 0, 0, 21}, false}, {{-20, 20, -20, 20}, true},
    };
    // Off screen: the window itself is not in the on-screen list, only the injected entry is.
    const auto n = numberless(kFrame, "Doc", false);
    for (const auto& row : rows) {
        const Rect bounds{kFrame.origin.x + row.offset.origin.x, kFrame.origin.y + row.offset.origin.y,
                          kFrame.size.width + row.offset.size.width,
                          kFrame.size.height + row.offset.size.height};
        const int id = desk->windowServer().addRawEntry(entry(4242, bounds));
        const auto found = ax.windowID(element(n));
        EXPECT_EQ(found, row.matches ? std::optional<WindowID>(4242) : std::nullopt)
            << platform::describe(row.offset) << " " << platform::describeOptional(found);
        desk->windowServer().removeRawEntry(id);
        desk->loop().advance(milliseconds(200));
    }
}

TEST_F(AXUtilTest, entriesOnOtherLayersAreNeverCandidates) {
    const auto n = numberless(kFrame, "Doc");
    // Same owner, same bounds, same name, listed first: only its layer keeps it out.
    desk->windowServer().addRawEntry(entry(999, kFrame, 1, "Doc"));
    EXPECT_EQ(ax.windowID(element(n)), n);

    desk->loop().advance(milliseconds(200));
    const auto hidden = numberless(Rect{300, 300, 500, 300}, "Panel", false);
    desk->windowServer().addRawEntry(entry(998, Rect{300, 300, 500, 300}, 3, "Panel"));
    EXPECT_EQ(ax.windowID(element(hidden)), std::nullopt);
}

TEST_F(AXUtilTest, cachedListIsServedForTwoTenthsOfASecondAndAFailedFetchIsNotCached) {
    const auto n = numberless(kFrame, "Doc");
    struct Row {
        Nanos advance;
        std::size_t fetchesAfter;
    } rows[] = {
        {0, 1}, {milliseconds(199), 1}, {milliseconds(1), 2}, {milliseconds(100), 2}, {milliseconds(100), 3}};
    for (const auto& row : rows) {
        desk->loop().advance(row.advance);
        EXPECT_EQ(ax.windowID(element(n)), n);
        EXPECT_EQ(fetches(), row.fetchesAfter) << "at " << toSeconds(desk->loop().now());
    }
    desk->loop().advance(milliseconds(200));
    desk->windowServer().setAvailable(false);
    EXPECT_EQ(ax.windowID(element(n)), std::nullopt);
    desk->windowServer().setAvailable(true);
    EXPECT_EQ(ax.windowID(element(n)), n);
    EXPECT_EQ(fetches(), 5u);
}

TEST_F(AXUtilTest, concurrentCallersShareOneFetch) {
    open({.frame = kFrame, .title = "Doc"});
    std::mutex m;
    std::vector<WindowList> results;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            auto list = ax.cachedWindowList();
            std::lock_guard lock(m);
            results.push_back(list);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(fetches(), 1u);
    ASSERT_EQ(results.size(), 8u);
    for (const auto& r : results) {
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r, results.front());
    }
}

TEST_F(AXUtilTest, entryOwnedByTheWindowServerYieldsNothing) {
    desk->windowServer().addRawEntry({{WK::ownerPID, editor},
                                      {WK::ownerName, "WindowServer"},
                                      {WK::layer, 0},
                                      {WK::number, 777},
                                      {WK::bounds, {{"X", 0}, {"Y", 0}, {"Width", 1440}, {"Height", 25}}}});
    EXPECT_EQ(ax.axAndFrame(777, true), std::nullopt);
    EXPECT_EQ(ax.axAndFrame(12345, true), std::nullopt);
    // It never got as far as the owner's windows.
    EXPECT_FALSE(logs.log().contains("kAXWindows"));
}

TEST_F(AXUtilTest, lookupGivesTheElementAndBottomLeftFrame) {
    const auto other = open({.frame = Rect{0, 100, 300, 300}, .title = "Other"});
    const auto n = open({.frame = kFrame, .title = "Doc"});
    // A display above the primary one changes nothing: conversions use the primary's height.
    desk->screens().addDisplay({.frame = Rect{0, 900, 1920, 1080}});

    for (auto found : {ax.axAndFrame(n), ax.axAndFrame(n, editor), ax.axAndFrame(n, 0)}) {
        ASSERT_TRUE(found);
        EXPECT_EQ(found->element, element(n));
        EXPECT_EQ(found->frame, kFrame);
    }
    EXPECT_EQ(ax.axElement(other, editor), element(other));
    EXPECT_EQ(ax.axElement(other, 0), std::nullopt);
    EXPECT_EQ(ax.frame(element(other)), (Rect{0, 100, 300, 300}));
}

TEST_F(AXUtilTest, withFallbackANumberlessWindowStandsIn) {
    const auto first = numberless(kFrame, "A");
    numberless(Rect{50, 50, 200, 200}, "B");
    // With no list the windows' numbers cannot be found.
    desk->windowServer().setAvailable(false);

    auto found = ax.axAndFrame(first, editor, true);
    ASSERT_TRUE(found);
    // "AXWindows" lists front to back: the window opened last comes first.
    EXPECT_EQ(found->frame, (Rect{50, 50, 200, 200}));

    logs.log().clear();
    EXPECT_EQ(ax.axAndFrame(first, editor, false), std::nullopt);
    EXPECT_TRUE(logged(LogLevel::error,
                       "[ax] axAndFrame: unable to acquire AX window for wid=%u pid=%d (pid supplied)", first,
                       editor));

    // The element lookup gives no verdict of its own.
    logs.log().clear();
    EXPECT_EQ(ax.axElement(first, editor), std::nullopt);
    EXPECT_FALSE(logs.log().contains("unable to acquire"));

    // Another numbered window stands in only with the fallback.
    desk->windowServer().setAvailable(true);
    const auto front = open({.frame = kFrame, .title = "Doc"});
    found = ax.axAndFrame(99999, editor, true);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->element, element(front));
    EXPECT_EQ(ax.axAndFrame(99999, editor, false), std::nullopt);
}

TEST_F(AXUtilTest, allWindowsAndTheFocusedWindowAreLaterResorts) {
    const auto back =
        open({.frame = Rect{0, 100, 300, 300}, .title = "Back", .focused = false, .main = false});
    const auto n = open({.frame = kFrame, .title = "Doc"});
    const AXElement app = access().applicationElement(editor);

    access().setExposesAllWindows(editor, true);
    access().scriptAXFailure(app, "AXWindows", {AXError::cannotComplete});
    auto viaAll = ax.axAndFrame(n);
    ASSERT_TRUE(viaAll);
    EXPECT_EQ(viaAll->element, element(n));

    access().setExposesAllWindows(editor, false);
    access().scriptAXFailure(app, "AXWindows", {AXError::success, AXError::cannotComplete});
    // The first read of the list answers; the second fails and the focused window stands in when it matches.
    ASSERT_TRUE(ax.axAndFrame(n));
    auto viaFocus = ax.axAndFrame(n, editor);
    ASSERT_TRUE(viaFocus);
    EXPECT_EQ(viaFocus->element, element(n));

    // The focused window is not the one asked for: accepted only with the fallback.
    access().scriptAXFailure(app, "AXWindows", {AXError::cannotComplete, AXError::cannotComplete});
    EXPECT_EQ(ax.axAndFrame(back, editor), std::nullopt);
    auto anyWindow = ax.axAndFrame(back, editor, true);
    ASSERT_TRUE(anyWindow);
    EXPECT_EQ(anyWindow->element, element(n));
}

// The application keeps its windows at least 500 points tall.
TEST_F(AXUtilTest, moveResizeKeepsABottomAnchoredWindowOnTheBottomWhenItsHeightIsRefused) {
    const auto n = open({.frame = Rect{400, 300, 600, 520}, .title = "Doc", .minSize = Size{0, 500}});
    access().clearAXCallLog();
    // A zone in the bottom-left quarter of the visible frame.
    ax.moveResize(element(n), Rect{0, 60, 720, 300});

    const auto calls = access().axCallLog();
    std::vector<std::string> names;
    for (const auto& call : calls)
        names.push_back(call.name);
    ASSERT_EQ(names, (std::vector<std::string>{"AXSize", "AXPosition", "AXSize", "AXRaise", "AXPosition"}));
    EXPECT_EQ(std::get<Size>(calls[0].value), (Size{720, 300}));
    EXPECT_EQ(std::get<Point>(calls[1].value), (Point{0, 540}));
    EXPECT_EQ(calls[3].kind, "action");
    // The wanted top is the visible bottom plus the actual height: 60 + 500; in top-left terms 900 - 560.
    EXPECT_EQ(std::get<Point>(calls[4].value), (Point{0, 340}));
    EXPECT_EQ(windows().frame(n), (Rect{0, 60, 720, 500}));
}

TEST_F(AXUtilTest, moveResizeCorrectsOnlyErrorsAboveHalfAPoint) {
    // How far the target's bottom lies above the visible frame's bottom, and whether a correction follows.
    // Above one point the window is no longer anchored: its own top edge is wanted, and it is there.
    for (auto [aboveBottom, corrected] : {std::pair{0.5, false}, {1.0, true}, {1.5, false}}) {
        const auto n = open({.frame = Rect{400, 300, 600, 520}, .title = "Doc"});
        access().clearAXCallLog();
        ax.moveResize(element(n), Rect{0, 60 + aboveBottom, 720, 300});
        EXPECT_EQ(access().axCallLog().size(), corrected ? 5u : 4u) << aboveBottom;
        windows().close(n);
    }
}

TEST_F(AXUtilTest, moveResizeReportsFailedWritesAtErrorLevel) {
    const auto n = open({.frame = kFrame, .title = "Doc"});
    access().scriptAXFailure(n, "AXPosition", {AXError::cannotComplete});
    ax.moveResize(element(n), Rect{100, 400, 500, 400});
    EXPECT_TRUE(
        logged(LogLevel::error,
               "[ax] moveResize errors size1=0 pos=-25204 size2=0 target=(100.0, 400.0, 500.0, 400.0)"));
    // The position was never set, so the check moves the window to where it belongs.
    EXPECT_EQ(windows().frame(n), (Rect{100, 400, 500, 400}));

    // A window whose frame cannot be read back is left after the writes, without the verification line.
    logs.log().clear();
    access().scriptAXFailure(n, "AXSize", {AXError::success, AXError::success, AXError::cannotComplete});
    ax.moveResize(element(n), Rect{100, 60, 500, 400});
    EXPECT_FALSE(logs.log().contains("[diag]"));
}

TEST_F(AXUtilTest, moveResizeUsesThePrimaryHeightForAWindowOnADisplayAbove) {
    desk->screens().addDisplay(
        {.frame = Rect{-200, 900, 1920, 1080}, .visibleFrame = Rect{-200, 900, 1920, 1055}});
    const auto n = open({.frame = kFrame, .title = "Doc"});
    const Rect target{0, 1200, 800, 600};
    ax.moveResize(element(n), target);
    EXPECT_EQ(windows().frame(n), target);
    EXPECT_EQ(windows().frameTopLeft(n), (Rect{0, -900, 800, 600}));
}

class FocusRetryTest : public AXUtilTest {
  protected:
    FocusRetryTest() {
        desk->loop().onBlockingSleep = [this](Nanos from, Nanos to) {
            sleeps.push_back((to - from) / milliseconds(1));
        };
    }
    std::vector<std::int64_t> sleeps; // ms
};

TEST_F(FocusRetryTest, focusedWindowRetriesWhileTheApplicationIsBusy) {
    const auto n = open({.frame = kFrame, .title = "Doc"});
    const AXElement app = access().applicationElement(editor);
    const auto cc = AXError::cannotComplete, off = AXError::apiDisabled;
    struct Row {
        std::vector<AXError> answers;
        bool trusted;
        std::vector<std::int64_t> sleeps;
        bool found;
        std::string line;
    } rows[] = {
        {{cc, cc, cc}, true, {10, 20, 30}, false, "status=-25204 trusted=true"},
        {{cc, cc}, true, {10, 20}, true, ""},
        {{off, off, off}, true, {15, 30, 45}, false, "status=-25211 trusted=true"},
        {{}, false, {}, false, "status=-25211 trusted=false"},
        {{AXError::attributeUnsupported}, true, {}, false, "status=-25205 trusted=true"},
    };
    for (const auto& row : rows) {
        access().setProcessTrusted(row.trusted);
        access().scriptAXFailure(app, "AXFocusedWindow", row.answers);
        sleeps.clear();
        logs.log().clear();
        EXPECT_EQ(ax.focusedWindow(), row.found ? std::optional<AXElement>(element(n)) : std::nullopt)
            << row.line;
        EXPECT_EQ(sleeps, row.sleeps) << row.line;
        if (!row.found) {
            EXPECT_TRUE(logged(LogLevel::debug,
                               "[ax] focusedWindow: failed %s app pid=%d bundle=com.example.editor", row.line,
                               editor))
                << row.line;
        }
        access().setProcessTrusted(true);
    }
    const auto timeouts = access().messagingTimeouts();
    ASSERT_FALSE(timeouts.empty());
    EXPECT_EQ(timeouts.back().first, app);
    EXPECT_FLOAT_EQ(timeouts.back().second, 1.0f);

    // It names the application it failed on, and says when there is none.
    const pid_t plain = desk->workspace().launch({.name = "Plain", .activate = true});
    desk->loop().runUntilIdle();
    EXPECT_EQ(ax.focusedWindow(), std::nullopt); // it has no windows
    EXPECT_TRUE(logged(LogLevel::debug,
                       "[ax] focusedWindow: failed status=-25212 trusted=true app pid=%d bundle=-", plain));
    desk->workspace().quit(plain);
    desk->workspace().quit(editor);
    sleeps.clear();
    EXPECT_EQ(ax.focusedWindow(), std::nullopt);
    EXPECT_TRUE(logged(LogLevel::debug, "[ax] focusedWindow: no frontmost app"));
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(FocusRetryTest, systemWideFocusWalksUpToTheWindow) {
    const auto n = open({.frame = kFrame, .title = "Doc"});
    struct Row {
        int depth; // child elements between the focused element and the window
        bool found;
    } rows[] = {{0, true}, {1, true}, {5, true}, {6, false}};
    for (const auto& row : rows) {
        AXElement focused = element(n);
        for (int i = 0; i < row.depth; ++i)
            focused = windows().addChildElement(focused, {.exposesWindow = false});
        windows().setFocusedElement(editor, focused);
        EXPECT_EQ(ax.focusedWindowSystemWide(),
                  row.found ? std::optional<AXElement>(element(n)) : std::nullopt)
            << row.depth;
    }
    // A shortcut through the top-level element, from deep inside.
    AXElement deep = element(n);
    for (int i = 0; i < 8; ++i)
        deep = windows().addChildElement(deep, {.exposesWindow = false, .exposesTopLevel = i == 7});
    windows().setFocusedElement(editor, deep);
    EXPECT_EQ(ax.focusedWindowSystemWide(), element(n));
    EXPECT_TRUE(sleeps.empty());

    // Busy answers are retried; the last status is reported.
    access().scriptAXFailure(access().systemWideElement(), "AXFocusedUIElement",
                             {AXError::cannotComplete, AXError::cannotComplete, AXError::cannotComplete});
    EXPECT_EQ(ax.focusedWindowSystemWide(), std::nullopt);
    EXPECT_EQ(sleeps, (std::vector<std::int64_t>{10, 20, 30}));
    EXPECT_TRUE(logged(LogLevel::debug, "[ax] focusedWindowSystemWide: failed status=-25204 trusted=true"));
}

TEST_F(AXUtilTest, numberAttributesReadAsBooleans) {
    const auto back = open({.frame = kFrame, .title = "Back", .main = false});
    const auto n = open({.frame = kFrame, .title = "Doc"});
    EXPECT_EQ(axNumberAttribute(access(), element(n), "AXMain"), true);
    EXPECT_EQ(axNumberAttribute(element(back), "AXMain"), false);
    EXPECT_EQ(axNumberAttribute(access(), element(n), "AXTitle"), std::nullopt); // text, not a number
    EXPECT_EQ(axNumberAttribute(access(), element(n), "AXWindowNumber"), true);  // any non-zero number
    EXPECT_EQ(axNumberAttribute(access(), element(n), "AXNoSuchAttribute"), std::nullopt); // read fails
    EXPECT_TRUE(logs.log().lines().empty());
}

TEST_F(AXUtilTest, sharedInstanceFollowsThePlatformInUse) {
    auto first = AXUtil::shared();
    EXPECT_EQ(&first->platform(), &desk.get());
    EXPECT_EQ(AXUtil::shared(), first);
    {
        sim::ScopedSimDesktop other;
        EXPECT_EQ(&AXUtil::shared()->platform(), &other.get());
    }
    auto mine = std::make_shared<AXUtil>(*desk);
    AXUtil::setShared(mine);
    EXPECT_EQ(AXUtil::shared(), mine);
    // A controller made with only the zone states acts through the installed process-wide wrapper.
    EXPECT_EQ(WMController(std::make_shared<MultiDisplayState>()).ax, mine);
    AXUtil::setShared(nullptr);
}

} // namespace
} // namespace korvane
