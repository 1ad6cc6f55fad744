// The "Save Scene" window on Qt's offscreen platform over the simulated desktop: what its cells, tray,
// chips and footer show, what drops, clicks and keys do to the capture, the scene file a save leaves,
// and its pictures under build/screenshots.
#include "ui/scene_manager/SceneSaveSheet.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutLibrary.h"
#include "scenes/SceneStore.h"
#include "support/Screenshot.h"
#include "support/SupportFolderFixture.h"
#include "support/TempFolder.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/scene_manager/SceneSaveWindowController.h"
#include "ui/scene_manager/ZoneCanvas.h"
#include "ui/switchers/AppPickerView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <set>

using namespace korvane;
using korvane::testing::saveScreenshot;
using nlohmann::json;

namespace {

constexpr const char* kD1 = "D1";
constexpr const char* kD2 = "D2";

class SceneSaveSheetTest : public korvane::testing::SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        desktop->screens().addDisplay({.frame = Rect{0, 0, 1920, 1080}, .name = "Studio", .uuid = kD1});
        displayLayouts[kD1] = "builtin.split-50-50";
    }
    void TearDown() override {
        sheet.reset();
        settle();
    }

    // An application with a square icon of one colour.
    pid_t launch(const std::string& bundleID, const std::string& name, QColor colour) {
        const pid_t pid = desktop->workspace().launch({.bundleID = bundleID, .name = name});
        platform::IconImage icon;
        icon.width = icon.height = 16;
        icon.argb.assign(16 * 16, colour.rgba());
        desktop->workspace().setApplicationIcon(pid, icon);
        return pid;
    }
    // A window-list entry as the window server hands it over, bounds top-left global.
    void listWindow(pid_t pid, const std::string& owner, WindowID number, const Rect& b) {
        desktop->windowServer().addRawEntry(
            json{
                {"OwnerPID", pid},
                {"OwnerName", owner},
                {"Layer", 0},
                {"Number", number},
                {"Bounds",
                 {{"X", b.origin.x}, {"Y", b.origin.y}, {"Width", b.size.width}, {"Height", b.size.height}}}},
            false);
    }
    // Editor on the left half, Mail and Notes on the right.
    void threeWindows() {
        listWindow(launch("com.example.editor", "Editor", QColor(230, 120, 40)), "Editor", 1,
                   Rect{0, 0, 960, 1080});
        listWindow(launch("com.example.mail", "Mail", QColor(40, 120, 230)), "Mail", 2,
                   Rect{960, 0, 960, 540});
        listWindow(launch("com.example.notes", "Notes", QColor(240, 200, 40)), "Notes", 3,
                   Rect{960, 540, 960, 540});
    }

    // Wired as the application wires it, not captured yet.
    std::shared_ptr<SceneSaveViewModel> wiredModel(const std::string& name = "") {
        store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
        auto made = std::make_shared<SceneSaveViewModel>(
            *desktop, store, [this](const WMScene& scene) { saved.push_back(scene.id); },
            [this] { ++dismissed; });
        made->layoutIDForDisplay = [this](const std::string& display) -> std::optional<std::string> {
            return displayLayouts.contains(display) ? std::optional(displayLayouts.at(display))
                                                    : std::nullopt;
        };
        made->layoutTemplateResolver = library;
        made->sceneName = name;
        return made;
    }
    // Captured, then drawn.
    void open(const std::string& name = "") {
        model = wiredModel(name);
        model->loadWindows();
        sheet = std::make_unique<SceneSaveSheet>(model);
        sheet->show();
        settle();
    }
    // The icons the views asked for, handed over, and drawn.
    void settleIcons() {
        desktop->loop().runUntilIdle();
        settle();
    }
    // Widgets replaced by a redraw go on the next turn of the loop.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    const SceneSaveViewModel::WindowEntry& entry(WindowID wid) const {
        for (const auto& e : model->windowEntries)
            if (e.windowID == wid) return e;
        throw std::runtime_error("no entry for window " + std::to_string(wid));
    }
    // The names each cell shows, by zone.
    std::map<std::int64_t, std::vector<std::string>> cells() const {
        std::map<std::int64_t, std::vector<std::string>> out;
        if (!sheet->canvas()) return out;
        for (ZoneCell* cell : sheet->canvas()->cells()) {
            auto& names = out[cell->zoneID()];
            for (ZoneItemView* view : cell->itemViews())
                names.push_back(view->item().name);
        }
        return out;
    }
    std::vector<std::string> tray() const {
        std::vector<std::string> out;
        if (sheet->canvas() && sheet->canvas()->tray()->isVisible())
            for (TrayChip* chip : sheet->canvas()->trayChips())
                out.push_back(chip->item().name);
        return out;
    }
    std::string count() const { return sheet->countLabel()->text().toStdString(); }
    ZoneItemView* itemNamed(const std::string& name) const {
        for (ZoneCell* cell : sheet->canvas()->cells())
            for (ZoneItemView* view : cell->itemViews())
                if (view->item().name == name) return view;
        return nullptr;
    }
    LayoutChip* chip(const std::optional<std::string>& layoutID) const {
        for (LayoutChip* c : sheet->chips())
            if (c->layoutID() == layoutID) return c;
        return nullptr;
    }
    // A drag of `text` entering the cell and dropped there; whether the cell took it.
    bool drop(ZoneCell* cell, const QString& text, std::optional<std::int64_t>* targetedWhileOver = nullptr) {
        QMimeData data;
        data.setText(text);
        QDragEnterEvent enter(QPoint(10, 10), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(cell, &enter);
        if (targetedWhileOver) *targetedWhileOver = sheet->dropTargetZoneID();
        QDropEvent dropped(QPointF(10, 10), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(cell, &dropped);
        settle();
        return dropped.isAccepted();
    }
    static void click(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
        settle();
    }

    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::map<std::string, std::string> displayLayouts;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<SceneSaveViewModel> model;
    std::unique_ptr<SceneSaveSheet> sheet;
    std::vector<std::string> saved;
    int dismissed = 0;
};

TEST_F(SceneSaveSheetTest, anExcludedWindowDroppedOnAZoneJoinsItAndTheTrayEmpties) {
    threeWindows();
    open();
    sheet->setEntryIncluded(entry(3).id, false);
    settle();
    using Cells = std::map<std::int64_t, std::vector<std::string>>;
    EXPECT_EQ(cells(), (Cells{{1, {"Editor"}}, {2, {"Mail"}}}));
    EXPECT_EQ(tray(), std::vector<std::string>{"Notes"});
    EXPECT_EQ(count(), "2 of 3 windows");
    settleIcons();
    saveScreenshot(sheet->grab().toImage(), "save-scene-sheet.png");

    // Text that names no entry's UUID is refused and leaves everything as it was.
    const auto assignments = model->zoneAssignments;
    const auto entries = model->windowEntries;
    for (const QString& text :
         {QString(), QString("Notes"), QString("1234"), QString(" ") + entry(3).id.c_str(),
          QString::fromStdString(entry(3).id + "\n" + entry(1).id)})
        EXPECT_FALSE(drop(sheet->canvas()->cell(2), text)) << text.toStdString();
    EXPECT_EQ(model->zoneAssignments, assignments);
    EXPECT_EQ(model->windowEntries, entries);
    EXPECT_EQ(sheet->dropTargetZoneID(), std::nullopt);

    // The excluded entry's UUID, as any case, includes it in zone 2; the cell is marked while the drag is
    // over it.
    std::optional<std::int64_t> targeted;
    EXPECT_TRUE(drop(sheet->canvas()->cell(2), QString::fromStdString(entry(3).id).toLower(), &targeted));
    EXPECT_EQ(targeted, 2);
    EXPECT_EQ(sheet->dropTargetZoneID(), std::nullopt);
    EXPECT_TRUE(entry(3).included);
    // Notes lies lower on the screen than Mail: it comes first.
    EXPECT_EQ(cells(), (Cells{{1, {"Editor"}}, {2, {"Notes", "Mail"}}}));
    EXPECT_EQ(count(), "3 of 3 windows");
    EXPECT_TRUE(tray().empty());

    // Dragging between cells moves a window, and the move is what is saved.
    EXPECT_TRUE(drop(sheet->canvas()->cell(1), QString::fromStdString(entry(2).id)));
    EXPECT_EQ(cells(), (Cells{{1, {"Editor", "Mail"}}, {2, {"Notes"}}}));
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    ASSERT_EQ(saved.size(), 1u);
    const json scene = json::parse(read(scenes() / SceneStore::sceneFileName(saved[0])));
    EXPECT_EQ(scene["windowHints"][kD1], json::parse(R"([
        {"bundleID": "com.example.notes", "zoneID": 2},
        {"bundleID": "com.example.editor", "zoneID": 1},
        {"bundleID": "com.example.mail", "zoneID": 1}])"));
}

TEST_F(SceneSaveSheetTest, theBadgeExcludesIntoTheTrayAndATrayClickIncludesInTheNearestZone) {
    threeWindows();
    open();
    click(itemNamed("Notes")->removeBadge());
    EXPECT_FALSE(entry(3).included);
    EXPECT_EQ(tray(), std::vector<std::string>{"Notes"});
    EXPECT_EQ(count(), "2 of 3 windows");

    TrayChip* chip = sheet->canvas()->trayChips().at(0);
    EXPECT_EQ(chip->accessibleName().toStdString(), "Include Notes in scene");
    EXPECT_EQ(chip->toolTip().toStdString(), "Drag to a zone to include Notes");
    // A window dropped on the other zone before it was excluded goes back by its place on the screen.
    model->zoneAssignments[entry(3).id] = 1;
    click(chip);
    EXPECT_TRUE(entry(3).included);
    EXPECT_EQ(model->zoneAssignments.at(entry(3).id), 2);
    EXPECT_TRUE(tray().empty());
    EXPECT_EQ(count(), "3 of 3 windows");
}

TEST_F(SceneSaveSheetTest, saveSceneIsOfferedOnlyForANameWhileNotSavingAndWithALayout) {
    threeWindows();
    open();
    QLineEdit* name = sheet->nameField();
    EXPECT_EQ(name->text().toStdString(), "Scene 1");
    // typed name, offered
    for (const auto& [typed, offered] :
         std::vector<std::pair<QString, bool>>{{"   ", false}, {"", false}, {" Work ", true}}) {
        name->selectAll();
        name->del();
        QTest::keyClicks(name, typed);
        EXPECT_EQ(sheet->saveButton()->isEnabled(), offered) << typed.toStdString();
    }
    EXPECT_EQ(model->sceneName, " Work ");
    EXPECT_TRUE(sheet->cancelButton()->isEnabled());

    // Return does nothing while the button is not offered.
    name->selectAll();
    name->del();
    QTest::keyClicks(name, "  ");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(saved.empty());

    // While the scene is written the button is not offered.
    std::vector<bool> offeredWhileSaving;
    auto watch = model->savingChanged.subscribe([&] {
        if (model->isSaving()) offeredWhileSaving.push_back(sheet->saveButton()->isEnabled());
    });
    QTest::keyClicks(name, "Work");
    click(sheet->saveButton());
    EXPECT_EQ(offeredWhileSaving, std::vector<bool>{false});
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(json::parse(read(scenes() / SceneStore::sceneFileName(saved[0])))["name"], "Work");

    // Escape and Cancel dismiss.
    QTest::keyClick(name, Qt::Key_Escape);
    click(sheet->cancelButton());
    EXPECT_EQ(dismissed, 2);
}

// A folder where the manifest belongs: Return writes nothing, however often it is pressed, and the
// window stays with the reason above its buttons; the next save that can be made clears it.
TEST_F(SceneSaveSheetTest, aSaveTheStoreRefusesWritesNothingAndSaysWhyInTheWindow) {
    threeWindows();
    std::filesystem::create_directories(scenes() / SceneStore::kManifestFileName);
    open("Desk");
    const auto listing = [this] {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(scenes()))
            names.insert(std::filesystem::relative(e.path(), scenes()).string());
        return names;
    };
    const auto before = listing();
    for (int press = 0; press < 3; ++press)
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    settle();
    EXPECT_EQ(listing(), before);
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(dismissed, 0);
    QLabel* reason = sheet->saveFailureLine();
    ASSERT_TRUE(reason->isVisible());
    EXPECT_EQ(reason->text().toStdString(),
              "The scene was not saved: " + (scenes() / SceneStore::kManifestFileName).string() +
                  " cannot be written (Is a directory).");
    EXPECT_TRUE(sheet->saveButton()->isEnabled()) << "a retry is offered";
    saveScreenshot(*sheet, "save-scene-refused.png");

    std::filesystem::remove(scenes() / SceneStore::kManifestFileName);
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    settle();
    EXPECT_EQ(saved.size(), 1u);
    EXPECT_FALSE(reason->isVisible());
}

