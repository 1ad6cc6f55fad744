// The simulated workspace: scripted activation outcomes, the activation script, opening applications and
// quitting them, each announced through the loop as the real desktop does.
#include "SimDesktopFixture.h"

#include <set>

namespace korvane::sim {
namespace {

struct SimWorkspaceTest : SimDesktopTest {};

TEST_F(SimWorkspaceTest, activationOutcomesDecideTheAnswerAndWhenTheApplicationComesForward) {
    struct Row {
        const char* name;
        ActivationOutcome outcome;
        bool answers;
        bool frontAt299ms;
        bool frontAt300ms;
    };
    const Row rows[] = {
        {"normal", ActivationOutcome::normal(), true, true, true},
        {"ignored", ActivationOutcome::ignored(), true, false, false},
        {"refused", ActivationOutcome::refused(), false, false, false},
        {"delayed", ActivationOutcome::after(milliseconds(300)), true, false, true},
    };
    enum Way { activateAdvancing, activateSleeping, axFrontmost };
    for (Way way : {activateAdvancing, activateSleeping, axFrontmost}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(::testing::Message() << r.name << " by way " << way);
            pid_t app = ws().launch({.bundleID = std::string("com.example.") + r.name, .name = r.name});
            const AXElement appElement = ax().applicationElement(app);
            std::vector<nlohmann::json> infos;
            auto tokens = watch({platform::kDidActivateApplication}, infos);
            if (way == axFrontmost) {
                ax().setAXFrontmostOutcome(app, r.outcome);
                const AXError result = ax().setAttribute(appElement, "AXFrontmost", true);
                EXPECT_EQ(result, r.answers ? AXError::success : AXError::cannotComplete);
            } else {
                ws().setActivateOutcome(app, r.outcome);
                EXPECT_EQ(ws().activate(app, 0), r.answers);
            }
            auto step = [&](Nanos d) {
                way == activateSleeping ? loop().sleepBlocking(d) : loop().advance(d);
            };
            step(milliseconds(299));
            EXPECT_EQ(isFront(app), r.frontAt299ms);
            step(milliseconds(1));
            EXPECT_EQ(isFront(app), r.frontAt300ms);
            EXPECT_EQ(ws().runningApplication(app)->isActive, r.frontAt300ms);
            EXPECT_EQ(value<bool>(appElement, "AXFrontmost"), r.frontAt300ms);

            // Bringing it forward once more is announced only if it was not in front already.
            ws().bringToFront(app);
            loop().runUntilIdle();
            ASSERT_EQ(infos.size(), 1u);
            EXPECT_EQ(infos[0]["pid"], app);
            EXPECT_EQ(infos[0]["bundleID"], std::string("com.example.") + r.name);
            ws().quit(app);
        }
    }
}

TEST_F(SimWorkspaceTest, onlyTheExactActivationScriptRunsAndItsOutcomeCanBeScripted) {
    auto script = [](const std::string& bundleID) {
        return "tell application id \"" + bundleID + "\"\n    activate\nend tell";
    };
    const std::string editorScript = script("com.example.editor");
    struct Row {
        const char* name;
        std::string source;
        ScriptOutcome outcome;
        bool ok;
        int errorNumber;
        bool front;
    };
    const Row rows[] = {
        {"anything but the exact three lines", editorScript + "\n", {}, false, -2741, false},
        {"nothing installed", script("com.example.none"), {}, false, -1728, false},
        {"refused", editorScript, {.errorNumber = -1743, .message = "not allowed"}, false, -1743, false},
        {"runs without effect", editorScript, {.activates = false}, true, 0, false},
        {"runs", editorScript, {}, true, 0, true},
    };
    for (const Row& r : rows) {
        ws().setScriptOutcome("com.example.editor", r.outcome);
        const auto result = ws().runScript(r.source);
        EXPECT_EQ(result.ok, r.ok) << r.name;
        EXPECT_EQ(result.errorNumber, r.errorNumber) << r.name;
        EXPECT_EQ(isFront(editor), r.front) << r.name;
    }
    EXPECT_EQ(ws().scriptsRun().size(), std::size(rows)) << "every script is kept, refused or not";
}

TEST_F(SimWorkspaceTest, openingAnApplicationLaunchesItThroughTheLoopFailsIsRefusedOrNeverEnds) {
    ws().install({.bundleID = "com.example.viewer", .name = "Viewer"});
    ws().install({.bundleID = "com.example.broken", .name = "Broken"});
    ws().install({.bundleID = "com.example.stuck", .name = "Stuck"});
    ws().install({.bundleID = "com.example.refused", .name = "Refused"});
    ws().setOpenBehaviour("com.example.viewer", {.after = seconds(2.0)});
    ws().setOpenBehaviour("com.example.broken", {.mode = OpenBehaviour::Mode::fails, .error = "damaged"});
    ws().setOpenBehaviour("com.example.stuck", {.mode = OpenBehaviour::Mode::never});
    ws().setOpenBehaviour("com.example.refused",
                          {.mode = OpenBehaviour::Mode::refuses, .error = "no command"});
    EXPECT_TRUE(ws().urlForApplication("com.example.viewer").has_value());
    EXPECT_FALSE(ws().urlForApplication("com.example.absent").has_value());

    std::map<std::string, platform::OpenApplicationResult> results;
    std::set<std::string> refused;
    for (std::string id : {"com.example.viewer", "com.example.broken", "com.example.stuck",
                           "com.example.absent", "com.example.refused"})
        if (!ws().openApplication(id, true, false, [&results, id](auto r) { results[id] = r; }))
            refused.insert(id);
    EXPECT_EQ(refused, (std::set<std::string>{"com.example.absent", "com.example.refused"}));
    loop().advance(seconds(1.999));
    EXPECT_EQ(results.count("com.example.viewer"), 0u);
    loop().advance(seconds(10.0));
    ASSERT_TRUE(results["com.example.viewer"].app);
    const pid_t viewer = results["com.example.viewer"].app->pid;
    EXPECT_TRUE(isFront(viewer));
    EXPECT_EQ(ws().runningApplication(viewer)->bundleID, "com.example.viewer");
    EXPECT_EQ(results.count("com.example.stuck"), 0u);
    EXPECT_FALSE(results["com.example.broken"].app.has_value());
    EXPECT_EQ(results["com.example.broken"].error, "damaged");
    EXPECT_TRUE(results["com.example.absent"].error.has_value());
    EXPECT_EQ(results["com.example.refused"].error, "no command");
    EXPECT_EQ(ws().runningApplications().size(), 2u);
}

TEST_F(SimWorkspaceTest, quittingEndsWindowsSilentlyAndAnnouncesTheTermination) {
    std::vector<nlohmann::json> infos;
    auto tokens = watch({platform::kDidLaunchApplication, platform::kDidTerminateApplication}, infos);
    pid_t app = ws().launch({.bundleID = "com.example.short", .name = "Short"});
    auto w = windows().open(app, {.frame = Rect{0, 0, 300, 300}});
    int axCalls = 0;
    auto observer = observe(app, [&](const AXElement&, const std::string&) { ++axCalls; });
    observer->addNotification(el(w), "AXUIElementDestroyed");
    const AXElement gone = el(w);

    ws().quit(app);
    loop().runUntilIdle();
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[1]["name"], platform::kDidTerminateApplication);
    EXPECT_EQ(infos[1]["pid"], app);
    EXPECT_EQ(infos[1]["bundleID"], "com.example.short");
    EXPECT_EQ(axCalls, 0);
    EXPECT_EQ(status(gone, "AXPosition"), AXError::invalidUIElement);
    EXPECT_EQ(status(ax().applicationElement(app), "AXWindows"), AXError::invalidUIElement);
    EXPECT_FALSE(ws().runningApplication(app).has_value());
}

} // namespace
} // namespace korvane::sim
