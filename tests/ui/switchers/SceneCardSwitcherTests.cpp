// The scene card switcher's behaviour on the simulated desktop, without widgets: which scenes it shows,
// what keys and card actions do and in which order, the option long press, and each card's preview.
#include "ui/switchers/SceneCardSwitcherController.h"

#include "input/MouseEventTap.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/HotKeys.h"
#include "scenes/SceneStore.h"
#include "support/SupportFolderFixture.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"

using namespace korvane;

namespace {

std::string uuid(char c) {
    return std::string(8, c) + "-" + std::string(4, c) + "-4" + std::string(3, c) + "-8" + std::string(3, c) +
           "-" + std::string(12, c);
}

// One user layout, "layout.columns", of two side-by-side regions.
class OneLayoutResolver : public LayoutTemplateResolver {
  public:
    std::optional<ConfigZoneSet> regionSet(const std::string& id) const override {
        if (id != "layout.columns") return std::nullopt;
        ConfigZoneSet set;
        set.id = id;
        set.name = "Columns";
        return set;
    }
    std::optional<LayoutNode> layoutTree(const ConfigZoneSet&) const override {
        return LayoutNode::split(SplitAxis::horizontal, 0.5, LayoutNode::region(1), LayoutNode::region(2));
    }
    std::vector<ConfigZoneSet> builtinLayoutTemplates() const override { return {}; }
};

class SceneCardSwitcherTest : public korvane::testing::SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .uuid = "D1"});
        desktop->loop().runUntilIdle();
        screens = ScreenContext::capture(desktop->screens());
        store = std::make_shared<SceneStore>(*desktop, screens);
        MouseEventTap::setShared(std::make_shared<MouseEventTap>(*desktop));
        cards->sceneStore = store;
        cards->layoutTemplateResolver = resolver;
        cards->activeSceneID = [this] { return active; };
        cards->onRestoreScene = [this](const WMScene& scene) {
            calls.push_back("restore " + scene.name + (cards->isVisible() ? " (shown)" : " (hidden)"));
        };
        cards->onEditScene = [this](const WMScene& scene) {
            calls.push_back("edit " + scene.name + (cards->isVisible() ? " (shown)" : " (hidden)"));
        };
        cards->onSaveScene = [this] {
            calls.push_back(cards->isVisible() ? "save (shown)" : "save (hidden)");
        };
    }
    void TearDown() override { MouseEventTap::setShared(nullptr); }
    void save(char id, const std::string& name, const std::string& layoutRef) {
        WMScene scene;
        scene.id = uuid(id);
        scene.name = name;
        scene.layoutRefsByDisplay = {{"D1", layoutRef}};
        store->save(scene, screens);
    }
    static SwitcherKeyPress key(const std::string& characters, int keyCode = switcherkeys::kOtherKey) {
        return SwitcherKeyPress{keyCode, characters, 0, {}};
    }
    // A change of the held modifiers, through the tap as the desktop delivers it.
    void flags(std::uint64_t held) {
        platform::MouseEvent event;
        event.type = platform::MouseEventType::flagsChanged;
        event.flags = held;
        MouseEventTap::shared()->dispatch(event);
        cards->handle(event);
    }

    ScreenContext screens;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<OneLayoutResolver> resolver = std::make_shared<OneLayoutResolver>();
    std::shared_ptr<SceneCardSwitcherController> cards =
        std::make_shared<SceneCardSwitcherController>(*desktop);
    std::optional<std::string> active;
    std::vector<std::string> calls;
};

} // namespace

TEST_F(SceneCardSwitcherTest, showsTheStoredScenesInStoreOrderOnceAndNothingWithoutAStore) {
    save('A', "Desk", "builtin.split-50-50");
    save('B', "Couch", "layout.columns");
    active = uuid('B');
    cards->show();
    ASSERT_TRUE(cards->isVisible());
    ASSERT_EQ(cards->scenes().size(), 2u);
    EXPECT_EQ(cards->scenes()[0].name, "Desk");
    EXPECT_EQ(cards->shownActiveSceneID(), uuid('B'));
    EXPECT_EQ(cards->screen().displayUUID, "D1");

    // Shown, it keeps the list it read.
    save('C', "Later", "builtin.fullscreen");
    cards->show();
    EXPECT_EQ(cards->scenes().size(), 2u);
    cards->hide();
    EXPECT_TRUE(cards->scenes().empty());
    cards->hide();
    EXPECT_FALSE(cards->isVisible());

    cards->sceneStore.reset();
    cards->show();
    EXPECT_FALSE(cards->isVisible());

    EXPECT_EQ(SceneCardSwitcherController::stripWidth(0), 172);
    EXPECT_EQ(SceneCardSwitcherController::stripWidth(3), 3 * 14 + 4 * 132 + 40);
}

