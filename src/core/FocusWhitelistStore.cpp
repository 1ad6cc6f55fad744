// Reading the fixed and runtime focus whitelists from their locations, and saving the runtime list.
#include "core/FocusWhitelistStore.h"

#include "core/AppSupport.h"
#include "core/DecodingError.h"
#include "core/FileUtil.h"
#include "core/JSONFields.h"
#include "core/Log.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"
#include "platform/StoredJSON.h"
#include "platform/UTF8.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

platform::ProcessWide<FocusWhitelistStore> gShared;

// The whole file, or the reason it could not be read.
std::string readWholeFile(const fs::path& path) {
    StoreFile file = readStoreFile(path);
    switch (file.state) {
    case StoreFile::State::read:
        return std::move(file.bytes);
    case StoreFile::State::missing:
        throw std::system_error(ENOENT, std::generic_category(), path.string());
    case StoreFile::State::notRegular:
        throw std::runtime_error("not a regular file");
    case StoreFile::State::tooLarge:
        throw std::system_error(EFBIG, std::generic_category(), path.string());
    case StoreFile::State::failed:
        break;
    }
    throw std::system_error(file.error, path.string());
}

std::optional<fs::path> existingFile(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path;
    return std::nullopt;
}

} // namespace

FocusWhitelist decodeFocusWhitelist(std::string bytes) {
    return decodeStoredJSON(std::move(bytes), [](const nlohmann::json& document) {
        jsonfields::requireObject(document, "focus whitelist");
        FocusWhitelist list;
        for (const auto& id : jsonfields::requireArray(document, "bundleIds"))
            list.bundleIds.push_back(jsonfields::asString(id, "bundleIds"));
        return list;
    });
}

std::string encodeFocusWhitelist(const FocusWhitelist& list) {
    nlohmann::json document = nlohmann::json::object();
    document["bundleIds"] = list.bundleIds;
    return jsonText(document);
}

FocusWhitelistStore::FocusWhitelistStore(platform::Platform& platform) : platform_(platform) {
    loadWhitelist();
    loadRuntimeWhitelist();
}

std::shared_ptr<FocusWhitelistStore> FocusWhitelistStore::shared() {
    return gShared.get([](platform::Platform& p) { return std::make_shared<FocusWhitelistStore>(p); });
}

void FocusWhitelistStore::setShared(std::shared_ptr<FocusWhitelistStore> instance) {
    gShared.set(std::move(instance));
}

const std::vector<std::string>& FocusWhitelistStore::builtInDefaults() {
    static const std::vector<std::string> ids{"company.thebrowser.dia", "company.thebrowser.Browser"};
    return ids;
}

bool FocusWhitelistStore::contains(const std::string& bundleID) const {
    return bundleIds.count(bundleID) > 0 || runtimeBundleIds.count(bundleID) > 0;
}

std::optional<fs::path> FocusWhitelistStore::appSupportURL() const {
    try {
        return appSupportDirectory() / fileName;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<fs::path> FocusWhitelistStore::bundleURL() const {
    auto resources = platform_.processInfo().bundleResourcesDirectory();
    if (!resources || resources->empty()) return std::nullopt;
    const fs::path folder(*resources);
    if (auto found = existingFile(folder / "Config" / "focus-whitelist.json")) return found;
    return existingFile(folder / "focus-whitelist.json");
}

std::optional<fs::path> FocusWhitelistStore::workingDirectoryURL() const {
    auto& process = platform_.processInfo();
    if (!process.looksForConfigInWorkingDirectory()) return std::nullopt;
    return fs::path(process.currentDirectory()) / "Korvane" / "Config" / fileName;
}

std::optional<fs::path> FocusWhitelistStore::runtimeURL() const {
    try {
        return appSupportDirectory() / runtimeFileName;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::string>> FocusWhitelistStore::loadFile(const fs::path& path) {
    try {
        return decodeFocusWhitelist(readWholeFile(path)).bundleIds;
    } catch (const std::system_error& e) {
        Log::wm.info("Focus whitelist load failed path=%s error=%s", path.string(), e.code().message());
    } catch (const std::exception& e) {
        Log::wm.info("Focus whitelist load failed path=%s error=%s", path.string(), e.what());
    }
    return std::nullopt;
}

void FocusWhitelistStore::loadWhitelist() {
    struct Source {
        std::optional<fs::path> path;
        const char* message;
    };
    const Source sources[] = {
        {appSupportURL(), "Focus whitelist loaded from the config folder count=%ld"},
        {bundleURL(), "Focus whitelist loaded from share/korvane count=%ld"},
        {workingDirectoryURL(), "Focus whitelist loaded from repo count=%ld"},
    };
    for (const auto& source : sources) {
        if (!source.path) continue;
        if (auto list = loadFile(*source.path)) {
            bundleIds = std::set<std::string>(list->begin(), list->end());
            Log::wm.info(source.message, bundleIds.size());
            return;
        }
    }
    bundleIds = std::set<std::string>(builtInDefaults().begin(), builtInDefaults().end());
    Log::wm.info("Focus whitelist using defaults count=%ld", bundleIds.size());
}

void FocusWhitelistStore::loadRuntimeWhitelist() {
    auto path = runtimeURL();
    if (!path) return;
    if (auto list = loadFile(*path)) {
        runtimeBundleIds = std::set<std::string>(list->begin(), list->end());
        Log::wm.info("Focus runtime whitelist loaded from the config folder count=%ld",
                     runtimeBundleIds.size());
        return;
    }
    // Only a regular file has bytes to keep; anything else in its place is written over as missing.
    std::error_code ec;
    runtimeFileUnreadable_ = fs::is_regular_file(*path, ec);
}

void FocusWhitelistStore::addToRuntimeWhitelist(const std::string& bundleID) {
    runtimeBundleIds.insert(bundleID);
    saveRuntimeWhitelist();
    Log::wm.info("Focus whitelist: Added to runtime whitelist %s", bundleID);
}

void FocusWhitelistStore::saveRuntimeWhitelist() {
    auto path = runtimeURL();
    if (!path) return;
    try {
        if (runtimeFileUnreadable_) {
            // The list read at start was empty because the file could not be read; its bytes may
            // still matter to whoever wrote them.
            std::error_code ec;
            if (fs::exists(*path, ec)) keepUnreadableFile(*path, Log::wm);
            runtimeFileUnreadable_ = false;
        }
        FocusWhitelist list;
        list.bundleIds.assign(runtimeBundleIds.begin(), runtimeBundleIds.end());
        writeFileAtomically(*path, encodeFocusWhitelist(list));
    } catch (const std::exception& e) {
        Log::wm.error("Focus runtime whitelist save failed: %@", e.what());
    }
}

} // namespace korvane
