// The scene canvas's small views on Qt's offscreen platform: the proportions a display gives the canvas,
// where cells go, the read-only layout drawing, the save bar, zone cells and chips, divider handles, the
// split preview, the pointer filter and the layout template picker, with their pictures.
#include "ui/scene_editor/CanvasMouseTracker.h"
#include "ui/scene_editor/LayoutGeometryPreview.h"
#include "ui/scene_editor/LayoutTemplatePickerSheet.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"
#include "ui/scene_editor/SceneCanvasSplitHandle.h"
#include "ui/scene_editor/SceneCanvasZoneCell.h"
#include "ui/scene_editor/SceneZoneCanvasLayout.h"

#include "SceneEditorViewsSupport.h"
#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"
#include "ui/switchers/IconCache.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace korvane;
using korvane::testing::saveScreenshot;
using korvane::testing::sendDrop;
using korvane::testing::templatesWithCustom;
namespace fs = std::filesystem;

namespace {

SceneCanvasAppEntry chip(const std::string& bundleID, const std::string& name, bool placeholder = false) {
    SceneCanvasAppEntry entry;
    entry.id = bundleID + "-chip";
    entry.bundleID = bundleID;
    entry.name = name;
    entry.isPlaceholder = placeholder;
    return entry;
}

platform::IconImage solidPixels(QRgb colour) {
    return {.width = 2, .height = 2, .argb = std::vector<std::uint32_t>(4, colour), .path = {}};
}

// A picture file of one colour, as an icon theme keeps it: the desktop names its path.
platform::IconImage solidFile(const fs::path& path, QRgb colour) {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(QColor::fromRgba(colour));
    EXPECT_TRUE(image.save(QString::fromStdString(path.string()), "PNG"));
    return {.width = 0, .height = 0, .argb = {}, .path = path.string()};
}

// The colour at the middle of a chip's picture: `side` square, `top` below the chip's top, centred.
QRgb pictureCentre(QWidget& chip, int top, int side) {
    return chip.grab().toImage().pixel(chip.width() / 2, top + side / 2);
}

// A dark backdrop as the overlay gives the canvas, so white text shows in the pictures.
QWidget* darkHost(QSize size) {
    auto* host = new QWidget;
    host->resize(size);
    host->setAutoFillBackground(true);
    QPalette palette = host->palette();
    palette.setColor(QPalette::Window, QColor(30, 32, 38));
    host->setPalette(palette);
    return host;
}

} // namespace

TEST(SceneCanvasMetrics, aDisplayGivesItsProportionsAtLeastSquareAndASuffixedUUIDItsScreens) {
    sim::ScopedSimDesktop desktop;
    EXPECT_DOUBLE_EQ(canvasAspectRatio(desktop->screens(), "ANY"), 1.6) << "no screen attached";
    desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .uuid = "UUID"});
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1080, 1920}, .uuid = "PORTRAIT"});
    struct Row {
        const char* display;
        double ratio;
    };
    for (const Row& row : {Row{"UUID", 1920.0 / 1080}, Row{"UUID#2", 1920.0 / 1080}, Row{"PORTRAIT", 1.0},
                           Row{"PORTRAIT#main", 1.0}, Row{"OTHER", 1.6}, Row{"UUID2", 1.6}})
        EXPECT_DOUBLE_EQ(canvasAspectRatio(desktop->screens(), row.display), row.ratio) << row.display;
}

TEST(SceneCanvasMetrics, cellsTakeTheirZonesFromTheBottomUpFractionsWithinTheInset) {
    // Zone 1 the left half, zone 2 the top right quarter, zone 3 the bottom right quarter.
    const SceneZoneCanvasLayout layout{
        {{1, Rect{0, 0, 0.5, 1}}, {2, Rect{0.5, 0.5, 0.5, 0.5}}, {3, Rect{0.5, 0, 0.5, 0.5}}}, 10};
    const std::vector<Rect> placed = layout.placements(Rect{0, 0, 420, 220});
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0], (Rect{10, 10, 200, 200}));
    EXPECT_EQ(placed[1], (Rect{210, 10, 200, 100}));
    EXPECT_EQ(placed[2], (Rect{210, 110, 200, 100}));
    // Bounds smaller than the inset leave nothing to place into, never a negative size.
    for (const Rect& r : layout.placements(Rect{0, 0, 15, 15}))
        EXPECT_TRUE(r.width() == 0 && r.height() == 0);
}

