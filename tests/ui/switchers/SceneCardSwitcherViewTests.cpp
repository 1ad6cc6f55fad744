// The card switcher's panel on Qt's offscreen platform: what the cards show, clicks on cards, the edit
// button and the background, typed digits, and its pictures under build/screenshots.
#include "ui/switchers/SceneCardSwitcherController.h"

#include "layouts/LayoutLibrary.h"
#include "scenes/SceneStore.h"
#include "support/Screenshot.h"
#include "support/SupportFolderFixture.h"
#include "ui/switchers/SceneCardSwitcherPanel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace korvane;
using korvane::testing::saveScreenshot;

namespace {

void click(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), widget->mapToGlobal(QPointF(at)), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), widget->mapToGlobal(QPointF(at)), button,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

class SceneCardPanelTest : public korvane::testing::SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        display = desktop->screens().addDisplay({.frame = Rect{0, 0, 1280, 720}, .uuid = "D1"});
        desktop->loop().runUntilIdle();
        screens = ScreenContext::capture(desktop->screens());
        store = std::make_shared<SceneStore>(*desktop, screens);
        const std::pair<const char*, const char*> saved[] = {
            {"Desk", "builtin.split-60-40"},
            {"Couch", "builtin.daily"},
            {"A scene with a long name", "builtin.fullscreen"}};
        char id = 'A';
        for (const auto& [name, layout] : saved) {
            WMScene scene;
            scene.id = std::string(8, id) + "-" + std::string(4, id) + "-4" + std::string(3, id) + "-8" +
                       std::string(3, id) + "-" + std::string(12, id);
            scene.name = name;
            scene.layoutRefsByDisplay = {{"D1", layout}};
            store->save(scene, screens);
            ids.push_back(scene.id);
            ++id;
        }
        cards->sceneStore = store;
        cards->layoutTemplateResolver = library;
        cards->activeSceneID = [this] { return std::optional<std::string>(ids[1]); };
        cards->onRestoreScene = [this](const WMScene& scene) { calls.push_back("restore " + scene.name); };
        cards->onEditScene = [this](const WMScene& scene) { calls.push_back("edit " + scene.name); };
        cards->onSaveScene = [this] { calls.push_back("save"); };
    }
    void TearDown() override {
        cards.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    SceneCardSwitcherPanel* panel() { return static_cast<SceneCardSwitcherPanel*>(cards->panel()); }

    int display = 0;
    ScreenContext screens;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::vector<std::string> ids;
    std::shared_ptr<SceneCardSwitcherController> cards =
        std::make_shared<SceneCardSwitcherController>(*desktop);
    std::vector<std::string> calls;
};

} // namespace

TEST_F(SceneCardPanelTest, thePanelCoversTheScreenWithACentredStripOfCardsAndTheNewSceneCard) {
    cards->show();
    ASSERT_NE(panel(), nullptr);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->size(), QSize(1280, 720));
    const QRect strip = panel()->strip()->geometry();
    EXPECT_EQ(strip.size(), QSize(3 * 14 + 4 * 132 + 40, 152));
    EXPECT_EQ(strip.topLeft(), QPoint((1280 - strip.width()) / 2, (720 - 152) / 2));
    ASSERT_EQ(panel()->cards().size(), 4u);
    EXPECT_EQ(panel()->cards()[3]->geometry(), QRect(20 + 3 * 146, 18, 132, 116));

    // Hovering shows the edit button of the card under the pointer.
    QWidget* second = panel()->cards()[1];
    QEnterEvent enter(QPointF(60, 60), QPointF(60, 60), QPointF(60, 60));
    QCoreApplication::sendEvent(second, &enter);
    saveScreenshot(*panel(), "scene-card-switcher.png");
    QWidget* edit = second->findChild<QWidget*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isVisible());
    click(edit, QPoint(11, 11));
    EXPECT_EQ(calls, (std::vector<std::string>{"edit Couch"}));
    EXPECT_FALSE(cards->isVisible());

    // With no saved scene only the "New Scene" card shows.
    for (const auto& id : ids)
        store->deleteScene(id, screens);
    cards->show();
    ASSERT_EQ(panel()->cards().size(), 1u);
    EXPECT_EQ(panel()->strip()->width(), 172);
    saveScreenshot(*panel(), "scene-card-switcher-empty.png");
    click(panel()->cards()[0], QPoint(60, 60));
    EXPECT_EQ(calls.back(), "save");
}

