// The "Scene Manager" window on Qt's offscreen platform over the simulated desktop, its model's loads run
// step by step: the window's frame and pages, the form's cards, displays and preview, the rename row, the
// preset popover and the delete alert driven by clicks, scene names shown as typed, and their pictures
// under build/screenshots.
#include "SceneManagerFixture.h"

#include "layouts/BuiltinLayouts.h"
#include "support/Screenshot.h"
#include "support/TextAsShown.h"
#include "ui/scene_manager/LayoutMiniPreviewView.h"
#include "ui/scene_manager/SceneManagerCardStrip.h"
#include "ui/scene_manager/SceneManagerPanel.h"
#include "ui/scene_manager/SceneManagerPanelController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

namespace {

class SceneManagerWindowTest : public korvane::testing::SceneManagerTest {
  protected:
    void SetUp() override {
        SceneManagerTest::SetUp();
        displayA = desktop->screens().addDisplay(
            {.frame = Rect{0, 0, 1920, 1080}, .visibleFrame = Rect{0, 0, 1920, 1040}, .uuid = "DISPLAY-A"});
    }
    void TearDown() override {
        controller.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The window as the application opens it, with alerts answered by `alertResponse`.
    void open(const std::optional<std::string>& scene = std::nullopt,
              const std::optional<std::string>& display = std::nullopt) {
        controller = std::make_unique<SceneManagerPanelController>(
            *desktop, makeModel(), [this](QWidget*, const SceneManagerAlert& alert) {
                alerts.push_back(alert);
                return alertResponse;
            });
        controller->show(scene, display);
        QApplication::processEvents();
    }
    void settleAndPaint() {
        settle();
        QApplication::processEvents();
    }
    SceneManagerPanel& panel() { return *controller->panel(); }
    SceneManagerCardStrip& strip() { return *panel().strip(); }
    SceneManagerViewModel& model() { return *controller->viewModel; }
    template <class T = QPushButton> T* button(const char* name) {
        return controller->window()->findChild<T*>(name);
    }
    static void click(QWidget* widget, QPoint at = {}) {
        ASSERT_TRUE(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
        QApplication::processEvents();
    }
    static void save(QWidget* widget, const char* file) { korvane::testing::saveScreenshot(*widget, file); }
    // Three scenes: "Home" active, "Work" with hot-key slot 3 configuring only DISPLAY-A with "Daily",
    // "Play".
    std::string threeScenes() {
        const std::string homeID = storeScene("Home", {{"DISPLAY-A", kBuiltinSplit6040ID}});
        const std::string work = storeScene("Work", {{"DISPLAY-A", kBuiltinDailyID}}, 3);
        storeScene("Play");
        store->setActiveScene(homeID);
        return work;
    }
    std::string cardName(std::size_t index) {
        return index < model().scenes().size() ? model().scenes()[index].name : "";
    }

    int displayA = 0;
    std::unique_ptr<SceneManagerPanelController> controller;
    std::vector<SceneManagerAlert> alerts;
    int alertResponse = 1001;
};

TEST_F(SceneManagerWindowTest, isAnOrdinaryResizableWindowCentredOnTheMainScreenAndOneRequestAtATime) {
    open();
    QWidget* window = controller->window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle().toStdString(), "Scene Manager");
    EXPECT_EQ(window->size(), QSize(720, 520));
    EXPECT_EQ(window->minimumSize(), QSize(600, 440));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint) << "resizable";
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint) << "the normal level";
    // The visible frame leaves out 40 points at the top: its centre is 20 points lower than the screen's.
    EXPECT_EQ(window->pos(), QPoint(960 - 360, 560 - 260));
    EXPECT_TRUE(controller->isWindowVisible());
    EXPECT_EQ(QApplication::activeWindow(), window) << "raised with the keyboard";

    int closed = 0;
    controller->onDidClose = [&] { ++closed; };
    window->close();
    window->close();
    EXPECT_EQ(closed, 1);
}

