// Tests of the window classifier's decoy rules at and around their thresholds.
#include "core/WindowClassifier.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvane {
namespace {

using Candidate = WindowClassifier::Candidate;
using Bundle = std::optional<std::string>;
using Rows = std::vector<std::tuple<const char*, Candidate, bool>>; // what, candidate, expected

// An untitled, non-main, subrole-less window: the shape every decoy rule looks at.
Candidate bare(double w, double h, Bundle bundle = "com.google.Chrome") {
    Candidate c;
    c.pid = 321;
    c.bundleID = std::move(bundle);
    c.cgBounds = Rect(40, 40, w, h);
    return c;
}

// `c` changed by `change`: a row's one difference from the plain shape, written where the row is.
template <class F> Candidate with(Candidate c, F change) {
    change(c);
    return c;
}

TEST(WindowClassifierChromium, recognisesTheFamilyByExactIdAndByMarker) {
    // Padding is trimmed, Unicode padding included; "brave" counts anywhere in the id.
    for (const Bundle& id :
         std::vector<Bundle>{"  COM.GOOGLE.CHROME\n", "com.microsoft.edgemac", "org.example.BraveNewWorld",
                             "\xC2\xA0org.Chromium.Chromium\xE2\x80\x83"})
        EXPECT_TRUE(WindowClassifier::isChromiumFamilyBrowser(id)) << *id;
    // Only the listed Edge ids, with no marker of their own.
    for (const Bundle& id :
         std::vector<Bundle>{std::nullopt, "", " \t\n", "com.microsoft.edgemac.beta", "org.mozilla.firefox"})
        EXPECT_FALSE(WindowClassifier::isChromiumFamilyBrowser(id)) << id.value_or("<absent>");
}

TEST(WindowClassifierChromium, knowsTheFamilyByTheIdentifiersX11GivesIt) {
    // Desktop entry ids, which are also the windows' WM_CLASS instances, in the case of either part.
    for (const Bundle& id :
         std::vector<Bundle>{"google-chrome", "chromium", "brave-browser", "microsoft-edge",
                             "Microsoft-edge-dev", "vivaldi-stable", "Opera", "opera-beta"})
        EXPECT_TRUE(WindowClassifier::isChromiumFamilyBrowser(id)) << *id;
    for (const Bundle& id : std::vector<Bundle>{"firefox-esr", "org.telegram.desktop", "operator", "xterm"})
        EXPECT_FALSE(WindowClassifier::isChromiumFamilyBrowser(id)) << *id;
    // So an untitled strip of Edge is a ghost strip, as Chrome's is.
    EXPECT_TRUE(WindowClassifier::isBrowserGhostStrip(bare(250, 600, "microsoft-edge")));
    EXPECT_FALSE(WindowClassifier::isBrowserGhostStrip(bare(250, 600, "firefox-esr")));
}

TEST(WindowClassifierVisibility, needsOpacityAFrameAndMoreThanTwoPointsEachWay) {
    auto big = [](auto change) { return with(bare(300, 300), change); };
    const Rows rows = {
        {"3 x 3", bare(3, 3), true},
        {"2 x 100", bare(2, 100), false},
        {"100 x 2", bare(100, 2), false},
        {"2.01 x 100", bare(2.01, 100), true},
        {"alpha 0.01", big([](Candidate& c) { c.alpha = 0.01; }), false},
        {"alpha 0.011", big([](Candidate& c) { c.alpha = 0.011; }), true},
        {"hidden", big([](Candidate& c) { c.isHidden = true; }), false},
        {"minimized", big([](Candidate& c) { c.isMinimized = true; }), false},
        {"explicitly shown", big([](Candidate& c) { c.isHidden = c.isMinimized = false; }), true},
        {"no frame", big([](Candidate& c) { c.cgBounds.reset(); }), false},
        {"accessibility frame only",
         big([](Candidate& c) { c.cgBounds.reset(), c.axFrame = Rect(0, 0, 3, 3); }), true},
        {"window-list bounds win", with(bare(2, 300), [](Candidate& c) { c.axFrame = Rect(0, 0, 800, 600); }),
         false},
    };
    for (const auto& [what, c, expected] : rows)
        EXPECT_EQ(WindowClassifier::isVisible(c), expected) << what;
}

TEST(WindowClassifierGhostStrip, thinUntitledChromiumWindowsAtTheThresholds) {
    // width, height, whether a strip: the short side below 260, the long side above 320, the ratio at
    // least 2.2 (dividing by at least 1.0), either way round
    const std::tuple<double, double, bool> rows[] = {
        {250, 600, true}, {600, 250, true},  {300, 600, false}, {260, 800, false},
        {259, 800, true}, {200, 320, false}, {100, 321, true},  {0, 600, false},
        {250, 550, true}, {250, 549, false}, {0.5, 400, true},
    };
    for (const auto& [w, h, expected] : rows)
        EXPECT_EQ(WindowClassifier::isBrowserGhostStrip(bare(w, h)), expected) << w << " x " << h;
}

TEST(WindowClassifierGhostStrip, anythingThatMarksARealWindowRulesItOut) {
    auto strip = [](auto change) { return with(bare(250, 600), change); };
    const Rows rows = {
        {"not Chromium", strip([](Candidate& c) { c.bundleID = "org.mozilla.firefox"; }), false},
        {"dialog subrole", strip([](Candidate& c) { c.subrole = "AXDialog"; }), false},
        {"padded AXUnknown subrole", strip([](Candidate& c) { c.subrole = "  AXUnknown "; }), true},
        {"main", strip([](Candidate& c) { c.isMain = true; }), false},
        {"explicitly not main", strip([](Candidate& c) { c.isMain = false; }), true},
        {"titled", strip([](Candidate& c) { c.title = "Downloads"; }), false},
        {"white-space title", strip([](Candidate& c) { c.title = " \n "; }), true},
        {"window-list name", strip([](Candidate& c) { c.cgName = "x"; }), false},
        {"no frame", strip([](Candidate& c) { c.cgBounds.reset(); }), false},
        {"window-list bounds win over accessibility frame",
         with(bare(300, 600), [](Candidate& c) { c.axFrame = Rect(0, 0, 250, 600); }), false},
    };
    for (const auto& [what, c, expected] : rows)
        EXPECT_EQ(WindowClassifier::isBrowserGhostStrip(c), expected) << what;
}

TEST(WindowClassifierGroups, contextsTakeTheLargestAreaAndFindAMainWindow) {
    auto frameless = [](Bundle bundle, auto change) {
        return with(bare(0, 0, bundle), [&](Candidate& c) { c.cgBounds.reset(), change(c); });
    };
    const auto contexts = WindowClassifier::groupContexts({
        bare(1000, 800, "a"),
        bare(100, 100, "a"),
        frameless("b", [](Candidate&) {}),
        frameless("b", [](Candidate& c) { c.subrole = " AXStandardWindow "; }),
        frameless("c", [](Candidate& c) { c.subrole = "AXStandardWindow"; }),
        frameless("d", [](Candidate& c) { c.isMain = true; }),
        bare(0, 500, "e"),
        bare(std::numeric_limits<double>::quiet_NaN(), 500, "f"),
    });
    // group, largest area, has a main window
    const std::tuple<const char*, double, bool> rows[] = {
        {"bundle:a", 800000, true}, // a positive area always reaches 0.6 of itself
        {"bundle:b", 0, false},     // the subrole comparison is exact
        {"bundle:c", 0, true},      {"bundle:d", 0, true},
        {"bundle:e", 0, false},     {"bundle:f", 0, false}, // an undefined area does not count
    };
    ASSERT_EQ(contexts.size(), 6u);
    for (const auto& [key, maxArea, hasMain] : rows) {
        EXPECT_EQ(contexts.at(key).maxArea, maxArea) << key;
        EXPECT_EQ(contexts.at(key).hasMain, hasMain) << key;
    }
}

TEST(WindowClassifierIgnore, smallUntitledWindowsBesideAMainWindow) {
    const WindowClassifier::GroupContext context{1'000'000, true};
    auto app = [](double w, double h) { return bare(w, h, "org.example.app"); };
    auto small = [&](auto change) { return with(app(50, 50), change); };
    const Rows rows = {
        {"300 x 400: short side too long", app(300, 400), false},
        {"200 x 700: 140,000 within 15 %", app(200, 700), true},
        {"250 x 600: exactly 15 %", app(250, 600), true},
        {"250 x 601: just above 15 %", app(250, 601), false},
        {"259 x 500: short side just below 260", app(259, 500), true},
        {"260 x 500: short side 260", app(260, 500), false},
        {"0 x 100: no short side", app(0, 100), false},
        {"dialog", small([](Candidate& c) { c.subrole = "AXDialog"; }), false},
        {"titled", small([](Candidate& c) { c.title = "Find"; }), false},
        {"main", small([](Candidate& c) { c.isMain = true; }), false},
        {"no frame", small([](Candidate& c) { c.cgBounds.reset(); }), false},
        {"padded standard subrole",
         small([](Candidate& c) { c.cgBounds.reset(), c.subrole = " AXStandardWindow "; }), false},
    };
    for (const auto& [what, c, expected] : rows)
        EXPECT_EQ(WindowClassifier::shouldIgnore(c, context), expected) << what;

    // Without a largest area nothing is small; without a main window only ghost strips are ignored.
    EXPECT_FALSE(WindowClassifier::shouldIgnore(app(50, 50), {0, true}));
    const WindowClassifier::GroupContext noMain{1'000'000, false};
    EXPECT_FALSE(WindowClassifier::shouldIgnore(app(50, 50), noMain));
    EXPECT_FALSE(WindowClassifier::shouldIgnore(bare(50, 50), noMain)); // Chromium, but not a strip
    EXPECT_TRUE(WindowClassifier::shouldIgnore(bare(250, 600), noMain));
    EXPECT_TRUE(WindowClassifier::shouldIgnore(bare(250, 600), {0, false}));
}

} // namespace
} // namespace korvane
