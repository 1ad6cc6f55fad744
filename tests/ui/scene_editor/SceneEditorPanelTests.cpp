// The scene editor on Qt's offscreen platform over the simulated desktop: the panels, the canvas of each
// display with its cells, chips, dividers, Excluded strip and bar, driven by keys, clicks and drops as a
// user would, the close alert, and the scene file each action leaves behind; with pictures of each.
#include "ui/scene_editor/SceneEditorOverlayController.h"

#include "SceneEditorFixture.h"
#include "SceneEditorViewsSupport.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/ApplicationNames.h"
#include "ui/scene_editor/BundleInfoCache.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"
#include "ui/scene_editor/SceneCanvasSplitHandle.h"
#include "ui/scene_editor/SceneEditorCanvasBridge.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/scene_editor/SceneEditorPanelPool.h"
#include "ui/scene_editor/SceneEditorViewModel.h"
#include "ui/scene_editor/SceneGeometryCanvasView.h"
#include "ui/switchers/AppPickerView.h"
#include "ui/switchers/IconCache.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

using namespace korvane;
using korvane::testing::pressKey;
using korvane::testing::saveScreenshot;
using korvane::testing::sendDrop;

namespace {

class SceneEditorPanelTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        mainDisplay = addDisplay("D1", Rect{0, 0, 1280, 800});
        sideDisplay = addDisplay("D2", Rect{1280, 0, 1000, 600});
        desktop->workspace().install({.bundleID = "org.example.mail", .name = "Mail"});
        desktop->workspace().install({.bundleID = "org.example.notes", .name = "Notes"});
        desktop->workspace().install({.bundleID = "org.example.music", .name = "Music"});
        desktop->workspace().install({.bundleID = "org.example.chat", .name = "Chat"});
        sceneID = storeScene("Daily work", {{"D1", "builtin.daily"}, {"D2", "builtin.fullscreen"}},
                             {{"D1",
                               {{"org.example.mail", 1, std::nullopt},
                                {"org.example.notes", 3, std::nullopt},
                                {"org.example.music", 9, std::nullopt}}},
                              {"D2", {{"org.example.chat", 1, std::nullopt}}}});
    }
    void TearDown() override {
        editor.reset();
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SceneEditorTest::TearDown();
    }

    // As the application opens the editor: the model, a panel per display, the selected display's in front.
    void open(const std::string& display = "D1", bool settled = true) {
        editor = std::make_shared<SceneEditorOverlayController>(
            platform,
            [this](QWidget* over) {
                ++alerts;
                alertedOver.push_back(over);
                return alertAnswer;
            },
            pool);
        editor->onDidClose = [this] { ++closes; };
        editor->onSave = [this] { ++managerReloads; };
        SceneEditorViewModel::Services services;
        services.store = store;
        services.layoutTemplateResolver = library;
        services.availableDisplaysProvider = [] {
            return std::vector<SceneEditorDisplay>{{"D1", "D1"}, {"D2", "D2"}};
        };
        services.onSaveAsUserLayout = [this](const ConfigZoneSet& layout) -> std::optional<std::string> {
            return library->saveUserLayout(layout);
        };
        editor->viewModel = SceneEditorViewModel::open(platform, std::move(services), sceneID, display, "D1");
        for (const auto& screen : desktop->screens().screens())
            editor->addPanel(screen, screen.displayUUID, screen.localizedName);
        editor->openScene(sceneID, display);
        if (settled) settle();
    }
    SceneEditorOverlayPanel* panel(const std::string& display) { return editor->overlayPanels.at(display); }
    SceneGeometryCanvasView* canvas(const std::string& display) {
        SceneGeometryCanvasView* view = panel(display)->rootView()->canvas();
        EXPECT_NE(view, nullptr) << display;
        return view;
    }
    void activate(const std::string& display) {
        QApplication::setActiveWindow(panel(display));
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel(display)));
    }
    // A drop, then what it set going.
    bool drop(QWidget* target, const std::string& text, QPoint at) {
        const bool accepted = sendDrop(target, QString::fromStdString(text), at);
        settle();
        return accepted;
    }
    std::vector<std::string> bundles(const std::vector<SceneCanvasAppEntry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.bundleID);
        return out;
    }
    std::vector<std::pair<std::string, std::int64_t>> storedHints(const std::string& display) {
        std::vector<std::pair<std::string, std::int64_t>> out;
        const nlohmann::json file = sceneFile(sceneID);
        if (!file["windowHints"].contains(display)) return out;
        for (const auto& hint : file["windowHints"][display])
            out.emplace_back(hint["bundleID"].get<std::string>(), hint["zoneID"].get<std::int64_t>());
        return out;
    }

    std::string sceneID;
    // Set, the panels and their views wait there between openings as the application keeps them.
    std::shared_ptr<SceneEditorPanelPool> pool;
    std::shared_ptr<SceneEditorOverlayController> editor;
    SceneEditorSaveAlertResponse alertAnswer = SceneEditorSaveAlertResponse::cancel;
    int alerts = 0;
    std::vector<QWidget*> alertedOver;    // the panel each alert stood over, null for none
    int mainDisplay = 0, sideDisplay = 0; // the sim's ids of D1 and D2
    int closes = 0;
    int managerReloads = 0;
};

