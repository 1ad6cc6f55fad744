// Tests of the accessibility wrapper on the simulated desktop: window-number matching, the window-list
// cache, element lookups with their fallbacks, the checked move and the focus lookups with their retries.
#include "core/AXUtil.h"
#include "core/ActivationFixture.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "support/SimDesktopWithLoop.h"

#include <algorithm>
#include <mutex>
#include <thread>

namespace korvane {
namespace {

using platform::AXElement;
using platform::AXError;
using platform::LogLevel;
using sim::WindowNumberAttribute;
namespace WK = platform::WindowKey;

// The simulated desktop, but read through a monotonic clock that a test can set back: the clock the
// window-list cache must not trust when it runs backwards.
class ClockSetBack final : public testing::ForwardingRunLoop {
  public:
    using ForwardingRunLoop::ForwardingRunLoop;
    void setBack(Nanos d) { behind_ += d; }
    Nanos now() const override { return loop_.now() - behind_; }

  private:
    Nanos behind_ = 0;
};

using DesktopWithClockSetBack = testing::SimDesktopWithLoop<ClockSetBack>;

class AXUtilTest : public testing::ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        // The dock takes the bottom 60 points, the menu bar the top 25.
        desktop->screens().addDisplay(
            {.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 60, 1440, 815}});
        editor = ws().launch({.bundleID = "com.example.editor", .name = "Editor", .activate = true});
        loop().runUntilIdle();
    }

    sim::SimAccessibility& access() { return desktop->accessibility(); }
    std::size_t fetches() { return desktop->windowServer().windowListFetchCount(); }

    std::uint32_t open(sim::SimWindowSpec desc) { return windows().open(editor, desc); }
    AXElement element(std::uint32_t n) { return windows().element(n); }

    // Whether exactly this line ("[category] text", formatted) was logged at this level.
    template <class... A> bool logged(LogLevel level, const std::string& fmt, const A&... args) {
        const std::string line = platform::format(fmt, args...);
        return std::ranges::any_of(logs.log().records(), [&](const auto& r) {
            return r.kind == platform::LogRecord::Kind::message && r.level == level &&
                   sim::CapturingLogSink::render(r) == line;
        });
    }
    // A window without a number attribute; `titleInList`: whether the window list names it.
    std::uint32_t numberless(const Rect& frame, std::string title, bool onScreen = true,
                             bool titleInList = true) {
        return open({.frame = frame,
                     .title = std::move(title),
                     .onScreen = onScreen,
                     .numberAttribute = WindowNumberAttribute::none,
                     .titleInList = titleInList});
    }

    // A window-list entry of the editor as the window server would give it, bounds in top-left coordinates.
    nlohmann::json entry(std::uint32_t number, const Rect& bottomLeft, int layer = 0, std::string name = "") {
        const double top = 900 - bottomLeft.maxY();
        nlohmann::json bounds = {{"X", bottomLeft.minX()}, {"Y", top}, {"Width", bottomLeft.width()}};
        bounds["Height"] = bottomLeft.height();
        return {{WK::ownerPID, editor}, {WK::ownerName, "Editor"}, {WK::layer, layer},
                {WK::number, number},   {WK::name, name},          {WK::bounds, bounds}};
    }

    AXUtil ax{*desktop};
    pid_t editor = 0;
};

const Rect kFrame{100, 200, 600, 400};
using Found = std::optional<WindowID>;

TEST_F(AXUtilTest, titleHintsTellApartWindowsWithEqualFrames) {
    const auto alpha = numberless(kFrame, "Alpha Notes");
    const auto beta = numberless(kFrame, "Beta Notes");
    EXPECT_EQ(ax.windowID(element(alpha)), alpha);
    EXPECT_EQ(ax.windowID(element(beta)), beta);

    // Hints ignore case and padding and include the document. Off screen, so that only the injected
    // entries (with names as other servers spell them) are listed.
    loop().advance(milliseconds(300));
    const auto alphaOff = numberless(kFrame, "Alpha", false);
    const auto untitled = open({.frame = kFrame,
                                .title = "",
                                .onScreen = false,
                                .document = "Gamma.txt",
                                .numberAttribute = WindowNumberAttribute::none});
    windows().close(alpha);
    windows().close(beta);
    desktop->windowServer().addRawEntry(entry(503, kFrame, 0, ""));
    desktop->windowServer().addRawEntry(entry(502, kFrame, 0, "\u00A0GAMMA.TXT\n"));
    desktop->windowServer().addRawEntry(entry(501, kFrame, 0, "  alpha\t"));
    EXPECT_EQ(ax.windowID(element(alphaOff)), 501u);
    EXPECT_EQ(ax.windowID(element(untitled)), 502u);
}

