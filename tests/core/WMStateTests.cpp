// Tests of the per-display zone state: the stack operations, their edge cases and the invariants they keep
// under long random sequences.
#include "core/MultiDisplayState.h"
#include "core/WMState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace korvane {
namespace {

using Stack = std::vector<WindowID>;
using platform::AXElement;

Zone makeZone(int id, Stack stack = {}, std::optional<int> active = std::nullopt) {
    const int top = stack.empty() ? 0 : static_cast<int>(stack.size()) - 1;
    return Zone{id, Rect(100.0 * id, 0, 100, 200), std::move(stack), active.value_or(top)};
}

Layout makeLayout(std::vector<Zone> zones, std::string screen = "DISPLAY-A") {
    Layout layout{std::move(screen), {}, {2, 2, 0, 0}};
    for (auto& z : zones)
        layout.zones.emplace(z.id, z);
    return layout;
}

AXElement appElement(pid_t pid) {
    return {AXElement::Kind::application, pid, 0};
}

WinRef ref(WindowID wid, pid_t pid = 100) {
    return WinRef{wid, pid, AXElement{AXElement::Kind::window, pid, wid}, std::nullopt, std::nullopt};
}

// A state whose zones hold the given stacks, with every window attached in stack order.
WMState stateWith(const std::map<int, Stack>& stacks) {
    WMState s(makeLayout({}));
    for (const auto& [id, stack] : stacks) {
        s.layout.zones.emplace(id, makeZone(id));
        for (WindowID wid : stack)
            s.attach(ref(wid), id);
    }
    return s;
}

Stack stackOf(const WMState& s, int zone) {
    return s.zone(zone).value().stack;
}
int activeOf(const WMState& s, int zone) {
    return s.zone(zone).value().active;
}

template <class Map> std::set<typename Map::key_type> keysOf(const Map& map) {
    std::set<typename Map::key_type> keys;
    for (const auto& entry : map)
        keys.insert(entry.first);
    return keys;
}

// What must hold after any step; the per-operation values of `active` are pinned by the tables below.
void checkEveryStep(const WMState& before, const WMState& after, const std::set<WindowID>& expectedWins,
                    bool layoutKept, const std::string& where) {
    for (const auto& [key, z] : after.layout.zones) {
        EXPECT_TRUE(z.stack.empty() ? z.active == 0 : z.active >= 0 && z.active < int(z.stack.size()))
            << where << " zone " << key << " active " << z.active;
        for (WindowID wid : z.stack) {
            auto mapped = after.zoneOf.find(wid);
            EXPECT_TRUE(mapped != after.zoneOf.end() && mapped->second == key) << where << " wid " << wid;
        }
    }
    // wins only grows (attach) or is rekeyed (replaceWindow).
    EXPECT_EQ(keysOf(after.wins), expectedWins) << where;
    for (const auto& [wid, r] : after.wins)
        EXPECT_EQ(r.wid, wid) << where;
    if (layoutKept) {
        EXPECT_EQ(before.layout.screenId, after.layout.screenId) << where;
        EXPECT_EQ(before.layout.gridSpec, after.layout.gridSpec) << where;
        EXPECT_EQ(keysOf(before.layout.zones), keysOf(after.layout.zones)) << where;
    }
}

class RandomSequence {
  public:
    explicit RandomSequence(unsigned seed) : rng_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    WindowID window() { return static_cast<WindowID>(pick(1, 12)); }
    int zoneID() { return pick(0, 6); } // layouts here only ever have zones 1 to 5

    Layout layout() {
        std::vector<Zone> zones;
        const bool noZones = chance(10);
        for (int id = 1; id <= 5 && !noZones; ++id) {
            if (chance(30)) continue;
            // A zone may arrive carrying entries of its own, duplicates included.
            Zone z = makeZone(id, chance(20) ? order(1, 4) : Stack{});
            z.frame = Rect(pick(0, 500), pick(0, 500), pick(10, 400), pick(10, 400));
            z.active = pick(-2, 6);
            zones.push_back(z);
        }
        Layout l = makeLayout(zones, chance(50) ? "DISPLAY-A" : "DISPLAY-B");
        l.gridSpec = {pick(1, 3), pick(1, 3), double(pick(0, 8)), double(pick(0, 8))};
        return l;
    }

