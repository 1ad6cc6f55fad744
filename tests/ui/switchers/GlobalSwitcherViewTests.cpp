// The switcher's grid and icons on Qt's offscreen platform over the simulated desktop: tiles are pooled
// and keep what they show while their window, hint and zone stay; icons load two at a time near the
// visible part and follow the scrolling; each application's icon is rendered once, from the first source
// that has a picture, and never missing.
#include "ui/switchers/GlobalSwitcherView.h"

#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/WMController.h"
#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/IconCache.h"
#include "ui/switchers/SwitcherItemView.h"

#include <gtest/gtest.h>

#include <map>

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

using namespace korvane;

namespace {

// Counts the paints each widget gets.
class PaintCounter final : public QObject {
  public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    std::map<QObject*, int> paints;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints[object];
        return false;
    }
};

platform::IconImage solid(std::uint32_t argb) {
    return platform::IconImage{
        .width = 4, .height = 4, .argb = std::vector<std::uint32_t>(16, argb), .path = {}};
}

class SwitcherViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        display = desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .uuid = "D1"});
        desktop->windowServer().setShowsSystemEntries(false);
        desktop->loop().runUntilIdle();
    }
    void TearDown() override {
        switcher.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void show() {
        if (!switcher)
            switcher = std::make_shared<GlobalSwitcherWindowController>(
                *desktop, *desktop->screens().display(display), nullptr, controller, ax);
        switcher->show(*desktop->screens().display(display));
    }
    pid_t app(const std::string& name) {
        return desktop->workspace().launch({.bundleID = "com.example." + name, .name = name});
    }
    GlobalSwitcherView& view() { return *switcher->switcherView(); }
    int iconsRequested() {
        int count = 0;
        for (auto* tile : view().itemViews())
            if (tile->requestedIconStableID()) ++count;
        return count;
    }
    // The icon the cache hands over for the key, once everything queued has run.
    QImage iconFor(IconCache& cache, const std::string& bundleID, pid_t pid) {
        QImage got;
        cache.icon(bundleID, pid, [&](const QImage& image) { got = image; });
        desktop->loop().runUntilIdle();
        return got;
    }

    sim::ScopedSimDesktop desktop;
    int display = 0;
    std::shared_ptr<AXUtil> ax = std::make_shared<AXUtil>(*desktop);
    std::shared_ptr<WMController> controller =
        std::make_shared<WMController>(std::make_shared<MultiDisplayState>(), ax);
    std::shared_ptr<GlobalSwitcherWindowController> switcher;
};

} // namespace

TEST_F(SwitcherViewTest, anApplicationsIconIsRenderedOnceFromItsFirstSourceAndIsNeverMissing) {
    auto owner = std::make_shared<IconCache>(*desktop);
    IconCache& cache = *owner;
    auto& workspace = desktop->workspace();
    const pid_t term = app("Term");
    workspace.setApplicationIcon(term, solid(0xFFFF0000));
    workspace.setGenericApplicationIcon(solid(0xFF0000FF));

    const QImage own = iconFor(cache, "com.example.Term", term);
    EXPECT_EQ(own.size(), QSize(128, 128));
    EXPECT_EQ(own.pixel(64, 64), 0xFFFF0000u);
    // A second window, or a second process of the same application: from memory, at once.
    const std::size_t requests = workspace.iconRequestCount();
    bool answered = false;
    cache.icon("com.example.Term", app("Term"), [&](const QImage& image) {
        answered = true;
        EXPECT_EQ(image.pixel(0, 0), 0xFFFF0000u);
    });
    EXPECT_TRUE(answered);
    EXPECT_EQ(workspace.iconRequestCount(), requests);

    // An installed application's picture file, for a process that has gone.
    korvane::testing::TempFolder folder;
    const std::string png = (folder.path() / "viewer.png").string();
    QImage green(32, 32, QImage::Format_ARGB32);
    green.fill(QColor(0, 255, 0));
    ASSERT_TRUE(green.save(QString::fromStdString(png), "PNG"));
    workspace.install({.bundleID = "com.example.viewer", .name = "Viewer", .url = "/apps/Viewer"});
    workspace.setFileIcon("/apps/Viewer",
                          platform::IconImage{.width = 0, .height = 0, .argb = {}, .path = png});
    EXPECT_EQ(iconFor(cache, "com.example.viewer", 4321).pixel(10, 10), 0xFF00FF00u);

    // A "pid:" identifier of a process that has gone: the generic picture; then nothing at all: drawn.
    EXPECT_EQ(iconFor(cache, "pid:4321", 4321).pixel(64, 64), 0xFF0000FFu);
    workspace.setGenericApplicationIcon(std::nullopt);
    const QImage drawn = iconFor(cache, "pid:4322", 4322);
    EXPECT_EQ(drawn.size(), QSize(128, 128));
    EXPECT_EQ(qAlpha(drawn.pixel(64, 64)), 255);
}

TEST_F(SwitcherViewTest, theMemoryKeepsTheMostRecentlyUsedIconsWithinItsLimits) {
    auto owner = std::make_shared<IconCache>(*desktop);
    IconCache& cache = *owner;
    for (int i = 0; i < 128; ++i)
        iconFor(cache, "app" + std::to_string(i), 0);
    EXPECT_EQ(cache.cachedCount(), 128u);
    iconFor(cache, "app0", 0); // used again: now the most recent
    iconFor(cache, "app128", 0);
    EXPECT_EQ(cache.cachedCount(), 128u);
    EXPECT_TRUE(cache.cached("app0").has_value());
    EXPECT_FALSE(cache.cached("app1").has_value());
    EXPECT_TRUE(cache.cached("app128").has_value());
}

