// A scene restore on the simulated desktop, let run until it has reported: every move it asked for ended.
#pragma once

#include "platform/sim/SimDesktop.h"
#include "scenes/SceneRestoreEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace korvane::testing {

// Restores the scene and runs the simulated desktop until the restore reports, the window manager's own
// time included; a test failure, and an empty result, when it has not within `limit`.
inline SceneRestoreResult restoreAwaited(sim::SimDesktop& desktop, SceneRestoreEngine& engine,
                                         const WMScene& scene, Nanos limit = milliseconds(30000)) {
    auto reported = std::make_shared<std::optional<SceneRestoreResult>>();
    engine.restore(scene, [reported](const SceneRestoreResult& result) { *reported = result; });
    desktop.loop().runUntilIdle();
    if (!*reported) desktop.loop().advanceUntil([&] { return reported->has_value(); }, limit);
    EXPECT_TRUE(reported->has_value()) << "the restore did not report";
    return reported->value_or(SceneRestoreResult{});
}

} // namespace korvane::testing
