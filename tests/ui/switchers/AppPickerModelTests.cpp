// The application picker's lists, search, custom identifier, keyboard highlight and choice, over the
// simulated desktop's running and installed applications.
#include "ui/switchers/AppPickerModel.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class AppPickerModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& workspace = desktop->workspace();
        workspace.install({.bundleID = "org.example.editor", .name = "editor"});
        workspace.install({.bundleID = "org.example.Browser", .name = "Browser"});
        workspace.install({.bundleID = "org.example.terminal", .name = "Terminal"});
        workspace.launch({.bundleID = "org.example.terminal", .name = "Terminal"});
        workspace.launch(
            {.bundleID = "org.example.terminal", .name = "Terminal"}); // a second window's process
        workspace.launch({.bundleID = "org.example.Calc", .name = "calc"});
        workspace.launch({.bundleID = "org.example.agent",
                          .name = "Agent",
                          .activationPolicy = platform::ActivationPolicy::accessory});
        workspace.launch({.bundleID = std::nullopt, .name = "No Identifier"});
        desktop->loop().runUntilIdle();
    }
    std::shared_ptr<AppPickerModel> picker(bool showBundleID, std::string selected = "") {
        auto model = std::make_shared<AppPickerModel>(*desktop, std::move(selected), showBundleID);
        model->onSelect = [this](const std::string& id) { selections.push_back(id); };
        model->onDismiss = [this] { ++dismissals; };
        model->appear();
        desktop->loop().runUntilIdle();
        return model;
    }
    static std::vector<std::string> ids(const std::vector<AppInfo>& apps) {
        std::vector<std::string> out;
        for (const auto& app : apps)
            out.push_back(app.bundleID);
        return out;
    }
    static std::vector<std::string> rowIDs(const AppPickerModel& model) {
        std::vector<std::string> out;
        for (const auto& row : model.rows())
            out.push_back(std::holds_alternative<CustomBundleIDRow>(row)
                              ? "custom:" + std::get<CustomBundleIDRow>(row).bundleID
                              : std::get<AppInfo>(row).bundleID);
        return out;
    }

    sim::ScopedSimDesktop desktop;
    std::vector<std::string> selections;
    int dismissals = 0;
};

} // namespace

TEST_F(AppPickerModelTest, listsRegularRunningAppsOnceAndInstalledOnesThatDoNotRunSortedByNameCaseAside) {
    auto model = std::make_shared<AppPickerModel>(*desktop, "", true);
    model->appear();
    // The installed applications come from a background scan: until it is back only running ones show.
    EXPECT_EQ(ids(model->filteredRunningApps()),
              (std::vector<std::string>{"org.example.Calc", "org.example.terminal"}));
    EXPECT_TRUE(model->filteredInstalledApps().empty());

    desktop->loop().runUntilIdle();
    // Launched applications count as installed; the running terminal and calculator are not listed again,
    // the agent, which runs without being a regular application, is.
    EXPECT_EQ(model->installedApps().size(), 5u);
    EXPECT_EQ(ids(model->filteredInstalledApps()),
              (std::vector<std::string>{"org.example.agent", "org.example.Browser", "org.example.editor"}));
    EXPECT_EQ(rowIDs(*model),
              (std::vector<std::string>{"org.example.Calc", "org.example.terminal", "org.example.agent",
                                        "org.example.Browser", "org.example.editor"}));

    // Gone before the scan returns, the model is not touched.
    auto late = std::make_shared<AppPickerModel>(*desktop, "", true);
    late->appear();
    late.reset();
    desktop->loop().runUntilIdle();
}

TEST_F(AppPickerModelTest, korvaneItselfIsOfferedNeitherAsRunningNorAsInstalled) {
    desktop->process().setBundleIdentifier("com.korvane.app");
    desktop->workspace().install({.bundleID = "com.korvane.app", .name = "Korvane"});
    desktop->workspace().launch({.bundleID = "com.korvane.app", .name = "Korvane"});
    auto model = picker(true);
    EXPECT_EQ(rowIDs(*model),
              (std::vector<std::string>{"org.example.Calc", "org.example.terminal", "org.example.agent",
                                        "org.example.Browser", "org.example.editor"}));
    model->setSearchText("Korvane");
    EXPECT_EQ(rowIDs(*model), std::vector<std::string>{"custom:Korvane"});
}

