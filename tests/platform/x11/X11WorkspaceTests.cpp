// The workspace on a real X server: running applications from the clients, activation, launching by
// bundle identifier through a desktop entry, the launch / terminate / activate announcements, and
// script activation.
#include "X11Fixture.h"

#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"
#include "platform/x11/X11Workspace.h"

#include <csignal>
#include <unistd.h>

namespace korvane::x11::test {
namespace {

using namespace platform;

struct Announcements {
    explicit Announcements(NotificationCenter& center) {
        for (const char* name : {kDidLaunchApplication, kDidTerminateApplication, kDidActivateApplication})
            tokens.push_back(center.addObserver(
                name, NotificationCenter::Delivery::mainQueue,
                [this](const std::string& n, const nlohmann::json& info) { heard.emplace_back(n, info); }));
    }
    bool has(const std::string& name, pid_t pid) const {
        for (const auto& [n, info] : heard)
            if (n == name && info.value("pid", 0) == pid) return true;
        return false;
    }
    std::vector<std::pair<std::string, nlohmann::json>> heard;
    std::vector<std::unique_ptr<ObserverToken>> tokens;
};

using X11WorkspaceTest = X11Test;

TEST_F(X11WorkspaceTest, runningApplicationsAreTheClientProcessesNamedByTheirDesktopEntry) {
    const auto a = xterm("One", "60x20+2000+100");
    const auto b = xterm("Two", "60x20+2300+200");
    auto apps = desktop->workspace().runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].pid, a.pid); // in the order their windows were mapped
    EXPECT_EQ(apps[1].pid, b.pid);
    for (const auto& app : apps) {
        EXPECT_EQ(app.bundleID, std::optional<std::string>(kSampleBundleID));
        EXPECT_EQ(app.name, std::optional<std::string>(kSampleName));
        EXPECT_EQ(app.activationPolicy, ActivationPolicy::regular);
        EXPECT_FALSE(app.isHidden);
        EXPECT_FALSE(app.isTerminated);
    }
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, b.pid);
    EXPECT_TRUE(desktop->workspace().runningApplication(b.pid)->isActive);
    EXPECT_FALSE(desktop->workspace().runningApplication(::getpid()).has_value());
}

TEST_F(X11WorkspaceTest, activatingAnApplicationByPidOrScriptFocusesItsMostRecentWindowAndIsAnnounced) {
    Announcements announced(desktop->notificationCenter());
    const auto a = xterm("Older", "60x20+2000+100");
    const auto b = xterm("Newer", "60x20+2300+200");
    ASSERT_TRUE(runUntil([&] { return announced.has(kDidActivateApplication, b.pid); }));
    announced.heard.clear();

    EXPECT_TRUE(desktop->workspace().activate(a.pid, kActivateIgnoringOtherApps));
    ASSERT_TRUE(runUntil([&] { return announced.has(kDidActivateApplication, a.pid); }));
    EXPECT_EQ(session().activeWindow(), a.window);
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, a.pid);

    // Unhiding an application whose windows are all minimised brings one back.
    desktop->accessibility().setAttribute(AXElement{AXElement::Kind::window, b.pid, b.window}, "AXMinimized",
                                          true);
    EXPECT_TRUE(desktop->workspace().runningApplication(b.pid)->isHidden);
    EXPECT_TRUE(desktop->workspace().unhide(b.pid));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    EXPECT_EQ(session().wmState(b.window), 1);
    EXPECT_FALSE(desktop->workspace().activate(999999, 0));

    // The activation script: both xterms are the same application, and the first started is activated.
    auto script = [&](const std::string& id) {
        return desktop->workspace().runScript("tell application id \"" + id + "\"\n    activate\nend tell");
    };
    const auto result = script(kSampleBundleID);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.errorNumber, 0);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == a.window; }));
    EXPECT_NE(script("no.such.app").errorNumber, 0);
    EXPECT_FALSE(desktop->workspace().runScript("display dialog \"hi\"").ok);
}

TEST_F(X11WorkspaceTest, launchingByBundleIdentifierRunsTheDesktopEntryAndIsAnnounced) {
    Announcements announced(desktop->notificationCenter());
    EXPECT_EQ(desktop->workspace().urlForApplication(kSampleBundleID),
              std::optional<std::string>(dataHome() + "/applications/" + kSampleBundleID + ".desktop"));
    EXPECT_FALSE(desktop->workspace().urlForApplication("no.such.app").has_value());

    std::optional<OpenApplicationResult> result;
    desktop->workspace().openApplication(kSampleBundleID, true, [&](OpenApplicationResult r) { result = r; });
    EXPECT_FALSE(result.has_value()); // completions run from the main queue, never inside the call
    ASSERT_TRUE(runUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->app.has_value()) << result->error.value_or("");
    const pid_t pid = result->app->pid;
    EXPECT_EQ(result->app->bundleID, std::optional<std::string>(kSampleBundleID));
    EXPECT_TRUE(announced.has(kDidLaunchApplication, pid));

    // The window shows with the entry's title on the server the desktop is connected to.
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(runUntil([&] { return (window = session().clientOf(pid)).has_value(); }));
    AXValue title;
    ASSERT_EQ(desktop->accessibility().copyAttribute(AXElement{AXElement::Kind::window, pid, *window},
                                                     "AXTitle", title),
              AXError::success);
    EXPECT_EQ(std::get<std::string>(title), "Launched by test");
    EXPECT_EQ(desktop->workspace().runningApplication(pid)->bundleID,
              std::optional<std::string>(kSampleBundleID));

    ::kill(pid, SIGTERM);
    ASSERT_TRUE(runUntil([&] { return announced.has(kDidTerminateApplication, pid); }));
    EXPECT_FALSE(desktop->workspace().runningApplication(pid).has_value());

    std::optional<OpenApplicationResult> missing;
    desktop->workspace().openApplication("no.such.app", true, [&](OpenApplicationResult r) { missing = r; });
    ASSERT_TRUE(runUntil([&] { return missing.has_value(); }));
    EXPECT_FALSE(missing->app.has_value());
    EXPECT_TRUE(missing->error.has_value());
}

TEST(X11Workspace, onlyTheThreeLineActivationScriptIsUnderstood) {
    struct Row {
        const char* source;
        std::optional<std::string> bundleID;
    };
    const Row rows[] = {
        {"tell application id \"com.example.App\"\n    activate\nend tell", "com.example.App"},
        {"tell application id \"com.example.App\"\n    activate\nend tell\n", "com.example.App"},
        {"tell application id \"com.example.App\"\r\n    activate\r\nend tell", "com.example.App"},
        {"tell application id \"\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"a\"b\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\"\n    quit\nend tell", std::nullopt},
        {"tell application \"Safari\"\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\"\n    activate\n    activate\nend tell", std::nullopt},
        {"tell application id \"com.example.App\" to activate", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(X11Workspace::parseActivationScript(row.source), row.bundleID) << row.source;
}

} // namespace
} // namespace korvane::x11::test
