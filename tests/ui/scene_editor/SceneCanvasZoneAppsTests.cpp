// The applications of a display's zones on the simulated desktop: which zone or Excluded each stored hint
// lands in, the names and pictures found later in the background one application at a time and kept for
// the process, lookups a reload makes stale, and chips of zones that disappear.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "SceneEditorFixture.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "ui/scene_editor/ApplicationNames.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

constexpr const char* kMail = "com.example.Mail";
constexpr const char* kFoo = "org.example.Foo";
constexpr const char* kGone = "com.example.Gone";

class SceneCanvasZoneAppsTest : public korvane::testing::SceneEditorTest {
  protected:
    void SetUp() override {
        SceneEditorTest::SetUp();
        const auto entry = folder.path() / "apps" / "Mail Client.desktop";
        write(
            entry,
            "# installed by the test\n[Desktop Entry]\nType=Application\nName = Mail\\sClient\nExec=mail\n");
        mailLocation = "file://" + escapedSpaces(entry.string());
        desktop->workspace().install({.bundleID = kMail, .url = mailLocation});
        desktop->workspace().setFileIcon(mailLocation, platform::IconImage{1, 1, {0xff336699u}, ""});
        desktop->workspace().install({.bundleID = kFoo, .url = "/opt/apps/Foo.app Beta.app"});
    }
    static std::string escapedSpaces(std::string path) {
        for (auto at = path.find(' '); at != std::string::npos; at = path.find(' '))
            path.replace(at, 1, "%20");
        return path;
    }
    static std::vector<std::string> names(const std::vector<SceneCanvasAppEntry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.name);
        return out;
    }
    std::shared_ptr<SceneGeometryCanvasModel> dailyWith(std::vector<WindowHint> hints) {
        auto inputs =
            canvasInputs(storeScene("Work", {{"D", "builtin.daily"}}, {{"D", std::move(hints)}}), "D");
        auto canvas = SceneGeometryCanvasModel::make(platform, std::move(inputs), cache);
        canvas->appear();
        canvas->setCanvasSize(Size{1000, 600});
        desktop->loop().runUntilIdle();
        return canvas;
    }
    std::string mailLocation;

    static WindowHint hint(const std::string& bundleID, std::int64_t zone) {
        return {bundleID, zone, std::nullopt};
    }
};

TEST_F(SceneCanvasZoneAppsTest, storedHintsGoToTheirZonesAndHintsForOtherZonesToExcluded) {
    auto canvas = dailyWith({hint(kMail, 2), hint("Foo", 7), hint(kMail, 2)});
    EXPECT_EQ(names(canvas->zoneApps().at(2)), (std::vector<std::string>{"Mail", "Mail"}));
    EXPECT_NE(canvas->zoneApps().at(2)[0].id, canvas->zoneApps().at(2)[1].id);
    for (std::int64_t zone : {1, 3, 4})
        EXPECT_TRUE(canvas->zoneApps().at(zone).empty()) << zone;
    EXPECT_EQ(names(canvas->excludedApps()), std::vector<std::string>{"Foo"});
}

TEST_F(SceneCanvasZoneAppsTest, namesAndPicturesAreFoundFromTwoTenthsOfASecondLaterOneApplicationAtATime) {
    auto canvas = dailyWith({hint(kMail, 1), hint(kFoo, 2), hint(kGone, 3)});
    const std::string mailChip = canvas->zoneApps().at(1).front().id;
    auto shown = [&] {
        return std::vector<std::string>{canvas->zoneApps().at(1).front().name,
                                        canvas->zoneApps().at(2).front().name,
                                        canvas->zoneApps().at(3).front().name};
    };
    EXPECT_EQ(shown(), (std::vector<std::string>{"Mail", "Foo", "Gone"}));

    desktop->loop().advance(milliseconds(199));
    EXPECT_EQ(loop.heldCount(), 0u);
    desktop->loop().advance(milliseconds(1));
    for (int lookup = 0; lookup < 3; ++lookup) {
        ASSERT_EQ(loop.heldCount(), 1u) << "lookup " << lookup; // never two at once
        loop.runHeld();
    }
    EXPECT_EQ(loop.heldCount(), 0u);
    EXPECT_EQ(shown(), (std::vector<std::string>{"Mail Client", "Foo Beta", "Gone"}));
    EXPECT_EQ(canvas->zoneApps().at(1).front().id, mailChip);
    ASSERT_NE(canvas->zoneApps().at(1).front().icon, nullptr);
    EXPECT_EQ(canvas->zoneApps().at(1).front().icon->argb, std::vector<std::uint32_t>{0xff336699u});
    EXPECT_EQ(canvas->zoneApps().at(2).front().icon, nullptr); // the desktop keeps none for it
    EXPECT_EQ(canvas->zoneApps().at(3).front().icon, nullptr); // not installed
    EXPECT_EQ(desktop->workspace().iconRequestCount(), 2u);

    // Kept for the process, the failed lookup too: a later canvas shows them at once and looks nothing up.
    auto later = dailyWith({hint(kMail, 4), hint(kGone, 2)});
    EXPECT_EQ(later->zoneApps().at(4).front().name, "Mail Client");
    EXPECT_EQ(later->zoneApps().at(4).front().icon, canvas->zoneApps().at(1).front().icon);
    EXPECT_EQ(later->zoneApps().at(2).front().name, "Gone");
    desktop->loop().advance(milliseconds(300));
    EXPECT_EQ(loop.heldCount(), 0u);
    EXPECT_EQ(desktop->workspace().iconRequestCount(), 2u);
}

