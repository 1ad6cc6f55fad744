// The fixture of the backend's tests: one private X server per test suite, a fresh desktop connection
// per test, and the xterms a test starts ended when it finishes.
#pragma once

#include "X11TestSession.h"

#include "platform/x11/X11Desktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvane::x11::test {

class X11Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // An xterm on the primary monitor unless placed elsewhere, ended after the test.
    X11TestSession::Xterm xterm(const std::string& title, const std::string& geometry = "60x20+2000+100");
    void close(const X11TestSession::Xterm& x);
    // Runs the desktop's main loop until the condition holds (generously bounded).
    bool runUntil(const std::function<bool()>& condition, Nanos timeout = seconds(10));
    // Connects a new desktop to the session's server (the old one, if any, is destroyed first).
    void reconnect();

    static X11TestSession& session() { return *session_; }
    // The folder given to the desktop as its data home (desktop entries) and application-support folder.
    static const std::string& dataHome() { return dataHome_; }
    static const std::string& supportFolder() { return supportFolder_; }

    std::unique_ptr<X11Desktop> desktop;

  private:
    static inline X11TestSession* session_ = nullptr;
    static inline std::string tempRoot_;
    static inline std::string dataHome_;
    static inline std::string supportFolder_;
    std::vector<X11TestSession::Xterm> xterms_;
};

// The bundle identifier of the sample desktop entry the fixture installs for xterm.
inline constexpr const char* kSampleBundleID = "korvane-sample-terminal";
inline constexpr const char* kSampleName = "Sample Terminal";

} // namespace korvane::x11::test
