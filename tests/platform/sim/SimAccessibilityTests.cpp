// The simulated accessibility service: scripted answers, the call log, how windows take writes, focus,
// window numbers and an untrusted process, as the tests of the window control core rely on them.
#include "SimDesktopFixture.h"

#include <cmath>

namespace korvane::sim {
namespace {

struct SimAccessibilityTest : SimDesktopTest {};

TEST_F(SimAccessibilityTest, scriptedAnswersComeInOrderForTheirElementAndNameThenNormalOnesResume) {
    auto a = open(), b = open();
    ax().scriptAXFailure(
        a, "AXSize",
        {AXError::cannotComplete, AXError::cannotComplete, AXError::success, AXError::apiDisabled});
    EXPECT_EQ(status(el(a), "AXPosition"), AXError::success);
    EXPECT_EQ(status(el(b), "AXSize"), AXError::success);
    std::vector<AXError> seen;
    for (int i = 0; i < 5; ++i)
        seen.push_back(status(el(a), "AXSize"));
    EXPECT_EQ(seen, (std::vector<AXError>{AXError::cannotComplete, AXError::cannotComplete, AXError::success,
                                          AXError::apiDisabled, AXError::success}));

    ax().scriptAXFailure(a, kPidOfCall, {AXError::failure});
    pid_t pid = 0;
    EXPECT_EQ(ax().pidOf(el(a), pid), AXError::failure);
    EXPECT_EQ(ax().pidOf(el(a), pid), AXError::success);
    EXPECT_EQ(pid, editor);
}

TEST_F(SimAccessibilityTest, callLogKeepsWritesAndActionsWithTheirResultsAndLeavesReadsOut) {
    auto w = open();
    ax().scriptAXFailure(w, "AXSize", {AXError::cannotComplete});
    ax().setAttribute(el(w), "AXSize", Size{600, 400});
    status(el(w), "AXTitle");
    ax().setAttribute(el(w), "AXPosition", Point{10, 40});
    ax().performAction(el(w), "AXRaise");
    ax().performAction(el(w), "AXPress");
    std::vector<std::string> steps;
    for (const auto& c : ax().axCallLog())
        steps.push_back(c.kind + " " + c.name + " " + std::to_string(static_cast<int>(c.result)));
    EXPECT_EQ(steps, (std::vector<std::string>{"set AXSize -25204", "set AXPosition 0", "action AXRaise 0",
                                               "action AXPress -25206"}));
    EXPECT_EQ(ax().axCallLog()[1].element, el(w));
    EXPECT_EQ(std::get<Point>(ax().axCallLog()[1].value), (Point{10, 40}));
    EXPECT_EQ(windows().frameTopLeft(w), (Rect{10, 40, 400, 300})) << "the failed resize changed nothing";
}

TEST_F(SimAccessibilityTest, windowsTakeWritesWithinTheirLimitsIgnoreThemWhenToldAndRefuseNonsense) {
    const SimWindowSpec plain{.frame = Rect{100, 100, 400, 300}};
    SimWindowSpec limited{.frame = Rect{100, 100, 400, 300},
                          .minSize = Size{200, 150},
                          .maxSize = Size{800, 600},
                          .sizeIncrement = Size{10, 20}};
    SimWindowSpec stubborn{.frame = Rect{100, 100, 400, 300}, .ignoresResize = true, .ignoresMove = true};
    struct Row {
        const char* name;
        SimWindowSpec spec;
        const char* attribute;
        AXValue value;
        AXError result;
        Rect topLeft;
    };
    const AXError ok = AXError::success, refused = AXError::illegalArgument;
    const Rect unchanged{100, 500, 400, 300};
    const Row rows[] = {
        {"below the minimum", limited, "AXSize", Size{100, 100}, ok, {100, 500, 200, 150}},
        {"exactly the minimum", limited, "AXSize", Size{200, 150}, ok, {100, 500, 200, 150}},
        {"between increments: snapped down", limited, "AXSize", Size{505, 409}, ok, {100, 500, 500, 390}},
        {"over the maximum, then snapped", limited, "AXSize", Size{1000, 1000}, ok, {100, 500, 800, 590}},
        {"ignored resize", stubborn, "AXSize", Size{900, 700}, ok, unchanged},
        {"ignored move", stubborn, "AXPosition", Point{0, 0}, ok, unchanged},
        {"size not a number", plain, "AXSize", Size{std::nan(""), 300}, refused, unchanged},
        {"negative size", plain, "AXSize", Size{-5, 300}, refused, unchanged},
        {"position of the wrong type", plain, "AXPosition", Size{1, 2}, refused, unchanged},
    };
    for (const Row& r : rows) {
        auto w = open(r.spec);
        EXPECT_EQ(ax().setAttribute(el(w), r.attribute, r.value), r.result) << r.name;
        EXPECT_EQ(windows().frameTopLeft(w), r.topLeft) << r.name;
    }
}

TEST_F(SimAccessibilityTest, focusWritesMoveFocusUnlessTheWindowIgnoresThem) {
    auto a = open();
    auto stubborn =
        open({.frame = Rect{0, 0, 300, 300}, .focused = false, .main = false, .ignoresFocus = true});
    const AXElement app = ax().applicationElement(editor);
    EXPECT_EQ(ax().setAttribute(el(stubborn), "AXMain", true), AXError::success);
    EXPECT_EQ(ax().setAttribute(el(stubborn), "AXFocused", true), AXError::success);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), el(a));
    EXPECT_FALSE(value<bool>(el(stubborn), "AXMain"));

