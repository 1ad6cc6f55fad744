// A simulated desktop for the activation tests: a fresh application-support folder, working folder and
// log capture, and fresh process-wide activation services for every test.
#pragma once

#include "core/AXUtil.h"
#include "core/ActivationQueue.h"
#include "core/AppleScriptActivator.h"
#include "core/FocusWhitelistStore.h"
#include "platform/Format.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::testing {

class ActivationTest : public SupportFolderTest {
  protected:
    void SetUp() override {
        SupportFolderTest::SetUp();
        desktop->process().setCurrentDirectory(workingDirectory().string());
        desktop->process().setBundleResourcesDirectory(std::nullopt);
        resetShared();
    }
    void TearDown() override { resetShared(); }

    static void resetShared() {
        FocusWhitelistStore::setShared(nullptr);
        AppleScriptActivator::setShared(nullptr);
        ActivationQueue::setShared(nullptr);
        AXUtil::setShared(nullptr);
    }

    std::filesystem::path workingDirectory() const { return folder.path() / "work"; }
    std::filesystem::path resources() const { return folder.path() / "share"; }

    sim::SimRunLoop& loop() { return desktop->loop(); }

    // The captured lines of the "wm" category, without the category.
    std::vector<std::string> wmLines() {
        std::vector<std::string> out;
        for (const auto& line : logs.log().lines())
            if (line.starts_with("[wm] ")) out.push_back(line.substr(5));
        return out;
    }

    // Whether a captured line contains the text (formatted when arguments follow); how many lines do.
    template <class... A> bool logged(std::string_view fmt, const A&... args) {
        return logs.log().contains(text(fmt, args...));
    }
    template <class... A> std::size_t loggedCount(std::string_view fmt, const A&... args) {
        return logs.log().count(text(fmt, args...));
    }
    template <class... A> static std::string text(std::string_view fmt, const A&... args) {
        if constexpr (sizeof...(A) == 0)
            return std::string(fmt);
        else
            return platform::format(fmt, args...);
    }

    sim::ScopedLogCapture logs;
};

} // namespace korvane::testing