// While the window holds the keyboard the window manager's own bindings (Super+T) reach the name: a key
// pressed with Super, Ctrl or Alt adds nothing to it, and the field's editing keys still act.
TEST_F(SceneSaveSheetTest, keysPressedWithSuperCtrlOrAltAddNothingToTheNameAndItsEditingKeysStillAct) {
    threeWindows();
    open();
    QLineEdit* name = sheet->nameField();
    name->selectAll();
    QTest::keyClicks(name, "Gam");
    for (const Qt::KeyboardModifiers modifiers :
         std::vector<Qt::KeyboardModifiers>{Qt::MetaModifier, Qt::MetaModifier | Qt::ShiftModifier,
                                            Qt::AltModifier, Qt::ControlModifier | Qt::AltModifier})
        for (const Qt::Key key : {Qt::Key_T, Qt::Key_1, Qt::Key_Period})
            QTest::keyClick(name, key, modifiers);
    QTest::keyClicks(name, "ma");
    EXPECT_EQ(name->text().toStdString(), "Gamma");
    EXPECT_EQ(model->sceneName, "Gamma");

    // Ctrl+A selects the name for the letters typed next; Ctrl+Z takes them back, Ctrl+Shift+Z again.
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, "Beta");
    EXPECT_EQ(model->sceneName, "Beta");
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(name->text().toStdString(), "Gamma");
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(name->text().toStdString(), "Beta");
}

