// The application picker's dialog on Qt's offscreen platform: keys typed into its search field drive the
// list and the choice, a click on a row chooses it, and its picture is left under build/screenshots.
#include "ui/switchers/AppPickerView.h"

#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "ui/switchers/IconCache.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

using namespace korvane;
using korvane::testing::saveScreenshot;

namespace {

class AppPickerViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        IconCache::setShared(nullptr);
        auto& workspace = desktop->workspace();
        for (const auto& [id, name] :
             std::vector<std::pair<std::string, std::string>>{{"org.example.editor", "Text Editor"},
                                                              {"org.example.browser", "Web Browser"},
                                                              {"org.example.mail", "Mail"},
                                                              {"org.example.files", "Files"}})
            workspace.install({.bundleID = id, .name = name});
        const pid_t terminal = workspace.launch({.bundleID = "org.example.terminal", .name = "Terminal"});
        workspace.setApplicationIcon(
            terminal,
            {.width = 2, .height = 2, .argb = {0xFF2E7D32, 0xFF2E7D32, 0xFF1B5E20, 0xFF1B5E20}, .path = {}});
        workspace.launch({.bundleID = "org.example.calc", .name = "Calculator"});
        desktop->loop().runUntilIdle();
    }
    void TearDown() override { IconCache::setShared(nullptr); }
    void key(AppPickerView& view, int qtKey, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        QCoreApplication::sendEvent(view.searchField(), &press);
    }
    void type(AppPickerView& view, const QString& text) {
        for (const QChar c : text)
            key(view, 0, QString(c));
        desktop->loop().runUntilIdle();
    }

    sim::ScopedSimDesktop desktop;
    std::vector<std::string> chosen;
};

} // namespace

TEST_F(AppPickerViewTest, typedTextFiltersTheListAndArrowsWithReturnChooseAndCloseIt) {
    AppPickerView view(*desktop, "org.example.mail", true,
                       [this](const std::string& id) { chosen.push_back(id); });
    view.show();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(view.size(), QSize(AppPickerView::kWidth, AppPickerView::kHeight));
    EXPECT_EQ(view.model().rows().size(), 6u);

    type(view, "e");
    key(view, Qt::Key_Down);
    key(view, Qt::Key_Down);
    view.grab(); // asks for the icons of the rows it draws
    desktop->loop().runUntilIdle();
    saveScreenshot(view, "app-picker.png");

    type(view, "dit");
    EXPECT_EQ(view.searchField()->text(), "edit");
    EXPECT_EQ(view.model().highlightedIndex(), std::nullopt);
    key(view, Qt::Key_Down);
    key(view, Qt::Key_Down);
    key(view, Qt::Key_Return);
    // Rows: "edit" as a custom identifier, then the text editor.
    EXPECT_EQ(chosen, (std::vector<std::string>{"org.example.editor"}));
    EXPECT_EQ(view.selectedBundleID(), "org.example.editor");
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.result(), QDialog::Accepted);
}

TEST_F(AppPickerViewTest, aClickChoosesTheRowUnderItAndEscapeClosesWithoutAChoice) {
    AppPickerView view(*desktop, "", false, [this](const std::string& id) { chosen.push_back(id); });
    view.show();
    desktop->loop().runUntilIdle();
    // Reopened, the search starts empty again.
    type(view, "cal");
    view.hide();
    view.show();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(view.searchField()->text(), "");

    const QRect second = view.rowsView()->rowRect(1);
    ASSERT_TRUE(second.isValid());
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(second.center()), QPointF(second.center()),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.rowsView(), &release);
    EXPECT_EQ(chosen, (std::vector<std::string>{"org.example.terminal"}));
    EXPECT_FALSE(view.isVisible());

    view.show();
    desktop->loop().runUntilIdle();
    key(view, Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(view.result(), QDialog::Rejected);
    EXPECT_EQ(chosen.size(), 1u);
}