    Stack order(int lo = 0, int hi = 16) {
        Stack list;
        for (int i = pick(lo, hi); i > 0; --i)
            list.push_back(window());
        return list;
    }

  private:
    std::mt19937 rng_;
};

TEST(WMStateInvariants, holdAfterEveryStepOfRandomSequences) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        RandomSequence rnd(seed);
        WMState s(makeLayout({makeZone(1), makeZone(2), makeZone(3), makeZone(4)}));
        for (int i = 0; i < 3000 && !::testing::Test::HasFailure(); ++i) {
            const WMState before = s;
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(i);
            std::set<WindowID> wins = keysOf(before.wins);
            bool layoutKept = true;
            const int op = rnd.pick(0, 9);
            if (op <= 2) {
                // Attached: in the stack of exactly the zone that zoneOf names, once, on top.
                const WindowID wid = rnd.window();
                const int zone = rnd.zoneID();
                const auto result = s.attach(ref(wid), zone);
                wins.insert(wid);
                ASSERT_EQ(s.zoneOf.at(wid), zone) << where;
                for (const auto& [key, z] : s.layout.zones)
                    EXPECT_EQ(std::count(z.stack.begin(), z.stack.end(), wid), key == zone ? 1 : 0) << where;
                const auto target = s.zone(zone);
                EXPECT_EQ(result.newTop, target ? std::optional<WindowID>(wid) : std::nullopt) << where;
                if (target) {
                    EXPECT_EQ(target->stack.back(), wid) << where;
                    EXPECT_EQ(target->active, int(target->stack.size()) - 1) << where;
                }
                EXPECT_EQ(result.previousZone,
                          before.zoneOf.contains(wid) ? std::optional(before.zoneOf.at(wid)) : std::nullopt)
                    << where;
            } else if (op == 3) {
                // Callers detach a window from the zone it is mapped to, or name a zone that is gone.
                const WindowID wid = rnd.window();
                const int zone = !s.zoneOf.contains(wid) ? rnd.zoneID()
                                 : rnd.chance(75)        ? s.zoneOf.at(wid)
                                 : rnd.chance(50)        ? 0
                                                         : 6;
                const bool detached = s.detach(wid, zone);
                EXPECT_EQ(detached, before.layout.zones.contains(zone)) << where;
                EXPECT_TRUE(detached || s.zoneOf == before.zoneOf) << where << ": nothing changes";
            } else if (op <= 5) {
                const int zone = rnd.zoneID();
                const auto result = s.cycle(zone, rnd.pick(-1, 1));
                if (auto z = s.zone(zone); z && z->stack.size() >= 2) {
                    EXPECT_EQ(result.topAfter, std::optional(z->stack.back())) << where;
                    EXPECT_EQ(z->active, int(z->stack.size()) - 1) << where;
                    auto sortedBefore = before.zone(zone)->stack, sortedAfter = z->stack;
                    std::sort(sortedBefore.begin(), sortedBefore.end());
                    std::sort(sortedAfter.begin(), sortedAfter.end());
                    EXPECT_EQ(sortedBefore, sortedAfter) << where << ": a cycle only reorders";
                } else {
                    EXPECT_EQ(before.layout, s.layout) << where << ": nothing to cycle";
                }
            } else if (op == 6) {
                const Layout next = rnd.layout();
                s.applyLayout(next);
                layoutKept = false;
                EXPECT_EQ(s.layout.screenId, next.screenId) << where;
                EXPECT_EQ(s.layout.gridSpec, next.gridSpec) << where;
                EXPECT_TRUE(!next.zones.empty() || s.zoneOf == before.zoneOf)
                    << where << ": no zones, same mapping";
            } else if (op == 7) {
                s.updateZones(rnd.order());
                for (const auto& [key, z] : s.layout.zones) {
                    EXPECT_EQ(std::set<WindowID>(z.stack.begin(), z.stack.end()).size(), z.stack.size())
                        << where;
                    EXPECT_EQ(z.active, std::max(0, int(z.stack.size()) - 1)) << where;
                }
                EXPECT_EQ(before.zoneOf, s.zoneOf) << where;
            } else {
                const WindowID oldWid =
                    !s.zoneOf.empty() && rnd.chance(80)
                        ? std::next(s.zoneOf.begin(), rnd.pick(0, int(s.zoneOf.size()) - 1))->first
                        : rnd.window();
                const WindowID newWid =
                    rnd.chance(10) ? oldWid : rnd.window() + 20 * WindowID(rnd.pick(0, 1));
                std::optional<AXElement> ax;
                if (rnd.chance(50)) ax = AXElement{AXElement::Kind::window, 7, newWid};
                const bool replaced = s.replaceWindow(oldWid, newWid, 7, ax, std::nullopt, appElement(7));
                EXPECT_EQ(replaced, oldWid == newWid || before.zoneOf.contains(oldWid)) << where;
                if (replaced && oldWid != newWid) {
                    EXPECT_EQ(s.zoneOf.at(newWid), before.zoneOf.at(oldWid)) << where;
                    EXPECT_FALSE(s.zoneOf.contains(oldWid)) << where;
                    wins.erase(oldWid);
                    wins.insert(newWid);
                }
            }
            checkEveryStep(before, s, wins, layoutKept, where);
        }
    }
}