TEST(SceneCanvasMetrics, theLayoutDrawingKeepsProportionsWithinATwoPointMargin) {
    // The unit square scaled as one: a single region fills a square view less 2 pt, and stands centred
    // as a square in a wide one.
    EXPECT_EQ(layoutGeometryPreviewRects(LayoutNode::region(1), Size{60, 60}),
              (std::vector<Rect>{Rect{2, 2, 56, 56}}));
    EXPECT_EQ(layoutGeometryPreviewRects(LayoutNode::region(1), Size{100, 60}),
              (std::vector<Rect>{Rect{22, 2, 56, 56}}));

    const auto daily = layoutGeometryPreviewRects(*builtinDailyLayout().layoutTree, Size{104, 64});
    ASSERT_EQ(daily.size(), 4u);
    EXPECT_EQ(daily[0], (Rect{22, 2, 15, 30}));  // the left quarter, upper half
    EXPECT_EQ(daily[1], (Rect{22, 32, 15, 30})); // its lower half
    EXPECT_NEAR(daily[2].width(), 27, 1e-9);     // 60 % of the remaining three quarters
    EXPECT_NEAR(daily[3].maxX(), 82, 1e-9);

    QWidget* host = darkHost(QSize(160, 100));
    auto* preview = new LayoutGeometryPreview(*builtinDailyLayout().layoutTree, false, host);
    preview->setGeometry(host->rect());
    saveScreenshot(*host, "scene-editor-layout-drawing.png");
    delete host;
}

TEST(SceneCanvasSaveBar, bothButtonsWaitForAChangeAndCtrlSAppliesOnlyThen) {
    int resets = 0, saves = 0;
    SceneCanvasSaveBar bar([&] { ++resets; }, [&] { ++saves; });
    bar.resize(720, 40);
    bar.show();
    QApplication::setActiveWindow(&bar);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bar));
    EXPECT_FALSE(bar.resetButton()->isEnabled());
    EXPECT_FALSE(bar.applyButton()->isEnabled());
    QTest::keyClick(bar.windowHandle(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saves, 0);

    bar.setDirty(true);
    QTest::keyClick(bar.windowHandle(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saves, 1);
    bar.resetButton()->click();
    EXPECT_EQ(resets, 1);
    saveScreenshot(bar, "scene-canvas-save-bar.png");
}

TEST(SceneCanvasZoneCell, anEmptyZoneInvitesDropsAndADropLandsOnTheChipUnderThePointer) {
    sim::ScopedSimDesktop desktop;
    desktop->workspace().setGenericApplicationIcon(solidPixels(0xFF2E7D32));
    std::vector<std::string> zoneDrops;
    std::vector<std::pair<std::string, int>> indexDrops;
    std::vector<SceneCanvasAppEntry> removed;
    int adds = 0, taps = 0;
    const auto callbacks = [&] {
        SceneCanvasZoneCell::Callbacks c;
        c.onTap = [&] { ++taps; };
        c.onRemoveApp = [&](const SceneCanvasAppEntry& e) { removed.push_back(e); };
        c.onAddPressed = [&] { ++adds; };
        c.onDropToZone = [&](const std::string& t) {
            zoneDrops.push_back(t);
            return true;
        };
        c.onDropToIndex = [&](const std::string& t, int i) {
            indexDrops.emplace_back(t, i);
            return true;
        };
        c.dragPayloadForEntry = [](const SceneCanvasAppEntry& e) { return "payload:" + e.bundleID; };
        return c;
    };

    SceneCanvasZoneCell empty(7, {}, true, callbacks(), nullptr);
    empty.resize(300, 200);
    ASSERT_NE(empty.emptyLabel(), nullptr);
    EXPECT_EQ(empty.emptyLabel()->text(), "Drop apps here");
    EXPECT_EQ(empty.titleLabel()->text(), "Zone 7");
    EXPECT_EQ(empty.addButton()->toolTip(), "Add app to Zone 7");
    EXPECT_EQ(empty.accessibleName(), "Zone 7");
    bool accepted = sendDrop(&empty, QString(), QPoint(50, 150));
    EXPECT_FALSE(accepted) << "an empty drop is refused";
    EXPECT_TRUE(zoneDrops.empty());
    empty.addButton()->click();
    EXPECT_EQ(adds, 1);

    QWidget* host = darkHost(QSize(420, 240));
    auto* cell =
        new SceneCanvasZoneCell(2,
                                {chip("org.example.mail", "Mail"), chip("org.example.notes", "Notes"),
                                 chip("org.example.web", "Drop here", true)},
                                true, callbacks(), host);
    cell->setGeometry(host->rect());
    cell->setDropTarget(true);
    host->show();
    ASSERT_EQ(cell->chips().size(), 3u);
    EXPECT_EQ(cell->emptyLabel(), nullptr);
    EXPECT_EQ(cell->chips()[1]->dragPayload(), "payload:org.example.notes");

    accepted = sendDrop(cell, "dragged", cell->chips()[1]->geometry().center());
    EXPECT_TRUE(accepted);
    accepted = sendDrop(cell, "dragged", QPoint(400, 230));
    EXPECT_EQ(indexDrops, (std::vector<std::pair<std::string, int>>{{"dragged", 1}}));
    EXPECT_EQ(zoneDrops, (std::vector<std::string>{"dragged"}));

    // Hovering a chip offers its remove button; a placeholder never has one.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(cell->chips()[0], &enter);
    QCoreApplication::sendEvent(cell->chips()[2], &enter);
    EXPECT_TRUE(cell->chips()[0]->removeButton()->isVisible());
    EXPECT_FALSE(cell->chips()[2]->removeButton()->isVisible());
    desktop->loop().runUntilIdle(); // the icons
    saveScreenshot(*host, "scene-canvas-zone-cell.png");
    cell->chips()[0]->removeButton()->click();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].bundleID, "org.example.mail");

    SceneCanvasExcludedAppIcon excluded(chip("org.example.mail", "Mail"), "p", {}, nullptr);
    EXPECT_EQ(excluded.toolTip(), "Drag to a zone: org.example.mail");
    delete host;
}

