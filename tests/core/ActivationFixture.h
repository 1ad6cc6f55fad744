// A simulated desktop for the activation tests: a fresh application-support folder, working folder and
// log capture, and fresh process-wide activation services for every test.
#pragma once

#include "core/AXUtil.h"
#include "core/ActivationQueue.h"
#include "core/AppleScriptActivator.h"
#include "core/FocusWhitelistStore.h"
#include "platform/Format.h"
#include "platform/Task.h"
#include "platform/sim/LogCapture.h"
#include "support/SupportFolderFixture.h"

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
    sim::SimWorkspace& ws() { return desktop->workspace(); }
    sim::SimWindows& windows() { return desktop->windows(); }

    // Runs the task on the main run loop for the budget; `result` and `endedAt` (counted from the start,
    // -1 while it runs) tell how it ended.
    void run(platform::Task<bool> task, Nanos budget = seconds(1)) {
        result.reset();
        endedAt = -1;
        logs.log().clear();
        platform::spawn(loop(), capture(*this, loop().now(), std::move(task)));
        loop().advance(budget);
    }

    // The window's own accessibility calls, as "set AXMain".
    std::vector<std::string> windowCalls(const platform::AXElement& window) {
        std::vector<std::string> calls;
        for (const auto& call : desktop->accessibility().axCallLog())
            if (call.element == window) calls.push_back(call.kind + " " + call.name);
        return calls;
    }

    // Whether a captured line contains the text (formatted when arguments follow); how many lines do.
    template <class... A> bool logged(std::string_view fmt, const A&... args) {
        return logs.log().contains(platform::format(fmt, args...));
    }
    template <class... A> std::size_t loggedCount(std::string_view fmt, const A&... args) {
        return logs.log().count(platform::format(fmt, args...));
    }

    sim::ScopedLogCapture logs;
    std::optional<bool> result;
    Nanos endedAt = -1;

  private:
    static platform::Task<void> capture(ActivationTest& test, Nanos begin, platform::Task<bool> task) {
        test.result = co_await std::move(task);
        test.endedAt = test.loop().now() - begin;
    }
};

} // namespace korvane::testing