TEST_F(SceneSaveSheetTest, withoutALayoutTheEmptyStateShowsAndNothingCanBeSaved) {
    threeWindows();
    // rows: what the display's layout resolves to
    for (const std::optional<std::string>& layout :
         {std::optional<std::string>(), std::optional<std::string>("no.such")}) {
        if (layout)
            displayLayouts[kD1] = *layout;
        else
            displayLayouts.erase(kD1);
        open("Work");
        EXPECT_EQ(sheet->canvas(), nullptr);
        EXPECT_TRUE(sheet->emptyState()->isVisible());
        std::vector<std::string> texts;
        for (QLabel* label : sheet->emptyState()->findChildren<QLabel*>())
            texts.push_back(label->text().toStdString());
        EXPECT_EQ(texts, (std::vector<std::string>{"No layout detected",
                                                   "Select a layout above to arrange windows"}));
        EXPECT_FALSE(sheet->saveButton()->isEnabled());
        EXPECT_EQ(count(), "3 of 3 windows");
    }
    saveScreenshot(sheet->grab().toImage(), "save-scene-empty.png");

    // A chip gives the windows a layout again.
    click(chip("builtin.split-50-50"));
    EXPECT_NE(sheet->canvas(), nullptr);
    EXPECT_FALSE(sheet->emptyState()->isVisible());
    EXPECT_TRUE(sheet->saveButton()->isEnabled());

    // With the resolver gone the chips go too, and nothing can be drawn.
    library.reset();
    sheet->reload();
    settle();
    EXPECT_FALSE(sheet->chipRow()->isVisible());
    EXPECT_TRUE(sheet->emptyState()->isVisible());
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
}