TEST_F(SwitcherViewTest, tilesArePooledAndKeepWhatTheyShowWhileTheirWindowHintAndZoneStay) {
    const pid_t term = app("Term");
    const std::uint32_t shell =
        desktop->windows().open(term, {.frame = Rect{0, 0, 800, 600}, .title = "shell"});
    desktop->windows().open(app("Editor"), {.frame = Rect{0, 0, 800, 600}, .title = "notes"});
    show();
    const std::vector<SwitcherItemView*> tiles = view().itemViews();
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[1]->titleText(), "shell\nTerm");
    switcher->hide();
    EXPECT_EQ(view().viewPool().size(), 2u);
    EXPECT_TRUE(tiles[0]->isHidden());

    // Reopened while warm: the fresh listing's new title does not redraw an unchanged tile.
    desktop->windows().setTitle(shell, "vim");
    desktop->loop().advance(milliseconds(500));
    show();
    desktop->loop().runUntilIdle();
    EXPECT_EQ(switcher->dataSource.items[1].title, "Term[vim]");
    EXPECT_EQ(view().itemViews(), tiles);
    EXPECT_EQ(tiles[1]->titleText(), "shell\nTerm");

    // A third window takes one new tile; the pool never shrinks.
    switcher->hide();
    desktop->windows().open(app("Viewer"), {.frame = Rect{0, 0, 800, 600}, .title = "photo"});
    desktop->loop().advance(seconds(2));
    show();
    EXPECT_EQ(view().viewPool().size(), 3u);
    EXPECT_EQ(view().itemViews()[2]->titleText(), "photo\nViewer");
    switcher->hide();
    desktop->windows().close(shell);
    desktop->loop().advance(seconds(2));
    show();
    EXPECT_EQ(view().itemViews().size(), 3u); // Term stays as an application
    EXPECT_EQ(view().viewPool().size(), 3u);
}

TEST_F(SwitcherViewTest, iconsLoadTwoAtATimeNearTheVisiblePartAndScrollingLoadsMore) {
    desktop->screens().setDisplayFrame(display, Rect{0, 0, 800, 600});
    for (int i = 0; i < 60; ++i)
        desktop->windows().open(app("App" + std::to_string(100 + i)),
                                {.frame = Rect{0, 0, 400, 300}, .title = "w"});
    show();
    EXPECT_EQ(view().iconLoadsInFlight(), 2);
    EXPECT_EQ(iconsRequested(), 2);

    int mostInFlight = 0;
    desktop->loop().advanceUntil(
        [&] {
            mostInFlight = std::max(mostInFlight, view().iconLoadsInFlight());
            return false;
        },
        milliseconds(500));
    EXPECT_EQ(mostInFlight, 2);
    const int nearTheTop = iconsRequested();
    EXPECT_GT(nearTheTop, 2);
    EXPECT_LT(nearTheTop, 60);
    EXPECT_FALSE(view().itemViews().back()->requestedIconStableID());

    QScrollBar* bar = switcher->scrollView()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    desktop->loop().advance(milliseconds(500));
    EXPECT_TRUE(view().itemViews().back()->requestedIconStableID());
    EXPECT_TRUE(view().itemViews().back()->hasIcon());
}

TEST_F(SwitcherViewTest, aPressReleasedOutsideItsTileChoosesNothing) {
    desktop->windows().open(app("Term"), {.frame = Rect{0, 0, 800, 600}, .title = "shell"});
    show();
    SwitcherItemView* tile = view().itemViews().front();
    const QPointF inside(20, 20), outside(tile->width() + 30, 20);
    QMouseEvent down(QEvent::MouseButtonPress, inside, tile->mapToGlobal(inside), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tile, &down);
    EXPECT_TRUE(tile->isSelected());
    QMouseEvent up(QEvent::MouseButtonRelease, outside, tile->mapToGlobal(outside), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tile, &up);
    EXPECT_FALSE(tile->isSelected());
    EXPECT_TRUE(switcher->isWindowVisible());
}

// An opening draws each tile once: the refresh a turn later, with a listing unchanged, draws none again.
TEST_F(SwitcherViewTest, aWarmOpeningDrawsEachTileOnceAndItsRefreshDrawsNoneAgain) {
    for (int i = 0; i < 6; ++i)
        desktop->windows().open(app("App" + std::to_string(i)),
                                {.frame = Rect{0, 0, 800, 600}, .title = "w"});
    show();
    desktop->loop().runUntilIdle();
    QCoreApplication::processEvents();
    switcher->hide();
    desktop->loop().advance(milliseconds(100));

    PaintCounter counter;
    show(); // warm: the cached listing at once, the fresh one a turn later
    QCoreApplication::processEvents();
    desktop->loop().runUntilIdle();
    QCoreApplication::processEvents();
    ASSERT_EQ(view().itemViews().size(), 6u);
    for (auto* tile : view().itemViews())
        EXPECT_EQ(counter.paints[tile], 1) << tile->titleText().toStdString();
}
