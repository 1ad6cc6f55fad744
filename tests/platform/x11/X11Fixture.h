// The fixture of the backend's tests: one private X server per test suite, a fresh desktop connection
// per test, and the xterms and docks a test makes ended when it finishes.
#pragma once

#include "X11TestSession.h"

#include "platform/Accessibility.h"
#include "platform/NotificationCenter.h"
#include "platform/x11/X11Desktop.h"

#include <gtest/gtest.h>

namespace korvane::x11::test {

class X11Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // An xterm on the primary monitor unless placed elsewhere, known to the desktop on return.
    X11TestSession::Xterm xterm(const std::string& title, const std::string& geometry = "60x20+2000+100",
                                const std::vector<std::string>& options = {});
    void close(const X11TestSession::Xterm& x);
    // A dock with a strut of `height` along the top of the primary monitor.
    xcb_window_t dock(double height);
    // Keeps the info of each `name` announcement delivered on the main queue while the token lives.
    std::unique_ptr<platform::ObserverToken> listen(const char* name, std::vector<nlohmann::json>& heard);
    // Runs the desktop's main loop until the condition holds (generously bounded).
    bool runUntil(const std::function<bool()>& condition, Nanos timeout = seconds(10));
    // Connects a new desktop to the session's server (the old one, if any, is destroyed first).
    void reconnect();

    static X11TestSession& session() { return *session_; }
    // The folder given to the desktop as its data home (desktop entries).
    static std::string dataHome() { return folder_->path() / "data"; }
    static platform::AXElement elementOf(const X11TestSession::Xterm& x) {
        return platform::AXElement{platform::AXElement::Kind::window, x.pid, x.window};
    }

    std::unique_ptr<X11Desktop> desktop;

  private:
    static inline X11TestSession* session_ = nullptr;
    static inline testing::TempFolder* folder_ = nullptr;
    std::vector<X11TestSession::Xterm> xterms_;
    std::vector<xcb_window_t> docks_;
};

// xterm resizes in steps of one character cell (6 × 13 pixels with the server's fixed font): never larger
// than asked, and less than one step smaller.
inline bool withinCell(Size actual, Size asked) {
    return actual.width <= asked.width && actual.width > asked.width - 6 && actual.height <= asked.height &&
           actual.height > asked.height - 13;
}

// The bundle identifier of the sample desktop entry the fixture installs for xterm.
inline constexpr const char* kSampleBundleID = "korvane-sample-terminal";
inline constexpr const char* kSampleName = "Sample Terminal";
// Its icon: 4 × 4 pixels of one blue.
inline constexpr const char* kSampleIconXPM =
    "/* XPM */\nstatic char *sample[] = {\n\"4 4 1 1\",\n"
    "\"  c #3366CC\",\n\"    \",\n\"    \",\n\"    \",\n\"    \"};\n";

} // namespace korvane::x11::test
