// Rebuilding the scene manifest from the scene files, with the order that keeps every scene where it
// first entered the list.
#include "scenes/SceneStore.h"

#include "core/Log.h"
#include "platform/TextCase.h"
#include "platform/UTF8.h"

#include <algorithm>
#include <limits>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// Case-insensitive for ASCII letters, in every locale; other characters compare by their UTF-8 bytes,
// which keeps the order of code points.
bool nameOrdersBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(asciiLower(x)) < static_cast<unsigned char>(asciiLower(y));
    });
}

} // namespace

bool SceneStore::manifestOrder(const SceneManifestEntry& a, const SceneManifestEntry& b,
                               const PreviousIndex& previousIndex) {
    if (!previousIndex.empty()) {
        auto position = [&](const std::string& id) {
            auto it = previousIndex.find(id);
            return it == previousIndex.end() ? std::numeric_limits<std::size_t>::max() : it->second;
        };
        const std::size_t pa = position(a.id);
        const std::size_t pb = position(b.id);
        if (pa != pb) return pa < pb;
    }
    if (a.updatedAt != b.updatedAt) return a.updatedAt > b.updatedAt;
    return nameOrdersBefore(a.name, b.name);
}

void SceneStore::sortManifestEntries(std::vector<SceneManifestEntry>& entries,
                                     const PreviousIndex& previousIndex) {
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const SceneManifestEntry& a, const SceneManifestEntry& b) {
                         return manifestOrder(a, b, previousIndex);
                     });
}

SceneManifest SceneStore::rebuildManifest(const ScreenContext& screens) {
    std::error_code ec;
    if (!fs::exists(scenesDirectory, ec)) {
        SceneManifest empty;
        writeManifest(empty); // re-creates the folder first
        return empty;
    }

    const auto previous = readManifest();
    PreviousIndex previousIndex;
    if (previous) {
        for (std::size_t i = 0; i < previous->entries.size(); ++i)
            previousIndex.try_emplace(previous->entries[i].id, i);
    }
    const auto listedBefore = [&](const fs::path& path) -> const SceneManifestEntry* {
        if (!previous) return nullptr;
        // "scene-<id>.json"
        const std::string id = path.stem().string().substr(6);
        for (const auto& entry : previous->entries)
            if (entry.id == id) return &entry;
        return nullptr;
    };

    SceneManifest manifest;
    std::vector<SceneManifestEntry> kept;
    for (const auto& path : sceneFiles()) {
        ReadFailure failure = ReadFailure::missing;
        if (auto scene = readSceneFile(path, screens, &failure)) {
            manifest.entries.push_back(SceneManifestEntry::from(*scene));
        } else if (const SceneManifestEntry* listed = listedBefore(path)) {
            // A file that is there but cannot be read or decoded now (its mode, a passing fault of the
            // disk, a hand edit cut short) may be mended: left out, its scene would stay off every list
            // until the next write after that, and a user who took it for lost would lose it. The entry
            // it had stands for it meanwhile; the lists skip it while it stays unread.
            kept.push_back(*listed);
            Log::sceneManager.error("Scene file %s %s; kept in the manifest as listed before",
                                    validUTF8(path.string()), describe(failure));
        } else {
            // Left out, the scene vanishes from every list: the line is all that tells the user why.
            Log::sceneManager.error("Scene file %s %s; left out of the manifest", validUTF8(path.string()),
                                    describe(failure));
        }
    }
    for (auto& entry : kept)
        if (std::none_of(manifest.entries.begin(), manifest.entries.end(),
                         [&](const SceneManifestEntry& e) { return e.id == entry.id; }))
            manifest.entries.push_back(std::move(entry));
    sortManifestEntries(manifest.entries, previousIndex);
    writeManifest(manifest);
    return manifest;
}

} // namespace korvane