TEST(WMStateApplyLayout, keptZonesKeepTheirStacksAndWindowsOfVanishedZonesLoseTheirZoneButStayKnown) {
    WMState s = stateWith({{1, {10, 11, 12}}, {2, {20, 21}}});
    s.layout.zones[1].active = 1;
    Layout next = makeLayout({makeZone(1), makeZone(3)}, "DISPLAY-B");
    next.zones[1].frame = Rect(0, 0, 640, 480);
    s.applyLayout(next);
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11, 12}));
    EXPECT_EQ(activeOf(s, 1), 1);
    EXPECT_EQ(s.zone(1)->frame, Rect(0, 0, 640, 480));
    for (WindowID wid : {20, 21})
        EXPECT_TRUE(!s.zoneOf.contains(wid) && s.wins.contains(wid)) << wid;
    EXPECT_FALSE(s.zone(2));
    EXPECT_TRUE(stackOf(s, 3).empty());

    // A layout without zones drops every zone but keeps the mapping; zones that come back bring only
    // their own entries, still checked against it.
    const auto mapping = s.zoneOf;
    s.applyLayout(makeLayout({}));
    EXPECT_TRUE(s.layout.zones.empty());
    EXPECT_EQ(s.zoneOf, mapping);
    s.applyLayout(makeLayout({makeZone(1, {10, 20}), makeZone(2)}));
    EXPECT_EQ(stackOf(s, 1), (Stack{10}));
    EXPECT_TRUE(stackOf(s, 2).empty());
}

TEST(WMStateApplyLayout, incomingEntriesAreKeptOnlyWhereTheMappingConfirmsThem) {
    WMState s = stateWith({{1, {10}}});
    s.attach(ref(30), 3); // mapped to a zone the layout does not have yet
    s.applyLayout(makeLayout({makeZone(1), makeZone(3, {30, 10, 30, 99}, 2)}));
    // 10 belongs to zone 1 and 99 to no zone; 30 passes twice and stays twice.
    EXPECT_EQ(stackOf(s, 3), (Stack{30, 30}));
    EXPECT_EQ(activeOf(s, 3), 1);
    EXPECT_EQ(stackOf(s, 1), (Stack{10}));

    // An active entry filtered out of a kept zone moves active to the new top.
    WMState t = stateWith({{1, {10, 11, 12}}});
    t.layout.zones[1].active = 2;
    t.zoneOf[12] = 2; // remapped elsewhere without touching the stack
    t.applyLayout(makeLayout({makeZone(1), makeZone(2)}));
    EXPECT_EQ(stackOf(t, 1), (Stack{10, 11}));
    EXPECT_EQ(activeOf(t, 1), 1);
}

