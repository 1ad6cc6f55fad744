// The record of the scene last applied.
#include "scenes/model/ActiveSceneState.h"

#include "core/DecodingError.h"

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

TEST(ActiveSceneState, keysOnlyWhenSetAndRoundTrip) {
    EXPECT_EQ(ActiveSceneState{}.toJSON().dump(), "{}");
    EXPECT_EQ(ActiveSceneState::fromJSON(json::object()), ActiveSceneState{});

    ActiveSceneState state{std::string("5A0C3E4B-1D2F-4A6B-8C9D-0E1F2A3B4C5D"),
                           1'780'000'000LL * kNanosPerSecond};
    EXPECT_EQ(ActiveSceneState::fromJSON(json::parse(state.toJSON().dump())), state);
    EXPECT_THROW(ActiveSceneState::fromJSON({{"activeSceneID", "nope"}}), DecodingError);
}
