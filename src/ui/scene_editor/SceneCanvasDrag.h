// The text a dragged application chip of the scene canvas carries, and the display a drag comes from. The
// text arrives from outside the canvas (any program can drop text on it), so reading it never throws and
// refuses whatever is not exactly what a chip writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

struct SceneCanvasDragPayload {
    std::string appID; // the chip's id, a UUID
    std::string bundleID;
    std::string sourceDisplayUUID;
    std::optional<std::int64_t> sourceZoneID; // absent for a chip of the Excluded list

    friend bool operator==(const SceneCanvasDragPayload&, const SceneCanvasDragPayload&) = default;
};

inline constexpr std::string_view kSceneCanvasDragPrefix = "korvane-scene-drag:";

// The prefix and the Base64 text of the payload's JSON; the chip's id alone when that JSON cannot be
// written (text that is not UTF-8).
std::string sceneCanvasDragText(const SceneCanvasDragPayload& payload);
// Nothing unless the text is the prefix, valid padded Base64 and a JSON object with the right types.
std::optional<SceneCanvasDragPayload> sceneCanvasDragPayload(std::string_view text);
// The payload's chip id, else the whole text read as a UUID (either case), upper-case; else nothing.
std::optional<std::string> sceneCanvasDraggedAppID(std::string_view text);
// Displays whose UUIDs agree before the first "#" are one display for a drop.
std::string_view sceneCanvasDisplayKey(std::string_view displayUUID);

} // namespace korvane
