// The hot-key table's file: what a first start writes, what loads as stored, what falls back to the
// defaults and stays on disk as it was, how an old table is replaced and a current one gains the defaults
// it lacks, and what a save writes.
#include "input/HotkeyConfig.h"

#include "input/HotkeyCenter.h"
#include "input/HotkeyManager.h"
#include "platform/HotKeys.h"
#include "platform/sim/LogCapture.h"
#include "support/FileModesHonoured.h"
#include "support/SupportFolderFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace korvane;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr Nanos kReferenceDate = 978'307'200LL * kNanosPerSecond; // 2001-01-01 00:00:00 UTC

class HotkeyConfigTest : public korvane::testing::SupportFolderTest {
  protected:
    fs::path file() const { return home / "hotkeys.json"; }
    json stored() const { return json::parse(read(file())); }
    static std::vector<std::string> actions(const json& table) {
        std::vector<std::string> out;
        for (const auto& b : table["bindings"])
            out.push_back(b["action"]);
        return out;
    }
    static std::vector<std::string> actions(const HotkeyConfig& table) {
        std::vector<std::string> out;
        for (const auto& b : table.bindings)
            out.push_back(b.action);
        return out;
    }
    // Seconds since 2001 as the file keeps them.
    static double fileSeconds(Nanos wall) { return static_cast<double>(wall - kReferenceDate) / 1e9; }

    static constexpr Nanos kNow = 1'780'000'000LL * kNanosPerSecond;
    const std::vector<std::string> defaultActions = actions(HotkeyConfig::defaults(kNow));
    sim::ScopedLogCapture capture;
};

TEST_F(HotkeyConfigTest, aFirstStartWritesTheThirteenDefaultsAndUsesThem) {
    const HotkeyConfig table = HotkeyConfig::load(kNow);
    EXPECT_EQ(table, HotkeyConfig::defaults(kNow));

    const json written = stored();
    EXPECT_EQ(written["version"], 3);
    EXPECT_EQ(actions(written), defaultActions);
    ASSERT_EQ(defaultActions.size(), 13u);
    EXPECT_EQ(written["bindings"][7], (json{{"action", "focus.left"},
                                            {"key", "Q"},
                                            {"modifiers", {"ctrl", "shift", "alt"}},
                                            {"enabled", true}}));
    EXPECT_EQ(
        written["bindings"][12],
        (json{{"action", "scene.update"}, {"key", ""}, {"modifiers", json::array()}, {"enabled", false}}));
    EXPECT_EQ(written["lastModified"], fileSeconds(kNow));
    const std::string bytes = read(file());
    EXPECT_EQ(HotkeyConfig::load(kNow + kNanosPerSecond), table) << "read back as it is";
    EXPECT_EQ(read(file()), bytes) << "a complete table is not written again";
}

TEST_F(HotkeyConfigTest, aTableThatCannotBeDecodedGivesTheDefaultsInMemoryAndStaysOnDiskAsItWas) {
    const char* rows[][2] = {
        {"not JSON", "{\"version\":3,"},
        {"no disabled list", R"({"version":3,"bindings":[]})"},
        {"a binding without enabled",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[]}],"disabled":[]})"},
        {"enabled as text",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[],"enabled":"yes"}],"disabled":[]})"},
        {"a modifier that is not text",
         R"({"version":3,"bindings":[{"action":"a","key":"b","modifiers":[1],"enabled":true}],"disabled":[]})"},
        {"a fractional version", R"({"version":2.5,"bindings":[],"disabled":[]})"},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        write(file(), bytes);
        capture.log().clear();

        EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
        EXPECT_TRUE(capture.log().contains(
            "[hotkey] HotkeyConfig load failed, using defaults: " + file().string() + " does not decode ("));
        EXPECT_EQ(read(file()), bytes);
    }
}

// Each is mended differently, so the line says which it is; none is touched by the load.
TEST_F(HotkeyConfigTest, aTableThatIsNotAReadableFileIsNamedWithWhatItIsAndLeftAsItIs) {
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"(a folder)", [&] { fs::create_directories(file()); }},
        {"(a FIFO)", [&] { ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0); }},
        {"(over 16 MB)",
         [&] {
             write(file(), "");
             fs::resize_file(file(), 20 * 1024 * 1024);
         }},
        {"(Permission denied)",
         [&] {
             write(file(), R"({"version":3,"bindings":[],"disabled":[]})");
             fs::permissions(file(), fs::perms::none);
         }},
    };
    for (const auto& [why, plant] : rows) {
        SCOPED_TRACE(why);
        fs::remove_all(home);
        fs::create_directories(home);
        plant();
        const fs::file_type type = fs::status(file()).type();
        capture.log().clear();
        {
            korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
            EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
        }
        EXPECT_EQ(capture.log().count("[hotkey] HotkeyConfig load failed, using defaults: " +
                                      file().string() + " is not a readable file " + why),
                  1u);
        EXPECT_EQ(fs::status(file()).type(), type);
        EXPECT_EQ(snapshot(home).size(), type == fs::file_type::regular ? 1u : 0u);
    }
}