TEST(SceneCanvasZoneCell, chipsShowTheIconTheSwitcherShowsInWhateverFormTheDesktopKeepsIt) {
    sim::ScopedSimDesktop desktop;
    korvane::testing::TempFolder folder;
    auto& workspace = desktop->workspace();
    // An installed application whose icon is a picture file, a running one with a window's pixels, and
    // one the desktop knows nothing of: the desktop's generic picture, also a file.
    workspace.install({.bundleID = "org.example.mail", .name = "Mail", .url = "/apps/Mail.desktop"});
    workspace.setFileIcon("/apps/Mail.desktop", solidFile(folder.path() / "mail.png", 0xFF1E88E5));
    workspace.setApplicationIcon(workspace.launch({.bundleID = "org.example.notes", .name = "Notes"}),
                                 solidPixels(0xFFFDD835));
    workspace.setGenericApplicationIcon(solidFile(folder.path() / "generic.png", 0xFF8E24AA));
    desktop->loop().runUntilIdle();

    QWidget* host = darkHost(QSize(420, 240));
    auto& cell =
        *new SceneCanvasZoneCell(1,
                                 {chip("org.example.mail", "Mail"), chip("org.example.notes", "Notes"),
                                  chip("org.example.gone", "Gone"), chip("placeholder", "Drop here", true)},
                                 true, {}, host);
    cell.setGeometry(host->rect());
    SceneCanvasExcludedAppIcon excluded(chip("org.example.mail", "Mail"), "p", {}, nullptr);
    desktop->loop().runUntilIdle();

    const std::vector<std::pair<std::string, QRgb>> expected{{"org.example.mail", 0xFF1E88E5},
                                                             {"org.example.notes", 0xFFFDD835},
                                                             {"org.example.gone", 0xFF8E24AA}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [bundleID, colour] = expected[i];
        EXPECT_EQ(pictureCentre(*cell.chips()[i], 2, 64), colour) << bundleID;
        // The very picture the switcher's tiles take for the application.
        const auto cached = IconCache::shared()->cached(bundleID);
        ASSERT_TRUE(cached) << bundleID;
        EXPECT_EQ(cached->pixel(64, 64), colour) << bundleID;
    }
    EXPECT_EQ(pictureCentre(excluded, 4, 22), 0xFF1E88E5u);
    // A placeholder stands for no application: its outline, over the backdrop.
    EXPECT_EQ(pictureCentre(*cell.chips()[3], 2, 64), QColor(30, 32, 38).rgba());
    EXPECT_FALSE(IconCache::shared()->cached("placeholder"));
    saveScreenshot(*host, "scene-canvas-chip-icons.png");
    delete host;
}