TEST_F(SceneCardSwitcherTest, escapeClosesDigitsRestoreTheirCardAndOtherKeysPassOn) {
    save('A', "Desk", "builtin.split-50-50");
    save('B', "Couch", "layout.columns");
    cards->show();
    EXPECT_FALSE(cards->keyDown(key("0")));
    EXPECT_FALSE(cards->keyDown(key("a")));
    EXPECT_FALSE(cards->keyDown(key("")));
    // A digit beyond the cards is taken and does nothing else.
    EXPECT_TRUE(cards->keyDown(key("3")));
    EXPECT_TRUE(cards->isVisible());
    EXPECT_TRUE(calls.empty());

    EXPECT_TRUE(cards->keyDown(key("2")));
    EXPECT_EQ(calls, (std::vector<std::string>{"restore Couch (shown)"}));
    EXPECT_FALSE(cards->isVisible());
    // Hidden, it takes no key.
    EXPECT_FALSE(cards->keyDown(key("1")));

    cards->show();
    EXPECT_TRUE(cards->keyDown(key("", switcherkeys::kEscape)));
    EXPECT_FALSE(cards->isVisible());
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(SceneCardSwitcherTest, cardActionsCloseTheSwitcherBeforeOrAfterTheirCallbackAsEachNeeds) {
    save('A', "Desk", "builtin.split-50-50");
    cards->show();
    cards->cardClicked(5); // outside the cards
    EXPECT_TRUE(cards->isVisible());
    cards->cardClicked(0);
    cards->show();
    cards->editClicked(0);
    cards->show();
    cards->newSceneClicked();
    cards->show();
    cards->backgroundClicked();
    EXPECT_EQ(calls,
              (std::vector<std::string>{"restore Desk (shown)", "edit Desk (hidden)", "save (hidden)"}));
    EXPECT_FALSE(cards->isVisible());

    // A callback the application did not set is skipped; the switcher still closes.
    cards->onRestoreScene = nullptr;
    cards->show();
    cards->cardClicked(0);
    EXPECT_FALSE(cards->isVisible());

    // With no saved scene only the "New Scene" card is there and digits are taken without effect.
    store->deleteScene(uuid('A'), screens);
    cards->show();
    EXPECT_TRUE(cards->scenes().empty());
    EXPECT_TRUE(cards->keyDown(key("1")));
    EXPECT_TRUE(cards->isVisible());
}

TEST_F(SceneCardSwitcherTest, optionHeldAloneForAMomentOpensTheSwitcherOncePerPress) {
    using namespace platform;
    auto& loop = desktop->loop();
    // Released early: nothing opens.
    flags(kEventFlagOption);
    loop.advance(milliseconds(200));
    flags(0);
    loop.advance(milliseconds(500));
    EXPECT_FALSE(cards->isVisible());

    // With another modifier it never starts; adding one cancels; letting it go starts afresh.
    flags(kEventFlagOption | kEventFlagShift);
    EXPECT_FALSE(cards->isOptionPressTimerPending());
    flags(kEventFlagOption);
    loop.advance(milliseconds(200));
    flags(kEventFlagOption | kEventFlagCommand);
    loop.advance(milliseconds(200));
    EXPECT_FALSE(cards->isVisible());
    flags(kEventFlagOption);
    loop.advance(milliseconds(299));
    EXPECT_FALSE(cards->isVisible());
    loop.advance(milliseconds(2));
    loop.runUntilIdle();
    EXPECT_TRUE(cards->isVisible());

    // Still held after it closed, the same press does not open it again; releasing option ends it.
    cards->hide();
    flags(kEventFlagOption | kEventFlagCapsLock);
    loop.advance(seconds(1));
    EXPECT_FALSE(cards->isVisible());
    flags(0);
    EXPECT_FALSE(cards->isOptionLongPressActive());

    // When the timer fires with option no longer held (its release never reached the handler), nothing opens.
    flags(kEventFlagOption);
    platform::MouseEvent released;
    released.type = MouseEventType::flagsChanged;
    MouseEventTap::shared()->dispatch(released);
    loop.advance(seconds(1));
    EXPECT_FALSE(cards->isVisible());
}

TEST_F(SceneCardSwitcherTest, aCardPreviewsItsFirstDisplaysLayoutFromTheBuiltInsOrTheResolver) {
    WMScene scene;
    EXPECT_EQ(cards->previewTree(scene), std::nullopt);
    scene.layoutRefsByDisplay = {{"D1", "  builtin.split-60-40 "}};
    EXPECT_EQ(cards->previewTree(scene), builtinSplit6040Template().layoutTree);
    scene.layoutRefsByDisplay = {{"A", "layout.columns"}, {"B", "builtin.fullscreen"}};
    const auto columns = cards->previewTree(scene);
    ASSERT_TRUE(columns);
    EXPECT_EQ(columns->regionIDs(), (std::vector<std::int64_t>{1, 2}));
    for (const char* none : {"layout.unknown", "scene-restore-1234", "scene-apply-1"}) {
        scene.layoutRefsByDisplay = {{"A", none}};
        EXPECT_EQ(cards->previewTree(scene), std::nullopt) << none;
    }
    cards->layoutTemplateResolver.reset();
    scene.layoutRefsByDisplay = {{"A", "layout.columns"}};
    EXPECT_EQ(cards->previewTree(scene), std::nullopt);
}