// Names missing from the list, equal names and empty titles all leave the same choice.
TEST_F(AXUtilTest, withoutUsableNamesTheFirstListEntryWins) {
    const auto first = numberless(kFrame, "Same");
    const auto second = numberless(kFrame, "Same");
    // The second opened in front, so it comes first in the list.
    EXPECT_EQ(ax.windowID(element(first)), second);
    EXPECT_EQ(ax.windowID(element(second)), second);
}

TEST_F(AXUtilTest, listBoundsMatchWithinTwentyPointsOnEachSide) {
    // Added to the window's frame to make the list entry's bounds, and whether it still matches.
    const std::pair<Rect, bool> rows[] = {
        {{20, 0, 0, 0}, true}, {{21, 0, 0, 0}, false}, {{0, -20, 0, 0}, true},     {{0, -21, 0, 0}, false},
        {{0, 0, 20, 0}, true}, {{0, 0, 0, 21}, false}, {{-20, 20, -20, 20}, true},
    };
    // Off screen: the window itself is not in the on-screen list, only the injected entry is.
    const auto n = numberless(kFrame, "Doc", false);
    for (const auto& [offset, matches] : rows) {
        const Rect bounds{kFrame.minX() + offset.origin.x, kFrame.minY() + offset.origin.y,
                          kFrame.width() + offset.size.width, kFrame.height() + offset.size.height};
        const int id = desktop->windowServer().addRawEntry(entry(4242, bounds));
        EXPECT_EQ(ax.windowID(element(n)), matches ? Found(4242) : std::nullopt)
            << platform::describe(offset);
        desktop->windowServer().removeRawEntry(id);
        loop().advance(milliseconds(200));
    } // An entry on another layer is never a candidate, however well it matches.
    desktop->windowServer().addRawEntry(entry(4243, kFrame, 3, "Doc"));
    EXPECT_EQ(ax.windowID(element(n)), std::nullopt);
    // Nor is an entry without a number or without whole bounds.
    auto withoutNumber = entry(4244, kFrame, 0, "Doc");
    withoutNumber.erase(WK::number);
    auto withoutHeight = entry(4245, kFrame, 0, "Doc");
    withoutHeight[WK::bounds].erase("Height");
    loop().advance(milliseconds(200));
    desktop->windowServer().addRawEntry(withoutNumber);
    desktop->windowServer().addRawEntry(withoutHeight);
    EXPECT_EQ(ax.windowID(element(n)), std::nullopt);
}

TEST_F(AXUtilTest, cachedListIsServedForTwoTenthsOfASecondAndAFailedFetchIsNotCached) {
    // Windows with a number attribute need no list at all.
    for (auto attribute : {WindowNumberAttribute::standard, WindowNumberAttribute::privateOnly}) {
        const auto numbered = open({.frame = kFrame, .title = "Doc", .numberAttribute = attribute});
        EXPECT_EQ(ax.windowID(element(numbered)), numbered);
    }
    EXPECT_EQ(fetches(), 0u);
    const auto n = numberless(kFrame, "Doc");
    // time advanced, fetches so far
    const std::pair<Nanos, std::size_t> rows[] = {
        {0, 1}, {milliseconds(199), 1}, {milliseconds(1), 2}, {milliseconds(100), 2}, {milliseconds(100), 3}};
    for (const auto& [advance, fetchesAfter] : rows) {
        loop().advance(advance);
        EXPECT_EQ(ax.windowID(element(n)), n);
        EXPECT_EQ(fetches(), fetchesAfter) << "at " << toSeconds(loop().now());
    }
    loop().advance(milliseconds(200));
    desktop->windowServer().setAvailable(false);
    EXPECT_EQ(ax.windowID(element(n)), std::nullopt);
    desktop->windowServer().setAvailable(true);
    EXPECT_EQ(ax.windowID(element(n)), n);
    EXPECT_EQ(fetches(), 5u);
}