TEST_F(SceneManagerWindowTest, showsLoadingUntilItsFirstLoadThenNoScenesAndCreateSceneMakesScene1Selected) {
    open();
    ASSERT_TRUE(panel().currentPage()->findChild<QLabel*>());
    EXPECT_EQ(panel().currentPage()->findChild<QLabel*>()->text().toStdString(), "Loading scenes...");
    save(controller->window(), "scene-manager-loading.png");

    settleAndPaint();
    QPushButton* create = button("createScene");
    ASSERT_TRUE(create);
    EXPECT_TRUE(create->isVisible());
    save(controller->window(), "scene-manager-no-scenes.png");

    click(create);
    ASSERT_EQ(model().scenes().size(), 1u);
    EXPECT_EQ(json::parse(read(scenes() / SceneStore::sceneFileName(model().scenes()[0].id)))["name"],
              "Scene 1");
    EXPECT_FALSE(create->isVisible()) << "the form replaces the empty state";
    EXPECT_EQ(model().selectedSceneID(), model().scenes()[0].id);
}

TEST_F(SceneManagerWindowTest, theFormShowsTheCardsTheDisplaysAndTheSelectedDisplaysLayout) {
    displays = {{"DISPLAY-A", "Studio"}, {"DISPLAY-B", "Side"}};
    const std::string work = threeScenes();
    open(work, "DISPLAY-A");
    settleAndPaint();

    EXPECT_EQ(model().selectedSceneID(), work) << "the requested scene outlives the load";
    EXPECT_EQ(model().selectedDisplayUUID(), "DISPLAY-A");
    EXPECT_EQ(panel().preview()->node(), builtinDailyLayout().layoutTree);
    ASSERT_TRUE(panel().displayRow("DISPLAY-B"));
    EXPECT_EQ(panel().displayRow("DISPLAY-B")->accessibleDescription().toStdString(), "No Config");
    EXPECT_TRUE(panel().displayRow("DISPLAY-A")->accessibleDescription().isEmpty());
    EXPECT_EQ(strip().cardRect(2).size(), QSize(80, 50));
    EXPECT_EQ(cardName(0), "Home");
    save(controller->window(), "scene-manager-form.png");

    // "Work" names its slot as this desktop writes keys, and the words stay on their card: nothing is
    // drawn in the gaps either side of it.
    EXPECT_EQ(SceneManagerCardStrip::slotText(3), "Ctrl+Alt+3");
    const QImage drawn = strip().grab().toImage();
    const QRect card = strip().cardRect(1);
    const qreal scale = drawn.devicePixelRatio();
    const QRgb background = drawn.pixel(int((card.left() - 6) * scale), int((card.top() - 3) * scale));
    for (const int x : {card.left() - 6, card.left() - 2, card.right() + 2, card.right() + 6})
        for (int y = card.top(); y <= card.bottom(); ++y)
            ASSERT_EQ(drawn.pixel(int(x * scale), int(y * scale)), background) << x << "," << y;

    // The pointer over the third card brings its rename and delete panel.
    QTest::mouseMove(&strip(), strip().cardRect(2).center());
    QApplication::processEvents();
    EXPECT_EQ(strip().hoveredSceneID(), model().scenes()[2].id);
    ASSERT_TRUE(strip().hoverPanel()->isVisible());
    EXPECT_EQ(strip().hoverPanel()->geometry().center().x(), strip().cardRect(2).right() + 1 + 12);
    save(controller->window(), "scene-manager-hover.png");
}

TEST_F(SceneManagerWindowTest, thePencilOfAnUnselectedCardSelectsItAndOpensTheRenameRowWithItsName) {
    threeScenes();
    open();
    settleAndPaint();
    ASSERT_EQ(cardName(0), "Home");
    EXPECT_FALSE(panel().renameField()->isVisible());

    strip().setHoveredSceneID(model().scenes()[2].id);
    click(strip().renameButton());
    EXPECT_EQ(model().selectedSceneID(), model().scenes()[2].id);
    ASSERT_TRUE(panel().renameField()->isVisible());
    EXPECT_EQ(panel().renameField()->text().toStdString(), "Play");
    save(controller->window(), "scene-manager-rename.png");

    panel().renameField()->setText("  Evening ");
    QTest::keyClick(panel().renameField(), Qt::Key_Return);
    EXPECT_EQ(storedScene(model().scenes()[2].id).name, "Evening");
    EXPECT_FALSE(panel().renameField()->isVisible());
}

