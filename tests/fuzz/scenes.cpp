// A scene file, read against one of a few arrangements of screens (the input's first byte picks it):
// the decoded scene holds no "default" entry and only normalised keys, and written and read again on any
// arrangement it is the same scene.
#include "FuzzSupport.h"

#include "scenes/model/WMScene.h"

using namespace korvane;

namespace {

platform::ScreenInfo screen(const std::string& uuid, double x) {
    platform::ScreenInfo s;
    s.frame = s.visibleFrame = Rect(x, 0, 1000, 800);
    s.displayUUID = uuid;
    return s;
}

std::vector<ScreenContext> arrangements() {
    std::vector<ScreenContext> out(4);
    out[1].screens = {screen("U1", 0)};
    out[2].screens = {screen("U1", 0), screen("U2", 1000)};
    out[3].screens = {screen("U2", 0), screen("U1", 1000), screen("U3", 2000)};
    for (auto& c : out)
        if (!c.screens.empty()) c.mainDisplayUUID = c.screens.back().displayUUID; // not the first: swapped
    return out;
}

template <class Map> void checkKeys(const Map& map, const std::string& file) {
    for (const auto& [key, value] : map) {
        FUZZ_CHECK(key != WMScene::kDefaultDisplayKey, "a decoded scene holds \"default\":\n" + file);
        FUZZ_CHECK(WMScene::normalizedDisplayKey(key) == key, "[" + key + "] is not normalised:\n" + file);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::vector<ScreenContext> screens = arrangements();
    const ScreenContext& connected = screens[data[0] % screens.size()];
    const std::string file = fuzz::text(data + 1, size - 1);
    const std::string key = WMScene::normalizedDisplayKey(file);
    FUZZ_CHECK(WMScene::normalizedDisplayKey(key) == key, "[" + file + "] -> [" + key + "]");

    const auto json = fuzz::parseJSON(file);
    if (!json) return 0;
    WMScene scene;
    try {
        scene = WMScene::fromJSON(*json, connected, 0);
    } catch (const std::exception&) {
        return 0;
    }
    checkKeys(scene.layoutRefsByDisplay, file);
    checkKeys(scene.windowHints, file);
    const std::string written = jsonText(scene.toJSON());
    for (const auto& again : screens) {
        std::string reread;
        try {
            reread = jsonText(WMScene::fromJSON(nlohmann::json::parse(written), again, 1).toJSON());
        } catch (const std::exception& e) {
            FUZZ_CHECK(false, std::string("a written scene cannot be read: ") + e.what() + "\n" + written);
        }
        FUZZ_CHECK(reread == written, "read again it changes:\n" + written + "\n---\n" + reread);
    }
    return 0;
}