// A list fetched at a later clock reading than now says nothing about its age. Here it is stale: the
// window it lists has closed, and another window of the same frame opened under a new number.
TEST_F(AXUtilTest, aListFetchedAfterAClockThatWentBackIsFetchedAgain) {
    DesktopWithClockSetBack skewed(*desktop);
    AXUtil util(skewed);
    const auto before = numberless(kFrame, "Doc");
    EXPECT_EQ(util.windowID(element(before)), before);
    windows().close(before);
    const auto after = numberless(kFrame, "Doc");
    skewed.loop.setBack(milliseconds(50));
    EXPECT_EQ(util.windowID(element(after)), after);
}

// With no main screen named, frames flip against the tallest screen's top edge, here the primary's.
TEST_F(AXUtilTest, withoutAMainScreenFramesFlipAgainstTheTallestScreen) {
    desktop->screens().addDisplay({.frame = Rect{1440, 0, 1280, 720}});
    const auto n = open({.frame = kFrame, .title = "Doc"});
    desktop->screens().setNamesMainScreen(false);
    EXPECT_EQ(ax.frame(element(n)), kFrame);
}

// Some applications answer Boolean attributes with the numbers 0 and 1; they read the same.
TEST_F(AXUtilTest, booleanAttributesReadTheSameWhenAnsweredAsNumbers) {
    for (bool numbers : {false, true}) {
        const auto n =
            open({.frame = kFrame, .title = "Doc", .minimized = true, .booleansAsNumbers = numbers});
        EXPECT_EQ(axNumberAttribute(access(), element(n), "AXMinimized"), true) << numbers;
        windows().setMinimized(n, false);
        EXPECT_EQ(axNumberAttribute(access(), element(n), "AXMinimized"), false) << numbers;
        EXPECT_EQ(axNumberAttribute(access(), element(n), "AXTitle"), std::nullopt) << numbers;
        windows().close(n);
    }
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
    ASSERT_NE(results.front(), nullptr);
    EXPECT_EQ(std::count(results.begin(), results.end(), results.front()), 8);
}

TEST_F(AXUtilTest, withFallbackANumberlessWindowStandsInButNotForAnEntryOfTheWindowServer) {
    auto server = entry(777, Rect{0, 875, 1440, 25});
    server[WK::ownerName] = "WindowServer";
    desktop->windowServer().addRawEntry(server);
    EXPECT_EQ(ax.axAndFrame(777, true), std::nullopt);
    EXPECT_FALSE(logs.log().contains("AXWindows")) << "it never got as far as the owner's windows";
    EXPECT_EQ(ax.axAndFrame(12345, true), std::nullopt);
    const auto first = numberless(kFrame, "A");
    numberless(Rect{50, 50, 200, 200}, "B");
    // With no list the windows' numbers cannot be found.
    desktop->windowServer().setAvailable(false);

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
    desktop->windowServer().setAvailable(true);
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
    const auto elementOf = [](const auto& found) {
        return found ? std::optional(found->element) : std::nullopt;
    };

    access().setExposesAllWindows(editor, true);
    access().scriptAXFailure(app, "AXWindows", {AXError::cannotComplete});
    EXPECT_EQ(elementOf(ax.axAndFrame(n)), element(n));

    access().setExposesAllWindows(editor, false);
    access().scriptAXFailure(app, "AXWindows", {AXError::success, AXError::cannotComplete});
    // The first read of the list answers; the second fails and the focused window stands in when it matches.
    ASSERT_TRUE(ax.axAndFrame(n));
    EXPECT_EQ(elementOf(ax.axAndFrame(n, editor)), element(n));

    // The focused window is not the one asked for: accepted only with the fallback.
    access().scriptAXFailure(app, "AXWindows", {AXError::cannotComplete, AXError::cannotComplete});
    EXPECT_EQ(ax.axAndFrame(back, editor), std::nullopt);
    EXPECT_EQ(elementOf(ax.axAndFrame(back, editor, true)), element(n));
}