TEST_F(SceneCardPanelTest, clicksOnCardsAndTheBackgroundAndTypedDigitsReachTheController) {
    cards->show();
    // A press on a card released outside it does nothing.
    QWidget* first = panel()->cards()[0];
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), first->mapToGlobal(QPointF(10, 10)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(first, &press);
    QMouseEvent away(QEvent::MouseButtonRelease, QPointF(200, 10), first->mapToGlobal(QPointF(200, 10)),
                     Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(first, &away);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(cards->isVisible());

    // The middle button on the background does nothing; the left one closes the switcher.
    click(panel(), QPoint(5, 5), Qt::MiddleButton);
    EXPECT_TRUE(cards->isVisible());
    click(panel(), QPoint(5, 5), Qt::RightButton);
    EXPECT_FALSE(cards->isVisible());

    cards->show();
    click(panel()->cards()[0], QPoint(60, 60));
    EXPECT_EQ(calls, (std::vector<std::string>{"restore Desk"}));

    cards->show();
    QKeyEvent three(QEvent::KeyPress, Qt::Key_3, Qt::KeypadModifier, "3");
    QCoreApplication::sendEvent(panel(), &three);
    EXPECT_EQ(calls.back(), "restore A scene with a long name");
    EXPECT_FALSE(cards->isVisible());
}

// Many scenes on a large and on a small monitor: the cards wrap into rows, and shrink only where the rows
// do not fit, so that every card, "New Scene" included, lies whole on the monitor, in reading order (the
// digits' order), none over another; the last card still starts a new scene.
TEST_F(SceneCardPanelTest, withManyScenesEveryCardLiesOnTheMonitorInRowsInReadingOrder) {
    const struct {
        std::size_t scenes;
        QSize monitor;
        bool fullSize;
    } cases[] = {{15, {1920, 1080}, true},
                 {15, {1024, 768}, true},
                 {40, {1920, 1080}, true},
                 {40, {1024, 768}, false}};
    for (const auto& [sceneCount, monitor, fullSize] : cases) {
        SCOPED_TRACE(std::to_string(sceneCount) + " scenes on " + std::to_string(monitor.width()) + "x" +
                     std::to_string(monitor.height()));
        desktop->screens().setDisplayFrame(display,
                                           Rect{0, 0, double(monitor.width()), double(monitor.height())});
        desktop->loop().runUntilIdle();
        for (std::size_t i = ids.size(); i < sceneCount; ++i) {
            const std::string number = std::to_string(1000 + i);
            WMScene scene;
            scene.id = "0000" + number + "-0000-4000-8000-000000000000";
            scene.name = "Scene " + std::to_string(i + 1);
            scene.layoutRefsByDisplay = {{"D1", "builtin.split-50-50"}};
            store->save(scene, screens);
            ids.push_back(scene.id);
        }
        cards->show();
        ASSERT_NE(panel(), nullptr);
        EXPECT_EQ(panel()->size(), monitor);
        ASSERT_EQ(panel()->cards().size(), sceneCount + 1);
        const QRect screen(QPoint(0, 0), monitor);
        std::optional<QRect> previous;
        for (QWidget* card : panel()->cards()) {
            const QRect frame(card->mapTo(panel(), QPoint(0, 0)), card->size());
            EXPECT_TRUE(screen.contains(frame))
                << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
            if (fullSize) {
                EXPECT_EQ(frame.size(), QSize(132, 116));
            }
            if (previous) {
                EXPECT_TRUE((frame.top() == previous->top() && frame.left() > previous->right()) ||
                            frame.top() > previous->bottom())
                    << "card " << frame.x() << "," << frame.y() << " after " << previous->x() << ","
                    << previous->y();
            }
            previous = frame;
        }
        if (sceneCount == 40)
            saveScreenshot(*panel(),
                           "scene-card-switcher-40-scenes-" + std::to_string(monitor.width()) + ".png");
        click(panel()->cards().back(), QPoint(20, 20));
        EXPECT_EQ(calls.back(), "save");
        EXPECT_FALSE(cards->isVisible());
    }
}