TEST_F(HotkeyConfigTest, aTableOfAnOlderVersionIsKeptAsideThenReplacedByTheDefaults) {
    for (int version : {0, 1, 2}) {
        SCOPED_TRACE(version);
        fs::remove_all(home);
        const std::string old =
            R"({"version":)" + std::to_string(version) +
            R"(,"bindings":[{"action":"push.left","key":"J","modifiers":["ctrl"],"enabled":true}],)"
            R"("disabled":["push.right"]})";
        write(file(), old);
        capture.console().clear();

        EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
        EXPECT_EQ(capture.console().count("[Korvane] HotkeyConfig: upgrading from v" +
                                          std::to_string(version) + " to v3, replacing with defaults"),
                  1u);
        const json written = stored();
        EXPECT_EQ(written["version"], 3);
        EXPECT_EQ(actions(written), defaultActions);
        EXPECT_EQ(written["bindings"][3]["key"], "Q");
        EXPECT_EQ(written["disabled"], json::array());
        // The user's bindings stay beside it, and the log names where.
        const fs::path kept = home / "hotkeys.json.unreadable-2026-05-28T20:26:40Z";
        EXPECT_EQ(read(kept), old);
        EXPECT_EQ(snapshot(home).size(), 2u);
        EXPECT_TRUE(capture.log().contains("[hotkey] HotkeyConfig: kept the v" + std::to_string(version) +
                                           " table as " + kept.string()));
    }
}

TEST_F(HotkeyConfigTest, aCurrentTableGainsTheDefaultsItLacksAtItsEndAndKeepsWhatTheUserChanged) {
    // The user moved push.left to J, bound it a second time, removed every other default and added an
    // action of their own; the file is of a later version and has never been stamped.
    write(file(),
          R"({"version":4,"bindings":[)"
          R"({"action":"push.left","key":"J","modifiers":["ctrl"],"enabled":true},)"
          R"({"action":"my.own","key":"K","modifiers":["hyper"],"enabled":true},)"
          R"({"action":"push.left","key":"L","modifiers":[],"enabled":false}],"disabled":["d"],"extra":1})");
    const HotkeyConfig table = HotkeyConfig::load(kNow);

    std::vector<std::string> expected = {"push.left", "my.own", "push.left"};
    for (const auto& action : defaultActions)
        if (action != "push.left") expected.push_back(action);
    EXPECT_EQ(actions(table), expected) << "defaults in default order, after the user's own";
    EXPECT_EQ(table.bindings[0], (HotkeyConfig::HotkeyBinding{"push.left", "J", {"ctrl"}, true}));
    EXPECT_EQ(table.bindings[1], (HotkeyConfig::HotkeyBinding{"my.own", "K", {"hyper"}, true}));
    EXPECT_EQ(table.bindings[6], (HotkeyConfig::HotkeyBinding{"push.right", "W", {"ctrl", "alt"}, true}));
    EXPECT_EQ(table.version, 4) << "a later version is kept as it is";
    EXPECT_EQ(table.disabled, std::vector<std::string>{"d"});
    EXPECT_EQ(table.lastModified, kNow);
    EXPECT_TRUE(capture.log().contains(
        "[hotkey] HotkeyConfig: merged 12 new default bindings: [\"cycle.forward\", \"cycle.backward\", "
        "\"push.region.dynamic\", \"push.right\", \"push.display.prev\", \"push.display.next\", "
        "\"focus.left\", "
        "\"focus.right\", \"globalSwitcher.toggle\", \"sceneSwitcher.toggle\", \"scene.save\", "
        "\"scene.update\"]"));

    const json written = stored();
    EXPECT_EQ(actions(written), expected);
    EXPECT_EQ(written["version"], 4);
    EXPECT_EQ(written["lastModified"], fileSeconds(kNow));
    EXPECT_FALSE(written.contains("extra"));

    // An empty list gains all thirteen.
    write(file(), R"({"version":3,"bindings":[],"disabled":[]})");
    EXPECT_EQ(actions(HotkeyConfig::load(kNow)), defaultActions);
    EXPECT_EQ(actions(stored()), defaultActions);
}