// The application keeps its windows at least 500 points tall.
TEST_F(AXUtilTest, moveResizeKeepsABottomAnchoredWindowOnTheBottomWhenItsHeightIsRefused) {
    const auto n = open({.frame = Rect{400, 300, 600, 520}, .title = "Doc", .minSize = Size{0, 500}});
    access().clearAXCallLog();
    // A zone in the bottom-left quarter of the visible frame.
    ax.moveResize(element(n), Rect{0, 60, 720, 300});

    // The wanted top is the visible bottom plus the actual height: 60 + 500; in top-left terms 900 - 560,
    // written after a raise.
    const auto calls = access().axCallLog();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3].name, "AXRaise");
    EXPECT_EQ(std::get<Point>(calls[4].value), (Point{0, 340}));
    EXPECT_EQ(windows().frame(n), (Rect{0, 60, 720, 500}));

    // A display above the primary one changes nothing: conversions use the primary's height.
    desktop->screens().addDisplay(
        {.frame = Rect{-200, 900, 1920, 1080}, .visibleFrame = Rect{-200, 900, 1920, 1055}});
    ax.moveResize(element(n), Rect{0, 1200, 800, 600});
    EXPECT_EQ(windows().frameTopLeft(n), (Rect{0, -900, 800, 600}));
}