TEST_F(SceneEditorPanelTest, eachDisplayShowsItsZonesChipsAndExcludedStripUnderTheBar) {
    open();
    ASSERT_EQ(editor->overlayPanels.size(), 2u);
    SceneGeometryCanvasView* daily = canvas("D1");
    ASSERT_NE(daily, nullptr);
    EXPECT_EQ(daily->cells().size(), 4u);
    EXPECT_EQ(bundles(daily->cells().at(1)->apps()), (std::vector<std::string>{"org.example.mail"}));
    EXPECT_EQ(bundles(daily->cells().at(3)->apps()), (std::vector<std::string>{"org.example.notes"}));
    EXPECT_EQ(daily->cells().at(2)->emptyLabel()->text(), "Drop apps here");
    ASSERT_TRUE(daily->excludedStrip()->isVisible());
    ASSERT_EQ(daily->excludedStrip()->chips().size(), 1u);
    EXPECT_EQ(daily->excludedStrip()->chips()[0]->entry().bundleID, "org.example.music");
    EXPECT_EQ(daily->handles().size(), 3u);
    // Cells meet the dividers: zone 1 ends where the first divider is.
    EXPECT_EQ(daily->cells().at(1)->geometry().right() + 1, 320);
    EXPECT_TRUE(daily->doneButton()->isVisible());
    EXPECT_FALSE(daily->resetButton()->isVisible());
    EXPECT_FALSE(daily->saveButton()->isVisible());
    EXPECT_EQ(bundles(canvas("D2")->cells().at(1)->apps()), (std::vector<std::string>{"org.example.chat"}));

    // A chip dragged from the strip to zone 2 is a change: Reset and Save appear.
    ASSERT_TRUE(
        drop(daily->cells().at(2), daily->excludedStrip()->chips()[0]->dragPayload(), QPoint(40, 80)));
    EXPECT_EQ(bundles(daily->cells().at(2)->apps()), (std::vector<std::string>{"org.example.music"}));
    EXPECT_FALSE(daily->excludedStrip()->isVisible());
    EXPECT_TRUE(daily->resetButton()->isVisible());
    EXPECT_TRUE(daily->saveButton()->isVisible());
    EXPECT_TRUE(editor->canvasBridges.at("D1")->hasUnsavedChanges());
    EXPECT_FALSE(editor->canvasBridges.at("D2")->hasUnsavedChanges());
    saveScreenshot(*panel("D1"), "scene-editor-overlay-daily.png");
    saveScreenshot(*panel("D2"), "scene-editor-overlay-fullscreen.png");

    daily->resetButton()->click();
    settle();
    EXPECT_EQ(daily->excludedStrip()->chips().size(), 1u);
    EXPECT_FALSE(daily->saveButton()->isVisible());
    EXPECT_EQ(daily->hintLabel()->text(), "Reset");
}

TEST_F(SceneEditorPanelTest, theBarsShadowFallsBelowItYetAClickBesideTheBarStillReachesTheCanvas) {
    open();
    SceneGeometryCanvasView* view = canvas("D1");
    ASSERT_NE(view, nullptr);
    auto* bar = dynamic_cast<SceneCanvasOverlayBar*>(view->overlayBar());
    ASSERT_NE(bar, nullptr);
    QWidget* shadow = bar->shadow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(shadow->isVisible());
    EXPECT_EQ(shadow->geometry(), bar->geometry().marginsAdded(SceneCanvasOverlayBar::kShadowReach));
    EXPECT_EQ(view->children().indexOf(shadow) + 1, view->children().indexOf(bar))
        << "directly under the bar";

    // About a quarter black just below the bar, nothing at the shadow's corners.
    QImage drawn(shadow->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    shadow->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    const QPoint belowInShadow =
        shadow->mapFromParent(QPoint(bar->geometry().center().x(), bar->geometry().bottom() + 4));
    EXPECT_NEAR(qAlpha(drawn.pixel(belowInShadow)), 61, 4);
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(drawn.pixel(drawn.width() - 1, drawn.height() - 1)), 0);
    const QPoint below = shadow->mapToParent(belowInShadow);
    QWidget* under = view->childAt(below);
    EXPECT_TRUE(under && (under == view->canvasArea() || view->canvasArea()->isAncestorOf(under)));

    // No style sheet and no graphics effect anywhere in a panel: either sends every widget of the panel
    // down Qt's slower paths while the editor opens.
    for (QWidget* widget : panel("D1")->findChildren<QWidget*>()) {
        EXPECT_TRUE(widget->styleSheet().isEmpty()) << widget->metaObject()->className();
        EXPECT_TRUE(widget->graphicsEffect() == nullptr) << widget->metaObject()->className();
    }
}

