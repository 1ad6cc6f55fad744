// Scene files rewritten in place when the layouts they name get new ids.
#include "scenes/model/SceneFileRewriter.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "platform/StoredJSON.h"
#include "platform/UTF8.h"
#include "scenes/model/WMScene.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// The scene files in file-name order, so that every run rewrites them in the same order; the extension
// must be exactly "json" and hidden files are never scenes.
std::vector<fs::path> sceneFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("scene-") && entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return files;
}

} // namespace

void rewriteSceneLayoutIDs(const std::map<std::string, std::string>& mapping, const ScreenContext& screens,
                           Nanos now) {
    const fs::path folder = appSupportDirectory() / kScenesFolderName;
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (ec) throw fs::filesystem_error("cannot look at the folder", folder, ec);
    if (!exists) return;
    for (const auto& path : sceneFiles(folder)) {
        std::string bytes = readStoreFileBytes(path);
        WMScene scene;
        try {
            scene = decodeStoredJSON(std::move(bytes), [&](const nlohmann::json& json) {
                return WMScene::fromJSON(json, screens, now);
            });
        } catch (const std::exception&) {
            continue;
        }
        bool changed = false;
        for (auto& [display, ref] : scene.layoutRefsByDisplay) {
            auto it = mapping.find(ref);
            if (it == mapping.end()) continue;
            ref = it->second;
            changed = true;
        }
        if (changed) writeFileAtomically(path, jsonText(scene.toJSON(), 2));
    }
}

} // namespace korvane
