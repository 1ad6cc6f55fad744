// A simulated desktop with one 1440x900 display and one running application, with short ways to read
// what its accessibility service, window list and notification centre answer.
#pragma once

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvane::sim {

class SimDesktopTest : public ::testing::Test {
  protected:
    using AXElement = platform::AXElement;
    using AXError = platform::AXError;
    using AXValue = platform::AXValue;
    using Tokens = std::vector<std::unique_ptr<platform::ObserverToken>>;

    SimDesktopTest() {
        desk->windowServer().setShowsSystemEntries(false); // the lists below hold the windows alone
        desk->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 0, 1440, 875}});
        editor = ws().launch({.bundleID = "com.example.editor", .name = "Editor"});
        loop().runUntilIdle();
    }

    SimAccessibility& ax() { return desk->accessibility(); }
    SimWindows& windows() { return desk->windows(); }
    SimWorkspace& ws() { return desk->workspace(); }
    SimRunLoop& loop() { return desk->loop(); }

    // A window of the editor; frames are bottom-left global, so {100, 100, 400, 300} is at top-left y 500.
    std::uint32_t open(SimWindowSpec spec = {.frame = Rect{100, 100, 400, 300}}) {
        return windows().open(editor, spec);
    }
    AXElement el(std::uint32_t window) { return windows().element(window); }

    AXError status(const AXElement& e, const std::string& attribute) {
        AXValue v;
        return ax().copyAttribute(e, attribute, v);
    }
    template <class T> T value(const AXElement& e, const std::string& attribute) {
        AXValue v;
        EXPECT_EQ(ax().copyAttribute(e, attribute, v), AXError::success) << attribute;
        const T* p = std::get_if<T>(&v);
        EXPECT_NE(p, nullptr) << attribute;
        return p ? *p : T{};
    }

    // The window numbers of a window-list fetch, front to back.
    std::vector<std::uint32_t> listed(unsigned options, std::uint32_t relativeTo = 0) {
        std::vector<std::uint32_t> out;
        const auto list = desk->windowServer().copyWindowInfo(options, relativeTo);
        for (const auto& e : list.value())
            if (e.contains(platform::WindowKey::number) && e[platform::WindowKey::number].is_number_integer())
                out.push_back(e[platform::WindowKey::number].get<std::uint32_t>());
        return out;
    }

    // Records the notifications delivered on the main queue, with their user info.
    Tokens watch(const std::vector<std::string>& names, std::vector<nlohmann::json>& infos) {
        Tokens tokens;
        for (const auto& n : names)
            tokens.push_back(desk->notifications().addObserver(
                n, platform::NotificationCenter::Delivery::mainQueue,
                [&infos](const std::string& name, const nlohmann::json& info) {
                    infos.push_back(info);
                    infos.back()["name"] = name;
                }));
        return tokens;
    }

    std::shared_ptr<platform::AXObserver> observe(pid_t pid, platform::AXObserver::Callback callback) {
        AXError err = AXError::failure;
        auto observer = ax().createObserver(pid, std::move(callback), err);
        EXPECT_EQ(err, AXError::success);
        return observer;
    }

    bool isFront(pid_t pid) {
        auto front = ws().frontmostApplication();
        return front && front->pid == pid;
    }

    ScopedSimDesktop desk;
    pid_t editor = 0;
};

} // namespace korvane::sim