TEST_F(SceneEditorPanelTest, vAndAClickSplitTheZoneUnderThePointerAtTheSnappedShare) {
    open("D2");
    SceneGeometryCanvasView* view = canvas("D2");
    ASSERT_NE(view, nullptr);
    activate("D2");
    SceneCanvasArea* area = view->canvasArea();
    ASSERT_EQ(area->size(), QSize(1000, 600));
    QTest::mouseMove(area, QPoint(200, 300));
    pressKey(area, Qt::Key_V, "v");
    settle();
    QTest::mouseMove(area, QPoint(340, 300)); // 34 % of the width
    settle();
    ASSERT_TRUE(view->splitPreview()->isVisible());
    EXPECT_EQ(view->splitPreview()->labelText(), "33%");
    EXPECT_EQ(view->hintLabel()->text(), QString::fromUtf8("Click a zone to confirm split · ESC to cancel"));
    for (auto* handle : view->handles())
        EXPECT_TRUE(handle->isReadOnly());
    saveScreenshot(*panel("D2"), "scene-editor-split-preview.png");

    QTest::mouseClick(view->cells().at(1), Qt::LeftButton, {}, QPoint(340, 300));
    settle();
    ASSERT_EQ(view->cells().size(), 2u);
    EXPECT_FALSE(view->splitPreview()->isVisible());
    EXPECT_NEAR(view->cells().at(1)->width(), 333, 1);
    ASSERT_EQ(view->handles().size(), 1u);
    EXPECT_FALSE(view->handles()[0]->isReadOnly());

    // "H", held down, repeats; Escape leaves the placing; Backspace merges the hovered zone back.
    pressKey(area, Qt::Key_H, "H", {}, true);
    settle();
    EXPECT_TRUE(view->splitPreview()->isVisible());
    pressKey(area, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(view->splitPreview()->isVisible());
    EXPECT_EQ(closes, 0) << "Escape first ends the split";
    QTest::mouseMove(area, QPoint(800, 300));
    pressKey(area, Qt::Key_Backspace);
    settle();
    EXPECT_EQ(view->cells().size(), 1u);
}

// In a Russian layout the V key types "м" and the H key "р": they still split, read by the keys pressed.
TEST_F(SceneEditorPanelTest, theVAndHKeysSplitInALayoutWithoutLatinLetters) {
    open("D2");
    SceneGeometryCanvasView* view = canvas("D2");
    ASSERT_NE(view, nullptr);
    activate("D2");
    SceneCanvasArea* area = view->canvasArea();
    desktop->hotKeys().nativeKeys[55] = 9; // V
    desktop->hotKeys().nativeKeys[43] = 4; // H
    QTest::mouseMove(area, QPoint(200, 300));
    QKeyEvent em(QEvent::KeyPress, 0, Qt::NoModifier, 55, 0, 0, QString::fromUtf8("\u043C"));
    QCoreApplication::sendEvent(area, &em);
    settle();
    EXPECT_TRUE(em.isAccepted());
    ASSERT_TRUE(view->splitPreview()->isVisible());
    pressKey(area, Qt::Key_Escape);
    settle();
    ASSERT_FALSE(view->splitPreview()->isVisible());
    QKeyEvent er(QEvent::KeyPress, 0, Qt::NoModifier, 43, 0, 0, QString::fromUtf8("\u0440"));
    QCoreApplication::sendEvent(area, &er);
    settle();
    EXPECT_TRUE(view->splitPreview()->isVisible());
    // A key that names no key of the canvas is left to others.
    pressKey(area, Qt::Key_Escape);
    settle();
    QKeyEvent other(QEvent::KeyPress, 0, Qt::NoModifier, 47, 0, 0, QString::fromUtf8("\u0436"));
    QCoreApplication::sendEvent(area, &other);
    EXPECT_FALSE(other.isAccepted());
    EXPECT_FALSE(view->splitPreview()->isVisible());
}

TEST_F(SceneEditorPanelTest, aDividerDraggedByItsHandleMovesAndTheOthersKeepTheirPlace) {
    open();
    SceneGeometryCanvasView* view = canvas("D1");
    ASSERT_NE(view, nullptr);
    activate("D1");
    QPointer<SceneCanvasSplitHandle> root;
    for (auto* handle : view->handles())
        if (handle->line().path.empty()) root = handle;
    ASSERT_NE(root, nullptr);
    const double centreEdge = view->model().splitLines().back().absoluteRatio; // the 60:40 divider
    const QPoint grab = root->mapToParent(root->rect().center());
    // Each move in the handle's own coordinates as they are then: the handle follows its divider.
    const auto moveTo = [&](QPoint inCanvas) { QTest::mouseMove(root, root->mapFromParent(inCanvas)); };
    QTest::mousePress(root, Qt::LeftButton, {}, root->mapFromParent(grab));
    moveTo(grab + QPoint(60, 0));
    // The canvas lays its dividers out again between two moves of a hand: the handle in hand stays, under
    // the pointer, with the divider's new share beside it.
    settle();
    ASSERT_TRUE(root) << "the handle holding the pointer was destroyed";
    EXPECT_NEAR(root->mapToParent(root->rect().center()).x(), grab.x() + 60, 1);
    EXPECT_EQ(root->ratioLabel()->text(), "30%");
    moveTo(grab + QPoint(107, 0)); // x = 427, a third of 1280 after snapping
    settle();
    ASSERT_TRUE(root);
    QTest::mouseRelease(root, Qt::LeftButton, {}, root->mapFromParent(grab + QPoint(107, 0)));
    settle();
    EXPECT_EQ(view->handles().front(), root.data());
    const auto& lines = view->model().splitLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NEAR(lines.front().absoluteRatio, 0.333, 1e-9);
    EXPECT_NEAR(lines.back().absoluteRatio, centreEdge, 1e-9);
    EXPECT_EQ(view->cells().at(1)->width(), static_cast<int>(std::lround(0.333 * 1280)));
    EXPECT_TRUE(view->saveButton()->isVisible());
}

// Counts the paints of a window's widgets while it lives.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint && object->isWidgetType() &&
            (object == window_ || window_->isAncestorOf(static_cast<QWidget*>(object))))
            ++paints;
        return false;
    }

  private:
    QWidget* window_;
};

TEST_F(SceneEditorPanelTest, aRefreshThatChangesNothingDrawsNothingAndTheDividersStayAboveNewCells) {
    open("D2");
    SceneGeometryCanvasView* view = canvas("D2");
    ASSERT_NE(view, nullptr);
    activate("D2");
    settle();
    {
        // As after a change of the keyboard focus: the model tells, the canvas shows what it holds, and
        // over a whole display each widget drawn again costs a frame of its own.
        PaintCounter counter(panel("D2"));
        view->refresh();
        settle();
        EXPECT_EQ(counter.paints, 0);
    }

    // A split makes new cells; the pointer over a divider still takes the divider, not the cell.
    SceneCanvasArea* area = view->canvasArea();
    QTest::mouseMove(area, QPoint(200, 300));
    pressKey(area, Qt::Key_V, "v");
    settle();
    QTest::mouseMove(area, QPoint(500, 300));
    settle();
    QTest::mouseClick(view->cells().at(1), Qt::LeftButton, {}, QPoint(500, 300));
    settle();
    ASSERT_EQ(view->cells().size(), 2u);
    pressKey(area, Qt::Key_H, "h");
    settle();
    QTest::mouseMove(area, QPoint(200, 450));
    settle();
    QTest::mouseClick(view->cells().at(1), Qt::LeftButton, {}, QPoint(200, 450));
    settle();
    ASSERT_EQ(view->cells().size(), 3u);
    ASSERT_EQ(view->handles().size(), 2u);
    for (auto* handle : view->handles())
        EXPECT_EQ(area->childAt(handle->geometry().center()), handle) << handle->line().id;
}