TEST_F(SceneManagerWindowTest, aNoConfigDisplayOpensThePresetsAnd5050BindsANewUserLayoutToIt) {
    displays = {{"DISPLAY-A", "Studio"}, {"DISPLAY-B", "Side"}};
    const std::string work = threeScenes();
    open(work);
    settleAndPaint();

    click(panel().displayRow("DISPLAY-A"));
    EXPECT_FALSE(panel().presetPopover()->isVisible()) << "a configured display is only selected";
    click(panel().displayRow("DISPLAY-B"));
    EXPECT_EQ(model().selectedDisplayUUID(), "DISPLAY-B");
    ASSERT_TRUE(panel().presetPopover()->isVisible());
    EXPECT_EQ(panel().preview()->node(), builtinDailyLayout().layoutTree) << "the scene's only layout";
    save(panel().presetPopover(), "scene-manager-presets.png");
    QTest::mouseMove(panel().presetPicker(), panel().presetPicker()->cellRect(2).center());
    EXPECT_EQ(panel().presetPicker()->hoveredID(), std::optional<std::string>(kBuiltinSplit5050ID));

    click(panel().presetPicker(), panel().presetPicker()->cellRect(2).center());
    const std::string ref = storedScene(work).layoutRefsByDisplay.at("DISPLAY-B");
    EXPECT_EQ(ref.rfind("layout.", 0), 0u);
    EXPECT_EQ(json::parse(read(layouts() / (ref + ".json")))["layoutTree"],
              json(*builtinSplit5050Layout().layoutTree));
    EXPECT_FALSE(panel().presetPopover()->isVisible());
    EXPECT_EQ(panel().preview()->node(), builtinSplit5050Layout().layoutTree);
    EXPECT_TRUE(panel().displayRow("DISPLAY-B")->accessibleDescription().isEmpty());
}

TEST_F(SceneManagerWindowTest, thePresetPopoverClosesOnAClickOutsideIt) {
    threeScenes();
    open();
    settleAndPaint();
    click(button("startFromPreset"));
    ASSERT_TRUE(panel().presetPopover()->isVisible());
    EXPECT_TRUE(model().showingPresetPicker());
    QTest::mouseClick(panel().presetPopover(), Qt::LeftButton, {}, QPoint(-20, -20));
    QApplication::processEvents();
    EXPECT_FALSE(panel().presetPopover()->isVisible());
    EXPECT_FALSE(model().showingPresetPicker());
}

// The window at the bottom of a 1366 × 768 screen: with no room below "Start from Preset…" the presets
// open above it, every one of them on the screen.
TEST_F(SceneManagerWindowTest, thePresetPopoverLiesWhollyOnTheScreenWithNoRoomBelowItsButton) {
    desktop->screens().setDisplayFrame(displayA, Rect{0, 0, 1366, 768});
    threeScenes();
    open();
    settleAndPaint();
    QWidget* window = controller->window();
    window->move(300, 768 - window->height());
    QApplication::processEvents();
    click(button("startFromPreset"));
    ASSERT_TRUE(panel().presetPopover()->isVisible());
    const QRect popover = panel().presetPopover()->geometry();
    const QRect screen(0, 0, 1366, 768);
    EXPECT_TRUE(screen.contains(popover))
        << popover.x() << "," << popover.y() << " " << popover.width() << "x" << popover.height();
    QPushButton* opener = button("startFromPreset");
    EXPECT_LT(popover.bottom(), opener->mapToGlobal(QPoint(0, 0)).y()) << "above its button, not over it";
    save(window, "scene-manager-preset-popover-above.png");
    korvane::testing::saveScreenshot(*panel().presetPopover(),
                                     "scene-manager-preset-popover-above-popup.png");
}

TEST_F(SceneManagerWindowTest, theDeleteAlertsDeleteRemovesTheSceneAndCancelLeavesEverything) {
    threeScenes();
    open();
    settleAndPaint();
    const std::string play = model().scenes()[2].id;
    const auto before = snapshot(scenes());

    strip().setHoveredSceneID(play);
    alertResponse = 1001; // "Cancel"
    click(strip().deleteButton());
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "Delete Scene?");
    EXPECT_EQ(alerts[0].informativeText, "Delete \"\u2068Play\u2069\"? This action cannot be undone.");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Delete", "Cancel"}));
    EXPECT_EQ(snapshot(scenes()), before);
    EXPECT_EQ(model().selectedSceneID(), model().scenes()[0].id) << "the selection stays too";

    alertResponse = 1000; // "Delete"
    click(strip().deleteButton());
    EXPECT_FALSE(std::filesystem::exists(scenes() / SceneStore::sceneFileName(play)));
    EXPECT_EQ(model().scenes().size(), 2u);

    QPointer<QMessageBox> box = makeAlertBox(controller->window(), alerts[0]);
    box->adjustSize();
    save(box, "scene-manager-delete-alert.png");
    delete box;
}