    auto b = open({.frame = Rect{0, 0, 300, 300}, .focused = false, .main = false});
    ax().setAttribute(el(b), "AXMain", true);
    ax().setAttribute(el(b), "AXFocused", true);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), el(b));
    EXPECT_EQ(value<AXElement>(app, "AXMainWindow"), el(b));
}

TEST_F(SimAccessibilityTest, systemWideFocusLeadsThroughChildElementsToTheWindow) {
    auto w = open();
    const AXElement group = windows().addChildElement(el(w), {.role = "AXGroup", .exposesWindow = false});
    const AXElement field = windows().addChildElement(
        group, {.role = "AXTextField", .exposesWindow = false, .exposesTopLevel = true});
    const AXElement systemWide = ax().systemWideElement();
    EXPECT_EQ(status(systemWide, "AXFocusedUIElement"), AXError::noValue) << "nothing is frontmost yet";
    windows().setFocusedElement(editor, field);
    ws().bringToFront(editor);

    EXPECT_EQ(value<AXElement>(systemWide, "AXFocusedUIElement"), field);
    EXPECT_EQ(status(field, "AXWindow"), AXError::attributeUnsupported);
    EXPECT_EQ(value<AXElement>(field, "AXTopLevelUIElement"), el(w));
    EXPECT_EQ(value<AXElement>(field, "AXParent"), group);
    EXPECT_EQ(value<AXElement>(group, "AXParent"), el(w));
    windows().close(w);
    EXPECT_EQ(status(field, "AXRole"), AXError::invalidUIElement);
}

TEST_F(SimAccessibilityTest, windowNumbersCanBePrivateMissingOrLate) {
    auto privateOnly =
        open({.frame = Rect{0, 0, 300, 300}, .numberAttribute = WindowNumberAttribute::privateOnly});
    auto none = open({.frame = Rect{10, 10, 300, 300}, .numberAttribute = WindowNumberAttribute::none});
    EXPECT_EQ(status(el(privateOnly), "AXWindowNumber"), AXError::attributeUnsupported);
    EXPECT_EQ(value<double>(el(privateOnly), "_AXWindow"), privateOnly);
    EXPECT_EQ(status(el(none), "AXWindowNumber"), AXError::attributeUnsupported);
    EXPECT_EQ(status(el(none), "_AXWindow"), AXError::attributeUnsupported);
    EXPECT_EQ(listed(platform::kIncludingWindow, none), (std::vector<std::uint32_t>{none}))
        << "the window list still has it, so a client can match it by frame";

    // A late number appears in both places at its instant, whether the loop runs or a caller sleeps.
    for (bool bySleeping : {false, true}) {
        for (Nanos elapsed : {milliseconds(499), milliseconds(500), milliseconds(501)}) {
            SCOPED_TRACE(::testing::Message() << elapsed << (bySleeping ? " asleep" : " advanced"));
            auto w =
                open({.frame = Rect{0, 0, 300, 300}, .numberAppearsAt = loop().now() + milliseconds(500)});
            EXPECT_EQ(status(el(w), "AXWindowNumber"), AXError::noValue);
            bySleeping ? loop().sleepBlocking(elapsed) : loop().advance(elapsed);
            const bool visible = elapsed >= milliseconds(500);
            EXPECT_EQ(status(el(w), "AXWindowNumber") == AXError::success, visible);
            EXPECT_EQ(listed(platform::kIncludingWindow, w).size(), visible ? 1u : 0u);
            windows().close(w);
        }
    }
}

TEST_F(SimAccessibilityTest, anUntrustedProcessIsRefusedEverything) {
    auto w = open();
    ax().setProcessTrusted(false);
    EXPECT_FALSE(ax().isProcessTrusted());
    EXPECT_EQ(status(el(w), "AXPosition"), AXError::apiDisabled);
    EXPECT_EQ(ax().setAttribute(el(w), "AXPosition", Point{0, 0}), AXError::apiDisabled);
    EXPECT_EQ(ax().performAction(el(w), "AXRaise"), AXError::apiDisabled);
    AXError err;
    EXPECT_EQ(ax().createObserver(editor, {}, err), nullptr);
    EXPECT_EQ(err, AXError::apiDisabled);
}

} // namespace
} // namespace korvane::sim