TEST_F(SceneCanvasZoneAppsTest, aCanvasWhoseApplicationAnotherCanvasFoundDuringItsPauseShowsWhatWasFound) {
    // The editor's second display loads a moment after the first, both showing the same application.
    auto first = dailyWith({hint(kMail, 1)});
    desktop->loop().advance(milliseconds(100));
    auto second = dailyWith({hint(kMail, 2)});
    desktop->loop().advance(milliseconds(100));
    ASSERT_EQ(loop.heldCount(), 1u);
    loop.runHeld();
    loop.settle();
    ASSERT_EQ(first->zoneApps().at(1).front().name, "Mail Client");
    EXPECT_EQ(second->zoneApps().at(2).front().name, "Mail");

    // Its own pause ends with the application known: nothing to look up, and shown as found.
    desktop->loop().advance(milliseconds(100));
    loop.settle();
    EXPECT_EQ(loop.heldCount(), 0u);
    EXPECT_EQ(second->zoneApps().at(2).front().name, "Mail Client");
    EXPECT_EQ(second->zoneApps().at(2).front().icon, first->zoneApps().at(1).front().icon);
    EXPECT_NE(second->zoneApps().at(2).front().icon, nullptr);
    EXPECT_EQ(desktop->workspace().iconRequestCount(), 1u);
}

