// Tests of the auxiliary window test of the window controller: which windows form the group, which are
// left out, and that the answer is the classifier's within that group.
#include "core/ActivationFixture.h"
#include "core/AuxiliaryWindow.h"
#include "core/WMState.h"

namespace korvane {
namespace {

using platform::AXError;

class AuxiliaryWindowTest : public testing::ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}});
        editor = ws().launch({.bundleID = "com.example.editor", .name = "Editor"});
        loop().runUntilIdle();
    }

    // A document window: titled, standard, main.
    std::uint32_t openMain(pid_t pid) {
        return windows().open(pid, {.frame = Rect{100, 100, 800, 600}, .title = "Doc"});
    }
    // A small untitled window without a subrole that is neither main nor focused: a palette.
    std::uint32_t openSmall(pid_t pid, Size size = {200, 100}, bool minimized = false) {
        sim::SimWindowSpec spec{.frame = {Point{950, 500}, size}, .subrole = {}, .minimized = minimized};
        spec.focused = spec.main = false;
        return windows().open(pid, spec);
    }
    void manage(std::uint32_t n, pid_t pid, std::optional<Rect> lastFrame = std::nullopt) {
        state.attach(WinRef{n, pid, windows().element(n), std::nullopt, lastFrame}, 1);
    }
    bool auxiliary(std::uint32_t n, pid_t pid) {
        return isAuxiliaryWindow(ax, n, windows().element(n), pid, state);
    }

    AXUtil ax{*desktop};
    WMState state{Layout{"DISPLAY-A", {{1, Zone{1, Rect{0, 0, 1440, 900}, {}, 0}}}, {}}};
    pid_t editor = 0;
};

TEST_F(AuxiliaryWindowTest, smallUntitledWindowBesideADocumentOfTheSameProcessIsAuxiliary) {
    const pid_t tool = ws().launch({.name = "Tool"}); // grouped by process, no bundle id
    loop().runUntilIdle();
    for (pid_t pid : {editor, tool}) {
        const auto doc = openMain(pid);
        const auto palette = openSmall(pid);
        manage(doc, pid);
        manage(palette, pid);
        EXPECT_TRUE(auxiliary(palette, pid)) << pid;
        EXPECT_FALSE(auxiliary(doc, pid)) << pid;
        EXPECT_FALSE(auxiliary(palette, 0)) << pid;
    }
}

TEST_F(AuxiliaryWindowTest, minimizedWindowsAndWindowsOfTwoPointsOrLessTakeNoPart) {
    const auto doc = openMain(editor);
    manage(doc, editor);
    const std::pair<Size, bool> rows[] = {{{2, 100}, false}, {{3, 100}, true}, {{100, 2}, false},
                                          {{100, 3}, true},  {{3, 3}, true},   {{2, 2}, false}};
    for (const auto& [size, expected] : rows) {
        const auto small = openSmall(editor, size);
        manage(small, editor);
        EXPECT_EQ(auxiliary(small, editor), expected) << platform::describe(size);
        state.detach(small, 1);
        state.wins.erase(small);
    }
    const auto minimizedPalette = openSmall(editor, {200, 100}, true);
    EXPECT_FALSE(auxiliary(minimizedPalette, editor)) << "a minimized newcomer";
    manage(minimizedPalette, editor);
    EXPECT_FALSE(auxiliary(minimizedPalette, editor));

    // A palette not yet managed is tested against its application's managed document.
    const auto palette = openSmall(editor);
    EXPECT_TRUE(auxiliary(palette, editor));
    EXPECT_FALSE(state.wins.contains(palette));
    // A minimized document leaves the palette alone in its group, where it is the largest window.
    manage(palette, editor);
    windows().setMinimized(doc, true);
    EXPECT_FALSE(auxiliary(palette, editor));
}

TEST_F(AuxiliaryWindowTest, onlyTheSameProcessesManagedWindowsFormTheGroup) {
    // The document exists but this display's state does not manage it.
    openMain(editor);
    const auto palette = openSmall(editor);
    manage(palette, editor);
    EXPECT_FALSE(auxiliary(palette, editor));

    // Another application's document does not join the group either.
    const pid_t other = ws().launch({.bundleID = "com.example.other", .name = "Other"});
    loop().runUntilIdle();
    manage(openMain(other), other);
    EXPECT_FALSE(auxiliary(palette, editor));
}

TEST_F(AuxiliaryWindowTest, storedFrameStandsInForAManagedWindowWhoseFrameCannotBeRead) {
    const auto doc = openMain(editor);
    const auto palette = openSmall(editor);
    manage(palette, editor);
    manage(doc, editor, Rect{100, 100, 800, 600});
    desktop->accessibility().scriptAXFailure(doc, "AXPosition", {AXError::cannotComplete});
    EXPECT_TRUE(auxiliary(palette, editor));

    // Without a stored frame the document drops out and the palette stands alone.
    state.wins[doc].lastFrame.reset();
    desktop->accessibility().scriptAXFailure(doc, "AXPosition", {AXError::cannotComplete});
    EXPECT_FALSE(auxiliary(palette, editor));
}

TEST_F(AuxiliaryWindowTest, windowUnderTestIsReadThroughTheGivenElement) {
    const auto doc = openMain(editor);
    const auto palette = openSmall(editor);
    manage(doc, editor);
    // The state still holds an element that no longer answers, with a large remembered frame; the given
    // element is the one read, so the window is judged at its present small size.
    state.attach(WinRef{palette, editor,
                        platform::AXElement{platform::AXElement::Kind::window, editor, 999999}, std::nullopt,
                        Rect{0, 0, 1400, 900}},
                 1);
    EXPECT_TRUE(auxiliary(palette, editor));
}

} // namespace
} // namespace korvane