TEST_F(AppPickerModelTest, searchMatchesNamesAndIdentifiersCaseAsideAndClearsTheHighlight) {
    auto model = picker(false);
    model->moveHighlight(1);
    ASSERT_EQ(model->highlightedIndex(), 0);

    model->setSearchText("TERM");
    EXPECT_EQ(model->highlightedIndex(), std::nullopt);
    EXPECT_EQ(rowIDs(*model), (std::vector<std::string>{"org.example.terminal"}));

    // Identifiers match even where they are not shown, and no custom row is offered.
    model->setSearchText("org.example.b");
    EXPECT_EQ(rowIDs(*model), (std::vector<std::string>{"org.example.Browser"}));
    model->setSearchText("nothing.like.this");
    EXPECT_TRUE(model->rows().empty());

    // The text is not trimmed for matching: a trailing blank matches nothing here.
    model->setSearchText("calc ");
    EXPECT_TRUE(model->rows().empty());
}

TEST_F(AppPickerModelTest, theTypedTextIsOfferedFirstAsACustomIdentifierOnlyWhenItIsOneWord) {
    auto model = picker(true);
    struct Case {
        std::string typed;
        std::optional<std::string> custom;
    };
    const Case cases[] = {
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"two words", std::nullopt},
        {"  com.example.new\n", "com.example.new"},
        {"org.example.terminal", "org.example.terminal"}, // offered even when it is listed
        {"no\xC2\xA0"
         "break",
         std::nullopt},
    };
    for (const auto& c : cases) {
        model->setSearchText(c.typed);
        EXPECT_EQ(model->customCandidate(), c.custom) << c.typed;
    }
    model->setSearchText("org.example.terminal");
    EXPECT_EQ(rowIDs(*model),
              (std::vector<std::string>{"custom:org.example.terminal", "org.example.terminal"}));

    auto hidden = picker(false);
    hidden->setSearchText("com.example.new");
    EXPECT_EQ(hidden->customCandidate(), std::nullopt);
}

TEST_F(AppPickerModelTest, theHighlightStartsAtTheEndItMovesTowardsAndStopsAtEitherEnd) {
    auto model = picker(true);
    const int last = static_cast<int>(model->rows().size()) - 1;
    ASSERT_EQ(last, 4);

    model->moveHighlight(-1);
    EXPECT_EQ(model->highlightedIndex(), last);
    model->moveHighlight(1);
    EXPECT_EQ(model->highlightedIndex(), last);
    for (int i = 0; i < 6; ++i)
        model->moveHighlight(-1);
    EXPECT_EQ(model->highlightedIndex(), 0);

    model->setSearchText("zzz zzz");
    model->moveHighlight(1);
    EXPECT_EQ(model->highlightedIndex(), std::nullopt);
}

TEST_F(AppPickerModelTest, returnChoosesTheHighlightedRowElseTheFirstAndNothingWithoutRows) {
    auto model = picker(true, "org.example.Calc");
    model->setSearchText("zzz zzz");
    model->submit();
    EXPECT_TRUE(selections.empty());
    EXPECT_EQ(dismissals, 0);
    EXPECT_EQ(model->selectedBundleID, "org.example.Calc");

    // Without a highlight the first row, here the custom one.
    model->setSearchText("com.example.typed");
    model->submit();
    EXPECT_EQ(selections, (std::vector<std::string>{"com.example.typed"}));
    EXPECT_EQ(model->selectedBundleID, "com.example.typed");
    EXPECT_EQ(dismissals, 1);

    // A highlighted row wins over the first one.
    model->appear();
    desktop->loop().runUntilIdle();
    model->moveHighlight(-1);
    model->submit();
    EXPECT_EQ(selections.back(), "org.example.editor");
    EXPECT_EQ(dismissals, 2);

    // Escape only dismisses; a click on a row outside the list does nothing.
    model->selectRow(99);
    model->cancel();
    EXPECT_EQ(selections.size(), 2u);
    EXPECT_EQ(dismissals, 3);
    EXPECT_EQ(model->selectedBundleID, "org.example.editor");
}
