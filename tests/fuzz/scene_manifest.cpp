// The scenes folder's manifest and its record of the active scene, read from the same input: each
// takes the store's round trip (see FuzzStore.h) in the scene store's own form, every scene listed kept.
#include "FuzzStore.h"

#include "scenes/SceneManifest.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ActiveSceneState.h"

using namespace korvane;

namespace {

template <class Record> std::string written(const Record& record) {
    return SceneStore::makeEncoder().encode(record.toJSON());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzz::text(data, size);
    const auto manifest = fuzz::checkStoreRoundTrip<SceneManifest>(
        bytes, written<SceneManifest>, [](const SceneManifest& m) { return m.entries.size(); });
    if (manifest) {
        const auto json = nlohmann::json::parse(bytes);
        FUZZ_CHECK(manifest->entries.size() == json.at("entries").size(), bytes);
    }
    fuzz::checkStoreRoundTrip<ActiveSceneState>(
        bytes, written<ActiveSceneState>, [](const ActiveSceneState& s) {
            return std::size_t(s.activeSceneID.has_value()) + std::size_t(s.lastSwitchedAt.has_value());
        });
    return 0;
}