TEST_F(SceneSaveSheetTest, aLayoutChipRearrangesTheWindowsAndCurrentGoesBackToTheDisplaysOwn) {
    threeWindows();
    open();
    std::vector<std::string> chipIDs;
    for (LayoutChip* c : sheet->chips())
        chipIDs.push_back(c->layoutID().value_or("Current"));
    EXPECT_EQ(chipIDs, (std::vector<std::string>{"Current", "builtin.fullscreen", "builtin.split-60-40",
                                                 "builtin.split-50-50", "builtin.daily"}));
    EXPECT_TRUE(chip(std::nullopt)->isSelected());
    using Cells = std::map<std::int64_t, std::vector<std::string>>;
    const Cells own = {{1, {"Editor"}}, {2, {"Notes", "Mail"}}};
    EXPECT_EQ(cells(), own);

    click(chip("builtin.fullscreen"));
    EXPECT_EQ(model->layoutIDOverride, "builtin.fullscreen");
    EXPECT_TRUE(chip("builtin.fullscreen")->isSelected());
    EXPECT_FALSE(chip(std::nullopt)->isSelected());
    EXPECT_EQ(cells(), (Cells{{1, {"Notes", "Editor", "Mail"}}}));

    click(chip(std::nullopt));
    EXPECT_EQ(model->layoutIDOverride, std::nullopt);
    EXPECT_TRUE(chip(std::nullopt)->isSelected());
    EXPECT_FALSE(chip("builtin.fullscreen")->isSelected());
    EXPECT_EQ(cells(), own);
}

