// Tests of the window classifier's decoy rules at and around their thresholds.
#include "core/WindowClassifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvane {
namespace {

using Candidate = WindowClassifier::Candidate;

// An untitled, non-main, subrole-less window: the shape every decoy rule looks at.
Candidate bare(double w, double h, std::optional<std::string> bundle = "com.google.Chrome") {
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
    struct Row {
        std::optional<std::string> bundle;
        bool expected;
    };
    const Row rows[] = {
        {std::nullopt, false},
        {"", false},
        {" \t\n", false},
        {"  COM.GOOGLE.CHROME\n", true},
        {"com.microsoft.edgemac", true},
        {"com.microsoft.edgemac.beta", false}, // only the listed Edge ids, no marker
        {"org.example.BraveNewWorld", true},   // merely contains "brave"
        {"org.mozilla.firefox", false},
        {"\xC2\xA0org.Chromium.Chromium\xE2\x80\x83", true}, // Unicode padding trimmed
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WindowClassifier::isChromiumFamilyBrowser(row.bundle), row.expected)
            << (row.bundle ? *row.bundle : "<absent>");
    }
}

TEST(WindowClassifierVisibility, needsOpacityAFrameAndMoreThanTwoPointsEachWay) {
    struct Row {
        const char* what;
        Candidate c;
        bool expected;
    };
    auto big = [](auto change) { return with(bare(300, 300), change); };
    const Row rows[] = {
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
    for (const auto& row : rows)
        EXPECT_EQ(WindowClassifier::isVisible(row.c), row.expected) << row.what;
}

TEST(WindowClassifierGhostStrip, thinUntitledChromiumWindowsAtTheThresholds) {
    struct Row {
        double w, h;
        bool expected;
    };
    const Row rows[] = {
        {250, 600, true},                     // 2.4
        {600, 250, true},                     // orientation does not matter
        {300, 600, false},                    // short side not below 260
        {260, 800, false},                    // short side exactly 260
        {259, 800, true},  {200, 320, false}, // long side not above 320
        {100, 321, true},                     // 3.21
        {0, 600, false},   {250, 550, true},  // exactly 2.2
        {250, 549, false},                    // just below 2.2
        {0.5, 400, true},                     // the ratio divides by at least 1.0
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WindowClassifier::isBrowserGhostStrip(bare(row.w, row.h)), row.expected)
            << row.w << " x " << row.h;
    }
}

TEST(WindowClassifierGhostStrip, anythingThatMarksARealWindowRulesItOut) {
    struct Row {
        const char* what;
        Candidate c;
        bool expected;
    };
    auto strip = [](auto change) { return with(bare(250, 600), change); };
    const Row rows[] = {
        {"plain strip", bare(250, 600), true},
        {"not Chromium", strip([](Candidate& c) { c.bundleID = "org.mozilla.firefox"; }), false},
        {"dialog subrole", strip([](Candidate& c) { c.subrole = "AXDialog"; }), false},
        {"AXUnknown subrole", strip([](Candidate& c) { c.subrole = "AXUnknown"; }), true},
        {"padded AXUnknown", strip([](Candidate& c) { c.subrole = "  AXUnknown "; }), true},
        {"main", strip([](Candidate& c) { c.isMain = true; }), false},
        {"explicitly not main", strip([](Candidate& c) { c.isMain = false; }), true},
        {"titled", strip([](Candidate& c) { c.title = "Downloads"; }), false},
        {"white-space title", strip([](Candidate& c) { c.title = " \n "; }), true},
        {"window-list name", strip([](Candidate& c) { c.cgName = "x"; }), false},
        {"no frame", strip([](Candidate& c) { c.cgBounds.reset(); }), false},
        {"window-list bounds win over accessibility frame",
         with(bare(300, 600), [](Candidate& c) { c.axFrame = Rect(0, 0, 250, 600); }), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WindowClassifier::isBrowserGhostStrip(row.c), row.expected) << row.what;
}

TEST(WindowClassifierGroups, keysByBundleElseByPid) {
    const std::pair<std::optional<std::string>, const char*> rows[] = {
        {"com.Example.App", "bundle:com.Example.App"},
        {"", "pid:321"},
        {" ", "bundle: "},
        {std::nullopt, "pid:321"}};
    for (const auto& [bundle, key] : rows)
        EXPECT_EQ(WindowClassifier::groupKey(bare(10, 10, bundle)), key) << key;
}

TEST(WindowClassifierGroups, contextsTakeTheLargestAreaAndFindAMainWindow) {
    Candidate big = bare(1000, 800, "a"), small = bare(100, 100, "a");
    Candidate frameless = bare(0, 0, "b"), paddedStandard = bare(0, 0, "b");
    frameless.cgBounds.reset();
    paddedStandard.cgBounds.reset();
    paddedStandard.subrole = " AXStandardWindow ";
    Candidate standard = paddedStandard;
    standard.subrole = "AXStandardWindow";
    standard.bundleID = "c";
    Candidate mainFrameless = frameless;
    mainFrameless.bundleID = "d";
    mainFrameless.isMain = true;
    Candidate zeroArea = bare(0, 500, "e");
    Candidate nanArea = bare(std::numeric_limits<double>::quiet_NaN(), 500, "f");

    auto contexts = WindowClassifier::groupContexts(
        {big, small, frameless, paddedStandard, standard, mainFrameless, zeroArea, nanArea});

    ASSERT_EQ(contexts.size(), 6u);
    EXPECT_EQ(contexts.at("bundle:a").maxArea, 800000.0);
    EXPECT_TRUE(contexts.at("bundle:a").hasMain); // a positive area always reaches 0.6 of itself
    EXPECT_EQ(contexts.at("bundle:b").maxArea, 0.0);
    EXPECT_FALSE(contexts.at("bundle:b").hasMain); // the subrole comparison is exact
    EXPECT_TRUE(contexts.at("bundle:c").hasMain);
    EXPECT_TRUE(contexts.at("bundle:d").hasMain);
    EXPECT_FALSE(contexts.at("bundle:e").hasMain);
    EXPECT_EQ(contexts.at("bundle:f").maxArea, 0.0); // an undefined area does not count
    EXPECT_FALSE(contexts.at("bundle:f").hasMain);
}

TEST(WindowClassifierIgnore, smallUntitledWindowsBesideAMainWindow) {
    const WindowClassifier::GroupContext context{1'000'000, true};
    struct Row {
        const char* what;
        Candidate c;
        bool expected;
    };
    auto app = [](double w, double h) { return bare(w, h, "org.example.app"); };
    auto small = [&](auto change) { return with(app(50, 50), change); };
    const Row rows[] = {
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
    for (const auto& row : rows)
        EXPECT_EQ(WindowClassifier::shouldIgnore(row.c, context), row.expected) << row.what;

    // Without a largest area nothing is small.
    EXPECT_FALSE(WindowClassifier::shouldIgnore(app(50, 50), {0, true}));
}

TEST(WindowClassifierIgnore, withoutAMainWindowOnlyGhostStripsAreIgnored) {
    const WindowClassifier::GroupContext noMain{1'000'000, false};
    EXPECT_FALSE(WindowClassifier::shouldIgnore(bare(50, 50, "org.example.app"), noMain));
    EXPECT_FALSE(WindowClassifier::shouldIgnore(bare(50, 50), noMain)); // Chromium, but not a strip
    EXPECT_TRUE(WindowClassifier::shouldIgnore(bare(250, 600), noMain));
    EXPECT_TRUE(WindowClassifier::shouldIgnore(bare(250, 600), {0, false}));
}

} // namespace
} // namespace korvane
