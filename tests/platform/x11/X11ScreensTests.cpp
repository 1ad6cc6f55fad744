// Screens on a real X server: RandR monitors in the bottom-left global space, visible frames less
// dock struts, identities that survive a monitor's removal and a reconnection, and the change
// announcements.
#include "X11Fixture.h"

#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/x11/DisplayIdentity.h"

#include <regex>

namespace korvane::x11::test {
namespace {

using platform::ScreenInfo;

std::vector<std::uint8_t> sampleEdid(std::uint32_t serial, const std::string& name) {
    std::vector<std::uint8_t> b(128, 0);
    const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), b.begin());
    const unsigned vendor = (11u << 10) | (22u << 5) | 14u; // "KVN"
    b[8] = static_cast<std::uint8_t>(vendor >> 8);
    b[9] = static_cast<std::uint8_t>(vendor & 0xFF);
    b[10] = 0x34;
    b[11] = 0x12;
    for (int i = 0; i < 4; ++i)
        b[12 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
    auto descriptor = [&](std::size_t offset, std::uint8_t tag, const std::string& text) {
        b[offset + 3] = tag;
        std::string padded = text + "\n";
        padded.resize(13, ' ');
        std::copy(padded.begin(), padded.end(), b.begin() + static_cast<long>(offset) + 5);
    };
    descriptor(54, 0xFC, name);
    descriptor(72, 0xFF, "SN-" + std::to_string(serial));
    return b;
}

class ScreenChanges {
  public:
    explicit ScreenChanges(platform::NotificationCenter& center)
        : token_(center.addObserver(platform::kScreenParametersDidChange,
                                    platform::NotificationCenter::Delivery::mainQueue,
                                    [this](const std::string&, const nlohmann::json&) { ++count; })) {}
    int count = 0;

  private:
    std::unique_ptr<platform::ObserverToken> token_;
};

using X11ScreensTest = X11Test;

TEST_F(X11ScreensTest, twoMonitorsInTheBottomLeftSpaceWithThePrimaryFirst) {
    auto screens = desktop->screens().screens();
    ASSERT_EQ(screens.size(), 2u);
    // The primary sits right of the other one in root coordinates; the other is shorter and top-aligned,
    // so in the y-up space anchored at the primary it starts 180 points up.
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1920, 1080));
    EXPECT_EQ(screens[1].frame, Rect(-1920, 180, 1920, 900));
    EXPECT_EQ(screens[0].visibleFrame, screens[0].frame);
    EXPECT_EQ(screens[1].visibleFrame, screens[1].frame);
    EXPECT_EQ(screens[0].localizedName, kPrimaryName);
    EXPECT_EQ(screens[1].localizedName, kSecondaryName);
    EXPECT_EQ(screens[0].backingScale, 1.0);
    EXPECT_NE(screens[0].displayNumber, screens[1].displayNumber);
    const std::regex uuidForm("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    EXPECT_TRUE(std::regex_match(screens[0].displayUUID, uuidForm)) << screens[0].displayUUID;
    EXPECT_TRUE(std::regex_match(screens[1].displayUUID, uuidForm)) << screens[1].displayUUID;
    EXPECT_NE(screens[0].displayUUID, screens[1].displayUUID);
    auto main = desktop->screens().mainScreen();
    ASSERT_TRUE(main.has_value());
    EXPECT_EQ(*main, screens[0]);
}

TEST_F(X11ScreensTest, aMonitorRemovedAndAddedBackKeepsEveryIdentityAndIsAnnounced) {
    ScreenChanges changes(desktop->notificationCenter());
    const auto before = desktop->screens().screens();
    ASSERT_EQ(before.size(), 2u);

    session().deleteMonitor(kSecondaryName);
    ASSERT_TRUE(runUntil([&] { return changes.count >= 1; }));
    auto during = desktop->screens().screens();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].displayUUID, before[0].displayUUID);

    session().setMonitor(kSecondaryName, kSecondaryRoot, false);
    ASSERT_TRUE(runUntil([&] { return changes.count >= 2; }));
    EXPECT_EQ(desktop->screens().screens(), before);

    // A new connection, as after a restart of the program, knows the displays by the same UUIDs.
    reconnect();
    EXPECT_EQ(desktop->screens().screens(), before);
}