TEST(WMStateDetach, activeIsKeptWhenStillWithinAndPulledBackOtherwise) {
    // stack, active, removed window, stack and active after
    const std::tuple<Stack, int, WindowID, Stack, int> rows[] = {
        {{10, 11, 12, 13}, 2, 10, {11, 12, 13}, 2}, // below active: not shifted
        {{10, 11, 12}, 2, 10, {11, 12}, 1},         // active now past the end
        {{10, 11, 12}, 0, 12, {10, 11}, 0},
        {{10, 11, 10}, 2, 10, {11}, 0}, // every occurrence goes
        {{10}, 0, 10, {}, 0},
    };
    for (const auto& [stack, active, removed, expectedStack, expectedActive] : rows) {
        WMState s(makeLayout({makeZone(1, stack, active)}));
        s.zoneOf[removed] = 1;
        EXPECT_TRUE(s.detach(removed, 1));
        EXPECT_EQ(stackOf(s, 1), expectedStack);
        EXPECT_EQ(activeOf(s, 1), expectedActive);
        EXPECT_FALSE(s.zoneOf.contains(removed));
    }
}

TEST(WMStateCycle, rotatesAndReportsTops) {
    using Top = std::optional<WindowID>;
    // stack, active, direction, stack after, top before, top after
    const std::tuple<Stack, int, int, Stack, Top, Top> rows[] = {
        {{1, 2, 3}, 2, 1, {2, 3, 1}, 3, 1},       // forward: bottom to top
        {{1, 2, 3}, 2, 0, {2, 3, 1}, 3, 1},       // zero counts as forward
        {{1, 2, 3}, 2, -1, {3, 1, 2}, 3, 2},      // backward: top to bottom
        {{1, 2, 3, 4}, 1, 1, {1, 2, 4, 3}, 2, 3}, // forward from an inner active entry
        {{1, 2, 3}, -1, 1, {2, 3, 1}, 3, 1},      // a negative active counts as the top
        {{1, 2, 3}, 7, -1, {3, 1, 2}, 3, 2},      // so does one past the end
        {{5}, 0, 1, {5}, 5, 5},                   // a single window stays
        {{}, 0, -1, {}, std::nullopt, std::nullopt},
    };
    for (const auto& [stack, active, direction, expected, before, after] : rows) {
        WMState s(makeLayout({makeZone(1, stack, active)}));
        auto result = s.cycle(1, direction);
        EXPECT_EQ(stackOf(s, 1), expected);
        EXPECT_EQ(activeOf(s, 1), std::max(0, static_cast<int>(stack.size()) - 1));
        EXPECT_EQ(result.topBefore, before);
        EXPECT_EQ(result.topAfter, after);
    }
    WMState s(makeLayout({makeZone(1, {5})}));
    auto missing = s.cycle(3, 1);
    EXPECT_FALSE(missing.topBefore || missing.topAfter);
}

TEST(WMStateReplaceWindow, newNumberTakesTheOldPlaceInTheStack) {
    // zone stacks, active of zone 1, old and new number, zone 1 and its active after
    const std::tuple<const char*, std::map<int, Stack>, int, WindowID, WindowID, Stack, int> rows[] = {
        {"old in the middle", {{1, {10, 11, 12}}}, 2, 11, 50, {10, 50, 12}, 2},
        {"old at the bottom", {{1, {10, 11, 12}}}, 2, 10, 50, {50, 11, 12}, 2},
        {"new already below old in the zone", {{1, {50, 10, 11}}}, 2, 11, 50, {10, 50}, 1},
        {"new already above old in the zone", {{1, {10, 11, 50}}}, 2, 10, 50, {50, 11}, 1},
        {"new in another zone", {{1, {10, 11}}, {2, {50, 51}}}, 1, 10, 50, {50, 11}, 1},
        {"old the only entry, new on top", {{1, {10, 50}}}, 1, 10, 50, {50}, 0},
    };
    for (const auto& [what, stacks, active, oldWid, newWid, expected, expectedActive] : rows) {
        WMState s = stateWith(stacks);
        s.layout.zones[1].active = active;
        EXPECT_TRUE(s.replaceWindow(oldWid, newWid, 1, std::nullopt, std::nullopt, appElement(1))) << what;
        EXPECT_EQ(stackOf(s, 1), expected) << what;
        EXPECT_EQ(activeOf(s, 1), expectedActive) << what;
        EXPECT_EQ(s.zoneOf.at(newWid), 1) << what;
        EXPECT_FALSE(s.zoneOf.contains(oldWid)) << what;
        if (!stacks.contains(2)) continue;
        EXPECT_EQ(stackOf(s, 2), (Stack{51})) << what;
    }
}