TEST_F(SceneSaveSheetTest, onTwoDisplaysTheChipsTakeNoClickAndALineSaysEachDisplayKeepsItsLayout) {
    desktop->screens().addDisplay({.frame = Rect{1920, 0, 1440, 900}, .name = "Side", .uuid = kD2});
    displayLayouts[kD2] = "builtin.fullscreen";
    threeWindows();
    listWindow(launch("com.example.music", "Music", QColor(200, 40, 90)), "Music", 4,
               Rect{2000, 100, 600, 400});
    open();
    // "Side" sorts first: the canvas draws its layout, one zone, where windows of either display that are
    // assigned zone 1 meet.
    using Cells = std::map<std::int64_t, std::vector<std::string>>;
    EXPECT_EQ(cells(), (Cells{{1, {"Music", "Editor"}}}));
    const auto assignments = model->zoneAssignments;
    EXPECT_TRUE(sheet->layoutsKeptLine()->isVisible());
    EXPECT_EQ(sheet->layoutsKeptLine()->text().toStdString(),
              "Windows on several displays: each display keeps its own layout");
    settleIcons();
    saveScreenshot(sheet->grab().toImage(), "save-scene-two-displays.png");

    click(chip("builtin.daily"));
    EXPECT_FALSE(chip("builtin.daily")->isSelected());
    EXPECT_TRUE(chip(std::nullopt)->isSelected());
    EXPECT_EQ(model->layoutIDOverride, std::nullopt);
    EXPECT_EQ(model->zoneAssignments, assignments);

    // With Side's window left out the chips choose again.
    click(itemNamed("Music")->removeBadge());
    EXPECT_FALSE(sheet->layoutsKeptLine()->isVisible());
    click(chip("builtin.daily"));
    EXPECT_TRUE(chip("builtin.daily")->isSelected());
    EXPECT_EQ(model->layoutIDOverride, "builtin.daily");
}