TEST_F(X11ScreensTest, aDockStrutCutsTheVisibleFrameOfItsOwnMonitorOnly) {
    ScreenChanges changes(desktop->notificationCenter());
    // A 30-pixel panel along the top of the primary monitor (root x 1920...3839).
    const auto dock =
        session().createDock(Rect(1920, 0, 1920, 30), {0, 0, 30, 0, 0, 0, 0, 0, 1920, 3839, 0, 0});
    ASSERT_TRUE(runUntil([&] { return changes.count >= 1; }));
    auto screens = desktop->screens().screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1920, 1080));
    EXPECT_EQ(screens[0].visibleFrame, Rect(0, 0, 1920, 1050));
    EXPECT_EQ(screens[1].visibleFrame, screens[1].frame);

    session().destroyWindow(dock);
    ASSERT_TRUE(runUntil([&] { return changes.count >= 2; }));
    EXPECT_EQ(desktop->screens().screens()[0].visibleFrame, Rect(0, 0, 1920, 1080));
}

TEST_F(X11ScreensTest, aMonitorWithAnEdidIsKnownByItAndNamedByIt) {
    ScreenChanges changes(desktop->notificationCenter());
    const auto before = desktop->screens().screens();
    session().setEdid(sampleEdid(42, "Korvane Test"));
    ASSERT_TRUE(runUntil([&] { return changes.count >= 1; }));
    auto after = desktop->screens().screens();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].localizedName, "Korvane Test");
    EXPECT_NE(after[0].displayUUID, before[0].displayUUID);
    EXPECT_EQ(after[0].displayUUID, displayUUID(parseEdid(sampleEdid(42, "Korvane Test")), "any name"));
    EXPECT_EQ(after[1], before[1]);
}

TEST_F(X11ScreensTest, thePointerIsReportedInTheBottomLeftSpace) {
    session().movePointer(1920 + 100, 80);
    EXPECT_EQ(desktop->screens().mouseLocation(), Point(100, 1000));
    session().movePointer(10, 890);
    EXPECT_EQ(desktop->screens().mouseLocation(), Point(-1910, 190));
}

TEST(DisplayIdentity, edidFieldsAreParsedAndInvalidBlocksRefused) {
    auto id = parseEdid(sampleEdid(0x01020304, "Panel"));
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->vendor, "KVN");
    EXPECT_EQ(id->product, 0x1234);
    EXPECT_EQ(id->serial, 0x01020304u);
    EXPECT_EQ(id->serialText, "SN-16909060");
    EXPECT_EQ(id->monitorName, "Panel");

    auto badHeader = sampleEdid(1, "x");
    badHeader[0] = 0x01;
    EXPECT_FALSE(parseEdid(badHeader).has_value());
    auto shortBlock = sampleEdid(1, "x");
    shortBlock.resize(127);
    EXPECT_FALSE(parseEdid(shortBlock).has_value());
    auto noLetters = sampleEdid(1, "x");
    noLetters[8] = noLetters[9] = 0;
    EXPECT_FALSE(parseEdid(noLetters).has_value());
}

TEST(DisplayIdentity, uuidsDependOnTheIdentityAloneAndAreNameBased) {
    const auto a = parseEdid(sampleEdid(1, "Same model"));
    const auto b = parseEdid(sampleEdid(2, "Same model"));
    EXPECT_EQ(displayUUID(a, "DP-1"), displayUUID(a, "HDMI-2")); // the connector does not matter
    EXPECT_NE(displayUUID(a, "DP-1"), displayUUID(b, "DP-1"));   // the serial does
    EXPECT_EQ(displayUUID(std::nullopt, "DP-1"), displayUUID(std::nullopt, "DP-1"));
    EXPECT_NE(displayUUID(std::nullopt, "DP-1"), displayUUID(std::nullopt, "DP-2"));
    // Version 5 (name-based, SHA-1), RFC 4122 variant.
    const std::string uuid = displayUUID(std::nullopt, "DP-1");
    EXPECT_EQ(uuid[14], '5');
    EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos);
}

} // namespace
} // namespace korvane::x11::test
