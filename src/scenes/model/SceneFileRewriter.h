// Rewriting the layout references inside the stored scene files, for when user layouts change their ids.
#pragma once

#include "platform/Time.h"

#include <map>
#include <string>

namespace korvane {

struct ScreenContext;

// Rewrites the layout reference of every display of every scene file ("scene-*.json" in the "scenes"
// folder of the application-support folder) through `mapping` (old layout id -> new id). Each file that
// changed is written atomically in the scene model's own JSON form, pretty-printed, so that the scene
// store reads it back as before; the others are not touched. `screens` is what decoding folds "default"
// entries against and `now` stands in for a missing date. Scenes that do not decode are left alone.
// Throws UnreadableFileError for a scene file that cannot be read (naming it and why), and
// std::filesystem::filesystem_error when the folder cannot be read or a file written; files written
// before stay written.
void rewriteSceneLayoutIDs(const std::map<std::string, std::string>& mapping, const ScreenContext& screens,
                           Nanos now);

inline constexpr const char* kScenesFolderName = "scenes";

} // namespace korvane