// The application keeps its windows at least 500 points tall; a zone 300 high on the visible frame's
// bottom has the window's top put 200 points too low, and corrected.
TEST_F(AXUtilTest, theYCorrectionsLineCarriesTheStatusOfItsRequestAsSent) {
    const auto n = open({.frame = Rect{400, 300, 600, 520}, .title = "Doc", .minSize = Size{0, 500}});
    const Rect zone{0, 60, 720, 300};
    const std::string corrected = "[ax] AX y corrected by -200.00 anchorBottom=true r=%d";
    ax.moveResize(element(n), zone);
    EXPECT_TRUE(logged(LogLevel::debug, corrected, 0));

    // The correction refused: the line says so. (The position is written, read back, then corrected.)
    logs.log().clear();
    windows().setFrame(n, Rect{400, 300, 600, 520});
    access().scriptAXFailure(n, "AXPosition", {AXError::success, AXError::success, AXError::cannotComplete});
    ax.moveResize(element(n), zone);
    EXPECT_TRUE(logged(LogLevel::debug, corrected, -25204));

    // Asked without waiting, the correction is one more request once the window has taken the first.
    logs.log().clear();
    windows().setFrame(n, Rect{400, 300, 600, 520});
    const auto wait = [](AXUtil& util, AXElement window, Rect target) -> platform::Task<void> {
        auto answered = util.awaitMoveResize(window, target, util.requestMoveResize(window, target));
        co_await std::move(answered);
    };
    platform::spawn(loop(), wait(ax, element(n), zone));
    loop().advance(seconds(1));
    EXPECT_TRUE(logged(LogLevel::debug, corrected, 0));
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

// A window asked for another frame while the window manager has yet to carry out the first request (a
// push during a restore's move, say): the wait for the first ends at its next look, asks for nothing more,
// and the window goes where the later request sends it.
TEST_F(AXUtilTest, aWaitForAMoveEndsOnceTheWindowIsAskedForAnotherFrame) {
    const auto n = open({.frame = Rect{400, 300, 600, 400}, .title = "Doc", .movesAfter = milliseconds(300)});
    const Rect first{0, 60, 720, 400}, second{720, 60, 720, 400};
    const AXUtil::FrameRequest earlier = ax.requestMoveResize(element(n), first);
    std::optional<Nanos> ended;
    const auto wait = [](AXUtil& util, AXElement window, Rect target, AXUtil::FrameRequest request,
                         sim::SimRunLoop& clock, std::optional<Nanos>& end) -> platform::Task<void> {
        auto answered = util.awaitMoveResize(window, target, std::move(request));
        co_await std::move(answered);
        end = clock.now();
    };
    platform::spawn(loop(), wait(ax, element(n), first, earlier, loop(), ended));
    loop().advance(milliseconds(50));
    EXPECT_FALSE(ended);

    const Nanos asked = loop().now();
    const AXUtil::FrameRequest later = ax.requestMoveResize(element(n), second);
    loop().advance(milliseconds(20));
    ASSERT_TRUE(ended);
    EXPECT_LE(*ended - asked, milliseconds(10));
    EXPECT_TRUE(earlier.replaced.isCancelled());
    EXPECT_FALSE(later.replaced.isCancelled());
    loop().advance(seconds(1));
    EXPECT_EQ(windows().frame(n), second);
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

class FocusRetryTest : public AXUtilTest {
  protected:
    FocusRetryTest() {
        loop().onBlockingSleep = [this](Nanos from, Nanos to) {
            sleeps.push_back((to - from) / milliseconds(1));
        };
    }
    std::vector<std::int64_t> sleeps; // ms
};

TEST_F(FocusRetryTest, focusedWindowRetriesWhileTheApplicationIsBusy) {
    const auto n = open({.frame = kFrame, .title = "Doc"});
    const AXElement app = access().applicationElement(editor);
    const auto cc = AXError::cannotComplete, off = AXError::apiDisabled;
    // the application's answers, whether the process is trusted, the pauses (ms), whether it is found
    const std::tuple<std::vector<AXError>, bool, std::vector<std::int64_t>, bool> rows[] = {
        {{cc, cc, cc}, true, {10, 20, 30}, false},          {{cc, cc}, true, {10, 20}, true},
        {{off, off, off}, true, {15, 30, 45}, false},       {{}, false, {}, false},
        {{AXError::attributeUnsupported}, true, {}, false},
    };
    for (const auto& [answers, trusted, pauses, found] : rows) {
        access().setProcessTrusted(trusted);
        access().scriptAXFailure(app, "AXFocusedWindow", answers);
        sleeps.clear();
        EXPECT_EQ(ax.focusedWindow(), found ? std::optional(element(n)) : std::nullopt) << answers.size();
        EXPECT_EQ(sleeps, pauses) << answers.size();
    }
    const auto timeouts = access().messagingTimeouts();
    ASSERT_FALSE(timeouts.empty());
    EXPECT_EQ(timeouts.back(), std::pair(app, 1.0f));

    // An answer that is no element, or an empty element, is no focused window.
    access().setProcessTrusted(true);
    for (const auto& answer : {platform::AXValue(std::string("Doc")), platform::AXValue(AXElement{})}) {
        access().scriptAXValue(app, "AXFocusedWindow", {answer});
        EXPECT_EQ(ax.focusedWindow(), std::nullopt) << answer.index();
    }

    // Without a frontmost application there is nothing to ask.
    ws().quit(editor);
    sleeps.clear();
    EXPECT_EQ(ax.focusedWindow(), std::nullopt);
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(FocusRetryTest, systemWideFocusWalksUpToTheWindow) {
    const auto n = open({.frame = kFrame, .title = "Doc"});
    // Child elements between the focused element and the window, and whether the window is found.
    for (auto [depth, found] : {std::pair{0, true}, {1, true}, {5, true}, {6, false}}) {
        AXElement focused = element(n);
        for (int i = 0; i < depth; ++i)
            focused = windows().addChildElement(focused, {.exposesWindow = false});
        windows().setFocusedElement(editor, focused);
        EXPECT_EQ(ax.focusedWindowSystemWide(), found ? std::optional(element(n)) : std::nullopt) << depth;
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

TEST_F(AXUtilTest, sharedInstanceFollowsThePlatformInUse) {
    auto first = AXUtil::shared();
    EXPECT_EQ(&first->platform(), &desktop.get());
    {
        sim::ScopedSimDesktop other;
        EXPECT_EQ(&AXUtil::shared()->platform(), &other.get());
    }
    auto mine = std::make_shared<AXUtil>(*desktop);
    AXUtil::setShared(mine);
    EXPECT_EQ(AXUtil::shared(), mine);
    // A controller made with only the zone states acts through the installed process-wide wrapper.
    EXPECT_EQ(WMController(std::make_shared<MultiDisplayState>()).ax, mine);
    AXUtil::setShared(nullptr);
}

} // namespace
} // namespace korvane