TEST_F(SceneEditorPanelTest, chipsMoveBetweenZonesToTheStripAndToTheOtherDisplay) {
    open();
    SceneGeometryCanvasView* d1 = canvas("D1");
    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_TRUE(d1 && d2);

    // Onto the chip of zone 3: it goes before it.
    const std::string mail = d1->cells().at(1)->chips()[0]->dragPayload();
    ASSERT_TRUE(drop(d1->cells().at(3), mail, d1->cells().at(3)->chips()[0]->geometry().center()));
    EXPECT_EQ(bundles(d1->cells().at(3)->apps()),
              (std::vector<std::string>{"org.example.mail", "org.example.notes"}));
    EXPECT_TRUE(d1->cells().at(1)->apps().empty());

    const std::string notes = d1->cells().at(3)->chips()[1]->dragPayload();
    ASSERT_TRUE(drop(d1->excludedStrip(), notes, QPoint(10, 10)));
    EXPECT_EQ(bundles(d1->model().excludedApps()),
              (std::vector<std::string>{"org.example.music", "org.example.notes"}));
    EXPECT_TRUE(d1->saveButton()->isVisible());

    // To the other display: written to the scene file at once, and both canvases read it back.
    const auto before = storedHints("D1");
    const std::string music = d1->excludedStrip()->chips()[0]->dragPayload();
    ASSERT_TRUE(drop(d2->cells().at(1), music, QPoint(30, 200)));
    EXPECT_EQ(storedHints("D2"), (std::vector<std::pair<std::string, std::int64_t>>{
                                     {"org.example.chat", 1}, {"org.example.music", 1}}));
    EXPECT_EQ(storedHints("D1").size(), before.size() - 1);
    EXPECT_EQ(bundles(d2->cells().at(1)->apps()),
              (std::vector<std::string>{"org.example.chat", "org.example.music"}));
    EXPECT_GE(managerReloads, 1) << "the scene manager hears of the write";

    // An empty drop is refused and changes nothing.
    QMimeData empty;
    QDropEvent refused(QPointF(5, 5), Qt::MoveAction, &empty, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(d2->cells().at(1), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

// Both displays with a split not yet saved; two xterms on the first, one in each half. The second, first
// moved into the zone its half was split into, is dragged to the other display: exactly that xterm moves,
// in the file and on the panels, and both splits stay, still to be asked about and saved.
TEST_F(SceneEditorPanelTest, aChipDraggedToTheOtherDisplayMovesAloneAndBothDisplaysKeepTheirUnsavedEdits) {
    using Hints = std::vector<std::pair<std::string, std::int64_t>>;
    sceneID = storeScene("Terminals", {{"D1", "builtin.split-50-50"}, {"D2", "builtin.split-50-50"}},
                         {{"D1", {{"xterm", 1, std::nullopt}, {"xterm", 2, std::nullopt}}}});
    open();
    SceneGeometryCanvasView* d1 = canvas("D1");
    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_TRUE(d1 && d2);
    d1->model().handleKeyDown("h");
    d1->model().handleZoneTap(2);
    d2->model().handleKeyDown("v");
    d2->model().handleZoneTap(2);
    settle();
    ASSERT_EQ(d1->cells().size(), 3u);
    ASSERT_EQ(d2->cells().size(), 3u);
    ASSERT_TRUE(drop(d1->cells().at(3), d1->cells().at(2)->chips()[0]->dragPayload(), QPoint(30, 30)));

    ASSERT_TRUE(drop(d2->cells().at(1), d1->cells().at(3)->chips()[0]->dragPayload(), QPoint(30, 200)));
    EXPECT_EQ(storedHints("D1"), (Hints{{"xterm", 1}}));
    EXPECT_EQ(storedHints("D2"), (Hints{{"xterm", 1}}));
    // The editor model has read the file again and handed it to both canvases.
    EXPECT_GE(managerReloads, 1);
    for (auto* view : {d1, d2}) {
        ASSERT_EQ(view->cells().size(), 3u);
        EXPECT_TRUE(view->model().isGeometryDirty());
        EXPECT_TRUE(view->saveButton()->isVisible());
    }
    EXPECT_EQ(bundles(d1->cells().at(1)->apps()), (std::vector<std::string>{"xterm"}));
    EXPECT_TRUE(d1->cells().at(2)->apps().empty() && d1->cells().at(3)->apps().empty());
    EXPECT_EQ(bundles(d2->cells().at(1)->apps()), (std::vector<std::string>{"xterm"}));
    saveScreenshot(*panel("D2"), "scene-editor-chip-from-other-display.png");

    // "Done" asks; saved, each display keeps its split and one xterm where its panel showed it.
    alertAnswer = SceneEditorSaveAlertResponse::save;
    d1->doneButton()->click();
    settle();
    desktop->loop().advance(kNanosPerSecond / 10);
    settle();
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(closes, 1);
    const WMScene saved = storedScene(sceneID);
    for (const std::string display : {"D1", "D2"}) {
        SCOPED_TRACE(display);
        const auto layout = library->regionSet(saved.layoutRefsByDisplay.at(display));
        ASSERT_TRUE(layout && layout->layoutTree);
        EXPECT_EQ(layout->layoutTree->regionIDs().size(), 3u);
        EXPECT_EQ(storedHints(display), (Hints{{"xterm", 1}}));
    }
}

// The scene gives the second display no layout ("No Config": its canvas shows one "Zone 1"). A chip of the
// first carried over that zone is not offered it, and let go there it is refused with its reason, the
// scene file as it was: no restore would place the application there.
TEST_F(SceneEditorPanelTest, aChipLetGoOnADisplayTheSceneGivesNoLayoutIsRefusedWithItsReason) {
    sceneID = storeScene("Terminals", {{"D1", "builtin.split-50-50"}},
                         {{"D1", {{"xterm", 1, std::nullopt}, {"xterm", 2, std::nullopt}}}});
    open();
    SceneGeometryCanvasView* d1 = canvas("D1");
    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_TRUE(d1 && d2);
    ASSERT_EQ(d2->cells().size(), 1u);
    const std::filesystem::path file = scenes() / SceneStore::sceneFileName(sceneID);
    const std::string before = read(file);

    QMimeData mime;
    mime.setText(QString::fromStdString(d1->cells().at(2)->chips()[0]->dragPayload()));
    QDragEnterEvent enter(QPoint(30, 200), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(d2->cells().at(1), &enter);
    settle();
    EXPECT_TRUE(enter.isAccepted()) << "taken, so that letting go says why";
    EXPECT_FALSE(d2->cells().at(1)->isDropTarget());
    EXPECT_TRUE(d2->cells().at(1)->apps().empty()) << "no \"Drop here\"";

    QDropEvent drop(QPointF(30, 200), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(d2->cells().at(1), &drop);
    settle();
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_TRUE(d2->hintLabel()->isVisible());
    EXPECT_EQ(d2->hintLabel()->text().toStdString(),
              "This display has no layout in this scene: save one before moving apps here");
    EXPECT_EQ(read(file), before);
    EXPECT_EQ(bundles(d1->cells().at(2)->apps()), std::vector<std::string>{"xterm"});
    EXPECT_TRUE(d2->cells().at(1)->apps().empty());
    EXPECT_FALSE(d2->cells().at(1)->isDropTarget());
    saveScreenshot(*panel("D2"), "scene-editor-drop-on-display-without-layout.png");
}

// A zone of the other display that a chip is carried over shows "Drop here" in the cell the drag entered,
// which is the one to hear it leave; and a chip let go on that display's Excluded strip leaves no zone
// marked, however the drag reached the strip.
TEST_F(SceneEditorPanelTest, aZoneIsMarkedOnlyWhileAChipIsCarriedOverIt) {
    open();
    SceneGeometryCanvasView* d1 = canvas("D1");
    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_TRUE(d1 && d2);
    const std::string mail = d1->cells().at(1)->chips()[0]->dragPayload();
    QMimeData mime;
    mime.setText(QString::fromStdString(mail));
    const auto enter = [&](QWidget* cell) {
        QDragEnterEvent entered(QPoint(30, 200), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(cell, &entered);
        settle();
    };

    // The toolkit tells the cell it delivered the drag's entry to that the drag left, while that cell lives.
    QPointer<SceneCanvasZoneCell> entered = d2->cells().at(1);
    enter(entered);
    EXPECT_TRUE(d2->cells().at(1)->isDropTarget());
    EXPECT_EQ(bundles(d2->cells().at(1)->apps()),
              (std::vector<std::string>{"org.example.chat", "placeholder"}));
    saveScreenshot(*panel("D2"), "scene-editor-drop-here.png");
    if (entered) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(entered, &leave);
    }
    settle();
    EXPECT_FALSE(d2->cells().at(1)->isDropTarget());
    EXPECT_EQ(bundles(d2->cells().at(1)->apps()), std::vector<std::string>{"org.example.chat"});

    enter(d2->cells().at(1));
    ASSERT_TRUE(drop(d2->excludedStrip(), mail, QPoint(10, 10)));
    EXPECT_FALSE(d2->cells().at(1)->isDropTarget());
    EXPECT_EQ(bundles(d2->cells().at(1)->apps()), std::vector<std::string>{"org.example.chat"});
    EXPECT_TRUE(d1->cells().at(1)->apps().empty()) << "the chip went";
}

TEST_F(SceneEditorPanelTest, ctrlSSavesOnlyWhileSomethingIsUnsaved) {
    open();
    SceneGeometryCanvasView* view = canvas("D1");
    ASSERT_NE(view, nullptr);
    activate("D1");
    QCursor::setPos(panel("D1")->geometry().center());
    const std::string untouched = read(scenes() / SceneStore::sceneFileName(sceneID));
    QTest::keyClick(panel("D1")->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    settle();
    EXPECT_EQ(read(scenes() / SceneStore::sceneFileName(sceneID)), untouched);
    EXPECT_EQ(managerReloads, 0);

    ASSERT_TRUE(drop(view->cells().at(2), view->excludedStrip()->chips()[0]->dragPayload(), QPoint(40, 80)));
    QTest::keyClick(panel("D1")->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    settle();
    EXPECT_EQ(view->hintLabel()->text(), "Saved");
    // Zones in reading order: the top row left to right, then the lower left zone.
    EXPECT_EQ(storedHints("D1"),
              (std::vector<std::pair<std::string, std::int64_t>>{
                  {"org.example.mail", 1}, {"org.example.notes", 3}, {"org.example.music", 2}}));
    EXPECT_EQ(managerReloads, 1);
    EXPECT_FALSE(view->saveButton()->isVisible());
    saveScreenshot(*panel("D1"), "scene-editor-saved.png");

    // Escape typed at once after Ctrl+S, while the editor reads the scenes again, closes it unasked.
    ASSERT_TRUE(drop(view->excludedStrip(), view->cells().at(2)->chips()[0]->dragPayload(), QPoint(10, 10)));
    QTest::keyClick(panel("D1")->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(panel("D1")->windowHandle(), Qt::Key_Escape);
    settle();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(storedHints("D1"), (std::vector<std::pair<std::string, std::int64_t>>{
                                     {"org.example.mail", 1}, {"org.example.notes", 3}}));
}

TEST_F(SceneEditorPanelTest, ctrlSOnOneDisplayLeavesTheOtherDisplaysChipsAsTheyWere) {
    // Neither display places an application yet, so the saved display's become the scene's only ones.
    sceneID = storeScene("Fresh", {{"D1", "builtin.daily"}, {"D2", "builtin.daily"}});
    open();
    SceneGeometryCanvasView* d1 = canvas("D1");
    ASSERT_NE(d1, nullptr);
    d1->cells().at(2)->addButton()->click();
    settle();
    ASSERT_NE(d1->appPicker(), nullptr);
    d1->appPicker()->model().setSearchText("org.example.chat");
    d1->appPicker()->model().submit();
    settle();
    activate("D1");
    QCursor::setPos(panel("D1")->geometry().center());
    QTest::keyClick(panel("D1")->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    settle();
    ASSERT_EQ(storedHints("D1"),
              (std::vector<std::pair<std::string, std::int64_t>>{{"org.example.chat", 2}}));

    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_NE(d2, nullptr);
    for (const auto& [zone, cell] : d2->cells())
        EXPECT_TRUE(cell->apps().empty()) << "zone " << zone;
    EXPECT_TRUE(d2->model().excludedApps().empty());
    EXPECT_FALSE(d2->model().isWindowHintsDirty());
}

// Whichever panel's window the toolkit gives a key to, the key acts on the panel under the pointer as it
// comes: "v" previews a split of the zone under the pointer there, Escape takes it back there without
// asking or closing, and Ctrl+S saves that display alone, leaving the other's unsaved edit unsaved.
TEST_F(SceneEditorPanelTest, aKeyGivenToOnePanelsWindowActsOnThePanelUnderThePointer) {
    using Hints = std::vector<std::pair<std::string, std::int64_t>>;
    open("D1");
    activate("D1");
    SceneGeometryCanvasView* d1 = canvas("D1");
    SceneGeometryCanvasView* d2 = canvas("D2");
    ASSERT_TRUE(d1 && d2);
    const Hints storedOnD1 = storedHints("D1");
    ASSERT_TRUE(drop(d1->excludedStrip(), d1->cells().at(3)->chips()[0]->dragPayload(), QPoint(10, 10)));
    ASSERT_TRUE(d1->saveButton()->isVisible());

    QCursor::setPos(panel("D2")->mapToGlobal(QPoint(300, 200)));
    settle();
    QWindow* given = panel("D1")->windowHandle();
    QTest::keyClick(given, 'v');
    settle();
    EXPECT_TRUE(d2->splitPreview()->isVisible());
    EXPECT_FALSE(d1->splitPreview()->isVisible());
    QTest::keyClick(given, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(d2->splitPreview()->isVisible());
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(closes, 0);

    // "v" made the second display's layout its own, unsaved.
    ASSERT_TRUE(d2->saveButton()->isVisible());
    QTest::keyClick(given, Qt::Key_S, Qt::ControlModifier);
    settle();
    EXPECT_EQ(d2->hintLabel()->text(), "Saved");
    EXPECT_EQ(storedScene(sceneID).layoutRefsByDisplay.at("D2").rfind("layout.", 0), 0u);
    EXPECT_EQ(storedHints("D1"), storedOnD1);
    EXPECT_TRUE(d1->saveButton()->isVisible());
}

TEST_F(SceneEditorPanelTest, doneAsksOverUnsavedChangesAndActsOnTheAnswer) {
    struct Case {
        const char* what;
        bool change;
        SceneEditorSaveAlertResponse answer;
        int alerts;
        bool closed;
        bool saved;
    };
    for (const Case& c :
         {Case{"nothing unsaved", false, SceneEditorSaveAlertResponse::cancel, 0, true, false},
          Case{"cancel", true, SceneEditorSaveAlertResponse::cancel, 1, false, false},
          Case{"discard", true, SceneEditorSaveAlertResponse::discard, 1, true, false},
          Case{"save", true, SceneEditorSaveAlertResponse::save, 1, true, true}}) {
        SCOPED_TRACE(c.what);
        alerts = closes = 0;
        alertAnswer = c.answer;
        open();
        SceneGeometryCanvasView* view = canvas("D1");
        ASSERT_NE(view, nullptr);
        const auto stored = storedHints("D1");
        if (c.change) {
            ASSERT_TRUE(
                drop(view->cells().at(2), view->excludedStrip()->chips()[0]->dragPayload(), QPoint(40, 80)));
        }
        const auto d2 = editor->canvasBridges.at("D2");
        view->doneButton()->click();
        settle();
        desktop->loop().advance(kNanosPerSecond / 10);
        settle();
        EXPECT_EQ(alerts, c.alerts);
        EXPECT_EQ(closes, c.closed ? 1 : 0);
        EXPECT_EQ(editor->isAnyPanelVisible(), !c.closed);
        EXPECT_EQ(d2->commandToken(), 0) << "the display without changes gets no command";
        EXPECT_EQ(storedHints("D1") != stored, c.saved);
        if (!c.closed) {
            EXPECT_TRUE(panel("D1")->isVisible() && panel("D2")->isVisible());
            editor->close();
        }
        EXPECT_EQ(editor->viewModel, nullptr);
        EXPECT_TRUE(editor->overlayPanels.empty());
        editor->close();
        EXPECT_EQ(closes, 1) << "onDidClose once";
        settle();
        // What was saved is the starting point of the next case.
        if (c.saved)
            sceneID = storeScene("Daily work", {{"D1", "builtin.daily"}, {"D2", "builtin.fullscreen"}},
                                 {{"D1",
                                   {{"org.example.mail", 1, std::nullopt},
                                    {"org.example.notes", 3, std::nullopt},
                                    {"org.example.music", 9, std::nullopt}}}});
    }
}

TEST_F(SceneEditorPanelTest, aCanvasThatNeverSavesKeepsTheEditorOpenAfterTheLastCheck) {
    alertAnswer = SceneEditorSaveAlertResponse::save;
    open();
    auto stuck = std::make_shared<SceneEditorCanvasBridge>();
    stuck->setHasUnsavedChanges(true);
    editor->canvasBridges["D3"] = stuck; // a display whose canvas never answers
    editor->requestClose();
    EXPECT_EQ(stuck->commandToken(), 1);
    EXPECT_EQ(stuck->pendingCommand(), SceneEditorCanvasBridge::Command::save);
    for (int check = 1; check <= SceneEditorOverlayController::kSaveWaitAttempts; ++check) {
        desktop->loop().advance(kNanosPerSecond / 20);
        EXPECT_TRUE(editor->isAnyPanelVisible()) << check;
    }
    desktop->loop().advance(kNanosPerSecond);
    EXPECT_TRUE(editor->isAnyPanelVisible());
    EXPECT_EQ(closes, 0);
    stuck->setHasUnsavedChanges(false);
    editor->requestClose();
    EXPECT_EQ(closes, 1);
}

// Both displays replaced by another while the second's zone is split and not saved: the editor, left
// without a panel, does not close over the split but asks, once the change is handled, with no panel to
// stand over. Save stores the split for the display it was made on; in a second round, Discard leaves
// every file as it was.
TEST_F(SceneEditorPanelTest, anUnsavedSplitOfDisplaysAllGoneIsAskedAboutThenSavedForItsDisplayOrDiscarded) {
    const auto openAndSplitSide = [&] {
        open("D2");
        SceneGeometryCanvasView* d2 = canvas("D2");
        ASSERT_NE(d2, nullptr);
        d2->model().handleKeyDown("v");
        d2->model().handleZoneTap(1);
        settle();
        ASSERT_TRUE(editor->canvasBridges.at("D2")->hasUnsavedChanges());
    };
    int dock = 0;
    const auto replaceDisplays = [&] {
        dock = desktop->screens().addDisplay({.frame = Rect{0, 0, 1600, 900}, .name = "Dock", .uuid = "D3"});
        desktop->screens().removeDisplay(sideDisplay);
        desktop->screens().removeDisplay(mainDisplay);
        editor->closePanelsOfDisplaysGone({"D3"});
    };

    openAndSplitSide();
    alertAnswer = SceneEditorSaveAlertResponse::save;
    replaceDisplays();
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(alerts, 0) << "the change of displays is handled first";
    settle();
    EXPECT_EQ(alertedOver, std::vector<QWidget*>{nullptr});
    desktop->loop().advance(kNanosPerSecond / 10);
    settle();
    EXPECT_EQ(closes, 1);
    const WMScene saved = storedScene(sceneID);
    EXPECT_EQ(saved.layoutRefsByDisplay.at("D1"), "builtin.daily");
    const auto layout = library->regionSet(saved.layoutRefsByDisplay.at("D2"));
    ASSERT_TRUE(layout && layout->layoutTree);
    EXPECT_EQ(layout->layoutTree->regionIDs().size(), 2u);

    // The displays back, split again, and gone again.
    mainDisplay = addDisplay("D1", Rect{0, 0, 1280, 800});
    sideDisplay = addDisplay("D2", Rect{1280, 0, 1000, 600});
    desktop->screens().removeDisplay(dock);
    openAndSplitSide();
    const auto before = snapshot(home);
    alertedOver.clear();
    alertAnswer = SceneEditorSaveAlertResponse::discard;
    replaceDisplays();
    settle();
    EXPECT_EQ(alertedOver, std::vector<QWidget*>{nullptr});
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(snapshot(home), before);
}

TEST_F(SceneEditorPanelTest, theFrontPanelFollowsTheRequestThenTheListedDisplaysThenTheSmallestUUID) {
    open();
    // Given back at the end, for the editor to close as it closes its own: none stays on screen.
    const auto panels = editor->overlayPanels;
    EXPECT_EQ(editor->resolveFrontDisplayUUID("D2"), "D2");
    EXPECT_EQ(editor->resolveFrontDisplayUUID("GONE"), "D1") << "the first listed display with a panel";
    editor->overlayPanels.erase("D1");
    EXPECT_EQ(editor->resolveFrontDisplayUUID(""), "D2");
    auto model = editor->viewModel;
    editor->viewModel.reset();
    editor->overlayPanels["A0"] = nullptr; // closed by other means: no panel
    EXPECT_EQ(editor->resolveFrontDisplayUUID("GONE"), "D2") << "the smallest UUID with a panel";
    editor->overlayPanels.clear();
    EXPECT_EQ(editor->resolveFrontDisplayUUID("GONE"), "GONE");
    editor->viewModel = model;
    editor->overlayPanels = panels;
}

TEST_F(SceneEditorPanelTest, withoutASceneThePanelSaysSoAndItsDimmedAreaTakesEveryClick) {
    sceneID = "00000000-0000-0000-0000-0000000000AA"; // no such scene
    open();
    editor->viewModel->selectScene(sceneID);
    settle();
    SceneEditorOverlayRootView* root = panel("D1")->rootView();
    EXPECT_TRUE(!root->canvas() || !root->canvas()->isVisible());
    EXPECT_EQ(root->message(), SceneEditorOverlayRootView::kNoSceneText);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(20, 20), QPointF(20, 20), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    click.ignore();
    QCoreApplication::sendEvent(panel("D1")->blockingView(), &click);
    EXPECT_TRUE(click.isAccepted());
    saveScreenshot(*panel("D1"), "scene-editor-no-scene.png");
}

TEST_F(SceneEditorPanelTest, theAddButtonOpensTheApplicationPickerAndItsChoiceJoinsTheZone) {
    open();
    SceneGeometryCanvasView* view = canvas("D1");
    ASSERT_NE(view, nullptr);
    view->cells().at(2)->addButton()->click();
    settle();
    ASSERT_NE(view->appPicker(), nullptr);
    EXPECT_TRUE(view->appPicker()->isVisible());
    saveScreenshot(*view->appPicker(), "scene-editor-zone-app-picker.png");
    saveScreenshot(*panel("D1"), "scene-editor-zone-picker-open.png");
    view->appPicker()->model().setSearchText("org.example.chat"); // typed as an identifier of its own
    view->appPicker()->model().submit();
    settle();
    EXPECT_EQ(view->appPicker(), nullptr);
    EXPECT_EQ(bundles(view->cells().at(2)->apps()), (std::vector<std::string>{"org.example.chat"}));
}

TEST_F(SceneEditorPanelTest, theSaveAlertAsksWithItsThreeButtons) {
    open();
    // The platform's own alert this time.
    auto plain = std::make_shared<SceneEditorOverlayController>(platform);
    plain->viewModel = editor->viewModel;
    plain->overlayPanels = editor->overlayPanels;
    std::vector<QString> buttons;
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->text();
        text = box->informativeText();
        for (auto* button : box->buttons())
            buttons.push_back(button->text());
        saveScreenshot(*box, "scene-editor-save-alert.png");
        for (auto* button : box->buttons())
            if (button->text() == "Cancel") button->click();
    });
    EXPECT_EQ(plain->showSaveAlert(), SceneEditorSaveAlertResponse::cancel);
    EXPECT_EQ(title, "Save Scene Changes?");
    EXPECT_EQ(text, "You have unsaved Scene layout or app assignment changes.");
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<QString>{"Cancel", "Discard", "Save"}));
    plain->overlayPanels.clear();
}

// With no panel left, the platform's alert stands in the middle of the main screen, wherever the pointer
// is, and offers no Cancel: there is no editor to go back to.
TEST_F(SceneEditorPanelTest, theSaveAlertWithNoPanelLeftStandsOnTheMainScreenWithSaveAndDiscard) {
    desktop->screens().setMainDisplay(sideDisplay);
    auto plain = std::make_shared<SceneEditorOverlayController>(platform);
    std::vector<QString> buttons;
    QRect frame;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        frame = box->frameGeometry();
        for (auto* button : box->buttons())
            buttons.push_back(button->text());
        saveScreenshot(*box, "scene-editor-save-alert-without-panels.png");
        for (auto* button : box->buttons())
            if (button->text() == "Discard") button->click();
    });
    EXPECT_EQ(plain->showSaveAlert(), SceneEditorSaveAlertResponse::discard);
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<QString>{"Discard", "Save"}));
    const QRect main = qtGlobalRect(desktop->screens(), desktop->screens().mainScreen()->visibleFrame);
    EXPECT_TRUE(main.contains(frame))
        << frame.x() << "," << frame.y() << " in " << main.x() << "," << main.y();
    EXPECT_NEAR(frame.center().x(), main.center().x(), 2);
    EXPECT_NEAR(frame.center().y(), main.center().y(), 2);
}

TEST_F(SceneEditorPanelTest, theFirstFrameShowsTheZonesNotTheEmptyState) {
    open("D1", false);
    // The scenes loaded, and nothing of the toolkit's queue run since: what the panel shows the moment
    // the canvas appears.
    loop.settle();
    SceneGeometryCanvasView* view = canvas("D1");
    ASSERT_NE(view, nullptr);
    const std::size_t first = view->cells().size();
    EXPECT_GT(first, 1u);
    for (QWidget* child : view->findChildren<QWidget*>())
        if (dynamic_cast<SceneCanvasEmptyStateView*>(child)) {
            EXPECT_FALSE(child->isVisible());
        }
    settle();
    EXPECT_EQ(view->cells().size(), first);
}

TEST_F(SceneEditorPanelTest, panelsMadeAheadStayHiddenAndTheFirstEditorShowsTheStoredSceneOnThem) {
    pool = std::make_shared<SceneEditorPanelPool>(desktop->screens());
    IconCache::setShared(nullptr);
    // The picture of an application the first editor is likely to show is rendered along.
    ASSERT_TRUE(pool->makeAhead(platform, {"org.example.notes"}));
    settle();
    desktop->loop().runUntilIdle();
    EXPECT_TRUE(IconCache::shared()->cached("org.example.notes"));
    EXPECT_FALSE(IconCache::shared()->cached("org.example.mail"));
    EXPECT_EQ(pool->keptCount(), 2u);
    std::vector<QPointer<QWidget>> made;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* panel = dynamic_cast<SceneEditorOverlayPanel*>(window)) {
            EXPECT_FALSE(panel->isVisible());
            made.emplace_back(panel);
        }
    ASSERT_EQ(made.size(), 2u);
    EXPECT_FALSE(pool->makeAhead(platform)) << "made once";

    open();
    for (const std::string display : {"D1", "D2"}) {
        EXPECT_TRUE(std::find(made.begin(), made.end(), panel(display)) != made.end()) << display;
        EXPECT_TRUE(panel(display)->isVisible());
        EXPECT_EQ(panel(display)->rootView()->message(), QString()) << display;
    }
    const auto& cells = canvas("D1")->cells();
    EXPECT_EQ(cells.size(), 4u); // the scene's layout, not the one empty zone the panel was made with
    ASSERT_TRUE(cells.count(1));
    EXPECT_EQ(bundles(cells.at(1)->apps()), (std::vector<std::string>{"org.example.mail"}));
    EXPECT_EQ(bundles(canvas("D2")->cells().at(1)->apps()), (std::vector<std::string>{"org.example.chat"}));
    IconCache::setShared(nullptr);
}

TEST_F(SceneEditorPanelTest, namesLookedUpAfterThePauseComeIntoTheChipsShownWithoutMakingThemAgain) {
    BundleInfoCache::setShared(nullptr); // nothing known yet, as in a program just started
    open();
    SceneGeometryCanvasView* view = canvas("D1");
    QPointer<SceneCanvasZoneCell> cell = view->cells().at(1);
    ASSERT_EQ(cell->chips().size(), 1u);
    QPointer<SceneCanvasAppIcon> chip = cell->chips()[0];
    EXPECT_EQ(chip->entry().name, "mail");
    ASSERT_EQ(view->excludedStrip()->chips().size(), 1u);
    QPointer<SceneCanvasExcludedAppIcon> excluded = view->excludedStrip()->chips()[0];
    EXPECT_EQ(excluded->entry().name, "music");

    desktop->loop().advance(milliseconds(200));
    settle();
    EXPECT_EQ(view->cells().at(1), cell.data());
    ASSERT_EQ(cell->chips().size(), 1u);
    EXPECT_EQ(cell->chips()[0], chip.data());
    // What the desktop says of them, not what their identifiers say.
    const std::string mail = resolveBundleInfo(desktop->workspace(), "org.example.mail").name;
    ASSERT_NE(mail, "mail");
    EXPECT_EQ(chip->entry().name, mail);
    EXPECT_EQ(chip->toolTip().toStdString(), mail);
    ASSERT_EQ(view->excludedStrip()->chips().size(), 1u);
    EXPECT_EQ(view->excludedStrip()->chips()[0], excluded.data());
    EXPECT_EQ(excluded->entry().name, resolveBundleInfo(desktop->workspace(), "org.example.music").name);
    BundleInfoCache::setShared(nullptr);
}

TEST_F(SceneEditorPanelTest, aReopenedEditorKeepsTheCellsThatShowTheSameAndTheirChipsActOnTheNewEditor) {
    pool = std::make_shared<SceneEditorPanelPool>(desktop->screens());
    open();
    QPointer<SceneCanvasZoneCell> mailCell = canvas("D1")->cells().at(1);
    QPointer<SceneCanvasZoneCell> notesCell = canvas("D1")->cells().at(3);
    // An edit left unsaved: the notes move to zone 2.
    ASSERT_TRUE(drop(canvas("D1")->cells().at(2), notesCell->chips()[0]->dragPayload(), QPoint(40, 80)));
    editor->close();
    settle();

    open();
    SceneGeometryCanvasView* view = canvas("D1");
    EXPECT_EQ(view->cells().at(1), mailCell.data()) << "shown as it was: not made again";
    EXPECT_EQ(bundles(view->cells().at(3)->apps()), (std::vector<std::string>{"org.example.notes"}))
        << "the stored scene, not the last edits";
    EXPECT_TRUE(view->cells().at(2)->apps().empty());

    // The kept chip is the new editor's: a drag and the remove button move its application.
    ASSERT_TRUE(drop(view->cells().at(2), view->cells().at(1)->chips()[0]->dragPayload(), QPoint(40, 80)));
    EXPECT_EQ(bundles(view->cells().at(2)->apps()), (std::vector<std::string>{"org.example.mail"}));
    editor->close();
    settle();
    open();
    view = canvas("D1");
    ASSERT_EQ(view->cells().at(1)->chips().size(), 1u);
    QTest::mouseClick(view->cells().at(1)->chips()[0]->removeButton(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(view->cells().at(1)->apps().empty());
    EXPECT_EQ(bundles(view->model().excludedApps()),
              (std::vector<std::string>{"org.example.music", "org.example.mail"}));
}

} // namespace
