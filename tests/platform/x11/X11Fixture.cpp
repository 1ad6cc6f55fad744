// Session and environment of the backend's tests. The desktop's environment is pointed at fresh
// folders: its defaults, and the only desktop entry it can find (an xterm of our own).
#include "X11Fixture.h"

#include "platform/Platform.h"

#include <cstdlib>
#include <fstream>
#include <utility>

namespace korvane::x11::test {

namespace fs = std::filesystem;

void X11Test::SetUpTestSuite() {
    session_ = new X11TestSession();
    folder_ = new testing::TempFolder();
    fs::create_directories(dataHome() + "/applications");
    std::ofstream(dataHome() + "/applications/" + kSampleBundleID + ".desktop")
        << "[Desktop Entry]\nType=Application\nName=" << kSampleName
        << "\nExec=xterm -title \"Launched by test\" -geometry 60x20+2200+300 -e "
           "cat\nStartupWMClass=XTerm\nIcon="
        << kSampleBundleID << "\n";
    // Its icon in the icon theme, as a picture format any reader knows without help.
    fs::create_directories(dataHome() + "/icons/hicolor/48x48/apps");
    std::ofstream(dataHome() + "/icons/hicolor/48x48/apps/" + kSampleBundleID + ".xpm") << kSampleIconXPM;
    ::setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder_->path() / "no-data").c_str(), 1);
    ::setenv("KORVANE_HOME", (folder_->path() / "support").c_str(), 1);
}

void X11Test::TearDownTestSuite() {
    delete std::exchange(session_, nullptr);
    delete std::exchange(folder_, nullptr);
}

void X11Test::SetUp() {
    ASSERT_NE(session_, nullptr);
    reconnect();
}

void X11Test::reconnect() {
    if (platform::Platform::hasCurrent()) platform::Platform::setCurrent(nullptr);
    desktop.reset();
    std::string error;
    desktop = X11Desktop::connect(session_->display(), error);
    ASSERT_NE(desktop, nullptr) << error;
    platform::Platform::setCurrent(desktop.get());
    // A loaded machine may keep the window manager busy for a while; waits end as soon as it is done.
    desktop->accessibility().setMessagingTimeout(desktop->accessibility().systemWideElement(), 5.0f);
}

void X11Test::TearDown() {
    platform::Platform::setCurrent(nullptr);
    for (const auto& x : xterms_)
        session_->closeXterm(x);
    for (auto d : docks_)
        session_->destroyWindow(d);
    desktop.reset();
}

X11TestSession::Xterm X11Test::xterm(const std::string& title, const std::string& geometry,
                                     const std::vector<std::string>& options) {
    std::vector<std::string> argv{"xterm", "-title", title, "-geometry", geometry};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-e", "cat"});
    X11TestSession::Xterm x{session_->start(argv)};
    // Returns once the desktop, not only the server, knows the window: what the test does next is seen.
    auto& ax = desktop->accessibility();
    platform::AXError error = platform::AXError::failure;
    auto observer = ax.createObserver(
        x.pid,
        [&](const platform::AXElement& e, const std::string&) {
            x.window = static_cast<xcb_window_t>(e.token);
        },
        error);
    EXPECT_EQ(observer->addNotification(ax.applicationElement(x.pid), "AXWindowCreated"),
              platform::AXError::success);
    xterms_.push_back(x);
    EXPECT_TRUE(runUntil([&] { return x.window != XCB_WINDOW_NONE; }))
        << "xterm \"" << title << "\" did not show";
    xterms_.back().window = x.window;
    return x;
}

void X11Test::close(const X11TestSession::Xterm& x) {
    session_->closeXterm(x);
    std::erase_if(xterms_, [&](const auto& o) { return o.pid == x.pid; });
}

xcb_window_t X11Test::dock(double height) {
    const auto h = static_cast<std::uint32_t>(height);
    return docks_.emplace_back(
        session_->createDock(Rect(kPrimaryRoot.minX(), 0, kPrimaryRoot.width(), height),
                             {0, 0, h, 0, 0, 0, 0, 0, static_cast<std::uint32_t>(kPrimaryRoot.minX()),
                              static_cast<std::uint32_t>(kPrimaryRoot.maxX() - 1), 0, 0}));
}

std::unique_ptr<platform::ObserverToken> X11Test::listen(const char* name,
                                                         std::vector<nlohmann::json>& heard) {
    return desktop->notificationCenter().addObserver(
        name, platform::NotificationCenter::Delivery::mainQueue,
        [&heard](const std::string&, const nlohmann::json& info) { heard.push_back(info); });
}

bool X11Test::runUntil(const std::function<bool()>& condition, Nanos timeout) {
    return desktop->runUntil(condition, timeout);
}

} // namespace korvane::x11::test