TEST_F(SceneSaveSheetTest, cellsSitAtTheirZonesAndCrowdedCellsDropNamesAndShrinkIcons) {
    // Explicit zones: the lower half, then the upper half split in two.
    ConfigZoneSet stacked;
    stacked.id = "user.stacked";
    stacked.name = "Stacked";
    stacked.zones = std::vector<ConfigZone>{{1, "", Rect{0, 0, 1, 0.5}, std::nullopt},
                                            {2, "", Rect{0, 0.5, 0.5, 0.5}, std::nullopt},
                                            {3, "", Rect{0.5, 0.5, 0.5, 0.5}, std::nullopt}};
    write(layouts() / "user.stacked.json", stacked.toJSON().dump());
    library->reloadUserLayouts();
    displayLayouts[kD1] = "user.stacked";
    // Four windows low on the screen, three in the upper left, one in the upper right.
    const char* names[] = {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf", "Hotel"};
    for (WindowID i = 0; i < 8; ++i) {
        const Rect frame = i < 4   ? Rect{100.0 + 200 * i, 700, 200, 300}
                           : i < 7 ? Rect{100.0 + 100 * (i - 4), 100, 100, 300}
                                   : Rect{1200, 100, 400, 300};
        listWindow(launch("com.example." + std::to_string(i), names[i], QColor::fromHsv(45 * i, 160, 220)),
                   names[i], i + 1, frame);
    }
    open();
    ZoneCanvas* canvas = sheet->canvas();
    ASSERT_NE(canvas, nullptr);
    canvas->setFixedSize(640, 400);
    settle();
    // zone, placed at, compact, one row
    EXPECT_EQ(canvas->cell(1)->geometry(), QRect(16, 200, 608, 184));
    EXPECT_EQ(canvas->cell(2)->geometry(), QRect(16, 16, 304, 184));
    EXPECT_EQ(canvas->cell(3)->geometry(), QRect(320, 16, 304, 184));
    struct Row {
        std::int64_t zone;
        std::size_t items;
        bool compact;
    };
    for (const Row& row : std::vector<Row>{{1, 4, true}, {2, 3, false}, {3, 1, false}}) {
        ZoneCell* cell = canvas->cell(row.zone);
        ASSERT_EQ(cell->itemViews().size(), row.items) << "zone " << row.zone;
        EXPECT_EQ(cell->isCompact(), row.compact) << "zone " << row.zone;
        EXPECT_EQ(cell->itemViews()[0]->height(), row.compact ? 28 : 51) << "zone " << row.zone;
    }
    settleIcons();
    saveScreenshot(canvas->grab().toImage(), "save-scene-compact-cell.png");

    // In a narrow canvas three items still share one row, at 36 points each at least: columns of 44 would
    // leave the third on a row of its own.
    canvas->setFixedSize(300, 400);
    settle();
    std::set<int> rowsOfThree;
    for (ZoneItemView* view : canvas->cell(2)->itemViews())
        rowsOfThree.insert(view->y());
    EXPECT_EQ(canvas->cell(2)->width(), 134);
    EXPECT_EQ(rowsOfThree.size(), 1u);
}

TEST_F(SceneSaveSheetTest, anApplicationPickedTwiceForAZoneShowsOnceAndAClickOutsideAddsNothing) {
    threeWindows();
    open();
    ZoneCell* first = sheet->canvas()->cell(1);
    EXPECT_EQ(first->addButton()->toolTip().toStdString(), "Add app to this zone");
    // Picks the running application of that name in the zone's picker.
    auto pick = [&](std::int64_t zone, const std::string& name) {
        click(sheet->canvas()->cell(zone)->addButton());
        auto* picker = dynamic_cast<AppPickerView*>(sheet->appPicker());
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(sheet->appPickerZoneID(), zone);
        const auto rows = picker->model().rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (const auto* app = std::get_if<AppInfo>(&rows[i]); app && app->name == name) {
                AppPickerRowsView* list = picker->rowsView();
                QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier,
                                  list->rowRect(static_cast<int>(i)).center());
                settle();
                return;
            }
        ADD_FAILURE() << name << " is not offered";
    };
    pick(1, "Mail");
    EXPECT_EQ(sheet->appPicker(), nullptr);
    EXPECT_EQ(sheet->appPickerZoneID(), std::nullopt);
    pick(1, "Mail");
    pick(2, "Mail");
    using Cells = std::map<std::int64_t, std::vector<std::string>>;
    EXPECT_EQ(cells(), (Cells{{1, {"Editor", "Mail"}}, {2, {"Notes", "Mail", "Mail"}}}));
    // An added application is not dragged: only windows are.
    EXPECT_FALSE(sheet->canvas()->cell(1)->itemViews()[1]->item().isWindow);

    // Open, then a click elsewhere in the window: closed without a choice.
    click(sheet->canvas()->cell(2)->addButton());
    ASSERT_NE(sheet->appPicker(), nullptr);
    const QRect pickerAt(sheet->appPicker()->mapToGlobal(QPoint(0, 0)), sheet->appPicker()->size());
    const QRect sheetAt(sheet->mapToGlobal(QPoint(0, 0)), sheet->size());
    settleIcons();
    QImage picture(sheetAt.united(pickerAt).size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        const QPoint origin = sheetAt.united(pickerAt).topLeft();
        painter.drawPixmap(sheetAt.topLeft() - origin, sheet->grab());
        painter.drawPixmap(pickerAt.topLeft() - origin, sheet->appPicker()->grab());
    }
    saveScreenshot(picture, "save-scene-picker.png");
    // While a popup is open the toolkit hands it every press, those outside it included.
    const QPoint nameField = sheet->nameField()->mapToGlobal(sheet->nameField()->rect().center());
    QTest::mouseClick(sheet->appPicker(), Qt::LeftButton, Qt::NoModifier,
                      sheet->appPicker()->mapFromGlobal(nameField));
    settle();
    EXPECT_EQ(sheet->appPicker(), nullptr);
    EXPECT_EQ(sheet->appPickerZoneID(), std::nullopt);
    EXPECT_EQ(model->manualApps().at(2).size(), 1u);

    // The added application's badge takes it out of the zone, and the zone's list goes with it.
    click(sheet->canvas()->cell(1)->itemViews()[1]->removeBadge());
    EXPECT_EQ(cells(), (Cells{{1, {"Editor"}}, {2, {"Notes", "Mail", "Mail"}}}));
    EXPECT_FALSE(model->manualApps().contains(1));
}