TEST_F(SceneCanvasZoneAppsTest, aReloadDropsTheLookupsOfTheLoadBeforeIt) {
    struct Case {
        const char* what;
        Nanos reloadAfter;  // from the first load
        bool oneLookupDone; // the reload comes after the first lookup ran, while the second waits
    };
    const std::vector<Case> cases{
        {"a reload within 0.2 s", milliseconds(150), false},
        {"a reload between two lookups", milliseconds(200), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cache = std::make_shared<BundleInfoCache>();
        auto canvas = dailyWith({hint(kMail, 1), hint(kFoo, 2)});
        desktop->loop().advance(c.reloadAfter);
        if (c.oneLookupDone) {
            ASSERT_EQ(loop.heldCount(), 1u);
            canvas->resetFromScene(); // the lookup under way now belongs to a stale load
            loop.runHeld();
        } else {
            canvas->resetFromScene();
        }
        EXPECT_EQ(canvas->zoneApps().at(1).front().name, "Mail");
        EXPECT_FALSE(cache->contains(kMail));
        EXPECT_EQ(loop.heldCount(), 0u);

        // The reload's own lookups start 0.2 s after it.
        desktop->loop().advance(milliseconds(199));
        EXPECT_EQ(loop.heldCount(), 0u);
        desktop->loop().advance(milliseconds(1));
        loop.settle();
        EXPECT_EQ(canvas->zoneApps().at(1).front().name, "Mail Client");
    }
}

TEST_F(SceneCanvasZoneAppsTest, chipsOfAZoneThatDisappearsGoToTheEndOfExcluded) {
    struct Case {
        const char* what;
        bool announce;
        bool dirty;
        std::optional<std::string> hint;
    };
    const std::vector<Case> cases{
        {"after a merge: announced and unsaved", true, true, "Apps from removed zones moved to Excluded"},
        {"after a load or a resize: silent", false, false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bridge = std::make_shared<SceneEditorCanvasBridge>();
        auto inputs = canvasInputs(
            storeScene(
                "Work", {{"D", "builtin.daily"}},
                {{"D", {hint("com.example.A", 1), hint("com.example.B", 2), hint("com.example.X", 7)}}}),
            "D");
        inputs.canvasBridge = bridge;
        auto canvas = showCanvas(inputs);
        const std::string chipB = canvas->zoneApps().at(2).front().id;

        // The left column's two zones become zone 1.
        ASSERT_TRUE(canvas->treeEditor()->merge({0}));
        canvas->refreshGeometry(c.announce);
        loop.settle();
        EXPECT_EQ(names(canvas->excludedApps()), (std::vector<std::string>{"X", "B"}));
        EXPECT_EQ(canvas->excludedApps().back().id, chipB);
        EXPECT_EQ(canvas->zoneApps().count(2), 0u);
        EXPECT_EQ(names(canvas->zoneApps().at(1)), std::vector<std::string>{"A"});
        EXPECT_EQ(canvas->isWindowHintsDirty(), c.dirty);
        EXPECT_EQ(bridge->hasUnsavedChanges(), c.dirty);
        EXPECT_EQ(canvas->hintMessage(), c.hint);
    }
}

TEST_F(SceneCanvasZoneAppsTest, anApplicationIsNamedByItsDesktopEntryElseByItsLocationElseByItsIdentifier) {
    struct Case {
        const char* what;
        std::string bundleID;
        std::optional<std::string> entryText; // written at the location when set
        std::string location;
        std::string name;
    };
    const std::vector<Case> cases{
        {"the entry's name", "com.example.Mail", "[Desktop Entry]\nName=Mail\n", "mail.desktop", "Mail"},
        {"\".app\" removed wherever it stands", "org.example.Foo", "[Desktop Entry]\nName=Foo.app Beta\n",
         "foo.desktop", "Foo Beta"},
        {"a name of another group", "com.example.Mail", "[Desktop Action New]\nName=New\n[Desktop Entry]\n",
         "Mail.desktop", "Mail"},
        {"no entry file: the location's name", "org.example.Foo", std::nullopt, "/opt/Foo.app Beta.app",
         "Foo Beta"},
        {"a location without a name", "com.example.Notes", std::nullopt, "/", "Notes"},
    };
    for (const auto& c : cases) {
        std::string location = c.location;
        if (c.entryText) {
            location = (folder.path() / c.location).string();
            write(location, *c.entryText);
        }
        EXPECT_EQ(installedApplicationName(location, c.bundleID), c.name) << c.what;
    }
    // A "file:" URL's escapes are undone whichever case their hex digits are in.
    write(folder.path() / "mail+client+.desktop", "[Desktop Entry]\nName=Mail Plus\n");
    EXPECT_EQ(installedApplicationName("file://" + (folder.path() / "mail%2bclient%2B.desktop").string(),
                                       "com.example.Mail"),
              "Mail Plus");
}

} // namespace

namespace {

TEST_F(SceneCanvasZoneAppsTest, applicationsAreAddedTrimmedRemovedToExcludedAndTheDropChipIsNeverStored) {
    auto canvas = dailyWith({hint(kMail, 1), hint(kFoo, 1)});
    struct Case {
        const char* typed;
        std::vector<std::string> zone2;
    };
    const std::vector<Case> cases{
        {" com.example.Notes\n", {"com.example.Notes"}},
        {"   \n", {"com.example.Notes"}},
        {"", {"com.example.Notes"}},
        {"com.example.Notes", {"com.example.Notes", "com.example.Notes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        canvas->addApp(c.typed, 2);
        std::vector<std::string> ids;
        for (const auto& e : canvas->zoneApps().at(2))
            ids.push_back(e.bundleID);
        EXPECT_EQ(ids, c.zone2);
    }
    EXPECT_TRUE(canvas->isWindowHintsDirty());

    canvas->removeApp(canvas->zoneApps().at(1).at(0), 1);
    ASSERT_EQ(canvas->excludedApps().size(), 1u);
    EXPECT_EQ(canvas->excludedApps().back().bundleID, kMail);

    canvas->setDropTarget(2, true);
    EXPECT_EQ(canvas->displayedApps(2).back().name, "Drop here");
    EXPECT_TRUE(canvas->displayedApps(2).back().isPlaceholder);
    EXPECT_EQ(canvas->displayedApps(1).size(), 1u);
    canvas->setDropTarget(1, false); // another zone's leave keeps zone 2's chip
    EXPECT_EQ(canvas->displayedApps(2).size(), 3u);
    ASSERT_TRUE(canvas->saveChanges());
    EXPECT_EQ(
        storedScene(canvas->inputs().scene.id).windowHintsForDisplay("D"),
        (std::vector<WindowHint>{hint(kFoo, 1), hint("com.example.Notes", 2), hint("com.example.Notes", 2)}));
    canvas->setDropTarget(2, false);
    EXPECT_EQ(canvas->displayedApps(2).size(), 2u);

    canvas->setAppPickerPresented(1, true);
    canvas->setAppPickerPresented(2, true);
    canvas->setAppPickerPresented(1, false);
    EXPECT_EQ(canvas->appPickerZoneID(), 2);
}

} // namespace
