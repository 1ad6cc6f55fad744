// Text dropped on the scene canvas: whatever arrives, a chip id read from it is an upper-case UUID, and
// a payload read from it is written back as text that reads as the same payload.
#include "FuzzSupport.h"

#include "core/JSONFields.h"
#include "ui/scene_editor/SceneCanvasDrag.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);
    if (const auto appID = sceneCanvasDraggedAppID(text)) {
        FUZZ_CHECK(jsonfields::canonicalUUID(*appID) == appID, *appID);
    }
    const auto payload = sceneCanvasDragPayload(text);
    if (!payload) return 0;
    const std::string written = sceneCanvasDragText(*payload);
    if (written == payload->appID) return 0; // text that is no UTF-8 cannot be written as JSON
    FUZZ_CHECK(sceneCanvasDragPayload(written) == payload, written);
    return 0;
}