// Unmapped old numbers and old zones missing from the layout are covered by the random sequences.
TEST(WMStateReplaceWindow, equalNumbersChangeNothingAndANewNumberGoesOnTopWhenTheOldOneIsNotStacked) {
    WMState s = stateWith({{1, {10, 11}}});
    const WMState before = s;
    EXPECT_TRUE(s.replaceWindow(10, 10, 1, std::nullopt, Rect(1, 2, 3, 4), appElement(1)));
    EXPECT_EQ(s.layout, before.layout);
    EXPECT_EQ(s.wins.at(10).lastFrame, std::nullopt);

    s.zoneOf[60] = 1;
    EXPECT_TRUE(s.replaceWindow(60, 61, 1, std::nullopt, std::nullopt, appElement(1)));
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11, 61}));
}

TEST(WMStateReplaceWindow, newRecordInheritsFromTheOldOneOrUsesTheApplicationElement) {
    const AXElement given{AXElement::Kind::window, 9, 999};
    const WinRef old{10, 4, ref(10, 4).ax, 3, Rect(5, 5, 50, 50)};
    using Frame = std::optional<Rect>;
    // old record (else mapped in zone 2 but never attached), ax and frame given, the new record's
    const std::tuple<bool, std::optional<AXElement>, Frame, AXElement, Frame, int> rows[] = {
        {true, std::nullopt, std::nullopt, old.ax, old.lastFrame, 3},
        {true, given, Rect(1, 1, 10, 10), given, Rect(1, 1, 10, 10), 3},
        {false, given, Rect(1, 2, 3, 4), given, Rect(1, 2, 3, 4), 2},
        {false, std::nullopt, std::nullopt, appElement(9), std::nullopt, 2},
    };
    for (const auto& [oldRecord, ax, frame, expectedAx, expectedFrame, expectedLastZone] : rows) {
        WMState s(makeLayout({makeZone(2, {10})}));
        if (oldRecord)
            s.attach(old, 2);
        else
            s.zoneOf[10] = 2;
        ASSERT_TRUE(s.replaceWindow(10, 11, 9, ax, frame, appElement(9)));
        const WinRef& r = s.wins.at(11);
        EXPECT_EQ(r.wid, 11u);
        EXPECT_EQ(r.pid, 9);
        EXPECT_EQ(r.ax, expectedAx);
        EXPECT_EQ(r.lastZone, std::optional<int>(expectedLastZone));
        EXPECT_EQ(r.lastFrame, expectedFrame);
        EXPECT_FALSE(s.wins.contains(10));
    }
}

TEST(WMStateDetach, fromAZoneThatDoesNotHoldTheWindowChangesNothing) {
    WMState s = stateWith({{1, {10, 11}}, {2, {12}}});
    EXPECT_FALSE(s.detach(11, 2));
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11}));
    EXPECT_EQ(s.zoneOf.at(11), 1);

    s.layout.zones[2].stack.push_back(10); // a stray entry: it goes, the window's place stays
    EXPECT_TRUE(s.detach(10, 2));
    EXPECT_EQ(stackOf(s, 2), (Stack{12}));
    EXPECT_EQ(s.zoneOf.at(10), 1);
}

// The active display's state is looked up, never made: no display active, or one without a state, has
// none.
TEST(MultiDisplayStateActiveState, isTheActiveDisplaysStateOnlyWhenThereIsOne) {
    MultiDisplayState multi;
    multi.states["DISPLAY-A"] = std::make_shared<WMState>(makeLayout({makeZone(1)}));
    const std::pair<std::string, std::shared_ptr<WMState>> rows[] = {
        {"", nullptr}, {"DISPLAY-B", nullptr}, {"DISPLAY-A", multi.states["DISPLAY-A"]}};
    for (const auto& [active, state] : rows) {
        multi.activeDisplayUUID = active;
        EXPECT_EQ(multi.activeState(), state) << active;
    }
    EXPECT_EQ(multi.states.size(), 1u);
}

} // namespace
} // namespace korvane