TEST(SceneCanvasSplitHandle, aDragOfTenPointsMovesTheDividerAndTheLabelShowsItsShareOfTheCanvas) {
    QWidget canvas;
    canvas.resize(900, 600);
    SceneCanvasSplitLine line;
    line.path = {1};
    line.axis = SplitAxis::horizontal;
    line.ratio = 0.5;
    line.absoluteRatio = 0.333;
    line.bounds = Rect{300, 0, 600, 600};
    line.hitFrame = Rect{588, 0, 24, 600};
    std::vector<double> proposed;
    auto* handle = new SceneCanvasSplitHandle(
        line, false, true, [&](double r) { proposed.push_back(r); }, &canvas);
    canvas.show();
    EXPECT_EQ(handle->geometry(), QRect(588, 0, 24, 600));
    EXPECT_EQ(handle->cursor().shape(), Qt::SizeHorCursor);

    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(12, 300));
    QTest::mouseMove(handle, QPoint(20, 300)); // 8 pt: not yet a drag
    EXPECT_TRUE(proposed.empty());
    QTest::mouseMove(handle, QPoint(102, 300)); // the pointer at x = 690 on the canvas
    ASSERT_EQ(proposed.size(), 1u);
    EXPECT_DOUBLE_EQ(proposed[0], (690.0 - 300) / 600);
    EXPECT_TRUE(handle->isDragging());
    ASSERT_TRUE(handle->ratioLabel()->isVisible());
    EXPECT_EQ(handle->ratioLabel()->text(), "33%");
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(102, 300));
    EXPECT_FALSE(handle->isDragging());

    // Read-only: the arrow stays, drags still reach the canvas.
    const auto barAt = [&](int y) { return canvas.grab().toImage().pixelColor(600, y); };
    const QColor editable = barAt(300);
    handle->setReadOnly(true);
    EXPECT_EQ(handle->cursor().shape(), Qt::ArrowCursor);
    // The bar is drawn in the state and along the band the handle has now, whatever it was drawn in before.
    const QColor readOnly = barAt(300);
    EXPECT_NE(readOnly, editable);
    line.hitFrame = Rect{588, 0, 24, 300};
    handle->setLine(line);
    EXPECT_NE(barAt(450), readOnly) << "no bar below a band that ends at 300";
    line.hitFrame = Rect{588, 0, 24, 600};
    handle->setLine(line);
    EXPECT_EQ(barAt(450), readOnly);

    SceneCanvasSplitPreview preview(&canvas);
    preview.setGeometry(canvas.rect());
    preview.set(SplitAxis::vertical, 0.97, Rect{0, 100, 900, 400}, 0.75);
    EXPECT_EQ(preview.lineRect(), (Rect{0, 100 + 0.9 * 400 - 1.5, 900, 3})) << "held at 0.9";
    EXPECT_EQ(preview.labelText(), "75%");
    preview.set(SplitAxis::horizontal, 0.02, Rect{300, 0, 600, 600}, 0.4);
    EXPECT_EQ(preview.lineRect(), (Rect{300 + 0.1 * 600 - 1.5, 0, 3, 600})) << "held at 0.1";
}