// Names holding "&", a tab and a right-to-left override: "Delete Scene?" names each as typed (a tab shows
// as a space), and the rest of its question stays in its place after the name, reading left to right.
TEST_F(SceneManagerWindowTest, theDeleteAlertNamesTheSceneAsTypedWithTheRestOfTheQuestionInOrder) {
    const std::vector<std::pair<std::string, std::string>> names{{"Work & Play && Fun", "Work & Play && Fun"},
                                                                 {"Work\tPlay", "Work Play"},
                                                                 {"\u202EThis", "\u202EThis"}};
    std::vector<std::string> ids;
    for (const auto& [typed, shown] : names)
        ids.push_back(storeScene(typed));
    open();
    settleAndPaint();
    const QString tail = "\"? This action cannot be undone.";
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].first);
        strip().setHoveredSceneID(ids[i]);
        alertResponse = 1001; // "Cancel"
        click(strip().deleteButton());
        ASSERT_EQ(alerts.size(), i + 1);
        QPointer<QMessageBox> box = makeAlertBox(controller->window(), alerts.back());
        auto* question = box->findChild<QLabel*>("qt_msgbox_informativelabel");
        ASSERT_TRUE(question);
        EXPECT_EQ(korvane::testing::withoutIsolates(question->text()),
                  "Delete \"" + names[i].second + "\"? This action cannot be undone.");
        EXPECT_TRUE(korvane::testing::readsOnLeftToRightFrom(question->text(),
                                                             question->text().size() - tail.size()));
        if (i == 2) {
            box->adjustSize();
            save(box, "scene-manager-delete-alert-right-to-left-name.png");
        }
        delete box;
    }
    EXPECT_EQ(model().scenes().size(), 3u);
}

// A name of 200 characters with no space to wrap at: the question cuts it in its middle, and the alert
// stays within its screen with the whole question, its closing "? and what follows.
TEST_F(SceneManagerWindowTest, theDeleteAlertCutsALongNameInItsMiddleAndShowsTheWholeQuestion) {
    std::string name;
    for (int i = 0; i < 20; ++i)
        name += "Workspace" + std::to_string(i % 10);
    const std::string id = storeScene(name);
    open();
    settleAndPaint();
    strip().setHoveredSceneID(id);
    alertResponse = 1001; // "Cancel"
    click(strip().deleteButton());
    ASSERT_EQ(alerts.size(), 1u);

    QPointer<QMessageBox> box = makeAlertBox(controller->window(), alerts[0]);
    box->show();
    QApplication::processEvents();
    auto* question = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    ASSERT_TRUE(question);
    const std::string shown = korvane::testing::withoutIsolates(question->text());
    EXPECT_TRUE(shown.starts_with("Delete \"Workspace0Work")) << shown;
    EXPECT_TRUE(shown.ends_with("Workspace9\"? This action cannot be undone.")) << shown;
    EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
    EXPECT_TRUE(korvane::testing::showsAllOf(*question)) << shown;
    EXPECT_TRUE(QRect(QPoint(), box->size()).contains(question->geometry()));
    const QRect screen = box->screen()->availableGeometry();
    EXPECT_LE(box->frameGeometry().width(), screen.width());
    save(box, "scene-manager-delete-alert-long-name.png");
    delete box;
    EXPECT_EQ(model().scenes().size(), 1u);
}

TEST(LayoutMiniPreviewView, drawsNoLayoutConfiguredWithoutATreeAndKeepsItsAspect) {
    LayoutMiniPreviewView preview;
    preview.resize(400, 160);
    EXPECT_EQ(preview.drawingRect(), QRectF(72, 0, 256, 160));
    const QImage empty = preview.grab().toImage();
    preview.setNode(builtinDailyLayout().layoutTree);
    EXPECT_NE(preview.grab().toImage(), empty);
    korvane::testing::saveScreenshot(preview, "layout-mini-preview-daily.png");
}

} // namespace