TEST_F(HotkeyConfigTest, aHandEditedBindingWithoutAKeyIsNamedOnceAsTheFileIsReadAndNeverHeld) {
    // The card switcher's key emptied by hand and push.left given a name no key has; push.right moved to
    // Insert, named as the X keyboard names it. The empty key of the disabled scene.update is as meant.
    write(file(), R"({"version":3,"bindings":[)"
                  R"({"action":"sceneSwitcher.toggle","key":"","modifiers":["ctrl","alt"],"enabled":true},)"
                  R"({"action":"push.left","key":"page_up","modifiers":["ctrl","alt"],"enabled":true},)"
                  R"({"action":"push.right","key":"Insert","modifiers":["ctrl","alt"],"enabled":true},)"
                  R"({"action":"scene.update","key":"","modifiers":[],"enabled":false}],"disabled":[]})");
    const HotkeyConfig table = HotkeyConfig::load(kNow);
    EXPECT_EQ(table.bindings[0].key, "") << "kept as the user wrote it";

    auto center = std::make_shared<HotkeyCenter>(*desktop);
    HotkeyManager manager(center);
    std::vector<std::string> ran;
    HotkeyActionHandlers handlers;
    handlers.sceneSwitcherToggle = [&] { ran.push_back("sceneSwitcher"); };
    handlers.pushLeft = [&] { ran.push_back("pushLeft"); };
    handlers.pushRight = [&] { ran.push_back("pushRight"); };
    // Applied again as every change of the layouts applies it.
    manager.apply(table, 1, handlers);
    manager.apply(table, 1, handlers);

    auto errorsAbout = [&](const std::string& action) {
        std::vector<std::string> out;
        for (const auto& record : capture.log().records())
            if (record.level >= platform::LogLevel::error && record.text.find(action) != std::string::npos)
                out.push_back(record.text);
        return out;
    };
    EXPECT_EQ(errorsAbout("sceneSwitcher.toggle"),
              std::vector<std::string>{"HotkeyConfig: sceneSwitcher.toggle is not held: its key is empty"});
    EXPECT_EQ(errorsAbout("push.left"),
              std::vector<std::string>{"HotkeyConfig: push.left is not held: no key is named \"page_up\""});
    EXPECT_TRUE(errorsAbout("scene.update").empty());

    // Neither is held, nor is the card switcher's default Ctrl+Alt+C back; Ctrl+Alt+Insert is.
    const std::uint32_t ctrlAlt = platform::kHotKeyControl | platform::kHotKeyOption;
    for (const auto& registration : desktop->hotKeys().registered())
        EXPECT_FALSE(registration.keyCode == 8 && registration.modifiers == ctrlAlt);
    desktop->hotKeys().press(8, platform::kEventFlagControl | platform::kEventFlagOption);
    desktop->hotKeys().press(114, platform::kEventFlagControl | platform::kEventFlagOption);
    desktop->loop().runUntilIdle();
    EXPECT_EQ(ran, std::vector<std::string>{"pushRight"});
}

TEST_F(HotkeyConfigTest, aSaveWritesOneCompactLineStampedWithItsTimeInSecondsSince2001) {
    HotkeyConfig table = HotkeyConfig::defaults(kNow);
    table.disabled = {"scene.update"};
    table.lastModified.reset();
    const Nanos when = kReferenceDate + 86'400LL * kNanosPerSecond + 500'000'000; // 2001-01-02 00:00:00.5
    table.save(when);

    const std::string bytes = read(file());
    EXPECT_EQ(bytes.find('\n'), std::string::npos);
    EXPECT_EQ(bytes.find(": "), std::string::npos);
    EXPECT_EQ(json::parse(bytes)["lastModified"], 86400.5);
    EXPECT_FALSE(table.lastModified.has_value()) << "the caller's value keeps its own stamp";
    HotkeyConfig expected = table;
    expected.lastModified = when;
    EXPECT_EQ(HotkeyConfig::load(kNow), expected);
}

TEST_F(HotkeyConfigTest, aSaveOverATableThatCouldNotBeReadKeepsItsBytesAndAFailedSaveIsLogged) {
    write(file(), "{\"version\":3, hand-edited");
    EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
    EXPECT_EQ(read(file()), "{\"version\":3, hand-edited") << "a load leaves it";
    HotkeyConfig::defaults(kNow).save(kNow);
    EXPECT_EQ(HotkeyConfig::load(kNow), HotkeyConfig::defaults(kNow));
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(home))
        if (entry.path().filename().string().starts_with("hotkeys.json.unreadable-")) {
            ++kept;
            EXPECT_EQ(read(entry.path()), "{\"version\":3, hand-edited");
        }
    EXPECT_EQ(kept, 1u);

    fs::remove(file());
    fs::create_directories(file() / "in-the-way");
    HotkeyConfig::defaults(kNow).save(kNow);
    EXPECT_TRUE(capture.log().contains("[app] HotkeyConfig save failed: "));
}

} // namespace