TEST(CanvasMouseTracker, movesOfTwoPointsOrLessAreThinnedAndExitStartsAfresh) {
    QWidget window;
    window.resize(400, 300);
    auto* canvas = new QWidget(&window);
    canvas->setGeometry(50, 40, 300, 200);
    auto* child = new QWidget(canvas);
    child->setGeometry(100, 100, 50, 50);
    CanvasMouseTracker tracker(canvas);
    std::vector<Point> moves;
    std::vector<Point> clicks;
    int exits = 0;
    bool useClicks = false;
    tracker.onMove = [&](Point p) { moves.push_back(p); };
    tracker.onClick = [&](Point p) {
        clicks.push_back(p);
        return useClicks;
    };
    tracker.onExit = [&] { ++exits; };

    // Not the active window: nothing is reported.
    QTest::mouseMove(canvas, QPoint(10, 10));
    EXPECT_TRUE(moves.empty());

    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    struct Step {
        QPoint at;
        bool reported;
    };
    for (const Step& step : {Step{{10, 10}, true}, Step{{12, 12}, false}, Step{{8, 8}, false},
                             Step{{12, 10}, false}, Step{{13, 10}, true}}) {
        moves.clear();
        QTest::mouseMove(canvas, step.at);
        EXPECT_EQ(!moves.empty(), step.reported) << step.at.x() << "," << step.at.y();
    }
    // A move over a child is measured in the canvas's coordinates, from its top-left corner.
    moves.clear();
    QTest::mouseMove(child, QPoint(5, 5));
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], (Point{105, 105}));

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(canvas, &leave);
    EXPECT_EQ(exits, 1);
    moves.clear();
    QTest::mouseMove(child, QPoint(6, 5)); // 1 pt from the last point, reported after the exit
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.front(), (Point{106, 105}));

    QTest::mousePress(child, Qt::LeftButton, {}, QPoint(1, 2));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0], (Point{101, 102}));
}

TEST(LayoutTemplatePickerSheet, fiveTemplatesArePlainSixAreSearchedInSections) {
    std::vector<std::string> selected;
    int dismissed = 0;
    LayoutTemplatePickerSheet five(
        templatesWithCustom(1), [&](const ConfigZoneSet& l) { selected.push_back(l.id); },
        [&] { ++dismissed; });
    EXPECT_EQ(five.size(), QSize(320, 400));
    EXPECT_EQ(five.searchField(), nullptr);
    EXPECT_EQ(five.visibleRows(), (std::vector<std::string>{"Full", "60:40", "50:50", "Daily", "Desk 1"}));
    five.show();
    saveScreenshot(five, "layout-template-picker-5.png");

    LayoutTemplatePickerSheet six(
        templatesWithCustom(2), [&](const ConfigZoneSet& l) { selected.push_back(l.id); },
        [&] { ++dismissed; });
    ASSERT_NE(six.searchField(), nullptr);
    EXPECT_EQ(six.searchField()->placeholderText(), QString::fromUtf8("Search layouts…"));
    EXPECT_EQ(six.visibleRows(), (std::vector<std::string>{"Built-in", "Full", "60:40", "50:50", "Daily",
                                                           "Custom", "Desk 1", "Desk 2"}));
    six.show();
    saveScreenshot(six, "layout-template-picker-6.png");

    struct Query {
        const char* text;
        std::vector<std::string> rows;
    };
    for (const Query& q :
         {Query{"   \t", {"Built-in", "Full", "60:40", "50:50", "Daily", "Custom", "Desk 1", "Desk 2"}},
          Query{"SPLIT", {"Built-in", "60:40", "50:50"}}, Query{"desk 2", {"Custom", "Desk 2"}},
          Query{"DAILY", {"Built-in", "Daily"}}, Query{"xyz", {}}}) {
        six.searchField()->setText(q.text);
        EXPECT_EQ(six.visibleRows(), q.rows) << q.text;
    }
    EXPECT_TRUE(six.noResultsLabel()->isVisible());
    EXPECT_TRUE(six.noResultsLabel()->text().contains("xyz"));
    saveScreenshot(six, "layout-template-picker-no-results.png");

    six.searchField()->setText("split");
    saveScreenshot(six, "layout-template-picker-search.png");
    ASSERT_TRUE(six.chooseTemplate("builtin.split-50-50"));
    six.reject(); // closing after a choice tells nothing more
    EXPECT_EQ(selected, (std::vector<std::string>{"builtin.split-50-50"}));
    EXPECT_EQ(dismissed, 0);

    QTest::keyClick(&five, Qt::Key_Escape);
    five.findChild<QPushButton*>()->click();
    EXPECT_EQ(dismissed, 1) << "cancelled once";
    EXPECT_EQ(selected.size(), 1u);

    LayoutTemplatePickerSheet none({}, {}, {});
    EXPECT_EQ(none.searchField(), nullptr);
    EXPECT_TRUE(none.visibleRows().empty());
    EXPECT_FALSE(none.noResultsLabel()->isVisible());
}