TEST_F(SceneSaveSheetTest, windowsAddedApplicationsAndTheTrayShowTheIconTheSwitcherShows) {
    korvane::testing::TempFolder pictures;
    // The desktop's generic picture, a file, for applications that show none of their own.
    QImage generic(48, 48, QImage::Format_ARGB32);
    generic.fill(QColor(142, 36, 170));
    const std::string genericFile = (pictures.path() / "generic.png").string();
    ASSERT_TRUE(generic.save(QString::fromStdString(genericFile), "PNG"));
    desktop->workspace().setGenericApplicationIcon(
        platform::IconImage{.width = 0, .height = 0, .argb = {}, .path = genericFile});
    // Editor with its own picture, Mail with none, and a window no application stands behind.
    listWindow(launch("com.example.editor", "Editor", QColor(230, 120, 40)), "Editor", 1,
               Rect{0, 0, 960, 1080});
    listWindow(desktop->workspace().launch({.bundleID = "com.example.mail", .name = "Mail"}), "Mail", 2,
               Rect{960, 0, 960, 540});
    listWindow(4242, "Helper", 3, Rect{960, 540, 960, 540});
    // Notes is installed, not running, with its picture in a file; it is added to zone 1 by hand.
    QImage notes(48, 48, QImage::Format_ARGB32);
    notes.fill(QColor(30, 136, 229));
    const std::string notesFile = (pictures.path() / "notes.png").string();
    ASSERT_TRUE(notes.save(QString::fromStdString(notesFile), "PNG"));
    desktop->workspace().install({.bundleID = "com.example.notes", .name = "Notes", .url = "/apps/Notes"});
    desktop->workspace().setFileIcon(
        "/apps/Notes", platform::IconImage{.width = 0, .height = 0, .argb = {}, .path = notesFile});
    open();
    model->addManualApp("com.example.notes", 1);
    sheet->setEntryIncluded(entry(1).id, false);
    settleIcons();

    // The middle of each 32-point icon, as drawn.
    const auto centre = [](QWidget* view) { return view->grab().toImage().pixel(view->width() / 2, 20); };
    for (const auto& [name, colour] :
         std::vector<std::pair<std::string, QColor>>{{"Mail", QColor(142, 36, 170)},
                                                     {"Helper", QColor(142, 36, 170)},
                                                     {"Notes", QColor(30, 136, 229)}}) {
        ZoneItemView* view = itemNamed(name);
        ASSERT_NE(view, nullptr) << name;
        EXPECT_EQ(centre(view), colour.rgba()) << name;
    }
    // The tray's chip of the excluded Editor: its own orange, drawn at half strength.
    ASSERT_EQ(sheet->canvas()->trayChips().size(), 1u);
    TrayChip* chip = sheet->canvas()->trayChips().front();
    const QColor tray = chip->grab().toImage().pixelColor(chip->width() / 2, 15);
    EXPECT_GT(tray.red(), tray.blue() + 40) << tray.name().toStdString();
    saveScreenshot(sheet->canvas()->grab().toImage(), "save-scene-icons.png");
}

TEST_F(SceneSaveSheetTest, theWindowIsAFixedTitledPanelThatEscapeDismisses) {
    threeWindows();
    // As the application does it: the window is made over the model, which captures before it shows.
    model = wiredModel();
    // An area 80 pixels below the top of the 1080-high screen, as the toolkit places it, with room for
    // the sheet in a frame up to 20 wide and 40 high.
    SceneSaveWindowController controller(model, desktop->screens(), Rect{90, 380, 660, 620});
    int closed = 0;
    controller.onClose = [&] { ++closed; };
    model->onDismiss = [&] { controller.close(); };
    model->loadWindows();
    controller.showWindow();
    settle();
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle().toStdString(), "Save Scene");
    EXPECT_EQ(window->size(), QSize(640, 580));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    // Centred with its title bar.
    const QSize frame = windowManagerFrame(*window);
    EXPECT_EQ(window->pos(), QPoint(90 + (20 - frame.width() + 1) / 2, 80 + (40 - frame.height() + 1) / 2));
    auto* content = window->findChild<SceneSaveSheet*>();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->nameField()->text().toStdString(), "Scene 1");
    ASSERT_NE(content->canvas(), nullptr);
    EXPECT_EQ(content->canvas()->cells().size(), 2u);
    EXPECT_EQ(content->countLabel()->text().toStdString(), "3 of 3 windows");

    QTest::keyClick(content->nameField(), Qt::Key_Escape);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(controller.isWindowVisible());
    EXPECT_TRUE(saved.empty());
}

} // namespace
