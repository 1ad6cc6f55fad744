// The save-scene model on the simulated desktop: which windows it captures and in what order, the name it
// proposes, the zones it gives them, the applications added by hand, and the scene file it leaves behind.
#include "ui/scene_manager/SceneSaveViewModel.h"

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutLibrary.h"
#include "platform/sim/LogCapture.h"
#include "scenes/SceneStore.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

#include <tuple>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;
using Zone = std::optional<std::int64_t>;

namespace {

constexpr const char* kD1 = "D1";
constexpr const char* kD2 = "D2";
constexpr const char* kEditor = "com.example.editor";
constexpr const char* kMail = "com.example.mail";
constexpr const char* kNotes = "com.example.notes";

class SceneSaveTest : public korvane::testing::SupportFolderTest {
  protected:
    void addDisplay(const std::string& uuid, const std::string& name, const Rect& frame) {
        desktop->screens().addDisplay({.frame = frame, .name = name, .uuid = uuid});
    }
    // "Studio" is the primary; "Side" sits to its right, shorter, and sorts first by name.
    void sideBySide() {
        addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
        addDisplay(kD2, "Side", Rect{1920, 0, 1440, 900});
    }
    pid_t launch(const std::string& bundleID, const std::string& name) {
        return desktop->workspace().launch({.bundleID = bundleID, .name = name});
    }
    // A window-list entry as the window server hands it over, bounds top-left global; `changes` replace
    // keys, a null one removes its key.
    void listWindow(pid_t pid, const std::string& owner, WindowID number, const Rect& b,
                    const json& changes = json::object()) {
        json e = {
            {"OwnerPID", pid},
            {"OwnerName", owner},
            {"Layer", 0},
            {"Number", number},
            {"Bounds",
             {{"X", b.origin.x}, {"Y", b.origin.y}, {"Width", b.size.width}, {"Height", b.size.height}}}};
        e.update(changes);
        for (const auto& [key, value] : changes.items())
            if (value.is_null()) e.erase(key);
        desktop->windowServer().addRawEntry(e, false);
    }

    // Wired as the application wires it: each display's own layout, the layout library as resolver.
    std::unique_ptr<SceneSaveViewModel> capture(const std::string& name = "") {
        if (!store)
            store = std::make_shared<SceneStore>(*desktop, ScreenContext::capture(desktop->screens()));
        auto model = std::make_unique<SceneSaveViewModel>(
            *desktop, store, [this](const WMScene& scene) { saved.push_back(scene.id); }, [] {});
        model->layoutIDForDisplay = [this](const std::string& display) -> std::optional<std::string> {
            return layouts.contains(display) ? std::optional(layouts.at(display)) : std::nullopt;
        };
        model->zoneIDForWindow = [this](WindowID wid, const std::string&) -> std::optional<int> {
            return heldZones.contains(wid) ? std::optional(heldZones.at(wid)) : std::nullopt;
        };
        model->layoutTemplateResolver = library;
        model->sceneName = name;
        model->loadWindows();
        return model;
    }
    static const SceneSaveViewModel::WindowEntry& entryOf(const SceneSaveViewModel& model, WindowID wid) {
        for (const auto& e : model.windowEntries)
            if (e.windowID == wid) return e;
        throw std::runtime_error("no entry for window " + std::to_string(wid));
    }
    static Zone assigned(const SceneSaveViewModel& model, WindowID wid) {
        auto found = model.zoneAssignments.find(entryOf(model, wid).id);
        return found == model.zoneAssignments.end() ? std::nullopt : Zone(found->second);
    }
    json storedScene() { return json::parse(read(scenes() / SceneStore::sceneFileName(saved.at(0)))); }

    sim::ScopedLogCapture logs;
    std::shared_ptr<SceneStore> store;
    std::shared_ptr<LayoutLibrary> library = std::make_shared<LayoutLibrary>(desktop->defaults());
    std::map<std::string, std::string> layouts;
    std::map<WindowID, int> heldZones;
    std::vector<std::string> saved; // ids handed to onSave
};

TEST_F(SceneSaveTest, onlyOtherApplicationsWindowsOnLayerZeroAreCapturedInDisplayOrder) {
    sideBySide();
    const pid_t editor = launch(kEditor, "Editor");
    const pid_t mail = launch(kMail, "Mail");
    listWindow(::getpid(), "Korvane", 1, Rect{100, 100, 400, 300});
    listWindow(editor, "Editor", 2, Rect{0, 0, 50, 50}, {{"Layer", 25}});
    listWindow(0, "WindowServer", 3, Rect{0, 0, 1920, 24});
    listWindow(editor, "Editor", 4, {}, {{"Bounds", {{"X", 100}, {"Y", 600}}}});
    listWindow(mail, "Mail", 5, {}, {{"Bounds", nullptr}});
    listWindow(editor, "Editor", 6, Rect{1000, 100, 800, 600}, {{"Name", "Draft"}});
    listWindow(mail, "Mail", 7, Rect{2000, 300, 600, 400}, {{"Name", "Inbox"}});
    listWindow(4242, "Helper", 8, Rect{1000, 600, 400, 300}); // no running application behind it
    // A pid as text, no layer, no number: no window the capture can name.
    listWindow(mail, "Mail", 9, Rect{0, 0, 10, 10}, {{"OwnerPID", "12"}});
    listWindow(mail, "Mail", 10, Rect{0, 0, 10, 10}, {{"Layer", nullptr}});
    listWindow(mail, "Mail", 11, Rect{0, 0, 10, 10}, {{"Number", nullptr}});

    auto model = capture();
    using Seen =
        std::tuple<WindowID, std::optional<std::string>, std::string, std::string, Rect, std::string, bool>;
    std::vector<Seen> seen;
    for (const auto& e : model->windowEntries)
        seen.emplace_back(e.windowID, e.bundleID, e.title, e.appName, e.currentFrame, e.displayName,
                          e.included);
    EXPECT_EQ(seen,
              (std::vector<Seen>{
                  {7, kMail, "Inbox", "Mail", Rect{2000, 300, 600, 400}, "Side", true},
                  {4, kEditor, "", "Editor", Rect{100, 600, 400, 300}, "Studio", true}, // same y: left first
                  {8, std::nullopt, "", "Helper", Rect{1000, 600, 400, 300}, "Studio", true},
                  {6, kEditor, "Draft", "Editor", Rect{1000, 100, 800, 600}, "Studio", true},
                  {5, kMail, "", "Mail", Rect{0, 0, 0, 0}, "Studio", true},
              }));
    EXPECT_EQ(entryOf(*model, 7).displayUUID, kD2);

    // The same desktop captured again gives equal entries, though each capture has ids of its own.
    auto again = capture();
    EXPECT_EQ(again->windowEntries, model->windowEntries);
    EXPECT_NE(again->windowEntries[0].id, model->windowEntries[0].id);
}

TEST_F(SceneSaveTest, theProposedNameCountsTheManifestsScenesPastTheNamesTakenAndANameSetBeforeIsKept) {
    sideBySide();
    listWindow(launch(kEditor, "Editor"), "Editor", 6, Rect{1000, 100, 800, 600});
    capture("One")->save();
    capture("Two")->save();
    // what the manifest holds, a name set before the capture, the name after it
    const std::vector<std::tuple<std::optional<std::string>, std::string, std::string>> rows = {
        {std::nullopt, "", "Scene 3"},
        {std::nullopt, "Evening", "Evening"},
        {"{ not a manifest", "", "Scene 1"},
    };
    for (const auto& [manifest, before, after] : rows) {
        if (manifest) write(scenes() / SceneStore::kManifestFileName, *manifest);
        EXPECT_EQ(capture(before)->sceneName, after) << manifest.value_or("two scenes");
    }
    // Once a scene before the last is deleted, the count names a scene still there: the next free name.
    capture("Scene 3")->save();
    store->deleteScene(saved.at(0), ScreenContext::capture(desktop->screens()));
    EXPECT_EQ(capture()->sceneName, "Scene 4");

    // Without a window list nothing is captured, named or assigned.
    desktop->windowServer().setAvailable(false);
    layouts[kD1] = "builtin.split-50-50";
    auto model = capture();
    EXPECT_TRUE(model->windowEntries.empty());
    EXPECT_EQ(model->sceneName, "");
    EXPECT_TRUE(model->zoneAssignments.empty());
}

TEST_F(SceneSaveTest, eachDisplayIsZonedByItsOwnLayoutAndAnOverrideOnlyOnASingleDisplay) {
    sideBySide();
    const pid_t editor = launch(kEditor, "Editor");
    listWindow(editor, "Editor", 1, Rect{0, 0, 960, 1080});     // left half of Studio
    listWindow(editor, "Editor", 2, Rect{960, 0, 960, 1080});   // right half
    listWindow(editor, "Editor", 3, Rect{480, 0, 960, 1080});   // centred exactly between the halves
    listWindow(editor, "Editor", 4, Rect{2000, 300, 600, 400}); // Side, held in zone 3 by the system
    listWindow(editor, "Editor", 5, Rect{2800, 300, 400, 400}); // Side, held nowhere
    heldZones = {{4, 3}};
    layouts = {{kD1, "builtin.split-50-50"}, {kD2, "no.such.layout"}};

    auto model = capture();
    // window, zone assigned, zone captured
    for (const auto& [wid, zone, captured] : std::vector<std::tuple<WindowID, Zone, std::int64_t>>{
             {1, 1, 1}, {2, 2, 1}, {3, 1, 1}, {4, std::nullopt, 3}, {5, std::nullopt, 1}}) {
        EXPECT_EQ(assigned(*model, wid), zone) << "window " << wid;
        EXPECT_EQ(entryOf(*model, wid).zoneID, captured) << "window " << wid;
    }

    // With two displays an override changes nothing, and the canvas draws the primary display's layout.
    layouts[kD2] = "builtin.daily";
    model->autoAssignZones();
    const auto byOwnLayouts = model->zoneAssignments;
    model->layoutIDOverride = "builtin.fullscreen";
    model->recomputeZoneAssignments();
    EXPECT_EQ(model->zoneAssignments, byOwnLayouts);
    EXPECT_EQ(model->currentZoneSet().value_or(ConfigZoneSet{}).id, "builtin.daily"); // "Side" sorts first
    model->save();
    EXPECT_EQ(storedScene()["layoutRefsByDisplay"],
              json({{kD1, "builtin.split-50-50"}, {kD2, "builtin.daily"}}));

    // Once one display's windows alone are included, the override zones each of them.
    for (auto& e : model->windowEntries)
        e.included = e.displayUUID == kD1;
    model->recomputeZoneAssignments();
    EXPECT_EQ(model->currentZoneSet().value_or(ConfigZoneSet{}).id, "builtin.fullscreen");
    for (const auto& [wid, zone] :
         std::vector<std::pair<WindowID, Zone>>{{1, 1}, {2, 1}, {3, 1}, {4, std::nullopt}, {5, std::nullopt}})
        EXPECT_EQ(assigned(*model, wid), zone) << "window " << wid;

    // With the layouts gone every entry keeps the zone it was captured with, and nothing is drawn.
    library.reset();
    model->recomputeZoneAssignments();
    EXPECT_TRUE(model->zoneAssignments.empty());
    EXPECT_FALSE(model->currentZoneSet());
}

TEST_F(SceneSaveTest, aWindowMovesOnlyToAZoneOfTheLayoutItsDisplayIsStoredWith) {
    sideBySide();
    layouts = {{kD1, "builtin.daily"}, {kD2, "builtin.split-50-50"}};
    const pid_t editor = launch(kEditor, "Editor");
    const pid_t mail = launch(kMail, "Mail");
    listWindow(editor, "Editor", 1, Rect{1400, 0, 520, 1080}); // Studio's right part: zone 4 of 4
    listWindow(mail, "Mail", 2, Rect{1920, 100, 600, 400});    // Side's left half: zone 1 of 2
    auto model = capture("Desk");
    const std::string mailID = entryOf(*model, 2).id;
    // window, zone asked for, taken, zone after
    for (const auto& [wid, zone, taken, after] : std::vector<std::tuple<WindowID, int, bool, Zone>>{
             {2, 4, false, 1}, {2, 3, false, 1}, {2, 2, true, 2}, {1, 3, true, 3}}) {
        EXPECT_EQ(model->moveEntry(entryOf(*model, wid).id, zone), taken) << wid << " to " << zone;
        EXPECT_EQ(assigned(*model, wid), after) << wid << " to " << zone;
    }
    model->save();
    EXPECT_EQ(storedScene()["windowHints"], json({{kD1, {{{"bundleID", kEditor}, {"zoneID", 3}}}},
                                                  {kD2, {{{"bundleID", kMail}, {"zoneID", 2}}}}}));

    // On Studio alone the full layout chosen zones Editor. Mail brought in from the tray takes the zones
    // of Side's own layout, and Editor those of Studio's again, as the choice no longer applies.
    for (auto& e : model->windowEntries)
        e.included = e.windowID == 1;
    model->layoutIDOverride = "builtin.fullscreen";
    model->recomputeZoneAssignments();
    EXPECT_EQ(assigned(*model, 1), 1);
    EXPECT_FALSE(model->moveEntry(mailID, 3));
    EXPECT_FALSE(entryOf(*model, 2).included);
    EXPECT_TRUE(model->moveEntry(mailID, 2));
    EXPECT_TRUE(entryOf(*model, 2).included);
    EXPECT_EQ(assigned(*model, 1), 4);
    EXPECT_EQ(assigned(*model, 2), 2);
    EXPECT_EQ(model->currentZoneSet().value_or(ConfigZoneSet{}).id, "builtin.split-50-50"); // "Side" first

    // A display whose layout is not known has no zone to name.
    layouts.erase(kD2);
    EXPECT_FALSE(model->moveEntry(mailID, 1));
    EXPECT_EQ(assigned(*model, 2), 2);
}

TEST_F(SceneSaveTest, aWindowListFrameIsFlippedBeforeItsDisplayAndZoneAreFound) {
    addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
    addDisplay(kD2, "Above", Rect{0, 1080, 1920, 1080});
    layouts = {{kD1, "builtin.daily"}, {kD2, "builtin.daily"}};
    const pid_t editor = launch(kEditor, "Editor");
    // Bottom-left frames: the primary's top-left quarter, and the lower-left quarter of the display above.
    const WindowID topLeft = desktop->windows().open(editor, {.frame = Rect{0, 540, 960, 540}});
    const WindowID above = desktop->windows().open(editor, {.frame = Rect{0, 1080, 960, 540}});

    auto model = capture();
    // On "builtin.daily" zone 1 is "Top Left" and zone 2 "Bottom Left".
    EXPECT_EQ(assigned(*model, topLeft), 1);
    EXPECT_EQ(entryOf(*model, topLeft).displayUUID, kD1);
    EXPECT_EQ(entryOf(*model, topLeft).normalizedFrame, NormalizedFrame(0, 0.5, 0.5, 0.5));
    EXPECT_EQ(assigned(*model, above), 2);
    EXPECT_EQ(entryOf(*model, above).displayName, "Above");
    EXPECT_EQ(entryOf(*model, above).normalizedFrame, NormalizedFrame(0, 0, 0.5, 0.5));
    // The entry keeps the window list's frame, above the primary's top edge, and orders by it.
    EXPECT_EQ(entryOf(*model, above).currentFrame, Rect(0, -540, 960, 540));
}

TEST_F(SceneSaveTest, theStoredSceneHoldsTheOverrideAndTheAssignedZonesButNoTransientLayout) {
    addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
    const pid_t editor = launch(kEditor, "Editor");
    const pid_t mail = launch(kMail, "Mail");
    listWindow(editor, "Editor", 1, Rect{0, 0, 960, 1080});
    listWindow(mail, "Mail", 2, Rect{960, 0, 960, 1080});
    listWindow(4242, "Helper", 3, Rect{960, 0, 400, 300}); // no bundle identifier: no hint
    listWindow(mail, "Mail", 4, Rect{0, 800, 300, 200});   // excluded below
    layouts = {{kD1, "  scene-restore-123 "}};

    auto model = capture("  Morning \n");
    model->layoutIDOverride = "builtin.split-50-50";
    model->recomputeZoneAssignments();
    model->zoneAssignments[entryOf(*model, 1).id] = 2; // dropped on the right half by the user
    model->windowEntries[0].included = false;          // window 4, the lowest
    model->save();
    EXPECT_FALSE(model->isSaving());
    json scene = storedScene();
    EXPECT_EQ(scene["name"], "Morning");
    EXPECT_EQ(scene["layoutRefsByDisplay"], json({{kD1, "builtin.split-50-50"}}));
    EXPECT_EQ(scene["windowHints"],
              json({{kD1, {{{"bundleID", kEditor}, {"zoneID", 2}}, {{"bundleID", kMail}, {"zoneID", 2}}}}}));

    // Without the override the display's own layout is a transient one, and no reference is written.
    saved.clear();
    model->layoutIDOverride.reset();
    model->recomputeZoneAssignments();
    model->save();
    scene = storedScene();
    EXPECT_EQ(scene["layoutRefsByDisplay"], json::object());
    EXPECT_EQ(scene["windowHints"],
              json({{kD1, {{{"bundleID", kEditor}, {"zoneID", 1}}, {{"bundleID", kMail}, {"zoneID", 1}}}}}));
}

// A window the program parked shows a sliver where the window manager kept it, and one parked by an
// earlier run lies just off the display's left edge: both touch zone 1, and saved there they would be
// brought out of parking by the scene's restore.
TEST_F(SceneSaveTest, parkedWindowsAreNeitherShownNorSaved) {
    addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
    layouts = {{kD1, "builtin.split-50-50"}};
    const pid_t editor = launch(kEditor, "Editor");
    const pid_t mail = launch(kMail, "Mail");
    const pid_t notes = launch(kNotes, "Notes");
    const WindowID inZone2 = desktop->windows().open(editor, {.frame = Rect{1000, 100, 400, 300}});
    const WindowID marked = desktop->windows().open(mail, {.frame = Rect{-360, 500, 400, 300}});
    desktop->accessibility().setAttribute(desktop->windows().element(marked), platform::kParkedAttribute,
                                          true);
    desktop->windows().open(notes, {.frame = Rect{-399, 500, 400, 300}});

    auto model = capture("Desk");
    ASSERT_EQ(model->windowEntries.size(), 1u);
    EXPECT_EQ(model->windowEntries[0].windowID, inZone2);
    model->save();
    EXPECT_EQ(storedScene()["windowHints"], json({{kD1, {{{"bundleID", kEditor}, {"zoneID", 2}}}}}));
}

TEST_F(SceneSaveTest, applicationsAddedByHandAreNamedAndStoredOncePerZoneOnThePrimaryDisplay) {
    sideBySide();
    listWindow(launch(kEditor, "Editor"), "Editor", 1, Rect{0, 0, 960, 1080});
    desktop->workspace().install({.bundleID = kNotes, .url = "/opt/apps/Sticky Notes.app.desktop"});
    layouts = {{kD1, "builtin.split-50-50"}};
    auto model = capture("Desk");
    // zone, bundle identifier, the name shown
    for (const auto& [zone, bundleID, name] : std::vector<std::tuple<int, std::string, std::string>>{
             {1, kEditor, "Editor"}, // the captured window's application and zone
             {2, kNotes, "Sticky Notes"},
             {2, kNotes, "Sticky Notes"},
             {1, kNotes, "Sticky Notes"},
             {3, "com.example.gone", "com.example.gone"}}) {
        model->addManualApp(bundleID, zone);
        EXPECT_EQ(model->manualApps().at(zone).back().appName, name) << bundleID;
    }
    EXPECT_EQ(model->manualApps().at(2).size(), 1u);
    const std::string gone = model->manualApps().at(3)[0].id;
    model->removeManualApp(gone, 2); // another zone: nothing
    model->removeManualApp(gone, 3);
    EXPECT_FALSE(model->manualApps().contains(3));
    model->removeManualApp(gone, 3); // a second click before the list is redrawn: the zone holds none now
    model->removeManualApp(gone, 7); // a zone that never held any
    EXPECT_EQ(model->manualApps().size(), 2u);
    // Added while another layout was drawn: the 50:50 one has no zone 5 to show it in, nor to store it.
    model->addManualApp(kNotes, 5);
    model->save();
    EXPECT_EQ(storedScene()["windowHints"], json({{kD1,
                                                   {{{"bundleID", kEditor}, {"zoneID", 1}},
                                                    {{"bundleID", kNotes}, {"zoneID", 1}},
                                                    {{"bundleID", kNotes}, {"zoneID", 2}}}}}));

    // With nothing captured there is no display to put them on.
    saved.clear();
    desktop->windowServer().setAvailable(false);
    auto empty = capture("Empty");
    empty->addManualApp(kNotes, 1);
    empty->save();
    EXPECT_FALSE(storedScene().contains("windowHints"));
}

TEST_F(SceneSaveTest, windowsAndAddedApplicationsCarryTheIconTheDesktopGivesTheirApplication) {
    addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
    auto picture = [](std::uint32_t colour) {
        platform::IconImage icon;
        icon.width = icon.height = 2;
        icon.argb.assign(4, colour);
        return icon;
    };
    const pid_t editor = launch(kEditor, "Editor");
    desktop->workspace().setApplicationIcon(editor, picture(0xFFFF0000));
    listWindow(editor, "Editor", 1, Rect{0, 0, 960, 1080});
    listWindow(4242, "Helper", 2, Rect{960, 0, 960, 1080}); // no running application behind it
    desktop->workspace().install({.bundleID = kNotes, .url = "/opt/apps/Notes.desktop"});
    desktop->workspace().setFileIcon("/opt/apps/Notes.desktop", picture(0xFF00FF00));
    auto model = capture("Desk");
    EXPECT_EQ(entryOf(*model, 1).icon, picture(0xFFFF0000));
    EXPECT_EQ(entryOf(*model, 2).icon, std::nullopt);

    // bundle identifier, the icon of its added application: the running one's, else the installed one's
    const std::vector<std::pair<std::string, std::optional<platform::IconImage>>> rows = {
        {kEditor, picture(0xFFFF0000)}, {kNotes, picture(0xFF00FF00)}, {"com.example.gone", std::nullopt}};
    for (const auto& [bundleID, icon] : rows) {
        model->addManualApp(bundleID, 1);
        EXPECT_EQ(model->manualApps().at(1).back().icon, icon) << bundleID;
    }
}

TEST_F(SceneSaveTest, aBlankNameSavesNothingAndAFailedSaveIsLoggedAndNotReported) {
    addDisplay(kD1, "Studio", Rect{0, 0, 1920, 1080});
    listWindow(launch(kEditor, "Editor"), "Editor", 1, Rect{0, 0, 960, 1080});
    auto model = capture(" \t\n ");
    const auto before = snapshot(scenes());
    model->save();
    EXPECT_EQ(snapshot(scenes()), before);

    // A folder stands where the scene's file goes.
    const std::string id = "0A0A0A0A-1111-4222-8333-444444444444";
    std::filesystem::create_directories(scenes() / SceneStore::sceneFileName(id) / "in-the-way");
    desktop->process().enqueueUUID(id);
    model->sceneName = "Blocked";
    model->save();
    EXPECT_TRUE(saved.empty());
    EXPECT_FALSE(model->isSaving());
    EXPECT_EQ(logs.log().count("[sceneManager] Failed to save scene: "), 1u);
}

TEST(SaveSceneZoneList, zonesComeByIdFromTheTreeTheSortedSplitsOrTheStoredZones) {
    auto layout = [](std::optional<LayoutNode> tree, std::optional<std::vector<double>> xs,
                     std::optional<std::vector<ConfigZone>> zones) {
        ConfigZoneSet set;
        set.layoutTree = std::move(tree);
        set.xSplits = std::move(xs);
        set.ySplits = std::vector{0.5};
        set.zones = std::move(zones);
        return set;
    };
    auto zone = [](std::int64_t id, const Rect& frame) {
        ConfigZone z;
        z.id = id;
        z.frame = frame;
        return z;
    };
    const auto region = [](std::int64_t id) { return LayoutNode::region(id); };
    // 3 above 1 on the left, 2 on the right.
    const auto tree =
        LayoutNode::split(SplitAxis::horizontal, 0.5,
                          LayoutNode::split(SplitAxis::vertical, 0.5, region(3), region(1)), region(2));
    EXPECT_EQ(zoneList(layout(tree, std::nullopt, std::nullopt)),
              (std::vector<ZoneListEntry>{
                  {1, Rect(0, 0, 0.5, 0.5)}, {2, Rect(0.5, 0, 0.5, 1)}, {3, Rect(0, 0.5, 0.5, 0.5)}}));

    // Columns of 0.3, 0.49 and 0.21 in two rows, the top row first, however the splits were listed.
    const auto sorted = zoneList(layout(std::nullopt, std::vector{0.3, 0.7}, std::nullopt));
    EXPECT_EQ(zoneList(layout(std::nullopt, std::vector{0.7, 0.3}, std::nullopt)), sorted);
    ASSERT_EQ(sorted.size(), 6u);
    EXPECT_EQ(sorted[0], (ZoneListEntry{1, Rect(0, 0.5, 0.3, 0.5)}));

    const auto stored = layout(std::nullopt, std::nullopt,
                               std::vector{zone(2, Rect(0.5, 0, 0.5, 1)), zone(1, Rect(0, 0, 0.5, 1))});
    EXPECT_EQ(zoneList(stored),
              (std::vector<ZoneListEntry>{{1, Rect(0, 0, 0.5, 1)}, {2, Rect(0.5, 0, 0.5, 1)}}));
    EXPECT_TRUE(zoneList(layout(std::nullopt, std::nullopt, std::nullopt)).empty());
}

} // namespace
